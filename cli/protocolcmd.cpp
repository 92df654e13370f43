// protocol: the commissioning protocol of the device's last write (found in the journal by the
// device's serial number and model), of a journal line, or of the device as it is now.
#include <QDateTime>
#include <QJsonArray>

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

#include "program.h"
#include "protocol.h"
#include "settings.h"

using namespace Qt::StringLiterals;

int TProgram::Protocol(const QCommandLineParser& p)
{
    if (p.isSet(u"now"_s) && p.isSet(u"line"_s))
        throw ERefused(Z::tr("--now and --line name two different protocols: give one"));
    DrawingProgram();  // refused before the device is read and a number taken
    TProtocolParties parties = TProtocolParties::Load();
    const struct {
        const char* option;
        QString* field;
    } given[] = {{"organisation", &parties.organisation},
                 {"engineer", &parties.engineer},
                 {"site", &parties.site},
                 {"site-address", &parties.siteAddress},
                 {"customer", &parties.customer},
                 {"engineer-position", &parties.engineerPosition},
                 {"representative", &parties.representative},
                 {"representative-position", &parties.representativePosition}};
    for (const auto& g : given)
        if (p.isSet(QString::fromLatin1(g.option))) {
            *g.field = p.value(QString::fromLatin1(g.option)).trimmed();
            // The window's limit: the page wraps a long name, and nothing is cut.
            if (const QString why = PartyProblem(*g.field); !why.isEmpty())
                throw ERefused(Z::tr("--%1: %2").arg(QString::fromLatin1(g.option), Human(why)));
        }
    TProtocolMeter meters[2];
    for (int ch = 1; ch <= 2; ++ch) {
        const QString m = u"meter%1-"_s.arg(ch);
        TProtocolMeter& meter = meters[ch - 1];
        meter.type = p.value(m + u"type"_s).trimmed();
        meter.number = p.value(m + u"number"_s).trimmed();
        if (const QString typed = p.value(m + u"reading"_s); !typed.isEmpty()) {
            meter.reading = MeterReading(typed);
            if (meter.reading.isEmpty())
                throw ERefused(Z::tr("--%1reading is a reading in m3 (digits, one decimal point), not '%2'").arg(m, typed));
        }
    }
    if (p.isSet(u"out"_s) && p.value(u"out"_s).isEmpty())
        throw ERefused(Z::tr("protocol: the file name is empty"));

    TProtocol doc;
    doc.parties = parties;
    std::copy(std::begin(meters), std::end(meters), std::begin(doc.meters));
    doc.program = QStringLiteral("zenda " ZENDA_VERSION);
    // The journal is read newest first and only until the line is found: a station's journal
    // of half a million lines is not held whole for one protocol.
    auto find = [](const std::function<bool(const TJournalLine&)>& wanted) -> std::optional<TJournalLine> {
        std::optional<TJournalLine> found;
        QString error;
        if (!TServiceRecords::ForEachJournalLine(
                TServiceRecords::JournalPath(), {},
                [&](const TJournalLine& l) {
                    if (wanted(l))
                        found = l;
                    return !found;
                },
                &error))
            throw std::runtime_error(Z::tr("the service journal cannot be read: %1").arg(Human(error)).toStdString());
        return found;
    };
    if (p.isSet(u"line"_s)) {
        const QString time = p.value(u"line"_s);
        // Times are to the second: a read may share it with the write it follows.
        bool any = false;
        std::vector<TJournalLine> writes;  // two writes in one second: which one is not guessed
        find([&](const TJournalLine& l) {
            any |= l.time == time;
            if (l.time == time && HasProtocol(l))
                writes.push_back(l);
            // Past that second (newest first): every write of it has been seen.
            return !writes.empty() && l.time != time;
        });
        if (writes.size() > 1) {
            QStringList named;
            for (const TJournalLine& w : writes) {
                TImageBuffer image;
                WrittenImage(w, image);
                named << u"%1 № %2 (%3)"_s.arg(w.action).arg(TDeviceSettings(image).SerialNumber()).arg(w.port);
            }
            throw ERefused(Z::tr("%1 names %2 writes: %3; no protocol is guessed")
                               .arg(time)
                               .arg(writes.size())
                               .arg(named.join(u"; "_s)));
        }
        if (writes.empty())
            throw ERefused(any ? Z::tr("the journal line of %1 is not a completed write with its image kept: no protocol")
                                     .arg(time)
                               : Z::tr("no journal line of %1 (zenda journal lists them)").arg(time));
        doc.line = writes.front();
    } else {
        PreparePort();
        const TActionResult& read = actions_.Read();
        LoadTable();
        if (p.isSet(u"now"_s)) {
            doc.asNow = true;
            doc.line = read.line;
            doc.image = image_;
        } else {
            // The newest completed write that left this number in a device of this model.
            const QString serial = read.line.serial, model = read.line.model;
            const auto line = find([&](const TJournalLine& l) {
                TImageBuffer written;
                return HasProtocol(l) && (l.model.isEmpty() || l.model == model) && WrittenImage(l, written) &&
                       QString::number(TDeviceSettings(written).SerialNumber()) == serial;
            });
            if (!line)
                throw ERefused(Z::tr("the journal holds no completed write of %1 № %2; --now makes the protocol of the "
                                     "device as it is")
                                   .arg(model, serial));
            doc.line = *line;
            // The page is signed as what the device holds: a later write that failed may have
            // changed it (the journal's last completed write is then not what is in the device).
            TImageBuffer written;
            WrittenImage(doc.line, written);
            if (const QStringList differ = SettingsDiffer(written, image_); !differ.isEmpty())
                throw std::runtime_error(Z::tr("the device's settings differ from its last completed write (%1): %2; "
                                               "--line TIME makes the protocol of a journal line, --now of the device "
                                               "as it is")
                                             .arg(doc.line.time, Human(differ.join(u"; "_s)))
                                             .toStdString());
        }
    }
    if (!doc.asNow) {
        WrittenImage(doc.line, doc.image);
        doc.leftInitMode = LeftInitModeAfter(doc.line);
    }
    parties.Save();
    // What the file would be refused for is refused before a number is taken.
    if (p.isSet(u"out"_s)) {
        try {
            CheckFileCanBeMade(p.value(u"out"_s));
        } catch (const std::exception& e) {  // as backup FILE: the user's path, refused
            throw ERefused(Human(u"Не удалось сохранить протокол: "_s + QString::fromUtf8(e.what())));
        }
    }
    TProtocolNumber number;
    doc.number = number.number;
    doc.made = QDateTime::currentDateTime();
    const QByteArray pdf = ProtocolPdf(doc);
    QString path;
    if (p.isSet(u"out"_s)) {
        path = p.value(u"out"_s);
        try {
            SaveFileAs(path, pdf);
        } catch (const std::exception& e) {
            throw ERefused(Human(u"Не удалось сохранить протокол: "_s + QString::fromUtf8(e.what())));
        }
    } else {
        path = SaveProtocol(doc, pdf);
    }
    number.Keep();
    face_.Say(Z::tr("protocol: %1").arg(path));
    QJsonObject o = SettingsJson(doc.image);
    o[u"ok"_s] = true;
    o[u"protocol"_s] = path;
    o[u"number"_s] = doc.number;
    o[u"action"_s] = doc.asNow ? u"now"_s : doc.line.action;
    o[u"time"_s] = doc.line.time;
    o[u"changes"_s] = QJsonArray::fromStringList(doc.asNow ? QStringList() : doc.line.changes);
    o[u"backup"_s] = doc.line.backup;
    return Emit(o);
}
