// Files that reach the disk whole or not at all, for every record the tool keeps: folders
// made with the system's reason when they cannot be, a temporary file flushed and synced, and
// a rename that never replaces another program's file.
#pragma once

#include <QByteArray>
#include <QString>

namespace durable {
// The system's own words for its error number.
QString SystemReason(int error);
// 0 when the path exists (or, made, was made), else the system's error number.
int MakeOneFolder(const QString& path);
// Why a path cannot be looked at: 0 when it exists or is simply missing, else the system's
// error number (a file where a folder should be).
int LookError(const QString& path);
[[noreturn]] void Refuse(const QString& why);  // std::runtime_error
// The folder, made when missing; std::runtime_error with the system's reason.
void MakeFolder(const QString& dir);
bool SyncToDisk(int fd);
// Moves a file to a name that must not exist yet, atomically.
bool RenameNoReplace(const QString& from, const QString& to);
// The bytes in a new file of the folder, flushed to the disk and closed; its path.
QString WriteTemporary(const QString& dir, const QByteArray& bytes);
// Gives the file a name of its own in the folder: base + ext, else base-2 + ext, ...
QString PublishUnique(const QString& temp, const QString& dir, const QString& base, const QString& ext);
// Refuses a path that exists or whose folder does not.
void CheckNewFile(const QString& path);
// The temporary file under the user's name, never over another file.
void Publish(const QString& temp, const QString& path);
// The file replaced by these bytes whole, or left as it was; std::runtime_error with the
// system's reason (a full disk cuts a write short without an error of Qt's own).
void ReplaceWhole(const QString& path, const QByteArray& bytes);
// Why nothing can be written into the folder (the system's reason: permission denied, no space).
QString WhyNotWritable(const QString& dir);
// Now as a file name: 20261208-120056-123.
QString TimeName();
}  // namespace durable
