// station: the production station on the command line: the plan and the fixtures from the
// options, a live table on a terminal (a line an event elsewhere, NDJSON with --json), a
// results file, and the summary.
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QJsonArray>

#include <algorithm>
#include <QJsonDocument>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <set>
#include <thread>

#include "program.h"
#include "protocol.h"
#include "base/settingsstore.h"
#include "station/station.h"
#include "stationreport.h"
#include "team/teambook.h"

using namespace Qt::StringLiterals;

int StationCommand(const TGlobal& g, const QCommandLineParser& p)
{
#ifndef _WIN32
    // A reader that goes away (`| head`) must not kill the station mid-device: the write fails
    // instead, and the station ends after each fixture's device.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // The trace of several lines at once would be one interleaved stream; the journal keeps
    // the traffic of every failed device instead.
    if (g.trace)
        throw ERefused(
            Z::tr("station: --trace is for one command on one line; a failed device's traffic is in the journal"));
    // ---- the plan, checked whole before any port is opened
    const bool range = p.isSet(u"serial-from"_s) || p.isSet(u"count"_s);
    if (range == p.isSet(u"plan"_s))
        throw ERefused(Z::tr("station: give the plan as --serial-from N --count K, or as --plan FILE.csv"));
    std::vector<TPlanRow> rows;
    if (range) {
        bool ok1 = false, ok2 = false;
        const long long from = p.value(u"serial-from"_s).trimmed().toLongLong(&ok1);
        const long long count = p.value(u"count"_s).trimmed().toLongLong(&ok2);
        if (!ok1 || from < 1 || from > range::SerialMax)
            throw ERefused(Z::tr("--serial-from is a serial number, 1..65535"));
        if (!ok2 || count < 1)
            throw ERefused(Z::tr("--count is a number of devices, 1 or more"));
        if (from + count - 1 > range::SerialMax)
            throw ERefused(Z::tr("--serial-from %1 --count %2 goes past 65535").arg(from).arg(count));
        for (long long n = from; n < from + count; ++n)
            rows.emplace_back().serial = static_cast<int>(n);
    } else {
        rows = ReadPlanFile(p.value(u"plan"_s));
    }
    TStationOptions opt;
    if (p.isSet(u"address"_s)) {
        bool ok = false;
        opt.defaults.address = p.value(u"address"_s).trimmed().toInt(&ok);
        if (!ok)
            throw ERefused(Human(u"Сетевой адрес прибора должен быть числом от 1 до 63"_s));
    }
    opt.defaults.ch1 = p.value(u"ch1"_s);
    opt.defaults.ch2 = p.value(u"ch2"_s);
    for (const char* ch : {"ch1", "ch2"})
        if (p.isSet(QString::fromLatin1(ch)) && p.value(QString::fromLatin1(ch)).trimmed().isEmpty())
            throw ERefused(Z::tr("--%1 is empty (value=, type=, test=)").arg(QString::fromLatin1(ch)));
    if (p.isSet(u"v2-reset"_s)) {
        const QString v = p.value(u"v2-reset"_s).toLower();
        opt.defaults.v2Reset = v == u"yes" ? 1 : v == u"no" ? 0 : -2;
        if (opt.defaults.v2Reset == -2)
            throw ERefused(Z::tr("--v2-reset is yes or no"));
    }
    {
        TPlanRow check = opt.defaults;  // the options are checked as a row would be
        check.serial = 1;
        CheckPlan({check});
    }
    CheckPlan(rows, p.value(u"plan"_s));

    // ---- the fixtures
    std::set<QString> seen;
    for (QString port : p.values(u"port"_s)) {
        port = port.trimmed();
        if (port.isEmpty())
            throw ERefused(Z::tr("--port is empty: give COM1..COM16 or a device path"));
        if (port.startsWith(u"COM"_s, Qt::CaseInsensitive)) {
            bool ok = false;
            const int n = port.mid(3).toInt(&ok);
            if (!ok || n < 1 || n > 16)
                throw ERefused(Z::tr("--port is COM1..COM16 or a device path, not '%1'").arg(port));
            port = u"COM"_s + QString::number(n);
        } else if (!port.startsWith(u'/') && !port.startsWith(u"\\\\"_s)) {
            throw ERefused(Z::tr("--port is COM1..COM16 or a device path, not '%1'").arg(port));
        }
        if (!seen.insert(port).second)
            throw ERefused(Z::tr("the fixture %1 is named twice").arg(port));
        opt.ports.push_back(port);
    }
    if (opt.ports.empty())
        opt.ports.push_back(u"COM"_s + QString::number(std::max(1, StoredComNumber())));
    if (opt.ports.size() > 16)
        throw ERefused(Z::tr("at most 16 fixtures"));
    opt.baud = g.baud ? g.baud : StoredBaudRate() == 1 ? 9600 : 4800;
    if (p.isSet(u"poll"_s)) {
        bool ok = false;
        opt.pollMs = p.value(u"poll"_s).toInt(&ok);
        if (!ok || opt.pollMs < 20 || opt.pollMs > 10000)
            throw ERefused(Z::tr("--poll is 20..10000 ms"));
    }
    opt.renumber = p.isSet(u"renumber"_s);
    opt.noBackup = g.noBackup;
    const bool protocols = p.isSet(u"protocol"_s);
    if (protocols)
        DrawingProgram();  // refused before the first device, not after it
    const std::optional<TLabelTarget> labelTarget = LabelTargetOption(p);

    std::unique_ptr<QFile> results;
    if (p.isSet(u"results"_s)) {
        const QString name = p.value(u"results"_s);
        static const QByteArray header = "time,fixture,serial,outcome,previous,message,backup";
        if (name.isEmpty())
            throw ERefused(Z::tr("--results is empty: give the results file"));
        if (QFileInfo(name).exists() && !QFileInfo(name).isFile())
            throw ERefused(Z::tr("the results file %1 is not a regular file").arg(name));
        results = std::make_unique<QFile>(name);
        if (!results->open(QIODevice::ReadWrite | QIODevice::Append))
            throw ERefused(Z::tr("the results file %1 cannot be written: %2").arg(name, results->errorString()));
        // Rows are only ever added to a results file of this station's own columns.
        results->seek(0);
        const QByteArray first = results->readLine(4096);
        if (results->size() > 0 && first.trimmed() != header)
            throw ERefused(Z::tr("the results file %1 holds another table (its first line is not \"%2\")")
                               .arg(name, QString::fromLatin1(header)));
        results->seek(results->size());
        if (results->size() == 0)
            results->write(header + "\r\n");
        else if (results->seek(results->size() - 1) && results->read(1) != "\n")
            results->write("\r\n");  // a row never joins the last line of an edited file
    }

    // Two stations would each give the same numbers from their own book: one runs at a time,
    // with all its fixtures.
    TStationLock running;
    std::unique_ptr<TLabeler> labeler;
    if (labelTarget)
        labeler = std::make_unique<TLabeler>(*labelTarget, LabelsPdfDrawn);

    // ---- what earlier runs used: the ledger, with the journal and the backups beside it
    TNumberBook book(rows);
    std::unique_ptr<TSharedNumbers> team;
    if (p.isSet(u"team"_s)) {
        team = TeamNumbers(TeamConnInfo());
        book.Share(team.get());
    }
    const QStringList bookNotes =
        book.Load(TServiceRecords::JournalPath(), DataFolder() + u"/backups"_s, p.isSet(u"recover"_s));

    TReporter reporter(g, opt, book, results.get());
    for (const QString& f : bookNotes)
        reporter.Report(TStationEvent(TStationEvent::Note, u"station"_s, -1, f));
    // Labels an earlier run left due (stopped between a device's verification and its label).
    if (labeler)
        labeler->MakeDue([&](const TLabel& l, const QString& done, const QString& error) {
            reporter.Report(TStationEvent(
                TStationEvent::Note, u"station"_s, l.serial,
                error.isEmpty()
                    ? Z::tr("label left due by an earlier run: %1").arg(done)
                    : Z::tr("no label: %1 (zenda label %2 makes it again)").arg(Human(error)).arg(l.serial)));
        });
    std::mutex protocolLock;  // one drawing program at a time, beside the fixtures' lines
    // The terminal's side of the station: its reporter, its signals, its language.
    struct THost : TStationHost {
        std::function<void(const TStationEvent&)> report;
        void Report(const TStationEvent& e) override { report(e); }
        int StopAsked() const override { return StopSignal(); }
        QString Said(const QString& text) const override { return Human(text); }
        QString Journaled(const std::exception& e) const override { return JournalText(e); }
    } host;
    opt.program = QStringLiteral("zenda " ZENDA_VERSION);
    TStation station(opt, book, host);
    host.report = [&](const TStationEvent& e) {
        reporter.Report(e);
        if (labeler && e.kind == TStationEvent::Done) {
            // Only a device numbered and verified gets one: never a spoiled, failed or skipped number.
            try {
                const QString done = labeler->Make({e.serial, ModelName(e.model), QDate::currentDate()});
                reporter.Report(TStationEvent(TStationEvent::Note, e.fixture, e.serial, Z::tr("label: %1").arg(done)));
            } catch (const std::exception& x) {
                reporter.Report(TStationEvent(TStationEvent::Note, e.fixture, e.serial,
                                              Z::tr("no label: %1 (zenda label %2 makes it again)")
                                                  .arg(Human(QString::fromUtf8(x.what())))
                                                  .arg(e.serial)));
            }
        }
        if (protocols && e.kind == TStationEvent::Done) {
            // The journal line the station just wrote is the newest of this number.
            std::lock_guard<std::mutex> lock(protocolLock);
            try {
                const QString path = SaveStationProtocol(e.serial, QStringLiteral("zenda " ZENDA_VERSION), ProtocolPdf);
                reporter.Report(
                    TStationEvent(TStationEvent::Note, e.fixture, e.serial, Z::tr("protocol: %1").arg(path)));
            } catch (const std::exception& x) {
                reporter.Report(TStationEvent(TStationEvent::Note, e.fixture, e.serial,
                                              u"Не удалось сохранить протокол: "_s + QString::fromUtf8(x.what())));
            }
        }
    };
    reporter.onOutputLost = [&station] { station.Stop(); };
    if (book.Finished()) {
        std::fprintf(
            stderr, "zenda: %s\n",
            Z::tr("nothing is left in the plan: every number is used (the summary says where)").toUtf8().constData());
    } else {
        try {
            station.OpenPorts();
        } catch (const std::exception& e) {
            return Fail(g, kNoPort, QString::fromUtf8(e.what()));
        }
        reporter.StartTicker();
        // A stop is said at once: the operator knows each fixture is finishing its device.
        std::atomic<bool> over{false};
        std::thread watch([&] {
            while (!over && !StopSignal())
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (!over)
                reporter.Report(
                    TStationEvent(TStationEvent::Note, u"station"_s, -1,
                                  Z::tr("stopping: each fixture ends after its device (Ctrl+C again ends at once)")));
        });
        station.Run();
        over = true;
        watch.join();
    }
    reporter.Close();

    // ---- the summary
    const auto entries = book.Entries();
    const int left = book.Count(TNumberBook::TState::Free) + book.Count(TNumberBook::TState::Taken);
    const int sig = StopSignal();
    const int status = reporter.FailedCount() > 0 || station.JournalBroken() || !book.LedgerError().isEmpty() ||
                               reporter.OutputLost() || reporter.ResultsFailed()
                           ? kDeviceError
                       : left > 0 && sig ? 128 + sig
                                         : kDone;
    if (station.JournalBroken())
        std::fprintf(stderr, "zenda: %s\n",
                     Z::tr("the station stopped: the service journal cannot be written (%1)")
                         .arg(TServiceRecords::JournalPath())
                         .toUtf8()
                         .constData());
    // Ends the team's server did not take (it went away): the ledger keeps them, and the next
    // start tells the server before any number is taken.
    const int unreported = team ? book.ReportPending() : 0;
    if (unreported > 0)
        std::fprintf(stderr, "zenda: %s\n",
                     Z::tr("%1 numbers' ends are not on the team's server yet: the ledger keeps them, the next "
                           "station start reports them")
                         .arg(unreported)
                         .toUtf8()
                         .constData());
    if (!book.LedgerError().isEmpty())
        std::fprintf(stderr, "zenda: %s\n",
                     Z::tr("the station stopped: its ledger cannot be written (%1)")
                         .arg(book.LedgerError())
                         .toUtf8()
                         .constData());
    // Numbers other PCs used are theirs to report: counted here, not listed as this PC's.
    const int elsewhere =
        static_cast<int>(std::count_if(entries.begin(), entries.end(), [](const auto& e) { return e.elsewhere; }));
    if (g.json) {
        QJsonArray numbers;
        for (const auto& e : entries)
            if ((e.state == TNumberBook::TState::Done || e.state == TNumberBook::TState::Spoiled) && !e.elsewhere)
                numbers.append(
                    QJsonObject{{u"serial"_s, e.row.serial},
                                {u"state"_s, e.state == TNumberBook::TState::Done ? u"done"_s : u"spoiled"_s},
                                {u"fixture"_s, e.fixture},
                                {u"time"_s, e.time},
                                {u"earlier"_s, e.earlier}});
        QJsonObject o{{u"event"_s, u"summary"_s},
                      {u"ok"_s, status == kDone},
                      {u"done"_s, reporter.Done()},
                      {u"failed"_s, reporter.FailedCount()},
                      {u"spoiled"_s, book.Count(TNumberBook::TState::Spoiled, false)},
                      {u"skipped"_s, reporter.Skipped()},
                      {u"left"_s, left},
                      {u"results_written"_s, !reporter.ResultsFailed()},
                      {u"unreported"_s, unreported},
                      {u"elsewhere"_s, elsewhere},  // numbers of the plan that other PCs used
                      {u"seconds"_s, reporter.Seconds()},
                      {u"numbers"_s, numbers}};
        std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
    } else {
        const QString summary =
            Z::tr("station: done %1, failed %2, spoiled %3, skipped %4, left in the plan %5; %6, %7 an hour")
                .arg(reporter.Done())
                .arg(reporter.FailedCount())
                .arg(book.Count(TNumberBook::TState::Spoiled, false))
                .arg(reporter.Skipped())
                .arg(left)
                .arg(Clock(reporter.Seconds()), reporter.PerHour());
        std::printf("%s\n", summary.toUtf8().constData());
        bool header = false;
        for (const auto& e : entries) {
            if ((e.state != TNumberBook::TState::Done && e.state != TNumberBook::TState::Spoiled) || e.elsewhere)
                continue;
            if (!std::exchange(header, true))
                std::printf("%s\n", Z::tr("numbers used:").toUtf8().constData());
            // Padded in characters: printf's width counts the bytes of a Russian word.
            const QByteArray state = (e.state == TNumberBook::TState::Done ? Z::tr("done", "number state")
                                                                           : Z::tr("spoiled", "number state"))
                                         .leftJustified(8)
                                         .toUtf8();
            const QByteArray earlier = e.earlier ? (u"  "_s + Z::tr("(an earlier run)")).toUtf8() : QByteArray();
            std::printf("  %5d  %s  %s  %s%s\n", e.row.serial, state.constData(), e.time.toUtf8().constData(),
                        e.fixture.toUtf8().constData(), earlier.constData());
        }
        if (elsewhere > 0)
            std::printf("%s\n",
                        Z::tr("%1 numbers of the plan were used by other PCs").arg(elsewhere).toUtf8().constData());
        if (left == 0)
            std::printf("%s\n", Z::tr("the plan is used up").toUtf8().constData());
        if (reporter.ResultsFailed())
            std::printf("%s\n",
                        Z::tr("the results file lacks rows: it could not be written (the journal has every device)")
                            .toUtf8()
                            .constData());
    }
    std::fflush(stdout);
    return status;
}
