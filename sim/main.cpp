// zenda-sim: a ЗЕНДА device on a pseudo-terminal (or a real serial device), for training
// and for testing the tool without hardware.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "stdstreams.h"
#include "version.h"
#include "zsim.h"

namespace {

volatile sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

void Usage(std::ostream& out = std::cout)
{
    out << "usage: zenda-sim [options]\n"
           "  --baud 4800|9600     line rate for pacing (default 9600)\n"
           "  --no-pace            answer at once instead of at the line's pace\n"
           "  --model 1|2|3        ZENDA1, ZENDA2 or ZENDA3 (default 1)\n"
           "  --ack HEX            acknowledgement byte of the model query (default 00)\n"
           "  --image FILE         load the image from FILE (72 hex bytes; lines starting with # are\n"
           "                       comments, so a backup of zenda-init loads) and save it there after\n"
           "                       every write, comments kept, so settings survive a restart\n"
           "  --link PATH          make PATH a symlink to the line's pseudo-terminal (only a\n"
           "                       missing PATH or an old link to a pseudo-terminal is replaced)\n"
           "  --device PATH        serve this serial device instead of a pseudo-terminal\n"
           "  --fault FAULT        inject a fault (repeatable): kind[:param][@command][xcount]\n"
           "                       kinds: noanswer wrongecho ackff short:K badread[:POS] badecho[:POS]\n"
           "                       badreadback[:POS] delay:MS garbage:K drop:K\n"
           "  --fixture OFF:ON     a fixture of a production line: the device is taken off OFF ms\n"
           "                       after the last command that is not a model query (the tool is\n"
           "                       done with it), and the next one is put on ON ms later\n"
           "  --serials N,N,...    the serial numbers of the devices put on after the first (then 0)\n"
           "  --quiet              do not print the traffic\n"
           "  --log FILE           write the traffic to FILE instead\n"
           "  --control            take commands on standard input, one a line, answered with\n"
           "                       a line starting \"@ \": fault FAULT | clear | image | mode |\n"
           "                       count CMD | clearlog | model 1|2|3 | setimage HEX | line |\n"
           "                       off | on SERIAL | devices\n"
           "  --version            print the name and version\n";
}

// A whole decimal number within [lo, hi], nothing else around it.
bool ParseInt(const std::string& s, int lo, int hi, int& out)
{
    if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const long v = std::stol(s);
    if (v < lo || v > hi)
        return false;
    out = static_cast<int>(v);
    return true;
}

// One or two hex digits.
bool ParseHexByte(const std::string& s, uint8_t& out)
{
    if (s.empty() || s.size() > 2 || s.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    out = static_cast<uint8_t>(std::stoul(s, nullptr, 16));
    return true;
}

[[noreturn]] void Refuse(const std::string& what)
{
    std::cerr << "zenda-sim: " << what << "\n";
    Usage(std::cerr);
    std::exit(2);
}

// The image file as loaded: where it is saved and the comment lines (a backup's heading)
// that a save keeps above the bytes.
struct ImageFile {
    std::string path;
    mode_t mode = 0644;
    std::vector<std::string> comments;
};

// A backup is under 1 KB; anything near this size is not an image, and a device or a FIFO
// named by mistake is never read at all.
constexpr off_t kMaxImageFile = 64 * 1024;

// Loads the image; "" on success or when the file does not exist yet (the first write makes
// it), otherwise why it is refused.
std::string LoadImage(ImageFile& file, std::array<uint8_t, 72>& image)
{
    const mode_t mask = umask(0);
    umask(mask);
    file.mode = 0666 & ~mask;
    const int fd = ::open(file.path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            return file.path + ": " + std::strerror(errno);
        const auto slash = file.path.rfind('/');
        const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : file.path.substr(0, slash);
        if (::access(dir.c_str(), W_OK) != 0)
            return "cannot make " + file.path + " (" + dir + ": " + std::strerror(errno) + ")";
        return "";
    }
    struct stat st{};
    std::string text;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxImageFile) {
        ::close(fd);
        return file.path + (S_ISREG(st.st_mode) ? " is too large for an image (72 hex bytes)" : " is not a regular file");
    }
    char buf[4096];
    ssize_t n;
    while (text.size() <= static_cast<size_t>(kMaxImageFile) && (n = ::read(fd, buf, sizeof buf)) > 0)
        text.append(buf, static_cast<size_t>(n));
    ::close(fd);
    file.mode = st.st_mode & 07777;
    // Saves go to the file itself, not over a link to it.
    if (char* real = ::realpath(file.path.c_str(), nullptr)) {
        file.path = real;
        std::free(real);
    }
    // Lines starting with "#" are comments; the rest is 72 hex bytes.
    std::istringstream lines(text);
    std::string bytes, line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] == '#')
            file.comments.push_back(line);
        else
            bytes += line + "\n";
    }
    std::istringstream in(bytes);
    std::array<uint8_t, 72> tmp{};
    for (int i = 0; i < 72; ++i) {
        unsigned v;
        if (!(in >> std::hex >> v) || v > 255)
            return file.path + " does not hold 72 hex bytes";
        tmp[i] = static_cast<uint8_t>(v);
    }
    std::string extra;
    if (in >> extra)
        return file.path + " holds more than 72 hex bytes";
    image = tmp;
    return "";
}

// Writes a new file beside the old one and renames it over: a reader sees the old image or
// the new one, never a half-written one.
void SaveImage(const ImageFile& file, const std::array<uint8_t, 72>& image)
{
    std::string text;
    for (const auto& c : file.comments)
        text += c + "\n";
    char h[4];
    for (int i = 0; i < 72; ++i) {
        std::snprintf(h, sizeof h, "%02X", image[i]);
        text += h;
        text += (i % 12) == 11 ? "\n" : " ";
    }
    std::string tmp = file.path + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    bool ok = fd >= 0 && ::fchmod(fd, file.mode) == 0;
    for (size_t done = 0; ok && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        ok = n > 0;
        done += ok ? static_cast<size_t>(n) : 0;
    }
    const int err = errno;
    if (fd >= 0 && ::close(fd) != 0)
        ok = false;
    if (ok && ::rename(tmp.c_str(), file.path.c_str()) == 0)
        return;
    std::cerr << "zenda-sim: cannot save the image to " << file.path << ": " << std::strerror(ok ? errno : err)
              << "\n";
    if (fd >= 0)
        ::unlink(tmp.c_str());
}

std::string Hex(const std::array<uint8_t, 72>& image)
{
    std::string s;
    char h[4];
    for (uint8_t b : image) {
        std::snprintf(h, sizeof h, "%02X", b);
        s += h;
    }
    return s;
}

// One command of the control channel; the answer line.
std::string Control(zsim::Simulator& sim, const std::string& line)
{
    std::istringstream in(line);
    std::string cmd, arg, extra;
    in >> cmd >> arg >> extra;
    const bool takesArg = cmd == "fault" || cmd == "setimage" || cmd == "count" || cmd == "model" || cmd == "on";
    if (!extra.empty() || (takesArg && arg.empty()) || (!takesArg && !arg.empty()))
        return "error usage: fault FAULT | clear | image | mode | count CMD | clearlog | model 1|2|3 | "
               "setimage HEX | line | off | on SERIAL | devices";
    if (cmd == "off") {
        sim.TakeOff();
        return "ok";
    }
    if (cmd == "on") {
        int serial = 0;
        if (!ParseInt(arg, 0, 65535, serial))
            return "error the serial number is 0..65535";
        sim.PutOn(serial);
        return "ok";
    }
    if (cmd == "devices")
        return std::to_string(sim.DevicesPut()) + (sim.DeviceOn() ? " on" : " off");
    if (cmd == "fault") {
        zsim::Fault f{zsim::FaultKind::NoAnswer};
        std::string err;
        if (!zsim::ParseFault(arg, f, err))
            return "error " + err;
        sim.AddFault(f);
        return "ok";
    }
    if (cmd == "clear") {
        sim.ClearFaults();
        return "ok";
    }
    if (cmd == "image")
        return Hex(sim.Image());
    if (cmd == "setimage") {
        if (arg.size() != 144 || arg.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return "error 72 bytes in hex";
        std::array<uint8_t, 72> image{};
        for (int i = 0; i < 72; ++i)
            image[i] = static_cast<uint8_t>(std::stoul(arg.substr(2 * i, 2), nullptr, 16));
        sim.SetImage(image);
        return "ok";
    }
    if (cmd == "mode")
        return sim.InInitMode() ? "init" : "normal";
    if (cmd == "count") {
        int code = 0;
        if (!ParseInt(arg, 0, 255, code))
            return "error command is 0..255";
        return std::to_string(sim.CommandCount(code));
    }
    if (cmd == "clearlog") {
        sim.ClearLog();
        return "ok";
    }
    if (cmd == "line")
        return sim.LineUp() ? "up" : "down";
    if (cmd == "model") {
        int m = 0;
        if (!ParseInt(arg, 1, 3, m))
            return "error model is 1, 2 or 3";
        sim.SetModel(static_cast<uint8_t>(0xEF + m));
        return "ok";
    }
    return "error unknown command";
}

}  // namespace

int main(int argc, char** argv)
{
    KeepStandardStreams();
    zsim::Options opt;
    std::string imagePath, link, device;
    std::vector<zsim::Fault> faults;
    bool quiet = false, control = false, fixture = false;
    zsim::FixtureOptions fixtureOpt;
    std::string logPath;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::cerr << "zenda-sim: " << a << " needs a value\n";
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--baud") {
            const std::string v = next();
            if (v != "4800" && v != "9600")
                Refuse("the rate is 4800 or 9600, not '" + v + "'");
            opt.Baud = std::stoi(v);
        } else if (a == "--no-pace") {
            opt.Pace = false;
        } else if (a == "--model") {
            const std::string v = next();
            int m = 0;
            if (!ParseInt(v, 1, 3, m))
                Refuse("model is 1, 2 or 3, not '" + v + "'");
            opt.Model = static_cast<uint8_t>(0xEF + m);
        } else if (a == "--ack") {
            const std::string v = next();
            if (!ParseHexByte(v, opt.Ack))
                Refuse("the acknowledgement is one byte in hex, not '" + v + "'");
        } else if (a == "--image") {
            imagePath = next();
        } else if (a == "--link") {
            link = next();
        } else if (a == "--device") {
            device = next();
        } else if (a == "--fault") {
            zsim::Fault f{zsim::FaultKind::NoAnswer};
            std::string err;
            if (!zsim::ParseFault(next(), f, err))
                Refuse(err);
            faults.push_back(f);
        } else if (a == "--fixture") {
            const std::string v = next();
            const auto colon = v.find(':');
            if (colon == std::string::npos || !ParseInt(v.substr(0, colon), 0, 600000, fixtureOpt.OffMs) ||
                !ParseInt(v.substr(colon + 1), 0, 600000, fixtureOpt.OnMs))
                Refuse("the fixture is OFF:ON, two times in ms (0..600000), not '" + v + "'");
            fixture = true;
        } else if (a == "--serials") {
            std::stringstream list(next());
            std::string item;
            while (std::getline(list, item, ',')) {
                int n = 0;
                if (!ParseInt(item, 0, 65535, n))
                    Refuse("a serial number is 0..65535, not '" + item + "'");
                fixtureOpt.Serials.push_back(n);
            }
        } else if (a == "--quiet") {
            quiet = true;
        } else if (a == "--log") {
            logPath = next();
        } else if (a == "--control") {
            control = true;
        } else if (a == "-h" || a == "--help") {
            Usage();
            return 0;
        } else if (a == "--version") {
            std::cout << "zenda-sim " ZENDA_VERSION "\n";
            return 0;
        } else {
            Refuse("unknown option " + a);
        }
    }

    if (!link.empty() && device.empty()) {
        const std::string why = zsim::LinkRefusal(link);
        if (!why.empty()) {
            std::cerr << "zenda-sim: " << why << "\n";
            return 2;
        }
    }

    zsim::Simulator sim(opt);
    {
        // A device as one comes from the field: number 12345, address 5, both channels
        // pulse inputs, last initialized 14:30 on 01/12/26, some hours and volume counted.
        std::array<uint8_t, 72> image{};
        const uint8_t head[27] = {0x30, 0x14, 0x01, 0x12, 0x26, 0x05, 0x30, 0x39, 0x05, 0x24, 0x05, 0x15, 0x02, 0x00,
                                  0x00, 0x45, 0x01, 0x00, 0x00, 0x78, 0x56, 0x34, 0x00, 0x00, 0x10, 0x00, 0x00};
        std::copy(std::begin(head), std::end(head), image.begin());
        for (int i = 27; i < 72; ++i)
            image[i] = static_cast<uint8_t>(0xA0 + i);  // device data the tool leaves alone
        sim.SetImage(image);
    }
    if (!imagePath.empty()) {
        ImageFile file;
        file.path = imagePath;
        std::array<uint8_t, 72> image = sim.Image();
        const std::string why = LoadImage(file, image);
        if (!why.empty()) {
            std::cerr << "zenda-sim: " << why << "\n";
            return 2;
        }
        sim.SetImage(image);
        sim.SetImageSink([file](const std::array<uint8_t, 72>& img) { SaveImage(file, img); });
    }
    for (const auto& f : faults)
        sim.AddFault(f);
    if (!fixtureOpt.Serials.empty() && !fixture)
        Refuse("--serials needs --fixture");
    if (fixture)
        sim.SetFixture(fixtureOpt);
    std::ofstream logFile;
    if (!logPath.empty()) {
        logFile.open(logPath, std::ios::app);
        if (!logFile) {
            std::cerr << "zenda-sim: cannot write " << logPath << "\n";
            return 2;
        }
        sim.SetLogSink([&logFile](const std::string& line) { logFile << line << std::endl; });
    } else if (!quiet) {
        sim.SetLogSink([](const std::string& line) { std::cout << line << std::endl; });
    }

    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    try {
        if (!device.empty()) {
            const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
            if (fd < 0) {
                std::perror(device.c_str());
                return 1;
            }
            // The device's own line settings: the chosen rate, 8 data bits, no parity, 1 stop bit.
            termios t{};
            if (tcgetattr(fd, &t) == 0) {
                cfmakeraw(&t);
                t.c_cflag |= CLOCAL | CREAD;
                const speed_t speed = opt.Baud == 4800 ? B4800 : B9600;
                cfsetispeed(&t, speed);
                cfsetospeed(&t, speed);
                tcsetattr(fd, TCSANOW, &t);
            }
            sim.StartFd(fd);
            std::cout << "zenda-sim: serving " << device << std::endl;
        } else {
            const std::string path = sim.StartPty(link);
            std::cout << "zenda-sim: line " << path;
            if (!link.empty())
                std::cout << " (link " << link << ")";
            std::cout << std::endl;
        }
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    std::cout << "zenda-sim: model ZENDA" << (sim.Model() - 0xEF) << ", "
              << (opt.Pace ? std::to_string(opt.Baud) + " bit/s pacing" : "no pacing") << std::endl;
    std::string pendingLine;
    while (!gStop) {
        if (control) {
            pollfd p{0, POLLIN, 0};
            if (poll(&p, 1, 40) > 0) {
                char buf[512];
                const ssize_t n = read(0, buf, sizeof buf);
                if (n <= 0)
                    break;  // the controller went away
                pendingLine.append(buf, static_cast<size_t>(n));
                size_t nl;
                while ((nl = pendingLine.find('\n')) != std::string::npos) {
                    std::cout << "@ " << Control(sim, pendingLine.substr(0, nl)) << std::endl;
                    pendingLine.erase(0, nl + 1);
                }
            }
        } else {
            usleep(40000);  // a stop is noticed within this
        }
        if (device.empty() && !sim.LineUp()) {
            // A dropped line comes back after a moment, as a re-plugged adapter does.
            for (int i = 0; i < 12 && !gStop; ++i)
                usleep(40000);
            if (gStop)
                break;
            const std::string path = sim.Replug();
            std::cout << "zenda-sim: line back on " << path << std::endl;
        }
    }
    sim.Stop();
    return 0;
}
