#include "platform/desktop.h"

#include <QFileInfo>
#include <QSettings>

#include <windows.h>
#include <shellapi.h>

namespace platform {
namespace {

QString registryValue(const QString &key, const QString &name)
{
    return QSettings(key, QSettings::NativeFormat).value(name).toString();
}

// A command line split as Windows programs split theirs, with "%1" (where
// the shell puts the address or file) written as the desktop entries' "%u".
QStringList splitCommandLine(const QString &commandLine)
{
    QStringList arguments;
    int count = 0;
    wchar_t **split = CommandLineToArgvW(reinterpret_cast<const wchar_t *>(commandLine.utf16()), &count);
    if (!split)
        return arguments;
    for (int i = 0; i < count; ++i) {
        const QString argument = QString::fromWCharArray(split[i]);
        arguments << (argument == QLatin1String("%1") || argument == QLatin1String("%L") ? QStringLiteral("%u")
                                                                                          : argument);
    }
    LocalFree(split);
    return arguments;
}

} // namespace

// Windows names the handler of an address scheme (mailto:) or of a file type
// (.eml for "message/rfc822") by a programmatic identifier: the user's choice
// when there is one, else the classes root's own; that identifier's
// shell\open\command starts the program.
DesktopApplication Desktop::defaultApplication(const QString &contentType)
{
    const QString classes = QStringLiteral("HKEY_CLASSES_ROOT\\");
    QString progId;
    if (contentType == QLatin1String("x-scheme-handler/mailto")) {
        progId = registryValue(QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\Shell\\Associations\\"
                                              "UrlAssociations\\mailto\\UserChoice"),
                               QStringLiteral("ProgId"));
        if (progId.isEmpty())
            progId = QStringLiteral("mailto");
    } else if (contentType == QLatin1String("message/rfc822")) {
        progId = registryValue(QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                                              "Explorer\\FileExts\\.eml\\UserChoice"),
                               QStringLiteral("ProgId"));
        if (progId.isEmpty())
            progId = registryValue(classes + QStringLiteral(".eml"), QStringLiteral("Default"));
    }
    if (progId.isEmpty())
        return DesktopApplication();
    const QStringList command =
        splitCommandLine(registryValue(classes + progId + QStringLiteral("\\shell\\open\\command"), QStringLiteral("Default")));
    if (command.isEmpty())
        return DesktopApplication();
    DesktopApplication application;
    application.id = QFileInfo(command.first()).fileName();
    application.name = registryValue(classes + progId, QStringLiteral("Default"));
    if (application.name.isEmpty())
        application.name = QFileInfo(command.first()).completeBaseName();
    application.command = command;
    if (contentType == QLatin1String("x-scheme-handler/mailto"))
        application.categories << QStringLiteral("Email");
    return application;
}

} // namespace platform
