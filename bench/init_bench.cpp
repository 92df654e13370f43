// A whole initialization in the real window against the simulator paced at 9600 bit/s both
// ways: from the clock check's "&Да" to the question box, over the line's own time; and from
// that "&Да" to the first byte on the line, the tool's own share before the device is asked;
// that first byte again with a team's server that accepts connections and never answers (each
// action then leaves a `zenda sync` and a department query hanging beside the window).
#include <QApplication>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "clockverify.h"
#include "main.h"
#include "base/settingsstore.h"
#include "zsim.h"

using Clock = std::chrono::steady_clock;

namespace {
double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Notes the moment the question box shows and answers it "Нет".
class QuestionWatch : public QObject {
public:
    Clock::time_point shown{};
    bool eventFilter(QObject* o, QEvent* e) override
    {
        auto* w = qobject_cast<QWidget*>(o);
        if (e->type() == QEvent::Show && w && w->isWindow() && w->windowTitle() == QStringLiteral("Подтвердите")) {
            shown = Clock::now();
            QTimer::singleShot(0, w, [w] {
                if (auto* b = w->findChild<QPushButton*>(QStringLiteral("btn1")))
                    b->click();
            });
        }
        return false;
    }
};
// The engineer looks at what was read before the next click (a fraction of what anyone takes).
void Look(QApplication& app)
{
    const auto end = Clock::now() + std::chrono::milliseconds(300);
    while (Clock::now() < end)
        app.processEvents(QEventLoop::AllEvents, 10);
}
}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    // The journal, and the zenda processes the window starts, stay in this run's folder.
    setenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toLocal8Bit().constData(), 1);
    setenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit().constData(), 1);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());

    zsim::Options opt;
    opt.Baud = 9600;
    const Clock::time_point simStart = Clock::now();  // the simulator's log counts from about here
    zsim::Simulator sim(opt);
    const std::string path = sim.StartPty();
    {
        auto s = OpenSettings();
        s->setValue(QStringLiteral("Ports/COM1"), QString::fromStdString(path));
        s->setValue(QStringLiteral("BaudRate"), 1);
    }
    InstallSettingsPortResolver();
    TForm1 form;
    form.CreateServiceDialogs();
    form.show();

    QuestionWatch watch;
    app.installEventFilter(&watch);
    Clock::time_point yes{};
    auto* clock = form.findChild<TClockVerifyForm*>(QStringLiteral("ClockVerifyForm"));
    QObject::connect(clock, &QDialog::accepted, [&] { yes = Clock::now(); });

    std::vector<double> ratio, turn, firstByte;
    auto* read = form.findChild<QPushButton*>(QStringLiteral("Button_Read_Ini"));
    // A read, as an engineer does first (with a server the department is asked then), a look at
    // it, and the initialization confirmed; "&Да" to the tool's first byte on the line (ms) added.
    auto initialize = [&](std::vector<double>& firstBytes) {
        read->click();
        Look(app);
        sim.ClearLog();
        QTimer::singleShot(50, clock, [&] { clock->BitBtn1->click(); });
        form.findChild<QPushButton*>(QStringLiteral("Button_Init"))->click();
        for (const auto& e : sim.Log())
            if (e.FromTool) {
                const auto at = simStart + std::chrono::duration_cast<Clock::duration>(
                                               std::chrono::duration<double, std::milli>(e.Ms));
                firstBytes.push_back(std::chrono::duration<double, std::milli>(at - yes).count());
                break;
            }
    };
    auto worst = [](const std::vector<double>& v) { return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end()); };
    for (int i = 0; i < 10; ++i) {
        initialize(firstByte);
        const double ms = std::chrono::duration<double, std::milli>(watch.shown - yes).count();
        size_t bytes = 0;
        for (const auto& e : sim.Log())
            bytes += e.Bytes.size();
        ratio.push_back(ms / (bytes * 10.0 / 9600 * 1000));
        for (double t : sim.Turnarounds())
            turn.push_back(t);
        if (i == 0)
            std::printf("init: %zu bytes on the line, %.1f ms wire time, %.1f ms total\n", bytes,
                        bytes * 10.0 / 9600 * 1000, ms);
    }
    std::printf(
        "init: whole initialization, \"&Да\" to the question box: total / wire time = %.4f "
        "(median of 10; goal <= 1.03)\n",
        Median(ratio));
    std::printf("init: \"&Да\" to the first byte on the line: median %.3f ms, worst %.3f ms (median of 10)\n",
                Median(firstByte), worst(firstByte));
    std::printf("init: tool turnaround across the action: median %.3f ms, worst %.3f ms\n", Median(turn), worst(turn));

    // The same with a team's server that accepts and never answers: a socket that listens and is
    // never read (the kernel completes the handshakes).
    const int hang = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (hang < 0 || bind(hang, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(hang, 64) != 0 ||
        getsockname(hang, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return 1;
    const std::string conninfo = "host=127.0.0.1 port=" + std::to_string(ntohs(a.sin_port)) + " dbname=zenda user=pc";
    setenv("ZENDA_TEAM_DB", conninfo.c_str(), 1);
    std::vector<double> hanging;
    for (int i = 0; i < 10; ++i)
        initialize(hanging);
    std::printf("init: \"&Да\" to the first byte, team's server hanging: median %.3f ms, worst %.3f ms "
                "(no server: median %.3f ms, worst %.3f ms; goal: unchanged within noise)\n",
                Median(hanging), worst(hanging), Median(firstByte), worst(firstByte));
    unsetenv("ZENDA_TEAM_DB");
    close(hang);

    // The simplest peer, pyserial, doing the same exchange against the same device in this run.
    form.close();
    sim.ClearLog();
    const std::string cmd = std::string("/usr/bin/python3 ") + ZENDA_BENCH_DIR + "/peer.py " + path + " 10 2>&1";
    if (std::system(cmd.c_str()) == 0) {
        const auto peer = sim.Turnarounds();
        std::printf("init: pyserial peer turnaround, same exchange: median %.3f ms, worst %.3f ms (goal: window <= peer)\n",
                    Median(peer), peer.empty() ? 0.0 : *std::max_element(peer.begin(), peer.end()));
    } else {
        std::printf("init: the pyserial peer did not run (apt-get install python3-serial)\n");
    }
    return 0;
}
