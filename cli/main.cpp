// zenda: the device engine from the command line, for the bench, the production line and
// scripts. The same session, exchange, settings model and messages as the window.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "program.h"
#include "base/settingsstore.h"
#include "stdstreams.h"
#include "team/teambook.h"
#include "terminal.h"
#include "version.h"
#include "zenda.h"

using namespace Qt::StringLiterals;

int main(int argc, char** argv)
{
    KeepStandardStreams();
#ifndef _WIN32
    // A reader gone (zenda journal | head) is a result that cannot be printed, status 1, not a kill.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    PrepareConsole();
    CatchStopSignals();
    TeamStopWhen([] { return StopSignal() != 0; });
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(u"zenda"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(ZENDA_VERSION));
    LoadLanguage();
    InstallSettingsPortResolver();

    // The command is the first word that is neither an option nor an option's value.
    const QStringList args = QCoreApplication::arguments();
    QString command;
    QStringList rest{args.value(0)}, numbers;  // numbers: the positional arguments after "--"
    // The options that take a value: "--count -1" gives --count the value -1 (refused as a value,
    // not as an unknown option "1").
    std::set<QString> takesValue;
    auto valued = [&](const QList<QCommandLineOption>& options) {
        for (const auto& o : options)
            if (!o.valueName().isEmpty())
                for (const QString& n : o.names())
                    takesValue.insert(n);
    };
    valued(GlobalOptions());
    for (const auto& c : kCommands)
        valued(CommandOptions(QString::fromLatin1(c.name)));
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a.startsWith(u'-') && !a.contains(u'=') && i + 1 < args.size() &&
            takesValue.count(a.mid(a.startsWith(u"--") ? 2 : 1))) {
            bool negative = false;
            args[i + 1].toDouble(&negative);
            if (negative && args[i + 1].startsWith(u'-')) {
                rest << a + u'=' + args[++i];
                continue;
            }
        }
        if (a == u"--") {  // the end of the options, as in every POSIX tool: "rtc -- -5"
            for (++i; i < args.size(); ++i) {
                if (command.isEmpty())
                    command = args[i];
                else
                    numbers << args[i];
            }
            break;
        }
        bool isNumber = false;
        a.toInt(&isNumber);
        if (isNumber && a.startsWith(u'-')) {  // "rtc -7": a value, not an option
            numbers << a;
            continue;
        }
        if (command.isEmpty() && !a.startsWith(u'-')) {
            command = a;
            continue;
        }
        rest << a;
        if (command.isEmpty() && (a == u"--port" || a == u"--baud") && i + 1 < args.size())
            rest << args[++i];
    }
    if (!numbers.isEmpty())
        rest << u"--"_s << numbers;
    QCommandLineParser p;
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    p.addOptions(GlobalOptions());
    bool known = command.isEmpty();
    for (const auto& c : kCommands)
        known |= command == QString::fromLatin1(c.name);
    // Known before the parse, so that every run with --json prints one JSON object, a refused
    // command line too.
    TGlobal g;
    g.json = rest.contains(u"--json"_s) || rest.contains(u"-json"_s);
    if (!known) {
        if (!g.json)
            std::fprintf(stderr, "%s", HelpText({}).toUtf8().constData());
        return Fail(g, kUsage, Z::tr("unknown command '%1'").arg(command));
    }
    if (!command.isEmpty())
        AddCommandOptions(p, command);
    if (!p.parse(rest))
        return Fail(g, kUsage, p.errorText());
    if (p.isSet(u"help-all"_s)) {
        std::printf("%s", HelpAll().toUtf8().constData());
        return kDone;
    }
    if (p.isSet(u"help"_s)) {
        std::printf("%s", HelpText(command).toUtf8().constData());
        return kDone;
    }
    if (p.isSet(u"version"_s)) {
        std::printf("zenda %s\n", ZENDA_VERSION);
        return kDone;
    }
    if (command.isEmpty()) {
        if (!g.json)
            std::fprintf(stderr, "%s", HelpText({}).toUtf8().constData());
        return Fail(g, kUsage, Z::tr("no command"));
    }

    g.port = p.value(u"port"_s);
    // An empty variable in a script must not fall back to the saved port and write the device there.
    if (p.isSet(u"port"_s) && g.port.trimmed().isEmpty())
        return Fail(g, kUsage, Z::tr("--port is empty: give COM1..COM16 or a device path"));
    g.json = p.isSet(u"json"_s);
    g.trace = p.isSet(u"trace"_s);
    g.yes = p.isSet(u"yes"_s);
    g.noBackup = p.isSet(u"no-backup"_s);
    if (p.isSet(u"baud"_s)) {
        g.baud = p.value(u"baud"_s).toInt();
        if (g.baud != 4800 && g.baud != 9600)
            return Fail(g, kUsage, Z::tr("--baud is 4800 or 9600"));
    }
    const QStringList positional = p.positionalArguments();
    const bool fromTeam = command == u"restore" && p.isSet(u"team"_s);  // a backup on the server: no FILE
    const qsizetype wanted =
        command == u"rtc" || (command == u"restore" && !fromTeam) || command == u"team" || command == u"label" ? 1 : 0;
    const qsizetype most = command == u"backup" ? 1 : command == u"team" ? 4 : wanted;
    if (positional.size() < wanted || positional.size() > most)
        return Fail(g, kUsage,
                    command == u"rtc"       ? Z::tr("rtc takes one number of seconds, -25..25")
                    : command == u"restore" ? Z::tr("restore takes one backup file")
                    : command == u"label"   ? Z::tr("label takes a serial number, 1..65535")
                    : command == u"team"    ? Z::tr("team: connect CONNINFO | status | setup | add-pc NAME [DEPARTMENT] | department PC DEPARTMENT | "
                         "fetch SHA256 FILE | protocol PC NAME FILE")
                                            : Z::tr("unexpected argument '%1'").arg(positional.value(most)));

    // Options given twice take the last value silently in the parser: "--port A --port B" in a
    // script would write to B. Refused instead.
    for (const QString& name : p.optionNames())
        if (p.optionNames().count(name) > 1 && !(command == u"station" && name == u"port"))  // a fixture each
            return Fail(g, kUsage, Z::tr("--%1 is given more than once").arg(name));
    if (!positional.isEmpty() && positional[0].isEmpty() && command != u"team")
        return Fail(g, kUsage, Z::tr("%1: the file name is empty").arg(command));

    TProgram program(g);
    const int status = OutputStatus([&]() -> int {
    try {
        if (command == u"ports")
            return Ports(g, p);
        if (command == u"journal")
            return JournalCommand(g, p);
        if (command == u"backup")
            return program.BackupCommand(positional);
        if (command == u"restore")
            return fromTeam ? program.RestoreFromTeam(p.value(u"team"_s), p.isSet(u"with-counters"_s),
                                                      p.isSet(u"other-serial"_s))
                            : program.Restore(positional[0], p.isSet(u"with-counters"_s), p.isSet(u"other-serial"_s));
        if (command == u"read")
            return program.Read();
        if (command == u"leave")
            return program.Leave();
        if (command == u"init")
            return program.Init(p);
        if (command == u"rtc")
            return program.Rtc(positional[0]);
        if (command == u"counters")
            return program.Counters(p);
        if (command == u"protocol")
            return program.Protocol(p);
        if (command == u"station")
            return StationCommand(g, p);
        if (command == u"team")
            return TeamCommand(g, positional);
        if (command == u"sync")
            return SyncCommand(g);
        if (command == u"label")
            return LabelCommand(g, p, positional[0]);
    } catch (const EStopped& e) {
        program.Ui().progress.Clear();
        return Fail(g, 128 + e.signal, QString::fromStdString(e.what()));
    } catch (const ERefused& e) {
        program.Ui().progress.Clear();
        return Fail(g, kUsage, QString::fromStdString(e.what()));
    } catch (const EAbort&) {
        // Already said; a failed write said what the device holds in its own message.
        const auto& ui = program.Ui();
        const QString held = program.Held();
        const QString what =
            held == u"new"   ? Z::tr("read after the failure: the device holds the new settings")
            : held == u"old" ? Z::tr("read after the failure: the device holds its old settings; nothing was changed")
                             : Z::tr("nothing was verified, the device may have been changed");
        if (ui.errors > 1)
            std::fprintf(stderr, "zenda: %s\n", Z::tr("failed %1 times; %2").arg(ui.errors).arg(what).toUtf8().constData());
        return Fail(g, kDeviceError, QString::fromStdString(ui.last), true, program.Held());
    } catch (const std::exception& e) {
        program.Ui().progress.Clear();
        const QString said = Human(QString::fromStdString(e.what()));
        if (!program.OpenError().empty())
            return Fail(g, kNoPort, said + u" ("_s + program.OpenReason() + u')', false, program.Held());
        return Fail(g, kDeviceError, said, false, program.Held());
    }
    return kUsage;
    }());
    // The action is done and journaled here; its lines follow to the team's server for a moment
    // at most, else with the next action or `zenda sync`.
    static const QStringList journaling{u"read"_s,    u"init"_s,    u"leave"_s,   u"rtc"_s,     u"counters"_s,
                                        u"restore"_s, u"backup"_s,  u"station"_s, u"protocol"_s};
    if (journaling.contains(command))
        PushBriefly(status, program.ReadSerial());
    return status;
}
