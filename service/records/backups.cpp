// Image backups: the device's 72 bytes with a header saying where and when they were read.
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cstring>

#include "records/durable.h"
#include "records/records.h"
#include "settings.h"

using namespace durable;

QString TServiceRecords::BackupText(const TImageBuffer& image, const QString& action, const QString& port,
                                    const QString& model) const
{
    TImageBuffer copy = image;
    const TDeviceSettings s(copy);
    QString t;
    t += action == u"backup"_qs ? u"# zenda-init image backup: the device's 72 bytes as read\n"_qs
                               : u"# zenda-init image backup: the device's 72 bytes as read before a write\n"_qs;
    t += u"# time: "_qs + LocalStamp() + u" ("_qs + QDateTime::currentDateTime().timeZoneAbbreviation() + u")\n"_qs;
    t += u"# port: "_qs + port + u"\n"_qs;
    // Only what the device said: the image holds no model, and the window's list may be wrong.
    t += u"# model: "_qs + (model.isEmpty() ? u"unknown (not asked)"_qs : model) + u"\n"_qs;
    t += u"# serial: "_qs + QString::number(s.SerialNumber()) + u"\n"_qs;
    t += u"# address: "_qs + QString::number(s.Address()) + u"\n"_qs;
    t += u"# action: "_qs + action + u"\n"_qs;
    t += u"# program: "_qs + program_ + u"\n"_qs;
    for (int i = 0; i < kImageSize; ++i)
        t += QString::asprintf("%02X", image.Image()[i]) + ((i % 12) == 11 ? u"\n"_qs : u" "_qs);
    return t;
}

namespace {
// Refuses a backup that did not reach the disk as written.
void CheckReadsBack(const QString& temp, const TImageBuffer& image)
{
    TImageBuffer back;
    QString error;
    if (!TServiceRecords::LoadImageFile(temp, back, error) ||
        std::memcmp(back.Image(), image.Image(), kImageSize) != 0) {
        QFile::remove(temp);
        Refuse(u"the file read back is not the image written"_qs + (error.isEmpty() ? QString() : u" ("_qs + error + u')'));
    }
}
}  // namespace

void TServiceRecords::SaveBackupAs(const TImageBuffer& image, const QString& action, const QString& port,
                                   const QString& model, const QString& path)
{
    CheckNewFile(path);
    const QString temp =
        WriteTemporary(QFileInfo(path).absolutePath(), BackupText(image, action, port, model).toUtf8());
    CheckReadsBack(temp, image);
    Publish(temp, path);
}

QString TServiceRecords::SaveBackup(const TImageBuffer& image, const QString& action, const QString& port,
                                    const QString& model)
{
    TImageBuffer copy = image;
    const QString sub = u"backups/"_qs + QString::number(TDeviceSettings(copy).SerialNumber());
    const QString dir = DataFolder() + u'/' + sub;
    const QString temp = WriteTemporary(dir, BackupText(image, action, port, model).toUtf8());
    CheckReadsBack(temp, image);
    return sub + u'/' + PublishUnique(temp, dir, TimeName() + u'-' + action, u".hex"_qs);
}

bool TServiceRecords::LoadImageFile(const QString& path, TImageBuffer& image, QString& error, TImageFileError* why)
{
    TImageFileError local;
    TImageFileError& e = why ? *why : local;
    auto fail = [&](TImageFileError::Kind kind, const QString& detail, const QString& text) {
        e = {kind, detail};
        error = text;
        return false;
    };
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return fail(TImageFileError::NotRegular, {}, u"not a regular file"_qs);
    if (info.size() > kImageFileMax)
        return fail(TImageFileError::TooLarge, QString::number(info.size()),
                    u"too large for an image file ("_qs + QString::number(info.size()) + u" bytes)"_qs);
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return fail(TImageFileError::Open, f.errorString(), f.errorString());
    return ParseImage(f.read(kImageFileMax + 1), image, error, why);
}

bool TServiceRecords::ParseImage(const QByteArray& text, TImageBuffer& image, QString& error, TImageFileError* why)
{
    TImageFileError local;
    TImageFileError& e = why ? *why : local;
    auto fail = [&](TImageFileError::Kind kind, const QString& detail, const QString& message) {
        e = {kind, detail};
        error = message;
        return false;
    };
    if (text.size() > kImageFileMax)
        return fail(TImageFileError::TooLarge, QString::number(text.size()),
                    u"too large for an image file ("_qs + QString::number(text.size()) + u" bytes)"_qs);
    std::vector<uint8_t> bytes;
    for (const QByteArray& raw : text.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'#') || line.isEmpty())
            continue;
        for (const QString& w : line.split(u' ', Qt::SkipEmptyParts)) {
            bool ok = false;
            const uint v = w.toUInt(&ok, 16);
            if (!ok || v > 255 || w.size() > 2)
                return fail(TImageFileError::BadByte, w, u"not a hex byte: "_qs + w);
            bytes.push_back(static_cast<uint8_t>(v));
        }
    }
    if (bytes.size() != kImageSize)
        return fail(TImageFileError::Count, QString::number(bytes.size()),
                    QString::number(bytes.size()) + u" bytes, not 72"_qs);
    std::copy(bytes.begin(), bytes.end(), image.Image());
    e = {};
    return true;
}

QString TServiceRecords::BackupModel(const QString& path)
{
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    while (!f.atEnd() && f.pos() <= kImageFileMax) {
        const QString line = QString::fromUtf8(f.readLine(kImageFileMax)).trimmed();
        if (line.startsWith(u"# model: ZENDA"_qs))
            return line.mid(9);
    }
    return {};
}

QString TServiceRecords::OtherModelNote(const QString& path, const QString& connected)
{
    const QString model = BackupModel(path);
    if (model.isEmpty() || model == connected)
        return {};
    return u"Резервная копия прибора "_qs + model + u", подключен "_qs + connected;
}
