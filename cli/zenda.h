// What the parts of zenda share: the exit statuses, the refusals, the global options, and
// the helpers of its output (output.cpp) and its command line (options.cpp).
#pragma once

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <stdexcept>
#include <string>
#include <vector>

#include "channels.h"
#include "image.h"
#include "numbers/plan.h"
#include "base/refusal.h"

// ------------------------------------------------------------------ language.cpp: its language

// Installs the translation of the user's locale (LANG/LC_MESSAGES, on Windows the UI
// language); true when it is Russian.
bool LoadLanguage();
bool Russian();
// A text of the engine (the device's and the line's messages, the actions' questions, the
// records' refusals) in the user's language: the whole, else each part between ": ", "; ", ...
QString Human(const QString& text);
std::string Human(const std::string& text);
// A text zenda showed, as the journal keeps it: in the window's Russian whatever the run's
// language (zenda's own texts translated, the engine's as they are); Human() shows it again.
QString JournalText(const QString& text);
QString JournalText(const std::exception& e);  // a refusal's original words where it kept them

// Exit statuses.
constexpr int kDone = 0, kDeviceError = 1, kUsage = 2, kNoPort = 3;


struct TGlobal {
    QString port;
    int baud = 0;
    bool json = false, trace = false, yes = false, noBackup = false;
};


// ------------------------------------------------------------------ drawprotocol.cpp

// The program that draws zenda's protocols and its first arguments (zenda-draw, or zenda-init
// --draw-protocol); ERefused when there is none.
QStringList DrawingProgram();
struct TLabel;
struct TLabelSize;
// Labels drawn by that program: a PDF of one label a page; std::runtime_error saying why not.
QByteArray LabelsPdfDrawn(const std::vector<TLabel>& labels, const TLabelSize& size);

// ------------------------------------------------------------------ output.cpp: what it says

std::string Hex(const uint8_t* b, int n);
// The device's settings as JSON: model, numbers, channels as the window shows them, counters.
QJsonObject SettingsJson(const TImageBuffer& image);
void PrintForPeople(const QJsonObject& o);
// A text that came from outside (a file, the journal, a device) as a terminal may show it: control
// characters (an escape sequence would retitle or rewrite the terminal) as \xHH.
QString Printable(const QString& text);
// Says why (unless the engine has said it already) and gives the exit status; with --json,
// one JSON object.
int Fail(const TGlobal& g, int status, const QString& message, bool said = false, const QString& held = {});
// The status, or 1 when what was printed could not be written (a full disk, a closed pipe):
// a script must not take a result it never got for done.
int OutputStatus(int status);
// Between exchanges: a stop that was asked for ends the action here (EStopped).
void Checkpoint();
// Writing needs a yes: --yes, or a "y" typed at the terminal after the question.
bool Ask(const QString& question);
void Consent(const TGlobal& g, const QString& question);
std::string PcTime();

// ------------------------------------------------------------------ options.cpp: what it is told

// The commands, in the order the help lists them.
struct TCommand {
    const char* name;
};
inline constexpr TCommand kCommands[] = {{"ports"},  {"read"},    {"init"},   {"leave"},   {"rtc"},      {"counters"},
                                         {"backup"}, {"restore"}, {"journal"}, {"station"}, {"protocol"}, {"team"},
                                         {"sync"},  {"label"}};

QList<QCommandLineOption> GlobalOptions();  // --port, --json, ..., --help, --version
QList<QCommandLineOption> CommandOptions(const QString& command);
void AddCommandOptions(QCommandLineParser& p, const QString& command);
// "Usage: zenda [global options] COMMAND [options]", or the command's own usage line.
QString Usage(const QString& command);
// The program's help (empty command), or a command's: its usage, summary and own options.
QString HelpText(const QString& command);
QString HelpAll();
