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
#include "compose/mimedraft.h"
#include "platform/textfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include <optional>

#include <windows.h>
#include <objbase.h>

namespace compose {
namespace {

// CreateProcess takes a command line of at most 32,767 characters.
constexpr qsizetype LongestCommandLine = 30000;

// Why Outlook is not used, for the user.
QString withoutOutlook(const QString &outlookError)
{
    const bool entered = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    CLSID clsid;
    const bool registered = SUCCEEDED(CLSIDFromProgID(L"Outlook.Application", &clsid));
    if (entered)
        CoUninitialize();
    if (!registered)
        return QStringLiteral("Classic Outlook is not installed, and the new Outlook cannot be given a message by "
                              "another program.");
    return outlookError.isEmpty() ? QStringLiteral("Outlook could not be started.") : outlookError;
}

// Thunderbird shows its account assistant, not a message, until it has a
// profile.
bool thunderbirdHasProfile()
{
    const QString appData = qEnvironmentVariable("APPDATA");
    return !appData.isEmpty() && QFileInfo::exists(QDir(appData).filePath(QStringLiteral("Thunderbird/profiles.ini")));
}

class OtherMailItem final : public CollectingMailItem
{
public:
    OtherMailItem(const DesktopMailSetup &setup, QString reason) : m_setup(setup), m_reason(std::move(reason)) {}

    bool display() override
    {
        QString reason = m_reason;
        const std::optional<bool> handed = handToThunderbird(&reason);
        if (handed)
            return *handed;
        return saveDraft(reason);
    }

private:
    platform::Desktop &desktop() const { return *m_setup.desktop; }

    // True when Thunderbird took the message, false on an error reported as
    // it is, nothing when the draft is to be written instead (reason then
    // says why).
    std::optional<bool> handToThunderbird(QString *reason)
    {
        const platform::DesktopApplication handler =
            desktop().defaultApplication(QStringLiteral("x-scheme-handler/mailto"));
        if (handler.isNull() || clientKindOf(handler.id, handler.command) != ClientKind::Thunderbird)
            return std::nullopt;
        if (!thunderbirdHasProfile()) {
            *reason += QStringLiteral(" Thunderbird, the default mail program, is not set up yet.");
            return std::nullopt;
        }
        // Nothing is handed over unless the body's file is complete.
        QString htmlFile;
        if (m_message.isHtml()) {
            htmlFile = writeOutgoingBody(m_setup.handoverDirectory, m_message.body, QStringLiteral("Thunderbird"),
                                         &m_error);
            if (htmlFile.isEmpty())
                return false;
        }
        // Only the program is taken from the handler's command, whose own
        // arguments ("-osint -compose %1") are for addresses.
        const QString program = handler.command.first();
        const QStringList arguments = clientArguments(ClientKind::Thunderbird, m_message, htmlFile);
        if (program.size() + arguments.join(QLatin1Char(' ')).size() > LongestCommandLine) {
            *reason += QStringLiteral(" The message is too long to be handed to Thunderbird directly.");
            if (!htmlFile.isEmpty())
                QFile::remove(htmlFile);
            return std::nullopt;
        }
        const platform::ProgramRun run = desktop().run(program, arguments, m_setup.watchMs);
        if (ranWell(run))
            return true;
        if (!htmlFile.isEmpty())
            QFile::remove(htmlFile);
        *reason += u' ' + runFailure(QStringLiteral("Thunderbird"), run);
        return std::nullopt;
    }

    bool saveDraft(const QString &reason)
    {
        const QString path = writeDraft(m_message, m_setup.handoverDirectory, reason, &m_error);
        if (path.isEmpty())
            return false;
        // Windows opens it with the program it opens e-mail files with
        // (ShellExecute), which takes a draft for a message to edit and send.
        const QString shown = QDir::toNativeSeparators(path);
        if (desktop().openUrl(QUrl::fromLocalFile(path)))
            m_notice = QStringLiteral("%1 The message was saved as a draft in \"%2\" and opened with the program "
                                      "for e-mail files.")
                           .arg(reason, shown);
        else
            m_notice = QStringLiteral("%1 The message was saved as a draft in \"%2\", but no program opens e-mail "
                                      "files here: open it with your mail program to review and send it.")
                           .arg(reason, shown);
        return true;
    }

    DesktopMailSetup m_setup;
    QString m_reason; // why Outlook is not used
};

// Stands in for Outlook's application object where Outlook cannot be made.
class OtherMailClient final : public MailClient
{
public:
    OtherMailClient(const DesktopMailSetup &setup, QString reason) : m_setup(setup), m_reason(std::move(reason)) {}

    std::unique_ptr<MailItem> createItem(int itemType) override
    {
        if (itemType != 0) {
            m_error = QStringLiteral("Only mail items (type 0) can be made.");
            return nullptr;
        }
        return std::make_unique<OtherMailItem>(m_setup, m_reason);
    }
    QString errorString() const override { return m_error; }

private:
    DesktopMailSetup m_setup;
    QString m_reason;
    QString m_error;
};

} // namespace

MailClientFactory desktopMailClients(const DesktopMailSetup &given)
{
    DesktopMailSetup setup = given;
    if (!setup.desktop)
        setup.desktop = &platform::systemDesktop();
    if (setup.handoverDirectory.isEmpty()) {
        QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (documents.isEmpty())
            documents = QDir::homePath();
        setup.handoverDirectory = QDir(documents).filePath(QStringLiteral("Letterloom"));
    }
    return [setup](QString *) -> std::unique_ptr<MailClient> {
        QString outlookError;
        if (std::unique_ptr<MailClient> outlook = createDesktopMailClient(&outlookError))
            return outlook;
        return std::make_unique<OtherMailClient>(setup, withoutOutlook(outlookError));
    };
}

} // namespace compose
