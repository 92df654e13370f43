// The channel table's view: the grid's model over TChannelTable, the pick-list delegate and
// the grid itself.
#pragma once

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTableView>

#include <functional>

#include "channels.h"

// The channel table as the grid sees it.
class TChannelsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TChannelsModel(TChannelTable& table, QObject* parent = nullptr);
    int rowCount(const QModelIndex& = QModelIndex()) const override;
    int columnCount(const QModelIndex& = QModelIndex()) const override { return 4; }
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    void Refresh();

    TChannelTable& Table;

private:
    int shownRows_ = 0;
};

// A column's pick list as an editable combo box; a choice is written at once.
class TPickListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    TPickListDelegate(TChannelTable& table, QObject* parent) : QStyledItemDelegate(parent), table_(table) {}
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

private:
    TChannelTable& table_;
};

class TChannelGrid : public QTableView {
    Q_OBJECT
public:
    using QTableView::QTableView;
    std::function<void()> OnInsert;  // gestures that would add or remove a row
    std::function<void()> OnDelete;

protected:
    void keyPressEvent(QKeyEvent* e) override;
};
