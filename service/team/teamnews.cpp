#include "team/teamnews.h"

#include <QDateTime>
#include <QFile>
#include <QUrl>

#include <optional>
#include <stdexcept>
#include <utility>

#include "records/durable.h"
#include "records/records.h"

using namespace Qt::StringLiterals;

namespace {
const QByteArray kHead = "zenda-known-writes 1";

QByteArray Field(const QString& v) { return QUrl::toPercentEncoding(v.left(200)); }
QString Unfield(const QByteArray& v) { return QString::fromUtf8(QByteArray::fromPercentEncoding(v)); }

// One device's line (serial,seq,time,action,pc,engineer[,mine,id,own ids]); none when it is not one.
std::optional<std::pair<int, TOtherWrite>> ParseLine(const QByteArray& line)
{
    const QList<QByteArray> v = line.trimmed().split(',');
    bool ok = false;
    const int serial = v.value(0).toInt(&ok);
    if ((v.size() != 6 && v.size() != 9) || !ok)
        return std::nullopt;
    TOtherWrite w;
    w.pc = Unfield(v[4]);
    w.engineer = Unfield(v[5]);
    w.time = Unfield(v[2]);
    w.action = Unfield(v[3]);
    w.seq = v[1].toLongLong();
    if (v.size() == 9) {
        w.mine = v[6] == "1";
        w.id = Unfield(v[7]);
        w.ownBefore = Unfield(v[8]).split(u' ', Qt::SkipEmptyParts);
    }
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
                Field(w.action) + ',' + Field(w.pc) + ',' + Field(w.engineer) + ',' + (w.mine ? "1" : "0") + ',' +
                Field(w.id) + ',' + Field(w.ownBefore.join(u' ')) + '\n';
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
    if (held != known.bySerial.cend()) {
        if (held->seq == w.seq && held->pc == w.pc)
            return false;  // read again (the overlap of two readings)
        w.ownBefore = held->ownBefore;
        if (held->mine && !w.ownBefore.contains(held->id))
            w.ownBefore = QStringList{held->id};  // the newest own one is all that is asked of
    }
    known.bySerial.insert(serial, w);
    return !w.mine;
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
    QString id;
    bool any = false;
    TServiceRecords::ForEachJournalLine(TServiceRecords::JournalPath(), {-1, QString::number(serial), true},
                                        [&](const TJournalLine& l) {
                                            if (!IsDoneWrite(l.action, l.outcome))
                                                return true;
                                            any = true;
                                            mine = QDateTime::fromString(l.time, Qt::ISODate);
                                            id = l.id;
                                            return false;
                                        });
    if (!any)
        return true;
    // By the server's arrival: this PC's last write arrived before the other's, or after it (or
    // waits to be sent). Clocks only for what the server never told of this PC's own writes.
    if (!w.ownBefore.isEmpty() && !id.isEmpty())
        return w.ownBefore.contains(id);
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
    if (!line || line->second.mine || !NewerThanOwn(serial, line->second))
        return std::nullopt;
    return line->second;
}
