// The team's number book under load: PROCESSES station processes (default 8) share a plan of
// NUMBERS numbers (default 500) on one server, USED of them (default 0) used before they start;
// each knows what was used at its start (as a station does) and takes, begins and reports numbers
// as fast as it can until none is left. Prints the duplicates (goal: 0), the numbers given, one
// station's take-and-report time per number (goal: at most 10 ms) and the take alone (goal: at
// most 2 ms).
// usage: bench_team CONNINFO [PROCESSES] [NUMBERS] [FIRST] [USED]
#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>
#include <sys/wait.h>
#include <unistd.h>

#include "team/teambook.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_team CONNINFO [PROCESSES] [NUMBERS] [FIRST] [USED]\n");
        return 2;
    }
    const QString conninfo = QString::fromLocal8Bit(argv[1]);
    const int processes = argc > 2 ? std::atoi(argv[2]) : 8, numbers = argc > 3 ? std::atoi(argv[3]) : 500,
              first = argc > 4 ? std::atoi(argv[4]) : 20001, used = argc > 5 ? std::atoi(argv[5]) : 0;
    std::vector<int> plan;
    for (int n = first; n < first + numbers; ++n)
        plan.push_back(n);
    if (used > 0) {
        std::map<int, bool> done;
        for (int i = 0; i < used; ++i)
            done[plan[static_cast<size_t>(i)]] = true;
        TeamNumbers(conninfo)->MarkUsed(done);
    }
    const std::string dir = "/tmp/zenda-team-bench." + std::to_string(getpid());
    std::vector<pid_t> children;
    for (int p = 0; p < processes; ++p) {
        const pid_t pid = fork();
        if (pid == 0) {
            std::ofstream out(dir + "." + std::to_string(p));
            try {
                auto book = TeamNumbers(conninfo);
                // What was used at its start (connected before the clock starts), as a station knows.
                const std::set<int> before = book->Used(plan);
                std::vector<int> free;
                for (int n : plan)
                    if (!before.count(n))
                        free.push_back(n);
                for (;;) {
                    const auto t0 = std::chrono::steady_clock::now();
                    const auto n = book->Take(free);
                    const auto t1 = std::chrono::steady_clock::now();
                    if (!n)
                        break;
                    book->Begin(*n);
                    book->Finish(*n, true);
                    free.erase(std::find(free.begin(), free.end(), *n));
                    out << *n << ' '
                        << std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count() << ' '
                        << std::chrono::duration<double, std::milli>(t1 - t0).count() << '\n';
                }
            } catch (const std::exception& e) {
                std::fprintf(stderr, "bench_team: %s\n", e.what());
                _exit(1);
            }
            out.close();
            _exit(0);
        }
        children.push_back(pid);
    }
    const auto t0 = std::chrono::steady_clock::now();
    int failed = 0;
    for (pid_t c : children) {
        int st = 0;
        waitpid(c, &st, 0);
        failed += !(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::map<int, int> given;
    std::vector<double> ms, takes;
    for (int p = 0; p < processes; ++p) {
        std::ifstream in(dir + "." + std::to_string(p));
        int n;
        double t, take;
        while (in >> n >> t >> take) {
            ++given[n];
            ms.push_back(t);
            takes.push_back(take);
        }
        std::remove((dir + "." + std::to_string(p)).c_str());
    }
    int duplicates = 0;
    for (const auto& [n, times] : given)
        duplicates += times - 1;
    std::sort(ms.begin(), ms.end());
    std::sort(takes.begin(), takes.end());
    auto at = [](const std::vector<double>& v, double q) {
        return v.empty() ? 0.0 : v[std::min(v.size() - 1, static_cast<size_t>(q * v.size()))];
    };
    std::printf("team book: %d processes, %d numbers (%d used before): %zu given, %d duplicates (goal: 0), %d processes "
                "failed\n",
                processes, numbers, used, given.size(), duplicates, failed);
    std::printf("team book: take + begin + report a number: median %.2f ms, 90%% %.2f ms, 99%% %.2f ms, max %.2f ms "
                "(goal: at most 10 ms)\n",
                at(ms, 0.5), at(ms, 0.9), at(ms, 0.99), ms.empty() ? 0.0 : ms.back());
    std::printf("team book: the take alone: median %.2f ms, 90%% %.2f ms, 99%% %.2f ms (goal: at most 2 ms)\n",
                at(takes, 0.5), at(takes, 0.9), at(takes, 0.99));
    std::printf("team book: %.2f s in all, %.0f numbers a second\n", seconds, static_cast<double>(given.size()) / seconds);
    return duplicates == 0 && failed == 0 && static_cast<int>(given.size()) == numbers - used ? 0 : 1;
}
