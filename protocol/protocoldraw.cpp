// The page itself: Qt Gui's text layout and PDF writer. Linked into the window's program only;
// zenda asks that program to draw (zenda stays on Qt Core).
#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

#include "protocol.h"
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
    // A model the action did not ask is left out, not printed as a non-answer.
    if (!s.model.empty())
        h += Row(u"Тип прибора"_s, E(s.model));
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
    if (p.leftInitMode >= 0)
        h += Row(u"Режим инициализации"_s, p.leftInitMode ? u"прибор вышел из режима инициализации"_s
                                                          : u"прибор остается в режиме инициализации"_s);
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

