#include "protocol.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QRegularExpression>

#include <algorithm>
#include <stdexcept>

#include "changes.h"
#include "records/durable.h"
#include "settings.h"
#include "base/refusal.h"
#include "base/settingsstore.h"
#include "shown.h"

using namespace Qt::StringLiterals;

const char* const kFingerprintName = "SHA-256 без счетчиков и отметки инициализации, первые 16 знаков";

// ------------------------------------------------------------------ who and where

TProtocolParties TProtocolParties::Load()
{
    const auto s = OpenSettings();
    auto v = [&](const char* key) { return s->value(u"Protocol/"_s + QString::fromLatin1(key)).toString(); };
    return {v("Organisation"), v("Engineer"),         v("Site"),           v("SiteAddress"),
            v("Customer"),     v("EngineerPosition"), v("Representative"), v("RepresentativePosition")};
}

QString MeterReading(const QString& typed)
{
    // One decimal separator, comma or point, and no thousands separators: "12,345.6" is refused,
    // never read as 12,3456.
    static const QRegularExpression number(u"^\\d{1,12}(?:[.,]\\d{1,6})?$"_s);
    const QString t = typed.trimmed();
    return number.match(t).hasMatch() ? QString(t).replace(u'.', u',') : QString();
}

QString PartyProblem(const QString& text)
{
    if (text.size() > kPartyMaxLength)
        return u"%1 знаков, больше %2"_s.arg(text.size()).arg(kPartyMaxLength);
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control)
            return u"управляющий символ"_s;
    return {};
}

void TProtocolParties::Save() const
{
    const auto s = OpenSettings();
    s->setValue(u"Protocol/Organisation"_s, organisation);
    s->setValue(u"Protocol/Engineer"_s, engineer);
    s->setValue(u"Protocol/Site"_s, site);
    s->setValue(u"Protocol/SiteAddress"_s, siteAddress);
    s->setValue(u"Protocol/Customer"_s, customer);
    s->setValue(u"Protocol/EngineerPosition"_s, engineerPosition);
    s->setValue(u"Protocol/Representative"_s, representative);
    s->setValue(u"Protocol/RepresentativePosition"_s, representativePosition);
}

// ------------------------------------------------------------------ what was written

bool WrittenImage(const TJournalLine& line, TImageBuffer& image)
{
    const QByteArray bytes = QByteArray::fromHex(line.written.toLatin1());
    if (line.written.size() != 2 * kImageSize || bytes.size() != kImageSize)
        return false;
    image = TImageBuffer{};
    std::copy(bytes.begin(), bytes.end(), image.Image());
    for (uint8_t code : {kModelZenda1, kModelZenda2, kModelZenda3})
        if (ModelName(code) == line.model)
            image.ModelCode() = code;
    return true;
}

bool HasProtocol(const TJournalLine& line)
{
    TImageBuffer image;
    return line.outcome == u"выполнено" && WrittenImage(line, image);
}

namespace {
// The image with the counters and the initialization stamp as zeros: what configures the device.
// The counters count and the stamp is the last initialization's, so a working device keeps its
// settings as long as nobody changes how it is set up.
TImageBuffer SettingsOnly(TImageBuffer image)
{
    for (int p = pos::StampMinute; p <= pos::StampYear; ++p)
        image.At(p) = 0;
    for (int p = pos::CountersFirst; p <= pos::CountersLast; ++p)
        image.At(p) = 0;
    return image;
}
}  // namespace

QString ImageFingerprint(const TImageBuffer& image)
{
    const TImageBuffer settings = SettingsOnly(image);
    const QByteArray bytes(reinterpret_cast<const char*>(settings.Image()), kImageSize);
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(16).toUpper());
}

QStringList SettingsDiffer(const TImageBuffer& written, const TImageBuffer& device)
{
    QStringList out;
    for (const std::string& c : DescribeChanges(SettingsOnly(written), SettingsOnly(device)))
        out << QString::fromStdString(c);
    return out;
}

int NextProtocolNumber()
{
    const QString folder = DataFolder();
    if (!QDir().mkpath(folder))
        throw std::runtime_error((folder + u": cannot be created"_s).toStdString());
    const QString path = folder + u"/protocol-number"_s;
    QLockFile lock(path + u".lock"_s);
    if (!lock.tryLock(10000))
        throw std::runtime_error((path + u".lock: the number is held by another program"_s).toStdString());
    int n = 0;
    {
        QFile in(path);  // closed before the new number replaces it: Windows replaces no open file
        if (in.open(QIODevice::ReadOnly))
            n = std::max(0, in.readAll().trimmed().toInt());
    }
    // A number file lost or damaged must not give a number twice: the protocols made here
    // carry theirs in their names ("...-N12-...").
    static const QRegularExpression numbered(QStringLiteral("-N(\\d{1,9})-"));
    for (const QString& name : QDir(folder + u"/protocols"_s).entryList({u"*.pdf"_s}, QDir::Files))
        if (const auto m = numbered.match(name); m.hasMatch())
            n = std::max(n, m.captured(1).toInt());
    durable::ReplaceWhole(path, QByteArray::number(n + 1) + '\n');
    return n + 1;
}

TProtocolNumber::~TProtocolNumber()
{
    if (kept_)
        return;
    const QString path = DataFolder() + u"/protocol-number"_s;
    QLockFile lock(path + u".lock"_s);
    if (!lock.tryLock(2000))
        return;  // kept as used: a gap, never a number twice
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly) || in.readAll().trimmed().toInt() != number)
        return;
    in.close();
    try {
        durable::ReplaceWhole(path, QByteArray::number(number - 1) + '\n');
    } catch (const std::runtime_error&) {
        // kept as used: a gap, never a number twice
    }
}

QString ProtocolTitle(const TProtocol& p)
{
    const QString a = p.line.action;
    return p.asNow            ? u"Протокол считывания настроек прибора ЗЕНДА"_s
           : a == u"rtc"      ? u"Протокол автокоррекции RTC прибора ЗЕНДА"_s
           : a == u"counters" ? u"Протокол установки счетчиков прибора ЗЕНДА"_s
           : a == u"restore" ? u"Протокол восстановления прибора ЗЕНДА из резервной копии"_s
                             : u"Протокол инициализации прибора ЗЕНДА"_s;
}

// ------------------------------------------------------------------ to the program that draws it

QByteArray ProtocolJson(const TProtocol& p)
{
    const QByteArray image(reinterpret_cast<const char*>(p.image.Image()), kImageSize);
    QJsonObject o{{u"number"_s, p.number},
                  {u"made"_s, p.made.toString(Qt::ISODate)},
                  {u"organisation"_s, p.parties.organisation},
                  {u"engineer"_s, p.parties.engineer},
                  {u"site"_s, p.parties.site},
                  {u"siteAddress"_s, p.parties.siteAddress},
                  {u"customer"_s, p.parties.customer},
                  {u"action"_s, p.line.action},
                  {u"time"_s, p.line.time},
                  {u"port"_s, p.line.port},
                  {u"changes"_s, QJsonArray::fromStringList(p.line.changes)},
                  {u"backup"_s, p.line.backup},
                  {u"image"_s, QString::fromLatin1(image.toHex())},
                  {u"modelCode"_s, int(p.image.ModelCode())},
                  {u"asNow"_s, p.asNow},
                  {u"leftInitMode"_s, p.leftInitMode},
                  {u"program"_s, p.program},
                  {u"engineerPosition"_s, p.parties.engineerPosition},
                  {u"representative"_s, p.parties.representative},
                  {u"representativePosition"_s, p.parties.representativePosition}};
    QJsonArray meters;
    for (const TProtocolMeter& m : p.meters)
        meters.append(QJsonObject{{u"type"_s, m.type}, {u"number"_s, m.number}, {u"reading"_s, m.reading}});
    o[u"meters"_s] = meters;
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

TProtocol ProtocolFromJson(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonObject o = QJsonDocument::fromJson(json, &error).object();
    const QByteArray image = QByteArray::fromHex(o[u"image"_s].toString().toLatin1());
    if (error.error != QJsonParseError::NoError || image.size() != kImageSize)
        throw std::runtime_error("the protocol's description is damaged");
    TProtocol p;
    p.number = o[u"number"_s].toInt();
    p.made = QDateTime::fromString(o[u"made"_s].toString(), Qt::ISODate);
    p.parties = {o[u"organisation"_s].toString(),   o[u"engineer"_s].toString(),
                 o[u"site"_s].toString(),           o[u"siteAddress"_s].toString(),
                 o[u"customer"_s].toString(),       o[u"engineerPosition"_s].toString(),
                 o[u"representative"_s].toString(), o[u"representativePosition"_s].toString()};
    const QJsonArray meters = o[u"meters"_s].toArray();
    for (qsizetype i = 0; i < std::min<qsizetype>(meters.size(), 2); ++i) {
        const QJsonObject m = meters[i].toObject();
        p.meters[i] = {m[u"type"_s].toString(), m[u"number"_s].toString(), m[u"reading"_s].toString()};
    }
    p.line.action = o[u"action"_s].toString();
    p.line.time = o[u"time"_s].toString();
    p.line.port = o[u"port"_s].toString();
    for (const auto& c : o[u"changes"_s].toArray())
        p.line.changes << c.toString();
    p.line.backup = o[u"backup"_s].toString();
    std::copy(image.begin(), image.end(), p.image.Image());
    p.image.ModelCode() = uint8_t(o[u"modelCode"_s].toInt());
    p.asNow = o[u"asNow"_s].toBool();
    p.leftInitMode = o[u"leftInitMode"_s].toInt(-1);
    p.program = o[u"program"_s].toString();
    return p;
}

int LeftInitModeAfter(const TJournalLine& line, const QString& journal)
{
    if (line.action != u"init")
        return -1;
    TImageBuffer written;
    if (!WrittenImage(line, written))
        return -1;
    const QString serial = QString::number(TDeviceSettings(written).SerialNumber());
    // Newest first: the leave lines of that device on that port, until the initialization itself.
    int left = 0;
    TServiceRecords::ForEachJournalLine(journal, {-1, serial, true}, [&](const TJournalLine& l) {
        const bool self = l.id.isEmpty() ? l.time == line.time && l.action == line.action : l.id == line.id;
        if (self)
            return false;
        if (l.port != line.port || l.serial != serial)
            return true;
        if (l.action == u"leave")
            left = l.outcome == u"выполнено" ? 1 : 0;  // the newest before the next write wins
        else if (l.action != u"read" && l.action != u"backup")
            left = 0;  // another write to the device since: its state is that write's
        return true;
    });
    return left;
}

QString SaveProtocol(const TProtocol& p, const QByteArray& pdf)
{
    const QString dir = DataFolder() + u"/protocols"_s;
    TImageBuffer copy = p.image;
    const QString base =
        p.made.toString(u"yyyy-MM-dd-HHmmss"_s) +
        u"-N%1-%2-%3"_s.arg(p.number).arg(ShownSettings(copy).serial).arg(p.asNow ? u"now"_s : p.line.action);
    const QString name = SaveFileUnique(dir, base, u".pdf"_s, pdf);
    // Which journal line each protocol is of (its action's identity): the team's server shows a
    // line's protocol by it. Appended, one line a protocol; a protocol without one is still sent.
    if (!p.line.id.isEmpty()) {
        QFile index(dir + u"/index.csv"_s);
        if (index.open(QIODevice::WriteOnly | QIODevice::Append))
            index.write((name + u',' + p.line.id + u'\n').toUtf8());
    }
    return dir + u'/' + name;
}

std::optional<TJournalLine> NewestWriteOf(int serial)
{
    std::optional<TJournalLine> found;
    // Newest first: the line of the write that gave the number last.
    TServiceRecords::ForEachJournalLine(TServiceRecords::JournalPath(), {}, [&](const TJournalLine& l) {
        TImageBuffer written;
        if (HasProtocol(l) && WrittenImage(l, written) && TDeviceSettings(written).SerialNumber() == serial)
            found = l;
        return !found;
    });
    return found;
}

QString SaveStationProtocol(int serial, const QString& program, QByteArray (*draw)(const TProtocol&))
{
    TProtocol doc;
    doc.parties = TProtocolParties::Load();
    doc.program = program;
    // The line the station just wrote is the newest of this number.
    const std::optional<TJournalLine> line = NewestWriteOf(serial);
    if (!line)
        throw std::runtime_error(Z::tr("the journal holds no line of this write").toStdString());
    doc.line = *line;
    WrittenImage(doc.line, doc.image);
    doc.leftInitMode = LeftInitModeAfter(doc.line);
    doc.made = QDateTime::currentDateTime();
    TProtocolNumber number;
    doc.number = number.number;
    const QString path = SaveProtocol(doc, draw(doc));
    number.Keep();
    return path;
}
