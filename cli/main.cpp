// zenda: the device engine from the command line, for the bench, the production line and
// scripts. The same session, exchange, settings model and messages as the window.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cstdio>
#include <ctime>
#include <iostream>
#include <optional>
#include <string>

#include "abort.h"
#include "changes.h"
#include "channels.h"
#include "editmask.h"
#include "records.h"
#include "session.h"
#include "settings.h"
#include "settingsstore.h"
#include "stdstreams.h"
#include "terminal.h"
#include "zenda.h"

using namespace Qt::StringLiterals;

namespace {

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

// ------------------------------------------------------------------ the program

class TProgram {
public:
    TProgram(const TGlobal& g) : g_(g), session_(ui_), settings_(image_), table_(image_) {}

    // The journal's line of this action: begun when the port is opened, ended once.
    void Finish(const std::string& outcome)
    {
        if (!journaling_)
            return;
        journaling_ = false;
        line_.outcome = QString::fromStdString(outcome);
        if (outcome != "выполнено" && !traffic_.Empty())
            line_.traffic = records_.SaveTraffic(traffic_.Text(), line_.action);
        if (!records_.Journal(line_))
            std::fprintf(stderr, "zenda: the service journal cannot be written: %s\n",
                         records_.JournalError().toUtf8().constData());
    }

    void Open(const char* action)
    {
        line_ = TJournalLine{};
        line_.action = QString::fromLatin1(action);
        int comIndex = 0;
        const bool isPath = g_.port.startsWith(u'/') || g_.port.startsWith(u"\\\\"_s);  // or \\.\COM20
        if (isPath) {
            const std::string path = g_.port.toStdString();
            SetPortNameResolver([path](const std::string&) { return path; });
        } else {
            int n = g_.port.isEmpty() ? StoredComNumber() : -1;
            if (!g_.port.isEmpty()) {
                bool ok = false;
                n = g_.port.startsWith(u"COM"_s, Qt::CaseInsensitive) ? g_.port.mid(3).toInt(&ok) : 0;
                if (!ok || n < 1 || n > 16)
                    throw ERefused("--port is COM1..COM16 or a device path, not '" + g_.port.toStdString() + "'");
            }
            comIndex = n < 1 ? 0 : n - 1;
        }
        int baud = g_.baud;
        if (!baud)
            baud = StoredBaudRate() == 1 ? 9600 : 4800;
        session_.SetObserver(&observer_);
        observer_.trace = g_.trace;
        observer_.progress = IsTerminal(2) ? &ui_.progress : nullptr;
        observer_.next = &traffic_;
        const std::string com = isPath ? std::string() : "COM" + std::to_string(comIndex + 1);
        line_.port = QString::fromStdString(com.empty() ? g_.port.toStdString() : com + " -> " + ResolvePortName(com));
        journaling_ = true;
        try {
            session_.Open(comIndex, baud);
        } catch (const std::exception& e) {
            openError_ = e.what();
            throw;
        }
        Checkpoint();
    }

    void ReadDevice()
    {
        session_.CheckOpen();
        settings_.SetModelCode(session_.ReadDeviceVersion());
        session_.ReadDataFromDevice(image_);
        line_.model = ModelName(settings_.ModelCode());
        line_.serial = QString::number(settings_.SerialNumber());
        line_.address = QString::number(settings_.Address());
        read_ = image_;
        LoadTable();
        Checkpoint();
    }

    // The image as read, saved before anything is written (unless --no-backup).
    void Backup()
    {
        if (g_.noBackup)
            return;
        try {
            line_.backup = records_.SaveBackup(read_, line_.action, line_.port, line_.model);  // as read, not as changed
        } catch (const std::exception& e) {
            throw ERefused("Не удалось сохранить резервную копию в " + DataFolder().toStdString() + " (" + e.what() +
                           "); nothing written (--no-backup writes without one)");
        }
    }

    void Write()
    {
        Checkpoint();
        Backup();
        line_.changes.clear();
        for (const auto& c : DescribeChanges(read_, image_))
            line_.changes << QString::fromStdString(c);
        try {
            session_.SendInitData(image_);
        } catch (...) {
            // It may have reached the device all the same: one silent read says which image it holds.
            held_ = session_.HeldAfterFailedWrite(read_, image_);
            line_.changes.prepend(QString::fromUtf8(TDeviceSession::HeldText(*held_)));
            throw;
        }
        LoadTable();  // what is printed is what was written
    }

    // After a failed write: "new", "old" or "unknown"; empty when no write failed.
    QString Held() const
    {
        if (!held_)
            return {};
        return *held_ == TDeviceSession::THeld::New ? u"new"_s : *held_ == TDeviceSession::THeld::Old ? u"old"_s : u"unknown"_s;
    }

    void LoadTable()
    {
        table_.Recreate();
        table_.AppendStartRows();
        if (settings_.ModelCode() == kModelZenda1)
            table_.ApplyModel1();
        else
            table_.ApplyModel23(TDeviceSettings::ModelIndex(settings_.ModelCode()));
        table_.LoadChannels();
    }

    QJsonObject Result(bool ok) const
    {
        QJsonObject o = SettingsJson(const_cast<TImageBuffer&>(image_), const_cast<TChannelTable&>(table_));
        o[u"ok"_s] = ok;
        return o;
    }

    int Read()
    {
        Open("read");
        ReadDevice();
        return Emit(Result(true));
    }

    int Leave()
    {
        Consent(g_, "Leave initialization mode?");
        Open("leave");
        session_.CheckOpen();
        session_.LeaveInitMode();
        Say("Выход из режима инициализации произведен успешно");
        QJsonObject o;
        o[u"ok"_s] = true;
        return Emit(o);
    }

    int Init(const QCommandLineParser& p)
    {
        // What can be checked without the device is checked before anything is sent.
        auto number = [&](const char* name, long long lo, long long hi, const char* message) {
            bool ok = false;
            const long long v = p.value(QString::fromLatin1(name)).trimmed().toLongLong(&ok);
            if (!ok || v < lo || v > hi)
                throw ERefused(message);
            return static_cast<int>(v);
        };
        const bool setSerial = p.isSet(u"serial"_s), setAddress = p.isSet(u"address"_s);
        const int serial = setSerial ? number("serial", 0, range::SerialMax, "Номер прибора должен быть числом от 0 до 65535") : 0;
        const int address = setAddress ? number("address", range::AddressMin, range::AddressMax,
                                                "Сетевой адрес прибора должен быть числом от 1 до 63")
                                       : 0;
        int v2 = -1;
        if (p.isSet(u"v2-reset"_s)) {
            const QString v = p.value(u"v2-reset"_s).toLower();
            v2 = v == u"yes" ? 1 : v == u"no" ? 0 : -2;
            if (v2 == -2)
                throw ERefused("--v2-reset is yes or no");
        }
        Consent(g_, "PC time " + PcTime() + ". Это правильное время? Initialize the device (counters cleared)?");
        Open("init");
        ReadDevice();
        std::vector<std::string> notes;
        for (int ch : {1, 2}) {
            const QString name = u"ch"_s + QString::number(ch);
            if (p.isSet(name))
                ApplyChannelSpec(table_, ch - 1, p.value(name), notes);
        }
        if (setSerial)
            settings_.SetSerialNumber(serial);
        if (setAddress)
            settings_.SetAddress(address);
        if (v2 >= 0)
            settings_.SetV2Reset(v2 == 1);
        table_.StoreChannels([&](int) { ui_.ErrorAbort("Не выбран тип входного сигнала!", "Ошибка"); });
        settings_.ClearCounters();
        settings_.StampClock();
        Write();
        Say("Прибор проинициализирован успешно.");
        for (const auto& n : notes)
            Say(n);
        const bool stopped = StopSignal() != 0;  // the write is done and verified; only the leave is left out
        if (p.isSet(u"leave"_s) && stopped) {
            line_.changes << u"выход из режима инициализации не выполнен: прервано"_s;
            Say("stopped: the device was initialized but is still in initialization mode");
        } else if (p.isSet(u"leave"_s)) {
            session_.LeaveInitMode();
            Say("Выход из режима инициализации произведен успешно");
        }
        QJsonObject o = Result(true);
        if (!notes.empty()) {
            QJsonArray a;
            for (const auto& n : notes)
                a.append(QString::fromStdString(n));
            o[u"notes"_s] = a;
        }
        Emit(o);
        return stopped ? 128 + StopSignal() : kDone;
    }

    int Rtc(const QString& arg)
    {
        bool ok = false;
        const int seconds = arg.toInt(&ok);
        if (!ok || !range::Correction(seconds))
            throw ERefused("the correction is a whole number of seconds, -25..25, not '" + arg.toStdString() + "'");
        Consent(g_, "Set the RTC correction to " + std::to_string(seconds) + " s?");
        Open("rtc");
        ReadDevice();
        settings_.SetCorrection(seconds);
        Write();
        Say("Автокоррекция RTC произведена успешно");
        return Emit(Result(true));
    }

    int Counters(const QCommandLineParser& p)
    {
        struct Want {
            const char* option;
            TCounter counter;
            std::string digits;
        };
        std::vector<Want> wants;
        for (const char* o : {"tp1", "tp2"}) {
            if (!p.isSet(QString::fromLatin1(o)))
                continue;
            const QString v = p.value(QString::fromLatin1(o));
            const QStringList hm = v.split(u':');
            bool okH = false, okM = false;
            const long long h = hm.size() == 2 ? hm[0].toLongLong(&okH) : -1;
            const int m = hm.size() == 2 ? hm[1].toInt(&okM) : -1;
            if (!okH || !okM || h < 0 || h > 99999 || hm[1].size() != 2)
                throw ERefused(std::string("--") + o + " is HOURS:MM (0..99999 hours), not '" + v.toStdString() + "'");
            if (!range::Minutes(m))
                throw ERefused("Введите значение минут в диапазоне 0-59");
            char d[16];
            std::snprintf(d, sizeof d, "%05lld%02d", h, m);
            wants.push_back({o, std::string(o) == "tp1" ? TCounter::Tp1 : TCounter::Tp2, d});
        }
        const bool any = !wants.empty() || p.isSet(u"v1"_s) || p.isSet(u"v2"_s);
        if (!any)
            throw ERefused("nothing to set: give --tp1, --tp2, --v1 or --v2");
        Consent(g_, "Preset the counters?");
        Open("counters");
        ReadDevice();
        for (int ch : {1, 2}) {
            const QString name = u"v"_s + QString::number(ch);
            if (!p.isSet(name))
                continue;
            const std::string mask = settings_.VolumeMask(ch);
            if (mask.empty())
                throw ERefused(ch == 1 ? "По первому каналу установлен запрещенный тип входного сигнала, счетчик не записан!"
                                       : "По второму каналу установлен запрещенный тип входного сигнала, счетчик не записан!");
            // The decimals the channel's mask shows; the value is given in those units.
            const qsizetype comma = QString::fromStdString(mask).indexOf(u',');
            const int decimals = comma < 0 ? 0 : static_cast<int>(QString::fromStdString(mask).indexOf(u';') - comma - 1);
            QString v = p.value(name).trimmed();
            v.replace(u',', u'.');
            const QStringList parts = v.split(u'.');
            const QString whole = parts[0], frac = parts.size() > 1 ? parts[1] : QString();
            auto digitsOnly = [](const QString& s) {
                for (QChar c : s)
                    if (!c.isDigit())
                        return false;
                return true;
            };
            if (parts.size() > 2 || whole.isEmpty() || !digitsOnly(whole) || !digitsOnly(frac) || frac.size() > decimals ||
                whole.size() > 8 - decimals)
                throw ERefused("--" + name.toStdString() + " is a number with at most " + std::to_string(8 - decimals) +
                               " digits and " + std::to_string(decimals) + " decimals for this channel, not '" +
                               p.value(name).toStdString() + "'");
            const QString digits = whole.rightJustified(8 - decimals, u'0') + frac.leftJustified(decimals, u'0');
            wants.push_back({ch == 1 ? "v1" : "v2", ch == 1 ? TCounter::V1 : TCounter::V2, digits.toStdString()});
        }
        for (const auto& w : wants)
            settings_.SetCounterText(w.counter, w.digits);
        Write();
        Say("Счетчики установлены");
        return Emit(Result(true));
    }

    int Emit(const QJsonObject& o)
    {
        if (g_.json)
            std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
        else
            PrintForPeople(o);
        return kDone;
    }

    void Say(const std::string& text)
    {
        ui_.progress.Clear();
        if (!g_.json)
            std::fprintf(stderr, "%s\n", text.c_str());
    }

    // backup [FILE]: the device's image into FILE, or into the backups folder.
    int BackupCommand(const QStringList& positional)
    {
        Open("backup");
        ReadDevice();
        try {
            if (positional.isEmpty()) {
                line_.backup = records_.SaveBackup(image_, u"backup"_s, line_.port, line_.model);
            } else {
                records_.SaveBackupAs(image_, u"backup"_s, line_.port, line_.model, positional[0]);
                line_.backup = QFileInfo(positional[0]).absoluteFilePath();
            }
        } catch (const std::exception& e) {
            throw ERefused(std::string("Не удалось сохранить резервную копию: ") + e.what());
        }
        Say("backup: " + (positional.isEmpty() ? (DataFolder() + u"/"_s + line_.backup) : positional[0]).toStdString());
        QJsonObject o = Result(true);
        o[u"backup"_s] = positional.isEmpty() ? DataFolder() + u"/"_s + line_.backup : positional[0];
        return Emit(o);
    }

    // restore FILE [--with-counters]: the backup's settings back onto the device.
    int Restore(const QString& file, bool withCounters, bool otherSerial)
    {
        TImageBuffer backup;
        QString error;
        if (!TServiceRecords::LoadImageFile(file, backup, error))
            throw ERefused(file.toStdString() + ": " + error.toStdString());
        Open("restore");
        ReadDevice();
        const TImageBuffer target = RestoredImage(image_, backup, withCounters);
        // Nothing the connected model does not take is written, whatever the backup holds.
        std::string refused;
        for (const auto& r : ModelRefusals(target, settings_.ModelCode(), withCounters))
            refused += (refused.empty() ? "" : "; ") + r;
        if (!refused.empty())
            throw ERefused("Резервная копия не подходит к подключенному прибору " + line_.model.toStdString() + ": " +
                           refused + ". Ничего не записано");
        const QString otherModel = TServiceRecords::OtherModelNote(file, line_.model);
        if (!otherModel.isEmpty())
            std::fprintf(stderr, "  %s\n", otherModel.toUtf8().constData());
        const auto changes = DescribeChanges(image_, target);
        for (const auto& c : changes)
            std::fprintf(stderr, "  %s\n", c.c_str());
        if (changes.empty()) {
            Say("nothing to change: the device holds the backup's settings");
            Finish("выполнено");
            return Emit(Result(true));
        }
        Consent(g_, (otherModel.isEmpty() ? std::string() : otherModel.toStdString() + ". ") + "Restore these settings from " +
                        file.toStdString() + "?");
        TImageBuffer b = backup;
        if (TDeviceSettings(b).SerialNumber() != settings_.SerialNumber() && !otherSerial) {
            const std::string q = "The backup is of serial number " + std::to_string(TDeviceSettings(b).SerialNumber()) +
                                  ", the device is " + std::to_string(settings_.SerialNumber()) +
                                  ". Write another device's settings to this one?";
            if (!IsTerminal(0))
                throw ERefused(q + " Give --other-serial to do so.");
            if (!Ask(q))
                throw ERefused("declined: nothing written");
        }
        image_ = target;
        Write();
        Say("Восстановлено из " + file.toStdString());
        return Emit(Result(true));
    }

    int Done(int status)
    {
        Finish("выполнено");
        return status;
    }

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
    TServiceRecords records_{u"zenda 1.03"_s};
    TTrafficRecorder traffic_;
    TJournalLine line_;
    TImageBuffer read_;  // the image as read, for the list of changes
    std::optional<TDeviceSession::THeld> held_;
    bool journaling_ = false;
};

// journal [--serial N]: the service journal, newest first.
int JournalCommand(const TGlobal& g, const QCommandLineParser& p)
{
    QString error;
    const auto lines = TServiceRecords::ReadJournal(TServiceRecords::JournalPath(), &error);
    if (!error.isEmpty())
        return Fail(g, kDeviceError, "the service journal cannot be read: " + error.toStdString());
    const QString serial = p.value(u"serial"_s);
    QJsonArray rows;
    for (const auto& l : lines) {
        if (!serial.isEmpty() && l.serial != serial)
            continue;
        if (g.json) {
            QJsonObject o;
            o[u"time"_s] = l.time;
            o[u"action"_s] = l.action;
            o[u"port"_s] = l.port;
            o[u"model"_s] = l.model;
            o[u"serial"_s] = l.serial;
            o[u"address"_s] = l.address;
            o[u"outcome"_s] = l.outcome;
            o[u"changes"_s] = QJsonArray::fromStringList(l.changes);
            o[u"backup"_s] = l.backup;
            o[u"traffic"_s] = l.traffic;
            rows.append(o);
        } else {
            std::printf("%s  %-8s %-6s %-7s %s  %s\n", l.time.toUtf8().constData(), l.action.toUtf8().constData(),
                        l.serial.toUtf8().constData(), l.model.toUtf8().constData(), l.port.toUtf8().constData(),
                        l.outcome.toUtf8().constData());
            for (const auto& c : l.changes)
                std::printf("    %s\n", c.toUtf8().constData());
            if (!l.backup.isEmpty())
                std::printf("    backup: %s\n", l.backup.toUtf8().constData());
            if (!l.traffic.isEmpty())
                std::printf("    traffic: %s\n", l.traffic.toUtf8().constData());
        }
    }
    if (g.json) {
        QJsonObject o;
        o[u"ok"_s] = true;
        o[u"journal"_s] = rows;
        o[u"folder"_s] = DataFolder();
        std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
    }
    return kDone;
}

// ------------------------------------------------------------------ ports

int Ports(const TGlobal& g, const QCommandLineParser& p)
{
    for (const QString& m : p.values(u"map"_s)) {
        const qsizetype eq = m.indexOf(u'=');
        const QString com = m.left(eq).toUpper();
        bool ok = false;
        const int n = com.startsWith(u"COM"_s) ? com.mid(3).toInt(&ok) : 0;
        if (eq < 0 || !ok || n < 1 || n > 16)
            throw ERefused("--map is COMn=PATH (n 1..16; an empty PATH removes the mapping), not '" + m.toStdString() + "'");
        SetPortMapping(com.toStdString(), m.mid(eq + 1).trimmed().toStdString());
    }
    const auto list = ListPorts();
    if (g.json) {
        QJsonObject o;
        QJsonArray coms, devices;
        for (const auto& c : list.coms) {
            QJsonObject j;
            j[u"name"_s] = QString::fromStdString(c.name);
            j[u"path"_s] = QString::fromStdString(c.path);
            j[u"mapped"_s] = c.mapped;
            j[u"state"_s] = QString::fromStdString(c.state);
            coms.append(j);
        }
        for (const auto& d : list.devices) {
            QJsonObject j;
            j[u"path"_s] = QString::fromStdString(d.path);
            j[u"target"_s] = QString::fromStdString(d.target);
            j[u"state"_s] = QString::fromStdString(d.state);
            devices.append(j);
        }
        o[u"ok"_s] = true;
        o[u"ports"_s] = coms;
        o[u"devices"_s] = devices;
        std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
        return kDone;
    }
    for (const auto& c : list.coms)
        std::printf("%-6s %-40s %s%s\n", c.name.c_str(), c.path.c_str(), c.state.c_str(), c.mapped ? " (mapped)" : "");
#ifndef _WIN32  // Windows names every serial line COMn: the list above is all there is
    std::printf("\nserial devices found:\n");
    if (list.devices.empty())
        std::printf("  none\n");
    for (const auto& d : list.devices)
        std::printf("  %-40s %s%s\n", d.path.c_str(), d.state.c_str(),
                    d.target.empty() ? "" : (" -> " + d.target).c_str());
#endif
    if (list.noPermission)
        std::printf("\nSome devices cannot be opened by this user: add yourself to the 'dialout' group\n"
                    "(sudo usermod -aG dialout $USER) and log in again.\n");
    return kDone;
}

}  // namespace

int main(int argc, char** argv)
{
    KeepStandardStreams();
    PrepareConsole();
    CatchStopSignals();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"zenda"_s);
    QCoreApplication::setApplicationVersion(u"1.03"_s);
    InstallSettingsPortResolver();

    // The command is the first word that is neither an option nor an option's value.
    const QStringList args = QCoreApplication::arguments();
    QString command;
    QStringList rest{args.value(0)}, numbers;  // numbers: the positional arguments after "--"
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
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
    p.setApplicationDescription(Description());
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    p.addHelpOption();
    p.addVersionOption();
    AddGlobalOptions(p);
    bool known = command.isEmpty();
    for (const auto& c : kCommands)
        known |= command == QString::fromLatin1(c.name);
    // Known before the parse, so that every run with --json prints one JSON object, a refused
    // command line too.
    TGlobal g;
    g.json = rest.contains(u"--json"_s) || rest.contains(u"-json"_s);
    if (!known) {
        if (!g.json)
            std::fprintf(stderr, "%s", p.helpText().toUtf8().constData());
        return Fail(g, kUsage, "unknown command '" + command.toStdString() + "'");
    }
    if (!command.isEmpty()) {
        AddCommandOptions(p, command);
        for (const auto& c : kCommands)
            if (command == QString::fromLatin1(c.name))
                p.setApplicationDescription(u"zenda %1 %2\n%3"_s.arg(command, QString::fromLatin1(c.args),
                                                                      QString::fromLatin1(c.summary)));
    }
    if (!p.parse(rest))
        return Fail(g, kUsage, p.errorText().toStdString());
    if (p.isSet(u"help-all"_s)) {
        std::printf("%s", HelpAll(p).toUtf8().constData());
        return kDone;
    }
    if (p.isSet(u"help"_s)) {
        std::printf("%s", p.helpText().toUtf8().constData());
        return kDone;
    }
    if (p.isSet(u"version"_s)) {
        std::printf("zenda 1.03\n");
        return kDone;
    }
    if (command.isEmpty()) {
        if (!g.json)
            std::fprintf(stderr, "%s", p.helpText().toUtf8().constData());
        return Fail(g, kUsage, "no command");
    }

    g.port = p.value(u"port"_s);
    // An empty variable in a script must not fall back to the saved port and write the device there.
    if (p.isSet(u"port"_s) && g.port.trimmed().isEmpty())
        return Fail(g, kUsage, "--port is empty: give COM1..COM16 or a device path");
    g.json = p.isSet(u"json"_s);
    g.trace = p.isSet(u"trace"_s);
    g.yes = p.isSet(u"yes"_s);
    g.noBackup = p.isSet(u"no-backup"_s);
    if (p.isSet(u"baud"_s)) {
        g.baud = p.value(u"baud"_s).toInt();
        if (g.baud != 4800 && g.baud != 9600)
            return Fail(g, kUsage, "--baud is 4800 or 9600");
    }
    const QStringList positional = p.positionalArguments();
    const qsizetype wanted = command == u"rtc" || command == u"restore" ? 1 : 0;
    const qsizetype most = command == u"backup" ? 1 : wanted;
    if (positional.size() < wanted || positional.size() > most)
        return Fail(g, kUsage, command == u"rtc"       ? "rtc takes one number of seconds, -25..25"
                               : command == u"restore" ? "restore takes one backup file"
                                                       : "unexpected argument");

    TProgram program(g);
    try {
        if (command == u"ports")
            return Ports(g, p);
        if (command == u"journal")
            return JournalCommand(g, p);
        const int status = [&] {
            if (command == u"backup")
                return program.BackupCommand(positional);
            if (command == u"restore")
                return program.Restore(positional[0], p.isSet(u"with-counters"_s), p.isSet(u"other-serial"_s));
            return kUsage;
        }();
        if (status != kUsage) {
            program.Finish("выполнено");
            return status;
        }
        if (command == u"read")
            return program.Done(program.Read());
        if (command == u"leave")
            return program.Done(program.Leave());
        if (command == u"init")
            return program.Done(program.Init(p));
        if (command == u"rtc")
            return program.Done(program.Rtc(positional[0]));
        if (command == u"counters")
            return program.Done(program.Counters(p));
    } catch (const EStopped& e) {
        program.Ui().progress.Clear();
        program.Finish(e.what());
        return Fail(g, 128 + e.signal, e.what());
    } catch (const ERefused& e) {
        program.Finish(e.what());
        return Fail(g, kUsage, e.what());
    } catch (const EAbort&) {
        program.Finish(program.Ui().last);
        // Already said (a verification that failed three times said it three times).
        const auto& ui = program.Ui();
        const QString held = program.Held();
        const std::string what = held == u"new"   ? "read after the failure: the device holds the new settings"
                                 : held == u"old" ? "read after the failure: the device holds its old settings; nothing was changed"
                                                  : "nothing was verified, the device may have been changed";
        if (ui.errors > 1)
            std::fprintf(stderr, "zenda: failed %d times; %s\n", ui.errors, what.c_str());
        else if (!held.isEmpty())
            std::fprintf(stderr, "zenda: %s\n", what.c_str());
        return Fail(g, kDeviceError, ui.last, true, program.Held());
    } catch (const std::exception& e) {
        program.Ui().progress.Clear();
        program.Finish(e.what());
        return Fail(g, program.OpenError().empty() ? kDeviceError : kNoPort, e.what(), false, program.Held());
    }
    return kUsage;
}
