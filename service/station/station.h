// The production station, below its faces: consecutive factory numbers for a batch of devices,
// on one or more fixtures at once. Each fixture waits for a device, initializes it with the next number
// of the plan and the plan's settings, takes it out of initialization mode and waits until it
// is taken off. The numbers are kept in one book: a number whose write has begun is never given
// again, one that was never written goes to the next device.
#pragma once

#include <QLockFile>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "numbers/numberbook.h"

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
    uint8_t model = 0;     // the device's model code, when it was read
    QString message, backup;
};
const char* StateName(TStationEvent::TKind kind);

// The face that runs a station (zenda station's terminal, a window): what the station tells it,
// and what it asks of it.
class TStationHost {
public:
    virtual ~TStationHost() = default;
    // Every event, from the fixtures' threads, one at a time (the station serializes nothing:
    // the host does).
    virtual void Report(const TStationEvent& e) = 0;
    // The operator's stop (Ctrl+C, a closed window): a signal's number, or any non-zero value; 0
    // goes on. Each fixture ends after its device; nothing is written after it.
    virtual int StopAsked() const = 0;
    // The operator's "stop now": each fixture ends where nothing is lost, at once: before a write,
    // or after a verified one without its leave (the device stays in initialization mode). The
    // terminal has none: its second Ctrl+C ends the process.
    virtual bool StopNow() const { return false; }
    // A fixture the operator paused, or whose failed device waits for the operator's
    // acknowledgement: it takes no device while this says so (asked between devices).
    virtual bool Held(const QString& /*fixture*/) const { return false; }
    // The face's words for the engine's message (a translation); as it is by default.
    virtual QString Said(const QString& text) const { return text; }
    // What the journal keeps of a failure; its message by default.
    virtual QString Journaled(const std::exception& e) const { return QString::fromUtf8(e.what()); }
};

struct TStationOptions {
    QString program = QStringLiteral("zenda");  // names this tool in backups ("zenda 1.03")
    std::vector<QString> ports;  // as given: COMn or paths
    int baud = 4800;
    int pollMs = 1000;  // the model query while waiting for a device, and for it to go
    bool renumber = false, noBackup = false;
    TPlanRow defaults;  // what every row leaves out
};

// Runs the fixtures until the plan is used up or a stop is asked for; the exit status.
class TStation {
public:
    TStation(const TStationOptions& options, TNumberBook& book, TStationHost& host);
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
    TStationHost& host_;
    std::vector<std::unique_ptr<TFixture>> fixtures_;
    std::atomic<bool> journalBroken_{false}, stop_{false};

public:
    ~TStation();
};

// One station a data folder, whatever its face: two would each give the same numbers from their
// own book. Held from construction (ERefused when another station holds it) to destruction.
class TStationLock {
public:
    TStationLock();

private:
    QLockFile lock_;
};
