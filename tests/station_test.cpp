// The production station below its faces, driven with no terminal: two simulated fixtures, a
// host that listens and can stop it, the number book over a ledger of its own.
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>

#include "numbers/numberbook.h"
#include "records/records.h"
#include "station/station.h"
#include "zsim.h"

namespace {
// A device as one comes from the field, new (number 0, in initialization mode, when put on).
std::array<uint8_t, 72> FieldImage()
{
    std::array<uint8_t, 72> image{};
    const uint8_t head[27] = {0x30, 0x14, 0x01, 0x12, 0x26, 0x05, 0x00, 0x00, 0x05, 0x24, 0x05, 0x15, 0x02, 0x00,
                              0x00, 0x45, 0x01, 0x00, 0x00, 0x78, 0x56, 0x34, 0x00, 0x00, 0x10, 0x00, 0x00};
    std::copy(std::begin(head), std::end(head), image.begin());
    return image;
}

struct THost : TStationHost {
    void Report(const TStationEvent& e) override
    {
        std::lock_guard<std::mutex> l(m);
        events.push_back(e);
        if (e.kind == TStationEvent::Done && stopAfterFirst)
            stop = 1;
    }
    int StopAsked() const override { return stop; }
    std::map<int, int> Done()
    {
        std::lock_guard<std::mutex> l(m);
        std::map<int, int> done;
        for (const auto& e : events)
            done[e.serial] += e.kind == TStationEvent::Done;
        std::erase_if(done, [](const auto& d) { return d.second == 0; });
        return done;
    }
    std::mutex m;
    std::vector<TStationEvent> events;
    std::atomic<int> stop{0};
    bool stopAfterFirst = false;
};

// Runs a plan of count numbers from first on two fixtures; what the host heard.
void RunPlan(THost& host, int first, int count)
{
    zsim::Options o;
    o.Pace = false;
    zsim::Simulator a(o), b(o);
    for (auto* sim : {&a, &b}) {
        sim->SetImage(FieldImage());
        sim->SetFixture({60, 60, {}});
        sim->PutOn(0);
    }
    const std::string la = a.StartPty(), lb = b.StartPty();
    std::vector<TPlanRow> rows;
    for (int n = first; n < first + count; ++n)
        rows.push_back({n, 3, {}, {}, -1, 0});
    TNumberBook book(rows);
    book.Load(TServiceRecords::JournalPath(), DataFolder() + QStringLiteral("/backups"), false);
    TStationOptions opt;
    opt.program = QStringLiteral("station_test");
    opt.ports = {QString::fromStdString(la), QString::fromStdString(lb)};
    opt.pollMs = 30;
    TStation station(opt, book, host);
    station.OpenPorts();
    station.Run();
}
}  // namespace

TEST(Station, NumbersABatchOnTwoFixturesForAHostWithNoTerminal)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    setenv("XDG_DATA_HOME", dir.path().toUtf8().constData(), 1);

    THost host;
    RunPlan(host, 5001, 4);
    const std::map<int, int> all = {{5001, 1}, {5002, 1}, {5003, 1}, {5004, 1}};
    EXPECT_EQ(host.Done(), all);
    const auto journal = TServiceRecords::ReadJournal(TServiceRecords::JournalPath());
    int written = 0;
    for (const TJournalLine& l : journal)
        written += l.action == QStringLiteral("init") && l.outcome == QStringLiteral("выполнено");
    EXPECT_EQ(written, 4);

    // Stopped by its host after the first device of a new run: each fixture ends after its own,
    // the rest of the plan is left, and a number is never given twice across the two runs.
    THost stopping;
    stopping.stopAfterFirst = true;
    RunPlan(stopping, 5001, 8);
    const std::map<int, int> more = stopping.Done();
    EXPECT_GE(more.size(), 1u);
    EXPECT_LE(more.size(), 2u);
    for (const auto& [n, times] : more) {
        EXPECT_EQ(times, 1) << n;
        EXPECT_GT(n, 5004) << n;
    }
}
