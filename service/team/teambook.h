// The team's server for the faces: its connection string (saved per user, or ZENDA_TEAM_DB),
// the administrator's set-up, a PC's role, and the number book that several station PCs share.
// The faces never see SQL or libpq: only these.
#pragma once

#include <optional>

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "numbers/numberbook.h"

// The connection string: ZENDA_TEAM_DB when set, else the one `zenda team connect` saved.
// ERefused when there is none, or ZENDA_TEAM_DB is set and empty (an unset variable in a script).
QString TeamConnInfo();
QString SavedTeamConnInfo();
// Checks (no password in it) and saves it for this user; ERefused when it is not one.
void SaveTeamConnInfo(const QString& conninfo);

// Connects once to say where it is and how far its schema is: "db:5432/zenda as pc1, schema 1
// of 1", this PC's department, whether the connection is encrypted and the server's name
// verified, and a book waiting after a restore. std::runtime_error with libpq's words when it cannot.
struct TTeamStatus {
    QString where;
    int version = 0, latest = 0;  // the server's schema, this program's newest
    bool isPc = false;            // the connection's role is one of the team's PCs
    QString department;           // a PC's: the one whose records it reads ("" none)
    bool local = false;  // over the server's own socket (the administrator's, on the server)
    bool tls = false, verified = false;
    QString sslmode;
    QString awaited;  // the book's wait after the server went back, said whole (empty: none)
    QString Text() const;
};
TTeamStatus TeamStatus(const QString& conninfo);
QString TeamCheck(const QString& conninfo);  // TeamStatus(...).Text()
// The administrator's: every PC the database knows, as an administrator watches them.
struct TPcState {
    QString pc, department, seen, lastLine;  // seen: its last connection; lastLine: its newest line's arrival
    qint64 lines = 0, inHand = 0;            // lines the server holds from it; numbers taken or begun
    bool connected = false, login = false;   // connected now; may log in
};
std::vector<TPcState> TeamPcs(const QString& conninfo);
// Ends a PC (login and sessions; begun numbers spoiled, taken ones freed; records kept); the
// sessions ended (-1: the administrator may not end them). ERefused for a name that is no PC's.
int TeamRemovePc(const QString& conninfo, const QString& name);
// A PC under a new name, with its password, department, records and numbers.
void TeamRenamePc(const QString& conninfo, const QString& from, const QString& to);
// Creates or upgrades the schema and the PCs' group role; what was done.
QString TeamSetup(const QString& conninfo);
// A login role for a PC; its password and the connection string that PC saves.
struct TPcRole {
    QString password, conninfo, passfileLine;
    bool renewed = false;  // the PC was there: its old password no longer works
    QString department;    // the one it is in now ("" none)
};
// department: the one whose records the PC reads (null: as it was; "" for a new one).
TPcRole TeamAddPc(const QString& conninfo, const QString& name, const std::optional<QString>& department = {});
// After the server went back in time: the book gives numbers without waiting for these PCs to
// tell theirs (the administrator's word that they wrote none since). unknown: the names it was
// not waiting for; awaited: the PCs it still waits for ("a, b").
struct TResumed {
    QStringList unknown;
    QString awaited;
};
TResumed TeamResume(const QString& conninfo, const QStringList& pcs);
// Moves a PC to a department ("": the department of every PC given none).
void TeamSetDepartment(const QString& conninfo, const QString& pc, const QString& department);
// Asked while the server is waited for and between a push's chunks: true (Ctrl-C) ends the
// wait within 2 s and the push before its next chunk.
void TeamStopWhen(bool (*stopped)());
bool TeamStopped();

// The shared book on the server: connects when first asked, and again after the connection
// is lost (its numbers in hand are then free again, its begun ones spoiled, by the server).
std::unique_ptr<TSharedNumbers> TeamNumbers(const QString& conninfo);
