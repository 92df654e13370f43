#include "protocol.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextDocument>

#include <algorithm>
#include <stdexcept>

#include "settingsstore.h"
#include "shown.h"

using namespace Qt::StringLiterals;

const char* const kFingerprintName = "SHA-256, первые 16 знаков";

// ------------------------------------------------------------------ who and where

TProtocolParties TProtocolParties::Load()
{
    const auto s = OpenSettings();
    auto v = [&](const char* key) { return s->value(u"Protocol/"_s + QString::fromLatin1(key)).toString(); };
    return {v("Organisation"), v("Engineer"), v("Site"), v("SiteAddress"), v("Customer")};
}

void TProtocolParties::Save() const
{
    const auto s = OpenSettings();
    s->setValue(u"Protocol/Organisation"_s, organisation);
    s->setValue(u"Protocol/Engineer"_s, engineer);
    s->setValue(u"Protocol/Site"_s, site);
    s->setValue(u"Protocol/SiteAddress"_s, siteAddress);
    s->setValue(u"Protocol/Customer"_s, customer);
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

QString ImageFingerprint(const TImageBuffer& image)
{
    const QByteArray bytes(reinterpret_cast<const char*>(image.Image()), kImageSize);
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(16).toUpper());
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
    QSaveFile out(path);  // replaced whole, or kept as it was
    if (!out.open(QIODevice::WriteOnly) || out.write(QByteArray::number(n + 1) + '\n') < 0 || !out.commit())
        throw std::runtime_error((path + u": "_s + out.errorString()).toStdString());
    return n + 1;
}

// ------------------------------------------------------------------ the page

namespace {
QString ActionTitle(const TProtocol& p)
{
    if (p.asNow)
        return u"Считывание: настройки прибора, как он их хранит сейчас"_s;
    const QString a = p.line.action;
    return a == u"init"       ? u"Инициализация"_s
           : a == u"rtc"      ? u"Автокоррекция RTC"_s
           : a == u"counters" ? u"Установка счетчиков"_s
           : a == u"restore"  ? u"Восстановление из резервной копии"_s
                              : a;
}

QString E(const QString& s) { return s.toHtmlEscaped(); }
QString E(const std::string& s) { return QString::fromStdString(s).toHtmlEscaped(); }

// A value, or a line to write it on by hand.
QString OrBlank(const QString& v)
{
    return v.trimmed().isEmpty() ? u"_______________________________________"_s : E(v);
}

QString Row(const QString& name, const QString& value)
{
    return u"<tr><td width=\"38%\">"_s + name + u"</td><td><b>"_s + value + u"</b></td></tr>"_s;
}

QString Html(const TProtocol& p)
{
    const TShownSettings s = ShownSettings(p.image);
    const QString table =
        u"<table width=\"100%\" cellspacing=\"0\" cellpadding=\"3\" border=\"1\" "
        u"style=\"border-collapse: collapse; border-color: #888\">"_s;
    QString h = u"<html><body>"_s;
    h += u"<p align=\"center\" style=\"font-size: 15pt\"><b>Протокол инициализации прибора ЗЕНДА</b></p>"_s;
    h += u"<p align=\"center\">№ %1 от %2</p>"_s.arg(p.number).arg(p.made.toString(u"dd.MM.yyyy"_s));
    h += u"<table width=\"100%\" cellspacing=\"0\" cellpadding=\"2\">"_s;
    h += Row(u"Организация"_s, OrBlank(p.parties.organisation));
    h += Row(u"Инженер"_s, OrBlank(p.parties.engineer));
    h += Row(u"Объект"_s, OrBlank(p.parties.site));
    h += Row(u"Адрес объекта"_s, OrBlank(p.parties.siteAddress));
    h += Row(u"Заказчик"_s, OrBlank(p.parties.customer));
    h += u"</table>"_s;

    h += u"<p><b>Прибор%1</b></p>"_s.arg(p.asNow ? u" (как считан)"_s : u" (как записан)"_s);
    h += u"<table width=\"100%\" cellspacing=\"0\" cellpadding=\"2\">"_s;
    h += Row(u"Тип прибора"_s, s.model.empty() ? u"не запрашивался"_s : E(s.model));
    h += Row(u"Заводской номер"_s, QString::number(s.serial));
    h += Row(u"Сетевой адрес"_s, QString::number(s.address));
    h += Row(u"Возможность обнуления счетчика объема V2"_s, s.v2Reset ? u"да"_s : u"нет"_s);
    h += Row(u"Автокоррекция RTC"_s, u"%1 сек"_s.arg(s.correction));
    h += Row(u"Последняя инициализация"_s, E(s.stampDate + " " + s.stampTime));
    h += u"</table>"_s;

    h += u"<p><b>Каналы</b></p>"_s + table;
    h += u"<tr><th>№</th><th>Цена входного импульса</th><th>Тест линии</th><th>Тип входного сигнала</th></tr>"_s;
    for (size_t i = 0; i < s.channels.size(); ++i)
        h += u"<tr><td align=\"center\">%1</td><td>%2</td><td>%3</td><td>%4</td></tr>"_s.arg(i + 1).arg(
            E(s.channels[i].value), E(s.channels[i].lineTest), E(s.channels[i].type));
    h += u"</table>"_s;

    auto counter = [](const std::string& v) { return v.empty() ? u"— (запрещенный тип входного сигнала)"_s : E(v); };
    h += u"<p><b>Счетчики</b></p>"_s + table;
    h += u"<tr><th>tp1</th><th>tp2</th><th>V1</th><th>V2</th></tr><tr>"_s;
    for (const auto& v : {s.tp1, s.tp2, s.v1, s.v2})
        h += u"<td align=\"center\">"_s + counter(v) + u"</td>"_s;
    h += u"</tr></table>"_s;

    h += u"<p><b>Действие: %1</b></p>"_s.arg(E(ActionTitle(p)));
    h += u"<table width=\"100%\" cellspacing=\"0\" cellpadding=\"2\">"_s;
    const QDateTime at = QDateTime::fromString(p.line.time, Qt::ISODate);
    h += Row(u"Время ПК"_s, E(at.isValid() ? at.toString(u"dd.MM.yyyy HH:mm:ss"_s) : p.line.time));
    h += Row(u"Порт"_s, E(p.line.port));
    h += Row(u"Итог"_s, p.asNow ? u"считано из прибора, проверено повторным чтением"_s
                                : u"записано в прибор и проверено чтением"_s);
    if (!p.asNow) {
        QString changes;
        for (const QString& c : p.line.changes)
            changes += (changes.isEmpty() ? QString() : u"<br>"_s) + E(c);
        h += Row(u"Изменения"_s, changes.isEmpty() ? u"нет"_s : changes);
    }
    h += Row(u"Программа"_s, E(p.program));
    h += Row(u"Резервная копия"_s, p.line.backup.isEmpty() ? u"нет"_s : E(p.line.backup));
    h += Row(u"Отпечаток 72 байт (%1)"_s.arg(QString::fromUtf8(kFingerprintName)), ImageFingerprint(p.image));
    h += u"</table><p>&nbsp;</p>"_s;

    h += u"<table width=\"100%\" cellspacing=\"0\" cellpadding=\"6\">"_s;
    h += u"<tr><td width=\"38%\">Инженер</td><td>________________ / ________________________ /</td></tr>"_s;
    h += u"<tr><td>Представитель заказчика</td><td>________________ / ________________________ /</td></tr>"_s;
    h += u"</table></body></html>"_s;
    return h;
}
}  // namespace

QByteArray ProtocolPdf(const TProtocol& p)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(20, 15, 15, 15), QPageLayout::Millimeter);
        writer.setResolution(300);
        writer.setTitle(u"Протокол инициализации прибора ЗЕНДА № %1"_s.arg(p.number));
        writer.setCreator(p.program);
        QTextDocument doc;
        doc.documentLayout()->setPaintDevice(&writer);
        QFont font;
        font.setFamilies({u"Arial"_s, u"Liberation Sans"_s});
        font.setPointSizeF(10);
        doc.setDefaultFont(font);
        doc.setDocumentMargin(0);
        doc.setHtml(Html(p));
        // One page, however long the change list: the page is scaled to fit.
        const double width = writer.width(), height = writer.height();
        doc.setTextWidth(width);
        double scale = 1;
        if (doc.size().height() > height) {
            scale = height / doc.size().height();
            doc.setTextWidth(width / scale);
            while (doc.size().height() * scale > height)
                scale *= 0.97;
            doc.setTextWidth(width / scale);
        }
        QPainter painter(&writer);
        painter.scale(scale, scale);
        doc.drawContents(&painter);
    }
    return buffer.data();
}

void WriteProtocolPdf(const TProtocol& p, const QString& path) { SaveFileAs(path, ProtocolPdf(p)); }

QString SaveProtocol(const TProtocol& p)
{
    const QString dir = DataFolder() + u"/protocols"_s;
    TImageBuffer copy = p.image;
    const QString base =
        p.made.toString(u"yyyy-MM-dd-HHmmss"_s) +
        u"-N%1-%2-%3"_s.arg(p.number).arg(ShownSettings(copy).serial).arg(p.asNow ? u"now"_s : p.line.action);
    return dir + u'/' + SaveFileUnique(dir, base, u".pdf"_s, ProtocolPdf(p));
}
