// The production station's plan, its book of numbers and its fixtures.
#include "station.h"

#include <QDir>
#include <QRegularExpression>

#include <set>
#include <thread>

#include "abort.h"
#include "actions/actions.h"
#include "base/refusal.h"
#include "records/records.h"
#include "channels.h"
#include "commapi.h"
#include "settings.h"

using namespace Qt::StringLiterals;

// ------------------------------------------------------------------ a fixture

const char* StateName(TStationEvent::TKind kind)
{
    static const char* const names[] = {"waiting", "device",      "writing", "done",     "failed",
                                        "skipped", "take it off", "gone",    "finished", "note"};
    return names[kind];
}

namespace {
// The station's answers to the actions: no questions asked (the plan said it all), every
// message kept for the report.
class TStationFace : public TActionFace {
public:
    [[noreturn]] void ErrorAbort(const std::string& Msg, const std::string&) override
    {
        last = Msg;
        throw EAbort();
    }
    bool Ask(const TQuestion& q) override
    {
        if (q.kind == TQuestion::WithoutBackup)
            throw ERefused(
                Z::tr("The backup could not be saved in %1 (%2); nothing written (--no-backup writes without one)")
                    .arg(DataFolder(), host->Said(q.reason)));
        return q.kind == TQuestion::LeaveAfterInit;
    }
    void Inform(const QString&) override {}
    [[noreturn]] void Refuse(const QString& text) override { throw ERefused(text.toStdString()); }
    QString PortText() const override { return portText; }
    void ModelRead(uint8_t) override { onModel(); }
    // A stop ends a fixture between devices or before a write, never between a write and the
    // leave: a device is done whole or not touched.
    void Checkpoint() override
    {
        if (const int sig = host->StopAsked())
            throw EStopped(sig);
    }
    bool StopRequested() const override { return host->StopNow(); }
    QString ShownError() const override { return QString::fromStdString(last); }
    QString FailureText(const std::exception& e) const override { return host->Journaled(e); }
    void JournalFailed(const QString& error) override { onJournal(error); }
    void WriteBegins(const TJournalLine&) override { onWriteBegins(); }

    QString portText;
    TStationHost* host = nullptr;  // the face that runs the station
    std::string last;
    std::function<void()> onModel;
    std::function<void(const QString&)> onJournal;
    std::function<void()> onWriteBegins;
};

// "на приспособлении COM2 прибор № 1017 уже пронумерован"
QString Numbered(const QString& fixture, int serial)
{
    return u"на приспособлении "_s + fixture + u" прибор № "_s + QString::number(serial) + u" уже пронумерован"_s;
}

QString TwoDevices(int serial, const QString& here, const QString& other)
{
    return Z::tr("two devices hold № %1: the device on %2 and the one written on %3").arg(serial).arg(here, other);
}
}  // namespace

struct TStation::TFixture {
    QString name;  // as given
    int comIndex = 0;
    TStationFace face;
    TImageBuffer image;
    TDeviceSettings settings{image};
    TChannelTable table{image};
    TDeviceActions actions;
    TFixture(TStationHost& host, const QString& program) : actions(face, image, program) { face.host = &host; }
    bool journalSaid = false;
};

TStation::TStation(const TStationOptions& options, TNumberBook& book, TStationHost& host)
    : opt_(options), book_(book), host_(host)
{
    // COMn names keep what the settings map them to; a path gets a COM index of its own.
    std::map<std::string, std::string> paths;
    std::set<int> used;
    for (const QString& p : opt_.ports)
        if (p.startsWith(u"COM"_s, Qt::CaseInsensitive))
            used.insert(p.mid(3).toInt() - 1);
    int nextFree = 0;
    for (const QString& p : opt_.ports) {
        auto f = std::make_unique<TFixture>(host_, opt_.program);
        f->name = p;
        if (p.startsWith(u"COM"_s, Qt::CaseInsensitive)) {
            f->comIndex = p.mid(3).toInt() - 1;
            const std::string com = "COM" + std::to_string(f->comIndex + 1);
            paths[com] = ResolvePortName(com);
            f->face.portText = QString::fromStdString(com + " -> " + paths[com]);
        } else {
            while (used.count(nextFree))
                ++nextFree;
            f->comIndex = nextFree;
            used.insert(nextFree);
            paths["COM" + std::to_string(nextFree + 1)] = p.toStdString();
            f->face.portText = p;
        }
        f->actions.askModel = true;
        f->actions.noBackup = opt_.noBackup;
        // The operator may swap the device while a write waits for its answer: a retry would
        // give its number to the next device.
        f->actions.writeOnce = true;
        fixtures_.push_back(std::move(f));
    }
    SetPortNameResolver([paths](const std::string& name) {
        const auto it = paths.find(name);
        return it == paths.end() ? DefaultPortPath(name) : it->second;
    });
}

TStation::~TStation() = default;

void TStation::OpenPorts()
{
    for (auto& f : fixtures_) {
        try {
            f->actions.Session().Open(f->comIndex, opt_.baud);
        } catch (const std::exception& e) {
            for (auto& other : fixtures_)
                other->actions.Session().Close();
            throw std::runtime_error(f->name.toStdString() + ": " + e.what());
        }
    }
}

void TStation::Run()
{
    std::vector<std::thread> threads;
    for (auto& f : fixtures_)
        threads.emplace_back([this, &f] { RunFixture(*f); });
    for (auto& t : threads)
        t.join();
    for (auto& f : fixtures_)
        f->actions.Session().Close();
}

void TStation::RunFixture(TFixture& f)
{
    TDeviceSession& session = f.actions.Session();
    auto say = [&](TStationEvent::TKind kind, int serial = -1, const QString& message = {}) {
        host_.Report(TStationEvent(kind, f.name, serial, message));
    };
    f.face.onModel = [&] { say(TStationEvent::Device); };
    // The journal is where the station keeps its numbers across a restart: while it cannot be
    // written, no device is written either, and the station stops.
    f.face.onJournal = [&](const QString& error) {
        journalBroken_ = true;
        if (!std::exchange(f.journalSaid, true))
            say(TStationEvent::Note, -1, Z::tr("the service journal cannot be written: %1").arg(error));
        if (!f.actions.Result().writeBegan)
            throw ERefused(Z::tr("the service journal cannot be written: nothing written, the station stops"));
    };
    auto stopping = [&] {
        return host_.StopAsked() != 0 || stop_ || journalBroken_ || !book_.LedgerError().isEmpty() || book_.Finished();
    };
    // The model query alone, once: does a device answer on the fixture?
    // Plan rows a model cannot take (a frequency input on a ZENDA1): set aside for devices of that
    // model, kept for one that takes them.
    uint8_t model = 0;
    std::map<uint8_t, std::set<int>> unfit;
    auto answers = [&] {
        try {
            session.ReviveLine();
            TComPort& port = session.Port();
            port.PurgeInput();
            port.WriteByte(cmd::Model);
            port.ReadByte(std::min(opt_.pollMs, 1000));
            model = port.ReadByte(timeouts::ModelCode);
            return true;
        } catch (...) {
            return false;
        }
    };
    // Sleeps out the rest of a poll period, or less when a stop comes.
    auto pause = [&](std::chrono::steady_clock::time_point from) {
        const auto until = from + std::chrono::milliseconds(opt_.pollMs);
        while (std::chrono::steady_clock::now() < until && !stopping())
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                std::chrono::milliseconds(20), until - std::chrono::steady_clock::now()));
    };

    auto held = [&] { return host_.Held(f.name); };
    while (!stopping()) {
        while (held() && !stopping())
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (stopping())
            break;
        say(TStationEvent::Waiting);
        bool on = false;
        while (!stopping() && !held()) {
            const auto at = std::chrono::steady_clock::now();
            if ((on = answers()))
                break;
            pause(at);
        }
        if (!on && held())
            continue;  // paused while it waited: no device was begun
        if (!on)
            break;
        QString away;  // the team's server cannot be reached: said once until it answers again
        bool noneFits = false;
        const auto row = book_.Take(
            [&] { return host_.StopAsked() != 0 || stop_; },
            [&](const QString& why) {
                if (std::exchange(away, why) != why)
                    say(TStationEvent::Note, -1, Z::tr("no number: %1; nothing is written until it answers").arg(why));
            },
            [&](const TPlanRow& r) { return !unfit[model].count(r.serial); }, &noneFits, f.name);
        if (!row && noneFits) {
            say(TStationEvent::TakeOff, -1,
                Z::tr("no row left in the plan fits this device (%1): take it off").arg(ModelName(model)));
            while (!stopping() && answers())
                std::this_thread::sleep_for(std::chrono::milliseconds(opt_.pollMs));
            continue;
        }
        if (!row)
            break;
        TStationEvent result(TStationEvent::Done, f.name, row->serial);
        bool skipped = false;
        QString setAside;       // the row does not fit this model: why
        QString id;             // the ledger's begun line of this write
        QString notRecorded;    // the number could not be recorded first: nothing was written
        QString heldElsewhere;  // a device on another fixture holds the number: this one takes the next
        QString twoDevices;     // the device here holds a number another fixture's write gave: that fixture
        f.face.onWriteBegins = [&] {
            try {
                id = book_.Begin(row->serial, f.name);
            } catch (const TNumberBook::EHeldElsewhere& e) {
                heldElsewhere = e.fixture;
                throw ERefused(
                    Z::tr("№ %1 is held by the device on %2: nothing written, this device takes the next number")
                        .arg(row->serial)
                        .arg(e.fixture));
            } catch (const std::exception& e) {
                notRecorded = QString::fromUtf8(e.what());
                if (!book_.LedgerError().isEmpty())
                    throw ERefused(
                        Z::tr("the station's ledger cannot be written (%1): nothing written, the station stops")
                            .arg(notRecorded));
                throw ERefused(Z::tr("the number %1 could not be recorded first (%2): nothing written")
                                   .arg(row->serial)
                                   .arg(notRecorded));
            }
        };
        try {
            f.actions.Initialize(
                [&] {
                    const int serial = f.settings.SerialNumber();
                    result.previous = serial;
                    if (serial != 0 && !opt_.renumber) {
                        // Seen before any fixture may begin to write it; a write of it begun
                        // already (another fixture's) means two devices hold it.
                        if (const auto other = book_.Seen(serial, f.name)) {
                            twoDevices = *other;
                            throw std::runtime_error(TwoDevices(serial, f.name, *other).toStdString());
                        }
                        skipped = true;
                        f.face.Refuse(Numbered(f.name, serial));
                    }
                    f.settings.SetModelCode(f.actions.Result().model);
                    f.table.Recreate();
                    f.table.AppendStartRows();
                    if (f.settings.ModelCode() == kModelZenda1)
                        f.table.ApplyModel1();
                    else
                        f.table.ApplyModel23(TDeviceSettings::ModelIndex(f.settings.ModelCode()));
                    f.table.LoadChannels();
                    std::vector<std::string> notes;
                    for (int ch : {1, 2}) {
                        const QString& spec = ch == 1 ? (row->ch1.isEmpty() ? opt_.defaults.ch1 : row->ch1)
                                                      : (row->ch2.isEmpty() ? opt_.defaults.ch2 : row->ch2);
                        if (spec.isEmpty())
                            continue;
                        try {
                            ApplyChannelSpec(f.table, ch - 1, spec, notes);
                        } catch (const ERefused& e) {
                            setAside = QString::fromUtf8(e.what());
                            throw;
                        }
                    }
                    f.settings.SetSerialNumber(row->serial);
                    if (const auto a = row->address ? row->address : opt_.defaults.address)
                        f.settings.SetAddress(*a);
                    if (const int v2 = row->v2Reset >= 0 ? row->v2Reset : opt_.defaults.v2Reset; v2 >= 0)
                        f.settings.SetV2Reset(v2 == 1);
                    f.table.StoreChannels([&](int) { f.face.ErrorAbort("Не выбран тип входного сигнала!", "Ошибка"); });
                    say(TStationEvent::Writing, row->serial);
                    return true;
                },
                TDeviceActions::TLeave::Yes);
        } catch (const EAbort&) {
            result.kind = TStationEvent::Failed;
            result.message = QString::fromStdString(f.face.last);
        } catch (const EStopped& e) {
            result.kind = TStationEvent::Failed;
            result.message = QString::fromUtf8(e.what());
        } catch (const std::exception& e) {
            result.kind = skipped ? TStationEvent::Skipped : TStationEvent::Failed;
            result.message = QString::fromUtf8(e.what());
        }
        const TActionResult& r = f.actions.Result();
        result.backup = r.line.backup;
        result.model = r.model;
        if (r.wrote) {
            // Written and verified: the number is used, even when only the leave failed.
            book_.Done(row->serial, f.name, id);
            result.used = true;
        } else if (r.writeBegan) {
            book_.Spoil(row->serial, f.name, id);
            result.spoiled = result.used = true;
        } else {
            book_.Release(row->serial, id);
        }
        if (result.kind == TStationEvent::Skipped) {
            result.serial = result.previous;
            book_.Seen(result.previous, f.name);  // never given to a second device
        }
        if (!twoDevices.isEmpty()) {
            result.serial = result.previous;  // said on both fixtures; the ledger keeps both
            host_.Report(TStationEvent(TStationEvent::Note, twoDevices, result.previous, result.message));
        }
        if (!heldElsewhere.isEmpty()) {
            // Nothing was written: the same device goes on with the next number at once.
            say(TStationEvent::Note, row->serial, result.message);
            continue;
        }
        if (host_.StopAsked() && !r.writeBegan && result.kind == TStationEvent::Failed) {
            say(TStationEvent::Finished, -1, result.message);
            return;
        }
        if (!setAside.isEmpty()) {
            // Nothing was written: the same device gets the next row that fits it.
            unfit[f.actions.Result().model].insert(row->serial);
            say(TStationEvent::Note, row->serial,
                Z::tr("row %1 (№ %2) set aside for this %3: %4; kept for a device that takes it")
                    .arg(row->line ? QString::number(row->line) : QStringLiteral("-"))
                    .arg(row->serial)
                    .arg(ModelName(f.actions.Result().model), setAside));
            continue;
        }
        host_.Report(result);
        if (!notRecorded.isEmpty() && book_.LedgerError().isEmpty()) {
            // The team's server said no or did not answer: the same device waits for a number.
            const auto at = std::chrono::steady_clock::now();
            while (std::chrono::steady_clock::now() - at < std::chrono::seconds(3) && !stopping())
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            continue;
        }
        if (book_.Finished())
            break;
        // The operator takes the device off; the next one is waited for only then. A device
        // whose write was not verified may hold its number: it is checked before it goes on.
        say(TStationEvent::TakeOff, result.kind == TStationEvent::Skipped ? result.previous : row->serial,
            result.spoiled ? Z::tr("take the device off and check it: its write was not verified, it may hold № %1")
                                 .arg(row->serial)
                           : QString());
        while (!stopping()) {
            const auto at = std::chrono::steady_clock::now();
            if (!answers())
                break;
            pause(at);
        }
        if (!stopping())
            say(TStationEvent::Gone);
    }
    say(TStationEvent::Finished);
}

// ------------------------------------------------------------------ one station a folder

namespace {
QString LockPath()
{
    if (!QDir().mkpath(DataFolder()))
        throw ERefused(Z::tr("the data folder %1 cannot be made").arg(DataFolder()));
    return DataFolder() + u"/station.lock"_s;
}
}  // namespace

TStationLock::TStationLock() : lock_(LockPath())
{
    if (!lock_.tryLock(0)) {
        // A folder it cannot write to is not another station.
        if (lock_.error() == QLockFile::PermissionError || lock_.error() == QLockFile::UnknownError)
            throw ERefused(Z::tr("the data folder %1 cannot be written: the station's lock cannot be made there")
                               .arg(DataFolder()));
        qint64 pid = 0;
        QString host, app;
        lock_.getLockInfo(&pid, &host, &app);
        throw ERefused(
            Z::tr("another station is running (process %1): run one station, with all its fixtures").arg(pid));
    }
}
