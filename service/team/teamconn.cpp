// Where this user's team's server is: no network code here, so the window links none.
#include <QRegularExpression>

#include "base/refusal.h"
#include "base/settingsstore.h"
#include "team/teambook.h"
#include "team/teamsync.h"

using namespace Qt::StringLiterals;

QString SavedTeamConnInfo() { return OpenSettings()->value(u"Team/ConnInfo"_s).toString(); }

QString TeamConnInfo()
{
    if (qEnvironmentVariableIsSet("ZENDA_TEAM_DB")) {
        const QString v = qEnvironmentVariable("ZENDA_TEAM_DB");
        if (v.trimmed().isEmpty())
            throw ERefused(Z::tr("ZENDA_TEAM_DB is set and empty: give the team's server, or unset it"));
        // A password in it is refused before any connection (as `team connect` refuses to save one).
        static const QRegularExpression password(u"(^|\\s)password\\s*=|^postgres(ql)?://[^/@?]*:[^/@?]*@|[?&]password="_s);
        if (password.match(v).hasMatch())
            throw ERefused(Z::tr("the connection string holds a password: keep it in the password file (~/.pgpass, "
                                 "%APPDATA%\\postgresql\\pgpass.conf) instead"));
        return v;
    }
    const QString saved = SavedTeamConnInfo();
    if (saved.isEmpty())
        throw ERefused(Z::tr("no team's server: run 'zenda team connect CONNINFO' or set ZENDA_TEAM_DB"));
    return saved;
}

bool TeamConfigured() { return qEnvironmentVariableIsSet("ZENDA_TEAM_DB") || !SavedTeamConnInfo().isEmpty(); }
