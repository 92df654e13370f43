#include "records.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimeZone>

#include <cstdio>
#include <cstring>

#include "settings.h"

QString DataFolder()
{
    // GenericDataLocation + organization/program is what AppLocalDataLocation gives a program
    // named so; spelled out because the two faces are two programs with one folder.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/ЛЮМРАД/zenda-init"_qs;
}

QString ModelName(uint8_t code)
{
    const int i = TDeviceSettings::ModelIndex(code);
    return i >= 0 ? u"ZENDA"_qs + QString::number(i + 1) : u"0x"_qs + QString::number(code, 16).toUpper();
}

// ------------------------------------------------------------------ traffic

void TTrafficRecorder::Add(TimePoint at, const char* dir, const uint8_t* bytes, int32_t count)
{
    std::lock_guard<std::mutex> g(mu_);
    if (lines_.empty())
        start_ = at;
    char head[48];
    std::snprintf(head, sizeof head, "%10.3f %s", std::chrono::duration<double, std::milli>(at - start_).count(), dir);
    std::string s = head;
    char h[4];
    for (int32_t i = 0; i < count; ++i) {
        std::snprintf(h, sizeof h, " %02X", bytes[i]);
        s += h;
    }
    lines_.push_back(s);
}

void TTrafficRecorder::OnError(int32_t code, int systemError, TimePoint at)
{
    std::lock_guard<std::mutex> g(mu_);
    if (lines_.empty())
        start_ = at;
    char b[160];
    std::snprintf(b, sizeof b, "%10.3f !! driver error %d (system error %d: %s)",
                  std::chrono::duration<double, std::milli>(at - start_).count(), code, systemError,
                  std::strerror(systemError));
    lines_.push_back(b);
}

void TTrafficRecorder::Clear()
{
    std::lock_guard<std::mutex> g(mu_);
    lines_.clear();
}

bool TTrafficRecorder::Empty() const
{
    std::lock_guard<std::mutex> g(mu_);
    return lines_.empty();
}

std::string TTrafficRecorder::Text() const
{
    std::lock_guard<std::mutex> g(mu_);
    std::string s;
    for (const auto& l : lines_)
        s += l + "\n";
    return s;
}

// ------------------------------------------------------------------ backups

namespace {
// Local time with its offset from UTC, e.g. 2026-12-08T12:00:56+03:00.
QString LocalStamp()
{
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate);
}
}  // namespace

QString TServiceRecords::Stamp() const { return LocalStamp(); }

QString TServiceRecords::BackupText(const TImageBuffer& image, const QString& action, const QString& port) const
{
    TImageBuffer copy = image;
    const TDeviceSettings s(copy);
    QString t;
    t += u"# zenda-init image backup: the device's 72 bytes as read before a write\n"_qs;
    t += u"# time: "_qs + LocalStamp() + u" ("_qs + QDateTime::currentDateTime().timeZoneAbbreviation() + u")\n"_qs;
    t += u"# port: "_qs + port + u"\n"_qs;
    t += u"# model: "_qs + ModelName(s.ModelCode()) + u"\n"_qs;
    t += u"# serial: "_qs + QString::number(s.SerialNumber()) + u"\n"_qs;
    t += u"# address: "_qs + QString::number(s.Address()) + u"\n"_qs;
    t += u"# action: "_qs + action + u"\n"_qs;
    t += u"# program: "_qs + program_ + u"\n"_qs;
    for (int i = 0; i < kImageSize; ++i)
        t += QString::asprintf("%02X", image.Image()[i]) + ((i % 12) == 11 ? u"\n"_qs : u" "_qs);
    return t;
}

void TServiceRecords::SaveBackupAs(const TImageBuffer& image, const QString& action, const QString& port,
                                   const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile f(path);  // whole or not at all
    if (!f.open(QIODevice::WriteOnly))
        throw std::runtime_error(f.errorString().toStdString());
    f.write(BackupText(image, action, port).toUtf8());
    if (!f.commit())
        throw std::runtime_error(f.errorString().toStdString());
}

QString TServiceRecords::SaveBackup(const TImageBuffer& image, const QString& action, const QString& port)
{
    TImageBuffer copy = image;
    const QString rel = u"backups/"_qs + QString::number(TDeviceSettings(copy).SerialNumber()) + u"/"_qs +
                        QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss-zzz"_qs) + u"-"_qs + action +
                        u".hex"_qs;
    SaveBackupAs(image, action, port, DataFolder() + u"/"_qs + rel);
    return rel;
}

bool TServiceRecords::LoadImageFile(const QString& path, TImageBuffer& image, QString& error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        error = f.errorString();
        return false;
    }
    std::vector<uint8_t> bytes;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(u'#') || line.isEmpty())
            continue;
        for (const QString& w : line.split(u' ', Qt::SkipEmptyParts)) {
            bool ok = false;
            const uint v = w.toUInt(&ok, 16);
            if (!ok || v > 255 || w.size() > 2) {
                error = u"not a hex byte: "_qs + w;
                return false;
            }
            bytes.push_back(static_cast<uint8_t>(v));
        }
    }
    if (bytes.size() != kImageSize) {
        error = QString::number(bytes.size()) + u" bytes, not 72"_qs;
        return false;
    }
    std::copy(bytes.begin(), bytes.end(), image.Image());
    return true;
}

// ------------------------------------------------------------------ the journal

QString TServiceRecords::JournalPath() { return DataFolder() + u"/journal.csv"_qs; }

namespace {
QString Csv(const QString& v)
{
    QString s = v;
    s.replace(u'"', u"\"\""_qs);
    return u'"' + s + u'"';
}

// One CSV record (quotes doubled, fields quoted; line breaks inside quotes allowed).
QStringList ParseCsvLine(const QString& text, qsizetype& at)
{
    QStringList fields;
    QString cur;
    bool quoted = false;
    for (; at < text.size(); ++at) {
        const QChar c = text[at];
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

bool TServiceRecords::Journal(TJournalLine l)
{
    if (l.time.isEmpty())
        l.time = Stamp();
    const QStringList fields = {l.time,   l.action,  l.port,    l.model,  l.serial,
                                l.address, l.outcome, l.changes.join(u"; "_qs), l.backup, l.traffic};
    QString line;
    for (const QString& f : fields)
        line += (line.isEmpty() ? QString() : u","_qs) + Csv(f);
    line += u"\r\n"_qs;
    if (!QDir().mkpath(DataFolder()))
        return false;
    QFile f(JournalPath());
    // Appended, never rewritten: one write of one whole line to a file opened for appending.
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    QByteArray bytes;
    if (f.size() == 0)  // a new journal: the byte-order mark and the header, so spreadsheets read it right
        bytes = "\xEF\xBB\xBF" + (u"time,action,port,model,serial,address,outcome,changes,backup,traffic\r\n"_qs).toUtf8();
    bytes += line.toUtf8();
    return f.write(bytes) == bytes.size() && f.flush();
}

QString TServiceRecords::SaveTraffic(const std::string& text, const QString& action)
{
    const QString rel = u"traffic/"_qs + QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss-zzz"_qs) + u"-"_qs +
                        action + u".log"_qs;
    const QString path = DataFolder() + u"/"_qs + rel;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text.data(), static_cast<qint64>(text.size())) < 0)
        return {};
    return rel;
}

std::vector<TJournalLine> TServiceRecords::ReadJournal(const QString& path)
{
    std::vector<TJournalLine> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    QString text = QString::fromUtf8(f.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    qsizetype at = 0;
    bool header = true;
    while (at < text.size()) {
        const QStringList c = ParseCsvLine(text, at);
        if (header) {
            header = false;
            continue;
        }
        if (c.size() < 10)
            continue;
        out.push_back({c[0], c[1], c[2], c[3], c[4], c[5], c[6],
                       c[7].isEmpty() ? QStringList() : c[7].split(u"; "_qs), c[8], c[9]});
    }
    std::reverse(out.begin(), out.end());
    return out;
}
