#pragma once

#include <QAbstractTableModel>

#include <vector>

#include "records/records.h"

// A text from a file or the server as a view may show it: control characters (but the line ends)
// and the Unicode line separators as \xNN.
QString Visible(const QString& text);
// A journal action (read, init, ...) as the window names it.
QString ActionText(const QString& action);

// A journal time ("2026-12-10T09:30:00+03:00") as the table shows it: dd.MM.yyyy HH:mm:ss and its
// zone whole.
QString TimeShown(const QString& iso);

// A line of the department's journal: which PC wrote it, and its backup on the server.
struct TTeamInfo {
    QString pc, engineer, backupSha;
    bool mine = false;
    QString protocol;  // that PC's protocol of the line on the server, by its file name
};

class TJournalModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    // team: one for each line in the department's view, else empty.
    void Set(std::vector<TJournalLine> lines, const QString& serial, std::vector<TTeamInfo> team = {});
    // More of the department's lines, as they come (shown whatever the filter: the server chose them).
    void Append(std::vector<TJournalLine> lines, std::vector<TTeamInfo> team);
    const TTeamInfo* Team(int row) const;
    void Filter(const QString& serial);
    const TJournalLine* Line(int row) const;
    // The row that shows this line, -1 when it is not shown.
    int RowOf(const TJournalLine& line) const;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& = QModelIndex()) const override { return 8; }
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

private:
    std::vector<TJournalLine> all_;
    std::vector<TTeamInfo> team_;
    std::vector<int> shown_;  // indexes into all_
};
