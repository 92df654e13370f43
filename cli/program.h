// zenda's commands: one TProgram a run, which opens the port, reads, backs up, writes, verifies
// and journals, with the command line's answers (TCliUi) to what the engine reports.
#pragma once

#include <QCommandLineParser>
#include <QJsonObject>
#include <QStringList>

#include <cstdio>
#include <optional>
#include <string>

#include "abort.h"
#include "channels.h"
#include "records.h"
#include "session.h"
#include "settings.h"
#include "terminal.h"
#include "zenda.h"

// ------------------------------------------------------------------ the face's answers

class TCliUi : public TDeviceUi {
public:
    [[noreturn]] void ErrorAbort(const std::string& Msg, const std::string& /*Caption*/) override
    {
        progress.Clear();
        std::fprintf(stderr, "zenda: %s\n", Msg.c_str());
        ++errors;
        last = Msg;
        throw EAbort();
    }
    TProgress progress;
    int errors = 0;
    std::string last;  // the message the user saw last
};

class TProgram {
public:
    TProgram(const TGlobal& g) : g_(g), session_(ui_), settings_(image_), table_(image_) {}

    // The journal's line of this action: begun when the port is opened, ended once.
    void Finish(const std::string& outcome);
    void Open(const char* action);
    void ReadDevice();

    // The image as read, saved before anything is written (unless --no-backup).
    void Backup();
    void Write();

    // After a failed write: "new", "old" or "unknown"; empty when no write failed.
    QString Held() const;
    void LoadTable();
    QJsonObject Result(bool ok) const;
    int Read();
    int Leave();
    int Init(const QCommandLineParser& p);
    int Rtc(const QString& arg);
    int Counters(const QCommandLineParser& p);
    int Emit(const QJsonObject& o);
    void Say(const std::string& text);

    // backup [FILE]: the device's image into FILE, or into the backups folder.
    int BackupCommand(const QStringList& positional);

    // restore FILE [--with-counters]: the backup's settings back onto the device.
    int Restore(const QString& file, bool withCounters, bool otherSerial);
    int Done(int status);
    const std::string& OpenError() const { return openError_; }
    TCliUi& Ui() { return ui_; }

private:
    const TGlobal& g_;
    TCliUi ui_;
    TDeviceSession session_;
    TImageBuffer image_;
    TDeviceSettings settings_;
    TChannelTable table_;
    TLineObserver observer_;
    std::string openError_;
    TServiceRecords records_{QStringLiteral("zenda 1.03")};
    TTrafficRecorder traffic_;
    TJournalLine line_;
    TImageBuffer read_;  // the image as read, for the list of changes
    std::optional<TDeviceSession::THeld> held_;
    bool journaling_ = false;
};

// journal [--serial N]: the service journal, newest first.
int JournalCommand(const TGlobal& g, const QCommandLineParser& p);
// ports [--map COMn=PATH]
int Ports(const TGlobal& g, const QCommandLineParser& p);
