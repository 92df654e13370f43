#include "numbers/numberbook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include <cstring>
#include <thread>

#include "image.h"
#include "records/records.h"
#include "settings.h"

using namespace Qt::StringLiterals;

QString NumberRanges(const std::set<int>& numbers)
{
    QStringList parts;
    for (auto it = numbers.begin(); it != numbers.end();) {
        const int first = *it;
        int last = first;
        for (++it; it != numbers.end() && *it == last + 1; ++it)
            last = *it;
        parts << (last == first ? QString::number(first)
                                : QString::number(first) + (last == first + 1 ? u", "_s : u".."_s) + QString::number(last));
    }
    return parts.join(u", "_s);
}

TNumberBook::TNumberBook(const std::vector<TPlanRow>& rows, TNumberLedger ledger) : ledger_(std::move(ledger))
{
    for (const auto& r : rows) {
        index_[r.serial] = entries_.size();
        entries_.emplace_back().row = r;
    }
}

TNumberBook::~TNumberBook() = default;

namespace {
// f() with the lock let go (a call to the server), and taken again however it ends.
template <class F>
auto Unlocked(std::unique_lock<std::mutex>& g, F f)
{
    g.unlock();
    struct Relock {
        std::unique_lock<std::mutex>& g;
        ~Relock() { g.lock(); }
    } relock{g};
    return f();
}
}  // namespace

namespace {
// What one record says of the plan's numbers: used, and whether written and verified.
struct TFound {
    std::map<int, bool> done;           // serial -> verified
    std::map<int, QString> where, when;  // the first place it was seen

    void Add(int serial, bool verified, const QString& at, const QString& time = {})
    {
        auto [it, fresh] = done.emplace(serial, verified);
        it->second = it->second || verified;
        if (fresh || verified) {
            where[serial] = at;
            when[serial] = time;
        }
    }
    std::set<int> Numbers() const
    {
        std::set<int> s;
        for (const auto& [n, d] : done)
            s.insert(n);
        return s;
    }
};

const QRegularExpression& SerialChange()
{
    // "Заводской номер: 0 -> 5001", as the change list words it; a line cut short may end inside
    // the new number.
    static const QRegularExpression re(u"Заводской номер: \\d+ -> (\\d+)"_s);
    return re;
}
}  // namespace

QStringList TNumberBook::Load(const QString& journalPath, const QString& backupsFolder, bool recover)
{
    QStringList said = LoadLocal(journalPath, backupsFolder, recover);
    if (shared_) {
        QString why;
        if (!SyncShared(&why))
            said << Z::tr("%1; no device is written until it answers").arg(why);
    }
    return said;
}

bool TNumberBook::SyncShared(QString* why)
{
    std::map<int, bool> used;
    std::vector<int> plan;
    {
        std::lock_guard<std::mutex> g(mu_);
        for (const auto& e : entries_) {
            plan.push_back(e.row.serial);
            if (e.state == TState::Done || e.state == TState::Spoiled)
                used[e.row.serial] = e.state == TState::Done;
        }
    }
    try {
        // What this PC knows first, then what the others used.
        shared_->MarkUsed(used);
        const std::set<int> elsewhere = shared_->Used(plan);
        std::lock_guard<std::mutex> g(mu_);
        for (int n : elsewhere) {
            TEntry& e = entries_[index_.at(n)];
            if (e.state == TState::Free) {
                e.state = TState::Spoiled;
                e.fixture = shared_->Where();
                e.earlier = e.elsewhere = true;
            }
        }
        synced_ = true;
    } catch (const std::exception& e) {
        if (why)
            *why = QString::fromUtf8(e.what());
        return false;
    }
    return true;
}

QStringList TNumberBook::LoadLocal(const QString& journalPath, const QString& backupsFolder, bool recover)
{
    std::lock_guard<std::mutex> g(mu_);
    QStringList said;
    auto inPlan = [&](int n) { return index_.count(n) > 0; };
    // The plan's numbers that a number's surviving first digits may have been.
    auto startingWith = [&](const QString& digits, bool whole) {
        std::set<int> s;
        for (const auto& [n, i] : index_)
            if (whole ? QString::number(n) == digits : QString::number(n).startsWith(digits))
                s.insert(n);
        return s;
    };
    auto keptAsUsed = [](const std::set<int>& s) {
        return s.empty() ? Z::tr("no number of this plan in it")
               : s.size() == 1 ? Z::tr("number %1 kept as used").arg(NumberRanges(s))
                               : Z::tr("numbers %1 kept as used").arg(NumberRanges(s));
    };

    // ---- the ledger: begun lines paired with their ends by identity
    const QString ledgerName = QFileInfo(ledger_.Path()).fileName();
    const bool ledgerThere = ledger_.Exists();
    TFound ledger;
    {
        std::vector<TLedgerLine> lines;
        std::vector<TLedgerDamage> damaged;
        ledger_.Read(lines, damaged);  // a ledger that cannot be read stops the start
        std::map<QString, const TLedgerLine*> begun;
        std::map<QString, QString> ends;
        for (const auto& l : lines) {
            if (l.event == QLatin1String(TNumberLedger::kBegun))
                begun[l.id] = &l;
            else
                ends[l.id] = l.event;
        }
        for (const auto& l : lines) {
            if (!inPlan(l.serial))
                continue;
            const QString at = ledgerName + u':' + QString::number(l.line);
            if (l.event == QLatin1String(TNumberLedger::kBegun)) {
                const auto end = ends.find(l.id);
                if (end == ends.end() || end->second != QLatin1String(TNumberLedger::kFree))
                    ledger.Add(l.serial, end != ends.end() && end->second == QLatin1String(TNumberLedger::kDone),
                               l.where, l.time);
            } else if (l.event != QLatin1String(TNumberLedger::kFree)) {
                ledger.Add(l.serial, l.event == QLatin1String(TNumberLedger::kDone), l.where, l.time);
            }
        }
        for (const auto& d : damaged) {
            const std::set<int> s = startingWith(d.digits, d.whole);
            for (int n : s)
                ledger.Add(n, false, ledgerName + u':' + QString::number(d.line));
            said << (d.cut ? Z::tr("%1: line %2 cut short, %3") : Z::tr("%1: line %2 damaged, %3"))
                        .arg(ledgerName, QString::number(d.line), keptAsUsed(s));
        }
    }

    // ---- the journal, every line of it, forward so that its lines are named by number
    const QString journalName = QFileInfo(journalPath).fileName();
    TFound journal;
    {
        QFile f(journalPath);
        if (QFileInfo::exists(journalPath) && (!QFileInfo(journalPath).isFile() || !f.open(QIODevice::ReadOnly)))
            throw ERefused(Z::tr("%1 cannot be read: %2").arg(journalPath, f.errorString()));
        const QByteArray bytes = f.isOpen() ? f.readAll() : QByteArray();
        const bool utf16 = bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF") ||
                           (bytes.size() >= 4 && bytes[1] == '\0' && bytes[3] == '\0');
        QString text = utf16 ? QStringDecoder(bytes.startsWith("\xFE\xFF") ? QStringConverter::Utf16BE
                                                                            : QStringConverter::Utf16LE)
                                   .decode(bytes)
                             : QString::fromUtf8(bytes);
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        const QStringList lines = text.split(u'\n');
        static const QStringList actions{u"read"_s, u"init"_s, u"leave"_s, u"rtc"_s, u"counters"_s, u"restore"_s, u"backup"_s};
        int damagedLines = 0;
        std::set<int> fromDamaged;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QString raw = lines[i].trimmed();
            if (raw.isEmpty() || (i == 0 && raw.startsWith(u"time"_s)))
                continue;
            const bool cut = i == lines.size() - 1;  // the last line, without its line end
            const QString at = journalName + u':' + QString::number(i + 1);
            const TJournalLine l = TServiceRecords::ParseJournalLine(raw);
            if (!cut && l.action != TServiceRecords::kDamaged) {
                const bool verified = l.outcome == u"выполнено";
                const QByteArray w = QByteArray::fromHex(l.written.toLatin1());
                if (const int s = w.size() == kImageSize ? static_cast<uint8_t>(w[pos::SerialNumber - 1]) * 256 +
                                                               static_cast<uint8_t>(w[pos::SerialNumber])
                                                         : 0;
                    inPlan(s))
                    journal.Add(s, true, at, l.time);
                for (const QString& c : l.changes)
                    if (const auto m = SerialChange().match(c); m.hasMatch() && inPlan(m.captured(1).toInt()))
                        journal.Add(m.captured(1).toInt(), verified && !l.written.isEmpty(), at, l.time);
                // Read from a device: one device holds it already.
                if (const int s = l.serial.toInt(); s > 0 && inPlan(s))
                    journal.Add(s, false, at, l.time);
                continue;
            }
            // Not a line as the journal writes it: cut short by a power cut, or saved by a
            // spreadsheet (semicolons, dates and numbers re-formatted). Whatever number can be
            // read from it is kept as used; a number cut short keeps every one it may have been.
            std::set<int> s;
            for (auto it = SerialChange().globalMatch(raw); it.hasNext();) {
                const auto m = it.next();
                const bool atEnd = m.capturedEnd(1) == raw.size();
                for (int n : startingWith(m.captured(1), !(cut && atEnd)))
                    s.insert(n);
            }
            const QChar sep = raw.count(u';') > raw.count(u',') ? u';' : u',';
            QStringList c = raw.split(sep);
            for (QString& cell : c)
                cell = cell.trimmed().remove(u'"');
            if (c.size() >= 5 && actions.contains(c[1]) && (!cut || c.size() > 5))
                for (int n : startingWith(c[4], true))
                    s.insert(n);
            for (int n : s)
                journal.Add(n, false, at);
            if (cut) {
                said << (s.empty() && !SerialChange().match(raw).hasMatch()
                             ? Z::tr("%1: line %2 cut short before a number could be read from it")
                                   .arg(journalName, QString::number(i + 1))
                             : Z::tr("%1: line %2 cut short, %3").arg(journalName, QString::number(i + 1), keptAsUsed(s)));
            } else {
                ++damagedLines;
                fromDamaged.insert(s.begin(), s.end());
            }
        }
        if (damagedLines > 0)
            said << Z::tr("%1: %2 lines are not as the journal writes them (cut, or saved by another program), %3")
                        .arg(journalName)
                        .arg(damagedLines)
                        .arg(keptAsUsed(fromDamaged));
    }

    // ---- the backups: a device held the number its folder is named by
    TFound backups;
    {
        const QDir dir(backupsFolder);
        for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            bool ok = false;
            const int n = name.toInt(&ok);
            if (ok && inPlan(n) && !QDir(dir.filePath(name)).entryList({u"*.hex"_s}, QDir::Files).isEmpty())
                backups.Add(n, false, u"backups/"_s + name);
        }
    }

    // ---- what the journal and the backups know and the ledger does not
    std::set<int> missing;
    for (const TFound* f : {&journal, &backups})
        for (const auto& [n, d] : f->done)
            if (!ledger.done.count(n) || (d && !ledger.done[n]))
                missing.insert(n);
    if (!ledgerThere && !missing.empty() && !recover)
        throw ERefused(Z::tr("the station's ledger %1 is missing, while the journal and the backups show numbers of "
                             "this plan as used (%2): nothing written; run the station with --recover to make the "
                             "ledger anew from them")
                           .arg(ledger_.Path(), NumberRanges(missing)));
    if (!ledgerThere || recover) {
        ledger_.Create();
        std::set<int> done, used;
        for (int n : missing) {
            const bool d = journal.done.count(n) && journal.done[n];
            const QString from = journal.done.count(n) ? journal.where[n] : backups.where[n];
            ledger_.Append(n, d ? TNumberLedger::kDone : TNumberLedger::kUsed, NewRecordId(), u"--recover: "_s + from);
            (d ? done : used).insert(n);
        }
        if (recover)
            said << (missing.empty() ? Z::tr("--recover: the ledger %1 lacked nothing").arg(ledger_.Path())
                                     : Z::tr("--recover: the ledger %1 took from the journal and the backups: done %2; "
                                             "used %3")
                                           .arg(ledger_.Path(), done.empty() ? u"-"_s : NumberRanges(done),
                                                used.empty() ? u"-"_s : NumberRanges(used)));
    } else if (!missing.empty()) {
        said << Z::tr("the journal and the backups show %1 as used, which the ledger does not: kept as used")
                    .arg(NumberRanges(missing));
    }

    // ---- the book: the safe side of all three
    for (const TFound* f : {&ledger, &journal, &backups})
        for (const auto& [n, d] : f->done) {
            TEntry& e = entries_[index_.at(n)];
            const TState s = d ? TState::Done : TState::Spoiled;
            if (e.state == TState::Free || (s == TState::Done && e.state != TState::Done)) {
                e.state = s;
                e.fixture = f->where.at(n);
                e.time = f->when.at(n);
                e.earlier = true;
            }
        }
    return said;
}

std::optional<TPlanRow> TNumberBook::Take(const std::function<bool()>& stop,
                                          const std::function<void(const QString&)>& unreachable,
                                          const std::function<bool(const TPlanRow&)>& fits, bool* noneFits,
                                          const QString& fixture)
{
    auto take = [&](TEntry& e) {
        e.state = TState::Taken;
        e.takenBy = fixture;
        e.beginning = false;
        e.heldOn.clear();
        return e.row;
    };
    std::unique_lock<std::mutex> g(mu_);
    for (;;) {
        bool taken = false, unfit = false;
        std::vector<int> free;
        for (auto& e : entries_) {
            if (e.state == TState::Free && fits && !fits(e.row)) {
                unfit = true;
            } else if (e.state == TState::Free) {
                if (!shared_)
                    return take(e);
                free.push_back(e.row.serial);
            }
            taken |= e.state == TState::Taken;
        }
        if (free.empty() && !taken && unfit && noneFits)
            *noneFits = true;
        if ((free.empty() && !taken) || stop())
            return std::nullopt;
        if (free.empty()) {
            // Another fixture may still give its number back.
            cv_.wait_for(g, std::chrono::milliseconds(200));
            continue;
        }
        // The team's server gives the number; the fixtures ask it one at a time.
        std::optional<int> got;
        try {
            got = Unlocked(g, [&] {  // the other fixtures go on meanwhile
                QString why;
                if (!synced_ && !SyncShared(&why))
                    throw std::runtime_error(why.toStdString());
                ReportPending();
                return shared_->Take(free);
            });
        } catch (const std::exception& e) {
            if (unreachable)
                unreachable(QString::fromUtf8(e.what()));
            // Nothing is written without a number the server gave; it is asked again shortly.
            for (int i = 0; i < 30 && !stop(); ++i)
                cv_.wait_for(g, std::chrono::milliseconds(100));
            continue;
        }
        if (got) {
            const auto it = index_.find(*got);
            if (it != index_.end() && entries_[it->second].state == TState::Free)
                return take(entries_[it->second]);
            continue;
        }
        // None of them is free there: used by another PC, or in its hands for now.
        try {
            for (int n : Unlocked(g, [&] { return shared_->Used(free); })) {
                TEntry& e = entries_[index_.at(n)];
                e.state = TState::Spoiled;
                e.fixture = shared_->Where();
                e.earlier = e.elsewhere = true;
            }
        } catch (const std::exception&) {
        }
        cv_.wait_for(g, std::chrono::milliseconds(300));
    }
}

QString TNumberBook::Begin(int serial, const QString& fixture)
{
    {
        // Decided under the lock that Seen takes: a number seen on another fixture's device is
        // never begun here, and one begun here is known as begun to every later Seen.
        std::lock_guard<std::mutex> g(mu_);
        TEntry& e = entries_.at(index_.at(serial));
        if (!e.heldOn.isEmpty())
            throw EHeldElsewhere(QStringLiteral("№ %1 is held by the device on %2").arg(serial).arg(e.heldOn).toStdString(),
                                 e.heldOn);
        e.beginning = true;
        e.takenBy = fixture;
    }
    const QString id = NewRecordId();
    try {
        ledger_.Append(serial, TNumberLedger::kBegun, id, fixture);
    } catch (const std::exception& e) {
        std::lock_guard<std::mutex> g(mu_);
        ledgerError_ = QString::fromUtf8(e.what());
        throw;
    }
    if (shared_) {
        try {
            shared_->Begin(serial);
        } catch (...) {
            Note(TNumberLedger::kFree, serial, id, fixture);  // the write never began
            throw;
        }
    }
    std::lock_guard<std::mutex> g(mu_);
    entries_.at(index_.at(serial)).id = id;
    return id;
}

void TNumberBook::Note(const char* event, int serial, const QString& id, const QString& where)
{
    try {
        ledger_.Append(serial, event, id, where);
    } catch (const std::exception& e) {
        std::lock_guard<std::mutex> g(mu_);
        ledgerError_ = QString::fromUtf8(e.what());
    }
}

QString TNumberBook::LedgerError() const
{
    std::lock_guard<std::mutex> g(mu_);
    return ledgerError_;
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

void TNumberBook::Release(int serial, const QString& id)
{
    if (!id.isEmpty())
        Note(TNumberLedger::kFree, serial, id, {});
    QString heldOn;
    {
        std::lock_guard<std::mutex> g(mu_);
        heldOn = entries_.at(index_.at(serial)).heldOn;
    }
    if (!heldOn.isEmpty()) {  // never free: the device on that fixture holds it
        End(TNumberLedger::kSeen, serial, heldOn, {});
        return;
    }
    if (shared_) {
        try {
            shared_->Release(serial);
        } catch (const std::exception&) {
            // Given back when this station's session with the server ends.
        }
    }
    Set(serial, TState::Free, {});
}

void TNumberBook::End(const char* event, int serial, const QString& fixture, const QString& id)
{
    const bool done = std::strcmp(event, TNumberLedger::kDone) == 0;
    Note(event, serial, id.isEmpty() ? NewRecordId() : id, fixture);
    Set(serial, done ? TState::Done : TState::Spoiled, fixture);
    if (shared_) {
        std::lock_guard<std::mutex> g(mu_);
        unreported_[serial] = done;
    }
    ReportPending();
}

void TNumberBook::Done(int serial, const QString& fixture, const QString& id)
{
    End(TNumberLedger::kDone, serial, fixture, id);
}

void TNumberBook::Spoil(int serial, const QString& fixture, const QString& id)
{
    End(TNumberLedger::kSpoiled, serial, fixture, id);
}

int TNumberBook::ReportPending()
{
    if (!shared_)
        return 0;
    std::map<int, bool> pending;
    {
        std::lock_guard<std::mutex> g(mu_);
        pending = unreported_;
    }
    for (const auto& [serial, done] : pending) {
        try {
            shared_->Finish(serial, done);
        } catch (const std::exception&) {
            break;  // the server is away: kept here (and in the ledger) until it is back
        }
        std::lock_guard<std::mutex> g(mu_);
        unreported_.erase(serial);
    }
    std::lock_guard<std::mutex> g(mu_);
    return static_cast<int>(unreported_.size());
}

std::optional<QString> TNumberBook::Seen(int serial, const QString& fixture)
{
    std::optional<QString> two;
    {
        std::lock_guard<std::mutex> g(mu_);
        const auto it = index_.find(serial);
        if (it == index_.end())
            return std::nullopt;
        TEntry& e = entries_[it->second];
        const QString& other = e.state == TState::Taken ? e.takenBy : e.fixture;
        if (e.state == TState::Taken && !e.beginning && other != fixture) {
            // Another fixture's device waits for this number: it will not get it.
            e.heldOn = fixture;
            return std::nullopt;
        }
        if (e.state == TState::Taken && e.beginning && other != fixture)
            two = other;
        else if ((e.state == TState::Done || e.state == TState::Spoiled) && !e.earlier && !other.isEmpty() &&
                 other != fixture && !e.id.isEmpty())
            two = other;  // written by that fixture in this run: two devices hold it
        else if (e.state != TState::Free)
            return std::nullopt;
    }
    if (two) {  // the ledger keeps both: that fixture's write and this sighting
        Note(TNumberLedger::kSeen, serial, NewRecordId(), fixture);
        return two;
    }
    End(TNumberLedger::kSeen, serial, fixture, {});
    return std::nullopt;
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

