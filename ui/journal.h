// "Журнал": the service journal as a table, newest first, with a filter by serial number,
// the chosen line's changes in full, and the restore of its backup.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>

#include <functional>
#include <vector>

#include "records.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;

class TJournalModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    void Set(std::vector<TJournalLine> lines, const QString& serial);
    void Filter(const QString& serial);
    const TJournalLine* Line(int row) const;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& = QModelIndex()) const override { return 7; }
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

private:
    std::vector<TJournalLine> all_;
    std::vector<int> shown_;  // indexes into all_
};

class TJournalForm : public QDialog {
    Q_OBJECT
public:
    explicit TJournalForm(QWidget* parent = nullptr);
    // Reads the journal afresh (every time the dialog is opened).
    void Load(const QString& path = TServiceRecords::JournalPath());
    // Called with the chosen backup (its full path) and the check box's state.
    std::function<void(const QString& file, bool withCounters)> OnRestore;

private:
    void ShowChosen();
    TJournalModel* model_;
    QLineEdit* Filter;
    QTableView* Table;
    QPlainTextEdit* Details;
    QCheckBox* WithCounters;
    QPushButton* Restore;
    QPushButton* Close;
};
