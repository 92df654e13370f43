// The production station: consecutive factory numbers for a batch of devices, on one or
// more fixtures at once. Each fixture waits for a device, initializes it with the next number
// of the plan and the plan's settings, takes it out of initialization mode and waits until it
// is taken off. The numbers are kept in one book: a number whose write has begun is never given
// again, one that was never written goes to the next device.
#pragma once

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "zenda.h"

// One device of the plan: its number and what it gets besides (unset: the station's options,
// else what the device holds).
struct TPlanRow {
    int serial = 0;
    std::optional<int> address;
    QString ch1, ch2;
    int v2Reset = -1;  // -1: not given, 0 no, 1 yes
    int line = 0;      // in the plan file, for the messages (0: from --serial-from)
};

// Reads a plan file: a header naming the columns (serial, address, ch1, ch2, v2-reset), then
// one device a row; comma or semicolon between the cells. Throws ERefused naming the row.
std::vector<TPlanRow> ParsePlan(const QByteArray& text, const QString& file);
// Bad numbers, duplicates, values out of range: ERefused naming the row.
void CheckPlan(const std::vector<TPlanRow>& rows, const QString& file = {});

// What has become of the plan's numbers.
class TNumberBook {
public:
    enum class TState { Free, Taken, Done, Spoiled };
    struct TEntry {
        TPlanRow row;
        TState state = TState::Free;
        QString fixture, time;  // where and when it was used
        bool earlier = false;   // by an earlier run (found in the journal)
    };
    explicit TNumberBook(const std::vector<TPlanRow>& rows);

    // Numbers that the service journal records as written (verified: done; begun or failed
    // after the write began: spoiled) or as read from a device (spoiled: a device holds it).
    void MarkFromJournal(const QString& journalPath);
    // The lowest free number, waiting while all that are left are in another fixture's hands;
    // nullopt when none is left or stop() says so.
    std::optional<TPlanRow> Take(const std::function<bool()>& stop);
    void Release(int serial);  // never written: the next device gets it
    void Done(int serial, const QString& fixture);
    void Spoil(int serial, const QString& fixture);
    // A device on a fixture holds this number already: a free one is never given.
    void Seen(int serial, const QString& fixture);

    bool Finished() const;  // nothing free, nothing in progress
    std::vector<TEntry> Entries() const;
    int Count(TState state, bool earlierToo = true) const;

private:
    void Set(int serial, TState state, const QString& fixture);
    mutable std::mutex mu_;
    std::condition_variable cv_;
    std::vector<TEntry> entries_;
    std::map<int, size_t> index_;
};

// What the station tells its operator, from the fixtures' threads (the reporter serializes).
struct TStationEvent {
    enum TKind { Waiting, Device, Writing, Done, Failed, Skipped, TakeOff, Gone, Finished, Note } kind;
    TStationEvent(TKind k, QString f, int n = -1, QString text = {})
        : kind(k), fixture(std::move(f)), serial(n), message(std::move(text))
    {}
    QString fixture;
    int serial;         // the number given (Done, Failed), or the device's own (Skipped)
    int previous = -1;  // the device's number before
    bool spoiled = false;  // Failed: the write began and was not verified; the number is used up
    bool used = false;     // Failed: the number is used up (spoiled, or written and verified)
    QString message, backup;
};
const char* StateName(TStationEvent::TKind kind);

struct TStationOptions {
    std::vector<QString> ports;  // as given: COMn or paths
    int baud = 4800;
    int pollMs = 1000;  // the model query while waiting for a device, and for it to go
    bool renumber = false, noBackup = false;
    TPlanRow defaults;  // what every row leaves out
};

// Runs the fixtures until the plan is used up or a stop is asked for; the exit status.
class TStation {
public:
    TStation(const TStationOptions& options, TNumberBook& book, std::function<void(const TStationEvent&)> report);
    // Opens every fixture's port first: one that cannot be opened ends the run before
    // anything is written (ERefused-like: throws std::runtime_error naming it).
    void OpenPorts();
    void Run();
    void Stop() { stop_ = true; }  // as Ctrl+C: each fixture ends after its device
    bool JournalBroken() const { return journalBroken_; }

private:
    struct TFixture;
    void RunFixture(TFixture& f);
    const TStationOptions& opt_;
    TNumberBook& book_;
    std::function<void(const TStationEvent&)> report_;
    std::vector<std::unique_ptr<TFixture>> fixtures_;
    std::atomic<bool> journalBroken_{false}, stop_{false};

public:
    ~TStation();
};
