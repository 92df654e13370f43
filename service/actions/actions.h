// The device actions, once for every face: read, initialize, leave initialization mode, RTC
// correction, counters, restore, backup. Each does the whole of its work: the port check, the
// exchanges in their order, the backup before a write (and the question when it cannot be
// saved), the change list, the verified write, and one journal line with its outcome and the
// traffic of a failure. A face (the window, zenda) answers the questions, shows what it is
// told, and changes the settings between the read and the write.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "exchange.h"
#include "image.h"
#include "records/records.h"
#include "session.h"

class TActionFace : public TDeviceUi {
public:
    struct TQuestion {
        enum Kind { WithoutBackup, LeaveAfterInit, Restore, OtherSerial } kind;
        explicit TQuestion(Kind k) : kind(k) {}
        QString text;                            // in the window's words; a face may word it its own way
        bool defaultYes = false;                 // what Enter (or no answer at all) gives
        QString reason;                          // WithoutBackup: why the backup could not be saved
        QString note;                            // Restore: the backup is of another model (or empty)
        QStringList changes;                     // Restore: what would be written
        int backupSerial = 0, deviceSerial = 0;  // OtherSerial
    };
    virtual bool Ask(const TQuestion& q) = 0;
    // A finished action's message ("Счетчики установлены").
    virtual void Inform(const QString& text) = 0;
    // Refuses before anything is written (settings the device does not take, no backup);
    // never returns.
    [[noreturn]] virtual void Refuse(const QString& text) = 0;
    // "COM1 -> /dev/ttyUSB0", for the journal.
    virtual QString PortText() const = 0;
    // The window keeps its port open between actions; the command line opens it here.
    virtual void OpenLine(TDeviceSession&) {}
    // The device named its model (before its settings are read).
    virtual void ModelRead(uint8_t) {}
    // An action that does not ask the model: the model this face knows the device by (a read of
    // the same factory number in this run), for its records; empty when it knows none.
    virtual QString KnownModel(int /*serial*/) const { return {}; }
    // Between exchanges: a face may end the action here by throwing.
    virtual void Checkpoint() {}
    // A stop was asked for: an initialization then does not go on to leave the mode.
    virtual bool StopRequested() const { return false; }
    virtual void ActionBegins() {}
    // The last moment before the first byte of a write (line: the device as read, the changes):
    // a face may record it (durably), tell the engineer, or end the action here by throwing;
    // nothing has been written then.
    virtual void WriteBegins(const TJournalLine&) {}
    // The outcome of a failed action as the journal keeps it: the message the user saw last
    // for an anticipated failure (empty: none was shown), the error's own text for others.
    virtual QString ShownError() const = 0;
    virtual QString FailureText(const std::exception& e) const { return QString::fromUtf8(e.what()); }
    virtual void JournalFailed(const QString& error) = 0;
    // A line was added to the journal (the window sends it on to the team's server, off its loop).
    virtual void Journaled() {}
};

// What an action did, for the face that asked and for what is made of it later.
struct TActionResult {
    bool done = false;       // everything asked was done and verified
    bool cancelled = false;  // the engineer said no (or closed a dialog): nothing written
    bool modelAsked = false;
    uint8_t model = 0;
    TImageBuffer read;  // the image as the device gave it
    bool writeBegan = false;  // the first byte of a write was about to go: the device may hold it
    bool wrote = false;
    TImageBuffer written;                       // the image written and verified by reading it back
    bool left = false;                          // initialization mode was left after the write
    TJournalLine line;                          // as journaled: outcome, changes, backup, traffic, time
    std::optional<TDeviceSession::THeld> held;  // after a failed write: what the device holds
};

// The device a page shows: the model and factory number of the read that filled it.
struct TLookedDevice {
    uint8_t model = 0;
    int serial = 0;
};

class TDeviceActions {
public:
    // The actions read into and write from image, which the face's settings and channel
    // table look at; program names this tool in backups ("zenda 1.03": the name and the version).
    TDeviceActions(TActionFace& face, TImageBuffer& image, QString program);

    TDeviceSession& Session() { return session_; }
    TTrafficRecorder& Traffic() { return traffic_; }
    TServiceRecords& Records() { return records_; }

    // Every action asks the device's model first (the window's RTC and counters do not:
    // their exchanges stay what they always were).
    bool askModel = false;
    // Writes without a backup (zenda's --no-backup); else a backup that cannot be saved asks.
    bool noBackup = false;
    // One write, never a second: where the device may be swapped while the write waits for its
    // answer (a production line), a retry could land on the next device. A write that failed
    // is then only read back: the intended image makes it done, anything else a failure.
    bool writeOnce = false;

    // Changes the image between the read and the write; false: the engineer cancelled.
    using TEdit = std::function<bool()>;
    enum class TLeave { Ask, Yes, No };

    const TActionResult& Read();
    // The settings the edit makes, the counters cleared, the PC clock stamped; then leaves
    // initialization mode as asked. looked: the device whose page the edit takes its settings
    // from; another device on the line is refused before anything is written.
    const TActionResult& Initialize(const TEdit& edit, TLeave leave, const std::optional<TLookedDevice>& looked = {});
    const TActionResult& Leave();
    const TActionResult& Rtc(const TEdit& edit);
    const TActionResult& Counters(const TEdit& edit);
    // file: the backup, which load reads (or refuses, in the face's words).
    // undone: the number that the write being undone gave the device (a restore from the journal's
    // line of an initialization), -1 else; a device that holds it is the same device.
    const TActionResult& Restore(const QString& file, const std::function<TImageBuffer()>& load, bool withCounters,
                                 int undone = -1);
    // The device's image into path, or into the backups folder when path is empty.
    const TActionResult& Backup(const QString& path);

    const TActionResult& Result() const { return result_; }

private:
    const TActionResult& Journaled(const char* action, const std::function<void()>& body);
    // The action's line journaled now, its write verified: nothing after it changes its outcome.
    void Settle();
    // The leave after an initialization, journaled as a line of its own whatever its end.
    void JournalLeave(const std::function<void()>& leave);
    void Finish(const QString& outcome);
    void ReadDevice(bool withModel);
    void WriteImage();
    // Refuses a write of what the model on the line would not take (nothing is written then).
    void CheckWrite(bool typesAlways, uint8_t model);
    const TActionResult& Change(const char* action, const TEdit& edit, const QString& doneText);

    TActionFace& face_;
    TImageBuffer& image_;
    TDeviceSession session_;
    TServiceRecords records_;
    TTrafficRecorder traffic_;
    TActionResult result_;
    bool journalFailed_ = false;  // the begun line could not be written: said already
    bool settled_ = false;        // the action's line is journaled already
};
