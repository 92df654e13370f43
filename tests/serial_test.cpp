#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <pthread.h>
#include <csignal>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "comm_posix.h"
#include "cport.h"
#include "fake_comm.h"

namespace {

const std::string kPort = "Драйвер COM-порта: ";

std::string MessageOf(const std::function<void()>& f, int32_t* code = nullptr)
{
    try {
        f();
    } catch (const EDriverError& e) {
        if (code)
            *code = e.ErrorCode;
        return e.what();
    }
    return "<no error>";
}

// A driver whose only name is its own, to stand as an owner.
class TOwner : public TKestDriver {
public:
    std::string GetDriverName() const override { return "Владелец"; }
    std::string ErrorText(int32_t Code) const override
    {
        return Code == 300 ? "текст владельца" : TKestDriver::ErrorText(Code);
    }
};

}  // namespace

// ------------------------------------------------------------------ error texts

TEST(DriverErrors, TextsOfEveryCodeLetterForLetter)
{
    FakeCommApi api;
    TComPort port(&api);
    const struct {
        int32_t code;
        const char* text;
    } rows[] = {
        {0, "Неподдерживаемая команда"},
        {4, "Нет ответа от устройства"},
        {257, "Неправильный номер COM-порта."},
        {259, "Ошибка открытия \u0421\u041e\u041c-порта"},
        {260, "Не удала\u0063ь проинициализировать \u0421OM-порт."},
        {264, "Нет ответа от запрашиваемого устройства."},
        {300, "Неизвестный код ошибки $12C. Сообщите, пожалуйста, разработчикам программы."},
        {256, "Неизвестный код ошибки $100. Сообщите, пожалуйста, разработчикам программы."},
        {265, "Неизвестный код ошибки $109. Сообщите, пожалуйста, разработчикам программы."},
        {-1, "Неизвестный код ошибки $FFFFFFFF. Сообщите, пожалуйста, разработчикам программы."},
    };
    for (const auto& r : rows) {
        int32_t code = 0;
        EXPECT_EQ(MessageOf([&] { port.RaiseError(r.code); }, &code), kPort + r.text) << r.code;
        EXPECT_EQ(code, r.code);
    }
}

TEST(DriverErrors, MessageAndOwner)
{
    FakeCommApi api;
    TComPort port(&api);
    int32_t code = 0;
    EXPECT_EQ(MessageOf([&] { port.RaiseError(261, "свой текст"); }, &code), "свой текст");
    EXPECT_EQ(code, 261);

    TOwner owner;
    port.OwnerDriver = &owner;
    // The owner's name, the port's own table first, then the owner's texts.
    EXPECT_EQ(MessageOf([&] { port.RaiseError(258); }), "Владелец: COM-порт не открыт.");
    EXPECT_EQ(MessageOf([&] { port.RaiseError(300); }), "Владелец: текст владельца");
    EXPECT_EQ(MessageOf([&] { port.RaiseError(1); }), "Владелец: Ошибка CRC");
}

// ------------------------------------------------------------------ settings and Open (fake)

TEST(PortSettings, DcbOfEachSetting)
{
    FakeCommApi api;
    TComPort port(&api);
    TDCB d = port.BuildDCB();
    EXPECT_EQ(d.DCBlength, 28u);
    EXPECT_EQ(d.Flags, 0x11u);
    EXPECT_EQ(d.BaudRate, 2400u);
    EXPECT_EQ(d.ByteSize, 8);
    EXPECT_EQ(d.Parity, 0);
    EXPECT_EQ(d.StopBits, 0);

    const std::pair<TParity, uint8_t> parities[] = {
        {TParity::Mark, 3}, {TParity::Space, 4}, {TParity::Odd, 1}, {TParity::Even, 2}};
    for (auto [p, sys] : parities) {
        port.SetParity(p);
        d = port.BuildDCB();
        EXPECT_EQ(d.Parity, sys);
        EXPECT_TRUE(d.Flags & dcb::fParity);
    }
    port.SetParityCheck(false);
    EXPECT_FALSE(port.BuildDCB().Flags & dcb::fParity);

    port.SetStopBits(TStopBits::Two);
    EXPECT_EQ(port.BuildDCB().StopBits, 2);
    port.SetStopBits(TStopBits::OneAndHalf);
    EXPECT_EQ(port.BuildDCB().StopBits, 1);

    port.SetRtsToggle(true);
    EXPECT_EQ(dcb::RtsControl(port.BuildDCB()), 3u);
    port.SetRtsEnable(true);  // enable wins over toggle
    EXPECT_EQ(dcb::RtsControl(port.BuildDCB()), 1u);
    port.SetDtrEnable(false);
    EXPECT_EQ(dcb::DtrControl(port.BuildDCB()), 0u);
    port.SetCtsFlow(true);
    EXPECT_TRUE(port.BuildDCB().Flags & dcb::fOutxCtsFlow);
    port.SetDataBits(0x107);
    EXPECT_EQ(port.BuildDCB().ByteSize, 7);
}

TEST(PortOpen, StepsInOrderAndNames)
{
    FakeCommApi api;
    TComPort port(&api);
    port.SetEventMask(0x80);
    port.SetReadTimeout(1234);
    port.Open(9);
    EXPECT_EQ(api.lastName, "COM10");
    EXPECT_TRUE(port.IsOpen());
    const std::vector<std::string> want = {"CreateFile", "SetCommState", "Purge:15", "PurgeComm",  "SetCommTimeouts",
                                           "Mask:0",     "SetCommMask",  "Mask:128", "SetCommMask"};
    EXPECT_EQ(api.calls, want);
    EXPECT_EQ(api.timeouts.ReadTotalTimeoutConstant, 1234u);
    EXPECT_EQ(api.timeouts.ReadIntervalTimeout, 0u);
}

TEST(PortOpen, EachStepStopsAtFirstFailureAndEndsClosed)
{
    for (const char* step : {"SetCommState", "PurgeComm", "SetCommTimeouts", "SetCommMask"}) {
        FakeCommApi api;
        api.failAt[step] = 1;
        TComPort port(&api);
        int32_t code = 0;
        MessageOf([&] { port.Open(0); }, &code);
        EXPECT_EQ(code, 260) << step;
        EXPECT_FALSE(port.IsOpen()) << step;
        EXPECT_EQ(api.Count("CloseHandle"), 1) << step;
        // Nothing after the failed step.
        EXPECT_EQ(api.calls[api.calls.size() - 1], "CloseHandle");
        EXPECT_EQ(api.calls[api.calls.size() - 2], step);
    }
}

TEST(PortOpen, StateAfterEachFailure)
{
    FakeCommApi api;
    TComPort port(&api);
    port.Open(1);
    const THandle h = port.GetHandle();
    int32_t code = 0;
    // 257 changes nothing, the port stays open.
    MessageOf([&] { port.Open(-1); }, &code);
    EXPECT_EQ(code, 257);
    MessageOf([&] { port.Open(16); }, &code);
    EXPECT_EQ(code, 257);
    EXPECT_EQ(port.GetHandle(), h);
    EXPECT_EQ(port.PortIndex, 1);
    // 259 closes the old port and keeps the index asked for.
    api.openOk = false;
    MessageOf([&] { port.Open(2); }, &code);
    EXPECT_EQ(code, 259);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.PortIndex, 2);
    EXPECT_EQ(api.Count("CloseHandle"), 1);
    // Close on a closed port does nothing.
    port.Close();
    EXPECT_EQ(api.Count("CloseHandle"), 1);
}

TEST(PortRead, TimeoutCallsPerRead)
{
    FakeCommApi api;
    TComPort port(&api);
    port.Open(0);
    api.setTimeouts.clear();
    uint8_t buf[4];
    port.Read(buf, 4, -1);
    port.Read(buf, 4, 0);  // the standing value
    EXPECT_TRUE(api.setTimeouts.empty());
    port.Read(buf, 4, 4000);
    ASSERT_EQ(api.setTimeouts.size(), 2u);
    EXPECT_EQ(api.setTimeouts[0].ReadTotalTimeoutConstant, 4000u);
    EXPECT_EQ(api.setTimeouts[1].ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(port.ReadTimeout, 0);

    // A failed read restores the standing value before raising 262.
    api.failAt["ReadFile"] = 0;
    int32_t code = 0;
    MessageOf([&] { port.Read(buf, 1, 1000); }, &code);
    EXPECT_EQ(code, 262);
    EXPECT_EQ(port.ReadTimeout, 0);
    EXPECT_EQ(api.timeouts.ReadTotalTimeoutConstant, 0u);

    // Applying the per-call value fails: 260 before reading, and the record keeps what the
    // system has, so the next read with that value tries to apply it again.
    api.failAt.clear();
    api.failAt["SetCommTimeouts"] = 0;
    const int readsBefore = api.Count("ReadFile");
    MessageOf([&] { port.Read(buf, 1, 500); }, &code);
    EXPECT_EQ(code, 260);
    EXPECT_EQ(port.ReadTimeout, 0);
    EXPECT_EQ(port.Timeouts.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(api.Count("ReadFile"), readsBefore);
    api.failAt.clear();
    api.setTimeouts.clear();
    port.Read(buf, 1, 500);
    ASSERT_EQ(api.setTimeouts.size(), 2u);
    EXPECT_EQ(api.setTimeouts[0].ReadTotalTimeoutConstant, 500u);
}

TEST(PortRead, ReadAvailableRestoresSystemTimeouts)
{
    FakeCommApi api;
    TComPort port(&api);
    port.SetReadTimeout(700);
    port.Open(0);
    api.input = {1, 2};
    uint8_t buf[8];
    EXPECT_EQ(port.ReadAvailable(buf, 8), 2);
    EXPECT_EQ(api.setTimeouts[1].ReadIntervalTimeout, MAXDWORD_);
    EXPECT_EQ(api.timeouts.ReadTotalTimeoutConstant, 700u);
    EXPECT_EQ(port.ReadTimeout, 700);
}

TEST(PortClosed, CodesOnAClosedPort)
{
    FakeCommApi api;
    TComPort port(&api);
    uint8_t b = 0;
    int32_t code = 0;
    MessageOf([&] { port.Read(&b, 1, 10); }, &code);
    EXPECT_EQ(code, 258);
    MessageOf([&] { port.ReadAvailable(&b, 1); }, &code);
    EXPECT_EQ(code, 258);
    MessageOf([&] { port.PurgeAll(); }, &code);
    EXPECT_EQ(code, 258);
    MessageOf([&] { port.WriteByte(1); }, &code);
    EXPECT_EQ(code, 263);
}

TEST(PortModem, FailedStatusAnswersFalse)
{
    FakeCommApi api;
    TComPort port(&api);
    port.Open(0);
    api.modemStatus = 0xF0;
    EXPECT_TRUE(port.IsCTS());
    EXPECT_TRUE(port.IsRLSD());
    api.failAt["GetCommModemStatus"] = 0;
    EXPECT_FALSE(port.ModemLineOn(0));  // even the empty mask: nothing is known
    EXPECT_FALSE(port.IsCTS());
    EXPECT_FALSE(port.IsDSR());
    port.SetDTR();
    port.ClearRTS();
    EXPECT_EQ(api.Count("Escape:5"), 1);
    EXPECT_EQ(api.Count("Escape:4"), 1);
}

TEST(PortMisc, PurgesAndAssign)
{
    FakeCommApi api;
    TComPort port(&api);
    port.Open(0);
    port.PurgeInput();
    port.PurgeOutput();
    EXPECT_EQ(api.calls[api.calls.size() - 4], "Purge:8");
    EXPECT_EQ(api.calls[api.calls.size() - 2], "Purge:5");
    api.failAt["PurgeComm"] = 0;
    int32_t code = 0;
    MessageOf([&] { port.PurgeAll(); }, &code);
    EXPECT_EQ(code, 261);

    TComPort other(&api);
    other.SetBaudRate(9600);
    other.SetParity(TParity::Even);
    other.SetReadTimeout(55);
    other.SetDataBits(7);
    other.SetDtrEnable(false);
    TComPort receiver(&api);
    receiver.AssignSettings(other);
    EXPECT_EQ(receiver.BaudRate, 9600);
    EXPECT_EQ(receiver.Parity, TParity::Even);
    EXPECT_EQ(receiver.ReadTimeout, 55);
    EXPECT_EQ(receiver.DataBits, 8);
    EXPECT_TRUE(receiver.DtrEnable);
    EXPECT_EQ(SharedComTable()[15].Handle, INVALID_HANDLE_VALUE_);
}

TEST(PosixMapping, TermiosFromDcb)
{
    FakeCommApi api;
    TComPort port(&api);
    port.SetBaudRate(9600);
    termios t{};
    t.c_iflag = ICRNL | IXON | ISTRIP;
    t.c_lflag = ICANON | ECHO;
    ASSERT_TRUE(DcbToTermios(port.BuildDCB(), t));
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS));
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON | ISTRIP), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    port.SetParity(TParity::Mark);
    ASSERT_TRUE(DcbToTermios(port.BuildDCB(), t));
    EXPECT_TRUE(t.c_cflag & CMSPAR);
    EXPECT_TRUE(t.c_cflag & PARODD);
    port.SetBaudRate(12345);  // no such standard rate: the settings fail
    EXPECT_FALSE(DcbToTermios(port.BuildDCB(), t));
    EXPECT_EQ(ModemBitsToStatus(TIOCM_CTS | TIOCM_CAR), MS_CTS_ON_ | MS_RLSD_ON_);
}

TEST(PosixMapping, PortNames)
{
    EXPECT_EQ(DefaultPortPath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(DefaultPortPath("COM16"), "/dev/ttyS15");
    EXPECT_EQ(DefaultPortPath("/dev/ttyUSB0"), "/dev/ttyUSB0");
}

// ------------------------------------------------------------------ over a real pseudo-terminal

class PtyFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[256];
        ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        termios t;
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
        path = name;
        SetPortNameResolver([this](const std::string& n) { return n == "COM1" ? path : DefaultPortPath(n); });
    }
    void TearDown() override
    {
        SetPortNameResolver(nullptr);
        if (master >= 0)
            close(master);
        close(slave);
    }
    void PeerWrite(const std::vector<uint8_t>& bytes)
    {
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    static double Since(std::chrono::steady_clock::time_point t)
    {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
    }
    int master = -1, slave = -1;
    std::string path;
};

TEST_F(PtyFixture, ReadReturnsAsSoonAsAllBytesAreIn)
{
    TComPort port;
    port.Open(0);
    std::thread peer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        PeerWrite({1, 2, 3});
    });
    uint8_t buf[3];
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Read(buf, 3, 4000), 3);
    EXPECT_LT(Since(t0), 1000.0);
    peer.join();
    EXPECT_EQ(buf[2], 3);
}

TEST_F(PtyFixture, TimeoutReturnsWhatCameAndZeroWaits)
{
    TComPort port;
    port.Open(0);
    PeerWrite({7});
    uint8_t buf[4] = {};
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Read(buf, 4, 100), 1);
    const double took = Since(t0);
    EXPECT_GE(took, 100.0);
    EXPECT_LT(took, 1000.0);
    EXPECT_EQ(buf[0], 7);

    // Time-out 0: no time-out, waits for a late writer.
    std::thread peer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        PeerWrite({8, 9});
    });
    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Read(buf, 2, -1), 2);
    EXPECT_GE(Since(t0), 140.0);
    peer.join();

    // ReadAvailable returns at once with what is there, then 0.
    PeerWrite({5, 6});
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(port.ReadAvailable(buf, 4), 2);
    EXPECT_EQ(port.ReadAvailable(buf, 4), 0);
    EXPECT_LT(Since(t0), 50.0);
}

TEST_F(PtyFixture, ReadExactShortKeepsBytes)
{
    TComPort port;
    port.Open(0);
    std::vector<uint8_t> seventyOne(71);
    for (int i = 0; i < 71; ++i)
        seventyOne[i] = static_cast<uint8_t>(i + 1);
    PeerWrite(seventyOne);
    uint8_t buf[72] = {};
    int32_t code = 0;
    MessageOf([&] { port.ReadExact(buf, 72, 100); }, &code);
    EXPECT_EQ(code, 264);
    EXPECT_EQ(buf[70], 71);
    EXPECT_TRUE(port.IsOpen());
}

TEST_F(PtyFixture, EveryByteValuePassesBothWays)
{
    TComPort port;
    port.SetBaudRate(9600);
    port.Open(0);
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<uint8_t>(i);
    PeerWrite(all);
    uint8_t got[256] = {};
    ASSERT_EQ(port.Read(got, 256, 1000), 256);
    EXPECT_EQ(std::vector<uint8_t>(got, got + 256), all);

    EXPECT_EQ(port.Write(all.data(), 256), 256);
    std::vector<uint8_t> back;
    while (back.size() < 256) {
        uint8_t b[256];
        const ssize_t k = read(master, b, sizeof b);
        ASSERT_GT(k, 0);
        back.insert(back.end(), b, b + k);
    }
    EXPECT_EQ(back, all);
}

TEST_F(PtyFixture, SecondOpenFailsAndWorksAfterClose)
{
    TComPort a, b;
    a.Open(0);
    int32_t code = 0;
    MessageOf([&] { b.Open(0); }, &code);
    EXPECT_EQ(code, 259);
    EXPECT_FALSE(b.IsOpen());
    a.Close();
    b.Open(0);
    EXPECT_TRUE(b.IsOpen());
}

TEST_F(PtyFixture, PeerClosingMidReadFailsPromptly)
{
    TComPort port;
    port.Open(0);
    std::thread peer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        close(master);
        master = -1;
    });
    uint8_t buf[4];
    int32_t code = 0;
    const auto t0 = std::chrono::steady_clock::now();
    MessageOf([&] { port.Read(buf, 4, -1); }, &code);  // no time-out at all
    peer.join();
    EXPECT_EQ(code, 262);
    EXPECT_LT(Since(t0), 2000.0);
}

TEST_F(PtyFixture, MissingDeviceOrDirectoryIs259)
{
    SetPortNameResolver(
        [](const std::string& n) { return n == "COM2" ? std::string("/tmp") : std::string("/dev/nonexistent-zenda"); });
    TComPort port;
    int32_t code = 0;
    MessageOf([&] { port.Open(1); }, &code);
    EXPECT_EQ(code, 259);
    MessageOf([&] { port.Open(0); }, &code);
    EXPECT_EQ(code, 259);
}

TEST_F(PtyFixture, ReceivePurgeEmptiesInput)
{
    TComPort port;
    port.Open(0);
    PeerWrite({1, 2, 3});
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    port.PurgeInput();
    uint8_t buf[3];
    EXPECT_EQ(port.ReadAvailable(buf, 3), 0);
}

// A signal without SA_RESTART changes neither the result nor the deadline of a read.
TEST_F(PtyFixture, SignalsDoNotEndAReadEarly)
{
    struct sigaction sa {};
    sa.sa_handler = [](int) {};
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART: poll and read see EINTR
    struct sigaction old {};
    sigaction(SIGUSR1, &sa, &old);
    TComPort port;
    port.Open(0);
    const pthread_t self = pthread_self();
    std::thread poker([&] {
        for (int i = 0; i < 5; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
            pthread_kill(self, SIGUSR1);
        }
        PeerWrite({0x42});
    });
    uint8_t buf[2] = {};
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Read(buf, 2, 400), 1);  // the byte came, the second never did
    const double took = Since(t0);
    poker.join();
    EXPECT_EQ(buf[0], 0x42);
    EXPECT_GE(took, 399.0);
    EXPECT_LT(took, 1000.0);
    sigaction(SIGUSR1, &old, nullptr);
}

TEST(PortOpen, ReopenKeepsTheHandleWhenSettingsFail)
{
    FakeCommApi api;
    TComPort port(&api);
    port.Open(3);
    api.failAt["SetCommState"] = 0;
    int32_t code = 0;
    MessageOf([&] { port.Reopen(); }, &code);
    EXPECT_EQ(code, 260);
    EXPECT_TRUE(port.IsOpen());  // with whatever the system accepted
    EXPECT_EQ(api.lastName, "COM4");
    api.openOk = false;
    MessageOf([&] { port.Reopen(); }, &code);
    EXPECT_EQ(code, 259);
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(PtyFixture, OneAndAHalfStopBitsBecomeTwo)
{
    for (auto [bits, stopb] :
         {std::pair{TStopBits::OneAndHalf, true}, std::pair{TStopBits::Two, true}, std::pair{TStopBits::One, false}}) {
        TComPort port;
        port.SetBaudRate(9600);
        port.SetStopBits(bits);
        port.Open(0);
        termios t{};
        ASSERT_EQ(tcgetattr(slave, &t), 0);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, stopb) << static_cast<int>(bits);
    }
}

TEST_F(PtyFixture, WhatIsNoTerminalFailsAtOpenWith259)
{
    char dir[] = "/tmp/zenda-notty.XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/plain", fifo = std::string(dir) + "/fifo";
    {
        std::ofstream(file) << "x";
    }
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& p : {file, fifo, std::string("/dev/null")}) {
        SetPortNameResolver([p](const std::string&) { return p; });
        TComPort port;
        int32_t code = 0;
        MessageOf([&] { port.Open(0); }, &code);
        EXPECT_EQ(code, 259) << p;  // not 260 from the line settings later
        EXPECT_FALSE(port.IsOpen()) << p;
    }
    std::filesystem::remove_all(dir);
}
