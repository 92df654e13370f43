// The production station's plan, its book of numbers and its fixtures.
#include "station.h"

#include <QRegularExpression>

#include <set>
#include <thread>

#include "abort.h"
#include "actions.h"
#include "channels.h"
#include "commapi.h"
#include "settings.h"
#include "terminal.h"
#include "version.h"

using namespace Qt::StringLiterals;

// ------------------------------------------------------------------ the plan

std::vector<TPlanRow> ParsePlan(const QByteArray& bytes, const QString& file)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        throw ERefused(Z::tr("%1: the plan is UTF-16; save it as UTF-8 (CSV UTF-8)").arg(file));
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF)))  // a spreadsheet's byte order mark
        text.remove(0, 1);
    const QStringList lines = text.split(QRegularExpression(u"\r\n|\n|\r"_s));
    auto refuse = [&](int line, const QString& what) {
        throw ERefused(Z::tr("%1: row %2: %3").arg(file, QString::number(line), what));
    };
    int headerLine = 0;
    while (headerLine < lines.size() && lines[headerLine].trimmed().isEmpty())
        ++headerLine;
    if (headerLine == lines.size())
        refuse(1, Z::tr("the plan is empty (a header row naming the columns: serial, address, ch1, ch2, v2-reset)"));
    const QChar sep = lines[headerLine].count(u';') > lines[headerLine].count(u',') ? u';' : u',';
    const QStringList header = lines[headerLine].split(sep);
    static const QStringList known{u"serial"_s, u"address"_s, u"ch1"_s, u"ch2"_s, u"v2-reset"_s};
    std::vector<int> column;  // index into known, per cell
    for (const QString& h : header) {
        const QString name = h.trimmed().toLower().remove(u'"');
        const auto k = known.indexOf(name);
        if (k < 0)
            refuse(headerLine + 1, Z::tr("unknown column '%1' (serial, address, ch1, ch2, v2-reset)").arg(name));
        if (std::find(column.begin(), column.end(), k) != column.end())
            refuse(headerLine + 1, Z::tr("the column '%1' is named twice").arg(name));
        column.push_back(static_cast<int>(k));
    }
    if (std::find(column.begin(), column.end(), 0) == column.end())
        refuse(headerLine + 1, Z::tr("no column 'serial'"));
    std::vector<TPlanRow> rows;
    for (int i = headerLine + 1; i < lines.size(); ++i) {
        if (lines[i].trimmed().isEmpty())
            continue;
        // A channel's settings hold commas ("value=0.01,type=pulse"): quoted, as a spreadsheet
        // saves them, or in a file that separates its cells with semicolons.
        QStringList cells;
        QString cell;
        bool quoted = false;
        for (const QChar c : lines[i]) {
            if (c == u'"')
                quoted = !quoted;
            else if (c == sep && !quoted)
                cells << std::exchange(cell, QString());
            else
                cell += c;
        }
        cells << cell;
        if (quoted)
            refuse(i + 1, Z::tr("a quote is not closed"));
        if (cells.size() > static_cast<qsizetype>(column.size()))
            refuse(i + 1, Z::tr("more cells than the header names"));
        TPlanRow row;
        row.line = i + 1;
        for (qsizetype c = 0; c < cells.size(); ++c) {
            const QString v = cells[c].trimmed();
            if (v.isEmpty())
                continue;
            for (const QChar ch : v)
                if (ch.unicode() < 0x20 || ch.unicode() == 0x7F)  // a NUL would end the number early
                    refuse(i + 1, Z::tr("a control character in the cell '%1'").arg(QString(v).replace(ch, u'?')));
            bool ok = false;
            switch (column[c]) {
            case 0:
                row.serial = v.toInt(&ok);
                if (!ok)
                    refuse(i + 1, Z::tr("the serial number '%1' is not a number").arg(v));
                break;
            case 1:
                row.address = v.toInt(&ok);
                if (!ok)
                    refuse(i + 1, Z::tr("the address '%1' is not a number").arg(v));
                break;
            case 2: row.ch1 = v; break;
            case 3: row.ch2 = v; break;
            case 4:
                row.v2Reset = v.toLower() == u"yes" ? 1 : v.toLower() == u"no" ? 0 : -2;
                if (row.v2Reset == -2)
                    refuse(i + 1, Z::tr("v2-reset is yes or no, not '%1'").arg(v));
                break;
            }
        }
        rows.push_back(row);
    }
    return rows;
}

void CheckPlan(const std::vector<TPlanRow>& rows, const QString& file)
{
    if (rows.empty())
        throw ERefused(Z::tr("the plan holds no device"));
    std::map<int, int> seen;
    for (const auto& r : rows) {
        // A row of a plan file is named before what is wrong with it.
        auto refuse = [&](const QString& what) {
            if (!r.line)
                throw ERefused(what);
            if (file.isEmpty())
                throw ERefused(Z::tr("row %1: %2").arg(QString::number(r.line), what));
            throw ERefused(Z::tr("%1: row %2: %3").arg(file, QString::number(r.line), what));
        };
        if (r.serial < 1 || r.serial > range::SerialMax)
            refuse(Z::tr("the serial number %1 is not 1..65535").arg(r.serial));
        if (auto [it, fresh] = seen.emplace(r.serial, r.line); !fresh)
            refuse(it->second
                       ? Z::tr("the serial number %1 is in the plan twice (row %2)").arg(r.serial).arg(it->second)
                       : Z::tr("the serial number %1 is in the plan twice").arg(r.serial));
        if (r.address && (*r.address < range::AddressMin || *r.address > range::AddressMax))
            refuse(Z::tr("the address %1 is not 1..63").arg(*r.address));
        // A channel's settings must be ones some model takes; the device's own model is
        // checked when it is on the fixture, before anything is written.
        for (int ch : {1, 2}) {
            const QString& spec = ch == 1 ? r.ch1 : r.ch2;
            if (spec.isEmpty())
                continue;
            std::string why;
            bool fits = false;
            for (uint8_t model : {kModelZenda1, kModelZenda3}) {
                TImageBuffer image;
                image.ModelCode() = model;
                TChannelTable table(image);
                table.AppendStartRows();
                if (model == kModelZenda1)
                    table.ApplyModel1();
                else
                    table.ApplyModel23(TDeviceSettings::ModelIndex(model));
                std::vector<std::string> notes;
                try {
                    ApplyChannelSpec(table, ch - 1, spec, notes);
                    fits = true;
                } catch (const ERefused& e) {
                    why = e.what();
                }
            }
            if (!fits)
                refuse(QString::fromStdString(why));
        }
    }
}

// ------------------------------------------------------------------ the book

TNumberBook::TNumberBook(const std::vector<TPlanRow>& rows)
{
    for (const auto& r : rows) {
        index_[r.serial] = entries_.size();
        entries_.emplace_back().row = r;
    }
}

void TNumberBook::MarkFromJournal(const QString& journalPath)
{
    static const QRegularExpression serialChange(u"^Заводской номер: \\d+ -> (\\d+)$"_s);
    std::lock_guard<std::mutex> g(mu_);
    // Newest first: a number keeps the newest line that used it; a verified write outranks
    // a failed one.
    TServiceRecords::ForEachJournalLine(journalPath, {}, [&](const TJournalLine& l) {
        int serial = -1;
        bool done = false;
        const QByteArray written = QByteArray::fromHex(l.written.toLatin1());
        if (written.size() == kImageSize) {
            serial = static_cast<uint8_t>(written[pos::SerialNumber - 1]) * 256 +
                     static_cast<uint8_t>(written[pos::SerialNumber]);
            done = true;
        } else if (l.outcome != u"выполнено" && l.outcome != u"отменено") {
            for (const QString& c : l.changes)
                if (const auto m = serialChange.match(c); m.hasMatch())
                    serial = m.captured(1).toInt();
        }
        if (serial < 0 && l.serial.toInt() > 0)
            serial = l.serial.toInt();  // read from a device: one device holds it already
        const auto it = index_.find(serial);
        if (it == index_.end())
            return true;
        TEntry& e = entries_[it->second];
        if (e.state == TState::Done || (e.state == TState::Spoiled && !done))
            return true;
        e.state = done ? TState::Done : TState::Spoiled;
        e.fixture = l.port;
        e.time = l.time;
        e.earlier = true;
        return true;
    });
}

std::optional<TPlanRow> TNumberBook::Take(const std::function<bool()>& stop)
{
    std::unique_lock<std::mutex> g(mu_);
    for (;;) {
        bool taken = false;
        for (auto& e : entries_) {
            if (e.state == TState::Free) {
                e.state = TState::Taken;
                return e.row;
            }
            taken |= e.state == TState::Taken;
        }
        if (!taken || stop())
            return std::nullopt;
        // Another fixture may still give its number back.
        cv_.wait_for(g, std::chrono::milliseconds(200));
    }
}

void TNumberBook::Set(int serial, TState state, const QString& fixture)
{
    {
        std::lock_guard<std::mutex> g(mu_);
        TEntry& e = entries_.at(index_.at(serial));
        e.state = state;
        e.fixture = fixture;
        e.time = state == TState::Free ? QString() : LocalStamp();
        e.earlier = false;
    }
    cv_.notify_all();
}

void TNumberBook::Release(int serial) { Set(serial, TState::Free, {}); }
void TNumberBook::Done(int serial, const QString& fixture) { Set(serial, TState::Done, fixture); }
void TNumberBook::Spoil(int serial, const QString& fixture) { Set(serial, TState::Spoiled, fixture); }

void TNumberBook::Seen(int serial, const QString& fixture)
{
    {
        std::lock_guard<std::mutex> g(mu_);
        const auto it = index_.find(serial);
        if (it == index_.end() || entries_[it->second].state != TState::Free)
            return;
    }
    Spoil(serial, fixture);
}

bool TNumberBook::Finished() const
{
    std::lock_guard<std::mutex> g(mu_);
    for (const auto& e : entries_)
        if (e.state == TState::Free || e.state == TState::Taken)
            return false;
    return true;
}

std::vector<TNumberBook::TEntry> TNumberBook::Entries() const
{
    std::lock_guard<std::mutex> g(mu_);
    return entries_;
}

int TNumberBook::Count(TState state, bool earlierToo) const
{
    std::lock_guard<std::mutex> g(mu_);
    int n = 0;
    for (const auto& e : entries_)
        n += e.state == state && (earlierToo || !e.earlier);
    return n;
}

// ------------------------------------------------------------------ a fixture

const char* StateName(TStationEvent::TKind kind)
{
    static const char* const names[] = {"waiting", "device", "writing", "done", "failed",
                                        "skipped", "take it off", "gone", "finished", "note"};
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
                    .arg(DataFolder(), Human(q.reason)));
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
        if (const int sig = StopSignal())
            throw EStopped(sig);
    }
    QString ShownError() const override { return QString::fromStdString(last); }
    void JournalFailed(const QString& error) override { onJournal(error); }

    QString portText;
    std::string last;
    std::function<void()> onModel;
    std::function<void(const QString&)> onJournal;
};

// "на приспособлении COM2 прибор № 1017 уже пронумерован"
QString Numbered(const QString& fixture, int serial)
{
    return u"на приспособлении "_s + fixture + u" прибор № "_s + QString::number(serial) + u" уже пронумерован"_s;
}
}  // namespace

struct TStation::TFixture {
    QString name;  // as given
    int comIndex = 0;
    TStationFace face;
    TImageBuffer image;
    TDeviceSettings settings{image};
    TChannelTable table{image};
    TDeviceActions actions{face, image, QStringLiteral("zenda " ZENDA_VERSION)};
    bool journalSaid = false;
};

TStation::TStation(const TStationOptions& options, TNumberBook& book, std::function<void(const TStationEvent&)> report)
    : opt_(options), book_(book), report_(std::move(report))
{
    // COMn names keep what the settings map them to; a path gets a COM index of its own.
    std::map<std::string, std::string> paths;
    std::set<int> used;
    for (const QString& p : opt_.ports)
        if (p.startsWith(u"COM"_s, Qt::CaseInsensitive))
            used.insert(p.mid(3).toInt() - 1);
    int nextFree = 0;
    for (const QString& p : opt_.ports) {
        auto f = std::make_unique<TFixture>();
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
        report_(TStationEvent(kind, f.name, serial, message));
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
    auto stopping = [&] { return StopSignal() != 0 || stop_ || journalBroken_ || book_.Finished(); };
    // The model query alone, once: does a device answer on the fixture?
    auto answers = [&] {
        try {
            session.ReviveLine();
            TComPort& port = session.Port();
            port.PurgeInput();
            port.WriteByte(cmd::Model);
            port.ReadByte(std::min(opt_.pollMs, 1000));
            port.ReadByte(timeouts::ModelCode);
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

    while (!stopping()) {
        say(TStationEvent::Waiting);
        bool on = false;
        while (!stopping()) {
            const auto at = std::chrono::steady_clock::now();
            if ((on = answers()))
                break;
            pause(at);
        }
        if (!on)
            break;
        const auto row = book_.Take([&] { return StopSignal() != 0 || stop_; });
        if (!row)
            break;
        TStationEvent result(TStationEvent::Done, f.name, row->serial);
        bool skipped = false;
        try {
            f.actions.Initialize(
                [&] {
                    const int serial = f.settings.SerialNumber();
                    result.previous = serial;
                    if (serial != 0 && !opt_.renumber) {
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
                        if (!spec.isEmpty())
                            ApplyChannelSpec(f.table, ch - 1, spec, notes);
                    }
                    f.settings.SetSerialNumber(row->serial);
                    if (const auto a = row->address ? row->address : opt_.defaults.address)
                        f.settings.SetAddress(*a);
                    if (const int v2 = row->v2Reset >= 0 ? row->v2Reset : opt_.defaults.v2Reset; v2 >= 0)
                        f.settings.SetV2Reset(v2 == 1);
                    f.table.StoreChannels(
                        [&](int) { f.face.ErrorAbort("Не выбран тип входного сигнала!", "Ошибка"); });
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
        if (r.wrote) {
            // Written and verified: the number is used, even when only the leave failed.
            book_.Done(row->serial, f.name);
            result.used = true;
        } else if (r.writeBegan) {
            book_.Spoil(row->serial, f.name);
            result.spoiled = result.used = true;
        } else {
            book_.Release(row->serial);
        }
        if (result.kind == TStationEvent::Skipped) {
            result.serial = result.previous;
            book_.Seen(result.previous, f.name);  // never given to a second device
        }
        if (StopSignal() && !r.writeBegan && result.kind == TStationEvent::Failed) {
            say(TStationEvent::Finished, -1, result.message);
            return;
        }
        report_(result);
        if (book_.Finished())
            break;
        // The operator takes the device off; the next one is waited for only then.
        say(TStationEvent::TakeOff, result.kind == TStationEvent::Skipped ? result.previous : row->serial);
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
