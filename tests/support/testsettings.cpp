#include "support/testsettings.h"

#include <QStandardPaths>
#include <QTemporaryDir>

namespace testsupport {

QSettings userSettings()
{
    return QSettings(QSettings::UserScope, QStringLiteral("Letterloom"), QStringLiteral("Letterloom"));
}

void isolateSettings()
{
    QStandardPaths::setTestModeEnabled(true);
    // A folder of this process's own, so that test programs that ctest runs
    // side by side never share a settings file.
    static QTemporaryDir folder;
    if (!folder.isValid())
        qFatal("no folder for the test's settings");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path());
    QSettings settings = userSettings();
#ifdef Q_OS_WIN
    const QString expected = QStringLiteral("\\HKEY_CURRENT_USER\\Software\\Letterloom\\Letterloom");
    if (settings.fileName() != expected)
#else
    if (!settings.fileName().startsWith(folder.path() + QLatin1Char('/')))
#endif
        qFatal("the test would use the settings in %s", qPrintable(settings.fileName()));
    settings.clear();
    settings.sync();
}

} // namespace testsupport
