// team: the team's server, which the station PCs of a line share their factory numbers on:
// the connection this user's zenda uses, the administrator's set-up, and a role for each PC.
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

#include "program.h"
#include "teambook.h"
#include "teamsync.h"

using namespace Qt::StringLiterals;

int TeamCommand(const TGlobal& g, const QStringList& args)
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
        try {
            where = TeamCheck(args[1]);
        } catch (const std::exception& e) {
            why = QString::fromUtf8(e.what());
        }
        return say({{u"ok"_s, true}, {u"saved"_s, args[1]}, {u"reached"_s, why.isEmpty()},
                    {why.isEmpty() ? u"server"_s : u"error"_s, why.isEmpty() ? where : why}},
                   Z::tr("saved for this user: %1\n%2")
                       .arg(args[1], why.isEmpty() ? Z::tr("reached: %1").arg(where)
                                                   : Z::tr("not reached now: %1").arg(why)));
    }
    if (what == u"status") {
        takes(0, u"status"_s);
        const QString conninfo = TeamConnInfo();
        const QString where = TeamCheck(conninfo);
        return say({{u"ok"_s, true}, {u"conninfo"_s, conninfo}, {u"server"_s, where}}, where);
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
                    {u"renewed"_s, r.renewed}},
                   (r.renewed ? Z::tr("%1 was a PC already: its old password no longer works.\n").arg(args[1]) : QString()) +
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
                         "resume PC... | fetch SHA256 FILE | protocol PC NAME FILE"));
}
