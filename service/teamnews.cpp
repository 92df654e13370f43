#include "teamnews.h"

#include <QDateTime>
#include <QFile>
#include <QUrl>

#include <optional>
#include <stdexcept>
#include <utility>

#include "durable.h"
#include "records.h"

using namespace Qt::StringLiterals;

namespace {
const QByteArray kHead = "zenda-known-writes 1";

QByteArray Field(const QString& v) { return QUrl::toPercentEncoding(v.left(200)); }
QString Unfield(const QByteArray& v) { return QString::fromUtf8(QByteArray::fromPercentEncoding(v)); }

// One device's line (serial,seq,time,action,pc,engineer); none when it is not one.
std::optional<std::pair<int, TOtherWrite>> ParseLine(const QByteArray& line)
{
    const QList<QByteArray> v = line.trimmed().split(',');
    bool ok = false;
    const int serial = v.value(0).toInt(&ok);
    if (v.size() != 6 || !ok)
        return std::nullopt;
    TOtherWrite w{Unfield(v[4]), Unfield(v[5]), Unfield(v[2]), Unfield(v[3]), v[1].toLongLong()};
    const QDateTime at = QDateTime::fromString(w.time, Qt::ISODate);
    if (!at.isValid())
        return std::nullopt;
    w.atMs = at.toMSecsSinceEpoch();
    return std::pair{serial, w};
}
}  // namespace

QString KnownWritesPath() { return DataFolder() + u"/team-writes.csv"_s; }

TKnownWrites LoadKnownWrites(const QString& path)
{
    TKnownWrites known;
    QFile f(path);
    if (f.size() > (64 << 20) || !f.open(QIODevice::ReadOnly))
        return known;
    const QList<QByteArray> head = f.readLine().trimmed().split(',');
    if (head.size() != 3 || head[0] != kHead)
        return known;  // not ours: read anew from the server
    known.received = Unfield(head[1]);
    known.seq = head[2].toLongLong();
    while (!f.atEnd())
        if (const auto line = ParseLine(f.readLine()))
            known.bySerial.insert(line->first, line->second);
    return known;
}

void SaveKnownWrites(const TKnownWrites& known, const QString& path)
{
    QByteArray text = kHead + ',' + Field(known.received) + ',' + QByteArray::number(known.seq) + '\n';
    for (auto i = known.bySerial.cbegin(); i != known.bySerial.cend(); ++i) {
        const TOtherWrite& w = i.value();
        text += QByteArray::number(i.key()) + ',' + QByteArray::number(w.seq) + ',' + Field(w.time) + ',' +
                Field(w.action) + ',' + Field(w.pc) + ',' + Field(w.engineer) + '\n';
    }
    durable::ReplaceWhole(path, text);
}

bool FoldWrite(TKnownWrites& known, int serial, TOtherWrite w)
{
    const QDateTime at = QDateTime::fromString(w.time, Qt::ISODate);
    if (!at.isValid())
        return false;  // a time nobody can compare tells nothing
    w.atMs = at.toMSecsSinceEpoch();
    const auto held = known.bySerial.constFind(serial);
    if (held != known.bySerial.cend() && (held->atMs > w.atMs || (held->atMs == w.atMs && held->seq >= w.seq)))
        return false;
    known.bySerial.insert(serial, w);
    return true;
}

bool IsDoneWrite(const QString& action, const QString& outcome)
{
    static const QStringList writes{u"init"_s, u"rtc"_s, u"counters"_s, u"restore"_s};
    return outcome == u"выполнено"_s && writes.contains(action);
}

bool NewerThanOwn(int serial, const TOtherWrite& w)
{
    const QDateTime at = QDateTime::fromString(w.time, Qt::ISODate);
    if (!at.isValid())
        return false;
    QDateTime mine;
    TServiceRecords::ForEachJournalLine(TServiceRecords::JournalPath(), {-1, QString::number(serial), true},
                                        [&](const TJournalLine& l) {
                                            if (!IsDoneWrite(l.action, l.outcome))
                                                return true;
                                            mine = QDateTime::fromString(l.time, Qt::ISODate);
                                            return false;
                                        });
    return !mine.isValid() || at > mine;
}

std::optional<TOtherWrite> KnownOtherWrite(int serial)
{
    // Asked just before a write: the one line is looked for, not the whole file parsed.
    QFile f(KnownWritesPath());
    if (f.size() > (64 << 20) || !f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = f.readAll();
    if (!text.startsWith(kHead + ','))
        return std::nullopt;
    const QByteArray key = '\n' + QByteArray::number(serial) + ',';
    const qsizetype at = text.indexOf(key);
    if (at < 0)
        return std::nullopt;
    const qsizetype end = text.indexOf('\n', at + 1);
    const auto line = ParseLine(text.mid(at + 1, end < 0 ? -1 : end - at - 1));
    if (!line || !NewerThanOwn(serial, line->second))
        return std::nullopt;
    return line->second;
}
