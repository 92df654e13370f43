// What zenda is told: the commands and their options, the help, and the channel settings (--ch1, --ch2).
#include <QStringList>

#include "zenda.h"

using namespace Qt::StringLiterals;

// ------------------------------------------------------------------ channel settings

// "value=0.01,type=pulse,test=yes" or the window's own texts; applied through the window's
// channel rules, so that what the grid would refuse is refused here. What is not given keeps
// what the device holds; where a new type forces a value, a note says so.
void ApplyChannelSpec(TChannelTable& table, int row, const QString& spec, std::vector<std::string>& notes)
{
    const std::string valueBefore = table.GetText(row, colCenaDiv), testBefore = table.GetText(row, colLineTest);
    if (spec.trimmed().isEmpty())  // an empty variable in a script: not "keep", but a mistake
        throw ERefused("channel " + std::to_string(row + 1) + ": the channel settings are empty (value=, type=, test=)");
    QString value, type, test;
    for (const QString& part : spec.split(u',', Qt::SkipEmptyParts)) {
        const qsizetype eq = part.indexOf(u'=');
        if (eq < 0)
            throw ERefused("channel " + std::to_string(row + 1) + ": '" + part.toStdString() +
                           "' is not name=value (value=, type=, test=)");
        const QString k = part.left(eq).trimmed().toLower(), v = part.mid(eq + 1).trimmed();
        if (k == u"value")
            value = v;
        else if (k == u"type")
            type = v;
        else if (k == u"test")
            test = v;
        else
            throw ERefused("channel " + std::to_string(row + 1) + ": unknown '" + k.toStdString() + "'");
    }
    const std::string where = "channel " + std::to_string(row + 1) + ": ";
    if (!type.isEmpty()) {
        static const struct {
            const char* word;
            int type;
        } words[] = {{"pulse", 0}, {"contact", 0}, {"dry", 0},  {"slow", 0},     {"fast", 1},
                     {"1-5", 1},   {"short", 1},   {"freq", 2}, {"frequency", 2}};
        int t = -1;
        for (const auto& w : words)
            if (type.toLower() == QString::fromLatin1(w.word))
                t = w.type;
        for (int i = 0; i < 3; ++i)
            if (type == QString::fromUtf8(TypeInSigTexts[i]))
                t = i;
        const auto& allowed = table.Column(colTypeInSig).PickList;
        if (t < 0 || t >= static_cast<int>(allowed.size()))
            throw ERefused(where + "type '" + type.toStdString() + "' is not one this model takes");
        if (t != table.Row(row).Type_InSig)  // the same type again changes nothing
            table.SetTypeInSig(row, t);
    }
    const int t = table.Row(row).Type_InSig;
    if (!value.isEmpty()) {
        if (table.Column(colCenaDiv).ReadOnly && t == 2)
            throw ERefused(where + "a frequency input has no pulse value");
        const char* const* texts = t == 0 ? TicksTexts : TicksTextsFast;
        QString number = value;
        number.replace(u'.', u',');
        int code = -1;
        for (int i = 0; i < 3; ++i) {
            const QString text = QString::fromUtf8(texts[i]);
            if (value == text || text.startsWith(number + u' '))
                code = i;
        }
        if (code < 0)
            throw ERefused(where + "pulse value '" + value.toStdString() + "' is not one of this input type's");
        table.SetCenaDiv(row, code);
    }
    if (!test.isEmpty()) {
        const QString v = test.toLower();
        bool on;  // the window's texts: "Есть" a line test, "Нет" none
        if (v == u"yes" || v == u"on" || v == u"1" || test == QString::fromUtf8(LineTestTexts[0]))
            on = true;
        else if (v == u"no" || v == u"off" || v == u"0" || test == QString::fromUtf8(LineTestTexts[1]))
            on = false;
        else
            throw ERefused(where + "test is yes or no, not '" + test.toStdString() + "'");
        if (t == 0 && on)
            throw ERefused(where + "a pulse input longer than 50 ms has no line test");
        table.SetLineTest(row, !on);
    }
    const std::string typeNow = table.GetText(row, colTypeInSig);
    if (value.isEmpty() && table.GetText(row, colCenaDiv) != valueBefore)
        notes.push_back(where + "pulse value " + valueBefore + " -> " + table.GetText(row, colCenaDiv) +
                        ", as the type \"" + typeNow + "\" requires");
    if (test.isEmpty() && table.GetText(row, colLineTest) != testBefore)
        notes.push_back(where + "line test " + testBefore + " -> " + table.GetText(row, colLineTest) +
                        ", as the type \"" + typeNow + "\" requires");
}

QString Description()
{
    QString d = u"The service tool for ZENDA devices, from the command line.\n\nCommands:\n"_s;
    for (const auto& c : kCommands)
        d += u"  %1 %2\n      %3\n"_s.arg(QString::fromLatin1(c.name), QString::fromLatin1(c.args),
                                          QString::fromLatin1(c.summary));
    d += u"\nChannel SPEC: value=0.01,type=pulse|fast|freq,test=yes|no (or the window's own texts).\n"
         "Exit status: 0 done, 1 device or line error, 2 usage or refused input, 3 port could not be opened,\n"
         "128+N stopped by signal N before anything was written.\n"
         "Writing commands ask y/N on a terminal; without one they need --yes."_s;
    return d;
}

void AddGlobalOptions(QCommandLineParser& p)
{
    p.addOptions({
        {u"port"_s, u"COM1..COM16 (resolved as the window resolves it) or a device path."_s, u"COMn|PATH"_s},
        {u"baud"_s, u"4800 or 9600."_s, u"rate"_s},
        {u"json"_s, u"One JSON object on standard output."_s},
        {u"trace"_s, u"Every byte on the line, with time and direction, on standard error."_s},
        {u"yes"_s, u"Write without asking."_s},
        {u"no-backup"_s, u"Write even when the image backup cannot be saved."_s},
    });
}

void AddCommandOptions(QCommandLineParser& p, const QString& command)
{
    if (command == u"ports")
        p.addOption(
            {u"map"_s, u"Map COMn to a device path in the per-user settings; COMn= removes it."_s, u"COMn=PATH"_s});
    if (command == u"init") {
        p.addOptions({{u"serial"_s, u"Serial number, 0..65535."_s, u"N"_s},
                      {u"address"_s, u"Network address, 1..63."_s, u"A"_s},
                      {u"ch1"_s, u"Channel 1: value=,type=,test=."_s, u"SPEC"_s},
                      {u"ch2"_s, u"Channel 2: value=,type=,test=."_s, u"SPEC"_s},
                      {u"v2-reset"_s, u"Whether the V2 counter may be reset."_s, u"yes|no"_s},
                      {u"leave"_s, u"Leave initialization mode afterwards."_s}});
    }
    if (command == u"rtc")
        p.addPositionalArgument(u"SECONDS"_s, u"The correction, -25..25."_s);
    if (command == u"backup")
        p.addPositionalArgument(u"FILE"_s, u"Where to save the image (default: the backups folder)."_s, u"[FILE]"_s);
    if (command == u"restore") {
        p.addPositionalArgument(u"FILE"_s, u"A backup file (or any image file zenda-sim reads)."_s);
        p.addOptions({{u"with-counters"_s, u"Restore the four counters too."_s},
                      {u"other-serial"_s, u"Allow a backup of another serial number."_s}});
    }
    if (command == u"journal")
        p.addOption({u"serial"_s, u"Only this serial number's lines."_s, u"N"_s});
    if (command == u"protocol") {
        p.addOptions({{u"now"_s, u"Of the device as it is now (a read), not of its last write."_s},
                      {u"line"_s, u"Of this journal line (its time, as `zenda journal` prints it)."_s, u"TIME"_s},
                      {u"out"_s, u"Write the PDF here (default: the protocols folder)."_s, u"FILE"_s},
                      {u"organisation"_s, u"The organisation (kept for the next protocol)."_s, u"TEXT"_s},
                      {u"engineer"_s, u"The engineer (kept)."_s, u"TEXT"_s},
                      {u"site"_s, u"The site, the metering point's object (kept)."_s, u"TEXT"_s},
                      {u"site-address"_s, u"The site's address (kept)."_s, u"TEXT"_s},
                      {u"customer"_s, u"The customer (kept)."_s, u"TEXT"_s}});
    }
    if (command == u"station") {
        p.addOptions({{u"serial-from"_s, u"The first serial number of the batch."_s, u"N"_s},
                      {u"count"_s, u"How many devices the batch holds."_s, u"K"_s},
                      {u"plan"_s, u"A plan: a header row (serial, address, ch1, ch2, v2-reset), then a device a row."_s,
                       u"FILE.csv"_s},
                      {u"address"_s, u"Network address, 1..63, where the plan gives none."_s, u"A"_s},
                      {u"ch1"_s, u"Channel 1 where the plan gives none: value=,type=,test=."_s, u"SPEC"_s},
                      {u"ch2"_s, u"Channel 2 where the plan gives none: value=,type=,test=."_s, u"SPEC"_s},
                      {u"v2-reset"_s, u"Whether the V2 counter may be reset, where the plan does not say."_s,
                       u"yes|no"_s},
                      {u"renumber"_s, u"Renumber devices that already hold a serial number."_s},
                      {u"results"_s, u"Append a CSV row a device to FILE."_s, u"FILE"_s},
                      {u"protocol"_s, u"Make each device's commissioning protocol (PDF)."_s},
                      {u"poll"_s, u"How often the model query looks for a device, in ms (default 1000)."_s, u"MS"_s}});
    }
    if (command == u"counters") {
        p.addOptions({{u"tp1"_s, u"Operating time 1, hours:minutes."_s, u"H:MM"_s},
                      {u"tp2"_s, u"Operating time 2, hours:minutes."_s, u"H:MM"_s},
                      {u"v1"_s, u"Volume 1, in the channel's units (m3)."_s, u"X"_s},
                      {u"v2"_s, u"Volume 2, in the channel's units (m3)."_s, u"X"_s}});
    }
}

// The program's help, then every command's own options.
QString HelpAll(const QCommandLineParser& main)
{
    QString text = main.helpText();
    for (const auto& c : kCommands) {
        QCommandLineParser p;
        AddCommandOptions(p, QString::fromLatin1(c.name));
        QString own = p.helpText();
        const qsizetype at = own.indexOf(u"Options:"_s);
        own = at < 0 ? QString() : own.mid(at + 8);
        const qsizetype args = own.indexOf(u"Arguments:"_s);
        if (args >= 0)
            own = own.left(args) + own.mid(args + 10);
        text += u"\nzenda %1 %2\n"_s.arg(QString::fromLatin1(c.name), QString::fromLatin1(c.args));
        text += own.trimmed().isEmpty() ? u"  (no options of its own)\n"_s : own.trimmed().prepend(u"  "_s) + u'\n';
    }
    return text;
}
