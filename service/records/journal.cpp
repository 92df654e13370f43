// The service journal: one CSV line a device action, appended under a lock, read from its end.
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStringDecoder>

#include <cerrno>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "records/durable.h"
#include "records/records.h"

using namespace durable;

// ------------------------------------------------------------------ the journal

QString TServiceRecords::JournalPath() { return DataFolder() + u"/journal.csv"_qs; }

namespace {
QString Csv(const QString& v)
{
    QString s = v;
    s.replace(u'"', u"\"\""_qs);
    // A journal line is one line of the file: a stray quote in a damaged line then costs that
    // line alone, never the lines after it.
    s.replace(u"\r\n"_qs, u" "_qs).replace(u'\n', u' ').replace(u'\r', u' ');
    return u'"' + s + u'"';
}

// One CSV record (quotes doubled, fields quoted); a line break ends it, inside quotes too.
QStringList ParseCsvLine(const QString& text, qsizetype& at)
{
    QStringList fields;
    QString cur;
    bool quoted = false;
    for (; at < text.size(); ++at) {
        const QChar c = text[at];
        if (c == u'\n') {
            ++at;
            break;
        }
        if (quoted) {
            if (c == u'"' && at + 1 < text.size() && text[at + 1] == u'"') {
                cur += u'"';
                ++at;
            } else if (c == u'"') {
                quoted = false;
            } else {
                cur += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            fields << cur;
            cur.clear();
        } else if (c == u'\n') {
            ++at;
            break;
        } else if (c != u'\r') {
            cur += c;
        }
    }
    fields << cur;
    return fields;
}
}  // namespace

const QString TServiceRecords::kDamaged = u"damaged"_qs;
const QString TServiceRecords::kBegun = u"запись в прибор начата, итога нет: программа прервана или еще пишет"_qs;

bool TServiceRecords::Journal(TJournalLine l, bool sync)
{
    if (l.time.isEmpty())
        l.time = LocalStamp();
    const QStringList fields = {l.time,    l.action,  l.port,    l.model,  l.serial,  l.address,
                                l.outcome, l.changes.join(u"; "_qs), l.backup, l.traffic, l.written, l.id};
    QString line;
    for (const QString& f : fields)
        line += (line.isEmpty() ? QString() : u","_qs) + Csv(f);
    line += u"\r\n"_qs;
    try {
        MakeFolder(DataFolder());
    } catch (const std::exception& e) {
        journalError_ = QString::fromStdString(e.what());
        return false;
    }
    // One writer at a time, threads of this program and other programs alike (the window and
    // zenda at once): the size is looked at, the header written and the line appended under
    // the lock, so a new journal gets one header and no line lands inside another.
    static std::mutex threads;
    const std::lock_guard<std::mutex> inProcess(threads);
    QLockFile lock(JournalPath() + u".lock"_qs);
    // QLockFile's own wait doubles its sleep up to seconds, so a writer would go on sleeping
    // long after the lock is free: a few milliseconds at a time keeps the journal's writers (a
    // station's fixtures among them) in step.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool locked = lock.tryLock(0);
    while (!locked && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        locked = lock.tryLock(0);
    }
    if (!locked) {
        // A folder that cannot be written to (read-only, full) is not another program's lock.
        journalError_ = JournalPath() + u".lock: "_qs +
                        (lock.error() == QLockFile::LockFailedError ? u"held by another program"_qs
                                                                    : WhyNotWritable(DataFolder()));
        return false;
    }
    QFile f(JournalPath());
    // Appended, never rewritten: one write of one whole line to a file opened for appending.
    // Anything but a regular file (a device, a pipe) is refused with a reason of its own.
    if (QFileInfo(JournalPath()).exists() && !QFileInfo(JournalPath()).isFile()) {
        journalError_ = JournalPath() + u": not a regular file"_qs;
        return false;
    }
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered) || !f.seek(f.size())) {
        journalError_ = JournalPath() + u": "_qs + f.errorString();
        return false;
    }
    QByteArray bytes;
    {
        QFile head(JournalPath());
        if (head.open(QIODevice::ReadOnly)) {
            const QByteArray start = head.read(4);
            if (start.startsWith("\xFF\xFE") || start.startsWith("\xFE\xFF") ||
                (start.size() == 4 && start[1] == '\0' && start[3] == '\0')) {
                // Saved by a spreadsheet as UTF-16: UTF-8 lines after it would be garbage to both.
                journalError_ = JournalPath() + u": saved as UTF-16 by another program; not appended to (save it "
                                                u"as CSV UTF-8, or move it away for a new journal)"_qs;
                return false;
            }
        }
    }
    if (f.size() > 0) {  // a journal cut mid-line: the new line starts a line of its own
        QFile tail(JournalPath());
        if (tail.open(QIODevice::ReadOnly) && tail.seek(f.size() - 1) && tail.read(1) != "\n")
            bytes = "\r\n";
    }
    if (f.size() == 0)  // a new journal: the byte-order mark and the header, so spreadsheets read it right
        bytes = QByteArray("\xEF\xBB\xBF") + kJournalHeader + "\r\n";
    bytes += line.toUtf8();
    errno = 0;
    if (f.write(bytes) != bytes.size() || !f.flush() || (sync && !SyncToDisk(f.handle()))) {
        // The system's own reason (no space left, an I/O error), not Qt's "Unknown error".
        const int e = errno;
        journalError_ = JournalPath() + u": "_qs + (e ? SystemReason(e) : f.errorString());
        return false;
    }
    return true;
}

QString TJournalLine::WrittenSerial() const
{
    static const QString head = u"Заводской номер: "_qs;
    for (const QString& c : changes)
        if (c.startsWith(head))
            return c.section(u" -> "_qs, 1);
    return {};
}

TJournalLine TServiceRecords::ParseJournalLine(const QString& raw)
{
    qsizetype at = 0;
    const QStringList c = ParseCsvLine(raw, at);
    // Lines from before the written image was kept have ten fields, from before the identity eleven.
    if (c.size() >= 10 && c.size() <= 12 && QDateTime::fromString(c[0], Qt::ISODate).isValid())
        return {c[0], c[1], c[2], c[3], c[4], c[5], c[6],
                c[7].isEmpty() ? QStringList() : c[7].split(u"; "_qs), c[8], c[9], c.value(10), c.value(11)};
    return DamagedLine(raw);  // shown as what it is, never dropped in silence and never rewritten
}

TJournalLine TServiceRecords::DamagedLine(const QString& raw)
{
    TJournalLine d;
    d.action = kDamaged;
    d.outcome = u"строка журнала повреждена: "_qs + raw.left(200);
    return d;
}

namespace {

bool IsUtf16(const QByteArray& head)
{
    return head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF") ||
           (head.size() >= 4 && head[1] == '\0' && head[3] == '\0');
}

// Takes the lines newest first: a begun line is hidden by the line of its end, the one of the
// same identity. Lines from before identities were kept pair as they always did: with the first
// line after it of the same action, port, device and backup.
struct TNewestFirst {
    const TJournalQuery& query;
    const std::function<bool(const TJournalLine&)>& sink;
    std::map<QString, int> ended;
    bool Take(const QString& raw)  // false: enough
    {
        const QString line = raw.trimmed();
        if (line.isEmpty())
            return true;
        TJournalLine l = TServiceRecords::ParseJournalLine(line);
        if (!query.serial.isEmpty()) {
            const QString written = l.WrittenSerial();
            const bool hit = query.exact ? l.serial == query.serial || written == query.serial
                                         : l.serial.startsWith(query.serial) ||
                                               (!written.isEmpty() && written.startsWith(query.serial));
            if (!hit)
                return true;
        }
        int& later = ended[!l.id.isEmpty() ? u"id\n"_qs + l.id
                                           : l.action + u'\n' + l.port + u'\n' + l.serial + u'\n' + l.backup];
        if (l.outcome != TServiceRecords::kBegun) {
            ++later;
        } else if (later > 0) {
            --later;
            return true;
        }
        return sink(l);
    }
};
}  // namespace

bool TServiceRecords::ForEachJournalLine(const QString& path, const TJournalQuery& query,
                                         const std::function<bool(const TJournalLine&)>& sink, QString* error)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        const int e = LookError(path);
        if (e && error)  // a file where a folder should be
            *error = path + u": "_qs + SystemReason(e);
        return e == 0;  // else nothing journaled yet
    }
    QFile f(path);
    if (!info.isFile() || !f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = path + u": "_qs + (info.isFile() ? f.errorString() : u"not a regular file"_qs);
        return false;
    }
    if (IsUtf16(f.peek(4))) {  // rare: read whole
        for (const TJournalLine& l : ParseJournal(f.readAll(), query))
            if (!sink(l))
                break;
        return true;
    }
    // From the end, a megabyte at a time: the newest lines come first and the rest is never
    // read when the caller has enough. A line whose bytes cannot hold the serial number asked
    // for is not even decoded.
    TNewestFirst take{query, sink, {}};
    const QByteArray wanted = query.serial.isEmpty() ? QByteArray() : ",\"" + query.serial.toUtf8(),
                     wantedWritten = query.serial.isEmpty() ? QByteArray() : " -> " + query.serial.toUtf8();
    constexpr qint64 kChunk = 1 << 20;
    qint64 pos = f.size();
    QByteArray carry;
    while (pos > 0) {
        const qint64 from = std::max<qint64>(0, pos - kChunk);
        if (!f.seek(from))
            break;
        QByteArray buffer = f.read(pos - from) + carry;
        pos = from;
        qsizetype end = buffer.size();
        for (qsizetype nl = buffer.lastIndexOf('\n', end - 1); nl >= 0 || pos == 0;
             nl = end > 0 ? buffer.lastIndexOf('\n', end - 1) : -1) {
            const qsizetype begin = nl + 1;
            if (nl < 0 && pos > 0)
                break;  // the start of this line is in the chunk before
            QByteArray raw = buffer.mid(begin, end - begin);
            const bool first = pos == 0 && begin == 0;
            if (first && raw.startsWith("\xEF\xBB\xBF"))
                raw.remove(0, 3);
            if (!(first && raw.startsWith("time,action,")) && (wanted.isEmpty() || raw.contains(wanted) || raw.contains(wantedWritten)) &&
                !take.Take(QString::fromUtf8(raw)))
                return true;
            end = nl;
            if (nl < 0)
                break;
        }
        carry = buffer.left(std::max<qsizetype>(end, 0));
    }
    return true;
}

std::vector<TJournalLine> TServiceRecords::ReadJournal(const QString& path, QString* error, const TJournalQuery& query)
{
    std::vector<TJournalLine> out;
    ForEachJournalLine(
        path, query,
        [&](const TJournalLine& l) {
            out.push_back(l);
            return query.newest < 0 || static_cast<int>(out.size()) < query.newest;
        },
        error);
    return out;
}

std::vector<TJournalLine> TServiceRecords::ParseJournal(const QByteArray& bytes, const TJournalQuery& query)
{
    // UTF-8 as written; UTF-16 as a spreadsheet may save it (with its byte-order mark, or
    // without one: a zero byte in every other place).
    QString text = IsUtf16(bytes) ? QStringDecoder(bytes.startsWith("\xFE\xFF") ? QStringConverter::Utf16BE
                                                                               : QStringConverter::Utf16LE)
                                        .decode(bytes)
                                  : QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.first().startsWith(u"time,action,"_qs))
        lines.removeFirst();  // the header
    std::vector<TJournalLine> out;
    const std::function<bool(const TJournalLine&)> sink = [&](const TJournalLine& l) {
        out.push_back(l);
        return query.newest < 0 || static_cast<int>(out.size()) < query.newest;
    };
    TNewestFirst take{query, sink, {}};
    for (auto it = lines.crbegin(); it != lines.crend() && take.Take(*it);)
        ++it;
    return out;
}
