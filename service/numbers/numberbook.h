// What has become of a plan's factory numbers. The station's ledger is the book's own record;
// the service journal and the backups are read beside it at start, and where they differ the
// safe side holds: a number seen anywhere as begun, written or held by a device is never free.
// With a team's server (TSharedNumbers) the line's PCs share one book there as well.
#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <vector>

#include "numbers/ledger.h"
#include "numbers/plan.h"

// The book that several station PCs share (the team's server). Every call may throw
// std::runtime_error when the server cannot be reached or says no.
class TSharedNumbers {
public:
    virtual ~TSharedNumbers() = default;
    // Where the numbers are kept, for the messages ("the team's server db.example:5432").
    virtual QString Where() const = 0;
    // Of these, the numbers used (begun, done or spoiled) by any PC.
    virtual std::set<int> Used(const std::vector<int>& serials) = 0;
    // Numbers this PC knows as used: the server keeps them so (done or spoiled).
    virtual void MarkUsed(const std::map<int, bool>& doneBySerial) = 0;
    // The lowest free number of these, taken for this station until it begins or gives it
    // back (or dies); nullopt when none of them is free.
    virtual std::optional<int> Take(const std::vector<int>& serials) = 0;
    // Yes before the first byte of the write; throws when the server does not say it.
    virtual void Begin(int serial) = 0;
    virtual void Finish(int serial, bool done) = 0;  // verified, or spoiled
    virtual void Release(int serial) = 0;           // taken and never written
};

class TNumberBook {
public:
    enum class TState { Free, Taken, Done, Spoiled };
    struct TEntry {
        TPlanRow row;
        TState state = TState::Free;
        QString fixture, time;  // where and when it was used
        bool earlier = false;   // by an earlier run (or another PC)
        bool elsewhere = false;  // by another PC: the team's server says so (not this PC's to list)
        QString id;             // the begun write's identity in the ledger
        QString takenBy;        // Taken: the fixture whose device it is meant for
        bool beginning = false;  // Taken: its write may begin (Begin said yes)
        QString heldOn;          // Taken: a device on this other fixture holds it already
    };
    explicit TNumberBook(const std::vector<TPlanRow>& rows, TNumberLedger ledger = TNumberLedger());
    ~TNumberBook();

    // What earlier runs used, from the ledger, the journal and the backups (and the team's
    // server, when shared is set first). Returns what is worth saying: damage found and the
    // numbers it kept as used, numbers the ledger lacked. A missing ledger while the journal
    // or the backups show numbers of the plan: ERefused, unless recover, which rebuilds the
    // ledger from them and says what it took.
    QStringList Load(const QString& journalPath, const QString& backupsFolder, bool recover);
    void Share(TSharedNumbers* shared) { shared_ = shared; }

    // The lowest free number, waiting while all that are left are in another fixture's hands;
    // nullopt when none is left or stop() says so. With a team's server, one it gave this PC;
    // while the server cannot be reached, unreachable(reason) is told and it tries again.
    // fits: the rows the device on the fixture can take (all when empty); when free rows are left
    // and none fits, nullopt and *noneFits.
    // fixture: who takes it (the number is marked so until it begins or goes back).
    std::optional<TPlanRow> Take(const std::function<bool()>& stop,
                                 const std::function<void(const QString&)>& unreachable = {},
                                 const std::function<bool(const TPlanRow&)>& fits = {}, bool* noneFits = nullptr,
                                 const QString& fixture = {});
    // The write of this number begins: the ledger's begun line is on the disk (and the team's
    // server said yes) when it returns; its identity. std::runtime_error when it cannot be:
    // nothing may be written then; EHeldElsewhere when a device on another fixture was seen
    // holding the number meanwhile (the number is used; the device here takes the next one).
    QString Begin(int serial, const QString& fixture);
    struct EHeldElsewhere : std::runtime_error {
        EHeldElsewhere(const std::string& what, QString f) : std::runtime_error(what), fixture(std::move(f)) {}
        QString fixture;
    };
    void Release(int serial, const QString& id = {});  // never written: the next device gets it
    void Done(int serial, const QString& fixture, const QString& id);
    void Spoil(int serial, const QString& fixture, const QString& id);
    // A device on a fixture holds this number already: a free one is never given, and one
    // another fixture has taken but not begun to write is never written there. When another
    // fixture's write of it began or ended in this run, two devices now hold it: that fixture.
    std::optional<QString> Seen(int serial, const QString& fixture);
    // Ends that the team's server has not confirmed yet, reported now; what still waits.
    int ReportPending();

    // The ledger could not take an end (done, spoiled): the number stays used all the same
    // (its begun line is there), but the station should stop. Empty while all is well.
    QString LedgerError() const;

    bool Finished() const;  // nothing free, nothing in progress
    std::vector<TEntry> Entries() const;
    int Count(TState state, bool earlierToo = true) const;

private:
    QStringList LoadLocal(const QString& journalPath, const QString& backupsFolder, bool recover);
    // Tells the server what this PC used and learns what the others did; false (and why)
    // when it cannot be reached.
    bool SyncShared(QString* why);
    void Set(int serial, TState state, const QString& fixture);
    // A number's end (done, spoiled, seen on a device): the ledger, the book, the server.
    void End(const char* event, int serial, const QString& fixture, const QString& id);
    void Note(const char* event, int serial, const QString& id, const QString& where);
    mutable std::mutex mu_;
    std::condition_variable cv_;
    std::vector<TEntry> entries_;
    std::map<int, size_t> index_;
    TNumberLedger ledger_;
    TSharedNumbers* shared_ = nullptr;
    QString ledgerError_;
    std::map<int, bool> unreported_;  // ends the team's server has not confirmed: done?
    std::atomic<bool> synced_{false};  // the server has what this PC knows
};

// "5001..5003, 5007": numbers in ranges.
QString NumberRanges(const std::set<int>& numbers);
