// The real zenda against the real zenda-sim, each its own process: every command, its JSON,
// its exit status, and the refusals.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <pty.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <sys/wait.h>
#include <sys/file.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include "records/durable.h"
#include "e2e_harness.h"
#include "pdf_text.h"
#include "numbers/ledger.h"
#include "records/records.h"
#include "settings.h"
#include "version.h"

using namespace e2e;

namespace {

// zenda speaks the locale's language: these tests read its English (the language tests set
// their own), and every child inherits it.
const bool kEnglish = [] {
    setenv("LANG", "C.UTF-8", 1);
    for (const char* v : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
        unsetenv(v);
    return true;
}();

// The zenda that Zenda() runs: the built one, or a copy somewhere else.
std::string zendaPath = ZENDA_CLI_PATH;

struct TRun {
    int status = -1;
    std::string out, err;
    QJsonObject Json() const { return QJsonDocument::fromJson(QByteArray::fromStdString(out)).object(); }
};

std::string ReadAll(int fd)
{
    std::string s;
    char b[4096];
    ssize_t n;
    while ((n = read(fd, b, sizeof b)) > 0)
        s.append(b, static_cast<size_t>(n));
    return s;
}

// Runs zenda with the bench's settings. Standard input is empty (no terminal) unless
// answer is given: then it is a terminal that answers the question with that line (and
// had `early` typed into it before the question came).
TRun Zenda(const Bench& b, const std::vector<std::string>& args, const char* answer = nullptr,
           const char* early = nullptr)
{
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0)
        throw std::runtime_error("pipe");
    int master = -1, slave = -1;
    if (answer && openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty");
    const pid_t pid = fork();
    if (pid == 0) {
        if (answer) {
            dup2(slave, 0);
        } else {
            const int devnull = open("/dev/null", O_RDONLY);
            dup2(devnull, 0);
        }
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd = 3; fd < 256; ++fd)
            close(fd);
        setenv("XDG_CONFIG_HOME", b.config.c_str(), 1);
        setenv("XDG_DATA_HOME", b.data.c_str(), 1);
        auto argv = ProgramCommand(zendaPath.c_str(), "ZENDA_WINE_CLI");
        argv.insert(argv.end(), args.begin(), args.end());
        ExecOrExit(argv);
    }
    close(out[1]);
    close(err[1]);
    std::string asked;
    if (answer) {
        close(slave);
        // What is typed before the question is dropped: the answer is typed once it is asked
        // (under Wine a moment later, as its console drops what comes before the first read),
        // and Enter is a CR there, as on a Windows console.
        if (early) {
            const std::string typed = std::string(early) + "\n";
            [[maybe_unused]] auto n = write(master, typed.data(), typed.size());
        }
        char chunk[256];
        ssize_t got;
        while (asked.find("[y/N]") == std::string::npos && asked.find("[д/Н]") == std::string::npos && (got = read(err[0], chunk, sizeof chunk)) > 0)
            asked.append(chunk, static_cast<size_t>(got));
        if (UnderWine())
            std::this_thread::sleep_for(std::chrono::seconds(1));
        const std::string line = std::string(answer) + (UnderWine() ? "\r" : "\n");
        [[maybe_unused]] auto n = write(master, line.data(), line.size());
    }
    TRun r;
    r.out = ReadAll(out[0]);
    r.err = asked + ReadAll(err[0]);
    if (UnderWine())  // a Windows program's text lines end in CR LF
        for (std::string* s : {&r.out, &r.err})
            for (size_t p; (p = s->find("\r\n")) != std::string::npos;)
                s->erase(p, 1);
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    close(out[0]);
    close(err[0]);
    if (master >= 0)
        close(master);
    return r;
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

// zenda with its own data folder and environment, left running; its output into a file.
pid_t SpawnPc(const Bench& pc, const std::vector<std::string>& env, const std::vector<std::string>& args,
              const std::string& out)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        const int to = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(null, 0);
        dup2(to, 1);
        dup2(to, 2);
        setenv("XDG_CONFIG_HOME", pc.config.c_str(), 1);
        setenv("XDG_DATA_HOME", pc.data.c_str(), 1);
        for (const auto& e : env)
            putenv(strdup(e.c_str()));
        auto argv = ProgramCommand(ZENDA_CLI_PATH, "ZENDA_WINE_CLI");
        argv.insert(argv.end(), args.begin(), args.end());
        ExecOrExit(argv);
    }
    return pid;
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim = bench.StartSim();
        baseline = sim->Cmd("image");
    }
    std::string Field(int position) { return sim->Cmd("image").substr(2 * (position - 1), 2); }
    // zenda started and left running, its output on the null device (or into a file).
    pid_t Spawn(const std::vector<std::string>& args, const std::string& out = "/dev/null")
    {
        return SpawnPc(bench, {}, args, out);
    }
    Bench bench;
    std::unique_ptr<Proc> sim;
    std::string baseline;
};

}  // namespace

namespace {
// A program that draws zenda's protocols is built: zenda-draw beside the command line, or the window's.
bool CanDraw()
{
    return *ZENDA_INIT_PATH ||
           std::filesystem::exists(std::filesystem::path(ZENDA_CLI_PATH).parent_path() / ".." / "protocol" / "zenda-draw");
}
}  // namespace

TEST_F(Cli, ReadGivesEveryFieldAsJsonAndForPeople)
{
    const TRun r = Zenda(bench, {"--json", "read"});
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonObject o = r.Json();
    EXPECT_TRUE(o[u"ok"].toBool());
    EXPECT_EQ(o[u"model"].toString(), QStringLiteral("ZENDA1"));
    EXPECT_EQ(o[u"serial"].toInt(), 12345);
    EXPECT_EQ(o[u"address"].toInt(), 5);
    EXPECT_FALSE(o[u"v2_reset"].toBool());
    EXPECT_EQ(o[u"rtc_correction"].toInt(), 5);
    EXPECT_EQ(o[u"last_init"].toString(), QStringLiteral("01/12/26 14:30"));
    const QJsonArray ch = o[u"channels"].toArray();
    ASSERT_EQ(ch.size(), 2);
    EXPECT_EQ(ch[0].toObject()[u"value"].toString(), QStringLiteral("0,1 м3/имп"));
    EXPECT_EQ(ch[1].toObject()[u"type"].toString(), QStringLiteral("Импульсный OK (1-5 мс)"));
    EXPECT_EQ(ch[1].toObject()[u"line_test"].toString(), QStringLiteral("Есть"));
    const QJsonObject k = o[u"counters"].toObject();
    EXPECT_EQ(k[u"tp1"].toString(), QStringLiteral("00002:15"));
    EXPECT_EQ(k[u"v1"].toString(), QStringLiteral("0034567,8"));
    EXPECT_EQ(o[u"image"].toString().toStdString(), baseline);
    EXPECT_EQ(sim->Cmd("count 0"), "0");

    const TRun people = Zenda(bench, {"read"});
    EXPECT_EQ(people.status, 0);
    EXPECT_NE(people.out.find("serial number   12345\n"), std::string::npos) << people.out;
    EXPECT_NE(people.out.find("TP2             00001:45\n"), std::string::npos) << people.out;
}

TEST_F(Cli, InitKeepsWhatIsNotGivenClearsTheCountersAndVerifies)
{
    const TRun r = Zenda(bench, {"--yes", "--json", "init", "--serial", "54321", "--address", "17", "--ch2",
                                "value=0.001,type=fast,test=no", "--v2-reset", "yes", "--leave"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.Json()[u"ok"].toBool());
    EXPECT_EQ(r.Json()[u"serial"].toInt(), 54321);
    EXPECT_EQ(Field(7) + Field(8), "D431");
    EXPECT_EQ(Field(9), "11");
    for (int p = 12; p <= 27; ++p)
        EXPECT_EQ(Field(p), "00") << p;
    EXPECT_EQ(Field(11), baseline.substr(20, 2));  // the correction as it was
    EXPECT_EQ(sim->Cmd("image").substr(2 * 27), baseline.substr(2 * 27));
    // Channel 1 as the device had it (its type has no line test: flag set); channel 2 fast,
    // code 0, no line test (flag set); the V2 flag.
    EXPECT_EQ(Field(6), "01");
    EXPECT_EQ(Field(10), "74");
    EXPECT_EQ(sim->Cmd("mode"), "normal");
    EXPECT_EQ(sim->Cmd("count 0"), "1");
    EXPECT_EQ(sim->Cmd("count 4"), "3");  // the double read and the read-back
}

QString JournalOf(const Bench& bench)
{
    return QString::fromStdString(bench.data) + QStringLiteral("/ЛЮМРАД/zenda-init/journal.csv");
}

TEST_F(Cli, RtcCountersAndLeave)
{
    TRun r = Zenda(bench, {"--yes", "rtc", "--", "-6"});  // "--" ends the options
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Field(11), "46");
    r = Zenda(bench, {"--yes", "rtc", "-7"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Field(11), "47");
    r = Zenda(bench, {"--yes", "counters", "--tp2", "7:15", "--v1", "12,5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sim->Cmd("image").substr(2 * 15, 8), "15070000");
    EXPECT_EQ(sim->Cmd("image").substr(2 * 19, 8), "25010000");
    EXPECT_EQ(sim->Cmd("image").substr(2 * 11, 8), baseline.substr(2 * 11, 8));  // tp1 kept
    EXPECT_NE(r.err.find("Counters set"), std::string::npos);
    sim->Cmd("clearlog");
    r = Zenda(bench, {"--yes", "leave"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(sim->Cmd("count 3"), "1");
    EXPECT_NE(r.err.find("Initialization mode left"), std::string::npos);
    // Its journal line names the device that left (under Wine the journal is in Wine's own folder).
    if (!UnderWine()) {
        const auto journal = TServiceRecords::ReadJournal(JournalOf(bench));  // newest first
        ASSERT_FALSE(journal.empty());
        EXPECT_EQ((journal.front().action + u' ' + journal.front().model + u' ' + journal.front().serial + u' ' +
                   journal.front().outcome)
                      .toStdString(),
                  "leave ZENDA1 12345 выполнено");
    }
}

TEST_F(Cli, NothingIsWrittenWithoutAYes)
{
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"init", "--serial", "1"}, {"rtc", "3"}, {"counters", "--tp1", "1:00"}, {"leave"}}) {
        sim->Cmd("clearlog");
        const TRun r = Zenda(bench, args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_NE(r.err.find("without --yes"), std::string::npos) << r.err;
        EXPECT_EQ(sim->Cmd("count 0"), "0") << args[0];
        EXPECT_EQ(sim->Cmd("count 3"), "0") << args[0];
    }
    // On a terminal the question is asked; "n" declines, "y" writes.
    sim->Cmd("clearlog");
    TRun r = Zenda(bench, {"init", "--serial", "1"}, "n");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Is it the right time?"), std::string::npos) << r.err;
    EXPECT_EQ(sim->Cmd("count 0"), "0");
    // A "y" typed while the device was still being read does not answer the question. (Wine's
    // console, behind a pseudo-terminal, ignores FlushConsoleInputBuffer: a Windows console only.)
    if (!UnderWine()) {
        const std::string saved = (bench.dir / "early.hex").string();
        ASSERT_EQ(Zenda(bench, {"backup", saved}).status, 0);
        ASSERT_EQ(Zenda(bench, {"--yes", "rtc", "7"}).status, 0);
        sim->Cmd("clearlog");
        r = Zenda(bench, {"restore", saved}, "n", "y");
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(sim->Cmd("count 0"), "0");
    }
    r = Zenda(bench, {"init", "--serial", "1"}, "y");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sim->Cmd("count 0"), "1");
}

TEST_F(Cli, RefusedInputSaysWhyAndSendsNothing)
{
    struct Row {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Row> rows = {
        {{"--yes", "init", "--serial", "70000"}, "The serial number must be a number from 0 to 65535"},
        {{"--yes", "init", "--address", "64"}, "The network address must be a number from 1 to 63"},
        {{"--yes", "counters", "--tp1", "10:75"}, "Enter minutes from 0 to 59"},
        {{"--yes", "rtc", "30"}, "-25..25"},
        {{"--yes", "init", "--ch1", "type=freq"}, "not one this model takes"},  // ZENDA1 has no frequency input
        {{"--yes", "init", "--ch2", "value=1,type=fast"}, "pulse value"},
        {{"--yes", "counters", "--v1", "1,25"}, "at most 7 digits and 1 decimal for this channel"},
        {{"frobnicate"}, "unknown command"},
        {{"--baud", "1200", "read"}, "4800 or 9600"},
        {{"--port", "COM17", "read"}, "COM1..COM16"},
        // A negative value is the option's value, refused as one.
        {{"--yes", "counters", "--v1", "-5"}, "--v1"},
        {{"--yes", "counters", "--tp2", "-5"}, "--tp2 is HOURS:MM"},
        {{"station", "--serial-from", "1", "--count", "-1"}, "--count is a number of devices"},
    };
    for (const auto& r : rows) {
        sim->Cmd("clearlog");
        const TRun run = Zenda(bench, r.args);
        EXPECT_EQ(run.status, 2) << r.args.back() << ": " << run.err;
        EXPECT_NE(run.err.find(r.message), std::string::npos) << run.err;
        EXPECT_EQ(sim->Cmd("count 0"), "0");
    }
    EXPECT_EQ(sim->Cmd("image"), baseline);
}

TEST_F(Cli, DeviceFailuresAreStatusOneAndNeverReportedDone)
{
    sim->Cmd("fault badreadback");
    TRun r = Zenda(bench, {"--yes", "--json", "rtc", "3"});
    EXPECT_EQ(r.status, 1);
    // One message for the failed write, with what the device holds (not one an attempt).
    EXPECT_EQ(Count(r.err, "Transmission error: the data received do not match"), 1u) << r.err;
    EXPECT_NE(r.err.find("match.\nRead after the failure: the device holds the new settings.\nRead the device before "
                         "doing anything else.\n"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(r.Json()[u"ok"].toBool());
    EXPECT_EQ(r.Json()[u"exit"].toInt(), 1);
    EXPECT_EQ(r.err.find("RTC correction set"), std::string::npos);

    // Garbled once: the retry succeeds, and a verified write shows no failure of its attempts.
    sim->Cmd("clear");
    sim->Cmd("fault wrongecho@0x1");
    r = Zenda(bench, {"--yes", "rtc", "4"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Count(r.err, "Transmission error"), 0u) << r.err;
    EXPECT_EQ(Field(11), "04");

    // The line drops in the middle of a read.
    sim->Cmd("clear");
    sim->Cmd("fault drop:5@4x1");
    r = Zenda(bench, {"read"});
    EXPECT_EQ(r.status, 1);
    // Windows fails the read at once when an adapter goes; Wine's pseudo-terminal only stops
    // answering, so the read times out there, with nothing or with a part of the answer.
    if (UnderWine())
        EXPECT_TRUE(r.err.find("No answer from the device") != std::string::npos ||
                    r.err.find("Error receiving data from the device") != std::string::npos)
            << r.err;
    else
        EXPECT_NE(r.err.find("Could not read from the COM port"), std::string::npos) << r.err;
}

TEST_F(Cli, PortsBusyMissingAndMapped)
{
    // A port another program holds: status 3.
    const int fd = open(bench.line.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    TRun r = Zenda(bench, {"read"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("The COM port cannot be opened"), std::string::npos) << r.err;
    close(fd);
    r = Zenda(bench, {"--port", "/dev/no-such-zenda", "read"});
    EXPECT_EQ(r.status, 3);
    r = Zenda(bench, {"--port", bench.line, "read"});  // a path is used as it is
    EXPECT_EQ(r.status, 0) << r.err;

    // The map: written into the window's settings, listed, removed.
    r = Zenda(bench, {"ports", "--map", "COM3=" + bench.line});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(bench.ReadSettings().find("COM3=" + bench.line), std::string::npos) << bench.ReadSettings();
    r = Zenda(bench, {"--json", "ports"});
    const QJsonArray ports = r.Json()[u"ports"].toArray();
    ASSERT_EQ(ports.size(), 16);
    EXPECT_EQ(ports[2].toObject()[u"path"].toString().toStdString(), bench.line);
    EXPECT_TRUE(ports[2].toObject()[u"mapped"].toBool());
    EXPECT_EQ(ports[2].toObject()[u"state"].toString(), QStringLiteral("can be opened"));
    r = Zenda(bench, {"--port", "COM3", "read"});
    EXPECT_EQ(r.status, 0) << r.err;
    r = Zenda(bench, {"ports", "--map", "COM3="});
    EXPECT_EQ(bench.ReadSettings().find("COM3="), std::string::npos);
}

TEST_F(Cli, WindowsOpensEachComPortByItsName)
{
    if (!UnderWine())
        GTEST_SKIP() << "Windows only (scripts/windows.sh)";
    TRun r = Zenda(bench, {"--json", "ports"});
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonArray ports = r.Json()[u"ports"].toArray();
    ASSERT_EQ(ports.size(), 16);
    EXPECT_EQ(ports[0].toObject()[u"path"].toString(), QStringLiteral("\\\\.\\COM1"));
    EXPECT_EQ(ports[0].toObject()[u"state"].toString(), QStringLiteral("can be opened"));
    EXPECT_EQ(ports[15].toObject()[u"state"].toString(), QStringLiteral("missing"));  // Wine maps no COM16
    EXPECT_TRUE(r.Json()[u"devices"].toArray().isEmpty());  // no /dev to look in
    const TRun people = Zenda(bench, {"ports"});
    EXPECT_EQ(people.out.find("serial devices found"), std::string::npos) << people.out;
    // The device-namespace form of a name is a path, used as it is.
    r = Zenda(bench, {"--json", "--port", "\\\\.\\COM1", "read"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.Json()[u"serial"].toInt(), 12345);
}

TEST_F(Cli, TraceShowsEveryByteBothWays)
{
    const TRun r = Zenda(bench, {"--trace", "read"});
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.err.find(" -> 05\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" <- 00\n"), std::string::npos);
    EXPECT_EQ(Count(r.err, " -> 04\n"), 2u);
    EXPECT_EQ(Count(r.err, " <- 30 14 01 12 26"), 2u);
}

// Under a Russian locale every word zenda says is Russian, otherwise English: the help, the
// question, a refusal, the parser's complaint, a device failure. Names stay as they are:
// the program's, commands', options', ports', the model's and the formats'.
TEST_F(Cli, EachRunSpeaksOneLanguage)
{
    static const std::regex latin("[A-Za-z]+"), cyrillic("[\xD0\xD1][\x80-\xBF]");
    static const std::set<std::string> names = {
        "zenda", "ports", "read", "init", "leave", "rtc", "counters", "backup", "restore", "journal", "station",
        "protocol", "COM", "COMn", "PATH", "FILE", "SPEC", "N", "K", "A", "P", "X", "H", "MM", "MS", "TIME", "TEXT",
        "ZENDA", "RTC", "V", "TP", "JSON", "PDF", "CSV", "UTF", "OK", "value", "type", "test", "pulse", "fast", "freq",
        "yes", "no", "csv", "h", "v", "bogus", "dialout", "sudo", "usermod", "aG", "USER", "Ctrl", "C",
        "team", "connect", "status", "setup", "add", "pc", "CONNINFO", "PostgreSQL", "SHA", "TEXT", "M3", "sync", "fetch", "SHA256", "FILE", "department", "resume", "pcs", "remove", "rename", "label", "DataMatrix", "pdf"};
    // Options (--no-backup) and the image's hex digits are names too.
    static const std::regex option("--?[a-z][a-z0-9-]*|\\b[0-9A-F]{16,}\\b");
    const struct {
        std::vector<std::string> args;
        const char* answer;
        bool deviceFails;
    } runs[] = {
        {{"--help"}, nullptr, false},
        {{"init", "--help"}, nullptr, false},
        {{"init", "--serial", "1"}, "n", false},
        {{"--yes", "init", "--serial", "70000"}, nullptr, false},
        {{"--yes", "init", "--ch1", "value=7"}, nullptr, false},
        {{"read", "--bogus"}, nullptr, false},
        {{"--yes", "rtc", "3"}, nullptr, true},
        {{"read"}, nullptr, false},
        {{"--yes", "rtc", "-7"}, nullptr, false},
        {{"--yes", "restore", (bench.dir / "far.hex").string()}, nullptr, false},
    };
    // A backup whose RTC correction (-45 s) no device takes: the refusal names the value.
    std::string spaced;
    for (size_t i = 0; i < baseline.size(); i += 2)
        spaced += (i == 20 ? std::string("7F") : baseline.substr(i, 2)) + (i % 24 == 22 ? "\n" : " ");
    std::ofstream(bench.dir / "far.hex") << spaced;
    for (const char* lang : {"ru_RU.UTF-8", "C.UTF-8"}) {
        setenv("LANG", lang, 1);
        const bool russian = lang[0] == 'r';
        for (const auto& run : runs) {
            sim->Cmd("clear");
            if (run.deviceFails)
                sim->Cmd("fault badreadback");
            const TRun r = Zenda(bench, run.args, run.answer);
            const std::string said = r.out + r.err, what = lang + std::string(" ") + run.args.back() + ":\n" + said;
            EXPECT_FALSE(said.empty()) << what;
            if (russian) {
                const std::string words = std::regex_replace(said, option, " ");
                for (auto it = std::sregex_iterator(words.begin(), words.end(), latin); it != std::sregex_iterator(); ++it)
                    EXPECT_TRUE(names.count(it->str())) << "a Latin word \"" << it->str() << "\" in " << what;
            } else {
                EXPECT_FALSE(std::regex_search(said, cyrillic)) << "Cyrillic in " << what;
            }
        }
        // The usage line names the global options and the command; a command's help its own.
        const TRun help = Zenda(bench, {"--help"}), init = Zenda(bench, {"init", "--help"});
        EXPECT_NE(help.out.find(russian ? "zenda [общие параметры] КОМАНДА [параметры]"
                                        : "Usage: zenda [global options] COMMAND [options]"),
                  std::string::npos)
            << help.out;
        for (const char* o : {"--port", "--json", "--yes", "--no-backup", "--help", "--version"})
            EXPECT_NE(help.out.find(o), std::string::npos) << o;
        for (const char* c : {"ports", "read", "init", "leave", "rtc", "counters", "station", "protocol"})
            EXPECT_NE(help.out.find(std::string("\n  ") + c + " "), std::string::npos) << c;
        EXPECT_NE(init.out.find("--v2-reset"), std::string::npos);
        EXPECT_EQ(init.out.find("--tp1"), std::string::npos);
        EXPECT_EQ(init.out.find("--port"), std::string::npos);
    }
    setenv("LANG", "C.UTF-8", 1);
    // The journal keeps the window's Russian ("-7 сек"); zenda shows all of it in English.
    const TRun journal = Zenda(bench, {"journal"});
    EXPECT_NE(journal.out.find("s -> -7 s\n"), std::string::npos) << journal.out;
    EXPECT_FALSE(std::regex_search(journal.out + journal.err, cyrillic)) << journal.out;
    for (const TJournalLine& l : TServiceRecords::ReadJournal(JournalOf(bench)))  // in Russian whoever wrote it
        EXPECT_TRUE(std::regex_search(l.outcome.toStdString(), cyrillic)) << l.action.toStdString() << ": " << l.outcome.toStdString();
    // The device's own texts, exactly as the window shows them (look-alike Latin letters kept),
    // under Russian; the journal keeps them whatever the language.
    setenv("LANG", "ru_RU.UTF-8", 1);
    const TRun r = Zenda(bench, {"--port", (bench.dir / "nothing").string(), "read"});
    setenv("LANG", "C.UTF-8", 1);
    EXPECT_NE(r.err.find("Драйвер COM-порта: Ошибка открытия СОМ-порта"), std::string::npos) << r.err;
    EXPECT_NE(Zenda(bench, {"--json", "journal"}).out.find("Ошибка открытия СОМ-порта"), std::string::npos);
}

// ------------------------------------------------------------------ backups and the journal

namespace {
std::vector<std::filesystem::path> Files(const std::filesystem::path& dir)
{
    std::vector<std::filesystem::path> out;
    std::error_code ec;
    if (std::filesystem::exists(dir, ec))
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir, ec))
            if (e.is_regular_file())
                out.push_back(e.path());
    return out;
}

std::string Slurp(const std::filesystem::path& p)
{
    std::ifstream in(p);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The 72 bytes of a backup, without its comments, as one hex string.
std::string BackupHex(const std::filesystem::path& p)
{
    std::ifstream in(p);
    std::string hex, line;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#')
            for (char c : line)
                if (c != ' ')
                    hex += c;
    return hex;
}

// The bench's data folder: the journal, the ledger, the backups.
std::filesystem::path DataOf(const Bench& bench) { return std::filesystem::path(bench.data) / "ЛЮМРАД" / "zenda-init"; }
}  // namespace

TEST_F(Cli, EveryWriteLeavesOneBackupOfTheDeviceAsItWasAndOneJournalLine)
{
    const std::filesystem::path folder = std::filesystem::path(bench.data) / "ЛЮМРАД" / "zenda-init";
    ASSERT_EQ(Zenda(bench, {"--yes", "rtc", "3"}).status, 0);
    auto backups = Files(folder / "backups");
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(backups[0].parent_path().filename(), "12345");
    EXPECT_EQ(BackupHex(backups[0]), baseline);  // as before the write, not after
    const std::string head = Slurp(backups[0]);
    for (const char* field : {"# time: ", "# port: COM1 -> ", "# model: ZENDA1", "# serial: 12345", "# address: 5",
                              "# action: rtc", "# program: zenda " ZENDA_VERSION})
        EXPECT_NE(head.find(field), std::string::npos) << field;

    TRun j = Zenda(bench, {"--json", "journal"});
    QJsonArray lines = j.Json()[u"journal"].toArray();
    ASSERT_EQ(lines.size(), 1);
    QJsonObject l = lines[0].toObject();
    EXPECT_EQ(l[u"action"].toString(), QStringLiteral("rtc"));
    EXPECT_EQ(l[u"outcome"].toString(), QStringLiteral("выполнено"));
    EXPECT_EQ(l[u"serial"].toString(), QStringLiteral("12345"));
    EXPECT_EQ(l[u"changes"].toArray().at(0).toString(), QStringLiteral("Автокоррекция RTC: 5 сек -> 3 сек"));
    EXPECT_EQ((folder / l[u"backup"].toString().toStdString()).string(), backups[0].string());
    // UTF-8 with a byte-order mark, for the spreadsheets.
    EXPECT_EQ(Slurp(folder / "journal.csv").substr(0, 3), "\xEF\xBB\xBF");

    // A read is journaled too, without a backup.
    ASSERT_EQ(Zenda(bench, {"read"}).status, 0);
    EXPECT_EQ(Files(folder / "backups").size(), 1u);
    j = Zenda(bench, {"--json", "journal", "--serial", "12345"});
    EXPECT_EQ(j.Json()[u"journal"].toArray().size(), 2);
    EXPECT_EQ(j.Json()[u"journal"].toArray().at(0).toObject()[u"action"].toString(), QStringLiteral("read"));
    // A number is matched whole, and an initialization is found under the number it wrote too.
    ASSERT_EQ(Zenda(bench, {"--yes", "init", "--serial", "1234"}).status, 0);
    const struct {
        const char* serial;
        int lines;  // -1: refused
    } asked[] = {{"1234", 1}, {"12345", 3}, {"1", 0}, {"123", 0}, {"abc", -1}, {"70000", -1}, {"", -1}};
    for (const auto& a : asked) {
        const TRun r = Zenda(bench, {"--json", "journal", "--serial", a.serial});
        EXPECT_EQ(r.status, a.lines < 0 ? 2 : 0) << a.serial << r.out;
        if (a.lines >= 0) {
            EXPECT_EQ(r.Json()[u"journal"].toArray().size(), a.lines) << a.serial << r.out;
        }
    }

    // The simulator takes a backup as its image.
    Bench other;
    auto sim2 = other.StartSim({"--image", backups[0].string()});
    EXPECT_EQ(sim2->Cmd("image"), baseline);
}

TEST_F(Cli, RestoreAfterAWrongInitializationBringsTheSettingsBackAndKeepsTheCounters)
{
    const std::filesystem::path folder = std::filesystem::path(bench.data) / "ЛЮМРАД" / "zenda-init";
    ASSERT_EQ(Zenda(bench, {"--yes", "init", "--serial", "999", "--address", "63", "--ch2", "type=pulse,value=1"}).status, 0);
    ASSERT_EQ(Zenda(bench, {"--yes", "counters", "--tp1", "7:05"}).status, 0);  // counting goes on
    const std::string before = sim->Cmd("image");
    const auto backups = Files(folder / "backups" / "12345");
    ASSERT_EQ(backups.size(), 1u);
    // Another serial number on the device now: refused without a second yes.
    TRun r = Zenda(bench, {"--yes", "restore", backups[0].string()});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("--other-serial"), std::string::npos);
    EXPECT_EQ(sim->Cmd("image"), before);
    r = Zenda(bench, {"--yes", "restore", backups[0].string(), "--other-serial"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string now = sim->Cmd("image");
    EXPECT_EQ(now.substr(2 * 5, 12), baseline.substr(2 * 5, 12));   // positions 6..11: settings back
    EXPECT_EQ(now.substr(2 * 11, 32), before.substr(2 * 11, 32));  // 12..27: the counters stay
    EXPECT_EQ(now.substr(0, 10), before.substr(0, 10));            // the stamp stays
    EXPECT_EQ(now.substr(2 * 27), baseline.substr(2 * 27));
    EXPECT_NE(r.err.find("Serial number: 999 -> 12345"), std::string::npos) << r.err;
    // With the counters: those of the backup.
    r = Zenda(bench, {"--yes", "restore", backups[0].string(), "--with-counters"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sim->Cmd("image").substr(2 * 11, 32), baseline.substr(2 * 11, 32));
}

TEST_F(Cli, AFailedWriteIsJournaledWithItsMessageAndTraffic)
{
    sim->Cmd("fault badreadback");
    ASSERT_EQ(Zenda(bench, {"--yes", "rtc", "3"}).status, 1);
    const TRun j = Zenda(bench, {"--json", "journal"});
    const QJsonObject l = j.Json()[u"journal"].toArray().at(0).toObject();
    EXPECT_EQ(l[u"outcome"].toString(), QStringLiteral("Ошибка приемо/прередачи: несовпадение принятых данных. После сбоя "
                                                       "прочитано: прибор хранит новые настройки. Считайте прибор, прежде "
                                                       "чем делать что-либо еще."));
    ASSERT_FALSE(l[u"traffic"].toString().isEmpty());
    const std::string traffic =
        Slurp(std::filesystem::path(bench.data) / "ЛЮМРАД" / "zenda-init" / l[u"traffic"].toString().toStdString());
    EXPECT_EQ(Count(traffic, " -> 00\n"), 3u) << traffic;  // the three write attempts
    EXPECT_NE(traffic.find(" <- 30 14 01 12 26"), std::string::npos);
}

TEST_F(Cli, NoBackupNoWriteUnlessNoBackupIsGiven)
{
    // The data folder cannot be made: a file stands where it would be.
    std::filesystem::create_directories(std::filesystem::path(bench.data) / "ЛЮМРАД");
    std::ofstream(std::filesystem::path(bench.data) / "ЛЮМРАД" / "zenda-init") << "not a folder";
    TRun r = Zenda(bench, {"--yes", "rtc", "3"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("The backup could not be saved"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("the service journal cannot be written"), std::string::npos) << r.err;
    EXPECT_EQ(sim->Cmd("count 0"), "0");
    r = Zenda(bench, {"--yes", "--no-backup", "rtc", "3"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Field(11), "03");
}

// Habits of scripts and services that once wrote a device elsewhere, wrote messages down the
// line, or left a backup that was not one.
TEST_F(Cli, HostileScriptsNeverWriteTheWrongThingOrKeepAHalfBackup)
{
    for (const char* port : {"", "  "}) {  // an empty variable: never the saved port
        const TRun r = Zenda(bench, {"--port", port, "--yes", "rtc", "7"});
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find("--port is empty"), std::string::npos) << r.err;
    }
    EXPECT_EQ(sim->Cmd("count 0"), "0");
    if (UnderWine())
        GTEST_SKIP() << "closed descriptors, /dev/full and folder errors are POSIX cases";

    // Standard output and error closed: the port is not descriptor 1 or 2, so what would
    // be printed never reaches the device as commands.
    const pid_t pid = fork();
    if (pid == 0) {
        close(1);
        close(2);
        setenv("XDG_CONFIG_HOME", bench.config.c_str(), 1);
        setenv("XDG_DATA_HOME", bench.data.c_str(), 1);
        auto argv = ProgramCommand(ZENDA_CLI_PATH, "ZENDA_WINE_CLI");
        for (const char* a : {"--port", bench.line.c_str(), "--yes", "--json", "rtc", "3"})
            argv.push_back(a);
        ExecOrExit(argv);
    }
    int status = -1;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(Field(11), "03");
    std::ifstream log(bench.logFile);
    const std::string traffic((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_EQ(traffic.find("unknown command"), std::string::npos) << traffic;

    // A backup that cannot be written whole is no backup: nothing is written to the device.
    const TRun full = Zenda(bench, {"backup", "/dev/full"});
    EXPECT_NE(full.status, 0) << full.err;
    EXPECT_NE(full.err.find("not a regular file"), std::string::npos) << full.err;
    // A journal that is a device: said as such, not as an unknown error.
    const auto journal = DataOf(bench) / "journal.csv";
    std::filesystem::rename(journal, bench.dir / "journal.kept");
    std::filesystem::create_symlink("/dev/full", journal);
    const TRun onDevice = Zenda(bench, {"read"});
    EXPECT_NE(onDevice.err.find("journal.csv: not a regular file"), std::string::npos) << onDevice.err;
    std::filesystem::remove(journal);
    std::filesystem::rename(bench.dir / "journal.kept", journal);
    // A reader gone before the result (zenda journal | head): status 1, not a kill by SIGPIPE.
    if (!UnderWine()) {
        const std::string gone = "bash -c 'XDG_DATA_HOME=" + bench.data + " XDG_CONFIG_HOME=" + bench.config +
                                 "; export XDG_DATA_HOME XDG_CONFIG_HOME; { sleep 0.5; exec " + zendaPath +
                                 " journal; } | true; exit ${PIPESTATUS[0]}'";
        const int goneStatus = std::system(gone.c_str());
        EXPECT_TRUE(WIFEXITED(goneStatus) && WEXITSTATUS(goneStatus) == 1) << goneStatus;
    }
    // A data folder that cannot be made: the system's own reason, and nothing written.
    std::ofstream(bench.dir / "plain") << "x";
    Bench blocked = bench;
    blocked.data = (bench.dir / "plain" / "data").string();
    const TRun r = Zenda(blocked, {"--yes", "rtc", "9"});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("Not a directory"), std::string::npos) << r.err;
    EXPECT_EQ(Field(11), "03");

    // A full disk (a 64 KB tmpfs, where this user may mount one): no backup, so no write.
    const auto tiny = bench.dir / "full";
    std::filesystem::create_directories(tiny);
    if (std::system(("mount -t tmpfs -o size=64k tmpfs " + tiny.string() + " 2>/dev/null").c_str()) == 0) {
        // Room for part of a write: Qt says no error when the disk fills after the first bytes.
        const QString kept = QString::fromStdString((tiny / "kept").string());
        std::ofstream(tiny / "kept") << std::string(4096, 'k');
        std::ofstream(tiny / "fill") << std::string(48 * 1024, 'x');
        // More than Qt buffers, and less.
        for (const auto& [what, write] : std::vector<std::pair<const char*, std::function<void()>>>{
                 {"replaced", [&] { durable::ReplaceWhole(kept, QByteArray(32 * 1024, 'n')); }},
                 {"replaced, buffered", [&] { durable::ReplaceWhole(kept, QByteArray(14 * 1024, 'n')); }},
                 {"new", [&] { SaveFileAs(QString::fromStdString((tiny / "new.pdf").string()), QByteArray(32 * 1024, 'n')); }},
                 {"new, buffered", [&] { SaveFileAs(QString::fromStdString((tiny / "new.pdf").string()), QByteArray(14 * 1024, 'n')); }}}) {
            try {
                write();
                ADD_FAILURE() << what << ": a cut write was taken as done";
            } catch (const std::runtime_error& e) {
                EXPECT_NE(std::string(e.what()).find("No space left on device"), std::string::npos) << what << ": " << e.what();
            }
        }
        EXPECT_EQ(Slurp(tiny / "kept"), std::string(4096, 'k'));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tiny), {}), 2) << "a file left behind";
        std::ofstream(tiny / "fill", std::ios::app) << std::string(64 * 1024, 'x');
        Bench onFull = bench;
        onFull.data = tiny.string();
        const TRun onFullRun = Zenda(onFull, {"--yes", "rtc", "8"});
        EXPECT_EQ(onFullRun.status, 2) << onFullRun.err;
        EXPECT_NE(onFullRun.err.find("No space left on device"), std::string::npos) << onFullRun.err;
        EXPECT_EQ(Field(11), "03");
        // The journal there says the same reason, not another program's lock.
        const TRun readOnFull = Zenda(onFull, {"read"});
        EXPECT_NE(readOnFull.err.find("the service journal cannot be written"), std::string::npos) << readOnFull.err;
        EXPECT_NE(readOnFull.err.find("No space left on device"), std::string::npos) << readOnFull.err;
        EXPECT_EQ(readOnFull.err.find("another program"), std::string::npos) << readOnFull.err;
        EXPECT_EQ(std::system(("umount " + tiny.string()).c_str()), 0);
    }
}

// Two programs writing in the same millisecond keep two backups, each journal line its own,
// and each names the model only when the device was asked for it.
TEST_F(Cli, BackupsAndTrafficFilesNeverShareAName)
{
    TServiceRecords a(QStringLiteral("zenda test")), b(QStringLiteral("zenda test"));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(bench.data));
    TImageBuffer image;
    image.At(7) = 0x30;
    image.At(8) = 0x39;  // serial 12345
    std::set<QString> names;
    for (int i = 0; i < 20; ++i) {
        names.insert(a.SaveBackup(image, QStringLiteral("rtc"), QStringLiteral("COM1"), QString()));
        names.insert(b.SaveBackup(image, QStringLiteral("rtc"), QStringLiteral("COM1"), QStringLiteral("ZENDA2")));
        names.insert(a.SaveTraffic("x", QStringLiteral("read")));
    }
    EXPECT_EQ(names.size(), 60u);
    int unknown = 0, zenda2 = 0;
    for (const QString& n : names) {
        if (!n.endsWith(u".hex"))
            continue;
        QFile f(DataFolder() + u'/' + n);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        unknown += text.contains(u"# model: unknown (not asked)\n");
        zenda2 += text.contains(u"# model: ZENDA2\n");
    }
    EXPECT_EQ(unknown, 20);
    EXPECT_EQ(zenda2, 20);
    // Writers racing for one name in the same millisecond: each keeps a file of its own, none
    // is copied over another's (QFile::rename falls back to a copy when the name was taken).
    const QString race = QString::fromStdString((bench.dir / "race").string());
    QDir().mkpath(race);
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w)
        writers.emplace_back([&, w] {
            for (int i = 0; i < 100; ++i)
                SaveFileUnique(race, QStringLiteral("same"), QStringLiteral(".log"), QByteArray::number(w * 1000 + i));
        });
    for (auto& t : writers)
        t.join();
    std::set<QByteArray> kept;
    for (const QString& n : QDir(race).entryList(QDir::Files)) {
        QFile f(race + u'/' + n);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        kept.insert(f.readAll());
    }
    EXPECT_EQ(kept.size(), 400u);
    // Nothing half-made is left beside them.
    for (const auto& e : std::filesystem::recursive_directory_iterator(bench.data))
        EXPECT_EQ(e.path().filename().string().find(".zenda-"), std::string::npos) << e.path();
    qunsetenv("XDG_DATA_HOME");
}

// After a write whose verification failed, one silent read tells what the device holds; the
// message, the JSON and the journal say the same.
TEST_F(Cli, AFailedWriteSaysWhichSettingsTheDeviceHolds)
{
    const struct {
        const char* fault;
        const char* holds;
        const char* journal;
    } rows[] = {
        {"badreadback", "new", "прибор хранит новые настройки"},
        {"wrongecho@0x3", "new", "прибор хранит новые настройки"},  // the device stores before it answers
        {"drop:5@0x1", "unknown", "неизвестно, какие настройки хранит прибор"},
    };
    int seconds = 1;
    for (const auto& row : rows) {
        sim->Cmd("clear");
        sim->Cmd(std::string("fault ") + row.fault);
        const TRun r = Zenda(bench, {"--yes", "--json", "rtc", std::to_string(++seconds)});
        EXPECT_EQ(r.status, 1) << row.fault << r.err;
        EXPECT_EQ(r.Json()[u"device_holds"].toString().toStdString(), row.holds) << row.fault;
        const QJsonObject l = Zenda(bench, {"--json", "journal"}).Json()[u"journal"].toArray().at(0).toObject();
        EXPECT_NE(l[u"changes"].toArray().at(0).toString().toStdString().find(row.journal), std::string::npos)
            << row.fault << " " << l[u"changes"].toArray().at(0).toString().toStdString();
        EXPECT_EQ(l[u"outcome"].toString() == QStringLiteral("выполнено"), false);
    }
}

// What a command prints is what it did: the channels written, the reading a new price gives a
// kept counter, a type given again that changes nothing, one JSON object for every refusal.
TEST_F(Cli, OutputSaysWhatWasDone)
{
    const std::string saved = (bench.dir / "before.hex").string();
    ASSERT_EQ(Zenda(bench, {"backup", saved}).status, 0);
    EXPECT_NE(Slurp(saved).find("72 bytes as read\n"), std::string::npos);  // not "before a write"
    ASSERT_EQ(Zenda(bench, {"--yes", "init", "--ch1", "value=1", "--ch2", "test=no"}).status, 0);
    ASSERT_EQ(Zenda(bench, {"--yes", "counters", "--v1", "345678"}).status, 0);
    // The same types again: nothing changes (neither channel 1's price nor channel 2's test).
    TRun r = Zenda(bench, {"--yes", "--json", "init", "--ch1", "type=pulse", "--ch2", "type=fast"});
    ASSERT_EQ(r.status, 0) << r.err;
    QJsonArray ch = r.Json()[u"channels"].toArray();
    EXPECT_EQ(ch[0].toObject()[u"value"].toString(), QStringLiteral("1 м3/имп"));
    EXPECT_EQ(ch[1].toObject()[u"line_test"].toString(), QStringLiteral("Нет"));
    EXPECT_FALSE(r.Json().contains(u"notes"));
    ASSERT_EQ(Zenda(bench, {"--yes", "counters", "--v1", "345678"}).status, 0);
    // The backup's price 0,1 with the counter's digits kept: the reading moves its comma.
    r = Zenda(bench, {"--yes", "--json", "restore", saved});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("V1: reading 00345678 -> 0034567,8"), std::string::npos) << r.err;
    ch = r.Json()[u"channels"].toArray();
    EXPECT_EQ(ch[0].toObject()[u"value"].toString(), QStringLiteral("0,1 м3/имп"));  // as written
    EXPECT_EQ(r.Json()[u"counters"].toObject()[u"v1"].toString(), QStringLiteral("0034567,8"));
    // A new type that forces a value says so.
    r = Zenda(bench, {"--yes", "--json", "init", "--ch2", "type=pulse"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.Json()[u"notes"].toArray().size(), 1) << r.out;

    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--json", "init", "--bogus"}, {"--json", "read", "--serial", "5"}, {"--json"}, {"--json", "frobnicate"}}) {
        const TRun bad = Zenda(bench, args);
        EXPECT_EQ(bad.status, 2) << args.back();
        EXPECT_FALSE(bad.Json().isEmpty()) << args.back() << ": " << bad.out;
        EXPECT_FALSE(bad.Json()[u"ok"].toBool(true));
    }
    const TRun all = Zenda(bench, {"--help-all"});
    EXPECT_EQ(all.status, 0) << all.err;
    for (const char* option : {"--with-counters", "--tp1", "--ch1", "--map", "--no-backup"})
        EXPECT_NE(all.out.find(option), std::string::npos) << option;

    if (UnderWine())
        return;  // FIFOs and a folder in the journal's place are POSIX cases
    // Files that are not images are refused before they are read.
    const std::string fifo = (bench.dir / "fifo").string(), big = (bench.dir / "big.hex").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(big) << std::string(1 << 20, '0');
    for (const auto& [file, why] : {std::pair{fifo, "not a regular file"}, std::pair{big, "too large"}}) {
        const TRun refused = Zenda(bench, {"--yes", "restore", file});
        EXPECT_EQ(refused.status, 2) << file;
        EXPECT_NE(refused.err.find(why), std::string::npos) << refused.err;
    }
    // A journal that cannot be read is an error, not an empty list.
    const auto folder = std::filesystem::path(bench.data) / "ЛЮМРАД" / "zenda-init";
    std::filesystem::rename(folder / "journal.csv", folder / "journal.old");
    std::filesystem::create_directories(folder / "journal.csv");
    const TRun j = Zenda(bench, {"--json", "journal"});
    EXPECT_EQ(j.status, 1);
    EXPECT_FALSE(j.Json()[u"ok"].toBool(true));
}

// A stop signal during a write lets the write end verified and journaled; before the write it
// ends with nothing written and a journal line that says so; a second signal ends at once.
TEST_F(Cli, StopSignalsEndBetweenExchanges)
{
    if (UnderWine())
        GTEST_SKIP() << "POSIX signals";
    auto wait = [](pid_t pid) {
        int status = -1;
        waitpid(pid, &status, 0);
        return status;
    };
    auto lastOutcome = [&] {
        return Zenda(bench, {"--json", "journal"}).Json()[u"journal"].toArray().at(0).toObject()[u"outcome"].toString();
    };
    const struct {
        const char* fault;
        std::vector<int> sent;
        int exit;  // -1: killed by the signal
        const char* field11;
    } rows[] = {
        {"delay:800@0x1", {SIGINT}, 0, "09"},              // during the write: it ends, verified
        {"delay:800@4x1", {SIGTERM}, 128 + SIGTERM, "09"},  // during the read: nothing written
        {"delay:800@4x1", {SIGHUP, SIGHUP}, -1, "09"},      // twice: at once
    };
    for (const auto& row : rows) {
        sim->Cmd("clear");
        sim->Cmd(std::string("fault ") + row.fault);
        const pid_t pid = Spawn({"--yes", "rtc", row.exit == 0 ? "9" : "7"});
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        for (int sig : row.sent) {
            kill(pid, sig);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));  // two at once would be one
        }
        const int status = wait(pid);
        if (row.exit < 0) {
            EXPECT_TRUE(WIFSIGNALED(status)) << row.fault;
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == row.exit)
                << row.fault << " " << WEXITSTATUS(status) << " " << WIFSIGNALED(status);
            EXPECT_EQ(lastOutcome() == QStringLiteral("выполнено"), row.exit == 0) << lastOutcome().toStdString();
        }
        EXPECT_EQ(Field(11), row.field11) << row.fault;
    }
}

// A ZENDA3 with a frequency input, backed up, then restored onto a ZENDA1: refused, nothing
// written; a backup the ZENDA1 does take is named as another model's in the question.
TEST_F(Cli, ARestoreTheConnectedModelDoesNotTakeIsRefused)
{
    Bench zenda3;
    auto sim3 = zenda3.StartSim({"--model", "3"});
    const std::string freq = (bench.dir / "freq.hex").string(), pulse = (bench.dir / "pulse.hex").string();
    ASSERT_EQ(Zenda(zenda3, {"backup", pulse}).status, 0);
    ASSERT_EQ(Zenda(zenda3, {"--yes", "init", "--ch1", "type=freq,test=no"}).status, 0);
    ASSERT_EQ(Zenda(zenda3, {"backup", freq}).status, 0);
    sim->Cmd("clearlog");
    TRun r = Zenda(bench, {"--yes", "restore", "--other-serial", freq});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("does not suit the connected device ZENDA1: channel 1, input signal type"), std::string::npos)
        << r.err;
    EXPECT_EQ(sim->Cmd("count 0"), "0");
    EXPECT_EQ(sim->Cmd("image"), baseline);
    ASSERT_EQ(Zenda(bench, {"--yes", "rtc", "7"}).status, 0);
    r = Zenda(bench, {"--yes", "restore", pulse});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("A backup of ZENDA3, ZENDA1 connected"), std::string::npos) << r.err;
}

// One rule for every write: a value given must be one the model takes; what the device holds
// and nobody changed goes back as read; a device's own backup always restores; an
// initialization never leaves an input the model cannot take.
TEST_F(Cli, WhatMayBeWrittenIsOneRuleAndTheUndoIsNeverClosed)
{
    // A ZENDA1 № 4711 from an all-zero memory, with a frequency input on channel 2 (flags 0x08)
    // and tp1 holding eight digits, 78563412.
    std::string blank(144, '0');
    auto at = [&](std::string image, int position, const char* hex) { return image.replace(2 * (position - 1), 2, hex); };
    std::string image = at(at(blank, 7, "12"), 8, "67");
    const std::string zeroes = image;
    image = at(image, 10, "08");
    for (auto [p, h] : {std::pair{12, "12"}, {13, "34"}, {14, "56"}, {15, "78"}})
        image = at(image, p, h);
    ASSERT_EQ(sim->Cmd("setimage " + image), "ok");
    sim->Cmd("clearlog");
    TRun r = Zenda(bench, {"--yes", "init", "--address", "5"});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("would not take these settings: channel 2, input signal type"), std::string::npos) << r.err;
    EXPECT_EQ(sim->Cmd("count 0"), "0");
    // Counters: only the one given changes; tp1's eight digits stay byte for byte.
    r = Zenda(bench, {"--yes", "counters", "--v1", "5"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sim->Cmd("image").substr(22, 8), "12345678");
    EXPECT_EQ(Zenda(bench, {"--yes", "init", "--address", "5", "--ch2", "type=pulse"}).status, 0);

    // An all-zero device: its address 0 and the line test flag of its dry contacts go back as they
    // were (init), and its own backup, taken a moment before, restores (it holds the same).
    ASSERT_EQ(sim->Cmd("setimage " + zeroes), "ok");
    const std::string own = (bench.dir / "own.hex").string();
    ASSERT_EQ(Zenda(bench, {"backup", own}).status, 0);
    r = Zenda(bench, {"--yes", "init", "--serial", "4711"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sim->Cmd("image").substr(16, 4), "0000");  // address 0, flags 0
    EXPECT_EQ(Zenda(bench, {"--yes", "rtc", "5"}).status, 0);
    r = Zenda(bench, {"--yes", "restore", own});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sim->Cmd("image").substr(20, 2), "00");  // the correction back
    // A value given that the model does not take is refused as before.
    EXPECT_EQ(Zenda(bench, {"--yes", "init", "--address", "0"}).status, 2);

    // A write that failed verification but reached the device: its message says what the device
    // holds, and the protocol of the write before it is refused, naming what differs.
    sim->Cmd("fault badreadback");
    r = Zenda(bench, {"--yes", "init", "--address", "7"});
    sim->Cmd("clear");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Read after the failure: the device holds the new settings.\nRead the device before doing "
                         "anything else."),
              std::string::npos)
        << r.err;
    if (CanDraw()) {
        r = Zenda(bench, {"protocol", "--out", (bench.dir / "p.pdf").string()});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("differ from its last completed write"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Network address: 0 -> 7"), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(bench.dir / "p.pdf"));
    }
    // Names for the page: one limit for both faces, refused whole, never cut.
    r = Zenda(bench, {"protocol", "--now", "--organisation", std::string(301, 'x')});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("301 characters, more than 300"), std::string::npos) << r.err;
    for (const char* reading : {"12,345.6", "12.345,6", "12,345,6"})
        EXPECT_EQ(Zenda(bench, {"protocol", "--now", "--meter1-reading", reading}).status, 2) << reading;
}

// Script mistakes that once wrote somewhere unmeant, lost a record or took a lost result for done.
TEST_F(Cli, ScriptMistakesAreRefusedAndRecordsKept)
{
    const std::string kept = (bench.dir / "kept.txt").string();
    std::ofstream(kept) << "the user's own file";
    const struct {
        std::vector<std::string> args;
        const char* why;
    } rows[] = {
        {{"--port", "/dev/null", "--port", bench.line, "--yes", "rtc", "4"}, "more than once"},
        {{"--yes", "init", "--serial", "1", "--serial", "2"}, "more than once"},
        {{"--yes", "init", "--ch1", ""}, "channel settings are empty"},
        {{"backup", kept}, "exists already"},
        {{"backup", (bench.dir / "no" / "such" / "x.hex").string()}, "no such folder"},
        {{"--yes", "restore", ""}, "file name is empty"},
    };
    for (const auto& row : rows) {
        const TRun r = Zenda(bench, row.args);
        EXPECT_EQ(r.status, 2) << row.why << r.err;
        EXPECT_NE(r.err.find(row.why), std::string::npos) << r.err;
    }
    EXPECT_EQ(sim->Cmd("count 0"), "0");
    EXPECT_EQ(Slurp(kept), "the user's own file");
    EXPECT_FALSE(std::filesystem::exists(bench.dir / "no"));
    if (UnderWine())
        return;  // /dev/full and a journal cut by hand are POSIX cases

    // A journal whose last line lost its line end (a copy cut short, an editor): the next line
    // starts a line of its own, and both are listed.
    ASSERT_EQ(Zenda(bench, {"read"}).status, 0);
    const auto journal = std::filesystem::path(bench.data) / "ЛЮМРАД" / "zenda-init" / "journal.csv";
    std::string text = Slurp(journal);
    ASSERT_EQ(text.substr(text.size() - 2), "\r\n");
    std::ofstream(journal, std::ios::trunc | std::ios::binary) << text.substr(0, text.size() - 2);
    ASSERT_EQ(Zenda(bench, {"--yes", "rtc", "6"}).status, 0);
    const QJsonArray lines = Zenda(bench, {"--json", "journal"}).Json()[u"journal"].toArray();
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines.at(0).toObject()[u"action"].toString(), QStringLiteral("rtc"));
    EXPECT_EQ(lines.at(1).toObject()[u"action"].toString(), QStringLiteral("read"));

    // A result that could not be printed is not "done".
    const std::string cmd = "XDG_CONFIG_HOME='" + bench.config + "' XDG_DATA_HOME='" + bench.data + "' " +
                            ZENDA_CLI_PATH + " --json read >/dev/full 2>/dev/null";
    const int status = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;

    // A file where the data folder should be: the journal is an error, not an empty history.
    Bench blocked = bench;
    std::ofstream(bench.dir / "plainfile") << "x";
    blocked.data = (bench.dir / "plainfile").string();
    EXPECT_EQ(Zenda(blocked, {"--json", "journal"}).status, 1);
}

// The commissioning protocol from zenda: one page with its fonts embedded, every value of the
// device as written and the change list, for a ZENDA1 and a ZENDA3 with a frequency input; the
// parties kept for the next one; an old line's protocol shows what was written then.
TEST_F(Cli, TheProtocolHoldsWhatWasWritten)
{
    if (!CanDraw())
        GTEST_SKIP() << "neither zenda-draw nor zenda-init, which draw the protocols, is built";
    const std::string a = (bench.dir / "a.pdf").string(), b = (bench.dir / "b.pdf").string(),
                      c = (bench.dir / "c.pdf").string();
    TRun r = Zenda(bench, {"protocol", "--out", a});
    EXPECT_EQ(r.status, 2) << r.err;  // nothing written yet: --now is offered
    EXPECT_NE(r.err.find("--now"), std::string::npos) << r.err;
    EXPECT_EQ(Zenda(bench, {"protocol", "--now", "--line", "x"}).status, 2);
    ASSERT_EQ(Zenda(bench, {"--yes", "init", "--serial", "1017", "--address", "5", "--ch1", "value=0.1"}).status, 0);
    // A meter's reading that is not a number is refused before a number is taken.
    EXPECT_EQ(Zenda(bench, {"protocol", "--out", a, "--meter1-reading", "12 m3"}).status, 2);
    r = Zenda(bench, {"--json", "protocol", "--out", a, "--engineer", "Иванов И. И.", "--organisation", "ООО \"Тест\"",
                      "--engineer-position", "инженер-наладчик", "--representative", "Петров П. П.",
                      "--meter1-type", "ВСКМ 90-15", "--meter1-number", "778899", "--meter1-reading", "12.345"});
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonObject o = r.Json();
    EXPECT_EQ(o[QStringLiteral("protocol")].toString().toStdString(), a);
    EXPECT_EQ(o[QStringLiteral("number")].toInt(), 1);
    // zenda read shows the same fingerprint as long as the device is as written.
    const TRun read = Zenda(bench, {"read"});
    const std::string fingerprint = o[QStringLiteral("fingerprint")].toString().toStdString();
    EXPECT_NE(read.out.find("fingerprint     " + fingerprint + " (SHA-256"), std::string::npos) << read.out;
    // ... also once the meter has counted: the fingerprint is the settings', not the counters'.
    const std::string asWritten = sim->Cmd("image");
    std::string counted = asWritten;
    counted.replace(2 * 11, 4, "4213");
    ASSERT_EQ(sim->Cmd("setimage " + counted), "ok");
    EXPECT_NE(Zenda(bench, {"read"}).out.find("fingerprint     " + fingerprint + " (SHA-256"), std::string::npos);
    ASSERT_EQ(sim->Cmd("setimage " + counted.replace(2 * 8, 2, "06")), "ok");  // another address: another fingerprint
    EXPECT_EQ(Zenda(bench, {"read"}).out.find(fingerprint), std::string::npos);
    ASSERT_EQ(sim->Cmd("setimage " + asWritten), "ok");
    const std::string text = PdfText(a);
    std::vector<std::string> want = {"Протокол инициализации прибора ЗЕНДА", "ZENDA1", "1017", "Иванов И. И.",
                                     "ООО \"Тест\"", "Инициализация", "записано в прибор и проверено чтением",
                                     "прибор остается в режиме инициализации", "инженер-наладчик", "Петров П. П.",
                                     "ВСКМ 90-15", "778899", "12,345 м³", "0 ч 0 мин", "0,0 м³", "0,00 м³", "(UTC)",
                                     "Представитель заказчика", "М.П.", "_______", fingerprint, "zenda read",
                                     "Служебные сведения: порт", "№ 1 от "};
    for (const auto& ch : o[QStringLiteral("channels")].toArray())
        for (const char* k : {"value", "type", "line_test"})  // the page's unit style: м³
            want.push_back(ch.toObject()[QString::fromLatin1(k)].toString().replace(QStringLiteral("м3"), QStringLiteral("м³")).toStdString());
    for (const auto& ch : o[QStringLiteral("changes")].toArray())
        want.push_back(ch.toString().replace(QStringLiteral("м3"), QStringLiteral("м³")).toStdString());
    EXPECT_GE(o[QStringLiteral("changes")].toArray().size(), 3);  // the number, the address, the counters, the stamp
    for (const auto& w : want)
        EXPECT_NE(text.find(w), std::string::npos) << w << "\n" << text;
    const std::string info = CommandOutput("pdfinfo '" + a + "'");
    EXPECT_TRUE(std::regex_search(info, std::regex("\nPages: +1\n"))) << info;
    // Every font embedded: the fifth column from the end of each of pdffonts' rows.
    std::istringstream fonts(CommandOutput("pdffonts '" + a + "'"));
    int rows = 0;
    for (std::string row; std::getline(fonts, row);) {
        std::vector<std::string> cols;
        std::istringstream words(row);
        for (std::string w; words >> w;)
            cols.push_back(w);
        if (++rows > 2) {
            EXPECT_TRUE(cols.size() >= 5 && cols[cols.size() - 5] == "yes") << row;
        }
    }
    EXPECT_GE(rows, 3);

    // The device changed since: the protocol of the initialization's line still shows 1017 as written then,
    // the parties as typed last time; the device as it is now says so.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // a journal line's time is to the second
    ASSERT_EQ(Zenda(bench, {"--yes", "init", "--serial", "2000", "--leave"}).status, 0);
    const QJsonArray journal = Zenda(bench, {"--json", "journal"}).Json()[QStringLiteral("journal")].toArray();
    // The leave is a line of its own after the initialization's, naming the device.
    ASSERT_GE(journal.size(), 2);
    EXPECT_EQ(journal[0].toObject()[QStringLiteral("action")].toString(), QStringLiteral("leave"));
    EXPECT_EQ(journal[0].toObject()[QStringLiteral("serial")].toString(), QStringLiteral("2000"));
    EXPECT_EQ(journal[0].toObject()[QStringLiteral("model")].toString(), QStringLiteral("ZENDA1"));
    EXPECT_EQ(journal[1].toObject()[QStringLiteral("action")].toString(), QStringLiteral("init"));
    const std::string left = (bench.dir / "left.pdf").string();
    ASSERT_EQ(Zenda(bench, {"protocol", "--out", left}).status, 0);
    EXPECT_NE(PdfText(left).find("прибор вышел из режима инициализации"), std::string::npos) << PdfText(left);
    QString initTime;  // the first initialization's line: the oldest of them
    for (const auto& l : journal)
        if (l.toObject()[QStringLiteral("action")].toString() == QStringLiteral("init"))
            initTime = l.toObject()[QStringLiteral("time")].toString();
    ASSERT_FALSE(initTime.isEmpty());
    r = Zenda(bench, {"--json", "protocol", "--line", initTime.toStdString(), "--out", b});
    ASSERT_EQ(r.status, 0) << r.err;
    const int numberB = r.Json()[QStringLiteral("number")].toInt();
    // The number's own row: "2000" may turn up by chance in a time, a file name or the fingerprint.
    const std::string textB = PdfText(b);
    EXPECT_TRUE(std::regex_search(textB, std::regex("Заводской номер +1017\\b"))) << textB;
    EXPECT_FALSE(std::regex_search(textB, std::regex("Заводской номер +2000\\b"))) << textB;
    EXPECT_NE(PdfText(b).find("Иванов И. И."), std::string::npos);
    // Refused files (one that exists, a missing folder) use up no number: an auditor sees no gap.
    EXPECT_EQ(Zenda(bench, {"protocol", "--line", initTime.toStdString(), "--out", b}).status, 2);  // never over a file
    EXPECT_EQ(Zenda(bench, {"protocol", "--out", (bench.dir / "no-such" / "x.pdf").string()}).status, 2);
    r = Zenda(bench, {"--json", "protocol", "--now", "--out", c});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.Json()[QStringLiteral("number")].toInt(), numberB + 1);
    EXPECT_NE(PdfText(c).find("как считан"), std::string::npos);

    // A ZENDA3 with a frequency input: "---" for its pulse value, saved under the protocols folder.
    Bench zenda3;
    auto sim3 = zenda3.StartSim({"--model", "3"});
    ASSERT_EQ(Zenda(zenda3, {"--yes", "init", "--ch1", "type=freq,test=no"}).status, 0);
    r = Zenda(zenda3, {"--json", "protocol"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string saved = r.Json()[QStringLiteral("protocol")].toString().toStdString();
    EXPECT_NE(saved.find("/protocols/"), std::string::npos) << saved;
    const std::string text3 = PdfText(saved);
    for (const char* w : {"ZENDA3", "---", "Частотный"})
        EXPECT_NE(text3.find(w), std::string::npos) << w << "\n" << text3;
    // A damaged number file gives no number twice: the numbering goes on after the files made.
    const int number = r.Json()[QStringLiteral("number")].toInt();
    std::ofstream(std::filesystem::path(zenda3.data) / "ЛЮМРАД" / "zenda-init" / "protocol-number", std::ios::trunc)
        << "garbage";
    r = Zenda(zenda3, {"--json", "protocol"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.Json()[QStringLiteral("number")].toInt(), number + 1);

    // Two writes in the same second (two fixtures): a time that names both is refused, naming both.
    setenv("XDG_DATA_HOME", bench.data.c_str(), 1);
    TServiceRecords records(QStringLiteral("test"));
    for (const char* port : {"/dev/ttyUSB0", "/dev/ttyUSB1"}) {
        TJournalLine l{QStringLiteral("2026-12-09T10:00:00+03:00"), QStringLiteral("rtc"), QString::fromLatin1(port),
                       QStringLiteral("ZENDA1"), QStringLiteral("12345"), QStringLiteral("5"), QStringLiteral("выполнено"),
                       {}, {}, {}, QString::fromStdString(baseline), NewRecordId()};
        ASSERT_TRUE(records.Journal(l));
    }
    unsetenv("XDG_DATA_HOME");
    r = Zenda(bench, {"protocol", "--line", "2026-12-09T10:00:00+03:00", "--out", (bench.dir / "d.pdf").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("names 2 writes: rtc № 12345 (/dev/ttyUSB1); rtc № 12345 (/dev/ttyUSB0)"), std::string::npos)
        << r.err;
    // An RTC correction's protocol says so in its title; its time keeps the zone it was written in.
    setenv("XDG_DATA_HOME", bench.data.c_str(), 1);
    ASSERT_TRUE(records.Journal({QStringLiteral("2026-12-09T10:00:01+03:00"), QStringLiteral("rtc"), QStringLiteral("COM1"),
                                 QStringLiteral("ZENDA1"), QStringLiteral("12345"), QStringLiteral("5"),
                                 QStringLiteral("выполнено"), {}, {}, {}, QString::fromStdString(baseline), NewRecordId()}));
    unsetenv("XDG_DATA_HOME");
    ASSERT_EQ(Zenda(bench, {"protocol", "--line", "2026-12-09T10:00:01+03:00", "--out", (bench.dir / "e.pdf").string()}).status, 0);
    const std::string textE = PdfText((bench.dir / "e.pdf").string());
    for (const char* w : {"Протокол автокоррекции RTC прибора ЗЕНДА", "09.12.2026 10:00:01 (UTC+03:00)", "2 ч 15 мин", "34567,8 м³"})
        EXPECT_NE(textE.find(w), std::string::npos) << w << "\n" << textE;
    EXPECT_EQ(textE.find("ВСКМ"), std::string::npos);  // a meter is one protocol's only
}

// zenda's protocols are drawn by zenda-draw (the command line's package: ../libexec/zenda), else
// by zenda-init beside it. Without either the protocol is refused before the device is read or a
// number taken; when the drawing fails, the reason is said and no file is kept.
TEST_F(Cli, AProtocolWithoutItsDrawingProgramSaysWhy)
{
    if (UnderWine())
        GTEST_SKIP() << "zenda.exe is not copied; windows.sh has it find zenda-init.exe";
    const auto lone = bench.dir / "usr" / "bin", libexec = bench.dir / "usr" / "libexec" / "zenda";
    std::filesystem::create_directories(lone);
    std::filesystem::create_directories(libexec);
    std::filesystem::copy_file(ZENDA_CLI_PATH, lone / "zenda");
    const std::string saved = zendaPath;
    zendaPath = (lone / "zenda").string();
    const struct {
        const char* drawer;  // a script as zenda-draw (IN OUT), or as zenda-init (--draw-protocol IN OUT)
        bool window;
        int status;
        const char* says;
    } cases[] = {
        {nullptr, false, 2, "the protocol is drawn by zenda-draw or zenda-init, and neither is installed beside zenda in"},
        {"echo 'no fonts here' >&2; exit 3", false, 1, "the protocol could not be drawn: no fonts here"},
        {"echo hello > \"$2\"", false, 1, "the protocol could not be drawn: what it wrote is not a PDF"},
        {"kill -9 $$", false, 1, "the protocol could not be drawn: it stopped abnormally"},
        {"exit 4", false, 1, "the protocol could not be drawn: it ended with status 4"},
        {"echo hello > \"$3\"", true, 1, "the protocol could not be drawn: what it wrote is not a PDF"},
    };
    const auto data = std::filesystem::path(bench.data) / "ЛЮМРАД" / "zenda-init";
    for (const auto& c : cases) {
        std::filesystem::remove(libexec / "zenda-draw");
        if (c.drawer) {
            const auto at = c.window ? lone / "zenda-init" : libexec / "zenda-draw";
            std::ofstream(at) << "#!/bin/sh\n" << c.drawer << "\n";
            std::filesystem::permissions(at, std::filesystem::perms::owner_all);
        }
        const TRun r = Zenda(bench, {"--json", "protocol", "--now"});
        EXPECT_EQ(r.status, c.status) << c.says << r.out << r.err;
        EXPECT_EQ(r.Json()[u"error"].toString().toStdString().rfind(c.says, 0), 0u) << r.out;
        EXPECT_EQ(std::filesystem::exists(data / "protocol-number"), c.drawer != nullptr) << c.says;
        std::error_code ec;
        EXPECT_TRUE(std::filesystem::is_empty(data / "protocols", ec) || ec) << c.says;
    }
    zendaPath = saved;
    EXPECT_EQ(sim->Cmd("image"), baseline);
}

// Three programs of four threads each append 250 lines a thread at the same moment to a
// journal that does not exist yet: one header, every line whole, none lost.
TEST(Journal, ProgramsAndThreadsAppendWholeLinesUnderOneHeader)
{
    char tmpl[] = "/tmp/zenda-journal.XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    setenv("XDG_DATA_HOME", dir.c_str(), 1);
    const auto go = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    std::vector<pid_t> pids;
    for (int p = 0; p < 3; ++p) {
        const pid_t pid = fork();
        if (pid == 0) {
            std::this_thread::sleep_until(go);
            std::vector<std::thread> threads;
            std::atomic<bool> failed{false};
            for (int t = 0; t < 4; ++t)
                threads.emplace_back([p, t, &failed] {
                    TServiceRecords records(QStringLiteral("test"));
                    for (int i = 0; i < 250; ++i) {
                        TJournalLine l;
                        l.action = QStringLiteral("read");
                        l.serial = QStringLiteral("%1-%2-%3").arg(p).arg(t).arg(i);
                        l.outcome = QStringLiteral("выполнено");
                        l.changes = {QStringLiteral("a \"quoted\", change"), QStringLiteral("second")};
                        failed = failed || !records.Journal(l);
                    }
                });
            for (auto& th : threads)
                th.join();
            _exit(failed ? 3 : 0);
        }
        pids.push_back(pid);
    }
    for (const pid_t pid : pids) {
        int st = 0;
        waitpid(pid, &st, 0);
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << st;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - go).count();
    RecordProperty("lines_per_second", static_cast<int>(3000 / seconds));
    const std::string text = Slurp(TServiceRecords::JournalPath().toStdString());  // the bytes as written
    EXPECT_EQ(text.rfind("\xEF\xBB\xBFtime,action,", 0), 0u);
    EXPECT_EQ(Count(text, "time,action,"), 1u);
    EXPECT_EQ(Count(text, "\r\n"), 3001u);
    const auto lines = TServiceRecords::ReadJournal();
    ASSERT_EQ(lines.size(), 3000u);
    std::set<QString> serials;
    for (const auto& l : lines) {
        serials.insert(l.serial);
        ASSERT_EQ(l.changes, (QStringList{QStringLiteral("a \"quoted\", change"), QStringLiteral("second")}))
            << l.serial.toStdString();
    }
    EXPECT_EQ(serials.size(), 3000u);
    std::filesystem::remove_all(dir);
    unsetenv("XDG_DATA_HOME");
}

// zenda killed (SIGKILL) at seeded random moments of its writes, many times: the journal always
// parses and ends with a whole line, and every write that reached the device is on record
// (its own line, or the line written before it) with a backup of the image before it.
TEST_F(Cli, WritesCutShortByAKillAreOnRecord)
{
    if (UnderWine())
        GTEST_SKIP() << "POSIX signals";
    sim->Cmd("fault delay:120@0");  // every write is answered late: many kills land inside one
    setenv("XDG_DATA_HOME", bench.data.c_str(), 1);
    std::mt19937 random(20261208);
    int cut = 0;
    for (int i = 0; i < 25; ++i) {
        const std::string before = sim->Cmd("image");
        const int writes = std::stoi(sim->Cmd("count 0"));
        const pid_t pid = Spawn({"--yes", "rtc", std::to_string(i % 20 - 10)});
        std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<>(0, 350)(random)));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        QString error;
        const auto journal = TServiceRecords::ReadJournal(TServiceRecords::JournalPath(), &error);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        if (!journal.empty()) {
            const std::string text = Slurp(TServiceRecords::JournalPath().toStdString());
            EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << i;
        }
        if (std::stoi(sim->Cmd("count 0")) == writes)
            continue;  // killed before the write: nothing reached the device
        ASSERT_FALSE(journal.empty()) << i;
        const TJournalLine& l = journal[0];
        EXPECT_EQ(l.action, QStringLiteral("rtc")) << i;
        cut += l.outcome == TServiceRecords::kBegun;
        ASSERT_FALSE(l.backup.isEmpty()) << i;
        EXPECT_EQ(BackupHex((DataFolder() + u'/' + l.backup).toStdString()), before) << i;
    }
    EXPECT_GT(cut, 0) << "no kill landed inside a write";
    RecordProperty("kills_inside_a_write", cut);
    unsetenv("XDG_DATA_HOME");
}

// A damaged journal is read as far as it makes sense: a stray quote, binary garbage and a cut
// line are shown as damaged lines and cost nothing after them; a journal a spreadsheet saved
// as UTF-16 is read too, and never appended to; nothing written before is ever rewritten.
TEST(Journal, DamagedLinesAreShownAndNothingIsRewritten)
{
    char tmpl[] = "/tmp/zenda-journal.XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    setenv("XDG_DATA_HOME", dir.c_str(), 1);
    std::filesystem::create_directories(std::filesystem::path(TServiceRecords::JournalPath().toStdString()).parent_path());
    const std::string good1 = "\"2026-12-08T10:00:00+03:00\",\"read\",\"COM1\",\"ZENDA1\",\"1\",\"5\",\"выполнено\",\"\",\"\",\"\"\r\n";
    const std::string good2 = "\"2026-12-08T11:00:00+03:00\",\"rtc\",\"COM1\",\"\",\"2\",\"5\",\"выполнено\",\"a; b\",\"x\",\"\",\"\"\r\n";
    const std::string text = "\xEF\xBB\xBFtime,action,port,model,serial,address,outcome,changes,backup,traffic\r\n" + good1 +
                             "\"2026-12-08T10:30:00+03:00\",\"rtc\",\"COM1 \"stray,\"5\r\n" + std::string("\x01\xFF\xFEgarbage\0\x02\r\n", 14) +
                             good2 + "\"2026-12-08T12:00:00+03:00\",\"init\",\"CO";
    const std::string path = TServiceRecords::JournalPath().toStdString();
    std::ofstream(path, std::ios::binary) << text;
    auto lines = TServiceRecords::ReadJournal();
    ASSERT_EQ(lines.size(), 5u);
    const std::vector<QString> actions = {QStringLiteral("damaged"), QStringLiteral("rtc"), QStringLiteral("damaged"),
                                          QStringLiteral("damaged"), QStringLiteral("read")};  // newest first
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(lines[i].action, actions[i]) << i;
    EXPECT_EQ(lines[1].changes, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_TRUE(lines[3].outcome.contains(QStringLiteral("stray"))) << lines[3].outcome.toStdString();

    // An append starts a line of its own after the cut one; what was there stays byte for byte.
    TServiceRecords records(QStringLiteral("test"));
    TJournalLine l;
    l.action = QStringLiteral("leave");
    l.outcome = QStringLiteral("строка\nс переводом");
    ASSERT_TRUE(records.Journal(l)) << records.JournalError().toStdString();
    const std::string after = Slurp(path);
    EXPECT_EQ(after.substr(0, text.size()), text);
    lines = TServiceRecords::ReadJournal();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0].action, QStringLiteral("leave"));
    EXPECT_EQ(lines[0].outcome, QStringLiteral("строка с переводом"));  // one line in the file

    // UTF-16, as a spreadsheet saves it: read, and refused for appending.
    const QString utf16 = QString::fromStdString(std::string(text.begin() + 3, text.begin() + 3 + 80 + good1.size()));
    std::string bytes = "\xFF\xFE";
    for (QChar c : utf16)
        bytes += std::string{static_cast<char>(c.unicode() & 0xFF), static_cast<char>(c.unicode() >> 8)};
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    lines = TServiceRecords::ReadJournal();
    ASSERT_GE(lines.size(), 1u);
    EXPECT_EQ(lines.back().action, QStringLiteral("read"));
    EXPECT_FALSE(records.Journal(l));
    EXPECT_TRUE(records.JournalError().contains(QStringLiteral("UTF-16"))) << records.JournalError().toStdString();
    EXPECT_EQ(Slurp(path), bytes);
    std::filesystem::remove_all(dir);
    unsetenv("XDG_DATA_HOME");
}

// A seeded soak of zenda: random actions (read, rtc, counters, init, restore of an earlier
// backup), a one-off fault of the simulator's list at a random command before half of them.
// After each: the device holds its image before or the one asked for, never a third; "done"
// (status 0) exactly when it holds the one asked for; the journal's line says the same; a write
// that reached the device has a backup of the image before it. ZENDA_SOAK_SEED replays a seed,
// ZENDA_SOAK_ACTIONS sets the count (CI: 120).
TEST_F(Cli, SeededSoakKeepsTheDeviceAndTheRecordsTrue)
{
    if (UnderWine())
        GTEST_SKIP() << "the Linux data folder";
    const char* seedText = std::getenv("ZENDA_SOAK_SEED");
    const char* countText = std::getenv("ZENDA_SOAK_ACTIONS");
    const unsigned seed = seedText ? static_cast<unsigned>(std::atoll(seedText)) : 20261208u;
    const int actions = countText ? std::atoi(countText) : 120;
    std::mt19937 random(seed);
    auto pick = [&](int n) { return std::uniform_int_distribution<>(0, n - 1)(random); };
    const char* const faults[] = {"wrongecho", "short:10", "badread", "badecho", "badreadback", "garbage:5", "delay:50"};
    const char* const commands[] = {"0", "4", "5"};
    setenv("XDG_DATA_HOME", bench.data.c_str(), 1);
    std::map<std::string, int> counts;
    for (int i = 0; i < actions; ++i) {
        const std::string before = sim->Cmd("image");
        const int writes = std::stoi(sim->Cmd("count 0"));
        std::string fault = "none";
        sim->Cmd("clear");
        if (pick(2)) {
            // Up to three times: a write's retries outlast one, not three.
            fault = std::string(faults[pick(7)]) + '@' + commands[pick(3)];
            fault += 'x';
            fault += std::to_string(1 + pick(3));
            sim->Cmd("fault " + fault);
        }
        std::vector<std::string> args = {"--json", "--yes"};
        int correction = 99;
        std::vector<std::filesystem::path> backups;
        std::error_code ec;
        for (const auto& e : std::filesystem::recursive_directory_iterator(std::filesystem::path(bench.data) / "ЛЮМРАД" / "zenda-init" / "backups", ec))
            if (e.is_regular_file())
                backups.push_back(e.path());
        std::sort(backups.begin(), backups.end());
        // What each action asks for, worked out here from the image before, position by
        // position (1-based, as the device documentation counts them).
        std::vector<std::string> wanted;  // the images the device may rightly hold after it
        auto setByte = [](std::string& hex, int position, int value) {
            char b[3];
            std::snprintf(b, sizeof b, "%02X", value & 0xFF);
            hex.replace(2 * (position - 1), 2, b);
        };
        std::string restoreFrom;
        bool withCounters = false;
        int serial = -1, address = -1, v1 = -1;
        switch (backups.empty() ? pick(4) : pick(5)) {
        case 0: args.push_back("read"); break;
        case 1:
            correction = pick(51) - 25;
            args.insert(args.end(), {"rtc", "--", std::to_string(correction)});
            break;
        case 2:
            v1 = pick(100000);
            args.insert(args.end(), {"counters", "--v1", std::to_string(v1)});
            break;
        case 3:
            serial = pick(65536);
            address = 1 + pick(63);
            args.insert(args.end(), {"init", "--serial", std::to_string(serial), "--address", std::to_string(address)});
            break;
        default:
            restoreFrom = backups[pick(static_cast<int>(backups.size()))].string();
            args.insert(args.end(), {"restore", "--other-serial", restoreFrom});
            withCounters = pick(2);
            if (withCounters)
                args.push_back("--with-counters");
        }
        auto stamped = [&](std::string hex) {  // the PC clock now, packed BCD
            const QDateTime now = QDateTime::currentDateTime();
            const int parts[] = {now.time().minute(), now.time().hour(), now.date().day(), now.date().month(),
                                 now.date().year() % 100};
            for (int p = 1; p <= 5; ++p)
                setByte(hex, p, parts[p - 1] / 10 * 16 + parts[p - 1] % 10);
            return hex;
        };
        auto initWanted = [&] {
            std::string w = before;
            setByte(w, 7, serial >> 8);
            setByte(w, 8, serial);
            setByte(w, 9, address);
            for (int p = 12; p <= 27; ++p)
                setByte(w, p, 0);
            return stamped(w);
        };
        if (serial >= 0)
            wanted.push_back(initWanted());  // the clock read before the action
        if (!restoreFrom.empty()) {
            std::string w = BackupHex(restoreFrom);
            w.replace(0, 10, before.substr(0, 10));  // the device keeps its clock stamp
            if (!withCounters)
                w.replace(22, 32, before.substr(22, 32));  // and its counters, unless asked
            wanted.push_back(w);
        }
        const TRun r = Zenda(bench, args);
        if (serial >= 0)
            wanted.push_back(initWanted());  // or after it: the minute may turn meanwhile
        const std::string after = sim->Cmd("image");
        const std::string what = "seed " + std::to_string(seed) + " action " + std::to_string(i) + " (" + args[2] +
                                 ", fault " + fault + "): status " + std::to_string(r.status) + " " + r.err;
        ++counts[args[2] + " " + fault.substr(0, fault.find_first_of(":@")) + " -> " + std::to_string(r.status)];
        ASSERT_TRUE(r.status == 0 || r.status == 1 || r.status == 2) << what;
        const QJsonObject o = r.Json();
        if (correction != 99) {
            TImageBuffer want;
            const QByteArray b = QByteArray::fromHex(QByteArray::fromStdString(before));
            std::copy(b.begin(), b.end(), want.Image());
            TDeviceSettings(want).SetCorrection(correction);
            wanted.push_back(QByteArray(reinterpret_cast<const char*>(want.Image()), 72).toHex().toUpper().toStdString());
        }
        if (v1 >= 0) {
            // Only the V1 counter's four bytes change, and the device reads back what was given.
            ASSERT_EQ(after.substr(0, 38) + after.substr(46), before.substr(0, 38) + before.substr(46)) << what;
            if (r.status == 0) {
                const QString reading = o[QStringLiteral("counters")].toObject()[QStringLiteral("v1")].toString();
                ASSERT_EQ(reading.section(u',', 0, 0).toInt(), v1) << what << reading.toStdString();
            }
        } else if (!wanted.empty()) {
            const bool asked = std::find(wanted.begin(), wanted.end(), after) != wanted.end();
            ASSERT_TRUE(after == before || asked) << what << "\n holds " << after << "\n wanted " << wanted[0];
            if (r.status == 0 || o[QStringLiteral("device_holds")].toString() == QStringLiteral("new")) {
                ASSERT_TRUE(asked || (after == before && !restoreFrom.empty())) << what;  // a restore of what it holds
            }
        }
        if (r.status == 0 && args[2] != "read") {
            ASSERT_EQ(o[QStringLiteral("image")].toString().toStdString(), after) << what;  // said done: holds it
        }
        if (r.status == 1 && o[QStringLiteral("device_holds")].toString() == QStringLiteral("old")) {
            ASSERT_EQ(after, before) << what;
        }
        if (r.status != 0 && args[2] == "read") {
            ASSERT_EQ(after, before) << what;
        }
        // Only the newest line: a long soak must not read its whole journal after every action.
        const auto journal = TServiceRecords::ReadJournal(TServiceRecords::JournalPath(), nullptr, {1, {}});
        ASSERT_FALSE(journal.empty()) << what;
        ASSERT_EQ(journal[0].outcome == QStringLiteral("выполнено"), r.status == 0) << what;
        if (std::stoi(sim->Cmd("count 0")) > writes) {
            ASSERT_FALSE(journal[0].backup.isEmpty()) << what;
            ASSERT_EQ(BackupHex((DataFolder() + u'/' + journal[0].backup).toStdString()), before) << what;
        }
    }
    for (const auto& [k, n] : counts)
        RecordProperty(k, n);
    unsetenv("XDG_DATA_HOME");
}

// A port that cannot be opened is named, with the reason, after the driver's words.
TEST_F(Cli, APortThatCannotBeOpenedIsNamedWithItsReason)
{
    const std::string missing = (bench.dir / "no-such-line").string();
    TRun r = Zenda(bench, {"--port", missing, "read"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("The COM port cannot be opened (" + missing + ": missing)"), std::string::npos) << r.err;
    if (UnderWine())
        return;
    const int held = open(bench.line.c_str(), O_RDWR | O_NOCTTY);  // another program has it
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    r = Zenda(bench, {"--port", bench.line, "read"});
    close(held);
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find(bench.line + ": busy (open in another program))"), std::string::npos) << r.err;
}

// Text from outside (a backup file, the journal) never reaches the terminal raw: an escape
// sequence in it would retitle or rewrite the user's terminal.
TEST_F(Cli, OutsideTextReachesTheTerminalEscaped)
{
    const std::string evil = "\x1b]0;owned\x07";
    const auto file = bench.dir / "evil.hex";
    std::ofstream(file) << evil << " 00 11\n";
    const TRun r = Zenda(bench, {"--yes", "restore", file.string()});
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\\x1B]0;owned\\x07"), std::string::npos) << r.err;
    const auto folder = DataOf(bench);
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "journal.csv", std::ios::app) << "\"2026-12-09T10:00:00+03:00\",\"read\",\"" << evil
                                                         << "\",\"ZENDA1\"\r\n" << evil << "cut\r\n";
    const TRun j = Zenda(bench, {"journal"});
    EXPECT_EQ(j.status, 0) << j.err;
    EXPECT_EQ(j.out.find('\x1b'), std::string::npos) << j.out;
    EXPECT_EQ(j.out.find('\x07'), std::string::npos) << j.out;
    EXPECT_NE(j.out.find("\\x1B]0;owned\\x07"), std::string::npos) << j.out;
}

// ------------------------------------------------------------------ the production station

namespace {
// Simulators as the fixtures of a production line, each its own process with its control.
struct TFixtures {
    std::vector<std::unique_ptr<Proc>> sims;
    std::vector<std::string> links;
    TFixtures(const Bench& bench, int n, const std::vector<std::vector<std::string>>& extra = {})
    {
        for (int i = 0; i < n; ++i) {
            const std::string k = std::to_string(i + 1);
            links.push_back((bench.dir / ("fixture" + k)).string());
            std::vector<std::string> argv = {ZENDA_SIM_PATH, "--link", links.back(), "--log",
                                             (bench.dir / ("fixture" + k + ".log")).string(),
                                             "--control", "--no-pace", "--fixture", "150:150"};
            if (i < static_cast<int>(extra.size()))
                argv.insert(argv.end(), extra[i].begin(), extra[i].end());
            sims.push_back(std::make_unique<Proc>(argv, std::vector<std::string>{},
                                                  (bench.dir / ("fixture" + k + ".err")).string()));
        }
        for (const auto& l : links)
            for (int i = 0; i < 200 && !std::filesystem::exists(l); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::vector<std::string> Ports() const
    {
        std::vector<std::string> a;
        for (const auto& l : links)
            a.insert(a.end(), {"--port", l});
        return a;
    }
    int Writes()
    {
        int n = 0;
        for (auto& s : sims)
            n += std::stoi(s->Cmd("count 0"));
        return n;
    }
};

// The journal's verified writes by serial number, and the numbers whose write began and failed.
std::pair<std::map<int, int>, std::set<int>> JournalNumbers(const Bench& bench)
{
    std::map<int, int> written;
    std::set<int> spoiled;
    for (const TJournalLine& l : TServiceRecords::ReadJournal(JournalOf(bench))) {
        const QByteArray w = QByteArray::fromHex(l.written.toLatin1());
        if (w.size() == 72)
            ++written[static_cast<uint8_t>(w[6]) * 256 + static_cast<uint8_t>(w[7])];
        else if (l.outcome != QStringLiteral("выполнено") && l.outcome != QStringLiteral("отменено")) {
            for (const QString& c : l.changes)
                if (c.startsWith(QStringLiteral("Заводской номер: ")))
                    spoiled.insert(c.section(QStringLiteral(" -> "), 1).toInt());
        }
    }
    return {written, spoiled};
}
}  // namespace

namespace {
// What a PDF of labels holds, read back by a decoder no one here wrote (libdmtx's dmtxread): a
// line a symbol, in page order; empty when the tools are missing.
std::vector<std::string> DecodedLabels(const std::filesystem::path& pdf)
{
    const std::filesystem::path pages = pdf.parent_path() / (pdf.stem().string() + "-page");
    const std::string out = pages.string() + ".txt";
    const std::string cmd = "pdftoppm -r 150 -png '" + pdf.string() + "' '" + pages.string() + "' && dmtxread -n -m 4000 '" +
                            pages.string() + "'-*.png > '" + out + "'";
    std::vector<std::string> lines;
    if (std::system(cmd.c_str()) != 0)
        return lines;
    std::ifstream in(out);
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}
bool CanDecodeLabels() { return std::system("command -v dmtxread >/dev/null && command -v pdftoppm >/dev/null") == 0; }
}  // namespace

// The station's window, driven as an operator drives it (clicks and keys through the window),
// on simulated fixtures: a batch set up and kept by name, killed mid-device, reopened the next
// time, a failure held until it is acknowledged; every number once, a label for each number
// written and verified and for nothing else, and one station on the data folder at a time.
TEST_F(Cli, TheStationWindowNumbersEveryDeviceOnceWithALabelEachThroughAKill)
{
    if (!*ZENDA_STATION_PATH || UnderWine())
        GTEST_SKIP() << "the station's window is not built";
    // The next device is put on 1.5 s after one is taken off: the window looks once a second.
    TFixtures fixtures(bench, 2, {{"--fixture", "300:1500"}, {"--fixture", "300:1500"}});
    const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + bench.config, "XDG_DATA_HOME=" + bench.data,
                                          "QT_QPA_PLATFORM=offscreen"};
    const std::string labels1 = (bench.dir / "labels1.pdf").string();
    auto start = [&] {
        auto app = std::make_unique<Proc>(std::vector<std::string>{ZENDA_STATION_PATH, "--automation"}, env,
                                          (bench.dir / "station.err").string());
        EXPECT_EQ(app->ReadReply(30000).rfind("shown", 0), 0u);
        return app;
    };
    auto waitFor = [](Proc& app, const std::string& cmd, const std::string& want, int seconds = 30) {
        std::string got;
        for (int i = 0; i < seconds * 10; ++i) {
            if ((got = app.Cmd(cmd)).find(want) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ADD_FAILURE() << cmd << ": " << got << " (wanted " << want << ")";
        return false;
    };
    auto type = [](Proc& app, const std::string& field, const std::string& text, int erase = 0) {
        ASSERT_EQ(app.Cmd("click " + field), "ok");
        app.Cmd("key " + field + " End");
        for (int i = 0; i < erase; ++i)
            app.Cmd("key " + field + " Backspace");
        ASSERT_EQ(app.Cmd("keys " + text), "ok");
    };

    // ---- the set-up, kept as "line1"
    auto app = start();
    type(*app, "Batch", "line1");
    type(*app, "First", "4000", 6);
    type(*app, "Count", "12", 6);
    for (const auto& l : fixtures.links) {
        type(*app, "AddPort", l);
        ASSERT_EQ(app->Cmd("key AddPort Return"), "ok");
    }
    ASSERT_EQ(app->Cmd("click Labels"), "ok");
    type(*app, "LabelTarget", labels1);
    ASSERT_TRUE(waitFor(*app, "get PlanNote", "Приборов в плане: 12"));
    ASSERT_EQ(app->Cmd("click SaveBatch"), "ok");
    ASSERT_EQ(app->Cmd("click Start"), "ok");
    for (int i = 0; i < 300 && app->Cmd("get Totals").find("Готово: 0 ") != std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(app->Cmd("get Totals").find("Готово: 0 "), std::string::npos) << app->Cmd("get Totals");
    // One station on the folder: zenda station is refused while the window runs.
    const TRun other = Zenda(bench, {"station", "--serial-from", "4000", "--count", "12", "--port", fixtures.links[0]});
    EXPECT_EQ(other.status, 2);
    EXPECT_NE(other.err.find("another station is running"), std::string::npos) << other.err;
    // Killed while a fixture writes (its device answers the write 3 s late).
    fixtures.sims[0]->Cmd("fault delay:3000@0x1");
    ASSERT_TRUE(waitFor(*app, "get State0", "ЗАПИСЬ"));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    app->Signal(SIGKILL);
    ASSERT_TRUE(app->Exited(5000));

    // ---- the next shift reopens "line1"; the labels' file of the first run is not overwritten
    app = start();
    EXPECT_EQ(app->Cmd("get Batch"), "line1");
    EXPECT_EQ(app->Cmd("get LabelTarget"), labels1);
    ASSERT_EQ(app->Cmd("click Start"), "ok");
    ASSERT_TRUE(waitFor(*app, "state", "уже есть"));
    app->Cmd("press 0");
    type(*app, "LabelTarget", "-2.pdf", 4);
    // A write that fails on the second fixture holds it until the operator acknowledges it.
    fixtures.sims[1]->Cmd("fault noanswer@0x1");
    ASSERT_EQ(app->Cmd("click Start"), "ok");
    ASSERT_TRUE(waitFor(*app, "get State1", "СБОЙ", 60)) << app->Cmd("get Totals") << fixtures.sims[1]->Cmd("count 0");
    ASSERT_TRUE(waitFor(*app, "get State1", "ПОДТВЕРДИТЕ", 30));
    const int writes = std::stoi(fixtures.sims[1]->Cmd("count 0"));
    std::this_thread::sleep_for(std::chrono::milliseconds(4000));  // a new device is on meanwhile
    EXPECT_EQ(std::stoi(fixtures.sims[1]->Cmd("count 0")), writes) << "a fixture went on before the acknowledgement";
    EXPECT_NE(app->Cmd("get State1").find("ПОДТВЕРДИТЕ"), std::string::npos) << app->Cmd("get State1");
    ASSERT_EQ(app->Cmd("click Acknowledge1"), "ok");
    ASSERT_TRUE(waitFor(*app, "enabled NewBatch", "1", 90));
    EXPECT_GT(std::stoi(fixtures.sims[1]->Cmd("count 0")), writes) << "the fixture did not go on after the acknowledgement";
    const std::string totals = app->Cmd("get Totals");
    EXPECT_NE(totals.find("Осталось в плане: 0"), std::string::npos) << totals;
    app->Cmd("quit");
    ASSERT_TRUE(app->Exited(5000));

    // Every number once: written and verified, or spoiled; none twice, none outside the plan.
    const auto [written, spoiled] = JournalNumbers(bench);
    std::set<int> used;
    for (const auto& [serial, times] : written) {
        EXPECT_EQ(times, 1) << serial;
        EXPECT_TRUE(serial >= 4000 && serial <= 4011) << serial;
        used.insert(serial);
    }
    for (int n : spoiled)
        EXPECT_EQ(written.count(n), 0u) << n << " spoiled and written";
    used.insert(spoiled.begin(), spoiled.end());
    EXPECT_EQ(used.size(), 12u);
    EXPECT_GE(spoiled.size(), 1u);  // the failed write's
    // A label for each number written and verified, once, and for nothing else.
    if (!CanDecodeLabels())
        return;
    std::multiset<std::string> decoded;
    for (const std::string& f : {labels1, (bench.dir / "labels1-2.pdf").string()})
        for (const std::string& l : DecodedLabels(f))
            decoded.insert(l.substr(l.find(';') + 1, l.rfind(';') - l.find(';') - 1));
    std::multiset<std::string> expected;
    for (const auto& [serial, times] : written)
        expected.insert(std::to_string(serial));
    EXPECT_EQ(decoded, expected);
    // And again from the journal: zenda label N; none for a spoiled number.
    const std::string again = (bench.dir / "again.pdf").string();
    ASSERT_EQ(Zenda(bench, {"label", std::to_string(written.begin()->first), "--labels", again}).status, 0);
    const auto one = DecodedLabels(again);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_NE(one[0].find(";" + std::to_string(written.begin()->first) + ";"), std::string::npos) << one[0];
    EXPECT_EQ(Zenda(bench, {"label", std::to_string(*spoiled.begin())}).status, 2);
    // To a printer through CUPS: lp gets the label's PDF with the label's size as its media.
    const std::filesystem::path bin = bench.dir / "bin";
    std::filesystem::create_directories(bin);
    std::ofstream(bin / "lpstat") << "#!/bin/sh\necho Zebra-ZD421\n";
    std::ofstream(bin / "lp") << "#!/bin/sh\necho \"$@\" > '" << (bench.dir / "lp.args").string() << "'\ncat > '"
                              << (bench.dir / "printed.pdf").string() << "'\n";
    std::filesystem::permissions(bin / "lpstat", std::filesystem::perms::owner_all);
    std::filesystem::permissions(bin / "lp", std::filesystem::perms::owner_all);
    const std::string path = std::getenv("PATH");
    setenv("PATH", (bin.string() + ":" + path).c_str(), 1);
    const TRun printed = Zenda(bench, {"label", std::to_string(written.rbegin()->first), "--labels", "Zebra-ZD421",
                                       "--label-size", "62x29"});
    const TRun unknown = Zenda(bench, {"label", std::to_string(written.rbegin()->first), "--labels", "Nosuch"});
    setenv("PATH", path.c_str(), 1);
    ASSERT_EQ(printed.status, 0) << printed.err;
    std::ifstream args(bench.dir / "lp.args");
    const std::string lpArgs((std::istreambuf_iterator<char>(args)), {});
    EXPECT_NE(lpArgs.find("-d Zebra-ZD421"), std::string::npos) << lpArgs;
    EXPECT_NE(lpArgs.find("media=Custom.62x29mm"), std::string::npos) << lpArgs;
    const auto onPaper = DecodedLabels(bench.dir / "printed.pdf");
    ASSERT_EQ(onPaper.size(), 1u);
    EXPECT_NE(onPaper[0].find(";" + std::to_string(written.rbegin()->first) + ";"), std::string::npos) << onPaper[0];
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("Zebra-ZD421"), std::string::npos) << unknown.err;  // the printers there are
}

TEST_F(Cli, StationRefusesABadPlanBeforeTouchingAFixture)
{
    const auto plan = bench.dir / "plan.csv";
    const struct {
        const char* text;  // the plan file, or "" for the options alone
        std::vector<std::string> args;
        const char* said;
    } cases[] = {
        {"serial,address\n1000,5\n1001,6\n1000,7\n", {}, "plan.csv: row 4: the serial number 1000 is in the plan twice (row 2)"},
        {"serial\n70000\n", {}, "row 2: the serial number 70000 is not 1..65535"},
        {"serial\n0\n", {}, "the serial number 0 is not 1..65535"},
        {"serial;address\n1000;64\n", {}, "row 2: the address 64 is not 1..63"},
        {"number,address\n1000,5\n", {}, "unknown column 'number'"},
        {"serial,ch1\n1000,\"value=9,type=pulse\"\n", {}, "pulse value '9'"},
        {"serial,v2-reset\n1000,maybe\n", {}, "v2-reset is yes or no"},
        {"", {"--serial-from", "65530", "--count", "10"}, "goes past 65535"},
        {"", {"--serial-from", "1000"}, "--count is a number of devices"},
        {"", {}, "give the plan as --serial-from N --count K, or as --plan FILE.csv"},
        {"", {"--serial-from", "1000", "--count", "2", "--port", ""}, "--port is empty"},
        {"", {"--serial-from", "1000", "--count", "2", "--port", "COM3", "--port", "com3"}, "COM3 is named twice"},
        {"serial\n99\x01" "01\n", {}, "row 2: a control character in the cell"},
        {"serial;address;\n1000;5;\n1001;5;7\n", {}, "row 3: a value '7' under no column"},
        {"", {"--plan", "/dev/zero"}, "the plan /dev/zero is not a regular file"},
        {"", {"--serial-from", "1", "--count", "1", "--results", "/dev/full"}, "is not a regular file"},
        {"", {"--serial-from", "1", "--count", "1", "--trace"}, "--trace is for one command on one line"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"station", "--port", bench.line};
        if (*c.text) {
            std::ofstream(plan) << c.text;
            args.insert(args.end(), {"--plan", plan.string()});
        }
        if (!c.args.empty() && c.args.back().empty())
            args = {"station"};  // its own --port
        args.insert(args.end(), c.args.begin(), c.args.end());
        const TRun r = Zenda(bench, args);
        EXPECT_EQ(r.status, 2) << c.said << "\n" << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    }
    EXPECT_EQ(sim->Cmd("count 5") + sim->Cmd("count 4") + sim->Cmd("count 0"), "000");  // not even asked
    const TRun r = Zenda(bench, {"station", "--serial-from", "1", "--count", "1", "--port", bench.line,
                                 "--port", (bench.dir / "no-such-line").string()});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_EQ(sim->Cmd("count 0"), "0");
    // A journal it cannot append to (one a spreadsheet saved as UTF-16): the station keeps its
    // numbers there, so it writes no device and stops.
    const auto folder = std::filesystem::path(bench.data) / "ЛЮМРАД" / "zenda-init";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "journal.csv", std::ios::binary) << std::string("\xFF\xFEt\0i\0m\0e\0\r\0\n\0", 12);
    const TRun broken = Zenda(bench, {"station", "--serial-from", "1", "--count", "3", "--renumber", "--poll", "50",
                                      "--port", bench.line});
    EXPECT_EQ(broken.status, 1) << broken.out << broken.err;
    EXPECT_NE(broken.err.find("the station stopped: the service journal cannot be written"), std::string::npos)
        << broken.err;
    EXPECT_EQ(sim->Cmd("count 0"), "0");
}

// Three fixtures, faults of the simulator's list at seeded moments, a kill in the middle and a
// second run of the same plan: no number given twice, none left out, the guard holds.
TEST_F(Cli, StationGivesEveryNumberOnceThroughFaultsAndAKill)
{
    if (UnderWine())
        GTEST_SKIP() << "the Linux data folder";
    const char* seedText = std::getenv("ZENDA_SOAK_SEED");
    const unsigned seed = seedText ? static_cast<unsigned>(std::atoll(seedText)) : 20261209u;
    std::mt19937 random(seed);
    auto pick = [&](int n) { return std::uniform_int_distribution<>(0, n - 1)(random); };
    // The first device of the first two fixtures is numbered already (12345); the second
    // fixture's third holds the plan's last number; the third fixture's first device is new, its
    // write gets no answer and it is taken off, the next put on only after the retries are over.
    TFixtures fixtures(bench, 3, {{}, {"--serials", "0,3013"}, {"--fault", "noanswer@0x1", "--fixture", "150:8000"}});
    const std::vector<std::string> faults = {"noanswer@4x1", "wrongecho@0x1",   "badecho@0x3", "badreadback@0x3",
                                             "short:10@4x1", "garbage:5@0x1", "delay:50@0x1", "ackff@5x1",
                                             "badread@4x2"};
    fixtures.sims[2]->Cmd("on 0");  // a new device: its write comes first
    std::vector<std::string> args = {"--json", "station", "--serial-from", "3000", "--count", "14", "--poll", "40",
                                     "--results", (bench.dir / "results.csv").string(), "--address", "9"};
    const auto ports = fixtures.Ports();
    args.insert(args.end(), ports.begin(), ports.end());

    // The first run is stopped by Ctrl+C, the second killed, each at a seeded moment, faults
    // being set meanwhile; the third finishes the plan.
    for (int sig : {SIGINT, SIGKILL}) {
        const std::string out = (bench.dir / "station.out").string();
        const pid_t pid = Spawn(args, out);
        const auto at = std::chrono::steady_clock::now() + std::chrono::milliseconds(700 + pick(1500));
        while (std::chrono::steady_clock::now() < at) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100 + pick(300)));
            fixtures.sims[pick(3)]->Cmd("fault " + faults[pick(static_cast<int>(faults.size()))]);
        }
        kill(pid, sig);
        int st = 0;
        waitpid(pid, &st, 0);
        if (sig == SIGINT) {
            // Each fixture ends after its device: the summary comes, no write is left without its end.
            std::ifstream in(out);
            const std::string text((std::istreambuf_iterator<char>(in)), {});
            EXPECT_NE(text.find("\"event\":\"summary\""), std::string::npos) << text;
            EXPECT_TRUE(WIFEXITED(st) && (WEXITSTATUS(st) == 130 || WEXITSTATUS(st) == 1)) << st << text;
            for (const TJournalLine& l : TServiceRecords::ReadJournal(JournalOf(bench)))
                EXPECT_NE(l.outcome, TServiceRecords::kBegun) << "half a device after Ctrl+C";
        }
    }

    std::vector<std::string> last = args;
    if (CanDraw())  // each device's protocol too
        last.push_back("--protocol");
    const TRun r = Zenda(bench, last);
    std::map<std::string, int> events;
    QJsonObject summary;
    std::istringstream lines(r.out);
    for (std::string l; std::getline(lines, l);) {
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(l)).object();
        ++events[o[u"event"].toString().toStdString()];
        if (o[u"event"] == QStringLiteral("skipped")) {
            EXPECT_NE(o[u"message"].toString().indexOf(QStringLiteral("уже пронумерован")), -1);
        }
        if (o[u"event"] == QStringLiteral("summary"))
            summary = o;
    }
    ASSERT_FALSE(summary.isEmpty()) << r.out << r.err;
    EXPECT_EQ(summary[u"left"].toInt(), 0) << r.out;
    EXPECT_EQ(r.status, summary[u"failed"].toInt() > 0 ? 1 : 0);

    // The journal is the record: every number of the plan was written once and verified, or
    // spoiled (its write began); none was written twice; nothing outside the plan was.
    const auto [written, spoiled] = JournalNumbers(bench);
    std::set<int> used, seen;  // seen: on a device the guard left alone, oldest first
    const auto journal = TServiceRecords::ReadJournal(JournalOf(bench));
    for (auto l = journal.rbegin(); l != journal.rend(); ++l) {
        const QByteArray w = QByteArray::fromHex(l->written.toLatin1());
        if (w.size() == 72) {
            EXPECT_EQ(seen.count(static_cast<uint8_t>(w[6]) * 256 + static_cast<uint8_t>(w[7])), 0u)
                << "a number read off a device was given to another";
        }
        if (l->outcome.endsWith(QStringLiteral("уже пронумерован")))
            seen.insert(l->serial.toInt());
    }
    if (seen.count(3013))  // a device came numbered with the plan's last number
        used.insert(3013);
    for (const auto& [serial, times] : written) {
        EXPECT_EQ(times, 1) << serial << " written " << times << " times";
        EXPECT_TRUE(serial >= 3000 && serial < 3014) << serial;
        used.insert(serial);
    }
    for (int s : spoiled)
        if (!written.count(s))
            used.insert(s);
    EXPECT_EQ(used.size(), 14u) << r.out;
    EXPECT_EQ(summary[u"numbers"].toArray().size(), 14);
    EXPECT_FALSE(written.count(12345)) << "a numbered device was renumbered";
    // The device taken off during its write: spoiled, reported, and its number never given again.
    EXPECT_GE(spoiled.size(), 1u);
    for (int s : spoiled)
        EXPECT_EQ(written.count(s), 0u) << s << " was spoiled and given again";
    int guarded = 0;
    for (const TJournalLine& l : TServiceRecords::ReadJournal(JournalOf(bench)))
        guarded += l.outcome.endsWith(QStringLiteral("уже пронумерован"));
    EXPECT_GE(guarded, 2) << "the first device of the first two fixtures is numbered";
    EXPECT_EQ(events["done"], summary[u"done"].toInt());
    size_t protocols = 0;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(bench.data) / "ЛЮМРАД" / "zenda-init" / "protocols", ec))
        protocols += e.path().extension() == ".pdf";
    EXPECT_EQ(protocols, static_cast<size_t>(summary[u"done"].toInt())) << r.out;
    // The results file: a row a device, the header once.
    std::ifstream results(bench.dir / "results.csv");
    const std::string text((std::istreambuf_iterator<char>(results)), {});
    EXPECT_EQ(Count(text, "time,fixture,serial"), 1u);
    EXPECT_GE(Count(text, ",done,"), static_cast<size_t>(summary[u"done"].toInt()));
    // A plan used up: a third run writes nothing.
    const int writes = fixtures.Writes();
    const TRun again = Zenda(bench, args);
    EXPECT_EQ(again.status, 0) << again.out;
    EXPECT_EQ(fixtures.Writes(), writes);
}

namespace {
// A station run's NDJSON: the summary, and every event's message in one text.
struct TStationRun {
    TRun run;
    QJsonObject summary;
    std::map<int, QJsonObject> byNumber;  // each number's last device event (done, failed)
    std::string said;
};

TStationRun Station(const Bench& bench, std::vector<std::string> args)
{
    args.insert(args.begin(), {"--json", "station", "--poll", "40"});
    TStationRun r{Zenda(bench, args), {}, {}, {}};
    std::istringstream lines(r.run.out);
    for (std::string l; std::getline(lines, l);) {
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(l)).object();
        if (o[u"event"] == QStringLiteral("summary"))
            r.summary = o;
        if (o[u"event"] == QStringLiteral("done") || o[u"event"] == QStringLiteral("failed"))
            r.byNumber[o[u"serial"].toInt()] = o;
        r.said += o[u"message"].toString().toStdString() + "\n";
    }
    r.said += r.run.err;
    return r;
}

}  // namespace

// A write that got no answer, a short or a garbled one may be in the device, and the operator
// may have swapped it meanwhile: the station only reads back, never writes again. Read back as
// intended, it is done; else its number is spoiled and the next device gets the next one.
TEST_F(Cli, StationNeverSendsAWriteTwice)
{
    if (UnderWine())
        GTEST_SKIP() << "the Linux data folder";
    const struct {
        const char* fault;
        bool stays;  // the device is still on the fixture when it is read back
    } cases[] = {{"noanswer@0x1", false}, {"short:10@0x1", false}, {"delay:4500@0x1", false},
                 {"badecho@0x1", true},   {"garbage:5@0x1", true}};
    std::vector<std::vector<std::string>> faults;
    for (const auto& c : cases)
        faults.push_back({"--fault", c.fault});
    TFixtures fixtures(bench, static_cast<int>(faults.size()), faults);
    int first = 7001;
    for (size_t i = 0; i < faults.size(); ++i) {
        const auto& c = cases[i];
        const TStationRun r = Station(bench, {"--serial-from", std::to_string(first), "--count", "2",
                                              "--port", fixtures.links[i]});
        EXPECT_EQ(r.summary[u"left"].toInt(), 0) << c.fault << r.run.out << r.run.err;
        EXPECT_EQ(fixtures.sims[i]->Cmd("count 0"), "2") << c.fault << ": a write was sent again\n" << r.run.out << r.run.err;
        const auto [written, spoiled] = JournalNumbers(bench);
        EXPECT_EQ(written.count(first), c.stays ? 1u : 0u) << c.fault;
        EXPECT_EQ(written.count(first + 1), 1u) << c.fault;
        const QJsonObject e = r.byNumber.at(first);
        EXPECT_EQ(e[u"event"].toString(), c.stays ? QStringLiteral("done") : QStringLiteral("failed")) << c.fault;
        if (!c.stays) {
            EXPECT_TRUE(e[u"spoiled"].toBool()) << c.fault;
            EXPECT_NE(r.said.find("take the device off and check it"), std::string::npos) << c.fault << r.said;
        }
        EXPECT_EQ(r.run.status, c.stays ? 0 : 1) << c.fault;
        first += 10;
    }
}

// Two fixtures of one station, their timing forced by the devices' answers: a number a device
// is seen holding is never begun on another fixture; a write begun before the sighting makes
// "two devices hold № N", said on both fixtures, status 1, both kept in the ledger.
TEST_F(Cli, StationNeverWritesANumberAnotherFixtureSawOnADevice)
{
    if (UnderWine())
        GTEST_SKIP() << "the Linux data folder";
    const std::filesystem::path ledger = std::filesystem::path(bench.data) / "ЛЮМРАД" / "zenda-init" / "numbers.csv";
    for (const bool late : {false, true}) {
        std::filesystem::remove(ledger);
        std::filesystem::remove(JournalOf(bench).toStdString());
        // a: a new device that reads slowly once; b: empty until the test puts on a device
        // numbered earlier, 7001: while a has taken 7001 and still reads, or after a wrote it
        // (a's next device comes only after b has looked at its own).
        TFixtures fixtures(bench, 2, {{"--fixture", late ? "150:4000" : "150:150"}, {"--fixture", "150:600000"}});
        fixtures.sims[0]->Cmd("on 0");
        fixtures.sims[1]->Cmd("off");
        if (!late)
            fixtures.sims[0]->Cmd("fault delay:1500@4x1");
        std::vector<std::string> args = {"--json", "station", "--poll", "40", "--serial-from", "7001", "--count", "2"};
        const auto ports = fixtures.Ports();
        args.insert(args.end(), ports.begin(), ports.end());
        const std::string out = (bench.dir / "station.out").string();
        std::filesystem::remove(out);  // the cue is looked for in this run's output only
        const pid_t pid = Spawn(args, out);
        const std::string cue = late ? "\"event\":\"done\",\"fixture\":\"" + fixtures.links[0]
                                     : "\"event\":\"device\",\"fixture\":\"" + fixtures.links[0];
        for (int i = 0; i < 500 && Slurp(out).find(cue) == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        fixtures.sims[1]->Cmd("on 7001");
        int st = 0;
        waitpid(pid, &st, 0);
        const std::string said = Slurp(out);
        const auto [written, spoiled] = JournalNumbers(bench);
        const std::string ledgerText = Slurp(ledger);
        EXPECT_NE(said.find(cue), std::string::npos) << said;
        if (!late) {
            EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << st << said;
            EXPECT_EQ(written.count(7001), 0u) << said;  // never written onto a's device
            EXPECT_EQ(written.count(7002), 1u) << said;
            EXPECT_NE(said.find("№ 7001 is held by the device on " + fixtures.links[1]), std::string::npos) << said;
        } else {
            EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 1) << st << said;
            EXPECT_EQ(written.count(7001), 1u);
            const std::string two = "two devices hold № 7001: the device on " + fixtures.links[1] +
                                    " and the one written on " + fixtures.links[0];
            EXPECT_EQ(Count(said, two), 2u) << said;  // on both fixtures
            EXPECT_NE(said.find("\"fixture\":\"" + fixtures.links[0] + "\",\"message\":\"" + two), std::string::npos)
                << said;
            // The ledger keeps both: a's write of 7001 and b's sighting of it.
            EXPECT_NE(ledgerText.find("7001,done,"), std::string::npos) << ledgerText;
            EXPECT_NE(ledgerText.find("7001,seen,"), std::string::npos) << ledgerText;
        }
        EXPECT_NE(said.find("\"left\":0"), std::string::npos) << said;
    }
}

// A plan row the connected model cannot take (a frequency input on a ZENDA1) is set aside for
// that device, said once, and the next number goes on; the row waits for a device that takes it.
TEST_F(Cli, StationSetsAsideARowTheDeviceCannotTake)
{
    if (UnderWine())
        GTEST_SKIP() << "the Linux data folder";
    TFixtures fixture(bench, 1);
    const auto plan = bench.dir / "plan.csv";
    std::ofstream(plan) << "serial;ch1\n6601;type=freq\n6602;\n6603;\n";
    const std::string out = (bench.dir / "station.out").string();
    const pid_t pid =
        Spawn({"--json", "station", "--plan", plan.string(), "--poll", "40", "--port", fixture.links[0]}, out);
    for (int i = 0; i < 200 && Slurp(out).find("fits this device") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(pid, SIGINT);
    waitpid(pid, nullptr, 0);
    const std::string said = Slurp(out);
    EXPECT_EQ(Count(said, "set aside for this ZENDA1"), 1u) << said;
    EXPECT_NE(said.find("no row left in the plan fits this device (ZENDA1): take it off"), std::string::npos) << said;
    const auto [written, spoiled] = JournalNumbers(bench);
    EXPECT_EQ(written.count(6602) + written.count(6603), 2u) << said;
    EXPECT_EQ(written.count(6601), 0u);
    EXPECT_EQ(Count(said, "\"event\":\"failed\""), 0u) << "a device that fits no row is not a failed device";
}

// The ledger is the station's own record; the journal and the backups are read beside it, and
// no damage to any of them makes a number free again.
TEST_F(Cli, StationKeepsItsNumbersThroughAMissingCutOrReSavedRecord)
{
    if (UnderWine())
        GTEST_SKIP() << "the Linux data folder";
    TFixtures fixture(bench, 1);
    const auto data = DataOf(bench);
    const auto ledger = data / "numbers.csv", journal = data / "journal.csv";
    auto plan = [&](int count, std::vector<std::string> more = {}) {
        more.insert(more.begin(), {"--serial-from", "5001", "--count", std::to_string(count), "--port",
                                   fixture.links[0]});
        return Station(bench, more);
    };
    auto append = [](const std::filesystem::path& f, const std::string& bytes) {
        std::ofstream(f, std::ios::app | std::ios::binary) << bytes;
    };
    ASSERT_EQ(plan(2).run.status, 0);
    ASSERT_TRUE(std::filesystem::exists(ledger));

    // Moved away: refused until --recover makes it anew from the journal.
    std::filesystem::rename(ledger, bench.dir / "numbers.moved");
    TStationRun r = plan(4);
    EXPECT_EQ(r.run.status, 2) << r.run.err;
    EXPECT_NE(r.run.err.find("(5001, 5002): nothing written; run the station with --recover"), std::string::npos)
        << r.run.err;
    EXPECT_EQ(fixture.Writes(), 2);
    r = plan(3, {"--recover"});
    EXPECT_EQ(r.run.status, 0) << r.said;
    EXPECT_NE(r.said.find("took from the journal and the backups: done 5001, 5002"), std::string::npos) << r.said;
    EXPECT_EQ(r.byNumber.count(5003), 1u);

    // A power cut inside the ledger's last line, in its number: each number it may have been.
    const std::string whole = Slurp(ledger);
    append(ledger, "500");
    r = plan(5);
    EXPECT_NE(r.said.find("cut short, numbers 5001..5005 kept as used"), std::string::npos)
        << r.said;
    EXPECT_EQ(r.summary[u"left"].toInt(), 0);
    EXPECT_EQ(fixture.Writes(), 3);
    std::ofstream(ledger, std::ios::binary | std::ios::trunc) << whole;

    // The journal cut inside its last line, after the number: that number is kept.
    append(journal, "\"2026-12-09T10:00:00+03:00\",\"init\",\"/x\",\"ZENDA1\",\"0\",\"5\",\"" +
                        std::string("запись в прибор начата") + "\",\"Заводской номер: 0 -> 5004");
    r = plan(5);
    EXPECT_NE(r.said.find("cut short, number 5004 kept as used"), std::string::npos) << r.said;
    EXPECT_EQ(r.byNumber.count(5004), 0u);
    EXPECT_EQ(r.byNumber.count(5005), 1u);

    // Re-saved by a spreadsheet (semicolons, dates and the hex re-formatted) with the ledger
    // gone: every number it shows is refused as free, and --recover takes them as used.
    std::string text = Slurp(journal), saved;
    for (const char ch : text)
        saved += ch == ',' ? ';' : ch;
    saved = std::regex_replace(saved, std::regex("\"[0-9A-F]{144}\""), "3.01E+143");
    saved = std::regex_replace(saved, std::regex("\"2026-12-(\\d\\d)T(\\d\\d:\\d\\d):\\d\\d[^\"]*\""), "$1.12.2026 $2");
    std::ofstream(journal, std::ios::binary | std::ios::trunc) << saved;
    std::filesystem::remove(ledger);
    r = plan(6);
    EXPECT_EQ(r.run.status, 2) << r.said;
    EXPECT_NE(r.run.err.find("(5001..5005)"), std::string::npos) << r.run.err;
    r = plan(6, {"--recover"});
    EXPECT_NE(r.said.find("lines are not as the journal writes them"), std::string::npos) << r.said;
    EXPECT_NE(r.said.find("used 5001..5005"), std::string::npos) << r.said;
    EXPECT_EQ(r.byNumber.count(5006), 1u);
    EXPECT_EQ(r.byNumber.size(), 1u);

    // A begun line alone (written with --no-backup, from a device that said 0) is not hidden by
    // a later refusal on that fixture: lines pair by identity.
    std::filesystem::remove(journal);
    TServiceRecords records(QStringLiteral("test"));
    setenv("XDG_DATA_HOME", bench.data.c_str(), 1);
    TJournalLine begun{QStringLiteral("2026-12-09T10:00:00+03:00"), QStringLiteral("init"), QStringLiteral("/f"),
                       QStringLiteral("ZENDA1"), QStringLiteral("0"), QStringLiteral("5"), TServiceRecords::kBegun,
                       {QStringLiteral("Заводской номер: 0 -> 5007")}, {}, {}, {}, QStringLiteral("A1")};
    TJournalLine refused = begun;
    refused.outcome = QStringLiteral("на приспособлении /f прибор № 0 уже пронумерован");
    refused.changes.clear();
    refused.id = QStringLiteral("B2");
    ASSERT_TRUE(records.Journal(begun) && records.Journal(refused));
    unsetenv("XDG_DATA_HOME");
    const QJsonArray lines = Zenda(bench, {"--json", "journal"}).Json()[u"journal"].toArray();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[1].toObject()[u"outcome"].toString(), TServiceRecords::kBegun);
    r = plan(8);
    EXPECT_EQ(r.byNumber.count(5007), 0u);
    EXPECT_EQ(r.byNumber.count(5008), 1u) << r.said;
}

// The window, two zenda processes and a station of two fixtures append at the same moment to a
// journal that does not exist yet: one header, every line whole, none lost.
TEST_F(Cli, ProgramsAppendToOneJournalAtOnce)
{
    if (UnderWine())
        GTEST_SKIP() << "the Linux data folder";
    const char* count = std::getenv("ZENDA_APPEND_LINES");
    const int lines = count ? std::atoi(count) : 150;
    // Each device stays long enough for its leave under load, and the swap lasts several polls
    // even when 300 programs start beside it (a swap the station does not see leaves it waiting
    // for the device to go: an operator's swap takes seconds).
    TFixtures fixtures(bench, 2, {{"--fixture", "100:150"}, {"--fixture", "100:150"}});
    std::unique_ptr<Proc> app;
    if (*ZENDA_INIT_PATH) {  // the window is built
        app = bench.StartApp();
        ASSERT_EQ(app->ReadReply(30000).rfind("shown", 0), 0u);
    }
    std::vector<std::thread> writers;
    for (const char* port : {"/nonexistent-a", "/nonexistent-b"})  // each read's failure is a line
        writers.emplace_back([&, port] {
            const std::string loop = "for i in $(seq " + std::to_string(lines) + "); do XDG_DATA_HOME='" + bench.data +
                                     "' XDG_CONFIG_HOME='" + bench.config + "' '" ZENDA_CLI_PATH "' --port " + port +
                                     " read >/dev/null 2>&1; done; true";
            EXPECT_EQ(std::system(loop.c_str()), 0);
        });
    TRun station;
    writers.emplace_back([&] {
        std::vector<std::string> args = {"--json", "station", "--serial-from", "1", "--count", std::to_string(lines),
                                         "--poll", "20"};
        const auto ports = fixtures.Ports();
        args.insert(args.end(), ports.begin(), ports.end());
        station = Zenda(bench, args);
    });
    for (int i = 0; app && i < lines; ++i)
        ASSERT_EQ(app->Cmd("click Button_Read_Ini"), "ok");
    for (auto& w : writers)
        w.join();
    // Under this load a device may miss the fixture's short swap and fail: each is a line all the same.
    QJsonObject summary;
    std::istringstream events(station.out);
    for (std::string l; std::getline(events, l);)
        summary = QJsonDocument::fromJson(QByteArray::fromStdString(l)).object();
    ASSERT_EQ(summary[u"event"].toString(), QStringLiteral("summary")) << station.out << station.err;

    std::ifstream in(std::filesystem::path(bench.data) / "ЛЮМРАД" / "zenda-init" / "journal.csv");
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(Count(text, "time,action,port"), 1u);
    std::map<std::string, int> by;
    for (const TJournalLine& l : TServiceRecords::ReadJournal(JournalOf(bench))) {
        ASSERT_NE(l.action, TServiceRecords::kDamaged) << l.outcome.toStdString();
        const std::string port = l.port.toStdString();
        if (l.action == QStringLiteral("leave"))  // a device's leave after its initialization: its own line
            ++by["station leaves"];
        else
            ++by[port.rfind("COM1", 0) == 0 ? "window" : port.rfind("/nonexistent", 0) == 0 ? port : "station"];
    }
    EXPECT_GE(by["station leaves"], summary[u"done"].toInt());
    EXPECT_EQ(by["/nonexistent-a"], lines);
    EXPECT_EQ(by["/nonexistent-b"], lines);
    EXPECT_EQ(by["station"],
              summary[u"done"].toInt() + summary[u"failed"].toInt() + summary[u"skipped"].toInt());
    EXPECT_GE(summary[u"done"].toInt(), lines - summary[u"failed"].toInt()) << station.out;
    if (app) {
        EXPECT_EQ(by["window"], lines);
    }
}

// The man page is the help's: every command's options and every team command are in it.
TEST_F(Cli, TheManPageNamesEveryCommandAndOption)
{
    std::string man = Slurp(std::filesystem::path(__FILE__).parent_path() / ".." / "packaging" / "man" / "zenda.1.in");
    for (const std::string& troff : {std::string("\\fB"), std::string("\\fR"), std::string("\\fI"), std::string("\\")})
        for (size_t at; (at = man.find(troff)) != std::string::npos;)
            man.erase(at, troff.size());
    const std::string help = Zenda(bench, {"--help-all"}).out;
    const std::string commands = help.substr(0, help.find("Global options:"));
    std::set<std::string> names;
    static const std::regex option("--[a-z0-9-]+");
    for (auto it = std::sregex_iterator(commands.begin(), commands.end(), option); it != std::sregex_iterator(); ++it)
        names.insert(it->str());
    std::string team = commands.substr(commands.find("  team ") + 7);
    team = team.substr(0, team.find('\n'));
    for (size_t from = 0; from < team.size();) {
        const size_t bar = std::min(team.find('|', from), team.size());
        std::istringstream words(team.substr(from, bar - from));
        std::string word;
        words >> word;
        names.insert("team " + word);
        from = bar + 1;
    }
    ASSERT_GT(names.size(), 20u) << help;
    for (const std::string& name : names) {
        const std::string sought = name.rfind("team ", 0) == 0 ? name.substr(5) : name;
        EXPECT_NE(man.find(sought), std::string::npos) << name << " is not in the man page";
    }
}

// ------------------------------------------------------------------ the team's server

namespace {
// The private cluster that the ctest fixture started (tests/pg_cluster.sh): its folder and port.
struct TCluster {
    std::string dir, port;
    TCluster()
    {
        std::ifstream(ZENDA_PG_STATE) >> dir;
        std::ifstream(dir + "/port") >> port;
    }
    std::string Admin(const std::string& db) const
    {
        return "host=" + dir + " port=" + port + " dbname=" + db + " user=postgres";
    }
    std::string Pc(const std::string& db, const std::string& user, const std::string& host = "localhost") const
    {
        return "host=" + host + " port=" + port + " dbname=" + db + " user=" + user +
               " sslmode=verify-full sslrootcert=" + dir + "/root.crt";
    }
    // psql's answer, one value a line; as the superuser over the socket unless conninfo says.
    std::string Sql(const std::string& sql, const std::string& conninfo) const
    {
        const std::string cmd = "psql -qAtX -d '" + conninfo + "' -c \"" + sql + "\" 2>&1";
        std::string out;
        if (FILE* p = popen(cmd.c_str(), "r")) {
            char b[512];
            while (std::fgets(b, sizeof b, p))
                out += b;
            pclose(p);
        }
        return out;
    }
    static void Script(const std::string& what)
    {
        const std::string cmd = std::string(ZENDA_PG_CLUSTER) + " " + what + " " + ZENDA_PG_STATE;
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    }
};

}  // namespace

class Team : public Cli {
protected:
    void SetUp() override
    {
        Cli::SetUp();
        ASSERT_FALSE(pg.port.empty()) << "the test cluster did not start (" ZENDA_PG_STATE ")";
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        db = "t_";
        for (char c : name)
            db += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        db = db.substr(0, 40);
        pg.Sql("DROP DATABASE IF EXISTS " + db + " WITH (FORCE)", pg.Admin("postgres"));
        ASSERT_EQ(pg.Sql("CREATE DATABASE " + db, pg.Admin("postgres")), "");
        passfile = (bench.dir / "pgpass").string();
        setenv("PGPASSFILE", passfile.c_str(), 1);
        setenv("ZENDA_TEAM_DB", pg.Admin(db).c_str(), 1);
        const TRun setup = Zenda(bench, {"team", "setup"});
        ASSERT_EQ(setup.status, 0) << setup.err;
        unsetenv("ZENDA_TEAM_DB");
    }
    // A PC's login role, its line in the password file; its connection string.
    std::string AddPc(const std::string& name, const std::string& department = {})
    {
        setenv("ZENDA_TEAM_DB", pg.Admin(db).c_str(), 1);
        std::vector<std::string> args = {"--json", "team", "add-pc", db + "_" + name};
        if (!department.empty())
            args.push_back(department);
        const TRun r = Zenda(bench, args);
        unsetenv("ZENDA_TEAM_DB");
        EXPECT_EQ(r.status, 0) << r.err;
        std::string line = r.Json()[u"passfile"].toString().toStdString();
        line.replace(0, line.find(':'), "localhost");  // the administrator's was the server's socket
        std::ofstream(passfile, std::ios::app) << line << "\n";
        std::filesystem::permissions(passfile, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        return pg.Pc(db, db + "_" + name);
    }
    TCluster pg;
    std::string db, passfile;
};

// The administrator's set-up, a PC's connection, and every way a connection is refused: each
// said plainly, and nothing written by a station that cannot record its numbers first.
TEST_F(Team, SetUpConnectAndRefusals)
{
    auto team = [&](const std::vector<std::string>& args, const char* conninfo = nullptr) {
        if (conninfo)
            setenv("ZENDA_TEAM_DB", conninfo, 1);
        const TRun r = Zenda(bench, args);
        unsetenv("ZENDA_TEAM_DB");
        return r;
    };
    TRun r = team({"team", "status"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("no team's server: run 'zenda team connect CONNINFO'"), std::string::npos) << r.err;
    EXPECT_NE(team({"team", "status"}, "").err.find("ZENDA_TEAM_DB is set and empty"), std::string::npos);
    EXPECT_NE(team({"team", "setup"}, pg.Admin(db).c_str()).out.find("the schema is up to date (version 6)"),
              std::string::npos);
    const std::string pc = AddPc("pc1");
    EXPECT_NE(pc.find("sslmode=verify-full"), std::string::npos);
    // Only a PC made so is given a new password (and told so): never a person's role, nor the
    // superuser, whose passwords stay as they were.
    const std::string alice = db + "_alice", pc3 = db + "_pc3";
    pg.Sql("DROP ROLE IF EXISTS " + alice + "; CREATE ROLE " + alice + " LOGIN PASSWORD 'alicepw' CREATEDB", pg.Admin(db));
    for (const std::string& role : {alice, std::string("postgres")}) {
        const std::string hash = "SELECT rolpassword FROM pg_authid WHERE rolname = '" + role + "'", before = pg.Sql(hash, pg.Admin(db));
        r = team({"team", "add-pc", role}, pg.Admin(db).c_str());
        EXPECT_NE(r.status, 0) << role;
        EXPECT_NE(r.err.find("the server has a role " + role + " that is not one of the team's PCs"), std::string::npos) << r.err;
        EXPECT_EQ(pg.Sql(hash, pg.Admin(db)), before) << role;
    }
    EXPECT_FALSE(team({"--json", "team", "add-pc", pc3}, pg.Admin(db).c_str()).Json()[u"renewed"].toBool());
    // Refused before the server is asked, status 2 as any refused input: a name that is none, an
    // empty variable, a flag twice.
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"team", "add-pc", "Bad"}, {"team", "protocol", "", "x", "f.pdf"}, {"journal", "--team", "--team"}})
        EXPECT_EQ(team(args, pg.Admin(db).c_str()).status, 2) << args[1] << " " << args[2];
    r = team({"team", "add-pc", pc3}, pg.Admin(db).c_str());
    EXPECT_NE(r.out.find(pc3 + " was a PC already: its old password no longer works."), std::string::npos) << r.out;
    r = team({"team", "connect", "host=localhost password=secret"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("holds a password"), std::string::npos) << r.err;
    // A server that answers and refuses the login is not "cannot be reached": the operator
    // would check the network while the PC's password or role is wrong.
    for (const std::string& conninfo : {pc + " password=wrong", pc.substr(0, pc.find(" user=")) + " user=" + db + "_nobody" +
                                                                    pc.substr(pc.find(" sslmode="))}) {
        setenv("PGPASSWORD", "wrong", 1);
        r = team({"team", "status"}, conninfo.substr(0, conninfo.find(" password=")).c_str());
        unsetenv("PGPASSWORD");
        EXPECT_NE(r.err.find("the team's server refused this PC's login: "), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("cannot be reached"), std::string::npos) << r.err;
    }
    r = team({"team", "status"}, ("host=localhost port=1 dbname=" + db + " user=x").c_str());
    EXPECT_NE(r.err.find("the team's server cannot be reached: "), std::string::npos) << r.err;
    r = team({"team", "connect", pc});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("reached: localhost:" + pg.port + "/" + db + " as " + db + "_pc1"), std::string::npos) << r.out;
    EXPECT_NE(team({"team", "status"}).out.find("schema 6 of 6"), std::string::npos);
    // A restore with pg_dump alone into a cluster without the roles leaves the schema complete and
    // the PCs without their grants and policies (as here, revoked and dropped): setup puts them
    // back and says so, never "up to date" over them; then the PC reads again.
    pg.Sql("REVOKE ALL ON ALL TABLES IN SCHEMA zenda FROM zenda_station; REVOKE USAGE ON SCHEMA zenda FROM "
           "zenda_station; DROP POLICY journal_read ON zenda.journal; DROP POLICY backups_own ON zenda.backups; "
           "ALTER TABLE zenda.protocols DISABLE ROW LEVEL SECURITY",
           pg.Admin(db));
    EXPECT_NE(team({"journal", "--team"}).status, 0);
    r = team({"team", "setup"}, pg.Admin(db).c_str());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("the PCs' access was missing and is put back (USAGE ON SCHEMA zenda, SELECT ON zenda.numbers"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("POLICY journal_read, POLICY backups_own, ROW LEVEL SECURITY ON zenda.protocols"),
              std::string::npos)
        << r.out;
    EXPECT_NE(team({"team", "setup"}, pg.Admin(db).c_str()).out.find("the schema is up to date (version 6)"),
              std::string::npos);
    r = team({"journal", "--team"});
    EXPECT_EQ(r.status, 0) << r.err;

    // The PC's role reaches the book only through its functions.
    setenv("PGSSLROOTCERT", (pg.dir + "/root.crt").c_str(), 1);
    for (const char* sql : {"UPDATE zenda.numbers SET state = 'done'", "DELETE FROM zenda.numbers",
                            "INSERT INTO zenda.numbers (serial, state) VALUES (1, 'done')", "SELECT zenda.reap(0)"})
        EXPECT_NE(pg.Sql(sql, pc).find("permission denied"), std::string::npos) << sql;
    unsetenv("PGSSLROOTCERT");

    // A wrong password, a certificate for another name, a listener that never answers.
    const std::string wrongPass = (bench.dir / "wrong-pgpass").string();
    std::ofstream(wrongPass) << "localhost:" << pg.port << ":" << db << ":" << db << "_pc1:not-the-password\n";
    std::filesystem::permissions(wrongPass, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    setenv("PGPASSFILE", wrongPass.c_str(), 1);
    r = team({"team", "status"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("password authentication failed for user"), std::string::npos) << r.err;
    TFixtures fixture(bench, 1);
    const std::string out = (bench.dir / "station.out").string();
    // Refused by the server, then no server at all on the port: nothing written either way.
    for (const std::string& conninfo : std::vector<std::string>{"", "host=localhost port=1 dbname=x"}) {
        if (!conninfo.empty())
            setenv("ZENDA_TEAM_DB", conninfo.c_str(), 1);
        const pid_t station = Spawn({"station", "--team", "--serial-from", "9001", "--count", "2", "--poll", "40",
                                     "--port", fixture.links[0]},
                                    out);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        kill(station, SIGINT);
        waitpid(station, nullptr, 0);
        unsetenv("ZENDA_TEAM_DB");
        EXPECT_EQ(fixture.sims[0]->Cmd("count 0"), "0") << "written without a number recorded first";
        EXPECT_NE(Slurp(out).find("no device is written until it answers"), std::string::npos) << Slurp(out);
        EXPECT_NE(Slurp(out).find(conninfo.empty() ? "password authentication failed" : "Connection refused"),
                  std::string::npos)
            << Slurp(out);
    }
    setenv("PGPASSFILE", passfile.c_str(), 1);
    r = team({"team", "status"}, pg.Pc(db, db + "_pc1", "127.0.0.1").c_str());
    EXPECT_NE(r.err.find("does not match host name \"127.0.0.1\""), std::string::npos) << r.err;

    const int silent = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(silent, 4), 0);
    getsockname(silent, reinterpret_cast<sockaddr*>(&a), &len);
    const std::string hang = "host=localhost port=" + std::to_string(ntohs(a.sin_port)) + " dbname=x connect_timeout=2";
    const auto t0 = std::chrono::steady_clock::now();
    r = team({"team", "status"}, hang.c_str());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    close(silent);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("timeout expired"), std::string::npos) << r.err;
    EXPECT_LT(seconds, 3.0);
    RecordProperty("silent_listener_seconds", std::to_string(seconds));
}

// Two station PCs (two data folders, two fixtures each) on one plan, one of them killed in the
// middle of its work and the server crashed and started again meanwhile: no number on two
// devices, none left free that a device may hold, nothing left in a dead station's hands.
TEST_F(Team, TwoPcsShareOnePlanThroughAKillAndAServerCrash)
{
    const std::string pc1 = AddPc("pc1"), pc2 = AddPc("pc2");
    Bench second;  // the other PC's data folder
    // The first PC's first write hangs (its answer 3 s late): the kill comes in the middle of it.
    TFixtures fixtures(bench, 4, {{"--fault", "delay:3000@0x1"}});
    auto args = [&](int a, int b) {
        return std::vector<std::string>{"--json", "station", "--team", "--serial-from", "9001", "--count", "24",
                                        "--poll", "40", "--port", fixtures.links[a], "--port", fixtures.links[b]};
    };
    const std::string out1 = (bench.dir / "pc1.out").string(), out2 = (bench.dir / "pc2.out").string();
    pid_t one = SpawnPc(bench, {"ZENDA_TEAM_DB=" + pc1}, args(0, 1), out1);
    const pid_t two = SpawnPc(second, {"ZENDA_TEAM_DB=" + pc2}, args(2, 3), out2);
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    kill(one, SIGKILL);
    waitpid(one, nullptr, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    TCluster::Script("crash");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    TCluster::Script("restart");
    int st = 0;
    for (int i = 0; i < 600 && waitpid(two, &st, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(WIFEXITED(st)) << Slurp(out2);
    const std::string said2 = Slurp(out2);
    // The crash meets a number being taken ("no number: ...") or being recorded before its write
    // ("could not be recorded first (...): nothing written"), whichever it falls on.
    EXPECT_NE(said2.find("the team's server cannot be reached"), std::string::npos) << said2;
    // The killed PC again: what is left of the plan, and what it knew and never reported.
    one = SpawnPc(bench, {"ZENDA_TEAM_DB=" + pc1}, args(0, 1), out1);
    waitpid(one, &st, 0);
    EXPECT_TRUE(WIFEXITED(st)) << Slurp(out1);
    // Its summary lists its own numbers only, and agrees with its totals: the ones the other PC
    // used are counted apart, never called this PC's spoiled numbers.
    {
        const std::string said1 = Slurp(out1);
        const QJsonObject summary =
            QJsonDocument::fromJson(QByteArray::fromStdString(said1.substr(said1.rfind("{\"done\"")))).object();
        int spoiled = 0;
        for (const QJsonValue& n : summary[u"numbers"].toArray()) {
            EXPECT_FALSE(n[u"fixture"].toString().startsWith(QStringLiteral("the team's server"))) << said1;
            spoiled += n[u"state"] == QStringLiteral("spoiled") && !n[u"earlier"].toBool();
        }
        EXPECT_EQ(spoiled, summary[u"spoiled"].toInt()) << said1;
        EXPECT_GT(summary[u"elsewhere"].toInt(), 0) << said1;
    }

    std::map<int, int> written;
    std::set<int> begun;
    for (const Bench* pc : {&bench, &second})
        for (const TJournalLine& l :
             TServiceRecords::ReadJournal(QString::fromStdString(pc->data) + QStringLiteral("/ЛЮМРАД/zenda-init/journal.csv"))) {
            const QByteArray w = QByteArray::fromHex(l.written.toLatin1());
            if (w.size() == 72)
                ++written[static_cast<uint8_t>(w[6]) * 256 + static_cast<uint8_t>(w[7])];
            for (const QString& c : l.changes)
                if (c.startsWith(QStringLiteral("Заводской номер: ")))
                    begun.insert(c.section(QStringLiteral(" -> "), 1).toInt());
        }
    for (const auto& [serial, times] : written)
        EXPECT_EQ(times, 1) << serial << " is on " << times << " devices";
    EXPECT_GE(written.size(), 16u);
    // The server: every number of the plan used, nothing in anybody's hands, and every number
    // whose write began on either PC used there.
    EXPECT_EQ(pg.Sql("SELECT count(*) FROM zenda.numbers WHERE state IN ('done', 'spoiled') AND serial BETWEEN 9001 AND 9024",
                     pg.Admin(db)),
              "24\n");
    EXPECT_EQ(pg.Sql("SELECT count(*) FROM zenda.numbers WHERE state IN ('taken', 'writing')", pg.Admin(db)), "0\n");
    for (int n : begun)
        EXPECT_NE(pg.Sql("SELECT state FROM zenda.numbers WHERE serial = " + std::to_string(n), pg.Admin(db)), "")
            << n << " began on a device and is free on the server";
    for (const auto& [serial, times] : written)
        EXPECT_EQ(pg.Sql("SELECT state FROM zenda.numbers WHERE serial = " + std::to_string(serial), pg.Admin(db)),
                  "done\n")
            << serial;
    EXPECT_EQ(pg.Sql("SELECT count(DISTINCT pc) FROM zenda.numbers", pg.Admin(db)), "2\n");
    // The write the kill cut: begun in the first PC's ledger and never ended there, spoiled on
    // the server (the device holds it), on no device of the journals.
    std::vector<TLedgerLine> lines;
    std::vector<TLedgerDamage> damaged;
    TNumberLedger::Parse(QByteArray::fromStdString(Slurp(DataOf(bench) / "numbers.csv")), lines, damaged);
    std::map<QString, int> begunOnFirst;
    std::set<QString> ended;
    for (const TLedgerLine& l : lines) {
        if (l.event == QLatin1String(TNumberLedger::kBegun) && l.where == QString::fromStdString(fixtures.links[0]))
            begunOnFirst[l.id] = l.serial;
        else if (l.event != QLatin1String(TNumberLedger::kBegun))
            ended.insert(l.id);
    }
    std::vector<int> cut;
    for (const auto& [id, serial] : begunOnFirst)
        if (!ended.count(id))
            cut.push_back(serial);
    ASSERT_EQ(cut.size(), 1u) << Slurp(DataOf(bench) / "numbers.csv");
    EXPECT_EQ(pg.Sql("SELECT state FROM zenda.numbers WHERE serial = " + std::to_string(cut[0]), pg.Admin(db)),
              "spoiled\n")
        << cut[0];
    EXPECT_EQ(written.count(cut[0]), 0u) << cut[0];
}

// Every PC's journal on the server: A's lines follow each action there and B reads them by the
// device's number; with the server gone an action is done and journaled as ever and its lines
// wait; lines sent again (their acknowledgement lost) are kept once; a PC's role only adds its
// own lines and reads; what comes back from the server reaches no terminal raw.
TEST_F(Team, EveryPcsJournalReachesTheServerOnce)
{
    const std::string pc1 = AddPc("pc1"), pc2 = AddPc("pc2");
    Bench second;  // the other PC's data folder
    auto as = [&](const Bench& pc, const std::string& conninfo, const std::vector<std::string>& args) {
        setenv("ZENDA_TEAM_DB", conninfo.c_str(), 1);
        const TRun r = Zenda(pc, args);
        unsetenv("ZENDA_TEAM_DB");
        return r;
    };
    auto onServer = [&](const std::string& where) {
        return pg.Sql("SELECT count(*) FROM zenda.journal WHERE " + where, pg.Admin(db));
    };
    const std::string mine = "pc = '" + db + "_pc1'";
    TRun r = as(bench, pc1, {"--yes", "init", "--serial", "4660"});
    ASSERT_EQ(r.status, 0) << r.err;
    // Every line of the file, a write's begun line too (the server hides it behind its end, as here).
    auto fileLines = [&] { return Count(Slurp(DataOf(bench) / "journal.csv"), "\n") - 1; };
    EXPECT_EQ(onServer(mine), std::to_string(fileLines()) + "\n");  // sent at the action's end
    r = as(bench, pc1, {"--json", "sync"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.Json()[u"waiting"].toInt(), 0) << r.out;

    // B lists A's initialization under the number it wrote, with A's PC and user.
    r = as(second, pc2, {"--json", "journal", "--team", "--serial", "4660"});
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonArray lines = r.Json()[u"journal"].toArray();
    ASSERT_FALSE(lines.isEmpty()) << r.out;
    EXPECT_EQ(lines[0].toObject()[u"action"].toString(), QStringLiteral("init"));
    EXPECT_EQ(lines[0].toObject()[u"pc"].toString().toStdString(), db + "_pc1");
    EXPECT_EQ(lines[0].toObject()[u"outcome"].toString(), QStringLiteral("выполнено"));
    EXPECT_TRUE(as(second, pc2, {"--json", "journal", "--team", "--serial", "466"}).Json()[u"journal"].toArray().isEmpty());
    // A's protocol of that initialization follows it there; B saves it.
    ASSERT_EQ(as(bench, pc1, {"protocol"}).status, 0);
    r = as(second, pc2, {"--json", "journal", "--team", "--serial", "4660"});
    std::string protocol;  // the initialization's (the protocol's read of the device is a line too)
    for (const auto& l : r.Json()[u"journal"].toArray())
        if (l.toObject()[u"action"].toString() == QStringLiteral("init"))
            protocol = l.toObject()[u"protocol"].toString().toStdString();
    ASSERT_NE(protocol.find("-N1-4660-init"), std::string::npos) << r.out;
    const std::string pdf = (bench.dir / "from-a.pdf").string();
    r = as(second, pc2, {"team", "protocol", db + "_pc1", protocol, pdf});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(PdfText(pdf).find("Протокол инициализации прибора ЗЕНДА"), std::string::npos);
    // B restores A's backup onto its own device: fetched, checked against its SHA-256, then the
    // same rules as a file; a copy that the server changed is refused and nothing is written.
    const std::string sha = lines[0].toObject()[u"backup_sha256"].toString().toStdString();
    ASSERT_EQ(sha.size(), 64u) << r.out;
    auto deviceB = second.StartSim();
    r = as(second, pc2, {"--yes", "restore", "--team", sha});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto journalB = TServiceRecords::ReadJournal(JournalOf(second));
    ASSERT_FALSE(journalB.empty());
    EXPECT_EQ((journalB.front().action + u' ' + journalB.front().outcome).toStdString(), "restore выполнено");
    pg.Sql("UPDATE zenda.backups SET content = replace(content, '30 39', '30 40')", pg.Admin(db));
    deviceB->Cmd("clearlog");
    r = as(second, pc2, {"--yes", "restore", "--team", sha});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("is not what its SHA-256 says"), std::string::npos) << r.err;
    EXPECT_EQ(deviceB->Cmd("count 0"), "0");
    // A read tells of another PC's write of the device that arrived after this PC's last one (its
    // clock an hour slow changes nothing); a write tells it before its first byte, from what the
    // last push heard, with no server at all.
    const QDateTime otherAt = QDateTime::fromString(TServiceRecords::ReadJournal(JournalOf(second)).front().time,
                                                    Qt::ISODate).addSecs(-3600);
    const std::string otherTime = otherAt.toUTC().toString(Qt::ISODate).toStdString();
    // Its user's name would start a line of its own and colour the terminal: shown escaped.
    pg.Sql("INSERT INTO zenda.journal (pc, line_id, at, time, action, serial, outcome, engineer) VALUES ('pc9', 'n', '" +
               otherTime + "', '" + otherTime + "', 'rtc', '12345', 'выполнено', E'ev\\nil\\x1b[31m')",
           pg.Admin(db));
    const std::string otherNote = "note: № 12345 was written on another PC after this PC's last write of it: pc9";
    r = as(second, pc2, {"read"});
    EXPECT_NE(r.err.find(otherNote + " (user ev\\x0Ail\\x1B[31m)"), std::string::npos) << r.err;
    EXPECT_NE(as(second, pc2, {"journal", "--team", "--serial", "12345"}).out.find("PC: pc9, user ev\\x0Ail\\x1B[31m\n"),
              std::string::npos);
    // A write that arrives while another PC reads (its transaction still open) is heard later.
    std::thread late([&] {
        pg.Sql("BEGIN; INSERT INTO zenda.journal (pc, line_id, at, time, action, serial, outcome) VALUES ('pc8', 'l', "
               "now(), '2026-01-01T00:00:00Z', 'init', '777', 'выполнено'); SELECT pg_sleep(2); COMMIT;",
               pg.Admin(db));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    pg.Sql("INSERT INTO zenda.journal (pc, line_id, at, time, action, serial, outcome) VALUES ('pc7', 'm', now(), "
           "'2026-01-01T00:00:00Z', 'init', '778', 'выполнено')",
           pg.Admin(db));  // arrived after it, seen before it
    EXPECT_EQ(as(second, pc2, {"--json", "sync"}).Json()[u"heard"].toInt(), 1);
    late.join();
    r = as(second, pc2, {"--json", "sync"});
    EXPECT_EQ(r.Json()[u"heard"].toInt(), 1) << r.out;
    EXPECT_EQ(as(second, pc2, {"--json", "sync"}).Json()[u"heard"].toInt(), 0);  // read again, no news
    // What was heard cannot be kept: said, and what was sent stays sent.
    const auto known = DataOf(second) / "team-writes.csv", kept = DataOf(second) / "kept.csv";
    std::filesystem::rename(known, kept);
    std::filesystem::create_directory(known);
    r = as(second, pc2, {"sync"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the other PCs' writes were not read: "), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("; 0 lines wait"), std::string::npos) << r.out;
    std::filesystem::remove(known);
    std::filesystem::rename(kept, known);
    TCluster::Script("crash");
    r = as(second, pc2, {"--yes", "rtc", "3"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(otherNote), std::string::npos) << r.err;
    r = as(second, pc2, {"--yes", "rtc", "2"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("note:"), std::string::npos) << r.err;
    TCluster::Script("restart");

    // The server gone: the action is done and journaled, at once; its line waits for the next sync.
    TCluster::Script("crash");
    const auto t0 = std::chrono::steady_clock::now();
    r = as(bench, pc1, {"--yes", "rtc", "5"});
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Field(11), "05");
    EXPECT_LT(seconds, 2.5);
    r = as(bench, pc1, {"--json", "sync"});
    EXPECT_EQ(r.status, 1);
    EXPECT_GE(r.Json()[u"waiting"].toInt(), 1) << r.out;
    TCluster::Script("restart");
    r = as(bench, pc1, {"sync"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("; 0 lines wait"), std::string::npos) << r.out;
    const size_t now = fileLines();
    EXPECT_EQ(onServer(mine), std::to_string(now) + "\n");
    // The server committed and this PC could not note it (its note is a folder now, as good as a
    // kill at that moment): the lines are sent again by the next sync and kept once.
    ASSERT_EQ(as(bench, pc1, {"--yes", "rtc", "4"}).status, 0);
    std::filesystem::remove(DataOf(bench) / "team-sync.state");
    std::filesystem::create_directory(DataOf(bench) / "team-sync.state");
    r = as(bench, pc1, {"--json", "sync"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(onServer(mine), std::to_string(fileLines()) + "\n");  // committed there
    std::filesystem::remove(DataOf(bench) / "team-sync.state");
    r = as(bench, pc1, {"--json", "sync"});
    const size_t all = fileLines();
    EXPECT_EQ(r.Json()[u"sent"].toInt(), static_cast<int>(all)) << r.out;
    EXPECT_EQ(r.Json()[u"new"].toInt(), 0) << r.out;
    EXPECT_EQ(onServer(mine), std::to_string(all) + "\n");
    // Killed for real at that moment: SIGKILL as the note is renamed into place, after the commit
    // (the first rename is the server's note, at the greeting).
    ASSERT_EQ(as(bench, "host=/nonexistent dbname=x", {"--yes", "rtc", "3"}).status, 0);  // waits
    const std::string noted = Slurp(DataOf(bench) / "team-sync.state");
    const pid_t killed = fork();
    if (killed == 0) {
        const int null = open("/dev/null", O_RDWR);
        for (int fd : {0, 1, 2})
            dup2(null, fd);
        setenv("XDG_CONFIG_HOME", bench.config.c_str(), 1);
        setenv("XDG_DATA_HOME", bench.data.c_str(), 1);
        setenv("ZENDA_TEAM_DB", pc1.c_str(), 1);
        ExecOrExit({"/usr/bin/strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=rename,renameat,renameat2", "-e",
                    "inject=rename,renameat,renameat2:signal=KILL:when=2", ZENDA_CLI_PATH, "sync"});
    }
    int how = 0;
    waitpid(killed, &how, 0);
    EXPECT_TRUE(WIFSIGNALED(how) && WTERMSIG(how) == SIGKILL) << how;
    EXPECT_EQ(onServer(mine), std::to_string(fileLines()) + "\n");  // committed
    EXPECT_EQ(Slurp(DataOf(bench) / "team-sync.state"), noted);      // and never noted
    r = as(bench, pc1, {"--json", "sync"});
    EXPECT_GE(r.Json()[u"sent"].toInt(), 2) << r.out;
    EXPECT_EQ(r.Json()[u"new"].toInt(), 0) << r.out;
    EXPECT_EQ(onServer(mine), std::to_string(fileLines()) + "\n");

    // A push cut by the server's crash: the chunks it committed stay, the rest goes with the next
    // sync, and every line is there once.
    Bench third;
    std::filesystem::create_directories(DataOf(third));
    {
        std::ofstream j(DataOf(third) / "journal.csv");
        j << TServiceRecords::kJournalHeader << "\r\n";
        for (int i = 0; i < 60000; ++i)
            j << "\"2026-12-09T10:00:00+03:00\",\"read\",\"COM1\",\"ZENDA1\",\"" << 1000 + i % 5000
              << "\",\"5\",\"выполнено\",\"\",\"\",\"\",\"\",\"" << std::setw(32) << std::setfill('0') << i << "\"\r\n";
    }
    const std::string pushOut = (bench.dir / "push.out").string();
    const pid_t push = SpawnPc(third, {"ZENDA_TEAM_DB=" + pc1}, {"sync"}, pushOut);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    TCluster::Script("crash");
    int pushed = 0;
    waitpid(push, &pushed, 0);
    TCluster::Script("restart");
    r = as(third, pc1, {"--json", "sync"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(onServer(mine), std::to_string(fileLines() + 60000) + "\n") << Slurp(pushOut) << r.out;

    // A PC's role adds its own lines and reads; it changes and removes nothing, nor writes as another PC.
    setenv("PGSSLROOTCERT", (pg.dir + "/root.crt").c_str(), 1);
    for (const char* table : {"journal", "backups", "protocols"})
        for (const std::string& sql : {"UPDATE zenda." + std::string(table) + " SET pc = 'x'",
                                       "DELETE FROM zenda." + std::string(table)})
            EXPECT_NE(pg.Sql(sql, pc1).find("permission denied"), std::string::npos) << sql;
    EXPECT_NE(pg.Sql("INSERT INTO zenda.journal (pc, line_id, time, action) VALUES ('" + db + "_pc2', 'x', 't', 'read')", pc1)
                  .find("row-level security"),
              std::string::npos);
    // Nor says when its line arrived: that orders what the other PCs hear.
    EXPECT_NE(pg.Sql("INSERT INTO zenda.journal (line_id, time, action, received) VALUES ('x', 't', 'read', now())", pc1)
                  .find("permission denied"),
              std::string::npos);
    unsetenv("PGSSLROOTCERT");
    // A line with a terminal's control sequence: printed escaped.
    pg.Sql("INSERT INTO zenda.journal (pc, line_id, time, action, serial, outcome) VALUES ('pc9', 'y', "
           "'2026-12-09T10:00:00Z', 'read', '4660', E'\\\\x1b]0;owned\\\\x07done')",
           pg.Admin(db));
    r = as(second, pc2, {"journal", "--team", "--serial", "4660"});
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("PC: pc9"), std::string::npos) << r.out;
}

// Departments on one server: a PC reads the records of its own department's PCs only and hears
// only their writes; which department it is in is the administrator's word, not the PC's.
TEST_F(Team, DepartmentsReadTheirOwnOnly)
{
    const std::string pc1 = AddPc("pc1"), east1 = AddPc("east1", "east"), east2 = AddPc("east2");
    setenv("ZENDA_TEAM_DB", pg.Admin(db).c_str(), 1);
    // A pasted space is no department of its own; a terminal's control sequence is no name.
    TRun r = Zenda(bench, {"team", "department", db + "_east2", " east\t"});
    EXPECT_EQ(Zenda(bench, {"team", "department", db + "_nobody", "east"}).status, 2);
    for (const char* odd : {"x\x1b[2J", "x\xc2\x9b" "2J", "a\nb"})
        EXPECT_NE(Zenda(bench, {"team", "department", db + "_east2", odd}).err.find("a department is a name of at most 64 bytes on one line"),
                  std::string::npos) << odd;
    unsetenv("ZENDA_TEAM_DB");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("reads the records of department east only"), std::string::npos) << r.out;
    auto as = [&](const Bench& pc, const std::string& conninfo, const std::vector<std::string>& args) {
        setenv("ZENDA_TEAM_DB", conninfo.c_str(), 1);
        const TRun run = Zenda(pc, args);
        unsetenv("ZENDA_TEAM_DB");
        return run;
    };
    Bench east, east2Pc;
    auto deviceEast = east.StartSim();
    ASSERT_EQ(as(bench, pc1, {"--yes", "init", "--serial", "4660"}).status, 0);
    ASSERT_EQ(as(east, east1, {"--yes", "rtc", "3"}).status, 0);
    auto pcsSeen = [&](const Bench& pc, const std::string& conninfo) {
        std::set<std::string> pcs;
        for (const auto& l : as(pc, conninfo, {"--json", "journal", "--team"}).Json()[u"journal"].toArray())
            pcs.insert(l.toObject()[u"pc"].toString().toStdString());
        return pcs;
    };
    EXPECT_EQ(pcsSeen(east2Pc, east2), std::set<std::string>{db + "_east1"});
    EXPECT_EQ(pcsSeen(bench, pc1), std::set<std::string>{db + "_pc1"});
    r = as(east2Pc, east2, {"--json", "sync"});
    EXPECT_EQ(r.Json()[u"heard"].toInt(), 1) << r.out;  // east1's write, not pc1's
    // pc1's backup is not there for the east.
    std::string sha;
    for (const auto& l : as(bench, pc1, {"--json", "journal", "--team"}).Json()[u"journal"].toArray())
        if (sha.empty())
            sha = l.toObject()[u"backup_sha256"].toString().toStdString();
    ASSERT_EQ(sha.size(), 64u);
    r = as(east, east1, {"team", "fetch", sha, (east.dir / "b.hex").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("has no backup"), std::string::npos) << r.err;
    // The same backup file pushed from the east too (a line naming it copied there): each
    // department fetches what its own lines name.
    std::string line, named;
    for (std::istringstream lines(Slurp(DataOf(bench) / "journal.csv")); std::getline(lines, line);)
        for (const auto& f : std::filesystem::recursive_directory_iterator(DataOf(bench)))
            if (f.path().extension() == ".hex" && line.find(f.path().filename().string()) != std::string::npos)
                named = line, std::filesystem::create_directories(DataOf(east) / f.path().parent_path().lexically_relative(DataOf(bench))),
                std::filesystem::copy_file(f.path(), DataOf(east) / f.path().lexically_relative(DataOf(bench)),
                                           std::filesystem::copy_options::overwrite_existing);
    ASSERT_FALSE(named.empty());
    std::ofstream(DataOf(east) / "journal.csv", std::ios::app) << named << "\n";
    EXPECT_EQ(as(east, east1, {"sync"}).status, 0);
    r = as(east, east1, {"team", "fetch", sha, (east.dir / "b.hex").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    setenv("PGSSLROOTCERT", (pg.dir + "/root.crt").c_str(), 1);
    EXPECT_EQ(pg.Sql("SELECT zenda.my_department()", east1), "east\n");
    EXPECT_NE(pg.Sql("INSERT INTO zenda.journal (line_id, time, action, department) VALUES ('x', 't', 'read', '')", east1)
                  .find("permission denied"),
              std::string::npos);
    for (const char* sql : {"INSERT INTO zenda.pcs VALUES (session_user, '')", "UPDATE zenda.pcs SET department = ''"})
        EXPECT_NE(pg.Sql(sql, east1).find("permission denied"), std::string::npos) << sql;
    unsetenv("PGSSLROOTCERT");
}

// The window's journal, by clicks: the department's view lists A's line with A's PC, and B
// restores A's backup onto its own device through the same questions as a local one.
// Ctrl-C while the server keeps a push waiting (here a lock; a stopped server the same): the
// wait is cut within 2 s, said, and the next push sends it all, once.
TEST_F(Team, CtrlCEndsAWaitForTheServer)
{
    const std::string pc1 = AddPc("pc1");
    setenv("ZENDA_TEAM_DB", "host=/nonexistent dbname=x", 1);
    ASSERT_EQ(Zenda(bench, {"--yes", "rtc", "3"}).status, 0);  // journaled, waiting
    unsetenv("ZENDA_TEAM_DB");
    std::thread holder([&] { pg.Sql("BEGIN; LOCK TABLE zenda.journal; SELECT pg_sleep(8); COMMIT;", pg.Admin(db)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::string out = (bench.dir / "sync.out").string();
    const pid_t sync = SpawnPc(bench, {"ZENDA_TEAM_DB=" + pc1}, {"sync"}, out);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto t0 = std::chrono::steady_clock::now();
    kill(sync, SIGINT);
    int status = 0;
    waitpid(sync, &status, 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(seconds, 4.5);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    // Every line waits: the journal's header (after its byte order mark) is none of them.
    const int lines = static_cast<int>(Count(Slurp(DataOf(bench) / "journal.csv"), "\n") - 1);
    EXPECT_NE(Slurp(out).find("stopped; " + std::to_string(lines) + " lines wait"), std::string::npos) << Slurp(out);
    holder.join();
    setenv("ZENDA_TEAM_DB", pc1.c_str(), 1);
    const TRun r = Zenda(bench, {"--json", "sync"});
    unsetenv("ZENDA_TEAM_DB");
    EXPECT_EQ(r.Json()[u"new"].toInt(), lines) << r.out;
    EXPECT_EQ(r.Json()[u"waiting"].toInt(), 0) << r.out;

    // A station stopped by Ctrl+C pushes its shift's lines as a finished one does.
    TFixtures fixture(bench, 1);
    fixture.sims[0]->Cmd("on 0");
    const std::string station = (bench.dir / "station.out").string();
    const pid_t pid = SpawnPc(bench, {"ZENDA_TEAM_DB=" + pc1},
                              {"--json", "station", "--serial-from", "8801", "--count", "50", "--poll", "40", "--port",
                               fixture.links[0]},
                              station);
    for (int i = 0; i < 300 && Slurp(station).find("\"event\":\"done\"") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kill(pid, SIGINT);
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status << Slurp(station);
    setenv("ZENDA_TEAM_DB", pc1.c_str(), 1);
    const TRun after = Zenda(bench, {"--json", "sync"});
    unsetenv("ZENDA_TEAM_DB");
    EXPECT_EQ(after.Json()[u"new"].toInt(), 0) << after.out;  // the station had sent them
    EXPECT_EQ(after.Json()[u"waiting"].toInt(), 0) << after.out;
}

// A number written by hand on one PC and synced is used in the team's book: no station of
// another PC writes it again, whatever its plan.
TEST_F(Team, ANumberAnyPcsJournalShowsWrittenIsUsedInTheBook)
{
    const std::string pc1 = AddPc("pc1"), pc2 = AddPc("pc2");
    Bench second;
    auto device = second.StartSim();
    setenv("ZENDA_TEAM_DB", pc2.c_str(), 1);
    ASSERT_EQ(Zenda(second, {"--yes", "init", "--serial", "7101"}).status, 0);
    ASSERT_EQ(Zenda(second, {"--json", "sync"}).Json()[u"waiting"].toInt(), 0);
    unsetenv("ZENDA_TEAM_DB");
    TFixtures fixture(bench, 1);
    fixture.sims[0]->Cmd("on 0");
    setenv("ZENDA_TEAM_DB", pc1.c_str(), 1);
    const TRun r = Zenda(bench, {"--json", "station", "--team", "--serial-from", "7101", "--count", "2", "--poll", "40",
                                 "--port", fixture.links[0]});
    unsetenv("ZENDA_TEAM_DB");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const auto [written, spoiled] = JournalNumbers(bench);
    EXPECT_EQ(written.count(7101), 0u) << r.out << r.err;
    EXPECT_EQ(written.count(7102), 1u) << r.out << r.err;
}

// Last night's dump restored: the numbers written since are not free again. The book gives none
// until every PC it knew has told its own (or the administrator goes on without one), each PC
// sends its whole journal again, and a PC the server forgot connecting is caught too.
TEST_F(Team, AServerRestoredFromADumpGivesNoNumberTwice)
{
    const std::string pc1 = AddPc("pc1"), pc2 = AddPc("pc2"), pc3 = AddPc("pc3");
    auto as = [](const std::string& who) { setenv("ZENDA_TEAM_DB", who.c_str(), 1); };
    as(pc1);
    ASSERT_EQ(Zenda(bench, {"--yes", "init", "--serial", "7001"}).status, 0);
    TRun r = Zenda(bench, {"--json", "sync"});
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string dump = (bench.dir / "team.dump").string();
    ASSERT_EQ(std::system(("pg_dump -Fc -f " + dump + " '" + pg.Admin(db) + "'").c_str()), 0);
    for (const char* n : {"7002", "7003"})
        ASSERT_EQ(Zenda(bench, {"--yes", "init", "--serial", n}).status, 0);
    ASSERT_EQ(Zenda(bench, {"--json", "sync"}).Json()[u"waiting"].toInt(), 0);
    unsetenv("ZENDA_TEAM_DB");
    ASSERT_EQ(std::system(("pg_restore --clean --if-exists -d '" + pg.Admin(db) + "' " + dump).c_str()), 0);

    // The administrator's set-up after the restore closes the book at once.
    as(pg.Admin(db));
    r = Zenda(bench, {"team", "setup"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("went back in time (restored from a dump, or moved"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(db + "_pc1, " + db + "_pc2, " + db + "_pc3"), std::string::npos) << r.out;

    // Another PC's station writes nothing and says why.
    Bench second;
    TFixtures fixture(second, 1);
    fixture.sims[0]->Cmd("on 0");
    const std::vector<std::string> station = {"--json", "station", "--team", "--serial-from", "7001", "--count", "9",
                                              "--poll", "40", "--port", fixture.links[0]};
    const std::string out = (bench.dir / "station.out").string();
    const pid_t waiting = SpawnPc(second, {"ZENDA_TEAM_DB=" + pc2}, station, out);
    for (int i = 0; i < 300 && Slurp(out).find("gives no number") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kill(waiting, SIGTERM);
    waitpid(waiting, nullptr, 0);
    EXPECT_NE(Slurp(out).find(db + "_pc1"), std::string::npos) << Slurp(out);
    EXPECT_EQ(JournalNumbers(second).first.size(), 0u) << Slurp(out);

    // The PC that wrote since the dump tells its numbers and sends its journal again.
    as(pc1);
    r = Zenda(bench, {"--json", "sync"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.Json()[u"told"].toInt(), 3) << r.out;
    EXPECT_TRUE(r.Json()[u"resent"].toBool()) << r.out;
    EXPECT_EQ(r.Json()[u"new"].toInt(), 4) << r.out;  // 7002's and 7003's begun and ended lines
    EXPECT_EQ(r.Json()[u"awaited"].toString().toStdString(), db + "_pc3") << r.out;
    r = Zenda(bench, {"--json", "sync"});
    EXPECT_FALSE(r.Json()[u"resent"].toBool()) << r.out;
    EXPECT_FALSE(r.Json().contains(u"told")) << r.out;

    // pc3 never comes: the administrator goes on without it, naming it.
    as(pg.Admin(db));
    EXPECT_EQ(Zenda(bench, {"team", "resume", db + "_nosuch"}).status, 2);
    r = Zenda(bench, {"team", "resume", db + "_pc3"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("gives numbers again"), std::string::npos) << r.out;
    as(pc2);
    r = Zenda(second, {"--json", "station", "--team", "--serial-from", "7001", "--count", "4", "--poll", "40", "--port",
                       fixture.links[0]});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(JournalNumbers(second).first, (std::map<int, int>{{7004, 1}})) << r.out;

    // A server that forgot a PC's last connections (a base backup restored) is caught by that PC.
    pg.Sql("UPDATE zenda.pcs SET greets = 1 WHERE pc = '" + db + "_pc1'", pg.Admin(db));
    as(pc1);
    r = Zenda(bench, {"--json", "sync"});
    unsetenv("ZENDA_TEAM_DB");
    EXPECT_NE(r.Json()[u"went_back"].toString().indexOf(u"the server remembers 1"), -1) << r.out;
    EXPECT_NE(r.Json()[u"awaited"].toString().indexOf(u"_pc2"), -1) << r.out;
}

// The administrator's day: every PC watched, one removed (its login and sessions end, its numbers
// given up, its records kept, a new PC under its name inherits nothing), one renamed (its lines
// stay its own), and every refused name status 2.
TEST_F(Team, TheAdministratorWatchesRemovesAndRenamesPcs)
{
    const std::string pc1 = AddPc("pc1", "east"), pc2 = AddPc("pc2");
    const std::string name1 = db + "_pc1", name2 = db + "_pc2", renamed = db + "_pc2b";
    auto as = [&](const Bench& pc, const std::string& conninfo, const std::vector<std::string>& args) {
        setenv("ZENDA_TEAM_DB", conninfo.c_str(), 1);
        const TRun run = Zenda(pc, args);
        unsetenv("ZENDA_TEAM_DB");
        return run;
    };
    Bench second;
    auto device2 = second.StartSim();
    ASSERT_EQ(as(bench, pc1, {"--yes", "rtc", "3"}).status, 0);
    ASSERT_EQ(as(second, pc2, {"--yes", "rtc", "4"}).status, 0);
    TRun r = as(bench, pc1, {"--json", "team", "status"});
    EXPECT_EQ(r.Json()[u"department"].toString(), u"east") << r.out;
    EXPECT_TRUE(r.Json()[u"tls"].toBool() && r.Json()[u"verified"].toBool()) << r.out;
    EXPECT_EQ(r.Json()[u"schema"].toInt(), r.Json()[u"latest"].toInt()) << r.out;
    pg.Sql("INSERT INTO zenda.numbers (serial, state, pc, owner) VALUES (9001, 'taken', '" + name1 + "', 1), (9002, 'writing', '" +
               name1 + "', 1)",
           pg.Admin(db));
    std::thread session([&] { pg.Sql("SELECT pg_sleep(20)", pc1); });  // pc1 connected now
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    r = as(bench, pg.Admin(db), {"--json", "team", "pcs"});
    std::map<std::string, QJsonObject> pcs;
    for (const auto& v : r.Json()[u"pcs"].toArray())
        pcs[v.toObject()[u"pc"].toString().toStdString()] = v.toObject();
    ASSERT_EQ(pcs.count(name1), 1u) << r.out;
    EXPECT_EQ(pcs[name1][u"department"].toString(), u"east");
    EXPECT_TRUE(pcs[name1][u"connected"].toBool()) << r.out;
    EXPECT_FALSE(pcs[name2][u"connected"].toBool()) << r.out;
    EXPECT_EQ(pcs[name1][u"in_hand"].toInt(), 2) << r.out;
    EXPECT_GE(pcs[name2][u"lines"].toInt(), 2) << r.out;
    EXPECT_FALSE(pcs[name2][u"last_line"].toString().isEmpty()) << r.out;

    // Removed: its session ends at once, its login is refused, its numbers are given up.
    r = as(bench, pg.Admin(db), {"--json", "team", "remove-pc", name1});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.Json()[u"sessions_ended"].toInt(), 1) << r.out;
    session.join();
    EXPECT_NE(as(bench, pc1, {"team", "status"}).err.find("refused this PC's login"), std::string::npos);
    EXPECT_EQ(pg.Sql("SELECT serial || state FROM zenda.numbers WHERE serial > 9000 ORDER BY 1", pg.Admin(db)), "9002spoiled\n");
    EXPECT_NE(pg.Sql("SELECT count(*) FROM zenda.journal WHERE pc = '" + name1 + "'", pg.Admin(db)), "0\n");
    setenv("ZENDA_TEAM_DB", pg.Admin(db).c_str(), 1);
    r = Zenda(bench, {"team", "add-pc", name1});
    EXPECT_NE(r.out.find("department: none"), std::string::npos) << r.out;
    for (const std::vector<std::string>& refused :
         {std::vector<std::string>{"team", "remove-pc", "postgres"}, {"team", "remove-pc", db + "_nosuch"},
          {"team", "remove-pc", ""}, {"team", "rename", name2, "postgres"}, {"team", "rename", "postgres", db + "_x"},
          {"team", "add-pc", "postgres"}})
        EXPECT_EQ(Zenda(bench, refused).status, 2) << refused[1] << " " << refused[2];

    // Renamed: the same password and department; its lines stay its own, never sent twice.
    r = Zenda(bench, {"team", "rename", name2, renamed});
    unsetenv("ZENDA_TEAM_DB");
    EXPECT_EQ(r.status, 0) << r.err;
    std::string passwords = Slurp(passfile);
    passwords.replace(passwords.find(":" + name2 + ":"), name2.size() + 2, ":" + renamed + ":");
    std::ofstream(passfile, std::ios::trunc) << passwords;
    const std::string pc2b = pg.Pc(db, renamed);
    ASSERT_EQ(as(second, pc2b, {"--yes", "rtc", "5"}).status, 0);
    r = as(second, pc2b, {"--json", "sync"});
    EXPECT_FALSE(r.Json()[u"resent"].toBool()) << r.out << r.err;
    EXPECT_EQ(pg.Sql("SELECT DISTINCT pc FROM zenda.journal WHERE pc LIKE '" + db + "_pc2%'", pg.Admin(db)), renamed + "\n");
    // A password in the connection string is refused before any connection, as a refusal.
    EXPECT_EQ(as(second, pc2b + " password=secret", {"team", "status"}).status, 2);
    // A PC's role asking for the administrator's list is told whose command it is.
    r = as(second, pc2b, {"team", "pcs"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("this is the administrator's command"), std::string::npos) << r.err;
}

// Zeros a power cut left in a journal line: the line is sent as damaged (its text escaped),
// counted, and every line after it flows; no sync is stuck on it.
TEST_F(Team, ADamagedLineIsSentAsDamagedAndTheRestFlows)
{
    const std::string pc1 = AddPc("pc1");
    for (const char* seconds : {"3", "4", "5"})
        ASSERT_EQ(Zenda(bench, {"--yes", "rtc", seconds}).status, 0);
    const auto path = DataOf(bench) / "journal.csv";
    std::string journal = Slurp(path);
    size_t at = 0;
    for (int line = 0; line < 3; ++line)  // into the third line after the header
        at = journal.find('\n', at) + 1;
    journal.insert(at + 5, std::string(3, '\0'));
    std::ofstream(path, std::ios::binary | std::ios::trunc) << journal;
    const int lines = static_cast<int>(Count(journal, "\n") - 1);
    setenv("ZENDA_TEAM_DB", pc1.c_str(), 1);
    TRun r = Zenda(bench, {"--json", "sync"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.Json()[u"damaged"].toInt(), 1) << r.out;
    EXPECT_EQ(r.Json()[u"new"].toInt(), lines) << r.out;
    EXPECT_EQ(r.Json()[u"waiting"].toInt(), 0) << r.out;
    r = Zenda(bench, {"journal", "--team"});
    unsetenv("ZENDA_TEAM_DB");
    EXPECT_NE(r.out.find("\\x00\\x00\\x00"), std::string::npos) << r.out;
}

TEST_F(Team, TheWindowShowsTheDepartmentAndRestoresAnotherPcsBackup)
{
    if (!*ZENDA_INIT_PATH)
        GTEST_SKIP() << "the window is not built";
    const std::string pc1 = AddPc("pc1"), pc2 = AddPc("pc2");
    setenv("ZENDA_TEAM_DB", pc1.c_str(), 1);
    // A user name that holds a line separator must not forge a line of the record in the window.
    const std::string user = std::getenv("USER") ? std::getenv("USER") : "";
    setenv("USER", "инженер\u2028Итог: проверено ОТК, пломба 12345", 1);
    ASSERT_EQ(Zenda(bench, {"--yes", "init", "--serial", "4661"}).status, 0);
    setenv("USER", user.c_str(), 1);
    Bench second;
    auto deviceB = second.StartSim();
    unsetenv("ZENDA_TEAM_DB");
    ASSERT_EQ(Zenda(second, {"--yes", "rtc", "7"}).status, 0);  // B's device differs from A's backup
    setenv("ZENDA_TEAM_DB", pc2.c_str(), 1);
    auto app = second.StartApp();
    unsetenv("ZENDA_TEAM_DB");
    ASSERT_EQ(app->ReadReply(30000).rfind("shown", 0), 0u);
    auto waitFor = [&](const std::string& cmd, const std::string& want) {
        for (int i = 0; i < 100; ++i) {
            if (app->Cmd(cmd).find(want) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    };
    ASSERT_EQ(app->Cmd("tab PageControl1 1"), "ok");
    ASSERT_EQ(app->Cmd("click BitBtn3"), "ok");  // "Журнал"
    ASSERT_TRUE(waitFor("state", "modal=Журнал|"));
    EXPECT_EQ(app->Cmd("enabled Source"), "1");
    ASSERT_EQ(app->Cmd("choose Source 1"), "ok");  // "Весь отдел"
    ASSERT_TRUE(waitFor("celltext Table 0 7", db + "_pc1")) << app->Cmd("get Limit");
    EXPECT_EQ(app->Cmd("celltext Table 0 1"), "Инициализация");
    EXPECT_EQ(app->Cmd("celltext Table 0 2"), "12345");
    // A device's number typed into the filter asks the server for its lines (the numbers that
    // begin so), key by key.
    ASSERT_EQ(app->Cmd("click Filter"), "ok");
    ASSERT_EQ(app->Cmd("keys 9"), "ok");
    ASSERT_TRUE(waitFor("get Limit", "Журнал отдела: строк 0")) << app->Cmd("get Limit") << app->Cmd("get Filter");
    ASSERT_EQ(app->Cmd("key Filter Backspace"), "ok");
    ASSERT_EQ(app->Cmd("keys 12345"), "ok");
    ASSERT_TRUE(waitFor("get Filter", "12345"));
    ASSERT_TRUE(waitFor("get Limit", "Журнал отдела: строк 1")) << app->Cmd("get Limit");
    EXPECT_EQ(app->Cmd("celltext Table 0 2"), "12345");
    ASSERT_EQ(app->Cmd("keys 9"), "ok");  // 123459: past 65535, said in place of the lines
    ASSERT_TRUE(waitFor("get Limit", "Заводской номер прибора - число 0..65535")) << app->Cmd("get Limit");
    for (int i = 0; i < 6; ++i)
        ASSERT_EQ(app->Cmd("key Filter Backspace"), "ok");
    ASSERT_TRUE(waitFor("celltext Table 0 7", db + "_pc1")) << app->Cmd("get Limit");
    ASSERT_EQ(app->Cmd("cell Table 0 0"), "ok");
    // A's protocol, made after the window read the department's journal: read again, then opened.
    EXPECT_EQ(app->Cmd("enabled Protocol"), "0");  // none on the server yet
    setenv("ZENDA_TEAM_DB", pc1.c_str(), 1);
    const TRun made = Zenda(bench, {"protocol"});
    unsetenv("ZENDA_TEAM_DB");
    ASSERT_EQ(made.status, 0) << made.err;
    ASSERT_EQ(app->Cmd("choose Source 0"), "ok");
    ASSERT_EQ(app->Cmd("choose Source 1"), "ok");
    ASSERT_TRUE(waitFor("get Limit", "строк 2"));  // the initialization and the protocol's read of A's device
    const int initRow = app->Cmd("celltext Table 0 1") == "Инициализация" ? 0 : 1;
    ASSERT_EQ(app->Cmd("celltext Table " + std::to_string(initRow) + " 1"), "Инициализация");
    ASSERT_EQ(app->Cmd("cell Table " + std::to_string(initRow) + " 0"), "ok");
    const std::string details = app->Cmd("get Details");
    EXPECT_NE(details.find("пользователь инженер\\x2028Итог: проверено ОТК"), std::string::npos) << details;
    EXPECT_EQ(details.find("\u2028"), std::string::npos) << details;
    ASSERT_TRUE(waitFor("enabled Protocol", "1"));
    ASSERT_EQ(app->Cmd("click Protocol"), "ok");
    ASSERT_TRUE(waitFor("opened", ".pdf"));
    EXPECT_NE(PdfText(app->Cmd("opened")).find("4661"), std::string::npos);
    ASSERT_EQ(app->Cmd("enabled Restore"), "1");
    deviceB->Cmd("clearlog");
    ASSERT_EQ(app->Cmd("click Restore"), "ok");
    // Every question answered "Да" (the first button), until the journal is back on top.
    std::string state;
    for (int i = 0; i < 100; ++i) {
        state = app->Cmd("state");
        if (state.find("modal=Журнал|") == std::string::npos && state.find("modal=-") == std::string::npos)
            app->Cmd("press 0");
        else if (!TServiceRecords::ReadJournal(JournalOf(second)).empty() &&
                 TServiceRecords::ReadJournal(JournalOf(second)).front().action == QStringLiteral("restore"))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const auto journalB = TServiceRecords::ReadJournal(JournalOf(second));
    ASSERT_FALSE(journalB.empty()) << state;
    EXPECT_EQ((journalB.front().action + u' ' + journalB.front().outcome).toStdString(), "restore выполнено") << state;
    EXPECT_NE(deviceB->Cmd("count 0"), "0");  // written
    EXPECT_EQ(deviceB->Cmd("image").substr(20, 2), baseline.substr(20, 2));  // A's backup's RTC correction

    // Another PC wrote this device after this PC last did: the next write says who and when, once.
    pg.Sql("INSERT INTO zenda.journal (pc, line_id, at, time, action, serial, outcome) VALUES ('pc9', 'z', "
           "'2030-01-02T10:00:00Z', '2030-01-02T10:00:00Z', 'rtc', '12345', 'выполнено')",
           pg.Admin(db));
    ASSERT_EQ(app->Cmd("click Close"), "ok");
    ASSERT_TRUE(waitFor("state", "modal=-"));
    ASSERT_EQ(app->Cmd("tab PageControl1 0"), "ok");
    ASSERT_EQ(app->Cmd("click Button_Read_Ini"), "ok");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the department is asked meanwhile
    ASSERT_EQ(app->Cmd("tab PageControl1 1"), "ok");
    ASSERT_EQ(app->Cmd("click BitBtn1"), "ok");  // "Калибровка RTC"
    ASSERT_TRUE(waitFor("state", "modal=Информация|Прибор № 12345 после последней записи с этого ПК записан на другом "
                                 "ПК: pc9"))
        << app->Cmd("state");
    ASSERT_EQ(app->Cmd("press 0"), "ok");
    ASSERT_TRUE(waitFor("state", "modal=Автокоррекция RTC"));
    ASSERT_EQ(app->Cmd("click BitBtn2"), "ok");  // Отмена: nothing written
    ASSERT_TRUE(waitFor("state", "modal=-"));
    ASSERT_EQ(app->Cmd("click BitBtn1"), "ok");  // told once: the dialog at once
    ASSERT_TRUE(waitFor("state", "modal=Автокоррекция RTC"));
    ASSERT_EQ(app->Cmd("click BitBtn2"), "ok");
    ASSERT_TRUE(waitFor("state", "modal=-"));
    // With no server, the next read tells it at once from what this PC's last push heard.
    TCluster::Script("crash");
    ASSERT_EQ(app->Cmd("tab PageControl1 0"), "ok");
    ASSERT_EQ(app->Cmd("click Button_Read_Ini"), "ok");
    ASSERT_EQ(app->Cmd("tab PageControl1 1"), "ok");
    ASSERT_EQ(app->Cmd("click BitBtn1"), "ok");
    const bool told = waitFor("state", "modal=Информация|Прибор № 12345 после последней записи с этого ПК записан на "
                                       "другом ПК: pc9");
    TCluster::Script("restart");
    ASSERT_TRUE(told) << app->Cmd("state");
    app->Cmd("press 0");
    app->Cmd("quit");
}
