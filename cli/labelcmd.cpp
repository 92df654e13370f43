// label N: a numbered device's label again, from the journal's verified write of that number; and
// the --labels/--label-size options that the station shares.
#include <QCommandLineParser>
#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>
#include <QJsonDocument>
#include <QJsonObject>

#include "label.h"
#include "program.h"
#include "records/durable.h"
#include "records/records.h"
#include "zenda.h"

using namespace Qt::StringLiterals;

std::optional<TLabelTarget> LabelTargetOption(const QCommandLineParser& p)
{
    const TLabelSize size = p.isSet(u"label-size"_s) ? ParseLabelSize(p.value(u"label-size"_s)) : TLabelSize{};
    if (!p.isSet(u"labels"_s)) {
        if (p.isSet(u"label-size"_s))
            throw ERefused(Z::tr("--label-size goes with --labels PRINTER|FILE.pdf"));
        return std::nullopt;
    }
    TLabelTarget t = LabelTarget(p.value(u"labels"_s), size);
#ifdef _WIN32
    if (!t.IsPdf())
        throw ERefused(Z::tr("on Windows labels go to a PDF file (--labels FILE.pdf)"));
#endif
    if (const QStringList printers = t.IsPdf() ? QStringList() : LabelPrinters();
        !t.IsPdf() && !printers.contains(t.printer))
        throw ERefused(Z::tr("no printer is named '%1' (the system's printers: %2; a file's name ends in .pdf)")
                           .arg(t.printer, printers.isEmpty() ? Z::tr("none") : printers.join(u", "_s)));
    DrawingProgram();  // refused before anything is done, not after it
    return t;
}

int LabelCommand(const TGlobal& g, const QCommandLineParser& p, const QString& number)
{
    bool ok = false;
    const int serial = number.trimmed().toInt(&ok);
    if (!ok || serial < 1 || serial > 65535)
        throw ERefused(Z::tr("label takes a serial number, 1..65535"));
    std::optional<TLabelTarget> target = LabelTargetOption(p);
    const std::optional<TLabel> label = LabelOfNumber(serial);
    if (!label)
        throw ERefused(Z::tr("the journal holds no verified write that gave a device № %1: a label is made only for a "
                             "device numbered and verified")
                           .arg(serial));
    if (!target) {  // a file of its own in the data folder
        durable::MakeFolder(DataFolder() + u"/labels"_s);
        target =
            TLabelTarget{DataFolder() + u"/labels/"_s + QDateTime::currentDateTime().toString(u"yyyy-MM-dd-HHmmss"_s) +
                             u"-"_s + QString::number(serial) + u".pdf"_s,
                         {},
                         {}};
        for (int n = 2; QFileInfo::exists(target->pdf); ++n)
            target->pdf.replace(QRegularExpression(u"(-\\d+)?\\.pdf$"_s), u"-%1.pdf"_s.arg(n));
    }
    TLabeler labeler(*target, LabelsPdfDrawn);
    const QString done = labeler.Make(*label);
    if (g.json)
        std::printf("%s\n", QJsonDocument(QJsonObject{{u"ok"_s, true},
                                                      {u"serial"_s, serial},
                                                      {u"model"_s, label->model},
                                                      {u"date"_s, label->date.toString(Qt::ISODate)},
                                                      {target->IsPdf() ? u"file"_s : u"printer"_s,
                                                       target->IsPdf() ? target->pdf : target->printer}})
                                .toJson(QJsonDocument::Compact)
                                .constData());
    else
        std::printf("%s\n", Z::tr("label of № %1 (%2, %3): %4")
                                .arg(serial)
                                .arg(label->model, label->date.toString(u"dd.MM.yyyy"_s), done)
                                .toUtf8()
                                .constData());
    return kDone;
}
