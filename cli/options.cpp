// What zenda is told: the commands and their options, the help, and the channel settings (--ch1, --ch2).
#include <QStringList>

#include "zenda.h"

using namespace Qt::StringLiterals;


namespace {
// The commands' summaries and arguments, in the user's language.
QString Summary(const QString& command)
{
    if (command == u"ports")
        return Z::tr("the COM names, what each resolves to, the serial devices found");
    if (command == u"read")
        return Z::tr("model, serial number, address, channels, V2 flag, last initialization, RTC correction, counters");
    if (command == u"init")
        return Z::tr("initialize: settings not given keep what the device holds; counters cleared, PC clock stamped");
    if (command == u"leave")
        return Z::tr("leave initialization mode");
    if (command == u"rtc")
        return Z::tr("set the RTC correction, -25..25 seconds");
    if (command == u"counters")
        return Z::tr("preset counters; the others keep their values");
    if (command == u"backup")
        return Z::tr("save the device's image into FILE, or into the backups folder");
    if (command == u"restore")
        return Z::tr("write a backup's settings back (the device keeps its counters unless --with-counters)");
    if (command == u"journal")
        return Z::tr("the service journal, newest first; --team: every PC's lines on the team's server");
    if (command == u"sync")
        return Z::tr("send this PC's journal lines to the team's server now (each action sends them after it "
                     "anyway, when it can); what was sent and what waits; then what the other PCs wrote, kept here "
                     "to tell before a write");
    if (command == u"station")
        return Z::tr("a production station: consecutive serial numbers for a batch of devices on one or more "
                     "fixtures (--json: a JSON object a line, per event and device, then the summary)");
    if (command == u"protocol")
        return Z::tr("the commissioning protocol (PDF) of the device's last write, a journal line, or the device now");
    if (command == u"label")
        return Z::tr("a numbered device's label again (its number, model and date, with a DataMatrix of them), from "
                     "the journal's verified write of that number: to a printer, or a PDF");
    if (command == u"team")
        return Z::tr("the team's server (PostgreSQL) that the station PCs of a line share their numbers on: this "
                     "user's connection, its status; the administrator's set-up and a login role for each PC");
    return {};
}

QString Arguments(const QString& command)
{
    if (command == u"ports")
        return Z::tr("[--map COMn=PATH]");
    if (command == u"init")
        return Z::tr("[--serial N] [--address A] [--ch1 SPEC] [--ch2 SPEC] [--v2-reset yes|no] [--leave]");
    if (command == u"rtc")
        return Z::tr("SECONDS");
    if (command == u"counters")
        return Z::tr("[--tp1 H:MM] [--tp2 H:MM] [--v1 X] [--v2 X]");
    if (command == u"backup")
        return Z::tr("[FILE]");
    if (command == u"restore")
        return Z::tr("FILE|--team SHA256 [--with-counters] [--other-serial]");
    if (command == u"journal")
        return Z::tr("[--serial N] [--team] [--limit N]");
    if (command == u"station")
        return Z::tr("(--serial-from N --count K | --plan FILE.csv) [--port P]... [--address A] [--ch1 SPEC] ...");
    if (command == u"protocol")
        return Z::tr("[--now | --line TIME] [--out FILE] [--engineer TEXT] ...");
    if (command == u"label")
        return Z::tr("N [--labels PRINTER|FILE.pdf] [--label-size WxH]");
    if (command == u"team")
        return Z::tr("connect CONNINFO | status | setup | add-pc NAME [DEPARTMENT] | department PC DEPARTMENT | "
                         "pcs | remove-pc NAME | rename NAME NEW-NAME | resume PC... | fetch SHA256 FILE | protocol PC NAME FILE");
    return {};
}

// The words of a text in lines of at most 79 characters, the lines after the first indented.
QString Wrapped(const QString& text, qsizetype indent)
{
    QString out;
    qsizetype column = indent;
    for (const QString& word : text.split(u' ')) {
        if (column + word.size() > 79 && column > indent) {
            out += u'\n' + QString(indent, u' ');
            column = indent;
        } else if (column > indent) {
            out += u' ';
            ++column;
        }
        out += word;
        column += word.size();
    }
    return out;
}

// "  --port <COMn|PATH>  description", the descriptions in one column, wrapped at 79.
QString OptionLines(const QList<QCommandLineOption>& options)
{
    QStringList names;
    qsizetype width = 0;
    for (const auto& o : options) {
        QStringList spelled;
        for (const QString& n : o.names())
            spelled << (n.size() == 1 ? u"-"_s : u"--"_s) + n;
        QString name = spelled.join(u", "_s);
        if (!o.valueName().isEmpty())
            name += u" <"_s + o.valueName() + u'>';
        names << name;
        width = std::max(width, name.size());
    }
    width = std::min<qsizetype>(width, 28);
    QString text;
    for (qsizetype i = 0; i < options.size(); ++i) {
        QString line = u"  "_s + names[i].leftJustified(width) + u"  "_s;
        if (line.size() > width + 4)  // a long name: its description on the next line
            line += u'\n' + QString(width + 4, u' ');
        text += line + Wrapped(options[i].description(), width + 4) + u'\n';
    }
    return text;
}
}  // namespace

QString Usage(const QString& command)
{
    return command.isEmpty() ? Z::tr("Usage: zenda [global options] COMMAND [options]")
                             : Z::tr("Usage: zenda [global options] %1 %2").arg(command, Arguments(command)).trimmed();
}

QString HelpText(const QString& command)
{
    QString text = Usage(command) + u'\n';
    if (!command.isEmpty()) {
        text += Wrapped(Summary(command), 0) + u'\n';
        const auto own = CommandOptions(command);
        text += u'\n' + Z::tr("Options:") + u'\n' +
                (own.isEmpty() ? u"  "_s + Z::tr("(no options of its own)") + u'\n' : OptionLines(own));
        if (command == u"init" || command == u"station")  // what a channel SPEC may say, per model
            text += u'\n' +
                    Wrapped(Z::tr("Channel SPEC: value=, type=, test=. Types: pulse (longer than 50 ms, or a dry "
                                  "contact; pulse values 0.01, 0.1, 1 m3 a pulse; a line test may not be on), fast "
                                  "(1-5 ms; 0.001, 0.01, 0.1), freq (a frequency input, ZENDA2 and ZENDA3 only; no "
                                  "pulse value). ZENDA1 takes pulse and fast only."),
                            0) +
                    u'\n';
        text += u'\n' + Z::tr("The global options (zenda --help) go before or after the command.") + u'\n';
        return text;
    }
    text += Z::tr("The service tool for ZENDA devices, from the command line.") + u"\n\n"_s + Z::tr("Commands:") +
            u'\n';
    for (const auto& c : kCommands) {
        const QString name = QString::fromLatin1(c.name);
        text += u"  "_s + name + u' ' + Arguments(name) + u"\n      "_s + Wrapped(Summary(name), 6) + u'\n';
    }
    text += u'\n' + Z::tr("Global options:") + u'\n' + OptionLines(GlobalOptions());
    text += u'\n';
    for (const QString& note :
         {Z::tr("Channel SPEC: value=0.01,type=pulse|fast|freq,test=yes|no (or the window's own texts)."),
          Z::tr("Exit status: 0 done, 1 device or line error, 2 usage or refused input, 3 port could not be "
                "opened, 128+N stopped by signal N before anything was written."),
          Z::tr("Writing commands ask y/N on a terminal; without one they need --yes."),
          Z::tr("zenda COMMAND --help: the command's own options; zenda --help-all: every command's.")})
        text += Wrapped(note, 2) + u'\n';
    return text;
}

QList<QCommandLineOption> GlobalOptions()
{
    return {
        {u"port"_s, Z::tr("COM1..COM16 (resolved as the window resolves it) or a device path."), u"COMn|PATH"_s},
        {u"baud"_s, Z::tr("4800 or 9600."), Z::tr("rate")},
        {u"json"_s, Z::tr("One JSON object on standard output.")},
        {u"trace"_s, Z::tr("Every byte on the line, with time and direction, on standard error.")},
        {u"yes"_s, Z::tr("Write without asking.")},
        {u"no-backup"_s, Z::tr("Write even when the image backup cannot be saved.")},
        {{u"h"_s, u"help"_s}, Z::tr("This help; after a command, the command's.")},
        {u"help-all"_s, Z::tr("This help and every command's options.")},
        {{u"v"_s, u"version"_s}, Z::tr("The version.")},
    };
}

QList<QCommandLineOption> CommandOptions(const QString& command)
{
    if (command == u"ports")
        return {{u"map"_s, Z::tr("Map COMn to a device path in the per-user settings; COMn= removes it."),
                 u"COMn=PATH"_s}};
    if (command == u"init")
        return {{u"serial"_s, Z::tr("Serial number, 0..65535."), u"N"_s},
                {u"address"_s, Z::tr("Network address, 1..63."), u"A"_s},
                {u"ch1"_s, Z::tr("Channel 1: value=,type=,test=."), u"SPEC"_s},
                {u"ch2"_s, Z::tr("Channel 2: value=,type=,test=."), u"SPEC"_s},
                {u"v2-reset"_s, Z::tr("Whether the V2 counter may be reset."), u"yes|no"_s},
                {u"leave"_s, Z::tr("Leave initialization mode afterwards.")}};
    if (command == u"restore")
        return {{u"with-counters"_s, Z::tr("Restore the four counters too.")},
                {u"other-serial"_s, Z::tr("Allow a backup of another serial number.")},
                {u"team"_s, Z::tr("Instead of FILE: the backup of this SHA-256 on the team's server, from any PC "
                                  "(zenda journal --team --json names them); checked against it before use."),
                 u"SHA256"_s}};
    if (command == u"journal")
        return {{u"serial"_s, Z::tr("Only this serial number's lines."), u"N"_s},
                {u"team"_s, Z::tr("The department's journal on the team's server: every PC's lines, with the PC "
                                  "and its user.")},
                {u"limit"_s, Z::tr("At most the newest N lines."), u"N"_s}};
    if (command == u"protocol")
        return {{u"now"_s, Z::tr("Of the device as it is now (a read), not of its last write.")},
                {u"line"_s, Z::tr("Of this journal line (its time, as `zenda journal` prints it)."), u"TIME"_s},
                {u"out"_s, Z::tr("Write the PDF here (default: the protocols folder)."), u"FILE"_s},
                {u"organisation"_s, Z::tr("The organisation (kept for the next protocol)."), u"TEXT"_s},
                {u"engineer"_s, Z::tr("The engineer (kept)."), u"TEXT"_s},
                {u"site"_s, Z::tr("The site, the metering point's object (kept)."), u"TEXT"_s},
                {u"site-address"_s, Z::tr("The site's address (kept)."), u"TEXT"_s},
                {u"customer"_s, Z::tr("The customer (kept)."), u"TEXT"_s},
                {u"engineer-position"_s, Z::tr("The engineer's position, for the signature (kept)."), u"TEXT"_s},
                {u"representative"_s, Z::tr("The customer's representative who signs (kept)."), u"TEXT"_s},
                {u"representative-position"_s, Z::tr("The representative's position (kept)."), u"TEXT"_s},
                {u"meter1-type"_s, Z::tr("The meter on channel 1: its type (this protocol only)."), u"TEXT"_s},
                {u"meter1-number"_s, Z::tr("The meter on channel 1: its factory number."), u"TEXT"_s},
                {u"meter1-reading"_s, Z::tr("The meter on channel 1: its reading at commissioning, m3."), u"M3"_s},
                {u"meter2-type"_s, Z::tr("The meter on channel 2: its type (this protocol only)."), u"TEXT"_s},
                {u"meter2-number"_s, Z::tr("The meter on channel 2: its factory number."), u"TEXT"_s},
                {u"meter2-reading"_s, Z::tr("The meter on channel 2: its reading at commissioning, m3."), u"M3"_s}};
    if (command == u"station")
        return {{u"serial-from"_s, Z::tr("The first serial number of the batch."), u"N"_s},
                {u"count"_s, Z::tr("How many devices the batch holds."), u"K"_s},
                {u"plan"_s, Z::tr("A plan: a header row (serial, address, ch1, ch2, v2-reset), then a device a row."),
                 u"FILE.csv"_s},
                {u"port"_s, Z::tr("A fixture: COM1..COM16 or a device path; give one --port a fixture."),
                 u"COMn|PATH"_s},
                {u"address"_s, Z::tr("Network address, 1..63, where the plan gives none."), u"A"_s},
                {u"ch1"_s, Z::tr("Channel 1 where the plan gives none: value=,type=,test=."), u"SPEC"_s},
                {u"ch2"_s, Z::tr("Channel 2 where the plan gives none: value=,type=,test=."), u"SPEC"_s},
                {u"v2-reset"_s, Z::tr("Whether the V2 counter may be reset, where the plan does not say."), u"yes|no"_s},
                {u"renumber"_s, Z::tr("Renumber devices that already hold a serial number.")},
                {u"results"_s, Z::tr("Append a CSV row a device to FILE."), u"FILE"_s},
                {u"protocol"_s, Z::tr("Make each device's commissioning protocol (PDF).")},
                {u"poll"_s, Z::tr("How often the model query looks for a device, in ms (default 1000)."), u"MS"_s},
                {u"recover"_s, Z::tr("Make the station's ledger anew from the journal and the backups, when it is missing.")},
                {u"team"_s, Z::tr("Take the numbers from the team's server, shared by every station PC of the line.")},
                {u"labels"_s, Z::tr("A label for each device numbered and verified: to this printer, or into a new PDF "
                                    "of one label a page."),
                 u"PRINTER|FILE.pdf"_s},
                {u"label-size"_s, Z::tr("The label's size in millimetres (default 58x40)."), u"WxH"_s}};
    if (command == u"label")
        return {{u"labels"_s, Z::tr("To this printer, or this PDF (default: a new PDF in the labels folder)."),
                 u"PRINTER|FILE.pdf"_s},
                {u"label-size"_s, Z::tr("The label's size in millimetres (default 58x40)."), u"WxH"_s}};
    if (command == u"counters")
        return {{u"tp1"_s, Z::tr("Operating time 1, hours:minutes."), u"H:MM"_s},
                {u"tp2"_s, Z::tr("Operating time 2, hours:minutes."), u"H:MM"_s},
                {u"v1"_s, Z::tr("Volume 1, in the channel's units (m3)."), u"X"_s},
                {u"v2"_s, Z::tr("Volume 2, in the channel's units (m3)."), u"X"_s}};
    return {};
}

void AddCommandOptions(QCommandLineParser& p, const QString& command)
{
    for (const auto& o : CommandOptions(command))
        if (!(command == u"station" && o.names().first() == u"port"))  // the global --port, repeatable there
            p.addOption(o);
}

// The program's help, then every command's own options.
QString HelpAll()
{
    QString text = HelpText({});
    for (const auto& c : kCommands) {
        const QString name = QString::fromLatin1(c.name);
        const auto own = CommandOptions(name);
        text += u"\nzenda %1 %2\n"_s.arg(name, Arguments(name)) +
                (own.isEmpty() ? u"  "_s + Z::tr("(no options of its own)") + u'\n' : OptionLines(own));
    }
    return text;
}
