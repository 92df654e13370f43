// What the tool keeps of its work on the PC, for both faces: an image backup before every
// write, the service journal (one CSV line per device action) and the traffic of failed
// actions. All of it lives in the per-user data folder.
#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "cport.h"
#include "image.h"

// ~/.local/share/ЛЮМРАД/zenda-init on Linux, %LOCALAPPDATA%\ЛЮМРАД\zenda-init on Windows:
// the application-local data location of the organization ЛЮМРАД and the program
// zenda-init, the same for the window and the command line.
QString DataFolder();

// One line of the journal.
struct TJournalLine {
    QString time;     // ISO 8601 with the zone
    QString action;   // read, init, leave, rtc, counters, restore, backup
    QString port;     // "COM1 -> /dev/ttyUSB0"
    QString model;
    QString serial;   // as the device said, empty when nothing was read
    QString address;
    QString outcome;  // "выполнено", "отменено", or the exact message the user saw
    QStringList changes;
    QString backup;   // relative to the data folder
    QString traffic;  // relative to the data folder
};

// Records every byte of an action, for the traffic file of a failed one.
class TTrafficRecorder : public TPortObserver {
public:
    void OnWrite(const uint8_t* bytes, int32_t count, TimePoint at) override { Add(at, "->", bytes, count); }
    void OnRead(const uint8_t* bytes, int32_t count, TimePoint at) override { Add(at, "<-", bytes, count); }
    void OnError(int32_t code, int systemError, TimePoint at) override;
    void Clear();
    std::string Text() const;  // one line an entry, the simulator's log format
    bool Empty() const;

private:
    void Add(TimePoint at, const char* dir, const uint8_t* bytes, int32_t count);
    mutable std::mutex mu_;
    std::vector<std::string> lines_;
    TimePoint start_{};
};

class TServiceRecords {
public:
    explicit TServiceRecords(QString program) : program_(std::move(program)) {}

    // Saves the image as read before a write; returns the file, relative to the data
    // folder. Throws std::runtime_error with the reason when it cannot be saved.
    QString SaveBackup(const TImageBuffer& image, const QString& action, const QString& port);
    // Saves the image as a backup file at the given path (the command line's `backup FILE`).
    void SaveBackupAs(const TImageBuffer& image, const QString& action, const QString& port, const QString& path);
    // Appends the line; false when the journal cannot be written (the caller tells the user,
    // once a run; device work goes on).
    bool Journal(TJournalLine line);
    // Writes a failed action's traffic; the file relative to the data folder, "" on failure.
    QString SaveTraffic(const std::string& text, const QString& action);

    static QString JournalPath();
    // Newest first; at most `limit` lines when limit > 0.
    static std::vector<TJournalLine> ReadJournal(const QString& path = JournalPath());
    // A backup (or any image file zenda-sim reads): comment lines and 72 hex bytes.
    static bool LoadImageFile(const QString& path, TImageBuffer& image, QString& error);

private:
    QString Stamp() const;
    QString BackupText(const TImageBuffer& image, const QString& action, const QString& port) const;
    QString program_;
};

// "ZENDA1".."ZENDA3", or the code in hex.
QString ModelName(uint8_t code);
