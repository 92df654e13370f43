// The commands with more to them: init, counters, backup, restore; the journal and the ports.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <thread>
#include <ctime>

#include "changes.h"
#include "editmask.h"
#include "program.h"
#include "team/teambook.h"
#include "team/teamnews.h"
#include "team/teamsync.h"
#include "base/settingsstore.h"

using namespace Qt::StringLiterals;

int TProgram::Init(const QCommandLineParser& p)
{
    // What can be checked without the device is checked before anything is sent.
    auto number = [&](const char* name, long long lo, long long hi, const QString& message) {
        bool ok = false;
        const long long v = p.value(QString::fromLatin1(name)).trimmed().toLongLong(&ok);
        if (!ok || v < lo || v > hi)
            throw ERefused(Human(message));
        return static_cast<int>(v);
    };
    const bool setSerial = p.isSet(u"serial"_s), setAddress = p.isSet(u"address"_s);
    const int serial =
        setSerial ? number("serial", 0, range::SerialMax, u"Номер прибора должен быть числом от 0 до 65535"_s) : 0;
    const int address = setAddress ? number("address", range::AddressMin, range::AddressMax,
                                            u"Сетевой адрес прибора должен быть числом от 1 до 63"_s)
                                   : 0;
    int v2 = -1;
    if (p.isSet(u"v2-reset"_s)) {
        const QString v = p.value(u"v2-reset"_s).toLower();
        v2 = v == u"yes" ? 1 : v == u"no" ? 0 : -2;
        if (v2 == -2)
            throw ERefused(Z::tr("--v2-reset is yes or no"));
    }
    Consent(g_, Z::tr("PC time %1. Is it the right time? Initialize the device (counters cleared)?")
                    .arg(QString::fromStdString(PcTime())));
    PreparePort();
    face_.leave = p.isSet(u"leave"_s);
    try {
        actions_.Initialize(
            [&] {
                LoadTable();
                for (int ch : {1, 2}) {
                    const QString name = u"ch"_s + QString::number(ch);
                    if (p.isSet(name))
                        ApplyChannelSpec(table_, ch - 1, p.value(name), face_.initNotes, [](const QString& t) { return Human(t); });
                }
                if (setSerial)
                    settings_.SetSerialNumber(serial);
                if (setAddress)
                    settings_.SetAddress(address);
                if (v2 >= 0)
                    settings_.SetV2Reset(v2 == 1);
                table_.StoreChannels([&](int) { face_.ErrorAbort("Не выбран тип входного сигнала!", "Ошибка"); });
                return true;
            },
            TDeviceActions::TLeave::Ask);
    } catch (...) {
        // A script must not initialize again: the initialization itself is done and verified.
        if (actions_.Result().wrote && face_.leave)
            std::fprintf(stderr, "zenda: %s\n",
                         Z::tr("the device was initialized and verified; only leaving initialization mode failed")
                             .toUtf8()
                             .constData());
        throw;
    }
    LoadTable();
    const bool stopped = face_.leave && !actions_.Result().left;  // only the leave is left out
    if (stopped)
        face_.Say(Z::tr("stopped: the device was initialized but is still in initialization mode"));
    else if (face_.leave)
        face_.Say(u"Выход из режима инициализации произведен успешно"_s);
    QJsonObject o = Result(true);
    if (!face_.initNotes.empty()) {
        QJsonArray a;
        for (const auto& n : face_.initNotes)
            a.append(Human(QString::fromStdString(n)));
        o[u"notes"_s] = a;
    }
    Emit(o);
    return stopped ? 128 + StopSignal() : kDone;
}

int TProgram::Counters(const QCommandLineParser& p)
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
            throw ERefused(Z::tr("--%1 is HOURS:MM (0..99999 hours), not '%2'").arg(QString::fromLatin1(o), v));
        if (!range::Minutes(m))
            throw ERefused(Human(u"Введите значение минут в диапазоне 0-59"_s));
        char d[16];
        std::snprintf(d, sizeof d, "%05lld%02d", h, m);
        wants.push_back({o, std::string(o) == "tp1" ? TCounter::Tp1 : TCounter::Tp2, d});
    }
    const bool any = !wants.empty() || p.isSet(u"v1"_s) || p.isSet(u"v2"_s);
    if (!any)
        throw ERefused(Z::tr("nothing to set: give --tp1, --tp2, --v1 or --v2"));
    Consent(g_, Z::tr("Preset the counters?"));
    PreparePort();
    actions_.Counters([&] {
        for (int ch : {1, 2}) {
            const QString name = u"v"_s + QString::number(ch);
            if (!p.isSet(name))
                continue;
            const std::string mask = settings_.VolumeMask(ch);
            if (mask.empty())
                throw ERefused(Human(
                    ch == 1 ? u"По первому каналу установлен запрещенный тип входного сигнала, счетчик не записан!"_s
                            : u"По второму каналу установлен запрещенный тип входного сигнала, счетчик не записан!"_s));
            // The decimals the channel's mask shows; the value is given in those units.
            const qsizetype comma = QString::fromStdString(mask).indexOf(u',');
            const int decimals =
                comma < 0 ? 0 : static_cast<int>(QString::fromStdString(mask).indexOf(u';') - comma - 1);
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
            if (parts.size() > 2 || whole.isEmpty() || !digitsOnly(whole) || !digitsOnly(frac) ||
                frac.size() > decimals || whole.size() > 8 - decimals)
                throw ERefused((decimals == 1 ? Z::tr("--%1 is a number with at most %2 digits and %3 decimal for this "
                                                      "channel, not '%4'")
                                              : Z::tr("--%1 is a number with at most %2 digits and %3 decimals for this "
                                                      "channel, not '%4'"))
                                   .arg(name)
                                   .arg(8 - decimals)
                                   .arg(decimals)
                                   .arg(p.value(name)));
            const QString digits = whole.rightJustified(8 - decimals, u'0') + frac.leftJustified(decimals, u'0');
            wants.push_back({ch == 1 ? "v1" : "v2", ch == 1 ? TCounter::V1 : TCounter::V2, digits.toStdString()});
        }
        for (const auto& w : wants)
            settings_.SetCounterText(w.counter, w.digits);
        return true;
    });
    LoadTable();
    return Emit(Result(true));
}

// backup [FILE]: the device's image into FILE, or into the backups folder.
int TProgram::BackupCommand(const QStringList& positional)
{
    PreparePort();
    const QString file = actions_.Backup(positional.value(0)).line.backup;
    LoadTable();
    const QString shown = positional.isEmpty() ? DataFolder() + u"/"_s + file : positional[0];
    face_.Say(Z::tr("backup: %1").arg(shown));
    QJsonObject o = Result(true);
    o[u"backup"_s] = shown;
    return Emit(o);
}

// restore FILE [--with-counters]: the backup's settings back onto the device.
int TProgram::Restore(const QString& file, bool withCounters, bool otherSerial)
{
    TImageBuffer backup;
    QString error;
    if (!TServiceRecords::LoadImageFile(file, backup, error))
        throw ERefused(file + u": "_s + Human(error));
    PreparePort();
    face_.restoreFile = file;
    face_.otherSerial = otherSerial;
    actions_.Restore(
        file, [&] { return backup; }, withCounters);
    LoadTable();
    return Emit(Result(true));
}

// restore --team SHA256: a backup from the team's server, any PC's, under the same rules.
int TProgram::RestoreFromTeam(const QString& sha256, bool withCounters, bool otherSerial)
{
    const QByteArray bytes = TeamBackup(TeamConnInfo(), sha256.trimmed().toLower());
    TImageBuffer backup;
    QString error;
    const QString name = u"team:"_s + sha256.trimmed().toLower().left(16);
    if (!TServiceRecords::ParseImage(bytes, backup, error))
        throw ERefused(name + u": "_s + Human(error));
    PreparePort();
    face_.restoreFile = name;
    face_.otherSerial = otherSerial;
    actions_.Restore(
        name, [&] { return backup; }, withCounters);
    LoadTable();
    return Emit(Result(true));
}

namespace {
// A JSON string, as QJsonDocument writes one: UTF-8, control characters escaped.
void JsonString(QByteArray& out, const QString& s)
{
    out += '"';
    const QByteArray u = s.toUtf8();
    for (const char c : u) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char e[8];
                std::snprintf(e, sizeof e, "\\u%04x", c);
                out += e;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}
}  // namespace

// journal [--serial N] [--team]: the service journal, newest first; this PC's, or every PC's on
// the team's server.
int JournalCommand(const TGlobal& g, const QCommandLineParser& p)
{
    // A device's number, matched whole: "1" is not 104 or 1245.
    QString serial;
    if (p.isSet(u"serial"_s)) {
        bool ok = false;
        const int n = p.value(u"serial"_s).trimmed().toInt(&ok);
        if (!ok || n < 0 || n > range::SerialMax)
            throw ERefused(Z::tr("--serial is a serial number, 0..65535, not '%1'").arg(p.value(u"serial"_s)));
        serial = QString::number(n);
    }
    int limit = 0;
    if (p.isSet(u"limit"_s)) {
        bool ok = false;
        limit = p.value(u"limit"_s).trimmed().toInt(&ok);
        if (!ok || limit < 1)
            throw ERefused(Z::tr("--limit is a number of lines, 1 or more, not '%1'").arg(p.value(u"limit"_s)));
    }
    const bool team = p.isSet(u"team"_s);
    bool any = false;
    // A journal is a file anybody may have edited, the server's lines come from every PC: nothing
    // of either reaches the terminal raw.
    auto print = [&](const TJournalLine& l, const QString& pc, const QString& engineer, const QString& backupSha,
                     bool mine, const QString& protocol, qint64 seq) {
        if (g.json) {
            // Written directly, not through QJsonObject: a department's million lines go at the
            // speed of the disk. A line each: a reader may take them as they come.
            QByteArray o = any ? "\n,{" : "\n{";
            auto text = [&o](const char* key, const QString& v) {
                if (!o.endsWith('{'))
                    o += ',';
                o += '"';
                o += key;
                o += "\":";
                JsonString(o, v);
            };
            if (team) {
                text("pc", pc);
                text("engineer", engineer);
                text("backup_sha256", backupSha);
                o += mine ? ",\"mine\":true" : ",\"mine\":false";
                text("protocol", protocol);
                o += ",\"seq\":" + QByteArray::number(seq);  // the server's order of arrival
                text("id", l.id);
            }
            for (const auto& [key, v] : {std::pair{"time", &l.time}, {"action", &l.action}, {"port", &l.port},
                                        {"model", &l.model}, {"serial", &l.serial}, {"address", &l.address},
                                        {"outcome", &l.outcome}})
                text(key, *v);
            o += ",\"changes\":[";
            for (qsizetype i = 0; i < l.changes.size(); ++i) {
                if (i)
                    o += ',';
                JsonString(o, l.changes[i]);
            }
            o += ']';
            text("backup", l.backup);
            text("traffic", l.traffic);
            o += '}';
            std::fwrite(o.constData(), 1, static_cast<size_t>(o.size()), stdout);
        } else {
            const auto out = [](const QString& t) { return OnOneLine(t.left(2000)).toUtf8(); };
            std::printf("%s  %-8s %-6s %-7s %s  %s\n", out(l.time).constData(), out(l.action).constData(),
                        out(l.serial).constData(), out(l.model).constData(), out(l.port).constData(),
                        out(Human(l.outcome)).constData());
            if (team)
                std::printf("    %s\n", out(Z::tr("PC: %1, user %2").arg(pc, engineer)).constData());
            for (const auto& c : l.changes)
                std::printf("    %s\n", out(Human(c)).constData());
            if (!l.backup.isEmpty())
                std::printf("    %s\n", out(Z::tr("backup: %1").arg(l.backup)).constData());
            if (!backupSha.isEmpty())
                std::printf("    %s\n", out(Z::tr("on the team's server: zenda restore --team %1").arg(backupSha)).constData());
            if (!protocol.isEmpty())
                std::printf("    %s\n", out(Z::tr("protocol on the team's server: zenda team protocol %1 %2 FILE")
                                                 .arg(pc, protocol))
                                             .constData());
            if (!l.traffic.isEmpty())
                std::printf("    %s\n", out(Z::tr("traffic: %1").arg(l.traffic)).constData());
        }
        any = true;
    };
    if (team) {
        const QString conninfo = TeamConnInfo();
        // As the server sends them: a million lines are never held here. A reader gone (a pipe
        // closed) ends it.
        if (g.json)
            std::printf("{\"journal\":[");
        try {
            TeamJournal(conninfo, serial, limit, [&](const TTeamLine& t) {
                print(t.line, t.pc, t.engineer, t.backupSha, t.mine, t.protocol, t.seq);
                return !std::ferror(stdout);
            });
        } catch (const std::exception& e) {
            if (!g.json && !any)
                throw;
            const QString why = Human(QString::fromUtf8(e.what()));
            if (g.json)
                std::printf("],\"ok\":false,\"error\":%s}\n",
                            QJsonDocument(QJsonArray{why}).toJson(QJsonDocument::Compact).mid(1).chopped(1).constData());
            else
                std::fprintf(stderr, "zenda: %s\n", Z::tr("the department's journal was cut short: %1").arg(why).toUtf8().constData());
            return kDeviceError;
        }
        if (g.json)
            std::printf("\n],\"ok\":true}\n");
        return kDone;
    }
    // A line at a time, newest first: a journal of half a million lines is never held whole.
    QString error;
    if (!TServiceRecords::ForEachJournalLine(TServiceRecords::JournalPath(), {}, [](const TJournalLine&) { return false; },
                                             &error))
        return Fail(g, kDeviceError, Z::tr("the service journal cannot be read: %1").arg(Human(error)));
    if (g.json)
        std::printf("{\"ok\":true,\"folder\":%s,\"journal\":[",
                    QJsonDocument(QJsonArray{DataFolder()}).toJson(QJsonDocument::Compact).mid(1).chopped(1).constData());
    const bool read = TServiceRecords::ForEachJournalLine(
        TServiceRecords::JournalPath(), {limit > 0 ? limit : -1, serial, true},
        [&](const TJournalLine& l) {
            print(l, {}, {}, {}, true, {}, 0);
            return true;
        },
        &error);
    if (g.json)
        std::printf("]}\n");
    if (!read)  // gone between the two looks
        return Fail(TGlobal{}, kDeviceError, Z::tr("the service journal cannot be read: %1").arg(Human(error)));
    return kDone;
}

QString OtherWriteNote(int serial)
{
    const std::optional<TOtherWrite> w = KnownOtherWrite(serial);
    if (!w)
        return {};
    return Z::tr("note: № %1 was written on another PC after this PC's last write of it: %2 (user %3), %4, %5")
        .arg(serial)
        .arg(OnOneLine(w->pc.left(64)), OnOneLine(w->engineer.left(64)), OnOneLine(w->time.left(40)),
             OnOneLine(w->action.left(20)));
}

void PushBriefly(int status, int serial)
{
    QString conninfo;
    try {
        if (!TeamConfigured())
            return;
        conninfo = TeamConnInfo();
    } catch (const std::exception&) {  // an empty ZENDA_TEAM_DB: `zenda sync` says so
        return;
    }
    // A command ended by Ctrl+C has taken that stop: its lines still go, within the same bound (a
    // second signal ends the program at once).
    if (StopSignal() != 0)
        TeamStopWhen([] { return false; });
    auto finished = std::make_shared<std::promise<void>>();
    std::future<void> done = finished->get_future();
    auto note = std::make_shared<QString>();
    std::thread pusher([conninfo, finished, serial, note] {
        try {
            TeamPush(conninfo);
        } catch (const std::exception&) {  // unsent lines wait: nothing is lost
        }
        // What the push heard, or, with no server now, what this PC heard last.
        if (serial >= 0)
            *note = OtherWriteNote(serial);
        finished->set_value();
    });
    if (done.wait_for(std::chrono::milliseconds(1500)) == std::future_status::ready) {
        // Joined, not left: a thread still ending (its Qt thread data, its captures) while the
        // program's statics are destroyed would touch freed memory.
        pusher.join();
        if (!note->isEmpty())
            std::fprintf(stderr, "zenda: %s\n", note->toUtf8().constData());
        return;
    }
    // A server that hangs does not hold the engineer: the push is left where it is (nothing of
    // it counts as sent before the server committed and this PC noted it).
    if (serial >= 0)
        if (const QString known = OtherWriteNote(serial); !known.isEmpty())
            std::fprintf(stderr, "zenda: %s\n", known.toUtf8().constData());
    pusher.detach();  // nothing is destroyed after this: the program ends here
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}

// sync: this PC's journal lines to the team's server now.
int SyncCommand(const TGlobal& g)
{
    const QString conninfo = TeamConnInfo();
    QString error;
    const TPushResult r = [&] {
        try {
            return TeamPush(conninfo);
        } catch (const ERefused&) {
            throw;
        } catch (const std::exception& e) {
            error = Human(QString::fromUtf8(e.what()));
            TPushResult waits;
            waits.waiting = TeamWaiting();
            return waits;
        }
    }();
    const bool ok = error.isEmpty() && !r.busy && r.unheard.isEmpty();
    if (g.json) {
        QJsonObject o{{u"ok"_s, ok},
                      {u"sent"_s, r.sent},
                      {u"protocols"_s, r.protocols},
                      {u"new"_s, r.fresh},
                      {u"waiting"_s, r.waiting},
                      {u"heard"_s, r.heard},
                      {u"damaged"_s, r.damaged},
                      {u"resent"_s, r.resent}};
        if (r.told >= 0)
            o[u"told"_s] = r.told;
        if (!r.wentBack.isEmpty())
            o[u"went_back"_s] = r.wentBack;
        if (!r.awaited.isEmpty())
            o[u"awaited"_s] = r.awaited;
        if (!error.isEmpty())
            o[u"error"_s] = error;
        else if (!r.unheard.isEmpty())
            o[u"error"_s] = Human(r.unheard);
        if (r.busy)
            o[u"busy"_s] = true;
        std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
    } else if (error.isEmpty() && !r.busy) {  // sent; whether the others were heard, said after
        std::printf("%s\n", Z::tr("sent %1 lines (%2 new on the server) and %3 protocols; %4 lines wait; "
                                   "heard of %5 writes by other PCs")
                                 .arg(r.sent)
                                 .arg(r.fresh)
                                 .arg(r.protocols)
                                 .arg(r.waiting)
                                 .arg(r.heard)
                                 .toUtf8()
                                 .constData());
        auto note = [](const QString& text) { std::fprintf(stderr, "zenda: %s\n", text.toUtf8().constData()); };
        if (!r.wentBack.isEmpty())
            note(Z::tr("the team's server went back in time (%1): this PC told it the %2 numbers it used")
                     .arg(r.wentBack)
                     .arg(r.told));
        if (r.resent)
            note(Z::tr("the team's server did not hold this PC's journal: all of it was sent again"));
        if (!r.awaited.isEmpty())
            note(Z::tr("the number book gives no number until these PCs have told theirs: %1").arg(r.awaited));
        if (r.damaged > 0)
            std::fprintf(stderr, "zenda: %s\n",
                         Z::tr("%1 damaged journal lines were sent as damaged (zenda journal shows them)")
                             .arg(r.damaged)
                             .toUtf8()
                             .constData());
        if (!r.unheard.isEmpty())
            std::fprintf(stderr, "zenda: %s\n",
                         Z::tr("the other PCs' writes were not read: %1").arg(Human(r.unheard)).toUtf8().constData());
    } else {
        std::fprintf(stderr, "zenda: %s\n",
                     (r.busy ? Z::tr("another program of this PC is sending now; %1 lines wait").arg(r.waiting)
                             : Z::tr("not sent: %1; %2 lines wait for the next sync").arg(error).arg(r.waiting))
                         .toUtf8().constData());
    }
    return ok ? kDone : kDeviceError;
}

// ------------------------------------------------------------------ ports

namespace {
// The state of a port as ListPorts gives it (the JSON keeps these words), for a person.
QString PortState(const std::string& state)
{
    if (state == "can be opened")
        return Z::tr("can be opened");
    if (state == "missing")
        return Z::tr("missing");
    if (state == "busy (open in another program)")
        return Z::tr("busy (open in another program)");
    if (state == "cannot be opened")
        return Z::tr("cannot be opened");
    if (state == "not a path")
        return Z::tr("not a path");
    if (state == "no permission")
        return Z::tr("no permission");
    if (state == "cannot be opened (busy, or not a serial line)")
        return Z::tr("cannot be opened (busy, or not a serial line)");
    return QString::fromStdString(state);
}
}  // namespace

int Ports(const TGlobal& g, const QCommandLineParser& p)
{
    for (const QString& m : p.values(u"map"_s)) {
        const qsizetype eq = m.indexOf(u'=');
        const QString com = m.left(eq).toUpper();
        bool ok = false;
        const int n = com.startsWith(u"COM"_s) ? com.mid(3).toInt(&ok) : 0;
        if (eq < 0 || !ok || n < 1 || n > 16)
            throw ERefused(Z::tr("--map is COMn=PATH (n 1..16; an empty PATH removes the mapping), not '%1'").arg(m));
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
            if (!c.description.empty())
                j[u"description"_s] = QString::fromStdString(c.description);  // the adapter (Windows)
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
        std::printf("%-6s %-40s %s%s%s\n", c.name.c_str(), c.path.c_str(), PortState(c.state).toUtf8().constData(),
                    c.mapped ? Z::tr(" (mapped)").toUtf8().constData() : "",
                    c.description.empty() ? "" : ("  " + c.description).c_str());
#ifndef _WIN32  // Windows names every serial line COMn: the list above is all there is
    std::printf("\n%s\n", Z::tr("serial devices found:").toUtf8().constData());
    if (list.devices.empty())
        std::printf("  %s\n", Z::tr("none").toUtf8().constData());
    for (const auto& d : list.devices)
        std::printf("  %-40s %s%s\n", d.path.c_str(), PortState(d.state).toUtf8().constData(),
                    d.target.empty() ? "" : (" -> " + d.target).c_str());
#endif
    if (list.noPermission)
        std::printf("\n%s\n", Z::tr("Some devices cannot be opened by this user: add yourself to the 'dialout' "
                                    "group\n(sudo usermod -aG dialout $USER) and log in again.")
                                  .toUtf8()
                                  .constData());
    return kDone;
}
