// Cold start of zenda-init to its main window shown (offscreen), and its peak resident
// memory after a read of the simulator. Prints its figures.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "zsim.h"

using Clock = std::chrono::steady_clock;

namespace {
struct Child {
    pid_t pid;
    int to, from;
    std::string buf;
    std::string Line(int timeoutMs)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto nl = buf.find('\n');
            if (nl != std::string::npos) {
                std::string l = buf.substr(0, nl);
                buf.erase(0, nl + 1);
                if (l.rfind("@ ", 0) == 0)
                    return l.substr(2);
                continue;
            }
            const int left =
                static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
            pollfd p{from, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, left) <= 0)
                return "";
            char b[1024];
            const ssize_t n = read(from, b, sizeof b);
            if (n <= 0)
                return "";
            buf.append(b, static_cast<size_t>(n));
        }
    }
    std::string Cmd(const std::string& c)
    {
        const std::string l = c + "\n";
        [[maybe_unused]] auto n = write(to, l.data(), l.size());
        return Line(30000);
    }
    void Stop()
    {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        close(to);
        close(from);
    }
};

Child Start(const std::string& exe, const std::string& config)
{
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0)
        std::exit(1);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        execl(exe.c_str(), exe.c_str(), "--automation", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    return Child{pid, in[1], out[0], {}};
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
}  // namespace

int main(int argc, char** argv)
{
    const std::string exe = argc > 1 ? argv[1] : ZENDA_INIT_PATH;
    zsim::Options opt;
    opt.Pace = false;
    zsim::Simulator sim(opt);
    std::array<uint8_t, 72> image{};
    image[6] = 0x30;  // serial number 12345, so the read is seen on screen
    image[7] = 0x39;
    sim.SetImage(image);
    const std::string line = sim.StartPty();
    const auto dir = std::filesystem::temp_directory_path() / ("zenda-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir / "ЛЮМРАД");
    std::ofstream(dir / "ЛЮМРАД" / "Инициализация ЗЕНДИН.conf") << "[Ports]\nCOM1=" << line << "\n";

    std::vector<double> start, inProcess;
    std::string rss;
    for (int i = 0; i < 11; ++i) {
        const auto t0 = Clock::now();
        Child c = Start(exe, dir.string());
        const std::string shown = c.Line(30000);  // "shown <ms since the program's start>"
        start.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        inProcess.push_back(std::atof(shown.c_str() + 6));
        if (i == 0) {
            c.Cmd("click Button_Read_Ini");
            for (int k = 0; k < 500; ++k) {
                const std::string st = c.Cmd("state");
                if (st.find("busy=0") != std::string::npos && st.find("started=2") != std::string::npos)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            std::printf("startup: after a read the window shows serial number '%s'\n", c.Cmd("get Number").c_str());
            rss = c.Cmd("rss");
        }
        c.Stop();
    }
    std::filesystem::remove_all(dir);
    std::printf(
        "startup: cold start to the main window shown (offscreen): median %.1f ms over %zu runs, "
        "min %.1f, max %.1f (goal < 150 ms); inside the program: median %.0f ms\n",
        Median(start), start.size(), *std::min_element(start.begin(), start.end()),
        *std::max_element(start.begin(), start.end()), Median(inProcess));
    std::printf("startup: peak resident memory after a read of the simulator: %s (goal < 40 MB)\n", rss.c_str());
    return 0;
}
