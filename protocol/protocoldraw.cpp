// The page itself: Qt Gui's text layout and PDF writer. Linked into the window's program only;
// zenda asks that program to draw (zenda stays on Qt Core).
#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QGuiApplication>
#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "label.h"
#ifdef ZENDA_LABELS
#include "labeldraw.h"
#endif
#include "protocol.h"
#include "settings.h"
#include "shown.h"

using namespace Qt::StringLiterals;

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
QString OrBlank(const QString& v, int width = 39)
{
    return v.trimmed().isEmpty() ? QString(width, u'_') : E(v);
}

QString Row(const QString& name, const QString& value)
{
    return u"<tr><td width=\"38%\">"_s + name + u"</td><td><b>"_s + value + u"</b></td></tr>"_s;
}

// One date format on the page; a time with its zone, as the journal kept it.
QString DateOf(const QDateTime& t) { return t.toString(u"dd.MM.yyyy"_s); }
QString TimeWithZone(const QString& iso)
{
    const QDateTime t = QDateTime::fromString(iso, Qt::ISODate);
    if (!t.isValid())
        return iso;
    return t.toString(u"dd.MM.yyyy HH:mm:ss"_s) + u" ("_s + ZoneName(t.offsetFromUtc()) + u')';
}

// The device's stamp in the page's format, with the zone it was written in when this line wrote
// it; bytes that are no date and time as their hex (never a date they are not).
QString Stamp(const TProtocol& p)
{
    TImageBuffer image = p.image;
    QString stamp = QString::fromStdString(TDeviceSettings(image).StampWhole());
    const QDateTime t = QDateTime::fromString(p.line.time, Qt::ISODate);
    if (p.line.action == u"init" && !p.asNow && t.isValid() && stamp.front().isDigit()) {
        const QString zone = TimeWithZone(p.line.time);
        stamp += zone.mid(zone.indexOf(u" ("_s));  // " (UTC+03:00)": the PC's zone at the write
    }
    return E(stamp);
}

// Counters with their units: "00002:15" as 2 ч 15 мин, "0034567,8" as 34567,8 м³; what is not a
// number ("не число: байты ...") as it is.
QString Hours(const std::string& v)
{
    const QString t = QString::fromStdString(v);
    const qsizetype colon = t.indexOf(u':');
    if (colon < 0 || !t.front().isDigit())
        return E(t);
    return u"%1 ч %2 мин"_s.arg(t.left(colon).toInt()).arg(t.mid(colon + 1).toInt());
}
QString Cubic(const std::string& v)
{
    QString t = QString::fromStdString(v);
    if (t.isEmpty() || !t.front().isDigit())
        return E(t);
    while (t.size() > 1 && t.front() == u'0' && t[1].isDigit())
        t.remove(0, 1);
    return E(t) + u" м³"_s;
}

// The channel table's "м3/имп" in the page's one unit style.
QString Units(const std::string& v) { return E(QString::fromStdString(v).replace(u"м3"_s, u"м³"_s)); }

QString Html(const TProtocol& p)
{
    const TShownSettings s = ShownSettings(p.image);
    const QString table =
        u"<table width=\"100%\" cellspacing=\"0\" cellpadding=\"3\" border=\"1\" "
        u"style=\"border-collapse: collapse; border-color: #888\">"_s;
    QString h = u"<html><body>"_s;
    h += u"<p align=\"center\" style=\"font-size: 15pt\"><b>"_s + E(ProtocolTitle(p)) + u"</b></p>"_s;
    h += u"<p align=\"center\">№ %1 от %2</p>"_s.arg(p.number).arg(DateOf(p.made));
    h += u"<table width=\"100%\" cellspacing=\"0\" cellpadding=\"2\">"_s;
    h += Row(u"Организация"_s, OrBlank(p.parties.organisation));
    h += Row(u"Инженер"_s, OrBlank(p.parties.engineer));
    h += Row(u"Объект"_s, OrBlank(p.parties.site));
    h += Row(u"Адрес объекта"_s, OrBlank(p.parties.siteAddress));
    h += Row(u"Заказчик"_s, OrBlank(p.parties.customer));
    h += u"</table>"_s;

    h += u"<p><b>Прибор%1</b></p>"_s.arg(p.asNow ? u" (как считан)"_s : u" (как записан)"_s);
    h += u"<table width=\"100%\" cellspacing=\"0\" cellpadding=\"2\">"_s;
    // A model the action did not ask is left out, not printed as a non-answer.
    if (!s.model.empty())
        h += Row(u"Тип прибора"_s, E(s.model));
    h += Row(u"Заводской номер"_s, QString::number(s.serial));
    h += Row(u"Сетевой адрес"_s, QString::number(s.address));
    h += Row(u"Возможность обнуления счетчика объема V2"_s, s.v2Reset ? u"да"_s : u"нет"_s);
    h += Row(u"Автокоррекция RTC"_s, u"%1 сек"_s.arg(s.correction));
    h += Row(u"Последняя инициализация"_s, Stamp(p));
    if (p.leftInitMode >= 0)
        h += Row(u"Режим инициализации"_s, p.leftInitMode ? u"прибор вышел из режима инициализации"_s
                                                          : u"прибор остается в режиме инициализации"_s);
    h += u"</table>"_s;

    h += u"<p><b>Каналы</b></p>"_s + table;
    h += u"<tr><th>№</th><th>Цена входного импульса</th><th>Тест линии</th><th>Тип входного сигнала</th></tr>"_s;
    for (size_t i = 0; i < s.channels.size(); ++i)
        h += u"<tr><td align=\"center\">%1</td><td>%2</td><td>%3</td><td>%4</td></tr>"_s.arg(i + 1).arg(
            Units(s.channels[i].value), E(s.channels[i].lineTest), E(s.channels[i].type));
    h += u"</table>"_s;

    // The meters connected to the channels, when the engineer gave them.
    if (std::any_of(std::begin(p.meters), std::end(p.meters), [](const auto& m) { return m.Given(); })) {
        h += u"<p><b>Счетчики, подключенные к каналам</b></p>"_s + table;
        h += u"<tr><th>Канал</th><th>Тип счетчика</th><th>Заводской номер</th>"
             u"<th>Показания при вводе в эксплуатацию</th></tr>"_s;
        for (int i = 0; i < 2; ++i)
            if (const TProtocolMeter& m = p.meters[i]; m.Given())
                h += u"<tr><td align=\"center\">%1</td><td>%2</td><td>%3</td><td>%4</td></tr>"_s.arg(i + 1).arg(
                    OrBlank(m.type, 20), OrBlank(m.number, 12), m.reading.isEmpty() ? u"____________"_s : E(m.reading) + u" м³"_s);
        h += u"</table>"_s;
    }

    auto counter = [](const std::string& v, QString (*unit)(const std::string&)) {
        return v.empty() ? u"— (запрещенный тип входного сигнала)"_s : unit(v);
    };
    h += u"<p><b>Счетчики прибора</b></p>"_s + table;
    h += u"<tr><th>Время работы tp1</th><th>Время работы tp2</th><th>Объем V1</th><th>Объем V2</th></tr><tr>"_s;
    h += u"<td align=\"center\">"_s + counter(s.tp1, Hours) + u"</td><td align=\"center\">"_s + counter(s.tp2, Hours) +
         u"</td><td align=\"center\">"_s + counter(s.v1, Cubic) + u"</td><td align=\"center\">"_s + counter(s.v2, Cubic) +
         u"</td>"_s;
    h += u"</tr></table>"_s;

    h += u"<p><b>Действие: %1</b></p>"_s.arg(E(ActionTitle(p)));
    h += u"<table width=\"100%\" cellspacing=\"0\" cellpadding=\"2\">"_s;
    h += Row(u"Время ПК"_s, E(TimeWithZone(p.line.time)));
    h += Row(u"Итог"_s, p.asNow ? u"считано из прибора, проверено повторным чтением"_s
                                : u"записано в прибор и проверено чтением"_s);
    if (!p.asNow) {
        QString changes;
        for (const QString& c : p.line.changes)
            changes += (changes.isEmpty() ? QString() : u"<br>"_s) + Units(c.toStdString());
        h += Row(u"Изменения"_s, changes.isEmpty() ? u"нет"_s : changes);
    }
    h += Row(u"Отпечаток настроек (%1)"_s.arg(QString::fromUtf8(kFingerprintName)), ImageFingerprint(p.image));
    h += u"</table>"_s;
    h += u"<p style=\"font-size: 8.5pt\">Проверка позже: команда <b>zenda read</b> показывает отпечаток настроек "
         u"прибора тем же способом; он совпадает с этим, пока настройки прибора не менялись. Счетчики и отметка "
         u"последней инициализации в отпечаток не входят: прибор считает, отпечаток остается.</p>"_s;

    // The signature block: each party's position, signature and name, the date, the stamp.
    auto party = [](const QString& who, const QString& position, const QString& name) {
        return u"<td width=\"50%\"><b>"_s + who + u"</b><br><br>Должность: "_s + OrBlank(position, 30) +
               u"<br><br>_______________ / "_s + OrBlank(name, 24) +
               u" /<br><span style=\"font-size: 7pt\">&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;(подпись)"
               u"&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;(ФИО)</span>"
               u"<br><br>Дата: «____» ______________ 20____ г.<br><br>М.П.</td>"_s;
    };
    h += u"<p>&nbsp;</p><table width=\"100%\" cellspacing=\"0\" cellpadding=\"4\"><tr>"_s;
    h += party(u"Инженер"_s, p.parties.engineerPosition, p.parties.engineer);
    h += party(u"Представитель заказчика"_s, p.parties.representativePosition, p.parties.representative);
    h += u"</tr></table>"_s;

    // Service details, for whoever traces the protocol back to the records: small print.
    h += u"<p style=\"font-size: 7pt; color: #555\">Служебные сведения: порт "_s + E(p.line.port) +
         u"; резервная копия: "_s + (p.line.backup.isEmpty() ? u"нет"_s : E(p.line.backup)) + u"; программа: "_s +
         E(p.program) + u"; протокол сформирован "_s + E(TimeWithZone(p.made.toOffsetFromUtc(p.made.offsetFromUtc()).toString(Qt::ISODate))) +
         u".</p>"_s;
    h += u"</body></html>"_s;
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
        writer.setTitle(ProtocolTitle(p) + u" № %1"_s.arg(p.number));
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


int DrawProtocolFiles(const char* in, const char* out)
{
#ifndef _WIN32
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
#endif
    // The GUI part's notes on the platform (no runtime folder over SSH) are not for the user.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    });
    int argc = 1;
    char name[] = "zenda-draw";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    try {
        QFile description(QString::fromLocal8Bit(in));
        if (!description.open(QIODevice::ReadOnly))
            throw std::runtime_error((description.fileName() + QStringLiteral(": ") + description.errorString()).toStdString());
        const QByteArray json = description.readAll();
        QByteArray pdf;
        if (IsLabelsJson(json)) {
#ifdef ZENDA_LABELS
            TLabelSize size;
            const std::vector<TLabel> labels = LabelsFromJson(json, &size);
            pdf = LabelsPdf(labels, size);
#else
            throw std::runtime_error("labels are not built into this program (no libzint)");
#endif
        } else {
            pdf = ProtocolPdf(ProtocolFromJson(json));
        }
        QFile page(QString::fromLocal8Bit(out));
        if (!page.open(QIODevice::WriteOnly) || page.write(pdf) != pdf.size() || !page.flush())
            throw std::runtime_error((page.fileName() + QStringLiteral(": ") + page.errorString()).toStdString());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
