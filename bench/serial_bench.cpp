// Serial layer timing over a pseudo-terminal: wake-up latency, time-out accuracy and the
// cost of a per-call time-out. Prints its figures.
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "cport.h"

using Clock = std::chrono::steady_clock;

static double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int main()
{
    int master, slave;
    char name[256];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return 1;
    termios t;
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    const std::string path = name;
    SetPortNameResolver([&](const std::string&) { return path; });
    TComPort port;
    port.SetBaudRate(9600);
    port.Open(0);

    // 1. From the peer's last byte to Read's return.
    std::vector<double> wake;
    for (int i = 0; i < 300; ++i) {
        std::atomic<int64_t> sentNs{0};
        std::thread peer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            const uint8_t b[3] = {1, 2, 3};
            [[maybe_unused]] auto n = write(master, b, 2);
            std::this_thread::sleep_for(std::chrono::microseconds(300));
            sentNs = Clock::now().time_since_epoch().count();
            n = write(master, b + 2, 1);
        });
        uint8_t buf[3];
        port.Read(buf, 3, 1000);
        const int64_t back = Clock::now().time_since_epoch().count();
        peer.join();
        wake.push_back((back - sentNs) / 1e6);
    }

    // 2. A read that times out at 200 ms.
    std::vector<double> to;
    for (int i = 0; i < 11; ++i) {
        uint8_t b;
        const auto t0 = Clock::now();
        port.Read(&b, 1, 200);
        to.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }

    // 3. Cost of a per-call time-out: the same read of a buffered byte with the standing
    //    time-out (-1) and with another one (two extra time-out calls).
    auto timed = [&](int32_t timeout) {
        std::vector<double> v;
        for (int i = 0; i < 2000; ++i) {
            const uint8_t b = 0x55;
            [[maybe_unused]] auto n = write(master, &b, 1);
            uint8_t r;
            const auto t0 = Clock::now();
            port.Read(&r, 1, timeout);
            v.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }
        return Median(v);
    };
    port.SetReadTimeout(1000);
    const double standing = timed(-1);
    const double perCall = timed(500);

    std::printf("serial: wake-up after the last byte: median %.3f ms, worst %.3f ms (goal: median < 0.5 ms)\n",
                Median(wake), *std::max_element(wake.begin(), wake.end()));
    std::printf("serial: 200 ms time-out returns after: median %.2f ms, min %.2f, max %.2f (goal: 200..205)\n",
                Median(to), *std::min_element(to.begin(), to.end()), *std::max_element(to.begin(), to.end()));
    std::printf(
        "serial: read of a buffered byte: standing time-out %.1f us, per-call time-out %.1f us, "
        "added %.1f us (goal: < 50 us)\n",
        standing, perCall, perCall - standing);
    return 0;
}
