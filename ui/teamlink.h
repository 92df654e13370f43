// The window reaches the team's server only through zenda installed beside it, a process of its
// own: no network code in the window, and nothing on its event loop.
#pragma once

class QObject;
class QProcess;

#include <QString>

// zenda's path beside this program (or in the build tree's cli/), empty when there is none.
QString ZendaProgram();
// When this user has a team's server: `zenda sync`, started and left to itself (what it cannot
// send waits for the next one).
void PushInBackground();
// A question to zenda whose answer receiver no longer wants: ended now, and freed once it has
// ended (a QProcess destroyed while its program runs warns, waits and leaves a zombie).
void Abandon(QProcess* p, QObject* receiver);
// The same when receiver itself goes: ended and waited for at once.
void EndNow(QProcess* p);
