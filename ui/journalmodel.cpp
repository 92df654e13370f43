// The journal's table: the lines of this PC's journal or of the department's, the filter by a
// device's number, and what a cell may show of a text from a file or the server.
#include "journalmodel.h"

#include <QDateTime>

#include "protocol.h"

// A text from a file or the server as it may be shown: its control characters (but the line
// ends) as \xNN; the Unicode line and paragraph separators too, which a view would break the
// line at and which no record of ours holds.
QString Visible(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        const bool separator = c.unicode() == 0x2028 || c.unicode() == 0x2029;
        out += (c.category() == QChar::Other_Control && c != u'\n') || separator
                   ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar(u'0'))
                   : QString(c);
    }
    return out;
}

QString ActionText(const QString& action)
{
    static const std::pair<const char16_t*, const char16_t*> names[] = {
        {u"read", u"Считывание"},        {u"init", u"Инициализация"},          {u"leave", u"Выход из инициализации"},
        {u"rtc", u"Коррекция RTC"},      {u"counters", u"Счетчики"},           {u"restore", u"Восстановление"},
        {u"backup", u"Резервная копия"}, {u"damaged", u"Поврежденная строка"},
    };
    for (const auto& [key, text] : names)
        if (action == QStringView(key))
            return QString::fromUtf16(text);
    return action;  // a key of a later version: as written
}

QString TimeShown(const QString& iso)
{
    // The time as it was written there, with its zone whole, whatever the zone.
    const QDateTime t = QDateTime::fromString(iso, Qt::ISODate);
    if (!t.isValid())
        return iso;
    if (t.timeSpec() == Qt::LocalTime)  // written without a zone: none is made up
        return t.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    return t.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss ")) + ZoneName(t.offsetFromUtc());
}

// ------------------------------------------------------------------ the model

void TJournalModel::Append(std::vector<TJournalLine> lines, std::vector<TTeamInfo> team)
{
    const int from = static_cast<int>(shown_.size());
    beginInsertRows({}, from, from + static_cast<int>(lines.size()) - 1);
    for (size_t i = 0; i < lines.size(); ++i) {
        shown_.push_back(static_cast<int>(all_.size()));
        all_.push_back(std::move(lines[i]));
        team_.push_back(std::move(team[i]));
    }
    endInsertRows();
}

void TJournalModel::Set(std::vector<TJournalLine> lines, const QString& serial, std::vector<TTeamInfo> team)
{
    beginResetModel();
    all_ = std::move(lines);
    team_ = std::move(team);
    endResetModel();
    Filter(serial);
}

const TTeamInfo* TJournalModel::Team(int row) const
{
    return row >= 0 && row < static_cast<int>(shown_.size()) && !team_.empty() ? &team_[shown_[row]] : nullptr;
}

void TJournalModel::Filter(const QString& serial)
{
    beginResetModel();
    shown_.clear();
    const QString s = serial.trimmed();
    for (int i = 0; i < static_cast<int>(all_.size()); ++i)
        if (s.isEmpty() || all_[i].serial == s || all_[i].WrittenSerial() == s)  // whole: 4711 is not 47110
            shown_.push_back(i);
    endResetModel();
}

const TJournalLine* TJournalModel::Line(int row) const
{
    return row >= 0 && row < static_cast<int>(shown_.size()) ? &all_[shown_[row]] : nullptr;
}

int TJournalModel::RowOf(const TJournalLine& line) const
{
    auto same = [&](const TJournalLine& l) {
        return l.time == line.time && l.action == line.action && l.port == line.port && l.serial == line.serial &&
               l.outcome == line.outcome && l.backup == line.backup && l.traffic == line.traffic;
    };
    for (int r = 0; r < static_cast<int>(shown_.size()); ++r)
        if (same(all_[shown_[r]]))
            return r;
    return -1;
}

int TJournalModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

QVariant TJournalModel::data(const QModelIndex& index, int role) const
{
    const TJournalLine* l = Line(index.row());
    if (!l || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    QString v;
    switch (index.column()) {
    case 0: v = TimeShown(l->time); break;
    case 1: v = ActionText(l->action); break;
    case 2: v = l->serial; break;
    case 3: v = l->model; break;
    case 4: v = l->address; break;
    case 5: v = l->outcome; break;
    case 6: v = l->port; break;
    case 7: v = Team(index.row()) ? OnOneLine(Team(index.row())->pc) : QString(); break;
    }
    return Visible(v.left(1000));
}

QVariant TJournalModel::headerData(int section, Qt::Orientation o, int role) const
{
    static const char* const titles[8] = {"Время", "Действие", "Номер", "Тип", "Адрес", "Итог", "Порт", "ПК"};
    if (o == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 8)
        return QString::fromUtf8(titles[section]);
    return {};
}
