// Every PC's journal on the team's server. Each action is done and journaled here first, as
// always; this PC's new lines follow to the server afterwards (what is unsent survives restarts:
// how far the journal was sent is noted only after the server committed it, and a line sent twice
// is kept once there). The department's lines are read back by device.
#pragma once

#include <QString>

#include <functional>
#include <vector>

#include "records/records.h"

// Whether this user has a team's server at all (a saved connection or ZENDA_TEAM_DB set).
bool TeamConfigured();

struct TPushResult {
    qsizetype sent = 0;     // lines sent now
    qsizetype fresh = 0;    // of them, new on the server (the rest it held already)
    qsizetype waiting = 0;  // lines still to send
    bool busy = false;      // another program of this PC is sending: nothing was done
    qsizetype protocols = 0;  // protocols (PDF) sent now
    qsizetype heard = 0;      // other PCs' writes read back now (what this PC knows of them)
    QString unheard;          // why they could not be read back (all was sent all the same)
    qsizetype damaged = 0;    // of the lines sent, damaged ones (a NUL byte): sent as damaged, escaped
    // The server had gone back in time (restored, or another server) since this PC last saw it:
    bool resent = false;  // it did not hold this PC's lines: the whole journal was sent again
    qsizetype told = -1;  // this PC's used numbers told to its book now (-1: none was asked)
    QString wentBack;     // why, as the server says, when it went back
    QString awaited;      // the PCs its book still waits for ("a, b"): it gives no number until they tell
};
// Sends the journal's lines not yet sent, then the protocols (PDF) of the protocols folder; then
// reads the other PCs' writes since the last time into what this PC knows (teamnews.h).
// std::runtime_error with the reason when the server cannot be reached or refuses; then nothing
// of that batch counts as sent.
TPushResult TeamPush(const QString& conninfo);
// The lines this PC has not sent yet (a count of the journal past the noted point).
qsizetype TeamWaiting();

// One line of the department's journal: the PC that wrote it and its user.
struct TTeamLine {
    QString pc, engineer;
    TJournalLine line;
    QString backupSha;  // the backup's on the server (SHA-256, hex), empty when it has none
    bool mine = false;  // written by this PC
    QString protocol;   // the name of that PC's protocol of the line on the server, or empty
    qint64 seq = 0;     // the server's order of arrival
};
// Newest first, a line at a time as the server sends them until each says false (a million lines
// are never held whole); of one device (the number it said or was given) when serial is not
// empty; at most limit (0: all).
void TeamJournal(const QString& conninfo, const QString& serial, int limit, const std::function<bool(const TTeamLine&)>& each);
// A PC's protocol (PDF) from the server, checked against its SHA-256 (ERefused when the server
// has none or its copy does not match).
QByteArray TeamProtocol(const QString& conninfo, const QString& pc, const QString& name);
// A backup's file from the server, checked against its SHA-256 (ERefused when the server has
// none or its copy does not match); it is then read and restored as any backup file.
QByteArray TeamBackup(const QString& conninfo, const QString& sha256);
