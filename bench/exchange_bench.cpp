// The exchange against the simulator paced at 9600 bit/s both ways: total time over the
// line's own time (all bytes both ways x 10 / 9600), and the tool's turnaround.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "abort.h"
#include "exchange.h"
#include "zsim.h"

using Clock = std::chrono::steady_clock;

namespace {
double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}
size_t WireBytes(const zsim::Simulator& sim)
{
    size_t n = 0;
    for (const auto& e : sim.Log())
        n += e.Bytes.size();
    return n;
}
}  // namespace

int main()
{
    zsim::Options opt;
    opt.Baud = 9600;
    zsim::Simulator sim(opt);
    const std::string path = sim.StartPty();
    SetPortNameResolver([&](const std::string&) { return path; });
    TComPort port;
    port.SetBaudRate(9600);
    port.Open(0);
    TDeviceUi ui;
    TDeviceExchange ex(port, ui);
    TImageBuffer b;

    std::vector<double> readRatio, writeRatio, turn;
    for (int i = 0; i < 10; ++i) {
        sim.ClearLog();
        auto t0 = Clock::now();
        ex.ReadDeviceVersion();
        ex.ReadDataFromDevice(b.Image());
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        readRatio.push_back(ms / (WireBytes(sim) * 10.0 / 9600 * 1000));
        for (double t : sim.Turnarounds())
            turn.push_back(t);

        sim.ClearLog();
        t0 = Clock::now();
        ex.SendInitData(b.Image());
        ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        writeRatio.push_back(ms / (WireBytes(sim) * 10.0 / 9600 * 1000));
        for (double t : sim.Turnarounds())
            turn.push_back(t);
    }
    std::printf("exchange: model query + double read: total / wire time = %.4f (median of 10; goal <= 1.02)\n",
                Median(readRatio));
    std::printf("exchange: verified write: total / wire time = %.4f (median of 10; goal <= 1.02)\n",
                Median(writeRatio));
    std::printf(
        "exchange: tool turnaround (simulator's last byte out -> tool's next byte in): median %.3f ms, "
        "worst %.3f ms\n",
        Median(turn), turn.empty() ? 0.0 : *std::max_element(turn.begin(), turn.end()));
    return 0;
}
