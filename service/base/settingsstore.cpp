#include "base/settingsstore.h"

#include <QSettings>
#include <QStringList>

#include "commapi.h"

std::unique_ptr<QSettings> OpenSettings()
{
    // Organisation and application are the key's two parts below Software: on Windows
    // QSettings opens exactly this key of the current user's hive.
    static const QStringList key = QStringLiteral("Software\\ЛЮМРАД\\Инициализация ЗЕНДИН").split(u'\\');
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, key[1], key[2]);
}

bool PortMapping(const std::string& com, std::string& path)
{
    const auto s = OpenSettings();
    const QString key = QStringLiteral("Ports/") + QString::fromStdString(com);
    if (!s->contains(key))
        return false;
    // As written: the file format reads a comma as a list separator, and a list turns into
    // an empty text.
    const QVariant v = s->value(key);
    path = (v.typeId() == QMetaType::QStringList ? v.toStringList().join(u',') : v.toString()).trimmed().toStdString();
    return true;
}

void InstallSettingsPortResolver()
{
    SetPortNameResolver([](const std::string& name) {
        // Read afresh at every open, so a change of the port map needs no restart. A mapping
        // that is not one path fails to open (an empty name opens nothing); it is never
        // replaced by the default device.
        std::string path;
        return PortMapping(name, path) ? path : DefaultPortPath(name);
    });
}

namespace {
int StoredIndex(const char* key, int offset, int count)
{
    const auto s = OpenSettings();
    bool ok = false;
    const qlonglong v = s->value(QString::fromLatin1(key)).toLongLong(&ok);
    return ok && v >= offset && v - offset < count ? static_cast<int>(v) : -1;
}
}  // namespace

int StoredComNumber() { return StoredIndex("ComNumber", 1, 16); }
int StoredBaudRate() { return StoredIndex("BaudRate", 0, 2); }

void SetPortMapping(const std::string& com, const std::string& path)
{
    const auto s = OpenSettings();
    const QString key = QStringLiteral("Ports/") + QString::fromStdString(com);
    if (path.empty())
        s->remove(key);
    else
        s->setValue(key, QString::fromStdString(path));
}
