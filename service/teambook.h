// The team's server for the faces: its connection string (saved per user, or ZENDA_TEAM_DB),
// the administrator's set-up, a PC's role, and the number book that several station PCs share.
// The faces never see SQL or libpq: only these.
#pragma once

#include <optional>

#include <QString>
#include <QStringList>

#include <memory>

#include "numberbook.h"

// The connection string: ZENDA_TEAM_DB when set, else the one `zenda team connect` saved.
// ERefused when there is none, or ZENDA_TEAM_DB is set and empty (an unset variable in a script).
QString TeamConnInfo();
QString SavedTeamConnInfo();
// Checks (no password in it) and saves it for this user; ERefused when it is not one.
void SaveTeamConnInfo(const QString& conninfo);

// Connects once to say where it is and how far its schema is: "db:5432/zenda as pc1, schema 1
// of 1". std::runtime_error with libpq's words when it cannot.
QString TeamCheck(const QString& conninfo);
// Creates or upgrades the schema and the PCs' group role; what was done.
QString TeamSetup(const QString& conninfo);
// A login role for a PC; its password and the connection string that PC saves.
struct TPcRole {
    QString password, conninfo, passfileLine;
    bool renewed = false;  // the PC was there: its old password no longer works
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
