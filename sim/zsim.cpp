#include "zsim.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace zsim {

namespace {

struct KindName {
    FaultKind kind;
    const char* name;
};
const KindName kKinds[] = {
    {FaultKind::NoAnswer, "noanswer"},
    {FaultKind::WrongEcho, "wrongecho"},
    {FaultKind::AckFF, "ackff"},
    {FaultKind::ShortBlock, "short"},
    {FaultKind::CorruptFirstRead, "badread"},
    {FaultKind::CorruptWriteEcho, "badecho"},
    {FaultKind::CorruptReadBack, "badreadback"},
    {FaultKind::Delay, "delay"},
    {FaultKind::Garbage, "garbage"},
    {FaultKind::DropLine, "drop"},
};

// The byte that the corrupting faults change unless they name an image position, and how.
constexpr int kCorruptIndex = 40;
constexpr uint8_t kCorruptXor = 0x5A;
int CorruptIndex(const Fault& f) { return f.Param >= 1 && f.Param <= 72 ? f.Param - 1 : kCorruptIndex; }

void MakeRaw(int fd)
{
    termios t;
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        tcsetattr(fd, TCSANOW, &t);
    }
}

// A path that openpty hands out: /dev/pts/N.
bool IsPtyPath(const std::string& p)
{
    const std::string dir = "/dev/pts/";
    return p.size() > dir.size() && p.compare(0, dir.size(), dir) == 0 &&
           p.find_first_not_of("0123456789", dir.size()) == std::string::npos;
}

std::string LinkTarget(const std::string& path)
{
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
    return n > 0 && static_cast<size_t>(n) < sizeof target ? std::string(target, static_cast<size_t>(n)) : "";
}

}  // namespace

std::string FaultName(FaultKind kind)
{
    for (const auto& k : kKinds)
        if (k.kind == kind)
            return k.name;
    return "?";
}

namespace {
// A plain decimal number of at most 6 digits, nothing else (no sign, no blanks).
bool Digits(const std::string& s, int& out)
{
    if (s.empty() || s.size() > 6 || s.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = std::stoi(s);
    return true;
}
}  // namespace

bool ParseFault(const std::string& text, Fault& out, std::string& error)
{
    std::string s = text;
    Fault f{FaultKind::NoAnswer};
    bool hasParam = false;
    // Each suffix is optional; when present it is a plain number.
    auto takeSuffix = [&](char sep, int& into, bool* present = nullptr) -> bool {
        const auto p = s.rfind(sep);
        if (p == std::string::npos)
            return true;
        if (!Digits(s.substr(p + 1), into))
            return false;
        s.erase(p);
        if (present)
            *present = true;
        return true;
    };
    const std::string kinds =
        "noanswer, wrongecho, ackff, short:K, badread[:POS], badecho[:POS], badreadback[:POS], delay:MS, "
        "garbage:K, drop:K; then optional @COMMAND (0, 3, 4, 5) and xCOUNT (1 or more)";
    if (!takeSuffix('x', f.Remaining) || !takeSuffix('@', f.Command) || !takeSuffix(':', f.Param, &hasParam)) {
        error = "bad number in fault '" + text + "' (" + kinds + ")";
        return false;
    }
    if (f.Remaining == 0 || (f.Command >= 0 && f.Command != 0 && f.Command != 3 && f.Command != 4 && f.Command != 5)) {
        error = "bad count or command in fault '" + text + "' (" + kinds + ")";
        return false;
    }
    for (const auto& k : kKinds)
        if (s == k.name) {
            const bool position = k.kind == FaultKind::CorruptFirstRead || k.kind == FaultKind::CorruptWriteEcho ||
                                  k.kind == FaultKind::CorruptReadBack;
            // The limits keep a fault from outliving a stop request or filling memory.
            const int limit = position || k.kind == FaultKind::ShortBlock ? 72
                              : k.kind == FaultKind::DropLine         ? 73
                              : k.kind == FaultKind::Delay            ? 60000
                              : k.kind == FaultKind::Garbage          ? 4096
                                                                      : -1;
            if (hasParam && (limit < 0 || f.Param > limit || (position && f.Param < 1))) {
                error = limit < 0  ? "fault '" + s + "' takes no parameter"
                        : position ? "position of '" + s + "' is 1..72 (" + kinds + ")"
                                   : "parameter of '" + s + "' is at most " + std::to_string(limit);
                return false;
            }
            // A short block, a delay, garbage and a drop mean nothing without their size.
            if (!hasParam && limit >= 0 && !position) {
                error = "fault '" + s + "' needs its number, as in " + s + ":" +
                        (k.kind == FaultKind::Delay ? "MS" : "K") + " (" + kinds + ")";
                return false;
            }
            f.Kind = k.kind;
            out = f;
            return true;
        }
    error = "unknown fault '" + s + "' (" + kinds + ")";
    return false;
}

Simulator::Simulator(Options options) : opt_(options), start_(Clock::now())
{
    for (int i = 0; i < 72; ++i)
        image_[i] = 0;
    if (::pipe(stopPipe_) != 0)
        throw std::runtime_error("zenda-sim: pipe failed");
}

Simulator::~Simulator()
{
    Stop();
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
    if (!link_.empty() && LinkTarget(link_) == path_)  // only while it is still ours
        ::unlink(link_.c_str());
}

std::string LinkRefusal(const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return errno == ENOENT ? "" : path + ": " + std::strerror(errno);
    if (S_ISLNK(st.st_mode) && IsPtyPath(LinkTarget(path)))
        return "";
    return path + " exists and is not a link to a pseudo-terminal; the line's link is not made over it";
}

std::string Simulator::StartPty(const std::string& linkPath)
{
    Stop();
    if (!linkPath.empty()) {
        const std::string why = LinkRefusal(linkPath);
        if (!why.empty())
            throw std::runtime_error("zenda-sim: " + why);
    }
    int master = -1, slave = -1;
    char name[256];
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("zenda-sim: openpty failed");
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    // A new slave starts cooked (ECHO, ICRNL); and keeping our own slave fd open stops the
    // master from seeing a hang-up (poll returning at once) while no tool holds the line.
    MakeRaw(slave);
    MakeRaw(master);
    path_ = name;
    if (!linkPath.empty()) {
        link_ = linkPath;
        ::unlink(link_.c_str());
        if (::symlink(path_.c_str(), link_.c_str()) != 0) {
            ::close(master);
            ::close(slave);
            throw std::runtime_error("zenda-sim: cannot make the link " + link_ + ": " + std::strerror(errno));
        }
    }
    slaveKeep_ = slave;
    Begin(master);
    return path_;
}

void Simulator::StartFd(int fd)
{
    Stop();
    Begin(fd);
}

void Simulator::Begin(int fd)
{
    MakeRaw(fd);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    master_ = fd;
    lineUp_ = true;
    thread_ = std::thread([this] { Serve(); });
}

void Simulator::Stop()
{
    if (thread_.joinable()) {
        const char c = 'q';
        [[maybe_unused]] auto n = ::write(stopPipe_[1], &c, 1);
        thread_.join();
        char buf[16];
        while (true) {  // drain the stop byte(s)
            pollfd p{stopPipe_[0], POLLIN, 0};
            if (::poll(&p, 1, 0) <= 0 || ::read(stopPipe_[0], buf, sizeof buf) <= 0)
                break;
        }
    }
    CloseLine();
}

void Simulator::CloseLine()
{
    if (master_ >= 0)
        ::close(master_);
    if (slaveKeep_ >= 0)
        ::close(slaveKeep_);
    master_ = slaveKeep_ = -1;
    lineUp_ = false;
}

std::string Simulator::Replug()
{
    Stop();
    return StartPty(link_);
}

std::string Simulator::Path() const { return link_.empty() ? path_ : link_; }

std::array<uint8_t, 72> Simulator::Image() const
{
    std::lock_guard<std::mutex> g(mu_);
    return image_;
}

void Simulator::SetImage(const std::array<uint8_t, 72>& image)
{
    std::lock_guard<std::mutex> g(mu_);
    image_ = image;
}

uint8_t Simulator::Model() const
{
    std::lock_guard<std::mutex> g(mu_);
    return opt_.Model;
}

void Simulator::SetModel(uint8_t model)
{
    std::lock_guard<std::mutex> g(mu_);
    opt_.Model = model;
}

void Simulator::SetAck(uint8_t ack)
{
    std::lock_guard<std::mutex> g(mu_);
    opt_.Ack = ack;
}

bool Simulator::InInitMode() const
{
    std::lock_guard<std::mutex> g(mu_);
    return initMode_;
}

void Simulator::SetFixture(const FixtureOptions& fixture)
{
    std::lock_guard<std::mutex> g(mu_);
    fixture_ = true;
    fixtureOpt_ = fixture;
    firstImage_ = image_;
    nextSerial_ = 0;
}

bool Simulator::FixtureTurn(Clock::time_point now)
{
    if (!fixture_)
        return true;
    if (deviceOn_ && now >= offAt_) {
        deviceOn_ = false;
        onAt_ = offAt_ + std::chrono::milliseconds(fixtureOpt_.OnMs);
        offAt_ = Clock::time_point::max();
    }
    if (!deviceOn_ && now >= onAt_)
        PutOnLocked(nextSerial_ < fixtureOpt_.Serials.size() ? fixtureOpt_.Serials[nextSerial_++] : 0);
    return deviceOn_;
}

void Simulator::PutOnLocked(int serial)
{
    image_ = firstImage_;
    image_[6] = static_cast<uint8_t>(serial >> 8);  // the serial number: a word, high byte first
    image_[7] = static_cast<uint8_t>(serial & 0xFF);
    initMode_ = serial == 0;
    deviceOn_ = true;
    ++devicesPut_;
    onAt_ = offAt_ = Clock::time_point::max();
    readsSinceArmed_ = 0;
    lastWasWrite_ = false;
}

bool Simulator::DeviceOn() const
{
    std::lock_guard<std::mutex> g(mu_);
    return const_cast<Simulator*>(this)->FixtureTurn(Clock::now());
}

int Simulator::DevicesPut() const
{
    std::lock_guard<std::mutex> g(mu_);
    const_cast<Simulator*>(this)->FixtureTurn(Clock::now());
    return devicesPut_;
}

void Simulator::TakeOff()
{
    std::lock_guard<std::mutex> g(mu_);
    deviceOn_ = false;
    offAt_ = Clock::time_point::max();
    onAt_ = fixture_ ? Clock::now() + std::chrono::milliseconds(fixtureOpt_.OnMs) : Clock::time_point::max();
}

void Simulator::PutOn(int serial)
{
    std::lock_guard<std::mutex> g(mu_);
    if (!fixture_)
        firstImage_ = image_;
    PutOnLocked(serial);
}

void Simulator::AddFault(const Fault& fault)
{
    std::lock_guard<std::mutex> g(mu_);
    faults_.push_back(fault);
    readsSinceArmed_ = 0;
}

void Simulator::ClearFaults()
{
    std::lock_guard<std::mutex> g(mu_);
    faults_.clear();
}

std::vector<LogEntry> Simulator::Log() const
{
    std::lock_guard<std::mutex> g(mu_);
    return log_;
}

void Simulator::ClearLog()
{
    std::lock_guard<std::mutex> g(mu_);
    log_.clear();
    turnarounds_.clear();
    haveOut_ = false;  // a gap across the clearing is no turnaround
    counts_.fill(0);
}

int Simulator::CommandCount(int code) const
{
    std::lock_guard<std::mutex> g(mu_);
    return code >= 0 && code < 256 ? counts_[code] : 0;
}

std::vector<double> Simulator::Turnarounds() const
{
    std::lock_guard<std::mutex> g(mu_);
    return turnarounds_;
}

void Simulator::SetLogSink(std::function<void(const std::string&)> sink)
{
    std::lock_guard<std::mutex> g(mu_);
    sink_ = std::move(sink);
}

void Simulator::SetImageSink(std::function<void(const std::array<uint8_t, 72>&)> sink)
{
    std::lock_guard<std::mutex> g(mu_);
    imageSink_ = std::move(sink);
}

std::string Simulator::FormatEntry(const LogEntry& e)
{
    char head[48];
    std::snprintf(head, sizeof head, "%10.3f %s", e.Ms, e.FromTool ? "<-" : "->");
    std::string s = head;
    for (uint8_t b : e.Bytes) {
        char h[4];
        std::snprintf(h, sizeof h, " %02X", b);
        s += h;
    }
    if (!e.Note.empty())
        s += "   " + e.Note;
    return s;
}

double Simulator::MsSinceStart(Clock::time_point t) const
{
    return std::chrono::duration<double, std::milli>(t - start_).count();
}

std::chrono::nanoseconds Simulator::ByteTime() const
{
    if (!opt_.Pace || opt_.Baud <= 0)
        return std::chrono::nanoseconds(0);
    return std::chrono::nanoseconds(10'000'000'000LL / opt_.Baud);
}

void Simulator::AddLog(bool fromTool, std::vector<uint8_t> bytes, std::string note)
{
    std::function<void(const std::string&)> sink;
    LogEntry e{MsSinceStart(Clock::now()), fromTool, std::move(bytes), std::move(note)};
    {
        std::lock_guard<std::mutex> g(mu_);
        log_.push_back(e);
        sink = sink_;
    }
    if (sink)
        sink(FormatEntry(e));
}

Fault* Simulator::TakeFault(FaultKind kind, int code)
{
    // Caller holds mu_. Counts one exchange against the fault's remaining number.
    for (auto& f : faults_) {
        if (f.Kind != kind || (f.Command >= 0 && f.Command != code) || f.Remaining == 0)
            continue;
        if (f.Remaining > 0)
            --f.Remaining;
        return &f;
    }
    return nullptr;
}

bool Simulator::WaitUntil(Clock::time_point until)
{
    // Sleeps that a stop request cuts short: the stop pipe is polled, not read.
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0)
            return true;
        pollfd p{stopPipe_[0], POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
        if (r > 0)
            return false;
    }
}

bool Simulator::WriteByte(uint8_t b)
{
    // The line is non-blocking: a tool that stops reading must not hold us past a stop.
    for (;;) {
        const ssize_t k = ::write(master_, &b, 1);
        if (k == 1)
            return true;
        if (k < 0 && errno == EINTR)
            continue;
        if (k < 0 && errno == EAGAIN) {
            pollfd p[2] = {{master_, POLLOUT, 0}, {stopPipe_[0], POLLIN, 0}};
            if (::poll(p, 2, 1000) > 0 && (p[1].revents || (p[0].revents & (POLLERR | POLLNVAL))))
                return false;
            continue;
        }
        return false;
    }
}

bool Simulator::Send(const std::vector<uint8_t>& bytes, int dropAfter, const std::string& note)
{
    // Each byte is on the far end one byte time after the previous one, as on a real line.
    const auto bt = ByteTime();
    auto t = Clock::now();
    std::vector<uint8_t> sent;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (dropAfter >= 0 && static_cast<int>(i) == dropAfter)
            break;
        if (bt.count() > 0) {
            t += bt;
            if (!WaitUntil(t))
                break;
        }
        if (!WriteByte(bytes[i]))
            break;
        sent.push_back(bytes[i]);
    }
    {
        std::lock_guard<std::mutex> g(mu_);
        lastOut_ = Clock::now();
        haveOut_ = true;
    }
    const bool dropped = dropAfter >= 0 && dropAfter <= static_cast<int>(bytes.size());
    AddLog(false, sent, dropped ? note + "; line dropped" : note);
    if (dropped) {
        CloseLine();
        return false;
    }
    return true;
}

void Simulator::Handle(uint8_t code, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> out;
    std::string note;
    int delayMs = 0, garbage = 0, shortK = -1, dropAfter = -1;
    bool silent = false;
    {
        std::lock_guard<std::mutex> g(mu_);
        ++counts_[code];
        const auto now = Clock::now();
        if (!FixtureTurn(now))
            silent = true;  // an empty fixture: the command goes nowhere
        else if (fixture_ && code != 5)
            offAt_ = now + std::chrono::milliseconds(fixtureOpt_.OffMs);
    }
    if (silent) {
        AddLog(false, {}, "no device on the fixture");
        return;
    }
    {
        std::lock_guard<std::mutex> g(mu_);
        if (TakeFault(FaultKind::NoAnswer, code))
            silent = true;
        if (auto* f = TakeFault(FaultKind::Delay, code))
            delayMs = f->Param;
        if (auto* f = TakeFault(FaultKind::Garbage, code))
            garbage = f->Param;
        if (auto* f = TakeFault(FaultKind::DropLine, code))
            dropAfter = f->Param;
        uint8_t echo = code;
        if (code != 5 && TakeFault(FaultKind::WrongEcho, code))  // the model query has no echo
            echo = static_cast<uint8_t>(code ^ 0x80);
        const bool wasWrite = lastWasWrite_;
        lastWasWrite_ = false;
        switch (code) {
        case 0:
            for (int i = 0; i < 72; ++i)
                image_[i] = data[i];
            initMode_ = true;
            lastWasWrite_ = true;
            out.push_back(echo);
            out.insert(out.end(), image_.begin(), image_.end());
            if (auto* f = TakeFault(FaultKind::CorruptWriteEcho, code))
                out[1 + CorruptIndex(*f)] ^= kCorruptXor;
            note = "write: image stored, initialization mode on";
            break;
        case 3:
            initMode_ = false;
            out.push_back(echo);
            note = "leave initialization mode: mode off";
            break;
        case 4: {
            out.push_back(echo);
            out.insert(out.end(), image_.begin(), image_.end());
            bool corrupt = false;
            int at = kCorruptIndex;
            for (auto& f : faults_)
                if (f.Kind == FaultKind::CorruptFirstRead && f.Remaining != 0 && (f.Command < 0 || f.Command == 4)) {
                    if (readsSinceArmed_ % 2 == 0) {
                        corrupt = true;
                        at = CorruptIndex(f);
                    }
                    if (f.Remaining > 0)
                        --f.Remaining;
                    break;
                }
            ++readsSinceArmed_;
            if (wasWrite)
                if (auto* f = TakeFault(FaultKind::CorruptReadBack, code)) {
                    corrupt = true;
                    at = CorruptIndex(*f);
                }
            if (corrupt)
                out[1 + at] ^= kCorruptXor;
            note = std::string("read") + (corrupt ? " (one byte changed)" : "");
            break;
        }
        case 5:
            out.push_back(TakeFault(FaultKind::AckFF, code) ? 0xFF : opt_.Ack);
            out.push_back(opt_.Model);
            note = "model query";
            break;
        default:
            silent = true;
            note = "unknown command";
            break;
        }
        if (code == 0 || code == 4 || code == 5)
            if (auto* f = TakeFault(FaultKind::ShortBlock, code))
                shortK = f->Param;
        note += initMode_ ? " [init mode]" : "";
    }
    if (code == 0) {
        // Stored before the answer, as the device does: whatever then happens on the line
        // (silence, a delay cut short, a drop), the saved image is the one served.
        std::function<void(const std::array<uint8_t, 72>&)> imageSink;
        std::array<uint8_t, 72> img;
        {
            std::lock_guard<std::mutex> g(mu_);
            imageSink = imageSink_;
            img = image_;
        }
        if (imageSink)
            imageSink(img);
    }
    if (silent) {
        AddLog(false, {}, note.empty() || note == "unknown command" ? note : "no answer (fault)");
        return;
    }
    if (shortK >= 0 && out.size() > static_cast<size_t>(1 + shortK))
        out.resize(1 + shortK);
    if (garbage > 0)
        out.insert(out.begin(), static_cast<size_t>(garbage), 0xAA);
    if (delayMs > 0 && !WaitUntil(Clock::now() + std::chrono::milliseconds(delayMs)))
        return;
    Send(out, dropAfter, note);
}

void Simulator::Serve()
{
    const auto bt = ByteTime();
    std::vector<uint8_t> pending;  // command 0 and the bytes of its image so far
    lastInEff_ = Clock::time_point{};
    while (true) {
        pollfd p[2] = {{master_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        // A half-received image is abandoned after a second of silence, as a device would.
        const int r = ::poll(p, 2, pending.empty() ? -1 : 1000);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (p[1].revents)
            return;
        if (r == 0) {
            AddLog(true, pending, "incomplete image dropped");
            pending.clear();
            continue;
        }
        if (p[0].revents & (POLLERR | POLLNVAL))
            return;
        if (!(p[0].revents & POLLIN)) {
            // A hung-up line polls ready at once for as long as it stays hung up: look
            // again a little later rather than spin.
            if (!WaitUntil(Clock::now() + std::chrono::milliseconds(20)))
                return;
            continue;
        }
        uint8_t buf[512];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        const auto readTime = Clock::now();
        if (n <= 0) {
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            // EIO: nobody holds the other side (a pty cannot, as we keep its slave open).
            if (!WaitUntil(Clock::now() + std::chrono::milliseconds(20)))
                return;
            continue;
        }
        {
            std::lock_guard<std::mutex> g(mu_);
            if (haveOut_) {
                turnarounds_.push_back(std::chrono::duration<double, std::milli>(readTime - lastOut_).count());
                haveOut_ = false;
            }
        }
        std::vector<uint8_t> chunk;
        for (ssize_t i = 0; i < n; ++i) {
            // A byte counts as arrived one byte time after the one before it.
            const auto eff = std::max(readTime, lastInEff_) + bt;
            lastInEff_ = eff;
            if (bt.count() > 0 && !WaitUntil(eff))
                return;
            const uint8_t b = buf[i];
            if (!pending.empty()) {
                pending.push_back(b);
                if (pending.size() == 73) {
                    AddLog(true, pending, "command 0 with image");
                    std::vector<uint8_t> data(pending.begin() + 1, pending.end());
                    pending.clear();
                    Handle(0, data);
                    if (!lineUp_)
                        return;
                }
                continue;
            }
            if (b == 0) {
                pending.push_back(b);
                continue;
            }
            AddLog(true, {b}, "command " + std::to_string(b));
            Handle(b, {});
            if (!lineUp_)
                return;
        }
        if (!lineUp_)
            return;
    }
}

}  // namespace zsim
