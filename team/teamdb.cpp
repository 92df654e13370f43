// The connection and its watch: libpq's connection with a time-out and keepalives, a thread a
// connection that cuts a call the server leaves unanswered, one statement or a stream of rows, a
// COPY, a transaction. Every other file of team/ speaks SQL through these.
#include "teamdb.h"

#include <libpq-fe.h>
#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

#include "internal.h"

namespace zteam {
std::string Trimmed(const char* text)
{
    std::string s = text ? text : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    // libpq's messages may span lines ("connection to server ... failed: ...\n\tIs the server
    // running ..."): one line for ours.
    for (char& c : s)
        if (c == '\n' || c == '\t')
            c = ' ';
    return s;
}

std::string Joined(const char* what, const std::string& why)
{
    std::string s = what;
    s += why;
    return s;
}

std::string IntArray(const std::vector<int>& v)
{
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) of "," + to_string().
    std::string s = "{";
    for (size_t i = 0; i < v.size(); ++i) {
        if (i)
            s += ',';
        s += std::to_string(v[i]);
    }
    s += '}';
    return s;
}

std::string Number(long long n) { return std::to_string(n); }
}  // namespace zteam

using namespace zteam;

void TTeamDb::CheckConnInfo(const std::string& conninfo)
{
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
    if (!options) {
        const std::string why = error ? Trimmed(error) : "out of memory";
        PQfreemem(error);
        throw ETeamRefusal("not a connection string: " + why);
    }
    bool password = false;
    for (PQconninfoOption* o = options; o->keyword; ++o)
        password |= std::strcmp(o->keyword, "password") == 0 && o->val && *o->val;
    PQconninfoFree(options);
    if (password)
        throw ETeamRefusal("the connection string holds a password: keep it in the password file (~/.pgpass, "
                         "%APPDATA%\\postgresql\\pgpass.conf) instead");
}

namespace {
std::atomic<bool (*)()> stopCheck{nullptr};
}  // namespace

void TTeamDb::StopWhen(bool (*stopped)()) { stopCheck = stopped; }

// One thread a connection, asleep but for a glance every 100 ms while a call waits.
class TTeamDb::TWatch {
public:
    explicit TWatch(int socket) : socket_(socket), thread_([this] { Run(); }) {}
    ~TWatch()
    {
        {
            std::lock_guard<std::mutex> l(m_);
            quit_ = true;
        }
        cv_.notify_one();
        thread_.join();
    }
    // A call begins, or moves on (a COPY's chunk sent): its time counts from now.
    void Busy(bool busy)
    {
        std::lock_guard<std::mutex> l(m_);
        busy_ = busy;
        since_ = std::chrono::steady_clock::now();
    }
    // The watch's time for one call.
    struct TCall {
        explicit TCall(TWatch& w) : w_(w) { w_.Busy(true); }
        ~TCall() { w_.Busy(false); }
        TCall(const TCall&) = delete;
        TCall& operator=(const TCall&) = delete;
        TWatch& w_;
    };
    std::string Cut()
    {
        std::lock_guard<std::mutex> l(m_);
        return cut_;
    }

private:
    void Run()
    {
        using namespace std::chrono_literals;
        std::unique_lock<std::mutex> l(m_);
        while (!quit_) {
            cv_.wait_for(l, 100ms);
            const auto now = std::chrono::steady_clock::now();
            if (const auto stopped = stopCheck.load(); !stoppedAt_ && stopped && stopped())
                stoppedAt_ = now;
            if (!busy_ || !cut_.empty())
                continue;
            // Once stopped, a call is given 2 s to end by itself (a station's last note in the book).
            if (stoppedAt_ && now - std::max(*stoppedAt_, since_) >= 2s)
                cut_ = "stopped";
            else if (now - since_ >= 60s)  // a statement is given 15 s at the server
                cut_ = "no answer for 60 s";
            else
                continue;
#ifdef _WIN32
            shutdown(static_cast<SOCKET>(socket_), SD_BOTH);
#else
            shutdown(socket_, SHUT_RDWR);
#endif
        }
    }
    const int socket_;
    std::mutex m_;
    std::condition_variable cv_;
    bool quit_ = false, busy_ = false;
    std::chrono::steady_clock::time_point since_;
    std::optional<std::chrono::steady_clock::time_point> stoppedAt_;
    std::string cut_;
    std::thread thread_;  // last: it starts with the rest in place
};

void TTeamDb::Failed(const std::string& why)
{
    const std::string cut = watch_ ? watch_->Cut() : std::string();
    if (!cut.empty())
        throw ETeamError("the team's server cannot be reached: " + cut);
    throw ETeamError(why);
}

TTeamDb::TTeamDb(const std::string& conninfo)
{
    CheckConnInfo(conninfo);
    // Ours first: what the string (or the service file, PG* variables) says comes after and wins.
    const char* keys[] = {"connect_timeout", "keepalives", "keepalives_idle", "keepalives_interval", "keepalives_count",
                          "tcp_user_timeout", "application_name", "dbname", nullptr};
    const char* values[] = {"5", "1", "20", "5", "3", "15000", "zenda", conninfo.c_str(), nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (!conn_)
        throw ETeamError("the team's server cannot be reached: out of memory");
    if (PQstatus(conn_) != CONNECTION_OK) {
        const std::string why = Trimmed(PQerrorMessage(conn_));
        PQfinish(conn_);
        conn_ = nullptr;
        // A server that answers and says no (a wrong or unread password, a role it does not
        // know, pg_hba.conf) is this PC's set-up to mend, not the network: said apart. The ping
        // asks only whether the server takes connections, with no login.
        // Not after a time-out or a refused connection: the server did not answer then, and a
        // ping would only wait as long again.
        bool silent = false;
        for (const char* s : {"timeout expired", "Connection refused", "could not translate host name", "No route to host",
                              "Network is unreachable", "could not connect to server"})
            silent |= why.find(s) != std::string::npos;
        if (!silent && PQpingParams(keys, values, 1) == PQPING_OK)
            throw ETeamError("the team's server refused this PC's login: " + why);
        throw ETeamError("the team's server cannot be reached: " + why);
    }
    // The server's notices ("already exists, skipping") are not the user's business.
    PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
    watch_ = std::make_unique<TWatch>(PQsocket(conn_));
    // The server, too, notices a PC that dropped off the network, and lets go of what it held.
    Exec("SELECT set_config('tcp_keepalives_idle', '20', false), set_config('tcp_keepalives_interval', '5', false), "
         "set_config('tcp_keepalives_count', '3', false), set_config('statement_timeout', '15s', false), "
         // A push's transaction ends within a minute or two whatever happens to this PC: what
         // the others read of the department goes back further than that (zenda.settled).
         "set_config('idle_in_transaction_session_timeout', '30s', false), "
         // Short statements only: compiling one would cost more than running it.
         "set_config('jit', 'off', false)");
}

TTeamDb::~TTeamDb()
{
    watch_.reset();  // its thread ends before the socket goes
    if (conn_)
        PQfinish(conn_);
}

bool TTeamDb::Alive() const { return conn_ && PQstatus(conn_) == CONNECTION_OK; }

std::string TTeamDb::Where() const
{
    const char* host = PQhost(conn_);
    std::string h = host && *host ? host : "localhost";
    if (!h.empty() && h[0] == '/')
        h.insert(0, "socket ");
    return h + ":" + PQport(conn_) + "/" + PQdb(conn_) + " as " + PQuser(conn_);
}

TTeamDb::TLink TTeamDb::Link()
{
    TLink l;
    l.tls = PQsslInUse(conn_) == 1;
    PQconninfoOption* options = PQconninfo(conn_);
    for (PQconninfoOption* o = options; o && o->keyword; ++o)
        if (std::strcmp(o->keyword, "sslmode") == 0 && o->val)
            l.sslmode = o->val;
    PQconninfoFree(options);
    l.verified = l.tls && l.sslmode == "verify-full";
    const char* host = PQhost(conn_);
    l.local = host && host[0] == '/';
    return l;
}

std::vector<TTeamDb::TRow> TTeamDb::Exec(const std::string& sql, const std::vector<std::optional<std::string>>& params)
{
    std::vector<const char*> values;
    for (const auto& p : params)
        values.push_back(p ? p->c_str() : nullptr);
    // Without parameters, several statements at once (a migration); with them, one.
    const TWatch::TCall call(*watch_);
    PGresult* r = params.empty() ? PQexec(conn_, sql.c_str())
                                 : PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                                values.data(), nullptr, nullptr, 0);
    const ExecStatusType st = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
        std::string why = Trimmed(r ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr);
        if (why.empty())
            why = Trimmed(PQerrorMessage(conn_));
        PQclear(r);
        Failed(PQstatus(conn_) == CONNECTION_OK ? "the team's server: " + why : "the team's server cannot be reached: " + why);
    }
    std::vector<TRow> rows(static_cast<size_t>(PQntuples(r)));
    for (int i = 0; i < PQntuples(r); ++i)
        for (int c = 0; c < PQnfields(r); ++c)
            rows[static_cast<size_t>(i)].push_back(PQgetisnull(r, i, c) ? std::nullopt
                                                                        : std::optional<std::string>(PQgetvalue(r, i, c)));
    PQclear(r);
    return rows;
}

void TTeamDb::Each(const std::string& sql, const std::vector<std::optional<std::string>>& params,
                   const std::function<bool(const TRow&)>& each)
{
    std::vector<const char*> values;
    for (const auto& p : params)
        values.push_back(p ? p->c_str() : nullptr);
    // A reader may take its time over a million rows: no limit on the statement, the watch's
    // minute between rows instead.
    Exec("SET statement_timeout = 0");
    const TWatch::TCall call(*watch_);
    if (!PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr, nullptr,
                           0) ||
        !PQsetSingleRowMode(conn_))
        Failed(Joined("the team's server cannot be reached: ", Trimmed(PQerrorMessage(conn_))));
    bool wanted = true;
    std::string error;
    TRow row;
    while (PGresult* r = PQgetResult(conn_)) {
        const ExecStatusType st = PQresultStatus(r);
        if (st == PGRES_SINGLE_TUPLE && wanted) {
            row.assign(static_cast<size_t>(PQnfields(r)), std::nullopt);
            for (int c = 0; c < PQnfields(r); ++c)
                if (!PQgetisnull(r, 0, c))
                    row[static_cast<size_t>(c)] = std::string(PQgetvalue(r, 0, c), static_cast<size_t>(PQgetlength(r, 0, c)));
            watch_->Busy(true);  // moving on
            if (!(wanted = each(row))) {  // enough: the server stops sending
                if (PGcancel* cancel = PQgetCancel(conn_)) {
                    char why[256];
                    PQcancel(cancel, why, sizeof why);
                    PQfreeCancel(cancel);
                }
            }
        } else if (st != PGRES_SINGLE_TUPLE && st != PGRES_TUPLES_OK && wanted && error.empty()) {
            error = Trimmed(PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY));
            if (error.empty())
                error = Trimmed(PQerrorMessage(conn_));
        }
        PQclear(r);
    }
    if (!error.empty())
        Failed(PQstatus(conn_) == CONNECTION_OK ? "the team's server: " + error
                                                : "the team's server cannot be reached: " + error);
    Exec("SET statement_timeout = '15s'");
}

namespace {
// A value for COPY's text format: backslash, tab, newline and carriage return escaped.
void CopyField(std::string& out, const std::string& v)
{
    for (char c : v) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
}
}  // namespace

void TTeamDb::Copy(const std::string& table, const std::vector<std::string>& columns,
                   const std::vector<std::vector<std::optional<std::string>>>& rows)
{
    std::string names;
    for (const auto& c : columns)
        names += (names.empty() ? "" : ", ") + c;
    const TWatch::TCall call(*watch_);
    PGresult* r = PQexec(conn_, ("COPY " + table + " (" + names + ") FROM STDIN").c_str());
    const bool copying = PQresultStatus(r) == PGRES_COPY_IN;
    PQclear(r);
    if (!copying)
        Failed(Joined("the team's server: ", Trimmed(PQerrorMessage(conn_))));
    std::string chunk;
    auto flush = [&] {
        if (PQputCopyData(conn_, chunk.data(), static_cast<int>(chunk.size())) != 1)
            Failed(Joined("the team's server cannot be reached: ", Trimmed(PQerrorMessage(conn_))));
        chunk.clear();
        watch_->Busy(true);  // moving on: a slow line is no stopped server
    };
    for (const auto& row : rows) {
        for (size_t i = 0; i < row.size(); ++i) {
            if (i)
                chunk += '\t';
            if (row[i])
                CopyField(chunk, *row[i]);
            else
                chunk += "\\N";
        }
        chunk += '\n';
        if (chunk.size() > (1 << 20))
            flush();
    }
    flush();
    if (PQputCopyEnd(conn_, nullptr) != 1)
        Failed(Joined("the team's server cannot be reached: ", Trimmed(PQerrorMessage(conn_))));
    std::string copyError;
    while (PGresult* done = PQgetResult(conn_)) {
        if (PQresultStatus(done) != PGRES_COMMAND_OK)
            copyError = Trimmed(PQresultErrorField(done, PG_DIAG_MESSAGE_PRIMARY));
        PQclear(done);
    }
    if (!copyError.empty())
        Failed(PQstatus(conn_) == CONNECTION_OK ? "the team's server: " + copyError
                                                : "the team's server cannot be reached: " + copyError);
}

size_t TTeamDb::CopyNew(const std::string& table, const std::vector<std::string>& columns,
                       const std::vector<std::vector<std::optional<std::string>>>& rows, const std::string& key)
{
    // COPY into a staging table, then one insert that skips what the server holds already: a
    // push whose acknowledgement was lost is sent again without doubling anything. In the
    // order the rows came (the staging table's own row order).
    std::string names;
    for (const auto& c : columns)
        names += (names.empty() ? "" : ", ") + c;
    const std::string stage = "push_" + table.substr(table.find('.') + 1);
    Exec("CREATE TEMP TABLE " + stage + " ON COMMIT DROP AS SELECT " + names + " FROM " + table + " WITH NO DATA");
    Copy(stage, columns, rows);
    const auto inserted = Exec("WITH i AS (INSERT INTO " + table + " (" + names + ") SELECT " + names + " FROM " + stage +
                               " ORDER BY ctid ON CONFLICT (" + key + ") DO NOTHING RETURNING 1) SELECT count(*) FROM i");
    return std::stoul(inserted.at(0).at(0).value_or("0"));
}

size_t TTeamDb::InOneTransaction(const std::function<size_t()>& work)
{
    Exec("BEGIN");
    try {
        const size_t n = work();
        Exec("COMMIT");
        return n;
    } catch (...) {
        if (Alive()) {
            const TWatch::TCall call(*watch_);
            PQclear(PQexec(conn_, "ROLLBACK"));
        }
        throw;
    }
}
