// zenda's commands: one TProgram a run. The device actions do the work; TCliFace is what the
// command line answers to them: y/N or --yes, messages on stderr, refusals as exit status 2.
#pragma once

#include "label.h"

#include <QCommandLineParser>
#include <QJsonObject>
#include <QStringList>

#include <cstdio>
#include <string>
#include <vector>

#include "abort.h"
#include "actions/actions.h"
#include "channels.h"
#include "settings.h"
#include "terminal.h"
#include "version.h"
#include "zenda.h"

// ------------------------------------------------------------------ the face's answers

class TCliFace : public TActionFace {
public:
    explicit TCliFace(const TGlobal& g) : g_(g) {}
    [[noreturn]] void ErrorAbort(const std::string& Msg, const std::string& Caption) override;
    bool Ask(const TQuestion& q) override;
    void Inform(const QString& text) override { Say(text); }
    [[noreturn]] void Refuse(const QString& text) override { throw ERefused(Human(text), text); }
    QString PortText() const override { return portText; }
    void OpenLine(TDeviceSession& session) override;
    void Checkpoint() override { ::Checkpoint(); }
    bool StopRequested() const override { return StopSignal() != 0; }
    QString ShownError() const override { return JournalText(QString::fromStdString(last)); }
    QString FailureText(const std::exception& e) const override { return ::JournalText(e); }
    void JournalFailed(const QString& error) override;
    // Another PC's newer write of the device, as this PC last heard from the team's server.
    void WriteBegins(const TJournalLine& line) override;
    void Say(const QString& text);  // the engine's texts too, in the user's language

    QString portText;  // for the journal
    int comIndex = 0, baud = 4800;
    QString restoreFile;                 // restore: named in the question
    bool otherSerial = false;            // restore: --other-serial
    bool leave = false;                  // init: --leave
    std::vector<std::string> initNotes;  // init: what a channel's new type forced
    std::string openError;               // the port could not be opened
    QString openReason;                  // which port, and the system's reason
    TProgress progress;
    int errors = 0;
    std::string last;  // the message the user saw last

private:
    const TGlobal& g_;
};

class TProgram {
public:
    explicit TProgram(const TGlobal& g)
        : g_(g), face_(g), settings_(image_), table_(image_), actions_(face_, image_, QStringLiteral("zenda " ZENDA_VERSION))
    {
        actions_.askModel = true;  // every journal line names the model
        actions_.noBackup = g.noBackup;
    }

    int Read();
    int Leave();
    int Init(const QCommandLineParser& p);
    int Rtc(const QString& arg);
    int Counters(const QCommandLineParser& p);
    // backup [FILE]: the device's image into FILE, or into the backups folder.
    int BackupCommand(const QStringList& positional);
    // restore FILE [--with-counters]: the backup's settings back onto the device.
    int Restore(const QString& file, bool withCounters, bool otherSerial);
    int RestoreFromTeam(const QString& sha256, bool withCounters, bool otherSerial);

    // protocol: the commissioning protocol's PDF.
    int Protocol(const QCommandLineParser& p);

    // After a failed write: "new", "old" or "unknown"; empty when no write failed.
    QString Held() const;
    const std::string& OpenError() const { return face_.openError; }
    const QString& OpenReason() const { return face_.openReason; }
    TCliFace& Ui() { return face_; }
    int ReadSerial() const { return readSerial_; }  // the device a read said, -1 before one

private:
    // The port named on the command line (or the stored one), checked before anything is
    // opened: a wrong --port is a refusal, not an action.
    void PreparePort();
    // What the device holds now, as the result shows it.
    void LoadTable();
    QJsonObject Result(bool ok) const;
    int Emit(const QJsonObject& o);

    const TGlobal& g_;
    TCliFace face_;
    TImageBuffer image_;
    TDeviceSettings settings_;
    TChannelTable table_;
    TLineObserver observer_;
    TDeviceActions actions_;
    int readSerial_ = -1;
};

// journal [--serial N]: the service journal, newest first.
int JournalCommand(const TGlobal& g, const QCommandLineParser& p);
int SyncCommand(const TGlobal& g);
// After an action that journaled: its lines to the team's server, if this user has one, for 1.5 s
// at most; past that the program ends with status at once. After a read (serial, else -1): in
// the same time, a note when another PC wrote that device after this PC last did.
void PushBriefly(int status, int serial = -1);
// Another PC's write of the device newer than this PC's last one, as this PC last heard from the
// team's server, as a note for the engineer (information only); empty when there is none.
QString OtherWriteNote(int serial);
// station: the production station (station.h).
int StationCommand(const TGlobal& g, const QCommandLineParser& p);
// label N [--labels PRINTER|FILE.pdf] [--label-size WxH]
int LabelCommand(const TGlobal& g, const QCommandLineParser& p, const QString& number);
// --labels and --label-size as given (none when --labels is not); ERefused for a printer the
// system has not, or with no drawing program.
std::optional<TLabelTarget> LabelTargetOption(const QCommandLineParser& p);
// team connect CONNINFO | status | setup | add-pc NAME
int TeamCommand(const TGlobal& g, const QStringList& args);
// ports [--map COMn=PATH]
int Ports(const TGlobal& g, const QCommandLineParser& p);
