// The desktop mail client on Windows: classic Outlook, driven through its
// automation interface (outlookmailclient_win.cpp). Where Outlook.Application
// cannot be created (the new Outlook for Windows has no automation, and many
// use Thunderbird), the message goes to Thunderbird through its "-compose"
// command line when Thunderbird is the default mail program and set up;
// otherwise it is saved as an unsent draft (.eml), which is opened with the
// program Windows opens e-mail files with, and the user is told where it is
// and why.

#include "compose/compose.h"
#include "compose/handover.h"
#include "compose/mailclients.h"
#include "compose/message.h"
#include "compose/tablelaunch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <optional>

#include <windows.h>
#include <objbase.h>

namespace compose {
namespace {

// CreateProcess takes a command line of at most 32,767 characters.
constexpr qsizetype LongestCommandLine = 30000;

// Whether classic Outlook is installed: its automation is registered.
bool outlookRegistered()
{
    const bool entered = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    CLSID clsid;
    const bool registered = SUCCEEDED(CLSIDFromProgID(L"Outlook.Application", &clsid));
    if (entered)
        CoUninitialize();
    return registered;
}

// Why Outlook is not used, for the user.
QString withoutOutlook(const QString &outlookError)
{
    if (!outlookRegistered())
        return QCoreApplication::translate("compose::DesktopFactory", "Classic Outlook is not installed, and the "
                                                                      "new Outlook cannot be given a message by "
                                                                      "another program.");
    return outlookError.isEmpty()
               ? QCoreApplication::translate("compose::DesktopFactory", "Outlook could not be started.")
               : outlookError;
}

// Thunderbird shows its account assistant, not a message, until it has a
// profile.
bool thunderbirdHasProfile()
{
    const QString appData = qEnvironmentVariable("APPDATA");
    return !appData.isEmpty() && QFileInfo::exists(QDir(appData).filePath(QStringLiteral("Thunderbird/profiles.ini")));
}

class OtherMailItem final : public HandingOverItem
{
public:
    OtherMailItem(const DesktopMailSetup &setup, QString reason)
        : HandingOverItem(setup), m_reason(std::move(reason))
    {
    }

private:
    // Thunderbird, when it is the default mail program; it takes the whole
    // message.
    std::optional<bool> handOver(QString *reason) override
    {
        *reason = m_reason;
        const platform::DesktopApplication handler =
            desktop().defaultApplication(QStringLiteral("x-scheme-handler/mailto"));
        if (handler.isNull() || clientKindOf(handler.id, handler.command) != ClientKind::Thunderbird)
            return std::nullopt;
        if (!thunderbirdHasProfile()) {
            //: Follows the sentence that tells why Outlook is not used.
            *reason += QCoreApplication::translate("compose::DesktopFactory",
                                                   " Thunderbird, the default mail program, is not set up yet.");
            return std::nullopt;
        }
        // Only the program is taken from the handler's command, whose own
        // arguments ("-osint -compose %1") are for addresses.
        const QString program = handler.command.first();
        const auto command = [&program](const QStringList &arguments) { return QStringList{program} + arguments; };
        const auto fits = [](const QStringList &line) {
            return line.join(QLatin1Char(' ')).size() <= LongestCommandLine;
        };
        const MailProgram thunderbird{QStringLiteral("Thunderbird"), ClientKind::Thunderbird, command, fits};
        QString why;
        const std::optional<bool> handed = start(thunderbird, m_message, &why);
        if (!handed)
            *reason += u' ' + why;
        return handed;
    }

    QString openDraft(const QString &path, const QString &reason) override
    {
        // Windows opens it with the program it opens e-mail files with
        // (ShellExecute), which takes a draft for a message to edit and send.
        const QString shown = QDir::toNativeSeparators(path);
        if (desktop().openUrl(QUrl::fromLocalFile(path)))
            //: %1 is why the message went to a draft, %2 the draft's file.
            return QCoreApplication::translate("compose::DesktopFactory",
                                               "%1 The message was saved as a draft in \"%2\" and opened with the "
                                               "program for e-mail files.")
                .arg(reason, shown);
        //: %1 is why the message went to a draft, %2 the draft's file.
        return QCoreApplication::translate("compose::DesktopFactory",
                                           "%1 The message was saved as a draft in \"%2\", but no program opens "
                                           "e-mail files here: open it with your mail program to review and send it.")
            .arg(reason, shown);
    }

    QString m_reason; // why Outlook is not used
};

} // namespace

QString mailProgramName(const DesktopMailSetup &setup)
{
    if (outlookRegistered())
        return QStringLiteral("Outlook");
    const platform::DesktopApplication handler =
        completedSetup(setup).desktop->defaultApplication(QStringLiteral("x-scheme-handler/mailto"));
    return !handler.isNull() && clientKindOf(handler.id, handler.command) == ClientKind::Thunderbird
               ? QStringLiteral("Thunderbird")
               : QString();
}

MailClientFactory desktopMailClients(const DesktopMailSetup &given)
{
    const DesktopMailSetup setup = completedSetup(given);
    return [setup](QString *) -> std::unique_ptr<MailClient> {
        QString outlookError;
        if (std::unique_ptr<MailClient> outlook = createDesktopMailClient(&outlookError))
            return outlook;
        const QString reason = withoutOutlook(outlookError);
        return std::make_unique<HandingOverClient>(
            [setup, reason] { return std::make_unique<OtherMailItem>(setup, reason); });
    };
}

} // namespace compose
