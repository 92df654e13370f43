// The department's history: every PC's journal lines, their backups and protocols pushed once
// each; the department's writes in the order they arrived; its journal newest first.
#include "teamdb.h"

#include "internal.h"

using namespace zteam;

const std::vector<std::string>& TTeamDb::TJournalRow::Columns()
{
    static const std::vector<std::string> c = {"line_id", "at",      "time",    "action",  "port",   "model",
                                               "serial",  "address", "outcome", "changes", "backup", "traffic",
                                               "written", "action_id", "backup_sha256", "written_serial", "engineer"};
    return c;
}

size_t TTeamDb::PushJournal(const std::vector<TJournalRow>& rows, const std::vector<TBackupRow>& backups)
{
    if (rows.empty() && backups.empty())
        return 0;
    return InOneTransaction([&] {
        // The backups first: a line never names a backup the server does not have.
        std::vector<std::vector<std::optional<std::string>>> values;
        for (const TBackupRow& b : backups)
            values.push_back({b.sha256, b.name, b.content});
        if (!values.empty())
            CopyNew("zenda.backups", {"sha256", "name", "content"}, values, "sha256");
        values.clear();
        for (const TJournalRow& row : rows)
            values.push_back(row.values);
        return CopyNew("zenda.journal", TJournalRow::Columns(), values, "pc, line_id");
    });
}

const std::vector<std::string>& TTeamDb::TProtocolRow::Columns()
{
    static const std::vector<std::string> c = {"name", "number", "serial", "action", "made", "action_id", "sha256", "pdf"};
    return c;
}

size_t TTeamDb::PushProtocols(const std::vector<TProtocolRow>& rows)
{
    if (rows.empty())
        return 0;
    return InOneTransaction([&] {
        std::vector<std::vector<std::optional<std::string>>> values;
        for (const TProtocolRow& r : rows)
            values.push_back(r.values);
        return CopyNew("zenda.protocols", TProtocolRow::Columns(), values, "pc, name");
    });
}

std::optional<std::string> TTeamDb::Protocol(const std::string& pc, const std::string& name)
{
    // As hex text: the caller decodes and checks it against its SHA-256.
    const auto rows = Exec("SELECT encode(pdf, 'hex'), sha256 FROM zenda.protocols WHERE pc = $1 AND name = $2", {pc, name});
    if (rows.empty())
        return std::nullopt;
    return rows[0].at(1).value_or("") + ":" + rows[0].at(0).value_or("");
}

std::optional<std::string> TTeamDb::Backup(const std::string& sha256)
{
    const auto rows = Exec("SELECT content FROM zenda.backups WHERE sha256 = $1", {sha256});
    if (rows.empty())
        return std::nullopt;
    return rows[0].at(0);
}

bool TTeamDb::Holds(const std::string& lineId)
{
    return Exec("SELECT zenda.holds($1)", {lineId}).at(0).at(0).value_or("f") == "t";
}

std::vector<TTeamDb::TRow> TTeamDb::Writes(const TArrival& after, int limit)
{
    // Rows arrive at their transaction's start but are seen at its commit: a reader stands next
    // time no later than the server's settled point, asked before this reading's snapshot (a
    // transaction that commits between the two was open at the first, and so is read again).
    const auto settled = Exec("SELECT zenda.settled()");
    // The literals are the partial index's.
    return Exec("SELECT received, seq, coalesce(written_serial::text, serial), pc, engineer, time, action, "
                "CASE WHEN received < $4::timestamptz THEN received ELSE $4::timestamptz END, "
                "CASE WHEN received < $4::timestamptz THEN seq ELSE 0 END, pc = session_user, action_id "
                "FROM zenda.journal "
                "WHERE (received, seq) > ($1::timestamptz, $2::bigint) "
                "AND outcome = 'выполнено' AND action IN ('init', 'rtc', 'counters', 'restore') "
                "ORDER BY received, seq LIMIT $3",
                {after.received.empty() ? std::string("-infinity") : after.received, Number(after.seq), Number(limit),
                 settled.at(0).at(0)});
}

void TTeamDb::TeamJournal(const std::optional<int>& serial, int limit, const std::string& begun,
                          const std::function<bool(const TRow&)>& each)
{
    // One device's lines: the number it said, or the one a line gave it; two index scans (an OR
    // of the two would read every line of the department).
    const std::string lines =
        serial ? "(SELECT * FROM zenda.journal WHERE serial = $3::text UNION ALL "
                 "SELECT * FROM zenda.journal WHERE written_serial = $3::integer AND serial <> $3::text)"
               : "zenda.journal";
    // Newest first; a write's begun line is hidden by its end, as in a PC's own journal.
    const std::string sql =
        "SELECT j.pc, j.engineer, j.time, j.action, j.port, j.model, j.serial, j.address, j.outcome, j.changes, "
        "j.backup, j.traffic, j.written, j.action_id, j.line_id, j.backup_sha256, j.pc = session_user, "
        "(SELECT p.name FROM zenda.protocols p WHERE j.action_id <> '' AND p.pc = j.pc AND p.action_id = j.action_id "
        "AND j.outcome <> $1 ORDER BY p.made DESC LIMIT 1), j.seq "
        "FROM " + lines + " j "
        "WHERE NOT (j.action_id <> '' AND j.outcome = $1 AND EXISTS (SELECT 1 FROM zenda.journal e "
        "WHERE e.pc = j.pc AND e.action_id = j.action_id AND e.line_id <> j.line_id)) "
        "ORDER BY j.at DESC NULLS LAST, j.seq DESC LIMIT $2";
    std::vector<std::optional<std::string>> params = {begun, limit > 0 ? std::optional(Number(limit)) : std::nullopt};
    if (serial)
        params.push_back(Number(*serial));
    Each(sql, params, each);
}
