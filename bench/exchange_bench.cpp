// The exchange against the simulator paced at 9600 bit/s both ways: total time over the
// line's own time (all bytes both ways x 10 / 9600), and the tool's turnaround.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "abort.h"
#include "exchange.h"
#include "session.h"
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

    // The whole initialization's exchange (model query, double read, verified write, leave)
    // by the engine's session and by the simplest peer, pyserial, against the same device.
    port.Close();
    const int rounds = 20;
    std::vector<double> engine, peer;
    {
        TDeviceSession session(ui);
        session.Open(0, 9600);
        sim.ClearLog();
        for (int i = 0; i < rounds; ++i) {
            session.ReadDeviceVersion();
            session.ReadDataFromDevice(b);
            session.SendInitData(b);
            session.LeaveInitMode();
        }
        engine = sim.Turnarounds();
    }
    sim.ClearLog();
    const std::string cmd = std::string("/usr/bin/python3 ") + ZENDA_BENCH_DIR + "/peer.py " + path + " " +
                            std::to_string(rounds) + " 2>&1";
    if (std::system(cmd.c_str()) == 0) {
        peer = sim.Turnarounds();
    } else {
        std::printf("exchange: the pyserial peer did not run (apt-get install python3-serial)\n");
    }
    auto worst = [](const std::vector<double>& v) { return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end()); };
    std::printf("exchange: whole-initialization turnaround, %d rounds: engine median %.3f ms (worst %.3f), "
                "pyserial peer median %.3f ms (worst %.3f); goal: engine <= peer\n",
                rounds, Median(engine), worst(engine), Median(peer), worst(peer));
    return 0;
}
