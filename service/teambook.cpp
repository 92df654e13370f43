#include "teambook.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <type_traits>

#include "refusal.h"
#include "settingsstore.h"
#ifdef ZENDA_TEAM
#include "teamdb.h"
#include "teamgreet.h"
#endif

using namespace Qt::StringLiterals;

#ifdef ZENDA_TEAM
void SaveTeamConnInfo(const QString& conninfo)
{
    if (conninfo.trimmed().isEmpty())
        throw ERefused(Z::tr("the connection string is empty"));
    try {
        TTeamDb::CheckConnInfo(conninfo.toStdString());
    } catch (const ETeamError& e) {
        throw ERefused(QString::fromUtf8(e.what()));
    }
    auto s = OpenSettings();
    s->setValue(u"Team/ConnInfo"_s, conninfo);
    s->sync();
    if (s->status() != QSettings::NoError)
        throw std::runtime_error(Z::tr("the settings cannot be saved").toStdString());
}

namespace {
// "; the number book waits ..." when the server went back and not every PC has told its numbers.
QString Awaited(const TTeamDb::TServer& s)
{
    if (s.awaited.empty())
        return {};
    return Z::tr("\nthe server went back in time (%1, %2): the number book gives no number until these PCs have "
                 "told theirs (zenda sync on each): %3; to go on without them: zenda team resume %4")
        .arg(QString::fromStdString(s.why), QString::fromStdString(s.wentBack).left(16),
             QString::fromStdString(s.awaited), QString::fromStdString(s.awaited).remove(u','));
}
}  // namespace

QString TeamCheck(const QString& conninfo)
{
    TTeamDb db(conninfo.toStdString());
    const auto rows = db.Exec(
        "SELECT CASE WHEN to_regclass('zenda.migrations') IS NULL THEN 0 ELSE "
        "(SELECT coalesce(max(version), 0) FROM zenda.migrations) END");
    const int version = std::stoi(rows.at(0).at(0).value_or("0"));
    return Z::tr("%1, schema %2 of %3%4")
               .arg(QString::fromStdString(db.Where()))
               .arg(version)
               .arg(TTeamDb::SchemaVersion())
               .arg(version < TTeamDb::SchemaVersion() ? Z::tr(" (the administrator runs 'zenda team setup')") : QString()) +
           Awaited(db.Server());
}

TResumed TeamResume(const QString& conninfo, const QStringList& pcs)
{
    try {  // refused before the server is asked (an unset variable in a script)
        for (const QString& pc : pcs)
            TTeamDb::CheckPcName(pc.toStdString());
    } catch (const ETeamError& e) {
        throw ERefused(QString::fromUtf8(e.what()));
    }
    TTeamDb db(conninfo.toStdString());
    std::vector<std::string> names;
    for (const QString& pc : pcs)
        names.push_back(pc.toStdString());
    TResumed r;
    for (const std::string& n : db.Resume(names))
        r.unknown << QString::fromStdString(n);
    r.awaited = QString::fromStdString(db.Server().awaited);
    return r;
}

QString TeamSetup(const QString& conninfo)
{
    TTeamDb db(conninfo.toStdString());
    std::vector<std::string> restored;
    const std::vector<int> applied = db.Setup(&restored);
    // Run after a restore: the book closes now, before any PC takes a number.
    const QString awaited = Awaited(db.Server(true));
    QStringList v, put;
    for (int n : applied)
        v << QString::number(n);
    for (const std::string& r : restored)
        put << QString::fromStdString(r);
    if (!put.isEmpty())  // never "up to date" over what the PCs could not use
        return Z::tr("%1: the PCs' access was missing and is put back (%2); schema version %3")
                   .arg(QString::fromStdString(db.Where()), put.join(u", "_s))
                   .arg(TTeamDb::SchemaVersion()) +
               awaited;
    return (applied.empty() ? Z::tr("%1: the schema is up to date (version %2)")
                                  .arg(QString::fromStdString(db.Where()))
                                  .arg(TTeamDb::SchemaVersion())
                            : Z::tr("%1: schema migrations applied: %2")
                                  .arg(QString::fromStdString(db.Where()), v.join(u", "_s))) +
           awaited;
}

namespace {
bool (*teamStopped)() = nullptr;
}  // namespace

void TeamStopWhen(bool (*stopped)())
{
    teamStopped = stopped;
    TTeamDb::StopWhen(stopped);
}

bool TeamStopped() { return teamStopped && teamStopped(); }

void TeamSetDepartment(const QString& conninfo, const QString& pc, const QString& department)
{
    try {
        TTeamDb(conninfo.toStdString()).SetDepartment(pc.toStdString(), department.toStdString());
    } catch (const ETeamError& e) {
        throw ERefused(QString::fromUtf8(e.what()));
    }
}

TPcRole TeamAddPc(const QString& conninfo, const QString& name, const std::optional<QString>& department)
{
    try {  // refused before the server is asked
        TTeamDb::CheckPcName(name.toStdString());
        if (department)
            TTeamDb::CheckDepartment(department->toStdString());
    } catch (const ETeamError& e) {
        throw ERefused(QString::fromUtf8(e.what()));
    }
    TTeamDb db(conninfo.toStdString());
    TPcRole r;
    r.password = QString::fromStdString(db.AddPc(name.toStdString(), r.renewed));
    if (department)
        db.SetDepartment(name.toStdString(), department->toStdString());
    const auto at = db.Exec("SELECT current_database(), coalesce(inet_server_port()::text, current_setting('port'))");
    const QString dbname = QString::fromStdString(at.at(0).at(0).value_or("")),
                  port = QString::fromStdString(at.at(0).at(1).value_or("5432"));
    // Over the server's own socket the name the PCs use is not known here: the administrator
    // puts it in (the name its certificate gives).
    QString host = QString::fromStdString(db.Where()).section(u':', 0, 0);
    if (host.startsWith(u"socket "_s))
        host = u"SERVER"_s;
    r.conninfo = u"host=%1 port=%2 dbname=%3 user=%4 sslmode=verify-full"_s.arg(host, port, dbname, name);
    r.passfileLine = u"%1:%2:%3:%4:%5"_s.arg(host, port, dbname, name, r.password);
    return r;
}

namespace {
class TTeamNumbers : public TSharedNumbers {
public:
    explicit TTeamNumbers(QString conninfo) : conninfo_(std::move(conninfo)) {}
    QString Where() const override
    {
        std::lock_guard<std::mutex> g(mu_);
        return where_.isEmpty() ? Z::tr("the team's server") : where_;
    }
    std::set<int> Used(const std::vector<int>& serials) override
    {
        return Call([&](TTeamDb& db) { return db.Used(serials); });
    }
    void MarkUsed(const std::map<int, bool>& done) override
    {
        Call([&](TTeamDb& db) { db.MarkUsed(done); return 0; });
    }
    std::optional<int> Take(const std::vector<int>& serials) override
    {
        // Below the last number given, every one was used or in hands then: asked again only
        // when none above is left (one given back meanwhile is found so, late). A plan's numbers
        // used by the other stations since are not looked up again at every take.
        std::vector<int> above;
        for (int n : serials)
            if (n > floor_)
                above.push_back(n);
        std::optional<int> got;
        if (!above.empty())
            got = Call([&](TTeamDb& db) { return db.Take(token_, above); });
        if (!got && above.size() < serials.size())
            got = Call([&](TTeamDb& db) { return db.Take(token_, serials); });
        floor_ = got.value_or(0);
        return got;
    }
    void Begin(int serial) override
    {
        Call([&](TTeamDb& db) { db.Begin(token_, serial); return 0; });
    }
    void Finish(int serial, bool done) override
    {
        Call([&](TTeamDb& db) { db.Finish(token_, serial, done); return 0; });
    }
    void Release(int serial) override
    {
        Call([&](TTeamDb& db) { db.Release(token_, serial); return 0; });
        floor_ = std::min(floor_.load(), serial - 1);  // given back: the first to give again
    }

private:
    // One call at a time on the one connection; a lost connection is made anew at the next.
    template <class F>
    std::invoke_result_t<F, TTeamDb&> Call(F f)
    {
        std::lock_guard<std::mutex> g(mu_);
        try {
            if (!db_ || !db_->Alive()) {
                db_.reset();
                auto db = TeamConnect(conninfo_);  // what this PC used is told first, when the server went back
                token_ = db->Hello();
                floor_ = 0;  // what the lost session held is free again
                where_ = QString::fromStdString(db->Where());
                db_ = std::move(db);
            }
            return f(*db_);
        } catch (const ETeamError&) {
            if (db_ && !db_->Alive())
                db_.reset();
            throw;
        }
    }
    QString conninfo_;
    mutable std::mutex mu_;
    std::unique_ptr<TTeamDb> db_;
    int64_t token_ = 0;
    std::atomic<int> floor_{0};
    QString where_;
};
}  // namespace

std::unique_ptr<TSharedNumbers> TeamNumbers(const QString& conninfo)
{
    try {
        TTeamDb::CheckConnInfo(conninfo.toStdString());
    } catch (const ETeamError& e) {
        throw ERefused(QString::fromUtf8(e.what()));
    }
    return std::make_unique<TTeamNumbers>(conninfo);
}
#else
namespace {
[[noreturn]] void NotBuiltIn()
{
    throw ERefused(Z::tr("this zenda was built without the team's server (libpq)"));
}
}  // namespace
void SaveTeamConnInfo(const QString&) { NotBuiltIn(); }
QString TeamCheck(const QString&) { NotBuiltIn(); }
QString TeamSetup(const QString&) { NotBuiltIn(); }
TPcRole TeamAddPc(const QString&, const QString&, const std::optional<QString>&) { NotBuiltIn(); }
TResumed TeamResume(const QString&, const QStringList&) { NotBuiltIn(); }
void TeamSetDepartment(const QString&, const QString&, const QString&) { NotBuiltIn(); }
void TeamStopWhen(bool (*)()) {}
bool TeamStopped() { return false; }
std::unique_ptr<TSharedNumbers> TeamNumbers(const QString&) { NotBuiltIn(); }
#endif
