// A PC's connection to the team's server, greeted: the server is asked whether it went back in
// time (restored from yesterday's dump or a base backup, or the PC pointed at another server).
// When it did, or it does not know this PC, the PC tells the numbers its own records show used
// (the ledger and the journal) before anything else, and its journal is sent whole again (by
// the push, which asks whether the server holds its last line). Only the push and the book use it.
#pragma once

#ifdef ZENDA_TEAM
#include <QString>

#include <memory>

#include "teamdb.h"

struct TGreeting {
    bool told = false;      // this PC's numbers were told now
    qsizetype numbers = 0;  // how many
    QString wentBack;       // why the server went back, when it did since this PC last saw it
    QString awaited;        // the PCs the book still waits for ("a, b")
};
// Connects and greets; std::runtime_error with the reason when the server cannot be reached or
// says no.
std::unique_ptr<TTeamDb> TeamConnect(const QString& conninfo, TGreeting* greeting = nullptr);
#endif
