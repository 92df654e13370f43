// What the parts of zenda share: the exit statuses, the refusals, the global options, and
// the helpers of its output (output.cpp) and its command line (options.cpp).
#pragma once

#include <QCommandLineParser>
#include <QJsonObject>
#include <QString>

#include <stdexcept>
#include <string>
#include <vector>

#include "channels.h"
#include "image.h"

// Exit statuses.
constexpr int kDone = 0, kDeviceError = 1, kUsage = 2, kNoPort = 3;

// A refusal before anything was written: a usage error or input the rules refuse.
struct ERefused : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct TGlobal {
    QString port;
    int baud = 0;
    bool json = false, trace = false, yes = false, noBackup = false;
};

// The program was asked to stop (a signal) before the action was done.
struct EStopped : std::runtime_error {
    explicit EStopped(int sig)
        : std::runtime_error("прервано (сигнал " + std::to_string(sig) + "): остановлено до записи"), signal(sig)
    {}
    int signal;
};

// ------------------------------------------------------------------ output.cpp: what it says

std::string Hex(const uint8_t* b, int n);
// The device's settings as JSON: model, numbers, channels as the window shows them, counters.
QJsonObject SettingsJson(const TImageBuffer& image);
void PrintForPeople(const QJsonObject& o);
// Says why (unless the engine has said it already) and gives the exit status; with --json,
// one JSON object.
int Fail(const TGlobal& g, int status, const std::string& message, bool said = false, const QString& held = {});
// The status, or 1 when what was printed could not be written (a full disk, a closed pipe):
// a script must not take a result it never got for done.
int OutputStatus(int status);
// Between exchanges: a stop that was asked for ends the action here (EStopped).
void Checkpoint();
// Writing needs a yes: --yes, or a "y" typed at the terminal after the question.
bool Ask(const std::string& question);
void Consent(const TGlobal& g, const std::string& question);
std::string PcTime();

// ------------------------------------------------------------------ options.cpp: what it is told

struct TCommand {
    const char* name;
    const char* summary;
    const char* args;
};
inline constexpr TCommand kCommands[] = {
    {"ports", "the COM names, what each resolves to, the serial devices found", "[--map COMn=PATH]"},
    {"read", "model, serial number, address, channels, V2 flag, last initialization, RTC correction, counters", ""},
    {"init", "initialize: settings not given keep what the device holds; counters cleared, PC clock stamped",
     "[--serial N] [--address A] [--ch1 SPEC] [--ch2 SPEC] [--v2-reset yes|no] [--leave]"},
    {"leave", "leave initialization mode", ""},
    {"rtc", "set the RTC correction, -25..25 seconds", "SECONDS"},
    {"counters", "preset counters; the others keep their values", "[--tp1 H:MM] [--tp2 H:MM] [--v1 X] [--v2 X]"},
    {"backup", "save the device's image into FILE, or into the backups folder", "[FILE]"},
    {"restore", "write a backup's settings back (the device keeps its counters unless --with-counters)",
     "FILE [--with-counters] [--other-serial]"},
    {"journal", "the service journal, newest first", "[--serial N]"},
    {"station",
     "a production station: consecutive serial numbers for a batch of devices on one or more fixtures "
     "(--json: a JSON object a line, per event and device, then the summary)",
     "(--serial-from N --count K | --plan FILE.csv) [--port P]... [--address A] [--ch1 SPEC] ..."},
    {"protocol", "the commissioning protocol (PDF) of the device's last write, a journal line, or the device now",
     "[--now | --line TIME] [--out FILE] [--engineer TEXT] ..."},
};

QString Description();
void AddGlobalOptions(QCommandLineParser& p);
void AddCommandOptions(QCommandLineParser& p, const QString& command);
QString HelpAll(const QCommandLineParser& main);
// A channel's settings (--ch1, --ch2) applied through the channel table's rules; notes say what a new type forced.
void ApplyChannelSpec(TChannelTable& table, int row, const QString& spec, std::vector<std::string>& notes);
