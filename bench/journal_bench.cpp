// The journal dialog with 10,000 lines and with 500,000: from the click on "Журнал" to the table
// on screen, a device's lines found, and the memory. Prints its figures.
// bench_journal --team (ZENDA_TEAM_DB set, the zenda beside it): the department's view instead,
// however many lines the server holds: its first screen, its end, the window's longest pause
// while it fills, and one device's lines.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QFile>
#include <QElapsedTimer>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include <sys/resource.h>

#include "journal.h"
#include "records/records.h"

namespace {
int Department()
{
    TJournalForm form;
    form.Load();
    form.show();
    QApplication::processEvents();
    auto* rows = form.findChild<QTableView*>(QStringLiteral("Table"))->model();
    auto* limit = form.findChild<QLabel*>(QStringLiteral("Limit"));
    // The window's longest pause: a timer that should fire every 10 ms.
    QElapsedTimer tick;
    double pause = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        pause = std::max(pause, tick.nsecsElapsed() / 1e6);
        tick.restart();
    });
    auto until = [&](const std::function<bool()>& done) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < 60000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        return t.nsecsElapsed() / 1e6;
    };
    auto loading = [&] { return limit->text().startsWith(QStringLiteral("Загрузка")); };
    QElapsedTimer t;
    t.start();
    tick.start();
    timer.start(10);
    form.findChild<QComboBox*>(QStringLiteral("Source"))->setCurrentIndex(1);
    const double first = until([&] { return rows->rowCount() > 0; });
    until([&] { return !loading(); });
    const double all = t.nsecsElapsed() / 1e6;
    std::printf("journal --team view: the first screen after %.0f ms (goal < 500 ms), %d lines after %.0f ms "
                "(%s); the window's longest pause meanwhile %.0f ms\n",
                first, rows->rowCount(), all, limit->text().toUtf8().constData(), pause);
    pause = 0;
    t.restart();
    tick.restart();
    form.findChild<QLineEdit*>(QStringLiteral("Filter"))->setText(QStringLiteral("4242"));
    until([&] { return !loading(); });
    std::printf("journal --team view: № 4242's %d lines after %.0f ms; the longest pause %.0f ms\n", rows->rowCount(),
                t.nsecsElapsed() / 1e6, pause);
    return rows->rowCount() > 0 ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QTemporaryDir dir;
    setenv("XDG_DATA_HOME", dir.path().toUtf8().constData(), 1);
    QApplication app(argc, argv);
    if (argc > 1 && QByteArray(argv[1]) == "--team")
        return Department();

    TServiceRecords records(QStringLiteral("bench"));
    for (int i = 0; i < 10000; ++i) {
        TJournalLine l;
        l.action = i % 3 ? QStringLiteral("read") : QStringLiteral("init");
        l.port = QStringLiteral("COM1 -> /dev/ttyUSB0");
        l.model = QStringLiteral("ZENDA2");
        l.serial = QString::number(10000 + i % 400);
        l.address = QString::number(1 + i % 63);
        l.outcome = i % 17 ? QStringLiteral("выполнено") : QStringLiteral("Нет ответа от прибора");
        if (i % 3 == 0)
            l.changes = {QStringLiteral("Заводской номер: 1 -> %1").arg(l.serial), QStringLiteral("Сетевой адрес: 5 -> 7"),
                         QStringLiteral("счетчики обнулены"), QStringLiteral("часы записаны: 08/12/26 10:00")};
        l.backup = QStringLiteral("backups/%1/20261208-100000-000-init.hex").arg(l.serial);
        records.Journal(l);
    }
    // The dialog opened `runs` times: the times sorted, false when it did not show `rows` lines.
    std::vector<double> ms;
    auto open = [&ms](int runs, int rows) {
        ms.clear();
        for (int run = 0; run < runs; ++run) {
            TJournalForm form;
            QElapsedTimer t;
            t.start();
            form.Load();
            form.show();
            QApplication::processEvents();
            ms.push_back(t.nsecsElapsed() / 1e6);
            if (form.findChild<QTableView*>(QStringLiteral("Table"))->model()->rowCount() != rows)
                return false;
        }
        std::sort(ms.begin(), ms.end());
        return true;
    };
    if (!open(7, std::min(10000, TJournalForm::kShown))) {
        std::printf("journal: not all lines shown\n");
        return 1;
    }
    std::printf("journal: 10,000 lines, the dialog shown: median %.1f ms, worst %.1f ms of 7 (goal < 300 ms)\n",
                ms[ms.size() / 2], ms.back());

    // A station's year: 500,000 lines (about 200 MB with the images written), made directly.
    {
        const QString path = TServiceRecords::JournalPath();
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
            return 1;
        const QByteArray image(144, 'A');
        QByteArray block;
        for (int i = 0; i < 490000; ++i) {
            block += "\"2026-12-08T10:00:00+03:00\",\"init\",\"COM3 -> /dev/ttyUSB2\",\"ZENDA1\",\"" +
                     QByteArray::number(20000 + i) +
                     "\",\"5\",\"\xD0\xB2\xD1\x8B\xD0\xBF\",\"a; b; c\",\"backups/x/y-init.hex\",\"\",\"" + image +
                     "\"\r\n";
            if (block.size() > (1 << 22)) {
                f.write(block);
                block.clear();
            }
        }
        f.write(block);
        std::printf("journal: %.0f MB of 500,000 lines\n", f.size() / 1048576.0);
    }
    if (!open(5, TJournalForm::kShown)) {
        std::printf("journal: the newest lines not shown\n");
        return 1;
    }
    QElapsedTimer t;
    t.start();
    const auto device = TServiceRecords::ReadJournal(TServiceRecords::JournalPath(), nullptr, {-1, QStringLiteral("10007")});
    const double filterMs = t.nsecsElapsed() / 1e6;
    struct rusage u {};
    getrusage(RUSAGE_SELF, &u);
    std::printf("journal: 500,000 lines, the dialog shown (the newest %d): median %.1f ms, worst %.1f ms of 5 (goal < 1 s)\n",
                TJournalForm::kShown, ms[ms.size() / 2], ms.back());
    std::printf("journal: 500,000 lines, one device's %zu lines found in the whole journal: %.1f ms\n", device.size(),
                filterMs);
    std::printf("journal: peak memory of the process %.0f MB (goal < 200 MB)\n", u.ru_maxrss / 1024.0);
    return 0;
}
