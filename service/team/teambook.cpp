#include "team/teambook.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <type_traits>

#include "base/refusal.h"
#include "base/settingsstore.h"
#ifdef ZENDA_TEAM
#include "teamdb.h"
#include "team/teamgreet.h"
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

TTeamStatus TeamStatus(const QString& conninfo)
{
    TTeamDb db(conninfo.toStdString());
    TTeamStatus st;
    st.where = QString::fromStdString(db.Where());
    st.version = std::stoi(db.Exec("SELECT CASE WHEN to_regclass('zenda.migrations') IS NULL THEN 0 ELSE "
                                   "(SELECT coalesce(max(version), 0) FROM zenda.migrations) END")
                               .at(0)
                               .at(0)
                               .value_or("0"));
    st.latest = TTeamDb::SchemaVersion();
    st.isPc = db.Exec("SELECT 1 FROM pg_auth_members m JOIN pg_roles g ON g.oid = m.roleid JOIN pg_roles r ON r.oid = "
                      "m.member WHERE g.rolname = 'zenda_station' AND r.rolname = session_user")
                  .size() == 1;
    if (st.version >= 4 && st.isPc)
        st.department = QString::fromStdString(db.Exec("SELECT zenda.my_department()").at(0).at(0).value_or(""));
    const TTeamDb::TLink link = db.Link();
    st.local = link.local;
    st.tls = link.tls;
    st.verified = link.verified;
    st.sslmode = QString::fromStdString(link.sslmode);
    st.awaited = Awaited(db.Server()).trimmed();
    return st;
}

QString TTeamStatus::Text() const
{
    QString t = Z::tr("%1, schema %2 of %3%4")
                    .arg(where)
                    .arg(version)
                    .arg(latest)
                    .arg(version < latest ? Z::tr(" (the administrator runs 'zenda team setup')") : QString());
    if (isPc)
        t += u'\n' + (department.isEmpty() ? Z::tr("department: none (this PC reads the records of the PCs of no department)")
                                            : Z::tr("department: %1").arg(department));
    t += u'\n' + (local ? Z::tr("over the server's own socket: nothing crosses the network")
                 : !tls ? Z::tr("not encrypted (sslmode=%1): the password and the records cross the network as they are")
                             .arg(sslmode)
                 : verified ? Z::tr("TLS, the server's name verified (sslmode=%1)").arg(sslmode)
                            : Z::tr("TLS, the server's name not verified (sslmode=%1): use sslmode=verify-full").arg(sslmode));
    if (!awaited.isEmpty())
        t += u'\n' + awaited;
    return t;
}

QString TeamCheck(const QString& conninfo) { return TeamStatus(conninfo).Text(); }

std::vector<TPcState> TeamPcs(const QString& conninfo)
{
    TTeamDb db(conninfo.toStdString());
    std::vector<TPcState> pcs;
    for (const auto& row : db.Pcs()) {
        auto v = [&](size_t i) { return QString::fromStdString(row.at(i).value_or(std::string())); };
        pcs.push_back({v(0), v(1), v(2), v(3), v(4).toLongLong(), v(5).toLongLong(), v(6) == u"t"_s, v(7) == u"t"_s});
    }
    return pcs;
}

int TeamRemovePc(const QString& conninfo, const QString& name)
{
    try {
        TTeamDb::CheckPcName(name.toStdString());
        return TTeamDb(conninfo.toStdString()).RemovePc(name.toStdString());
    } catch (const ETeamRefusal& e) {
        throw ERefused(QString::fromUtf8(e.what()));
    }
}

void TeamRenamePc(const QString& conninfo, const QString& from, const QString& to)
{
    try {
        TTeamDb::CheckPcName(from.toStdString());
        TTeamDb::CheckPcName(to.toStdString());
        TTeamDb(conninfo.toStdString()).RenamePc(from.toStdString(), to.toStdString());
    } catch (const ETeamRefusal& e) {
        throw ERefused(QString::fromUtf8(e.what()));
    }
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
    try {
        r.password = QString::fromStdString(db.AddPc(name.toStdString(), r.renewed));
    } catch (const ETeamRefusal& e) {  // a role of the server's own, never taken over
        throw ERefused(QString::fromUtf8(e.what()));
    }
    if (department)
        db.SetDepartment(name.toStdString(), department->toStdString());
    r.department = QString::fromStdString(
        db.Exec("SELECT coalesce((SELECT department FROM zenda.pcs WHERE pc = $1), '')", {name.toStdString()})
            .at(0)
            .at(0)
            .value_or(""));
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
TTeamStatus TeamStatus(const QString&) { NotBuiltIn(); }
QString TTeamStatus::Text() const { return where; }
std::vector<TPcState> TeamPcs(const QString&) { NotBuiltIn(); }
int TeamRemovePc(const QString&, const QString&) { NotBuiltIn(); }
void TeamRenamePc(const QString&, const QString&, const QString&) { NotBuiltIn(); }
QString TeamSetup(const QString&) { NotBuiltIn(); }
TPcRole TeamAddPc(const QString&, const QString&, const std::optional<QString>&) { NotBuiltIn(); }
TResumed TeamResume(const QString&, const QStringList&) { NotBuiltIn(); }
void TeamSetDepartment(const QString&, const QString&, const QString&) { NotBuiltIn(); }
void TeamStopWhen(bool (*)()) {}
bool TeamStopped() { return false; }
std::unique_ptr<TSharedNumbers> TeamNumbers(const QString&) { NotBuiltIn(); }
#endif
