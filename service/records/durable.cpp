#include "records/durable.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
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

#include "records/records.h"

namespace durable {

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

namespace {
// Qt says no error, or "Unknown error", when the disk fills after part of a write: the
// system's errno says why, else a probe of the folder.
QString ShortWriteReason(int error, const QString& dir) { return error ? SystemReason(error) : WhyNotWritable(dir); }
}  // namespace

void ReplaceWhole(const QString& path, const QByteArray& bytes)
{
    QSaveFile f(path);
    // Unbuffered: a buffered write that the disk cuts short at commit is lost without an error.
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        Refuse(path + u": "_qs + f.errorString());
    errno = 0;
    if (f.write(bytes) != bytes.size()) {
        const QString why = ShortWriteReason(errno, QFileInfo(path).absolutePath());
        f.cancelWriting();
        Refuse(path + u": "_qs + why);
    }
    if (!f.commit())
        Refuse(path + u": "_qs + f.errorString());
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
    errno = 0;
    // The size on the disk too: a buffered write cut short by a full disk says no error.
    if (f.write(bytes) != bytes.size() || !f.flush() || f.size() != bytes.size())
        why = ShortWriteReason(errno, dir);
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

QString WhyNotWritable(const QString& dir)
{
    // A block written and synced in a file of its own says what the system says of the folder.
    QTemporaryFile probe(dir + u"/.zenda-probe-XXXXXX"_qs);
    if (!probe.open())
        return probe.errorString();
    const QByteArray block(4096, '\0');
    errno = 0;
    if (probe.write(block) != block.size() || !probe.flush() || !SyncToDisk(probe.handle()))
        return errno ? SystemReason(errno) : probe.errorString();
    return u"cannot be written"_qs;
}

QString TimeName() { return QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss-zzz"_qs); }
}  // namespace durable

using namespace durable;

void CheckFileCanBeMade(const QString& path) { CheckNewFile(path); }

void SaveFileAs(const QString& path, const QByteArray& bytes)
{
    CheckNewFile(path);
    Publish(WriteTemporary(QFileInfo(path).absolutePath(), bytes), path);
}

QString SaveFileUnique(const QString& dir, const QString& base, const QString& ext, const QByteArray& bytes)
{
    return PublishUnique(WriteTemporary(dir, bytes), dir, base, ext);
}

