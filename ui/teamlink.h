// The window reaches the team's server only through zenda installed beside it, a process of its
// own: no network code in the window, and nothing on its event loop.
#pragma once

#include <QString>

// zenda's path beside this program (or in the build tree's cli/), empty when there is none.
QString ZendaProgram();
// When this user has a team's server: `zenda sync`, started and left to itself (what it cannot
// send waits for the next one).
void PushInBackground();
