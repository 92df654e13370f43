// station: the production station on the command line: the plan and the fixtures from the
// options, a live table on a terminal (a line an event elsewhere, NDJSON with --json), a
// results file, and the summary.
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QLockFile>
#include <QJsonArray>

#include <algorithm>
#include <QJsonDocument>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <limits>
#include <mutex>
#include <set>
#include <thread>

#include "program.h"
#include "protocol.h"
#include "base/settingsstore.h"
#include "station/station.h"
#include "team/teambook.h"

using namespace Qt::StringLiterals;

namespace {

QString Csv(const QString& field)
{
    if (!field.contains(u',') && !field.contains(u'"') && !field.contains(u'\n') && !field.contains(u';'))
        return field;
    return u'"' + QString(field).replace(u"\""_s, u"\"\""_s) + u'"';
}

QString Clock(qint64 seconds)
{
    return u"%1:%2:%3"_s.arg(seconds / 3600, 2, 10, QChar(u'0'))
        .arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
        .arg(seconds % 60, 2, 10, QChar(u'0'));
}

// A fixture's state as the operator reads it; the JSON's event names are StateName's.
QString StateText(TStationEvent::TKind kind)
{
    switch (kind) {
    case TStationEvent::Waiting: return Z::tr("waiting", "fixture state");
    case TStationEvent::Device: return Z::tr("device", "fixture state");
    case TStationEvent::Writing: return Z::tr("writing", "fixture state");
    case TStationEvent::Done: return Z::tr("done", "fixture state");
    case TStationEvent::Failed: return Z::tr("failed", "fixture state");
    case TStationEvent::Skipped: return Z::tr("skipped", "fixture state");
    case TStationEvent::TakeOff: return Z::tr("take it off", "fixture state");
    case TStationEvent::Gone: return Z::tr("gone", "fixture state");
    case TStationEvent::Finished: return Z::tr("finished", "fixture state");
    case TStationEvent::Note: return Z::tr("note", "fixture state");
    }
    return QString::fromLatin1(StateName(kind));
}

// Fixture names as the live table shows them, width characters at most. Long paths that share a
// beginning and an end (/dev/serial/by-id/usb-FTDI_..._A1-if00-port0) keep the part that tells
// them apart, so that the operator takes the right device off.
std::vector<QString> ShortNames(const std::vector<QString>& names, qsizetype width)
{
    qsizetype shortest = std::numeric_limits<qsizetype>::max();
    for (const QString& n : names)
        shortest = std::min(shortest, n.size());
    qsizetype pre = 0, suf = 0;
    if (names.size() > 1) {
        auto same = [&](auto at) {
            for (const QString& n : names)
                if (n[at(n)] != names[0][at(names[0])])
                    return false;
            return true;
        };
        while (pre < shortest && same([&](const QString&) { return pre; }))
            ++pre;
        while (suf < shortest - pre && same([&](const QString& n) { return n.size() - 1 - suf; }))
            ++suf;
    }
    std::vector<QString> out;
    for (const QString& n : names) {
        if (n.size() <= width) {
            out.push_back(n);
            continue;
        }
        const QString middle = n.mid(pre, n.size() - pre - suf);
        // What tells it apart, then as much of the common end as fits.
        QString shown = middle.right(width - 1);
        if (shown.size() < width - 1)
            shown += n.right(suf).left(width - 1 - shown.size());
        out.push_back(u'…' + shown);
    }
    return out;
}

// Everything the operator and the line's system are told, from any fixture's thread.
class TReporter {
public:
    TReporter(const TGlobal& g, const TStationOptions& opt, TNumberBook& book, QFile* results)
        : g_(g), book_(book), results_(results), live_(!g.json && IsTerminal(1))
    {
        const std::vector<QString> shown = ShortNames(opt.ports, 21);
        for (size_t i = 0; i < opt.ports.size(); ++i)
            rows_.push_back({opt.ports[i], shown[i], StateText(TStationEvent::Waiting), -1, Now()});
    }
    ~TReporter() { StopTicker(); }

    void StartTicker()
    {
        if (live_)
            ticker_ = std::thread([this] {
                while (!stop_) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(250));
                    std::lock_guard<std::mutex> g(mu_);
                    Draw();
                }
            });
    }
    void StopTicker()
    {
        stop_ = true;
        if (ticker_.joinable())
            ticker_.join();
    }

    void Report(const TStationEvent& e)
    {
        std::lock_guard<std::mutex> g(mu_);
        const bool device = e.kind == TStationEvent::Done || e.kind == TStationEvent::Failed ||
                            e.kind == TStationEvent::Skipped;
        if (e.kind == TStationEvent::Done)
            ++done_;
        else if (e.kind == TStationEvent::Failed)
            ++failed_;
        else if (e.kind == TStationEvent::Skipped)
            ++skipped_;
        for (auto& r : rows_)
            if (r.fixture == e.fixture && e.kind != TStationEvent::Note && e.kind != TStationEvent::Gone) {
                r.state = e.kind == TStationEvent::Failed && e.spoiled ? Z::tr("failed, spoiled", "fixture state")
                                                                        : StateText(e.kind);
                if (e.serial >= 0 || e.kind == TStationEvent::Waiting)
                    r.serial = e.serial;
                r.since = Now();
            }
        if (device && results_) {
            const QStringList cells{LocalStamp(),
                                    e.fixture,
                                    e.kind == TStationEvent::Skipped ? QString() : QString::number(e.serial),
                                    e.kind == TStationEvent::Done ? u"done"_s
                                    : e.kind == TStationEvent::Skipped ? u"skipped"_s
                                    : e.spoiled                       ? u"spoiled"_s
                                                                      : u"failed"_s,
                                    QString::number(e.previous),
                                    e.message,
                                    e.backup};
            QString line;
            for (const QString& c : cells)
                line += (line.isEmpty() ? QString() : u","_s) + Csv(c);
            const QByteArray bytes = (line + u"\r\n"_s).toUtf8();
            if ((results_->write(bytes) != bytes.size() || !results_->flush()) && !resultsFailed_) {
                resultsFailed_ = true;  // said once; the devices go on, the journal keeps them
                std::fprintf(stderr, "zenda: %s\n",
                             Z::tr("the results file %1 cannot be written: %2")
                                 .arg(results_->fileName(), results_->errorString())
                                 .toUtf8()
                                 .constData());
            }
        }
        if (g_.json) {
            QJsonObject o{{u"event"_s, QString::fromLatin1(StateName(e.kind))},
                          {u"fixture"_s, e.fixture},
                          {u"time"_s, LocalStamp()}};
            if (e.serial >= 0)
                o[u"serial"_s] = e.serial;
            if (e.previous >= 0)
                o[u"previous"_s] = e.previous;
            if (e.kind == TStationEvent::Failed) {
                o[u"spoiled"_s] = e.spoiled;
                o[u"used"_s] = e.used;  // spoiled, or written and verified (only the leave failed)
            }
            if (!e.message.isEmpty())
                o[u"message"_s] = e.message;  // as the results file and the journal have it
            if (!e.backup.isEmpty())
                o[u"backup"_s] = e.backup;
            std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
            Flush();
        } else if (live_) {
            if (device || e.kind == TStationEvent::Note || !e.message.isEmpty())
                Log(e);
            Draw();
        } else {
            Log(e);
        }
    }

    // Standard output went away (a closed pipe, a full disk): nobody sees the events any more.
    std::function<void()> onOutputLost;
    bool OutputLost() const { return outputLost_; }
    bool ResultsFailed() const { return resultsFailed_; }

    int Done() const { return done_; }
    int FailedCount() const { return failed_; }
    int Skipped() const { return skipped_; }
    qint64 Seconds() const { return started_.secsTo(QDateTime::currentDateTime()); }
    QString PerHour() const
    {
        const qint64 s = std::max<qint64>(1, started_.msecsTo(QDateTime::currentDateTime()) / 1000);
        return QString::number(done_ * 3600.0 / static_cast<double>(s), 'f', 0);
    }

    // The live table is cleared before the summary is printed under it.
    void Close()
    {
        StopTicker();
        std::lock_guard<std::mutex> g(mu_);
        if (live_)
            Draw();
        drawn_ = 0;
    }

private:
    struct TRow {
        QString fixture, shown, state;
        int serial;
        QDateTime since;
    };
    static QDateTime Now() { return QDateTime::currentDateTime(); }

    // One line an event where no table is drawn; above the table where one is.
    void Log(const TStationEvent& e)
    {
        QString text = QDateTime::currentDateTime().toString(u"HH:mm:ss"_s) + u' ' + e.fixture + u' ' +
                       StateText(e.kind);
        if (e.serial >= 0)
            text += u" № "_s + QString::number(e.serial);
        if (e.kind == TStationEvent::Failed)
            text += u" ("_s +
                    (e.spoiled ? Z::tr("the number is spoiled: the write began")
                     : e.used  ? Z::tr("the number is used: written and verified")
                               : Z::tr("the number is free again")) +
                    u')';
        // The engine's words (the device's, the line's) in the user's language; the station's
        // own are in it already. A skipped device's is the guard's, which names the fixture.
        if (e.kind == TStationEvent::Skipped)
            text += u": "_s + Z::tr("on the fixture %1 the device № %2 is numbered already")
                                  .arg(e.fixture, QString::number(e.serial));
        else if (!e.message.isEmpty())
            text += u": "_s + Human(e.message);
        Erase();
        std::printf("%s\n", Printable(text).toUtf8().constData());
        Flush();
    }
    void Flush()
    {
        if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && !outputLost_.exchange(true) && onOutputLost)
            onOutputLost();
    }
    void Erase()
    {
        if (drawn_ > 0)
            std::printf("\x1b[%dA\x1b[J", drawn_);
        drawn_ = 0;
    }
    void Draw()
    {
        if (!live_)
            return;
        Erase();
        QString text = u"%1 %2 %3 %4\n"_s.arg(Z::tr("fixture", "live table heading"), -21)
                           .arg(Z::tr("state", "live table heading"), -21)
                           .arg(Z::tr("number", "live table heading"), -8)
                           .arg(Z::tr("time", "live table heading: how long in this state"));
        for (const auto& r : rows_)
            text += u"%1 %2 %3 %4\n"_s.arg(r.shown, -21)
                        .arg(r.state, -21)
                        .arg(r.serial >= 0 ? QString::number(r.serial) : QString(), -8)
                        .arg(Clock(r.since.secsTo(Now())));
        const int left = book_.Count(TNumberBook::TState::Free) + book_.Count(TNumberBook::TState::Taken);
        text += Z::tr("done %1, failed %2, spoiled %3, skipped %4, left in the plan %5; %6 an hour; %7")
                    .arg(done_)
                    .arg(failed_)
                    .arg(book_.Count(TNumberBook::TState::Spoiled, false))
                    .arg(skipped_)
                    .arg(left)
                    .arg(PerHour(), Clock(Seconds())) +
                u'\n';
        std::printf("%s", text.toUtf8().constData());
        Flush();
        drawn_ = static_cast<int>(rows_.size()) + 2;
    }

    const TGlobal& g_;
    TNumberBook& book_;
    QFile* results_;
    const bool live_;
    std::mutex mu_;
    std::vector<TRow> rows_;
    int done_ = 0, failed_ = 0, skipped_ = 0, drawn_ = 0;
    bool resultsFailed_ = false;
    std::atomic<bool> outputLost_{false};
    QDateTime started_ = QDateTime::currentDateTime();
    std::atomic<bool> stop_{false};
    std::thread ticker_;
};

}  // namespace

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
        const QString file = p.value(u"plan"_s);
        if (file.isEmpty())
            throw ERefused(Z::tr("--plan is empty: give the plan's file"));
        // Only a regular file: a device would never end, a FIFO would wait for a writer.
        if (QFileInfo(file).exists() && !QFileInfo(file).isFile())
            throw ERefused(Z::tr("the plan %1 is not a regular file").arg(file));
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            throw ERefused(Z::tr("the plan %1 cannot be read: %2").arg(file, f.errorString()));
        constexpr qint64 kPlanMax = 16 * 1024 * 1024;
        const QByteArray bytes = f.read(kPlanMax + 1);
        if (bytes.size() > kPlanMax)
            throw ERefused(Z::tr("the plan %1 is too large for a plan").arg(file));
        rows = ParsePlan(bytes, file);
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
    if (!QDir().mkpath(DataFolder()))
        throw ERefused(Z::tr("the data folder %1 cannot be made").arg(DataFolder()));
    QLockFile running(DataFolder() + u"/station.lock"_s);
    if (!running.tryLock(0)) {
        // A folder it cannot write to is not another station.
        if (running.error() == QLockFile::PermissionError || running.error() == QLockFile::UnknownError)
            throw ERefused(Z::tr("the data folder %1 cannot be written: the station's lock cannot be made there")
                               .arg(DataFolder()));
        qint64 pid = 0;
        QString host, app;
        running.getLockInfo(&pid, &host, &app);
        throw ERefused(
            Z::tr("another station is running (process %1): run one station, with all its fixtures").arg(pid));
    }

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
        if (protocols && e.kind == TStationEvent::Done) {
            // The journal line the station just wrote is the newest of this number.
            std::lock_guard<std::mutex> lock(protocolLock);
            try {
                TProtocol doc;
                doc.parties = TProtocolParties::Load();
                doc.program = QStringLiteral("zenda " ZENDA_VERSION);
                bool found = false;
                TServiceRecords::ForEachJournalLine(TServiceRecords::JournalPath(), {}, [&](const TJournalLine& l) {
                    TImageBuffer written;
                    found = HasProtocol(l) && WrittenImage(l, written) &&
                            TDeviceSettings(written).SerialNumber() == e.serial;
                    if (found)
                        doc.line = l;
                    return !found;
                });
                if (!found)
                    throw std::runtime_error(Z::tr("the journal holds no line of this write").toStdString());
                WrittenImage(doc.line, doc.image);
                doc.leftInitMode = LeftInitModeAfter(doc.line);
                TProtocolNumber number;
                doc.number = number.number;
                doc.made = QDateTime::currentDateTime();
                const QString path = SaveProtocol(doc, ProtocolPdf(doc));
                number.Keep();
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
        std::fprintf(stderr, "zenda: %s\n",
                     Z::tr("nothing is left in the plan: every number is used (the summary says where)")
                         .toUtf8()
                         .constData());
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
                reporter.Report(TStationEvent(
                    TStationEvent::Note, u"station"_s, -1,
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
                       : left > 0 && sig                                   ? 128 + sig
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
                numbers.append(QJsonObject{{u"serial"_s, e.row.serial},
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
            std::printf("%s\n", Z::tr("%1 numbers of the plan were used by other PCs").arg(elsewhere).toUtf8().constData());
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
