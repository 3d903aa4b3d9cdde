// The desktop mail client on Linux and other Unix desktops: the desktop's
// default mail program, handed the message on its own command line when it
// can carry all of it and is set up to show it, else an unsent draft opened
// with the desktop's program for e-mail files. Nothing is reported as shown
// that the user will not see: every route that cannot show the message says
// why, and the draft route names the program the draft went to.

#include "compose/clientsetup_unix.h"
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

namespace compose {
namespace {

// Linux refuses any one argument longer than 128 KiB.
constexpr qsizetype LongestArgument = 120 * 1024;

QString joinedWords(const QStringList &words)
{
    if (words.size() < 2)
        return words.value(0);
    return QStringList(words.mid(0, words.size() - 1)).join(QStringLiteral(", ")) + QStringLiteral(" and ")
           + words.last();
}

class DesktopMailItem final : public CollectingMailItem
{
public:
    explicit DesktopMailItem(const DesktopMailSetup &setup) : m_setup(setup) {}

    bool display() override
    {
        QString reason;
        const std::optional<bool> handed = handToMailProgram(&reason);
        if (handed)
            return *handed;
        return saveDraft(reason);
    }

private:
    platform::Desktop &desktop() const { return *m_setup.desktop; }

    // The desktop's default mail program, or else the first known one that
    // is installed; null when there is none.
    platform::DesktopApplication mailProgram() const
    {
        platform::DesktopApplication handler =
            desktop().defaultApplication(QStringLiteral("x-scheme-handler/mailto"));
        if (!handler.isNull())
            return handler;
        static const char *const known[][2] = {{"thunderbird", "Thunderbird"}, {"evolution", "Evolution"},
                                               {"claws-mail", "Claws Mail"},   {"sylpheed", "Sylpheed"},
                                               {"kmail", "KMail"},             {"geary", "Geary"}};
        for (const auto &program : known) {
            const QString path = desktop().findExecutable(QLatin1String(program[0]));
            if (!path.isEmpty())
                return {QLatin1String(program[0]) + QStringLiteral(".desktop"), QLatin1String(program[1]),
                        {path, QStringLiteral("%u")}, {QStringLiteral("Email")}};
        }
        return handler;
    }

    // Hands the message to the mail program: true when it was, false on an
    // error that is reported as it is, nothing when the draft route is to
    // be taken instead (reason then says why).
    std::optional<bool> handToMailProgram(QString *reason)
    {
        const platform::DesktopApplication program = mailProgram();
        if (program.isNull()) {
            *reason = QStringLiteral("No mail program is set up on this desktop.");
            return std::nullopt;
        }
        const ClientKind kind = clientKindOf(program.id, program.command);
        const QString name = kind == ClientKind::Mailto ? program.name : clientName(kind);
        if (kind == ClientKind::Mailto && !program.categories.contains(QLatin1String("Email"))) {
            *reason = QStringLiteral("The desktop opens e-mail addresses with %1, which is not a mail program.")
                          .arg(program.name);
            return std::nullopt;
        }
        const QStringList missing = whatCannotBeCarried(kind, m_message);
        if (!missing.isEmpty()) {
            *reason = QStringLiteral("%1 cannot be handed %2 from another program.").arg(name, joinedWords(missing));
            return std::nullopt;
        }
        if (!clientIsSetUp(kind, program.id, m_setup.home, reason)) {
            m_notSetUp = kind;
            return std::nullopt;
        }

        // Nothing is handed over unless the body's file is complete.
        QString htmlFile;
        if (m_message.isHtml()) {
            htmlFile = writeOutgoingBody(m_setup.handoverDirectory, m_message.body, name, &m_error);
            if (htmlFile.isEmpty())
                return false;
        }
        const QStringList arguments = clientArguments(kind, m_message, htmlFile);
        for (const QString &argument : arguments) {
            if (argument.size() > LongestArgument) {
                *reason = QStringLiteral("The message is too long to be handed to %1 directly.").arg(name);
                if (!htmlFile.isEmpty())
                    QFile::remove(htmlFile);
                return std::nullopt;
            }
        }
        const QStringList command = platform::commandFor(program, arguments, false);
        const platform::ProgramRun run = desktop().run(command.first(), command.mid(1), m_setup.watchMs);
        if (ranWell(run))
            return true;
        if (!htmlFile.isEmpty())
            QFile::remove(htmlFile);
        *reason = runFailure(name, run);
        return std::nullopt;
    }

    bool saveDraft(const QString &reason)
    {
        const QString path = writeDraft(m_message, m_setup.handoverDirectory, reason, &m_error);
        if (path.isEmpty())
            return false;
        const QString shown = QDir::toNativeSeparators(path);
        const platform::DesktopApplication opener = desktop().defaultApplication(QStringLiteral("message/rfc822"));
        if (opener.isNull()) {
            m_notice = QStringLiteral("%1 The message was saved as a draft in \"%2\", but no program on this desktop "
                                      "opens e-mail files: open it with your mail program to review and send it.")
                           .arg(reason, shown);
            return true;
        }
        if (m_notSetUp && clientKindOf(opener.id, opener.command) == *m_notSetUp) {
            // It would show its setup assistant, not the draft.
            m_notice = QStringLiteral("%1 The message was saved as a draft in \"%2\": open it with your mail program "
                                      "once it is set up.")
                           .arg(reason, shown);
            return true;
        }
        const QStringList command = platform::commandFor(opener, {path}, true);
        const platform::ProgramRun run = desktop().run(command.first(), command.mid(1), m_setup.watchMs);
        if (ranWell(run))
            m_notice = QStringLiteral("%1 The message was saved as a draft in \"%2\" and handed to %3, the "
                                      "desktop's program for e-mail files.")
                           .arg(reason, shown, opener.name);
        else
            m_notice = QStringLiteral("%1 The message was saved as a draft in \"%2\", but it could not be opened: %3 "
                                      "Open it with your mail program to review and send it.")
                           .arg(reason, shown, runFailure(opener.name, run));
        return true;
    }

    DesktopMailSetup m_setup;
    std::optional<ClientKind> m_notSetUp; // the mail program that is not set up yet
};

class DesktopMailClient final : public MailClient
{
public:
    explicit DesktopMailClient(const DesktopMailSetup &setup) : m_setup(setup) {}

    std::unique_ptr<MailItem> createItem(int itemType) override
    {
        if (itemType != 0) {
            m_error = QStringLiteral("Only mail items (type 0) can be made.");
            return nullptr;
        }
        return std::make_unique<DesktopMailItem>(m_setup);
    }
    QString errorString() const override { return m_error; }

private:
    DesktopMailSetup m_setup;
    QString m_error;
};

} // namespace

MailClientFactory desktopMailClients(const DesktopMailSetup &given)
{
    DesktopMailSetup setup = given;
    if (!setup.desktop)
        setup.desktop = &platform::systemDesktop();
    if (setup.handoverDirectory.isEmpty()) {
        // Not a hidden folder: Flatpak and snap mail programs cannot read those.
        QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (documents.isEmpty())
            documents = QDir::homePath();
        setup.handoverDirectory = QDir(documents).filePath(QStringLiteral("Letterloom"));
    }
    if (setup.home.isEmpty())
        setup.home = QDir::homePath();
    return [setup](QString *) -> std::unique_ptr<MailClient> { return std::make_unique<DesktopMailClient>(setup); };
}

} // namespace compose
