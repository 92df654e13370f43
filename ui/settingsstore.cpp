#include "settingsstore.h"

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

void InstallSettingsPortResolver()
{
    SetPortNameResolver([](const std::string& name) {
        // Read afresh at every open, so a change of the port map needs no restart.
        const auto s = OpenSettings();
        const QString key = QStringLiteral("Ports/") + QString::fromStdString(name);
        if (!s->contains(key))
            return DefaultPortPath(name);
        // As written: the file format reads a comma as a list separator, and a list turns
        // into an empty text. A mapping that is not one path fails to open (an empty name
        // opens nothing); it is never replaced by the default device.
        const QVariant v = s->value(key);
        const QString path =
            (v.typeId() == QMetaType::QStringList ? v.toStringList().join(u',') : v.toString()).trimmed();
        return path.toStdString();
    });
}
