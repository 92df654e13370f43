// The team's PostgreSQL server, through libpq: one connection with a connect time-out and TCP
// keepalives (teamdb.cpp), the schema's numbered migrations and the PCs' roles (schema.cpp), the
// number book's calls (book.cpp) and the department's history (history.cpp). Plain C++ (no Qt);
// only service/ uses it, and no face speaks SQL.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

struct pg_conn;

// The server could not be reached, refused us, or failed a call: libpq's own words.
struct ETeamError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// What was asked cannot be done as asked (a name that is no PC's, a password in a connection
// string): the asker's to mend, not the server's.
struct ETeamRefusal : ETeamError {
    using ETeamError::ETeamError;
};

class TTeamDb {
public:
    struct TRow;
    // Connects: libpq's conventions apply (PG* variables, the password file, the service file,
    // sslmode); a connect time-out of 5 s and TCP keepalives unless the string says otherwise.
    explicit TTeamDb(const std::string& conninfo);
    ~TTeamDb();
    TTeamDb(const TTeamDb&) = delete;
    TTeamDb& operator=(const TTeamDb&) = delete;

    // ETeamError when the string is not a connection string or holds a password (passwords
    // belong in libpq's password file, never in our settings).
    static void CheckConnInfo(const std::string& conninfo);
    bool Alive() const;  // the connection still stands
    std::string Where() const;  // "db.example:5432/zenda as pc_line1"

    // ---- the administrator's
    // Creates or upgrades the schema and the PCs' group role, in one transaction; the
    // migrations applied now (empty: it was up to date).
    // restored: the grants, policies and row-level security of the PCs' group role that were
    // missing (a restore into a cluster without the roles) and were put back.
    std::vector<int> Setup(std::vector<std::string>* restored = nullptr);
    static int SchemaVersion();  // the newest migration this program knows
    // A login role for one PC in the group, with a new random password (sent to the server
    // only as a SCRAM verifier); the password. renewed: the PC was there, and its old password
    // no longer works. A role that is not a PC made so is refused.
    std::string AddPc(const std::string& name, bool& renewed);
    static void CheckPcName(const std::string& name);  // ETeamError when it cannot be one
    // The department whose lines, backups and protocols the PC reads (and its own go to); ""
    // is the department of every PC given none.
    void SetDepartment(const std::string& pc, const std::string& department);
    static void CheckDepartment(const std::string& department);  // ETeamError when it cannot be one

    // Every PC this database knows: pc, department, last greeting (ISO 8601), last line
    // received, lines held, numbers in hand (taken or begun), connected now ("t"), may log in ("t").
    std::vector<TRow> Pcs();
    // Ends a PC: its login and its sessions, its begun numbers spoiled, its taken ones freed,
    // its department forgotten; its records stay. The sessions ended (-1: this role may not end
    // them). ETeamError when the name is no PC's (a person's role, the owner's, none).
    int RemovePc(const std::string& name);
    // A PC under a new name: its password, department, records and numbers go with it.
    void RenamePc(const std::string& from, const std::string& to);
    // How this connection goes: over TLS, the server's name verified (sslmode=verify-full).
    struct TLink {
        bool tls = false, verified = false;
        bool local = false;  // over the server's own socket: no network
        std::string sslmode;
    };
    TLink Link();

    // ---- a station's: the book of factory numbers
    // This session's token: an advisory lock held while the session lives, the sign that its
    // numbers are in live hands.
    int64_t Hello();
    std::optional<int> Take(int64_t token, std::vector<int> plan);
    void Begin(int64_t token, int serial);
    void Finish(int64_t token, int serial, bool done);
    void Release(int64_t token, int serial);
    void MarkUsed(const std::map<int, bool>& doneBySerial);
    std::set<int> Used(const std::vector<int>& serials);

    // ---- a server that went back in time
    // What a PC remembers of a server, and what the server says at each connection: its
    // identity, its generation (one more each time it was found to have gone back), this PC's
    // connections counted there, the PCs the book still waits for ("a, b"; empty: none), when
    // and why it last went back.
    struct TServer {
        std::string id;
        int generation = 0;
        int64_t greets = 0;
        std::string awaited, wentBack, why;
    };
    // A PC's first call on a connection: the server compares what the PC remembers with what
    // it holds (and its own make-up) and finds so whether it went back.
    TServer Greet(const TServer& known);
    // The numbers this PC's records show used: kept in the book; the book waits for it no more.
    void Tell(const std::map<int, bool>& doneBySerial);
    // Whether the server holds this PC's journal line by its identity.
    bool Holds(const std::string& lineId);
    // The server's state (greets 0; empty before the schema knew it); lookBack (the
    // administrator's): whether it was made anew from a dump or a base backup is looked at first.
    TServer Server(bool lookBack = false);
    // The administrator's: the PCs the book waits for no longer; the names it was not waiting for.
    std::vector<std::string> Resume(const std::vector<std::string>& pcs);

    // ---- every PC's journal
    // One journal line as the server keeps it, its values in Columns()' order (null: none).
    struct TJournalRow {
        static const std::vector<std::string>& Columns();
        std::vector<std::optional<std::string>> values;
    };
    // A backup file the lines name: its SHA-256 (hex), its name on the PC, its text.
    struct TBackupRow {
        std::string sha256, name, content;
    };
    // Sends the lines and their backups in one transaction; what the server holds already is
    // skipped. How many lines were new there.
    size_t PushJournal(const std::vector<TJournalRow>& rows, const std::vector<TBackupRow>& backups = {});
    // A protocol's PDF: its values in Columns()' order (pdf as bytea's hex input, "\\x...").
    struct TProtocolRow {
        static const std::vector<std::string>& Columns();
        std::vector<std::optional<std::string>> values;
    };
    // Sends protocols in one transaction; those the server holds (by PC and name) are skipped.
    size_t PushProtocols(const std::vector<TProtocolRow>& rows);
    // A PC's protocol as "SHA256:HEX" (the caller checks the one against the other); none when
    // the server has no such protocol.
    std::optional<std::string> Protocol(const std::string& pc, const std::string& name);
    // A backup's text by its SHA-256, as the server keeps it (the caller checks it); none when
    // the server has no such backup.
    std::optional<std::string> Backup(const std::string& sha256);
    // Every PC's lines, newest first, of one device (the number it said or was given) or all:
    // pc, engineer, time, action, port, model, serial, address, outcome, changes, backup, traffic,
    // written, action_id, line_id, backup_sha256, mine ("t": this role's), protocol (the name of
    // that PC's newest protocol of the line, or null), seq (the order it arrived in). A line whose
    // outcome is begun is hidden by its action's end.
    // A row at a time as the server sends them, until each says false; limit 0: all.
    void TeamJournal(const std::optional<int>& serial, int limit, const std::string& begun,
                     const std::function<bool(const TRow&)>& each);
    // Where a reader of the department's writes stands: a row's arrival (the server's text of
    // it, empty: before all) and its order there.
    struct TArrival {
        std::string received;
        int64_t seq = 0;
    };
    // The department's done writes (this PC's too) that arrived after that point, in arrival
    // order, at most limit: received, seq, the device's number after the write, pc, engineer,
    // time, action, where a reader may stand after this row so as to miss none that commits later
    // (received, seq), mine ("t": this PC's), the action's identity.
    std::vector<TRow> Writes(const TArrival& after, int limit);

    struct TRow : std::vector<std::optional<std::string>> {};
    // One statement, its parameters as text; the rows as text. ETeamError with the server's words.
    std::vector<TRow> Exec(const std::string& sql, const std::vector<std::optional<std::string>>& params = {});

private:
    // One query whose rows come one at a time (libpq's single-row mode), until each says false.
    void Each(const std::string& sql, const std::vector<std::optional<std::string>>& params,
              const std::function<bool(const TRow&)>& each);
    // COPY FROM STDIN of rows of text (null: none) into a table.
    void Copy(const std::string& table, const std::vector<std::string>& columns,
              const std::vector<std::vector<std::optional<std::string>>>& rows);
    // Rows into table (schema-qualified) through a staging table, skipping those whose key the
    // server holds; how many were new. Inside a transaction.
    size_t CopyNew(const std::string& table, const std::vector<std::string>& columns,
                   const std::vector<std::vector<std::optional<std::string>>>& rows, const std::string& key);
    // ETeamError unless the name is a role made by add-pc with no powers beyond a PC's.
    void CheckIsPc(const std::string& name);
    // BEGIN, work, COMMIT; ROLLBACK when it throws.
    size_t InOneTransaction(const std::function<size_t()>& work);
    // ETeamError with libpq's words, or the watch's when it cut the call.
    [[noreturn]] void Failed(const std::string& why);
    pg_conn* conn_ = nullptr;
    // A call the server leaves unanswered (stopped, not gone: its host's TCP still answers, so
    // keepalives see nothing) or that the user stops is cut: its socket shut, libpq's wait ended.
    class TWatch;
    std::unique_ptr<TWatch> watch_;

public:
    // Asked while a call waits: true cuts a call that has waited 2 s (Ctrl-C).
    static void StopWhen(bool (*stopped)());
};
