#include "team/teamsync.h"

#include <QCryptographicHash>
#include <QDir>
#include <QHash>
#include <QSet>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "records/durable.h"
#include "base/refusal.h"
#include "team/teambook.h"
#include "team/teamnews.h"
#ifdef ZENDA_TEAM
#include "teamdb.h"
#include "team/teamgreet.h"
#endif
#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {
QString StatePath() { return DataFolder() + u"/team-sync.state"_s; }

// How far the journal was sent: a byte offset, and a hash of the bytes just before it. A journal
// moved away and begun anew, or rewritten, does not match, and is sent from its start again (the
// server keeps each line once).
struct TSent {
    qint64 offset = 0;
    QByteArray tail;
};

QByteArray TailHash(QFile& f, qint64 offset)
{
    const qint64 from = std::max<qint64>(0, offset - 64);
    if (!f.seek(from))
        return {};
    return QCryptographicHash::hash(f.read(offset - from), QCryptographicHash::Sha256).toHex().left(32);
}

TSent LoadSent(QFile& journal)
{
    TSent s;
    QFile f(StatePath());
    if (f.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> parts = f.readAll().trimmed().split(' ');
        if (parts.size() == 2) {
            s.offset = parts[0].toLongLong();
            s.tail = parts[1];
        }
    }
    if (s.offset <= 0 || s.offset > journal.size() || TailHash(journal, s.offset) != s.tail)
        return {};
    return s;
}

// Lines past the offset, whole ones only (a line being appended waits for the next push).
qsizetype CountLines(QFile& journal, qint64 offset)
{
    qsizetype n = 0;
    journal.seek(offset);
    while (!journal.atEnd()) {
        const QByteArray chunk = journal.read(1 << 20);
        n += chunk.count('\n');
    }
    return n;
}

#ifdef ZENDA_TEAM
// Who is at this PC: the login name (a service started without USER still has one).
QString UserName()
{
    for (const char* v : {"USER", "USERNAME", "LOGNAME"})
        if (const QString name = qEnvironmentVariable(v); !name.isEmpty())
            return name;
#ifndef _WIN32
    if (const passwd* pw = getpwuid(geteuid()))
        return QString::fromLocal8Bit(pw->pw_name);
#endif
    return {};
}

void SaveSent(const TSent& s)
{
    durable::ReplaceWhole(StatePath(), QByteArray::number(s.offset) + ' ' + s.tail + '\n');
}

// A line's identity: its action's and whether it is the write's begun line (an action journals at
// most these two); else, for lines from before identities were kept, a hash of where the line
// stands and what it says, the same at every reading of a journal that is only appended to.
std::string LineId(const TJournalLine& l, qint64 at, const QByteArray& raw)
{
    static const QRegularExpression hex(u"^[0-9a-f]{16,60}$"_s);
    if (hex.match(l.id).hasMatch())
        return (l.id + (l.outcome == TServiceRecords::kBegun ? u"-b"_s : u"-e"_s)).toStdString();
    // Appended, not "h" + a temporary: GCC 12 at -O3 warns falsely of that.
    std::string id = "h";
    id += QCryptographicHash::hash(QByteArray::number(at) + ':' + raw, QCryptographicHash::Sha256).toHex().left(40).toStdString();
    return id;
}

// A line as it is sent: one with a NUL byte (zeros a power cut left) as damaged, its text kept
// and shown escaped.
TJournalLine SentLine(const QByteArray& raw, const QString& text)
{
    if (raw.contains('\0'))
        return TServiceRecords::DamagedLine(OnOneLine(text.left(200), true));
    return TServiceRecords::ParseJournalLine(text);
}

// Whether the server holds the last line before offset, the last one this PC noted as sent.
bool Holds(TTeamDb& db, QFile& journal, qint64 offset)
{
    const qint64 from = std::max<qint64>(0, offset - (64 << 10));
    if (!journal.seek(from))
        return false;
    const QByteArray bytes = journal.read(offset - from);
    qsizetype end = bytes.size();
    while (end > 0) {
        const qsizetype start = end >= 2 ? bytes.lastIndexOf('\n', end - 2) + 1 : 0;
        const QByteArray raw = bytes.mid(start, end - 1 - start);
        const QString text = QString::fromUtf8(raw).trimmed();
        const qint64 lineAt = from + start;
        if (start == 0 && from > 0)
            return true;  // a line longer than what was read back: no way to ask for it
        if (!text.isEmpty() && !(lineAt == 0 && text.startsWith(u"time,action,"_s))) {
            try {
                return db.Holds(LineId(SentLine(raw, text), lineAt, raw));
            } catch (const ETeamError& e) {
                throw std::runtime_error(e.what());
            }
        }
        end = start;
    }
    return true;  // nothing but the header was sent
}

// The backup a line names, when it is still here: its SHA-256, the file queued to go with it.
std::string BackupOf(const TJournalLine& l, std::vector<TTeamDb::TBackupRow>& backups)
{
    if (l.backup.isEmpty() || l.backup.contains(u".."_s))
        return {};
    QFile f(DataFolder() + u'/' + l.backup);
    if (!QFileInfo(f).isFile() || f.size() > TServiceRecords::kImageFileMax || !f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray content = f.readAll();
    const std::string sha = QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex().toStdString();
    backups.push_back({sha, l.backup.toStdString(), content.toStdString()});
    return sha;
}

TTeamDb::TJournalRow Row(const TJournalLine& l, const std::string& id, const std::string& engineer,
                         const std::string& backupSha)
{
    // The server's text holds no NUL: one (zeros a power cut left) is sent shown as \x00.
    auto text = [](const QString& v) { return std::optional<std::string>(QString(v).replace(QChar(0), u"\\x00"_s).toStdString()); };
    const QDateTime at = QDateTime::fromString(l.time, Qt::ISODate);
    const QString written = l.WrittenSerial();
    bool isNumber = false;
    const int writtenSerial = written.toInt(&isNumber);
    TTeamDb::TJournalRow r;
    r.values = {id,
                at.isValid() ? text(at.toUTC().toString(Qt::ISODate)) : std::nullopt,
                text(l.time),
                text(l.action),
                text(l.port),
                text(l.model),
                text(l.serial),
                text(l.address),
                text(l.outcome),
                text(l.changes.join(u'\n')),
                text(l.backup),
                text(l.traffic),
                text(l.written),
                text(l.id),
                backupSha,
                isNumber ? std::optional<std::string>(std::to_string(writtenSerial)) : std::nullopt,
                engineer};
    return r;
}
#endif
#ifdef ZENDA_TEAM
QString ProtocolsSentPath() { return DataFolder() + u"/team-protocols.state"_s; }

// The protocols folder's PDFs the server does not have yet: sent a batch at a time, each batch
// noted (by file name) only after the server committed it.
void PushProtocolFiles(const QString& conninfo, std::unique_ptr<TTeamDb>& db, TPushResult& r)
{
    const QString folder = DataFolder() + u"/protocols"_s;
    const QStringList files = QDir(folder).entryList({u"*.pdf"_s}, QDir::Files, QDir::Name);
    QStringList sent;
    if (QFile state(ProtocolsSentPath()); state.open(QIODevice::ReadOnly))
        sent = QString::fromUtf8(state.readAll()).split(u'\n', Qt::SkipEmptyParts);
    const QSet<QString> done(sent.begin(), sent.end());
    QHash<QString, QString> lineOf;  // a protocol's journal line, by its action's identity
    if (QFile index(folder + u"/index.csv"_s); index.open(QIODevice::ReadOnly))
        for (const QString& l : QString::fromUtf8(index.readAll()).split(u'\n', Qt::SkipEmptyParts))
            lineOf.insert(l.section(u',', 0, 0), l.section(u',', 1, 1).trimmed());
    static const QRegularExpression named(u"^(\\d{4}-\\d\\d-\\d\\d-\\d{6})-N(\\d{1,9})-(\\d{1,5})-([a-z]+)(?:-\\d+)?\\.pdf$"_s);
    std::vector<TTeamDb::TProtocolRow> rows;
    QStringList names;
    qint64 bytes = 0;
    auto flush = [&] {
        if (rows.empty())
            return;
        try {
            if (!db)
                db = TeamConnect(conninfo);
            db->PushProtocols(rows);
        } catch (const ETeamError& e) {
            throw std::runtime_error(e.what());
        }
        sent += names;
        durable::ReplaceWhole(ProtocolsSentPath(), (sent.join(u'\n') + u'\n').toUtf8());
        r.protocols += static_cast<qsizetype>(rows.size());
        rows.clear();
        names.clear();
        bytes = 0;
    };
    for (const QString& name : files) {
        if (done.contains(name))
            continue;
        QFile f(folder + u'/' + name);
        if (f.size() > (8 << 20) || !f.open(QIODevice::ReadOnly))
            continue;  // not a protocol of ours
        const QByteArray pdf = f.readAll();
        const auto m = named.match(name);
        // The server's text holds no NUL: one (zeros a power cut left) is sent shown as \x00.
    auto text = [](const QString& v) { return std::optional<std::string>(QString(v).replace(QChar(0), u"\\x00"_s).toStdString()); };
        const QDateTime made = QDateTime::fromString(m.captured(1), u"yyyy-MM-dd-HHmmss"_s);
        TTeamDb::TProtocolRow row;
        row.values = {text(name),
                      m.hasMatch() ? text(m.captured(2)) : std::nullopt,
                      m.hasMatch() ? text(m.captured(3)) : std::nullopt,
                      text(m.hasMatch() ? m.captured(4) : QString()),
                      made.isValid() ? text(made.toUTC().toString(Qt::ISODate)) : std::nullopt,
                      text(lineOf.value(name)),
                      QCryptographicHash::hash(pdf, QCryptographicHash::Sha256).toHex().toStdString(),
                      (QByteArrayLiteral("\\x") + pdf.toHex()).toStdString()};
        rows.push_back(std::move(row));
        names << name;
        bytes += pdf.size();
        if (rows.size() >= 64 || bytes > (16 << 20))
            flush();
    }
    flush();
}

// The other PCs' writes that arrived since the last reading, folded into what this PC knows; a
// chunk at a time, each kept before the next (a first reading of a large department may be cut
// short and goes on next time). How many were news here.
qsizetype HearOthers(const QString& conninfo, std::unique_ptr<TTeamDb>& db)
{
    TKnownWrites known = LoadKnownWrites();
    TTeamDb::TArrival after{known.received.toStdString(), known.seq};
    qsizetype heard = 0;
    constexpr int kChunk = 20000;
    for (;;) {
        std::vector<TTeamDb::TRow> rows;
        try {
            if (!db)
                db = TeamConnect(conninfo);
            rows = db->Writes(after, kChunk);
        } catch (const ETeamError& e) {
            throw std::runtime_error(e.what());
        }
        if (rows.empty())
            return heard;
        for (const auto& row : rows) {
            auto v = [&](size_t i) { return QString::fromStdString(row.at(i).value_or(std::string())); };
            bool ok = false;
            const int serial = v(2).toInt(&ok);
            TOtherWrite w;
            w.pc = v(3).left(64);
            w.engineer = v(4).left(64);
            w.time = v(5).left(40);
            w.action = v(6);
            w.seq = v(1).toLongLong();
            w.mine = v(9) == u"t"_s;
            w.id = v(10).left(64);
            if (ok && serial >= 0 && FoldWrite(known, serial, w))
                ++heard;  // rows read again (the overlap) and this PC's own are no news
        }
        const auto& last = rows.back();
        after = {last.at(0).value_or(""), std::stoll(last.at(1).value_or("0"))};
        known.received = QString::fromStdString(last.at(7).value_or(""));
        known.seq = std::stoll(last.at(8).value_or("0"));
        SaveKnownWrites(known);
        if (rows.size() < kChunk)
            return heard;
    }
}
#endif
}  // namespace

qsizetype TeamWaiting()
{
    QFile journal(TServiceRecords::JournalPath());
    if (!journal.open(QIODevice::ReadOnly))
        return 0;
    const TSent sent = LoadSent(journal);
    qsizetype n = CountLines(journal, sent.offset);
    if (sent.offset == 0 && journal.seek(0) && journal.read(15).replace("\xEF\xBB\xBF", "").startsWith("time,action,"))
        --n;  // the header (after the byte order mark the journal is written with) is no line of the journal
    return std::max<qsizetype>(n, 0);
}

#ifdef ZENDA_TEAM
TPushResult TeamPush(const QString& conninfo)
{
    TPushResult r;
    QFile journal(TServiceRecords::JournalPath());
    QDir().mkpath(DataFolder());  // a PC that never journaled still hears what the others did
    QLockFile lock(StatePath() + u".lock"_s);
    if (!lock.tryLock(0)) {
        if (lock.error() != QLockFile::LockFailedError)  // a folder that cannot be written to
            throw std::runtime_error((StatePath() + u".lock: "_s + durable::WhyNotWritable(DataFolder())).toStdString());
        r.busy = true;  // the other program sends the same lines
        r.waiting = TeamWaiting();
        return r;
    }
    std::unique_ptr<TTeamDb> db;
    if (!journal.exists()) {  // nothing journaled yet: only what the others did
        r.heard = HearOthers(conninfo, db);
        return r;
    }
    if (!journal.open(QIODevice::ReadOnly))
        throw std::runtime_error((journal.fileName() + u": "_s + journal.errorString()).toStdString());
    TSent sent = LoadSent(journal);
    const std::string engineer = UserName().left(64).toStdString();
    TGreeting greeting;
    db = TeamConnect(conninfo, &greeting);
    r.told = greeting.told ? greeting.numbers : -1;
    r.wentBack = greeting.wentBack;
    r.awaited = greeting.awaited;
    // A server that lost what this PC sent (restored from before it, or another server): the
    // whole journal again; what it holds it skips.
    if (sent.offset > 0 && !Holds(*db, journal, sent.offset)) {
        sent = {};
        r.resent = true;
    }
    // A chunk at a time, each committed and noted before the next: a journal of a million lines
    // is never held whole, and a push cut short keeps what it sent.
    try {
        while (sent.offset < journal.size()) {
            if (TeamStopped())  // Ctrl-C: what was sent is noted, the rest waits for the next push
                throw std::runtime_error("stopped");
            journal.seek(sent.offset);
            QByteArray bytes = journal.read(8 << 20);
            const qsizetype whole = bytes.lastIndexOf('\n') + 1;
            if (whole == 0) {
                if (bytes.size() < (8 << 20))
                    break;  // a line still being written
                throw std::runtime_error((journal.fileName() + u": a line longer than 8 MB"_s).toStdString());
            }
            bytes.truncate(whole);
            if (sent.offset == 0 && (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")))
                throw std::runtime_error(
                    (journal.fileName() + u": saved as UTF-16 by another program; not sent"_s).toStdString());
            std::vector<TTeamDb::TJournalRow> rows;
            std::vector<TTeamDb::TBackupRow> backups;
            qint64 at = sent.offset;
            for (qsizetype from = 0; from < bytes.size();) {
                const qsizetype end = bytes.indexOf('\n', from);
                const QByteArray raw = bytes.mid(from, end - from);
                const qint64 lineAt = at + from;
                from = end + 1;
                const QString text = QString::fromUtf8(raw).trimmed();
                if (text.isEmpty() || (lineAt == 0 && text.startsWith(u"time,action,"_s)))
                    continue;
                const TJournalLine l = SentLine(raw, text);
                r.damaged += l.action == TServiceRecords::kDamaged && raw.contains('\0');
                rows.push_back(Row(l, LineId(l, lineAt, raw), engineer, BackupOf(l, backups)));
            }
            try {
                r.fresh += static_cast<qsizetype>(db->PushJournal(rows, backups));
            } catch (const ETeamError& e) {
                throw std::runtime_error(e.what());
            }
            r.sent += static_cast<qsizetype>(rows.size());
            sent = {at + whole, TailHash(journal, at + whole)};
            SaveSent(sent);  // only now: what the server committed and this PC noted counts as sent
        }
    } catch (const std::exception&) {
        // Refused after the server was reached (a line it would not take): the other PCs' writes
        // are heard all the same, and what this PC sent stays sent.
        if (db && !TeamStopped()) {
            try {
                HearOthers(conninfo, db);
            } catch (const std::exception&) {
            }
        }
        throw;
    }
    r.waiting = CountLines(journal, sent.offset);
    PushProtocolFiles(conninfo, db, r);
    try {
        r.heard = HearOthers(conninfo, db);
    } catch (const std::exception& e) {  // what was sent stays sent
        r.unheard = QString::fromUtf8(e.what());
    }
    return r;
}

void TeamJournal(const QString& conninfo, const QString& serial, int limit, const std::function<bool(const TTeamLine&)>& each)
{
    try {
        TTeamDb db(conninfo.toStdString());
        db.TeamJournal(serial.isEmpty() ? std::nullopt : std::optional<int>(serial.toInt()), limit,
                       TServiceRecords::kBegun.toStdString(), [&](const TTeamDb::TRow& row) {
            auto v = [&](size_t i) { return QString::fromStdString(row.at(i).value_or(std::string())); };
            TTeamLine t;
            t.pc = v(0);
            t.engineer = v(1);
            TJournalLine& l = t.line;
            l.time = v(2);
            l.action = v(3);
            l.port = v(4);
            l.model = v(5);
            l.serial = v(6);
            l.address = v(7);
            l.outcome = v(8);
            if (!v(9).isEmpty())
                l.changes = v(9).split(u'\n');
            l.backup = v(10);
            l.traffic = v(11);
            l.written = v(12);
            l.id = v(13);
            t.backupSha = v(15);
            t.mine = v(16) == u"t"_s;
            t.protocol = v(17);
            t.seq = v(18).toLongLong();
            return each(t);
        });
    } catch (const ETeamError& e) {
        throw std::runtime_error(e.what());
    }
}
QByteArray TeamBackup(const QString& conninfo, const QString& sha256)
{
    static const QRegularExpression hex(u"^[0-9a-f]{64}$"_s);
    if (!hex.match(sha256).hasMatch())
        throw ERefused(Z::tr("a backup on the team's server is named by its SHA-256 (64 hex digits), not '%1'")
                           .arg(sha256.left(80)));
    std::optional<std::string> content;
    try {
        TTeamDb db(conninfo.toStdString());
        content = db.Backup(sha256.toStdString());
    } catch (const ETeamError& e) {
        throw std::runtime_error(e.what());
    }
    if (!content)
        throw ERefused(Z::tr("the team's server has no backup %1").arg(sha256));
    const QByteArray bytes = QByteArray::fromStdString(*content);
    // What comes from the server is checked before it goes near a device.
    if (QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex() != sha256.toLatin1())
        throw ERefused(Z::tr("the team's server's copy of backup %1 is not what its SHA-256 says: not used").arg(sha256));
    return bytes;
}
QByteArray TeamProtocol(const QString& conninfo, const QString& pc, const QString& name)
{
    if (pc.isEmpty() || name.isEmpty())  // an unset variable in a script: no question for the server
        throw ERefused(Z::tr("team protocol: the PC's name and the protocol's are not empty"));
    std::optional<std::string> found;
    try {
        TTeamDb db(conninfo.toStdString());
        found = db.Protocol(pc.toStdString(), name.toStdString());
    } catch (const ETeamError& e) {
        throw std::runtime_error(e.what());
    }
    if (!found)
        throw ERefused(Z::tr("the team's server has no protocol %1 of %2").arg(name.left(200), pc.left(64)));
    const QByteArray sha = QByteArray::fromStdString(found->substr(0, found->find(':')));
    const QByteArray pdf = QByteArray::fromHex(QByteArray::fromStdString(found->substr(found->find(':') + 1)));
    if (QCryptographicHash::hash(pdf, QCryptographicHash::Sha256).toHex() != sha)
        throw ERefused(Z::tr("the team's server's copy of protocol %1 is not what its SHA-256 says: not used").arg(name.left(200)));
    return pdf;
}
#else
QByteArray TeamProtocol(const QString&, const QString&, const QString&)
{
    throw ERefused(Z::tr("this zenda was built without the team's server (libpq)"));
}
QByteArray TeamBackup(const QString&, const QString&)
{
    throw ERefused(Z::tr("this zenda was built without the team's server (libpq)"));
}
TPushResult TeamPush(const QString&)
{
    throw ERefused(Z::tr("this zenda was built without the team's server (libpq)"));
}
void TeamJournal(const QString&, const QString&, int, const std::function<bool(const TTeamLine&)>&)
{
    throw ERefused(Z::tr("this zenda was built without the team's server (libpq)"));
}
#endif
