// zenda against the simulator paced at 9600 bit/s: the total time of `zenda init` over the
// line time of its bytes, and zenda's cold start. Prints its figures.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "zsim.h"

using Clock = std::chrono::steady_clock;

namespace {
double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Runs zenda to its end with its output thrown away; the wall time in ms, or -1. Spawned,
// not forked: a fork copies this process first, which is not zenda's start.
double Time(const std::vector<std::string>& args, const std::string& config)
{
    std::vector<char*> argv{const_cast<char*>(ZENDA_CLI_PATH)};
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const std::string home = "XDG_CONFIG_HOME=" + config;
    std::vector<char*> env{const_cast<char*>(home.c_str()), nullptr};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    const auto t0 = Clock::now();
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0)
        return -1;
    int st = 0;
    waitpid(pid, &st, 0);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    return WIFEXITED(st) && WEXITSTATUS(st) == 0 ? ms : -1;
}
}  // namespace

int main()
{
    char tmpl[] = "/tmp/zenda-clibench.XXXXXX";
    const std::filesystem::path dir = mkdtemp(tmpl);
    zsim::Options opt;
    opt.Baud = 9600;
    zsim::Simulator sim(opt);
    const std::string path = sim.StartPty();
    std::filesystem::create_directories(dir / "ЛЮМРАД");
    std::ofstream(dir / "ЛЮМРАД" / "Инициализация ЗЕНДИН.conf") << "[General]\nBaudRate=1\n[Ports]\nCOM1=" << path << "\n";

    std::vector<double> ratio, totals, exchange;
    for (int i = 0; i < 10; ++i) {
        sim.ClearLog();
        const double ms = Time({"--yes", "init"}, dir.string());
        size_t bytes = 0;
        for (const auto& e : sim.Log())
            bytes += e.Bytes.size();
        if (ms < 0 || bytes == 0) {
            std::printf("cli: zenda init failed\n");
            return 1;
        }
        totals.push_back(ms);
        const double line = bytes * 10.0 / 9600 * 1000;
        ratio.push_back(ms / line);
        // From the first command byte at the device to the last answer out, plus that first
        // byte's own time on the line: the exchange without the program's start and end.
        const auto log = sim.Log();
        exchange.push_back((log.back().Ms - log.front().Ms + 10.0 / 9600 * 1000) / line);
    }
    std::vector<double> start;
    for (int i = 0; i < 21; ++i)
        start.push_back(Time({"--version"}, dir.string()));
    std::printf("cli: zenda init (model query, double read, verified write): %.1f ms, total / line time = %.4f, "
                "the exchange alone (first byte to last) / line time = %.4f (medians of 10; goal <= 1.01)\n",
                Median(totals), Median(ratio), Median(exchange));
    std::printf("cli: cold start (zenda --version): median %.1f ms of 21 (goal < 20 ms)\n", Median(start));
    std::filesystem::remove_all(dir);
    return 0;
}
