#include "platform/settingsstore.h"

#include <QCoreApplication>
#include <QSettings>

namespace platform {
namespace {

const QString kApplication = QStringLiteral("Letterloom");

QString statusText(QSettings::Status status)
{
    switch (status) {
    case QSettings::AccessError:
        return QCoreApplication::translate("platform::SettingsStore",
                                           "the settings store cannot be written (access denied)");
    case QSettings::FormatError:
        return QCoreApplication::translate("platform::SettingsStore", "the settings file is damaged");
    case QSettings::NoError:
        break;
    }
    return QString();
}

} // namespace

QString SettingsStore::get(const QString &section, const QString &key, const QString &defaultValue) const
{
    QSettings settings(QSettings::UserScope, kApplication, kApplication);
    settings.beginGroup(section);
    return settings.value(key, defaultValue).toString();
}

bool SettingsStore::save(const QString &section, const QString &key, const QString &value, QString *error)
{
    QSettings settings(QSettings::UserScope, kApplication, kApplication);
    settings.beginGroup(section);
    settings.setValue(key, value);
    settings.endGroup();
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return true;
    if (error) {
        //: %1 is the setting's name, %2 the settings file, %3 the reason.
        *error = QCoreApplication::translate("platform::SettingsStore", "Could not store %1 in \"%2\": %3")
                     .arg(key, settings.fileName(), statusText(settings.status()));
    }
    return false;
}

} // namespace platform
