#include "numbers/ledger.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <mutex>
#include <stdexcept>

#include "records/durable.h"
#include "records/records.h"

using namespace Qt::StringLiterals;

QString TNumberLedger::DefaultPath() { return DataFolder() + u"/numbers.csv"_s; }

bool TNumberLedger::Exists() const { return QFileInfo::exists(path_); }

namespace {
// The fixtures of one station append from their threads; one station runs in a data folder.
std::mutex appending;

void AppendBytes(const QString& path, const QByteArray& bytes)
{
    durable::MakeFolder(QFileInfo(path).absolutePath());
    QFile f(path);
    if (QFileInfo(path).exists() && !QFileInfo(path).isFile())
        durable::Refuse(path + u": not a regular file"_s);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        durable::Refuse(path + u": "_s + f.errorString());
    QByteArray out;
    if (f.size() == 0)
        out = QByteArray(TNumberLedger::kHeader) + "\r\n";
    else {
        // A line cut by a power cut stays alone on its line: the next starts a line of its own.
        QFile tail(path);
        if (tail.open(QIODevice::ReadOnly) && tail.seek(f.size() - 1) && tail.read(1) != "\n")
            out = "\r\n";
    }
    out += bytes;
    if (f.write(out) != out.size() || !f.flush())
        durable::Refuse(path + u": "_s + f.errorString());
    if (!durable::SyncToDisk(f.handle()))
        durable::Refuse(path + u": not synced to the disk"_s);
}
}  // namespace

void TNumberLedger::Create() const
{
    std::lock_guard<std::mutex> g(appending);
    if (!Exists())
        AppendBytes(path_, {});
}

void TNumberLedger::Append(int serial, const char* event, const QString& id, const QString& where) const
{
    // The number first: a line cut short keeps it more likely than anything else.
    QString w = where;
    w.replace(u'"', u'\'').replace(u'\n', u' ').replace(u'\r', u' ');
    const QString line = QString::number(serial) + u',' + QString::fromLatin1(event) + u',' + id + u',' +
                         LocalStamp() + u",\""_s + w + u"\"\r\n"_s;
    std::lock_guard<std::mutex> g(appending);
    AppendBytes(path_, line.toUtf8());
}

void TNumberLedger::Read(std::vector<TLedgerLine>& lines, std::vector<TLedgerDamage>& damaged) const
{
    if (!Exists())
        return;
    QFile f(path_);
    if (!QFileInfo(path_).isFile() || !f.open(QIODevice::ReadOnly))
        durable::Refuse(path_ + u": "_s + (QFileInfo(path_).isFile() ? f.errorString() : u"not a regular file"_s));
    Parse(f.readAll(), lines, damaged);
}

void TNumberLedger::Parse(const QByteArray& bytes, std::vector<TLedgerLine>& lines, std::vector<TLedgerDamage>& damaged)
{
    static const QStringList events{QString::fromLatin1(kBegun), QString::fromLatin1(kDone),
                                    QString::fromLatin1(kSpoiled), QString::fromLatin1(kFree),
                                    QString::fromLatin1(kSeen), QString::fromLatin1(kUsed)};
    QByteArray text = bytes;
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    const QList<QByteArray> raw = text.split('\n');
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const bool last = i == raw.size() - 1;
        const QString s = QString::fromUtf8(raw[i]).trimmed();
        if (s.isEmpty() || (i == 0 && s.startsWith(u"serial"_s)))
            continue;
        const QChar sep = s.contains(u',') ? u',' : s.contains(u';') ? u';' : u'\t';
        QStringList c = s.split(sep);
        for (QString& cell : c)
            cell = cell.trimmed().remove(u'"');
        TLedgerLine l;
        l.line = static_cast<int>(i + 1);
        bool ok = false;
        l.serial = c[0].toInt(&ok);
        // The file's last line counts when it ends with its closing quote: only the line end
        // was lost.
        if (ok && c.size() >= 5 && l.serial >= 1 && l.serial <= 65535 && events.contains(c[1]) && !c[2].isEmpty() &&
            (!last || s.endsWith(u'"'))) {
            l.event = c[1];
            l.id = c[2];
            l.time = c[3];
            l.where = c.mid(4).join(sep);
            lines.push_back(l);
            continue;
        }
        TLedgerDamage d;
        d.line = l.line;
        d.cut = last;
        d.text = s.left(200);
        qsizetype n = 0;
        while (n < c[0].size() && c[0][n].isDigit())
            ++n;
        d.digits = c[0].left(n);
        d.whole = n > 0 && n == c[0].size() && c.size() > 1;
        damaged.push_back(d);
    }
}
