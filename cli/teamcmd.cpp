// team: the team's server, which the station PCs of a line share their factory numbers on:
// the connection this user's zenda uses, the administrator's set-up, and a role for each PC.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <string_view>

#include "program.h"
#include "team/teambook.h"
#include "team/teamsync.h"

using namespace Qt::StringLiterals;

namespace {
int TeamCommandAsked(const TGlobal& g, const QStringList& args)
{
    const QString what = args.value(0);
    auto say = [&](const QJsonObject& o, const QString& text) {
        if (g.json)
            std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
        else
            std::printf("%s\n", text.toUtf8().constData());
        return kDone;
    };
    auto takes = [&](int n, const QString& usage) {
        if (args.size() != n + 1)
            throw ERefused(Z::tr("usage: zenda team %1").arg(usage));
    };
    if (what == u"connect") {
        takes(1, u"connect CONNINFO"_s);
        SaveTeamConnInfo(args[1]);
        // Saved either way: a PC set up before the server is may connect later.
        QString where, why;
        bool verified = false;
        try {
            const TTeamStatus st = TeamStatus(args[1]);
            where = st.Text();
            verified = st.verified;
        } catch (const std::exception& e) {
            why = QString::fromUtf8(e.what());
        }
        // Below verify-full a server that only claims the name would be given the password.
        if (why.isEmpty() && !verified && !args[1].contains(u"host=/"_s))
            std::fprintf(stderr, "zenda: %s\n",
                         Z::tr("warning: the server's name is not verified: add sslmode=verify-full and the server's "
                               "certificate authority (~/.postgresql/root.crt)")
                             .toUtf8()
                             .constData());
        return say({{u"ok"_s, true}, {u"saved"_s, args[1]}, {u"reached"_s, why.isEmpty()}, {u"verified"_s, verified},
                    {why.isEmpty() ? u"server"_s : u"error"_s, why.isEmpty() ? where : why}},
                   Z::tr("saved for this user: %1\n%2")
                       .arg(args[1], why.isEmpty() ? Z::tr("reached: %1").arg(where)
                                                   : Z::tr("not reached now: %1").arg(why)));
    }
    if (what == u"status") {
        takes(0, u"status"_s);
        const QString conninfo = TeamConnInfo();
        const TTeamStatus st = TeamStatus(conninfo);
        QJsonObject o{{u"ok"_s, true},          {u"conninfo"_s, conninfo},  {u"server"_s, st.where},
                      {u"schema"_s, st.version}, {u"latest"_s, st.latest},  {u"tls"_s, st.tls},
                      {u"verified"_s, st.verified}, {u"sslmode"_s, st.sslmode}, {u"pc"_s, st.isPc}};
        if (st.isPc)
            o[u"department"_s] = st.department;
        if (!st.awaited.isEmpty())
            o[u"awaited"_s] = st.awaited;
        return say(o, st.Text());
    }
    if (what == u"pcs") {  // the administrator's: every PC, as one watches them
        takes(0, u"pcs"_s);
        const std::vector<TPcState> pcs = TeamPcs(TeamConnInfo());
        if (g.json) {
            QJsonArray a;
            for (const TPcState& p : pcs)
                a.append(QJsonObject{{u"pc"_s, p.pc},           {u"department"_s, p.department}, {u"seen"_s, p.seen},
                                     {u"last_line"_s, p.lastLine}, {u"lines"_s, p.lines},      {u"in_hand"_s, p.inHand},
                                     {u"connected"_s, p.connected}, {u"login"_s, p.login}});
            return say({{u"ok"_s, true}, {u"pcs"_s, a}}, {});
        }
        QString t = Z::tr("PC, department, connected now, last connection, newest line arrived, lines on the server, "
                          "numbers in hand");
        for (const TPcState& p : pcs)
            t += u'\n' + OnOneLine(p.pc) + u"  "_s + (p.department.isEmpty() ? u"-"_s : OnOneLine(p.department)) +
                 u"  "_s + (!p.login ? Z::tr("no login") : p.connected ? Z::tr("connected") : Z::tr("not connected")) +
                 u"  "_s + (p.seen.isEmpty() ? u"-"_s : p.seen) + u"  "_s + (p.lastLine.isEmpty() ? u"-"_s : p.lastLine) +
                 u"  "_s + QString::number(p.lines) + u"  "_s + QString::number(p.inHand);
        return say({}, t);
    }
    if (what == u"remove-pc") {  // the administrator's: a PC's login ends, its records stay
        takes(1, u"remove-pc NAME"_s);
        const int ended = TeamRemovePc(TeamConnInfo(), args[1]);
        return say({{u"ok"_s, true}, {u"pc"_s, args[1]}, {u"sessions_ended"_s, ended}},
                   Z::tr("the PC %1 can no longer log in; its begun numbers are spoiled, its taken ones free again; its "
                         "records stay%2")
                       .arg(args[1], ended < 0 ? Z::tr(" (its open connections end when that PC ends them: this role "
                                                       "may not end them)")
                                     : ended > 0 ? Z::tr(" (%1 open connections ended)").arg(ended)
                                                 : QString()));
    }
    if (what == u"rename") {  // the administrator's: a PC under a new name
        takes(2, u"rename NAME NEW-NAME"_s);
        TeamRenamePc(TeamConnInfo(), args[1], args[2]);
        return say({{u"ok"_s, true}, {u"pc"_s, args[2]}, {u"was"_s, args[1]}},
                   Z::tr("the PC %1 is now %2, with its password, department, records and numbers. On that PC: put %2 "
                         "for %1 in its password file line, and run zenda team connect with user=%2")
                       .arg(args[1], args[2]));
    }
    if (what == u"setup") {
        takes(0, u"setup"_s);
        const QString done = TeamSetup(TeamConnInfo());
        return say({{u"ok"_s, true}, {u"message"_s, done}}, done);
    }
    if (what == u"department") {  // the administrator's: which department's records a PC reads
        takes(2, u"department PC DEPARTMENT"_s);
        const QString department = args[2].trimmed();  // a pasted space must not make a department of its own
        TeamSetDepartment(TeamConnInfo(), args[1], department);
        return say({{u"ok"_s, true}, {u"pc"_s, args[1]}, {u"department"_s, department}},
                   department.isEmpty() ? Z::tr("the PC %1 reads the records of the PCs of no department").arg(args[1])
                                        : Z::tr("the PC %1 reads the records of department %2 only").arg(args[1], department));
    }
    if (what == u"add-pc") {
        if (args.size() != 2 && args.size() != 3)
            throw ERefused(Z::tr("usage: zenda team %1").arg(u"add-pc NAME [DEPARTMENT]"_s));
        const TPcRole r =
            TeamAddPc(TeamConnInfo(), args[1], args.size() == 3 ? std::optional<QString>(args[2].trimmed()) : std::nullopt);
        return say({{u"ok"_s, true},
                    {u"pc"_s, args[1]},
                    {u"password"_s, r.password},
                    {u"conninfo"_s, r.conninfo},
                    {u"passfile"_s, r.passfileLine},
                    {u"renewed"_s, r.renewed},
                    {u"department"_s, r.department}},
                   (r.renewed ? Z::tr("%1 was a PC already: its old password no longer works.\n").arg(args[1]) : QString()) +
                   (r.department.isEmpty() ? Z::tr("department: none (it reads the records of the PCs of no department)\n")
                                           : Z::tr("department: %1\n").arg(r.department)) +
                   Z::tr("the PC %1 may now take numbers. On that PC:\n"
                         "  1. put this line into its password file (~/.pgpass, mode 0600; on Windows "
                         "%APPDATA%\\postgresql\\pgpass.conf):\n     %2\n"
                         "  2. give it the server's certificate authority (~/.postgresql/root.crt; on Windows "
                         "%APPDATA%\\postgresql\\root.crt)\n"
                         "  3. run: zenda team connect '%3'\n"
                         "The password is shown this once.")
                       .arg(args[1], r.passfileLine, r.conninfo));
    }
    if (what == u"resume") {  // the administrator's: the book goes on without the PCs named
        if (args.size() < 2) {  // which PCs it waits for, and nothing done
            const QString where = TeamCheck(TeamConnInfo());
            throw ERefused(Z::tr("usage: zenda team %1").arg(u"resume PC..."_s) + u"\n"_s + where);
        }
        const TResumed r = TeamResume(TeamConnInfo(), args.mid(1));
        if (!r.unknown.isEmpty())
            throw ERefused(r.awaited.isEmpty()
                               ? Z::tr("the number book was not waiting for %1: it waits for no PC").arg(r.unknown.join(u", "_s))
                               : Z::tr("the number book was not waiting for %1; it waits for: %2")
                                     .arg(r.unknown.join(u", "_s), r.awaited));
        return say({{u"ok"_s, true}, {u"awaited"_s, r.awaited}},
                   r.awaited.isEmpty() ? Z::tr("the number book gives numbers again")
                                       : Z::tr("the number book still waits for: %1").arg(r.awaited));
    }
    if (what == u"fetch") {  // a backup from the server into a file of its own, checked first
        takes(2, u"fetch SHA256 FILE"_s);
        const QByteArray bytes = TeamBackup(TeamConnInfo(), args[1].trimmed().toLower());
        TImageBuffer image;
        QString error;
        if (!TServiceRecords::ParseImage(bytes, image, error))
            throw ERefused(args[1] + u": "_s + Human(error));
        try {
            SaveFileAs(args[2], bytes);
        } catch (const std::exception& e) {
            throw ERefused(Human(QString::fromUtf8(e.what())));
        }
        return say({{u"ok"_s, true}, {u"file"_s, args[2]}}, Z::tr("backup %1 saved as %2").arg(args[1], args[2]));
    }
    if (what == u"protocol") {  // a PC's protocol from the server into a file of its own
        takes(3, u"protocol PC NAME FILE"_s);
        const QByteArray pdf = TeamProtocol(TeamConnInfo(), args[1], args[2]);
        try {
            SaveFileAs(args[3], pdf);
        } catch (const std::exception& e) {
            throw ERefused(Human(QString::fromUtf8(e.what())));
        }
        return say({{u"ok"_s, true}, {u"file"_s, args[3]}}, Z::tr("protocol %1 of %2 saved as %3").arg(args[2], args[1], args[3]));
    }
    throw ERefused(Z::tr("team: connect CONNINFO | status | setup | add-pc NAME [DEPARTMENT] | department PC DEPARTMENT | "
                         "pcs | remove-pc NAME | rename NAME NEW-NAME | resume PC... | fetch SHA256 FILE | protocol PC NAME FILE"));
}
}  // namespace

int TeamCommand(const TGlobal& g, const QStringList& args)
{
    static const QStringList administrators = {u"setup"_s, u"add-pc"_s, u"department"_s, u"pcs"_s,
                                               u"remove-pc"_s, u"rename"_s, u"resume"_s};
    try {
        return TeamCommandAsked(g, args);
    } catch (const ERefused&) {
        throw;
    } catch (const std::runtime_error& e) {
        // A PC's role is refused the administrator's tables: said whose command it is.
        if (!administrators.contains(args.value(0)) || std::string_view(e.what()).find("permission denied") == std::string_view::npos)
            throw;
        throw std::runtime_error(std::string(e.what()) + "; " +
                                 Z::tr("this is the administrator's command: run it with the database owner's "
                                       "connection (docs/ADMIN.md)")
                                     .toStdString());
    }
}
