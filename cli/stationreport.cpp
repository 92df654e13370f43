#include "stationreport.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

QString Csv(const QString& field)
{
    if (!field.contains(u',') && !field.contains(u'"') && !field.contains(u'\n') && !field.contains(u';'))
        return field;
    return u'"' + QString(field).replace(u"\""_s, u"\"\""_s) + u'"';
}

}  // namespace

QString Clock(qint64 seconds)
{
    return u"%1:%2:%3"_s.arg(seconds / 3600, 2, 10, QChar(u'0'))
        .arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
        .arg(seconds % 60, 2, 10, QChar(u'0'));
}

namespace {
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

}  // namespace

TReporter::TReporter(const TGlobal& g, const TStationOptions& opt, TNumberBook& book, QFile* results)
    : g_(g), book_(book), results_(results), live_(!g.json && IsTerminal(1))
{
    const std::vector<QString> shown = ShortNames(opt.ports, 21);
    for (size_t i = 0; i < opt.ports.size(); ++i)
        rows_.push_back({opt.ports[i], shown[i], StateText(TStationEvent::Waiting), -1, Now()});
}

void TReporter::StartTicker()
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

void TReporter::StopTicker()
{
    stop_ = true;
    if (ticker_.joinable())
        ticker_.join();
}

void TReporter::Report(const TStationEvent& e)
{
    std::lock_guard<std::mutex> g(mu_);
    const bool device =
        e.kind == TStationEvent::Done || e.kind == TStationEvent::Failed || e.kind == TStationEvent::Skipped;
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
                                e.kind == TStationEvent::Done      ? u"done"_s
                                : e.kind == TStationEvent::Skipped ? u"skipped"_s
                                : e.spoiled                        ? u"spoiled"_s
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
        QJsonObject o{
            {u"event"_s, QString::fromLatin1(StateName(e.kind))}, {u"fixture"_s, e.fixture}, {u"time"_s, LocalStamp()}};
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

QString TReporter::PerHour() const
{
    const qint64 s = std::max<qint64>(1, started_.msecsTo(QDateTime::currentDateTime()) / 1000);
    return QString::number(done_ * 3600.0 / static_cast<double>(s), 'f', 0);
}

void TReporter::Close()
{
    StopTicker();
    std::lock_guard<std::mutex> g(mu_);
    if (live_)
        Draw();
    drawn_ = 0;
}

void TReporter::Log(const TStationEvent& e)
{
    QString text = QDateTime::currentDateTime().toString(u"HH:mm:ss"_s) + u' ' + e.fixture + u' ' + StateText(e.kind);
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
        text +=
            u": "_s +
            Z::tr("on the fixture %1 the device № %2 is numbered already").arg(e.fixture, QString::number(e.serial));
    else if (!e.message.isEmpty())
        text += u": "_s + Human(e.message);
    Erase();
    std::printf("%s\n", Printable(text).toUtf8().constData());
    Flush();
}

void TReporter::Flush()
{
    if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && !outputLost_.exchange(true) && onOutputLost)
        onOutputLost();
}

void TReporter::Erase()
{
    if (drawn_ > 0)
        std::printf("\x1b[%dA\x1b[J", drawn_);
    drawn_ = 0;
}

void TReporter::Draw()
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
