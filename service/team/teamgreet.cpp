#include "team/teamgreet.h"

#ifdef ZENDA_TEAM
#include <QDir>
#include <QFile>
#include <QHash>

#include <map>
#include <stdexcept>

#include "records/durable.h"
#include "numbers/ledger.h"
#include "records/records.h"
#include "base/refusal.h"

using namespace Qt::StringLiterals;

namespace {
QString NotePath() { return DataFolder() + u"/team-server.state"_s; }

// What this PC remembers of its server: "ID GENERATION GREETS".
TTeamDb::TServer LoadNote()
{
    TTeamDb::TServer s;
    QFile f(NotePath());
    if (f.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> parts = f.read(256).trimmed().split(' ');
        if (parts.size() == 3) {
            s.id = parts[0].toStdString();
            s.generation = parts[1].toInt();
            s.greets = parts[2].toLongLong();
        }
    }
    return s;
}

// The numbers this PC's records show used: its station's ledger (every number whose write
// began and did not give it back, and every one a device was seen holding) and its journal
// (every number a write gave, done or not). Done: verified.
std::map<int, bool> UsedHere()
{
    std::map<int, bool> used;
    auto add = [&](int serial, bool done) {
        if (serial >= 1 && serial <= 65535)
            used[serial] = used[serial] || done;
    };
    const TNumberLedger ledger;
    if (ledger.Exists()) {
        std::vector<TLedgerLine> lines;
        std::vector<TLedgerDamage> damaged;
        ledger.Read(lines, damaged);
        QHash<QString, QString> end;  // a begun write's end, by its identity
        for (const TLedgerLine& l : lines)
            if (l.event != QLatin1String(TNumberLedger::kBegun))
                end[l.id] = l.event;
        for (const TLedgerLine& l : lines) {
            const QString e = l.event == QLatin1String(TNumberLedger::kBegun) ? end.value(l.id) : l.event;
            if (e != QLatin1String(TNumberLedger::kFree))
                add(l.serial, e == QLatin1String(TNumberLedger::kDone));
        }
    }
    QFile journal(TServiceRecords::JournalPath());
    if (journal.open(QIODevice::ReadOnly)) {
        while (!journal.atEnd()) {  // a line at a time: a journal of a million lines is never held whole
            const TJournalLine l = TServiceRecords::ParseJournalLine(QString::fromUtf8(journal.readLine()).trimmed());
            bool number = false;
            const int serial = l.WrittenSerial().toInt(&number);
            if (number)
                add(serial, l.outcome == u"выполнено"_s);
        }
    }
    return used;
}
}  // namespace

std::unique_ptr<TTeamDb> TeamConnect(const QString& conninfo, TGreeting* greeting)
{
    try {
        auto db = std::make_unique<TTeamDb>(conninfo.toStdString());
        QDir().mkpath(DataFolder());
        const TTeamDb::TServer known = LoadNote();
        TTeamDb::TServer now;
        try {
            now = db->Greet(known);
        } catch (const ETeamError&) {
            // A server whose schema is older than this program: the administrator's to upgrade.
            const auto v = db->Exec("SELECT CASE WHEN to_regclass('zenda.migrations') IS NULL THEN 0 ELSE "
                                    "(SELECT coalesce(max(version), 0) FROM zenda.migrations) END");
            if (const int version = std::stoi(v.at(0).at(0).value_or("0")); version < TTeamDb::SchemaVersion())
                throw std::runtime_error(Z::tr("the team's server has schema version %1, this zenda needs %2: the "
                                               "administrator runs 'zenda team setup'")
                                             .arg(version)
                                             .arg(TTeamDb::SchemaVersion())
                                             .toStdString());
            throw;
        }
        TGreeting g;
        // A server new to this PC (a first connection, another server) or one that went back
        // since: what this PC used is told before anything else.
        if (known.id != now.id || known.generation < now.generation) {
            const std::map<int, bool> used = UsedHere();
            db->Tell(used);
            g.told = true;
            g.numbers = static_cast<qsizetype>(used.size());
            if (known.id == now.id)
                g.wentBack = QString::fromStdString(now.why);
            g.awaited = QString::fromStdString(db->Server().awaited);
        } else {
            g.awaited = QString::fromStdString(now.awaited);
        }
        durable::ReplaceWhole(NotePath(), QByteArray::fromStdString(now.id) + ' ' + QByteArray::number(now.generation) +
                                              ' ' + QByteArray::number(static_cast<qint64>(now.greets)) + '\n');
        if (greeting)
            *greeting = g;
        return db;
    } catch (const ETeamError& e) {
        throw std::runtime_error(e.what());
    }
}
#endif
