// What the tool keeps of its work on the PC, for both faces: an image backup before every
// write, the service journal (one CSV line per device action) and the traffic of failed
// actions. All of it lives in the per-user data folder.
#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
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
    QString written;  // a write that was verified: the 72 bytes written, in hex
    // The action's identity: its begun line and its end share it, so the two are paired by it
    // and never by what their fields happen to hold. Empty in journals written before it was kept.
    QString id;
    // The number the line's write gave the device ("Заводской номер: 0 -> 5001"), else empty.
    QString WrittenSerial() const;
};

// A new identity for a record: 32 hex digits, random.
QString NewRecordId();
// A text as it may be shown in a terminal: every control character as \xNN. A field from a
// file or another PC (a user's name) loses its line ends too, so that it cannot pass for more
// lines; a message keeps them (keepLineEnds).
QString OnOneLine(const QString& text, bool keepLineEnds = false);

// Which journal lines a reader wants: the newest N (all when negative), of the devices whose
// number is serial (all when empty): the number the device said, or the one the line wrote, so an
// initialization is found under its new number too. Whole numbers when exact, else those that
// start so (the window's filter as it is typed).
struct TJournalQuery {
    int newest = -1;
    QString serial;
    bool exact = false;
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

// Why an image file could not be read; each face words it in its own language.
struct TImageFileError {
    enum Kind { None, Open, NotRegular, TooLarge, BadByte, Count } kind = None;
    QString detail;  // the system's message, the word that is not a hex byte, or the count of bytes
};

class TServiceRecords {
public:
    explicit TServiceRecords(QString program) : program_(std::move(program)) {}

    // Saves the image as read before a write under a name of its own (never over another
    // file); returns the file, relative to the data folder. The model is the one the device
    // named in this action, empty when it was not asked. Counts only when written, flushed to
    // the disk, closed and read back as the same 72 bytes; else throws std::runtime_error with
    // the system's reason.
    QString SaveBackup(const TImageBuffer& image, const QString& action, const QString& port, const QString& model);
    // The same at a path of the user's (the command line's `backup FILE`); an existing regular
    // file there is replaced whole, anything else is refused.
    void SaveBackupAs(const TImageBuffer& image, const QString& action, const QString& port, const QString& model,
                      const QString& path);
    // Appends the line; false when the journal cannot be written (the caller tells the user,
    // once a run, with JournalError(); device work goes on). sync: on the disk before it returns.
    bool Journal(TJournalLine line, bool sync = false);
    // The outcome of the line written just before a write goes to the device. The action's own
    // line, appended when it ends, hides it; alone (the program was killed, the power cut) it
    // says that a write began and how it ended is not known.
    static const QString kBegun;
    QString JournalError() const { return journalError_; }
    // Writes a failed action's traffic under a name of its own; the file relative to the
    // data folder, "" on failure.
    QString SaveTraffic(const std::string& text, const QString& action);

    static QString JournalPath();
    // Newest first, a write's begun line hidden by the line of its end; only as many and only
    // the device's as asked. A journal that is missing is empty; one that cannot be read sets
    // *error. It is read from its end, so the newest lines of a large journal come at once.
    static std::vector<TJournalLine> ReadJournal(const QString& path = JournalPath(), QString* error = nullptr,
                                                 const TJournalQuery& query = {});
    // The same, a line at a time to sink until it returns false; false when it cannot be read.
    static bool ForEachJournalLine(const QString& path, const TJournalQuery& query,
                                   const std::function<bool(const TJournalLine&)>& sink, QString* error = nullptr);
    // A backup (or any image file zenda-sim reads): comment lines and 72 hex bytes. Only a
    // regular file of a sane size is read (a FIFO would block, a device never end).
    static bool LoadImageFile(const QString& path, TImageBuffer& image, QString& error, TImageFileError* why = nullptr);
    // The same from the file's bytes.
    static bool ParseImage(const QByteArray& text, TImageBuffer& image, QString& error, TImageFileError* why = nullptr);
    // The journal from its bytes: UTF-8 or UTF-16; a line that is not a whole journal line is
    // kept as a line of the action kDamaged, its text in the outcome.
    static std::vector<TJournalLine> ParseJournal(const QByteArray& bytes, const TJournalQuery& query = {});
    static const QString kDamaged;
    // One line of the file (without its line end) as a journal line: whole, or kDamaged.
    static TJournalLine ParseJournalLine(const QString& raw);
    // A line that is no whole journal line, shown as what it is: its text (escaped where it holds
    // what no record may) under the damaged action.
    static TJournalLine DamagedLine(const QString& raw);
    static constexpr const char* kJournalHeader = "time,action,port,model,serial,address,outcome,changes,backup,traffic,written,id";
    static constexpr qint64 kImageFileMax = 64 * 1024;
    // The model a backup file names ("ZENDA3"), empty when it names none.
    static QString BackupModel(const QString& path);
    // "Резервная копия прибора ZENDA3, подключен ZENDA1", empty when the models agree or the
    // backup names none.
    static QString OtherModelNote(const QString& path, const QString& connected);

private:
    QString BackupText(const TImageBuffer& image, const QString& action, const QString& port,
                       const QString& model) const;
    QString program_;
    QString journalError_;
};

// A file written whole or not at all (a temporary file in its folder, flushed to the disk,
// renamed), never over another file; std::runtime_error with the reason. At a path of the
// user's, in a folder that exists:
void SaveFileAs(const QString& path, const QByteArray& bytes);
// What SaveFileAs would refuse before writing anything (an existing file, a missing folder).
void CheckFileCanBeMade(const QString& path);
// In a folder (made when missing) under a name of its own: base + ext, else base-2 + ext, ...;
// the name.
QString SaveFileUnique(const QString& dir, const QString& base, const QString& ext, const QByteArray& bytes);

// Now, as the journal and the backups write it: ISO 8601 with the zone.
QString LocalStamp();
// A zone as a person reads it: "UTC", "UTC+03:00", "UTC-05:30".
QString ZoneName(int offsetFromUtcSeconds);

// "ZENDA1".."ZENDA3", or the code in hex.
QString ModelName(uint8_t code);
