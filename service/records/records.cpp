// What the records share: the data folder, the model's name, the time stamp.
#include "records/records.h"

#include <QDateTime>
#include <QStandardPaths>
#include <QUuid>

#include <cstdlib>

#include "settings.h"

QString DataFolder()
{
    // GenericDataLocation + organization/program is what AppLocalDataLocation gives a program
    // named so; spelled out because the two faces are two programs with one folder.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/ЛЮМРАД/zenda-init"_qs;
}

QString ModelName(uint8_t code)
{
    const int i = TDeviceSettings::ModelIndex(code);
    return i >= 0 ? u"ZENDA"_qs + QString::number(i + 1) : u"0x"_qs + QString::number(code, 16).toUpper();
}

// Local time with its offset from UTC, e.g. 2026-12-08T12:00:56+03:00.
QString LocalStamp()
{
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate);
}

QString ZoneName(int offset)
{
    if (offset == 0)
        return u"UTC"_qs;
    return u"UTC%1%2:%3"_qs.arg(offset < 0 ? u"-"_qs : u"+"_qs)
        .arg(std::abs(offset) / 3600, 2, 10, QChar(u'0'))
        .arg(std::abs(offset) % 3600 / 60, 2, 10, QChar(u'0'));
}

QString NewRecordId() { return QUuid::createUuid().toString(QUuid::Id128); }

QString OnOneLine(const QString& text, bool keepLineEnds)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool lineEnd = u == u'\n' || u == 0x2028 || u == 0x2029;
        if ((lineEnd && !keepLineEnds) || (u < 0x20 && u != u'\n') || (u >= 0x7F && u <= 0x9F))
            out += u"\\x"_qs + QString::number(u, 16).toUpper().rightJustified(2, u'0');
        else
            out += c;
    }
    return out;
}
