#include <chrono>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "sim_fixture.h"

namespace {

std::array<uint8_t, 72> Pattern()
{
    std::array<uint8_t, 72> a{};
    for (int i = 0; i < 72; ++i)
        a[i] = static_cast<uint8_t>(i * 7 + 3);
    return a;
}

// The exchange failure: what reached the caller and what was reported on the way.
struct Outcome {
    std::string thrown;  // "abort", a driver/plain error message, or "" for none
    std::vector<std::string> reported;
};

template <class F>
Outcome RunExchange(TRecordingUi& ui, F f)
{
    Outcome o;
    try {
        f();
    } catch (const EAbort&) {
        o.thrown = "abort";
    } catch (const std::exception& e) {
        o.thrown = e.what();
    }
    o.reported = ui.errors;
    return o;
}

class Exchange : public ::testing::Test {
protected:
    void SetUp() override
    {
        line.sim.SetImage(Pattern());
        port.SetBaudRate(9600);
        port.Open(0);
    }
    SimLine line;
    TComPort port;
    TRecordingUi ui;
    TDeviceExchange ex{port, ui};
};

}  // namespace

// ------------------------------------------------------------------ the image accessors

TEST(Image, Accessors)
{
    TImageBuffer b;
    EXPECT_EQ(b.ModelCode(), 0);
    for (int p = 1; p <= 72; ++p)
        ASSERT_EQ(b.At(p), 0);

    b.At(6) = 0xFF & ~0x0C;  // channel 2 bits clear, the rest set
    b.SetPair(6, 3, 3);
    EXPECT_EQ(b.At(6), 0xFF);
    b.At(6) = 0xF3;
    b.SetPair(6, 3, 2);
    EXPECT_EQ(b.At(6), 0xFB);
    b.SetPair(6, 1, 7);  // only the two low bits of the value
    EXPECT_EQ(b.At(6), 0xFB);

    b.SetWord(7, 65535);
    EXPECT_EQ(b.At(7), 0xFF);
    EXPECT_EQ(b.At(8), 0xFF);
    b.At(7) = 0x12;
    b.At(8) = 0x34;
    EXPECT_EQ(b.GetWord(7), 4660);

    b.At(10) = 0;
    b.SetBit(10, 5, true);
    b.SetBit(10, 4, true);
    b.SetBit(10, 4, false);
    EXPECT_EQ(b.At(10), 0x20);
    EXPECT_EQ(b.GetBit(10, 5), 1);
    EXPECT_EQ(BcdToInt(0xFF), 165);
    EXPECT_EQ(BcdToInt(0x59), 59);
}

TEST(Image, StampAndItsDisplay)
{
    TImageBuffer b;
    b.StampClock(TLocalTime{2099, 12, 31, 23, 59, 58});
    EXPECT_EQ(std::vector<uint8_t>(b.Bytes.begin(), b.Bytes.begin() + 5),
              (std::vector<uint8_t>{0x59, 0x23, 0x31, 0x12, 0x99}));
    b.StampClock(TLocalTime{2026, 3, 7, 9, 5, 0});
    EXPECT_EQ(b.StampTimeText(), "09:05");
    EXPECT_EQ(b.StampDateText(), "07/03/26");
    EXPECT_EQ(b.At(6), 0);  // nothing beyond the stamp
}

// ------------------------------------------------------------------ the exchange

TEST_F(Exchange, ModelQueryAndVerifiedRead)
{
    line.sim.SetModel(0xF2);
    EXPECT_EQ(ex.ReadDeviceVersion(), 0xF2);
    uint8_t img[72];
    ex.ReadDataFromDevice(img);
    EXPECT_EQ(0, std::memcmp(img, Pattern().data(), 72));
    EXPECT_EQ(line.sim.CommandCount(4), 2);
    EXPECT_EQ(ui.depth, 0);
    EXPECT_EQ(ui.maxDepth, 1);
}

TEST_F(Exchange, AcknowledgementsThatPassAndTheOneRefused)
{
    for (uint8_t ack : {0x00, 0x05}) {
        line.sim.SetAck(ack);
        EXPECT_EQ(ex.ReadDeviceVersion(), 0xF0);
    }
    line.sim.SetAck(0xFF);
    const auto o = RunExchange(ui, [&] { ex.ReadDeviceVersion(); });
    EXPECT_EQ(o.thrown, "abort");
    EXPECT_EQ(o.reported, std::vector<std::string>{"Ошибка: Ошибка приемо/передачи"});
    EXPECT_EQ(ui.depth, 0);
}

TEST_F(Exchange, FailureTableMessages)
{
    struct Row {
        zsim::Fault fault;
        std::function<void()> action;
        std::string thrown;
        std::string reported;
    };
    uint8_t img[72];
    const std::vector<Row> rows = {
        {{zsim::FaultKind::NoAnswer, 4}, [&] { ex.ReadDataFromDevice(img); }, "abort", "Ошибка: Нет ответа от прибора"},
        {{zsim::FaultKind::WrongEcho, 3}, [&] { ex.LeaveInitMode(); }, "abort", "Ошибка: Ошибка приемо/передачи"},
        {{zsim::FaultKind::ShortBlock, 4, -1, 10},
         [&] { ex.ReadDataFromDevice(img); },
         "abort",
         "Ошибка: Ошибка приема данных от прибора"},
        {{zsim::FaultKind::CorruptFirstRead, 4},
         [&] { ex.ReadDataFromDevice(img); },
         "abort",
         "Ошибка: Ошибка приема данных с прибора"},
        {{zsim::FaultKind::Garbage, 3, -1, 2}, [&] { ex.LeaveInitMode(); }, "abort", "Ошибка: Ошибка приемо/передачи"},
        {{zsim::FaultKind::NoAnswer, 5}, [&] { ex.ReadDeviceVersion(); }, "Нет ответа от прибора", ""},
        {{zsim::FaultKind::ShortBlock, 5, -1, 0},
         [&] { ex.ReadDeviceVersion(); },
         "Драйвер COM-порта: Нет ответа от запрашиваемого устройства.",
         ""},
    };
    for (const auto& r : rows) {
        line.sim.ClearFaults();
        line.sim.AddFault(r.fault);
        ui.errors.clear();
        const auto o = RunExchange(ui, r.action);
        EXPECT_EQ(o.thrown, r.thrown) << zsim::FaultName(r.fault.Kind);
        EXPECT_EQ(o.reported, r.reported.empty() ? std::vector<std::string>{} : std::vector<std::string>{r.reported})
            << zsim::FaultName(r.fault.Kind);
        EXPECT_EQ(ui.depth, 0);
        // What a refused answer still had on the way (garbage, an echo) must not reach the next row.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        port.PurgeAll();
    }
}

TEST_F(Exchange, ChangedFirstReadFailsAfterExactlySixReads)
{
    line.sim.AddFault({zsim::FaultKind::CorruptFirstRead, 4});
    line.sim.ClearLog();
    uint8_t img[72];
    const auto o = RunExchange(ui, [&] { ex.ReadDataFromDevice(img); });
    EXPECT_EQ(o.reported, std::vector<std::string>{"Ошибка: Ошибка приема данных с прибора"});
    EXPECT_EQ(line.sim.CommandCount(4), 6);
    // The buffer holds the first (changed) read of the last attempt.
    EXPECT_NE(0, std::memcmp(img, Pattern().data(), 72));
}

TEST_F(Exchange, AWriteThatFailsEveryAttemptIsOneFailureNotThreeBoxes)
{
    // Each attempt's refusal is kept, not shown; the last one is raised once, for the action to
    // say with what the device holds.
    const auto image = Pattern();
    for (auto [fault, message, readBacks] :
         {std::tuple{zsim::Fault{zsim::FaultKind::CorruptWriteEcho, 0}, "Ошибка приемо/прередачи: несовпадение принятых данных", 0},
          std::tuple{zsim::Fault{zsim::FaultKind::WrongEcho, 0}, "Ошибка приемо/передачи", 0},
          std::tuple{zsim::Fault{zsim::FaultKind::CorruptReadBack, 4, -1, 72}, "Ошибка приемо/прередачи: несовпадение принятых данных", 3}}) {
        line.sim.ClearFaults();
        line.sim.ClearLog();
        line.sim.AddFault(fault);
        ui.errors.clear();
        const auto o = RunExchange(ui, [&] { ex.SendInitData(image.data()); });
        EXPECT_EQ(o.thrown, message) << zsim::FaultName(fault.Kind);
        EXPECT_TRUE(o.reported.empty()) << ::testing::PrintToString(o.reported);
        EXPECT_EQ(line.sim.CommandCount(0), 3);
        EXPECT_EQ(line.sim.CommandCount(4), readBacks);  // no read-back after a bad echo
        EXPECT_EQ(ui.depth, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        port.PurgeAll();
    }
}

TEST_F(Exchange, ReadBackDiffersOnceThenNextAttemptSucceeds)
{
    line.sim.AddFault({zsim::FaultKind::CorruptReadBack, 4, 1});
    auto image = Pattern();
    image[50] = 0x99;
    const auto o = RunExchange(ui, [&] { ex.SendInitData(image.data()); });
    EXPECT_EQ(o.thrown, "");
    EXPECT_TRUE(o.reported.empty());  // a write that ends verified shows nothing of its first attempt
    EXPECT_EQ(line.sim.CommandCount(0), 2);
    EXPECT_EQ(line.sim.Image(), image);
    EXPECT_TRUE(line.sim.InInitMode());
    ex.LeaveInitMode();
    EXPECT_FALSE(line.sim.InInitMode());
}

TEST_F(Exchange, UninterpretedPositionsSurviveReadModifyWrite)
{
    TImageBuffer b;
    ex.ReadDataFromDevice(b.Image());
    b.SetWord(7, 1234);
    b.At(9) = 17;
    for (int p = 12; p <= 27; ++p)
        b.At(p) = 0;
    ex.SendInitData(b.Image());
    const auto after = line.sim.Image();
    const auto before = Pattern();
    for (int p = 28; p <= 72; ++p)
        ASSERT_EQ(after[p - 1], before[p - 1]) << p;
    EXPECT_EQ(after[6], 1234 >> 8);
    EXPECT_EQ(after[8], 17);
}

TEST_F(Exchange, LineDroppedMidBlockIsADriverErrorPromptly)
{
    line.sim.AddFault({zsim::FaultKind::DropLine, 4, -1, 10});
    uint8_t img[72];
    const auto t0 = std::chrono::steady_clock::now();
    const auto o = RunExchange(ui, [&] { ex.ReadDataFromDevice(img); });
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(o.thrown, "Драйвер COM-порта: Не удалось прочитать из COM-порта.");
    EXPECT_LT(ms, 900.0);
    EXPECT_EQ(ui.depth, 0);
}

TEST_F(Exchange, DelayedAnswerWithinTheEchoTimeoutPasses)
{
    line.sim.AddFault({zsim::FaultKind::Delay, 3, 1, 300});
    ex.LeaveInitMode();
    EXPECT_EQ(line.sim.CommandCount(3), 1);
}

TEST(SimFaults, Parse)
{
    zsim::Fault f{zsim::FaultKind::NoAnswer};
    std::string err;
    ASSERT_TRUE(zsim::ParseFault("short:10@4x2", f, err));
    EXPECT_EQ(f.Kind, zsim::FaultKind::ShortBlock);
    EXPECT_EQ(f.Param, 10);
    EXPECT_EQ(f.Command, 4);
    EXPECT_EQ(f.Remaining, 2);
    ASSERT_TRUE(zsim::ParseFault("delay:500", f, err));
    EXPECT_EQ(f.Command, -1);
    EXPECT_EQ(f.Remaining, -1);
    EXPECT_FALSE(zsim::ParseFault("melt", f, err));
    EXPECT_FALSE(zsim::ParseFault("short:x", f, err));
}

TEST(SimFaults, RefusesWhatIsNotPlain)
{
    zsim::Fault f{zsim::FaultKind::NoAnswer};
    std::string err;
    for (const char* bad :
         {"noanswerx-5", "short:-1", "delay: 5", "delay:5 ", "short:73", "garbage:999999", "delay:60001", "drop:74",
          "noanswer:5", "wrongecho@7", "noanswerx0", "short:", "badread:73", "delay:+5", "short", "delay@3",
          "garbage", "drop", "badread:0", "badecho:0", "badreadback:0"})
        EXPECT_FALSE(zsim::ParseFault(bad, f, err)) << bad;
    for (const char* good : {"short:72", "drop:73", "delay:60000", "garbage:4096", "badread:72@4x1", "ackff@5", "short:0",
                             "drop:0", "badread", "badecho:1@0", "badreadback:72"})
        EXPECT_TRUE(zsim::ParseFault(good, f, err)) << good << ": " << err;
}

// ------------------------------------------------------------------ refused answers leave no tail

namespace {
// One-off versions of every fault the simulator knows (a dropped line aside: it takes the
// line with it), aimed at the command given.
std::vector<zsim::Fault> OneOffFaults(int command)
{
    using K = zsim::FaultKind;
    return {{K::NoAnswer, command, 1},        {K::WrongEcho, command, 1},        {K::AckFF, command, 1},
            {K::ShortBlock, command, 1, 10},  {K::CorruptFirstRead, command, 1}, {K::CorruptWriteEcho, command, 1},
            {K::CorruptReadBack, command, 1}, {K::Delay, command, 1, 300},       {K::Garbage, command, 1, 3}};
}
}  // namespace

TEST_F(Exchange, AfterAOneOffRefusedReadTheNextReadGivesTheTrueImage)
{
    for (const auto& fault : OneOffFaults(4)) {
        if (fault.Kind == zsim::FaultKind::NoAnswer)
            continue;  // 4 s of waiting that shows nothing the others do not
        line.sim.ClearFaults();
        line.sim.AddFault(fault);
        uint8_t img[72];
        RunExchange(ui, [&] { ex.ReadDataFromDevice(img); });
        line.sim.ClearFaults();
        ui.errors.clear();
        const auto o = RunExchange(ui, [&] { ex.ReadDataFromDevice(img); });
        EXPECT_EQ(o.thrown, "") << zsim::FaultName(fault.Kind);
        EXPECT_TRUE(o.reported.empty()) << zsim::FaultName(fault.Kind);
        EXPECT_EQ(0, std::memcmp(img, Pattern().data(), 72)) << zsim::FaultName(fault.Kind);
    }
}

TEST_F(Exchange, AWriteGarbledOnceSucceedsOnItsSecondAttempt)
{
    using K = zsim::FaultKind;
    const std::vector<zsim::Fault> faults = {{K::WrongEcho, 0, 1},
                                             {K::Garbage, 0, 1, 3},
                                             {K::ShortBlock, 0, 1, 10},
                                             {K::CorruptWriteEcho, 0, 1},
                                             {K::ShortBlock, 4, 1, 5}};
    for (const auto& fault : faults) {
        line.sim.ClearFaults();
        line.sim.SetImage(Pattern());
        line.sim.ClearLog();
        line.sim.AddFault(fault);
        ui.errors.clear();
        auto image = Pattern();
        image[10] = 0x47;
        const auto o = RunExchange(ui, [&] { ex.SendInitData(image.data()); });
        const std::string name = zsim::FaultName(fault.Kind);
        EXPECT_EQ(o.thrown, "") << name;
        EXPECT_TRUE(o.reported.empty()) << name << ": " << ::testing::PrintToString(o.reported);
        EXPECT_EQ(line.sim.CommandCount(0), 2) << name;
        EXPECT_EQ(line.sim.Image(), image) << name;
    }
}

TEST_F(Exchange, UninterpretedPositionsSurviveEveryOneOffFault)
{
    // A glitch, then the user reads, then changes the correction: read, change 11, write.
    for (int command : {4, 0, 5}) {
        for (const auto& fault : OneOffFaults(command)) {
            if (fault.Kind == zsim::FaultKind::NoAnswer && command != 4)
                continue;  // the same 4 s wait once is enough
            line.sim.ClearFaults();
            line.sim.SetImage(Pattern());
            line.sim.AddFault(fault);
            TImageBuffer b;
            RunExchange(ui, [&] {
                ex.ReadDeviceVersion();
                ex.ReadDataFromDevice(b.Image());
            });
            RunExchange(ui, [&] { ex.ReadDataFromDevice(b.Image()); });
            RunExchange(ui, [&] {
                ex.ReadDataFromDevice(b.Image());
                b.At(11) = 0x12;
                ex.SendInitData(b.Image());
            });
            const auto after = line.sim.Image();
            for (int p = 28; p <= 72; ++p)
                ASSERT_EQ(after[p - 1], Pattern()[p - 1])
                    << zsim::FaultName(fault.Kind) << "@" << command << " at " << p;
        }
    }
}

TEST_F(Exchange, TheLastByteCountsInEveryCompare)
{
    uint8_t img[72];
    line.sim.AddFault({zsim::FaultKind::CorruptFirstRead, 4, -1, 72});
    line.sim.ClearLog();
    auto o = RunExchange(ui, [&] { ex.ReadDataFromDevice(img); });
    EXPECT_EQ(o.reported, std::vector<std::string>{"Ошибка: Ошибка приема данных с прибора"});
    EXPECT_EQ(line.sim.CommandCount(4), 6);

    for (const zsim::Fault& f : {zsim::Fault{zsim::FaultKind::CorruptWriteEcho, 0, -1, 72},
                                 zsim::Fault{zsim::FaultKind::CorruptReadBack, 4, -1, 72}}) {
        line.sim.ClearFaults();
        line.sim.AddFault(f);
        const auto image = Pattern();
        o = RunExchange(ui, [&] { ex.SendInitData(image.data()); });
        EXPECT_EQ(o.thrown, "Ошибка приемо/прередачи: несовпадение принятых данных") << zsim::FaultName(f.Kind);
    }
}

TEST_F(Exchange, SettlingIsBoundedByTheLineRate)
{
    // At 4800 bit/s ten bytes take 21 ms, a hundred 209: no second-long pauses after a glitch.
    port.Close();
    port.SetBaudRate(4800);
    port.Open(0);
    EXPECT_EQ(ex.QuietMs(), 21);
    EXPECT_EQ(ex.SettleLimitMs(), 21 + 209);
    port.Close();
    port.SetBaudRate(9600);
    port.Open(0);
    EXPECT_EQ(ex.QuietMs(), 20);
    EXPECT_LT(ex.SettleLimitMs(), 130);
}

// ------------------------------------------------------------------ the four time-outs, measured

namespace {
// How long a failing exchange took, in ms, from the call to the failure.
template <class F>
double TimeToFail(F f)
{
    const auto t0 = std::chrono::steady_clock::now();
    try {
        f();
    } catch (...) {}
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}
}  // namespace

TEST_F(Exchange, EchoTimeoutIs4000)
{
    line.sim.AddFault({zsim::FaultKind::NoAnswer, 3});
    const double ms = TimeToFail([&] { ex.LeaveInitMode(); });
    EXPECT_GE(ms, 3990);
    EXPECT_LT(ms, 4250);
}

TEST_F(Exchange, BlockTimeoutIs1000EvenForAShortAnswer)
{
    line.sim.AddFault({zsim::FaultKind::ShortBlock, 4, -1, 10});
    uint8_t img[72];
    const double ms = TimeToFail([&] { ex.ReadDataFromDevice(img); });
    EXPECT_GE(ms, 990);
    EXPECT_LT(ms, 1250);
}

TEST_F(Exchange, AcknowledgementTimeoutIs6000)
{
    line.sim.AddFault({zsim::FaultKind::NoAnswer, 5});
    const double ms = TimeToFail([&] { ex.ReadDeviceVersion(); });
    EXPECT_GE(ms, 5990);
    EXPECT_LT(ms, 6250);
}

TEST_F(Exchange, ModelCodeTimeoutIs5000)
{
    line.sim.AddFault({zsim::FaultKind::ShortBlock, 5, -1, 0});  // the acknowledgement only
    const double ms = TimeToFail([&] { ex.ReadDeviceVersion(); });
    EXPECT_GE(ms, 4990);
    EXPECT_LT(ms, 5250);
}

// ------------------------------------------------------------------ the settings model

#include "session.h"
#include "settings.h"

TEST(Settings, EachFieldAtItsPositionAndNowhereElse)
{
    struct Row {
        const char* what;
        std::function<void(TDeviceSettings&)> set;
        std::vector<std::pair<int, uint8_t>> bytes;  // position -> value, all others stay 0
    };
    const std::vector<Row> rows = {
        {"serial", [](TDeviceSettings& s) { s.SetSerialNumber(0x1234); }, {{7, 0x12}, {8, 0x34}}},
        {"serial modulo 65536", [](TDeviceSettings& s) { s.SetSerialNumber(65537); }, {{8, 0x01}}},
        {"address", [](TDeviceSettings& s) { s.SetAddress(63); }, {{9, 63}}},
        {"address modulo 256", [](TDeviceSettings& s) { s.SetAddress(257); }, {{9, 1}}},
        {"v2 reset", [](TDeviceSettings& s) { s.SetV2Reset(true); }, {{10, 0x10}}},
        {"pulse value ch1", [](TDeviceSettings& s) { s.SetPulseValueCode(1, 2); }, {{6, 0x02}}},
        {"pulse value ch2", [](TDeviceSettings& s) { s.SetPulseValueCode(2, 3); }, {{6, 0x0C}}},
        {"type ch1", [](TDeviceSettings& s) { s.SetInputType(1, 1); }, {{10, 0x01}}},
        {"type ch2", [](TDeviceSettings& s) { s.SetInputType(2, 2); }, {{10, 0x08}}},
        {"line test ch1", [](TDeviceSettings& s) { s.SetLineTest(1, true); }, {{10, 0x20}}},
        {"line test ch2", [](TDeviceSettings& s) { s.SetLineTest(2, true); }, {{10, 0x40}}},
        {"correction -7", [](TDeviceSettings& s) { s.SetCorrection(-7); }, {{11, 0x47}}},
        {"tp2 digits",
         [](TDeviceSettings& s) { s.SetCounterText(TCounter::Tp2, "1234530"); },
         {{16, 0x30}, {17, 0x45}, {18, 0x23}, {19, 0x01}}},
        {"v2 digits",
         [](TDeviceSettings& s) { s.SetCounterText(TCounter::V2, "12345678"); },
         {{24, 0x78}, {25, 0x56}, {26, 0x34}, {27, 0x12}}},
        {"stamp",
         [](TDeviceSettings& s) {
             s.StampClock({2026, 12, 8, 9, 5, 59});
         },
         {{1, 0x05}, {2, 0x09}, {3, 0x08}, {4, 0x12}, {5, 0x26}}},
    };
    for (const auto& r : rows) {
        TImageBuffer b;
        TDeviceSettings s(b);
        r.set(s);
        std::array<uint8_t, kBufferSize> want{};
        for (auto [p, v] : r.bytes)
            want[p - 1] = v;
        EXPECT_EQ(b.Bytes, want) << r.what;
    }
}

TEST(Settings, ReadsBackWhatTheDeviceHolds)
{
    TImageBuffer b;
    TDeviceSettings s(b);
    b.At(6) = 0x09;  // ch1 code 1, ch2 code 2
    b.At(7) = 0x30;
    b.At(8) = 0x39;  // 12345
    b.At(9) = 5;
    b.At(10) = 0x54;  // ch1 type 0, ch2 type 1, V2 flag, line test ch2
    b.At(11) = 0xC5;  // bit 7 ignored: -5
    for (int p = 12; p <= 27; ++p)
        b.At(p) = static_cast<uint8_t>((p / 10) << 4 | (p % 10));  // 0x12 .. 0x27
    b.At(26) = 0x1A;
    EXPECT_EQ(s.PulseValueCode(1), 1);
    EXPECT_EQ(s.PulseValueCode(2), 2);
    EXPECT_EQ(s.SerialNumber(), 12345);
    EXPECT_EQ(s.Address(), 5);
    EXPECT_EQ(s.InputType(1), 0);
    EXPECT_EQ(s.InputType(2), 1);
    EXPECT_TRUE(s.V2Reset());
    EXPECT_FALSE(s.LineTest(1));
    EXPECT_TRUE(s.LineTest(2));
    EXPECT_EQ(s.Correction(), -5);
    EXPECT_EQ(s.CounterText(TCounter::Tp1), "5141312");  // the high digit of byte 4 hidden
    EXPECT_EQ(s.CounterText(TCounter::V1), "23222120");
    EXPECT_EQ(s.VolumeMask(1), "0000000,0;0;_");
    EXPECT_EQ(s.VolumeMask(2), "0000000,0;0;_");  // type 1, code 2: 0,1 m3 a pulse
    EXPECT_TRUE(s.CounterIsBcd(TCounter::V1));
    EXPECT_FALSE(s.CounterIsBcd(TCounter::V2));  // 0x1A at 26
    s.ClearCounters();
    for (int p = 12; p <= 27; ++p)
        EXPECT_EQ(b.At(p), 0) << p;
    EXPECT_EQ(b.At(11), 0xC5);
    EXPECT_EQ(b.At(28), 0);
}

TEST(Settings, RangeRulesAndTheCorrectionCodec)
{
    EXPECT_TRUE(range::SerialNumber(0) && range::SerialNumber(65535));
    EXPECT_FALSE(range::SerialNumber(-1) || range::SerialNumber(65536));
    EXPECT_TRUE(range::Address(1) && range::Address(63));
    EXPECT_FALSE(range::Address(0) || range::Address(64));
    EXPECT_TRUE(range::Minutes(59));
    EXPECT_FALSE(range::Minutes(60));
    EXPECT_TRUE(range::Correction(-25) && range::Correction(25));
    EXPECT_FALSE(range::Correction(26) || range::Correction(-26));
    for (int v = -25; v <= 25; ++v)
        EXPECT_EQ(CorrectionValue(CorrectionByte(v)), v) << v;
    EXPECT_EQ(CorrectionByte(0), 0x00);    // never 0x40
    EXPECT_EQ(CorrectionValue(0x1F), 25);  // the units nibble counts above 9
    EXPECT_EQ(TDeviceSettings::ModelIndex(0xF2), 2);
    EXPECT_EQ(TDeviceSettings::ModelIndex(0xAA), -1);
}

// ------------------------------------------------------------------ the session and its observer

namespace {
struct Recorder : TPortObserver {
    std::vector<uint8_t> out, in;
    std::vector<std::pair<int32_t, int>> errors;
    void OnWrite(const uint8_t* b, int32_t n, TimePoint) override { out.insert(out.end(), b, b + n); }
    void OnRead(const uint8_t* b, int32_t n, TimePoint) override { in.insert(in.end(), b, b + n); }
    void OnError(int32_t code, int sys, TimePoint) override { errors.emplace_back(code, sys); }
};
}  // namespace

TEST(Session, OwnsThePortAndReportsEveryByte)
{
    SimLine line;
    line.sim.SetImage(Pattern());
    TRecordingUi ui;
    TDeviceSession s(ui);
    EXPECT_FALSE(s.IsOpen());
    EXPECT_THROW(s.CheckOpen(), EAbort);
    EXPECT_EQ(ui.errors, std::vector<std::string>{"Ошибка: COM-Порт не открыт"});
    s.Open(0, 9600);
    EXPECT_TRUE(s.IsOpen());
    EXPECT_EQ(s.BaudRate(), 9600);
    Recorder rec;
    s.SetObserver(&rec);
    TImageBuffer b;
    EXPECT_EQ(s.ReadDeviceVersion(), 0xF0);
    s.ReadDataFromDevice(b);
    EXPECT_EQ(0, std::memcmp(b.Image(), Pattern().data(), 72));
    // What the observer saw is what the simulator saw, in both directions (the simulator
    // logs an answer once it is all out: give it a moment).
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::vector<uint8_t> simIn, simOut;
    for (const auto& e : line.sim.Log())
        (e.FromTool ? simIn : simOut).insert((e.FromTool ? simIn : simOut).end(), e.Bytes.begin(), e.Bytes.end());
    EXPECT_EQ(rec.out, simIn);
    EXPECT_EQ(rec.in.size(), simOut.size());
    EXPECT_EQ(rec.in, simOut);
    EXPECT_EQ(rec.out, (std::vector<uint8_t>{5, 4, 4}));

    line.sim.AddFault({zsim::FaultKind::DropLine, 4, -1, 3});
    EXPECT_THROW(s.ReadDataFromDevice(b), EDriverError);
    ASSERT_FALSE(rec.errors.empty());
    EXPECT_EQ(rec.errors.back().first, 262);
    EXPECT_NE(rec.errors.back().second, 0);  // the system said why
    s.Close();
    EXPECT_FALSE(s.IsOpen());
    s.Close();  // closing twice is nothing
}
