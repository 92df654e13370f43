// A simulator of the ЗЕНДА device end of the serial line.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zsim {

enum class FaultKind {
    NoAnswer,          // the command is taken and nothing comes back
    WrongEcho,         // the echo byte differs from the command
    AckFF,             // the model query is acknowledged with 0xFF
    ShortBlock,        // only Param bytes of the 72-byte block follow the echo
    CorruptFirstRead,  // one byte changed in the first read of each pair of reads
    CorruptWriteEcho,  // one byte changed in the echo of a written image
    CorruptReadBack,   // one byte changed in the read that follows a write
                       // (these three: Param is the image position 1..72 changed, 0 for 41)
    Delay,             // the answer starts Param ms late
    Garbage,           // Param bytes of garbage before the echo
    DropLine,          // the line disappears after Param bytes of the answer
};

struct Fault {
    FaultKind Kind;
    int Command = -1;    // -1: any command the fault can apply to
    int Remaining = -1;  // exchanges it still affects; -1: for good
    int Param = 0;
};

// Parses "kind[:param][@command][xN]", for example "short:10@4x2", "delay:500", "drop:3@0".
// Refuses signs, blanks, counts below 1, commands other than 0, 3, 4, 5, parameters on the
// faults that take none, short/delay/garbage/drop without theirs, positions outside 1..72, and
// parameters above short:72, drop:73, delay:60000, garbage:4096.
bool ParseFault(const std::string& text, Fault& out, std::string& error);
std::string FaultName(FaultKind kind);

// Why PATH may not become the line's link, or "" when it may: only a missing path or a
// symlink to a pseudo-terminal (one an earlier run left behind) is ever replaced.
std::string LinkRefusal(const std::string& path);

struct LogEntry {
    double Ms;      // since the simulator started
    bool FromTool;  // direction
    std::vector<uint8_t> Bytes;
    std::string Note;  // what the simulator made of it
};

// A fixture of a production line: the device on it is taken off OffMs after the last command
// that is not a model query (the tool is done with it: it left initialization mode, or gave
// up), and the next is put on OnMs later. The devices put on carry the serial numbers of the
// list in turn, then 0; each comes as the first one was, in initialization mode when its
// number is 0.
struct FixtureOptions {
    int OffMs = 500;
    int OnMs = 500;
    std::vector<int> Serials;
};

struct Options {
    int Baud = 9600;   // line rate for pacing (10 bits a byte)
    bool Pace = true;  // false: answer at once, for fast tests
    uint8_t Model = 0xF0;
    uint8_t Ack = 0x00;  // acknowledgement of the model query
};

class Simulator {
public:
    explicit Simulator(Options options = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens a pseudo-terminal and serves its master side from a thread; returns the path
    // of the side the tool opens. With a link path, a symlink to it is made there too.
    std::string StartPty(const std::string& linkPath = std::string());
    // Serves an already open serial device (raw mode is set here).
    void StartFd(int fd);
    void Stop();
    // A line dropped by a fault comes back as a new pseudo-terminal (the link follows).
    std::string Replug();
    std::string Path() const;
    bool LineUp() const { return lineUp_; }

    std::array<uint8_t, 72> Image() const;
    void SetImage(const std::array<uint8_t, 72>& image);
    uint8_t Model() const;
    void SetModel(uint8_t model);
    void SetAck(uint8_t ack);
    bool InInitMode() const;

    void SetFixture(const FixtureOptions& fixture);
    bool DeviceOn() const;  // false: the fixture is empty and nothing answers
    int DevicesPut() const; // devices put on the fixture so far, the first one included
    void TakeOff();
    void PutOn(int serial);

    void AddFault(const Fault& fault);
    void ClearFaults();

    std::vector<LogEntry> Log() const;
    void ClearLog();
    int CommandCount(int code) const;  // commands received since the log was cleared
    // Gaps from the simulator's last byte out to the tool's next byte in, in ms.
    std::vector<double> Turnarounds() const;
    // Called (from the serving thread) with each log line, for the program's console.
    void SetLogSink(std::function<void(const std::string&)> sink);
    // Called after a write changed the stored image.
    void SetImageSink(std::function<void(const std::array<uint8_t, 72>&)> sink);

    static std::string FormatEntry(const LogEntry& e);

private:
    using Clock = std::chrono::steady_clock;
    void Serve();
    void Handle(uint8_t code, const std::vector<uint8_t>& data);
    bool Send(const std::vector<uint8_t>& bytes, int dropAfter, const std::string& note);
    bool WaitUntil(Clock::time_point until);
    bool FixtureTurn(Clock::time_point now);  // caller holds mu_; false: no device on
    void PutOnLocked(int serial);  // false: a stop was asked for
    bool WriteByte(uint8_t b);
    Fault* TakeFault(FaultKind kind, int code);
    void AddLog(bool fromTool, std::vector<uint8_t> bytes, std::string note);
    double MsSinceStart(Clock::time_point t) const;
    std::chrono::nanoseconds ByteTime() const;
    void Begin(int fd);
    void CloseLine();

    Options opt_;
    mutable std::mutex mu_;
    std::array<uint8_t, 72> image_{};
    bool initMode_ = false;
    bool fixture_ = false, deviceOn_ = true;
    FixtureOptions fixtureOpt_;
    std::array<uint8_t, 72> firstImage_{};
    size_t nextSerial_ = 0;
    int devicesPut_ = 1;
    Clock::time_point offAt_ = Clock::time_point::max(), onAt_ = Clock::time_point::max();
    std::vector<Fault> faults_;
    std::vector<LogEntry> log_;
    std::vector<double> turnarounds_;
    std::array<int, 256> counts_{};
    int readsSinceArmed_ = 0;
    bool lastWasWrite_ = false;
    std::function<void(const std::string&)> sink_;
    std::function<void(const std::array<uint8_t, 72>&)> imageSink_;

    int master_ = -1;
    int slaveKeep_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::string path_, link_;
    std::thread thread_;
    std::atomic<bool> lineUp_{false};
    Clock::time_point start_;
    Clock::time_point lastInEff_{};
    Clock::time_point lastOut_{};
    bool haveOut_ = false;
};

}  // namespace zsim
