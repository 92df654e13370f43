// A whole initialization in the real window against the simulator paced at 9600 bit/s both
// ways: from the clock check's "&Да" to the question box, over the line's own time; and from
// that "&Да" to the first byte on the line, the tool's own share before the device is asked.
#include <QApplication>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "clockverify.h"
#include "main.h"
#include "settingsstore.h"
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
}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QTemporaryDir dir;
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
    for (int i = 0; i < 10; ++i) {
        sim.ClearLog();
        QTimer::singleShot(50, clock, [&] { clock->BitBtn1->click(); });
        form.findChild<QPushButton*>(QStringLiteral("Button_Init"))->click();
        const double ms = std::chrono::duration<double, std::milli>(watch.shown - yes).count();
        size_t bytes = 0;
        for (const auto& e : sim.Log())
            bytes += e.Bytes.size();
        ratio.push_back(ms / (bytes * 10.0 / 9600 * 1000));
        for (const auto& e : sim.Log())
            if (e.FromTool) {
                const auto at = simStart + std::chrono::duration_cast<Clock::duration>(
                                               std::chrono::duration<double, std::milli>(e.Ms));
                firstByte.push_back(std::chrono::duration<double, std::milli>(at - yes).count());
                break;
            }
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
                Median(firstByte), firstByte.empty() ? 0.0 : *std::max_element(firstByte.begin(), firstByte.end()));
    std::printf("init: tool turnaround across the action: median %.3f ms, worst %.3f ms\n", Median(turn),
                turn.empty() ? 0.0 : *std::max_element(turn.begin(), turn.end()));

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
