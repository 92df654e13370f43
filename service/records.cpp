#include "records.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <QTimeZone>

#include <cstdio>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <map>
#include <utility>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

// Local time with its offset from UTC, e.g. 2026-12-08T12:00:56+03:00.
QString LocalStamp()
{
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate);
}

QString TServiceRecords::BackupText(const TImageBuffer& image, const QString& action, const QString& port,
                                    const QString& model) const
{
    TImageBuffer copy = image;
    const TDeviceSettings s(copy);
    QString t;
    t += action == u"backup"_qs ? u"# zenda-init image backup: the device's 72 bytes as read\n"_qs
                               : u"# zenda-init image backup: the device's 72 bytes as read before a write\n"_qs;
    t += u"# time: "_qs + LocalStamp() + u" ("_qs + QDateTime::currentDateTime().timeZoneAbbreviation() + u")\n"_qs;
    t += u"# port: "_qs + port + u"\n"_qs;
    // Only what the device said: the image holds no model, and the window's list may be wrong.
    t += u"# model: "_qs + (model.isEmpty() ? u"unknown (not asked)"_qs : model) + u"\n"_qs;
    t += u"# serial: "_qs + QString::number(s.SerialNumber()) + u"\n"_qs;
    t += u"# address: "_qs + QString::number(s.Address()) + u"\n"_qs;
    t += u"# action: "_qs + action + u"\n"_qs;
    t += u"# program: "_qs + program_ + u"\n"_qs;
    for (int i = 0; i < kImageSize; ++i)
        t += QString::asprintf("%02X", image.Image()[i]) + ((i % 12) == 11 ? u"\n"_qs : u" "_qs);
    return t;
}

namespace {
// The system's own words for its error number (std::filesystem would give the same, at a
// quarter of a megabyte in each Windows program).
QString SystemReason(int error)
{
#ifdef _WIN32
    return QString::fromStdString(std::system_category().message(error));
#else
    return QString::fromStdString(std::generic_category().message(error));
#endif
}

// 0 when the path exists (or, made, was made), else the system's error number.
int MakeOneFolder(const QString& path)
{
#ifdef _WIN32
    if (CreateDirectoryW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()), nullptr) ||
        GetLastError() == ERROR_ALREADY_EXISTS)
        return 0;
    return static_cast<int>(GetLastError());
#else
    return ::mkdir(QFile::encodeName(path).constData(), 0777) == 0 || errno == EEXIST ? 0 : errno;
#endif
}

// Why a path cannot be looked at: 0 when it exists or is simply missing (ENOENT), else the
// system's error number (a file where a folder should be).
int LookError(const QString& path)
{
#ifdef _WIN32
    if (GetFileAttributesW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16())) !=
        INVALID_FILE_ATTRIBUTES)
        return 0;
    const DWORD e = GetLastError();
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? 0 : static_cast<int>(e);
#else
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 || errno == ENOENT ? 0 : errno;
#endif
}

[[noreturn]] void Refuse(const QString& why) { throw std::runtime_error(why.toStdString()); }

// The folder, made when missing, each missing folder on the way in turn; the system's own
// reason when one cannot be.
void MakeFolder(const QString& dir)
{
    QStringList missing;
    for (QString at = QDir::cleanPath(QDir(dir).absolutePath()); !QFileInfo::exists(at);) {
        missing.prepend(at);
        const QString up = QFileInfo(at).path();
        if (up == at)
            break;
        at = up;
    }
    for (const QString& m : missing)
        if (const int e = MakeOneFolder(m))
            Refuse(dir + u": "_qs + SystemReason(e));
    if (!QFileInfo(dir).isDir())
        Refuse(dir + u": not a folder"_qs);
}

bool SyncToDisk(int fd)
{
#ifdef _WIN32
    return _commit(fd) == 0;
#else
    return ::fsync(fd) == 0;
#endif
}

// Moves a file to a name that must not exist yet, atomically. QFile::rename is not used: when
// its own rename fails because another program took the name a moment earlier, it falls back
// to copying over that program's file.
bool RenameNoReplace(const QString& from, const QString& to)
{
#ifdef _WIN32
    return MoveFileExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(from).utf16()),
                       reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(to).utf16()),
                       MOVEFILE_WRITE_THROUGH) != 0;
#else
    const QByteArray a = QFile::encodeName(from), b = QFile::encodeName(to);
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    // A file system without renameat2's flag: a hard link fails on an existing name as well.
    if (::link(a.constData(), b.constData()) != 0)
        return false;
    ::unlink(a.constData());
    return true;
#endif
}

// The bytes in a new file of the folder, flushed to the disk and closed; its path. Nothing
// is left behind when any step fails.
QString WriteTemporary(const QString& dir, const QByteArray& bytes)
{
    MakeFolder(dir);
    QTemporaryFile f(dir + u"/.zenda-XXXXXX.tmp"_qs);
    f.setAutoRemove(false);
    if (!f.open())
        Refuse(dir + u": "_qs + f.errorString());
    const QString path = f.fileName();
    QString why;
    if (f.write(bytes) != bytes.size() || !f.flush())
        why = f.errorString();
    else if (!SyncToDisk(f.handle()))
        why = QString::fromLocal8Bit(std::strerror(errno));
    f.close();
    if (why.isEmpty() && f.error() != QFileDevice::NoError)
        why = f.errorString();
    if (!why.isEmpty()) {
        QFile::remove(path);
        Refuse(why);
    }
    return path;
}

// Gives the file a name of its own in the folder: base + ext, else base-2 + ext, ...; never
// over an existing file (the rename does not replace), so two programs in the same
// millisecond keep two files.
QString PublishUnique(const QString& temp, const QString& dir, const QString& base, const QString& ext)
{
    for (int n = 1; n < 1000; ++n) {
        const QString name = base + (n > 1 ? u"-"_qs + QString::number(n) : QString()) + ext;
        if (RenameNoReplace(temp, dir + u'/' + name))
            return name;
        if (!QFileInfo::exists(dir + u'/' + name))
            break;
    }
    QFile::remove(temp);
    Refuse(dir + u'/' + base + ext + u": cannot be created"_qs);
}

// Refuses a backup that did not reach the disk as written.
void CheckReadsBack(const QString& temp, const TImageBuffer& image)
{
    TImageBuffer back;
    QString error;
    if (!TServiceRecords::LoadImageFile(temp, back, error) ||
        std::memcmp(back.Image(), image.Image(), kImageSize) != 0) {
        QFile::remove(temp);
        Refuse(u"the file read back is not the image written"_qs + (error.isEmpty() ? QString() : u" ("_qs + error + u')'));
    }
}

QString TimeName() { return QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss-zzz"_qs); }
}  // namespace

namespace {
// Never over an existing file (the journal, an earlier backup, anything of the user's), and
// only into a folder that exists: a mistyped path makes nothing.
void CheckNewFile(const QString& path)
{
    const QFileInfo target(path);
    if (path.isEmpty())
        Refuse(u"no file name"_qs);
    if (target.exists() && !target.isFile())
        Refuse(path + u": not a regular file"_qs);
    if (target.exists() || target.isSymLink())
        Refuse(path + u": exists already; give a new name"_qs);
    if (!QFileInfo(target.absolutePath()).isDir())
        Refuse(target.absolutePath() + u": no such folder"_qs);
}

void Publish(const QString& temp, const QString& path)
{
    if (!RenameNoReplace(temp, QFileInfo(path).absoluteFilePath())) {
        QFile::remove(temp);
        Refuse(path + u": exists already; give a new name"_qs);
    }
}
}  // namespace

void TServiceRecords::SaveBackupAs(const TImageBuffer& image, const QString& action, const QString& port,
                                   const QString& model, const QString& path)
{
    CheckNewFile(path);
    const QString temp =
        WriteTemporary(QFileInfo(path).absolutePath(), BackupText(image, action, port, model).toUtf8());
    CheckReadsBack(temp, image);
    Publish(temp, path);
}

void SaveFileAs(const QString& path, const QByteArray& bytes)
{
    CheckNewFile(path);
    Publish(WriteTemporary(QFileInfo(path).absolutePath(), bytes), path);
}

QString SaveFileUnique(const QString& dir, const QString& base, const QString& ext, const QByteArray& bytes)
{
    return PublishUnique(WriteTemporary(dir, bytes), dir, base, ext);
}

QString TServiceRecords::SaveBackup(const TImageBuffer& image, const QString& action, const QString& port,
                                    const QString& model)
{
    TImageBuffer copy = image;
    const QString sub = u"backups/"_qs + QString::number(TDeviceSettings(copy).SerialNumber());
    const QString dir = DataFolder() + u'/' + sub;
    const QString temp = WriteTemporary(dir, BackupText(image, action, port, model).toUtf8());
    CheckReadsBack(temp, image);
    return sub + u'/' + PublishUnique(temp, dir, TimeName() + u'-' + action, u".hex"_qs);
}

bool TServiceRecords::LoadImageFile(const QString& path, TImageBuffer& image, QString& error, TImageFileError* why)
{
    TImageFileError local;
    TImageFileError& e = why ? *why : local;
    auto fail = [&](TImageFileError::Kind kind, const QString& detail, const QString& text) {
        e = {kind, detail};
        error = text;
        return false;
    };
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return fail(TImageFileError::NotRegular, {}, u"not a regular file"_qs);
    if (info.size() > kImageFileMax)
        return fail(TImageFileError::TooLarge, QString::number(info.size()),
                    u"too large for an image file ("_qs + QString::number(info.size()) + u" bytes)"_qs);
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return fail(TImageFileError::Open, f.errorString(), f.errorString());
    return ParseImage(f.read(kImageFileMax + 1), image, error, why);
}

bool TServiceRecords::ParseImage(const QByteArray& text, TImageBuffer& image, QString& error, TImageFileError* why)
{
    TImageFileError local;
    TImageFileError& e = why ? *why : local;
    auto fail = [&](TImageFileError::Kind kind, const QString& detail, const QString& message) {
        e = {kind, detail};
        error = message;
        return false;
    };
    if (text.size() > kImageFileMax)
        return fail(TImageFileError::TooLarge, QString::number(text.size()),
                    u"too large for an image file ("_qs + QString::number(text.size()) + u" bytes)"_qs);
    std::vector<uint8_t> bytes;
    for (const QByteArray& raw : text.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'#') || line.isEmpty())
            continue;
        for (const QString& w : line.split(u' ', Qt::SkipEmptyParts)) {
            bool ok = false;
            const uint v = w.toUInt(&ok, 16);
            if (!ok || v > 255 || w.size() > 2)
                return fail(TImageFileError::BadByte, w, u"not a hex byte: "_qs + w);
            bytes.push_back(static_cast<uint8_t>(v));
        }
    }
    if (bytes.size() != kImageSize)
        return fail(TImageFileError::Count, QString::number(bytes.size()),
                    QString::number(bytes.size()) + u" bytes, not 72"_qs);
    std::copy(bytes.begin(), bytes.end(), image.Image());
    e = {};
    return true;
}

QString TServiceRecords::BackupModel(const QString& path)
{
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    while (!f.atEnd() && f.pos() <= kImageFileMax) {
        const QString line = QString::fromUtf8(f.readLine(kImageFileMax)).trimmed();
        if (line.startsWith(u"# model: ZENDA"_qs))
            return line.mid(9);
    }
    return {};
}

QString TServiceRecords::OtherModelNote(const QString& path, const QString& connected)
{
    const QString model = BackupModel(path);
    if (model.isEmpty() || model == connected)
        return {};
    return u"Резервная копия прибора "_qs + model + u", подключен "_qs + connected;
}

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
    const QStringList fields = {l.time,    l.action,  l.port,    l.model,  l.serial,
                                l.address, l.outcome, l.changes.join(u"; "_qs), l.backup, l.traffic, l.written};
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
        journalError_ = JournalPath() + u".lock: held by another program"_qs;
        return false;
    }
    QFile f(JournalPath());
    // Appended, never rewritten: one write of one whole line to a file opened for appending.
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append) || !f.seek(f.size())) {
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
        bytes = "\xEF\xBB\xBF" + (u"time,action,port,model,serial,address,outcome,changes,backup,traffic,written\r\n"_qs).toUtf8();
    bytes += line.toUtf8();
    if (f.write(bytes) != bytes.size() || !f.flush() || (sync && !SyncToDisk(f.handle()))) {
        journalError_ = JournalPath() + u": "_qs + f.errorString();
        return false;
    }
    return true;
}

QString TServiceRecords::SaveTraffic(const std::string& text, const QString& action)
{
    try {
        const QString dir = DataFolder() + u"/traffic"_qs;
        const QString temp = WriteTemporary(dir, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
        return u"traffic/"_qs + PublishUnique(temp, dir, TimeName() + u'-' + action, u".log"_qs);
    } catch (const std::exception&) {
        return {};
    }
}

namespace {
// One line of the file as a journal line: whole, or kept as damaged.
TJournalLine ParseLine(const QString& raw)
{
    qsizetype at = 0;
    const QStringList c = ParseCsvLine(raw, at);
    // Lines from before the written image was kept have ten fields.
    if ((c.size() == 10 || c.size() == 11) && QDateTime::fromString(c[0], Qt::ISODate).isValid())
        return {c[0], c[1], c[2], c[3], c[4], c[5], c[6],
                c[7].isEmpty() ? QStringList() : c[7].split(u"; "_qs), c[8], c[9], c.value(10)};
    TJournalLine d;  // shown as what it is, never dropped in silence and never rewritten
    d.action = TServiceRecords::kDamaged;
    d.outcome = u"строка журнала повреждена: "_qs + raw.left(200);
    return d;
}

bool IsUtf16(const QByteArray& head)
{
    return head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF") ||
           (head.size() >= 4 && head[1] == '\0' && head[3] == '\0');
}

// Takes the lines newest first: a begun line is hidden by the first line after it of the same
// write (the same action, port, device and backup: a port serves one program at a time).
struct TNewestFirst {
    const TJournalQuery& query;
    const std::function<bool(const TJournalLine&)>& sink;
    std::map<QString, int> ended;
    bool Take(const QString& raw)  // false: enough
    {
        const QString line = raw.trimmed();
        if (line.isEmpty())
            return true;
        TJournalLine l = ParseLine(line);
        if (!query.serial.isEmpty() && !l.serial.startsWith(query.serial))
            return true;
        int& later = ended[l.action + u'\n' + l.port + u'\n' + l.serial + u'\n' + l.backup];
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
    const QByteArray wanted = query.serial.isEmpty() ? QByteArray() : ",\"" + query.serial.toUtf8();
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
            if (!(first && raw.startsWith("time,action,")) && (wanted.isEmpty() || raw.contains(wanted)) &&
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
