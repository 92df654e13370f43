#include "label.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <stdexcept>

#include "base/refusal.h"
#include "protocol.h"
#include "records/durable.h"
#include "records/records.h"

using namespace Qt::StringLiterals;

QByteArray LabelData(const TLabel& label)
{
    return (label.model + u';' + QString::number(label.serial) + u';' + label.date.toString(Qt::ISODate)).toLatin1();
}

QString TLabelSize::Text() const { return QString::number(width) + u'x' + QString::number(height); }

TLabelSize ParseLabelSize(const QString& text)
{
    static const QRegularExpression form(
        u"^\\s*(\\d{1,3}(?:[.,]\\d)?)\\s*[xх×]\\s*(\\d{1,3}(?:[.,]\\d)?)\\s*(?:mm|мм)?\\s*$"_s,
        QRegularExpression::CaseInsensitiveOption);
    const auto m = form.match(text);
    TLabelSize s;
    if (m.hasMatch()) {
        s.width = QString(m.captured(1)).replace(u',', u'.').toDouble();
        s.height = QString(m.captured(2)).replace(u',', u'.').toDouble();
    }
    if (!m.hasMatch() || s.width < 20 || s.width > 200 || s.height < 20 || s.height > 200)
        throw ERefused(
            Z::tr("the label size is WIDTHxHEIGHT in millimetres, 20..200 each (58x40), not '%1'").arg(text));
    return s;
}

TLabelTarget LabelTarget(const QString& text, const TLabelSize& size)
{
    TLabelTarget t;
    t.size = size;
    const QString name = text.trimmed();
    if (name.isEmpty())
        throw ERefused(Z::tr("--labels is empty: give a printer's name or a file ending in .pdf"));
    if (name.endsWith(u".pdf"_s, Qt::CaseInsensitive))
        t.pdf = name;
    else
        t.printer = name;
    return t;
}

std::optional<TLabel> LabelOfNumber(int serial)
{
    const std::optional<TJournalLine> l = NewestWriteOf(serial);
    if (!l)
        return std::nullopt;
    return TLabel{serial, l->model, QDateTime::fromString(l->time, Qt::ISODate).date()};
}

QByteArray LabelsJson(const std::vector<TLabel>& labels, const TLabelSize& size)
{
    QJsonArray a;
    for (const TLabel& l : labels)
        a.append(
            QJsonObject{{u"serial"_s, l.serial}, {u"model"_s, l.model}, {u"date"_s, l.date.toString(Qt::ISODate)}});
    return QJsonDocument(QJsonObject{{u"labels"_s, a}, {u"width"_s, size.width}, {u"height"_s, size.height}})
        .toJson(QJsonDocument::Compact);
}

bool IsLabelsJson(const QByteArray& json) { return QJsonDocument::fromJson(json).object().contains(u"labels"_s); }

std::vector<TLabel> LabelsFromJson(const QByteArray& json, TLabelSize* size)
{
    const QJsonObject o = QJsonDocument::fromJson(json).object();
    if (!o.value(u"labels"_s).isArray())
        throw std::runtime_error("the labels' description is damaged");
    if (size) {
        size->width = o.value(u"width"_s).toDouble(58);
        size->height = o.value(u"height"_s).toDouble(40);
    }
    std::vector<TLabel> out;
    for (const QJsonValue& v : o.value(u"labels"_s).toArray()) {
        const QJsonObject l = v.toObject();
        out.push_back({l.value(u"serial"_s).toInt(), l.value(u"model"_s).toString(),
                       QDate::fromString(l.value(u"date"_s).toString(), Qt::ISODate)});
    }
    return out;
}

TLabeler::TLabeler(TLabelTarget target, TDraw draw) : target_(std::move(target)), draw_(std::move(draw))
{
    if (!target_.IsPdf())
        return;
    try {
        durable::CheckNewFile(target_.pdf);
    } catch (const std::exception& e) {
        throw ERefused(Z::tr("labels: %1 (a run's labels go into a new file; zenda label N makes a label again)")
                           .arg(QString::fromUtf8(e.what())));
    }
}

namespace {
QString LabelsLog() { return DataFolder() + u"/labels.csv"_s; }

// "due,SERIAL,MODEL,DATE" before a label is made, "made,SERIAL" after; appended and synced.
void Note(const QString& line)
{
    QFile f(LabelsLog());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        throw std::runtime_error((LabelsLog() + u": "_s + f.errorString()).toStdString());
    const QByteArray bytes = (line + u'\n').toUtf8();
    if (f.write(bytes) != bytes.size() || !f.flush() || !durable::SyncToDisk(f.handle()))
        throw std::runtime_error((LabelsLog() + u": "_s + f.errorString()).toStdString());
}
}  // namespace

std::vector<TLabel> TLabeler::Due()
{
    QFile f(LabelsLog());
    std::vector<TLabel> due;
    if (!f.open(QIODevice::ReadOnly))
        return due;
    while (!f.atEnd()) {
        const QStringList cells = QString::fromUtf8(f.readLine()).trimmed().split(u',');
        const int serial = cells.value(1).toInt();
        if (cells[0] == u"due"_s && cells.size() == 4)
            due.push_back({serial, cells[2], QDate::fromString(cells[3], Qt::ISODate)});
        else if (cells[0] == u"made"_s)
            std::erase_if(due, [serial](const TLabel& l) { return l.serial == serial; });
    }
    return due;
}

QString TLabeler::Make(const TLabel& label)
{
    std::lock_guard<std::mutex> lock(mu_);
    Note(u"due,%1,%2,%3"_s.arg(label.serial).arg(QString(label.model).remove(u','), label.date.toString(Qt::ISODate)));
    const QString done = MakeNow(label);
    Note(u"made,%1"_s.arg(label.serial));
    return done;
}

void TLabeler::MakeDue(const std::function<void(const TLabel&, const QString&, const QString&)>& told)
{
    for (const TLabel& l : Due()) {
        try {
            const QString done = Make(l);
            told(l, done, {});
        } catch (const std::exception& e) {
            told(l, {}, QString::fromUtf8(e.what()));
        }
    }
}

QString TLabeler::MakeNow(const TLabel& label)
{
    if (!target_.IsPdf()) {
        PrintLabelsPdf(draw_({label}, target_.size), target_.printer, target_.size,
                       u"zenda-label-"_s + QString::number(label.serial));
        return Z::tr("printer %1").arg(target_.printer);
    }
    made_.push_back(label);
    try {
        durable::ReplaceWhole(target_.pdf, draw_(made_, target_.size));
    } catch (...) {
        made_.pop_back();
        throw;
    }
    return Z::tr("%1, page %2").arg(target_.pdf).arg(made_.size());
}

#ifndef _WIN32
QStringList LabelPrinters()
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(u"lpstat"_s, {u"-e"_s});
    if (!p.waitForFinished(10000) || p.exitCode() != 0)
        return {};
    QStringList names;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n'))
        if (!line.trimmed().isEmpty())
            names << QString::fromLocal8Bit(line.trimmed());
    return names;
}

void PrintLabelsPdf(const QByteArray& pdf, const QString& printer, const TLabelSize& size, const QString& title)
{
    QProcess p;
    // The label's own size as the media, so that the driver neither scales nor rotates it.
    p.start(u"lp"_s, {u"-d"_s, printer, u"-t"_s, title, u"-o"_s,
                      u"media=Custom.%1x%2mm"_s.arg(size.width).arg(size.height), u"-"_s});
    if (!p.waitForStarted(10000))
        throw std::runtime_error(
            Z::tr("labels are printed by CUPS's lp (package cups-client), which cannot be started: %1")
                .arg(p.errorString())
                .toStdString());
    p.write(pdf);
    p.closeWriteChannel();
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished(3000);
        throw std::runtime_error(Z::tr("the printer %1 did not take the label in 30 s").arg(printer).toStdString());
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        const QString said = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
        throw std::runtime_error(
            Z::tr("the printer %1 refused the label: %2").arg(printer, said.isEmpty() ? u"lp"_s : said).toStdString());
    }
}
#else
QStringList LabelPrinters() { return {}; }

void PrintLabelsPdf(const QByteArray&, const QString&, const TLabelSize&, const QString&)
{
    throw std::runtime_error(Z::tr("on Windows labels go to a PDF file (--labels FILE.pdf)").toStdString());
}
#endif
