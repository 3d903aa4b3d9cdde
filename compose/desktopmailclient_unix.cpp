// The desktop mail client on Linux and other Unix desktops: the desktop's
// default mail program, handed the message on its own command line when it
// can carry all of it and is set up to show it (an HTML body that it cannot
// take as its text, if so chosen), else an unsent draft opened with the
// desktop's program for e-mail files. Nothing is reported as shown
// that the user will not see: every route that cannot show the message says
// why, and the draft route names the program the draft went to.

#include "compose/clientsetup_unix.h"
#include "compose/compose.h"
#include "compose/handover.h"
#include "compose/htmltext.h"
#include "compose/mailclients.h"
#include "compose/message.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>
#include <optional>

namespace compose {
namespace {

// Linux refuses any one argument longer than 128 KiB.
constexpr qsizetype LongestArgument = 120 * 1024;

QString joinedWords(const QStringList &words)
{
    if (words.size() < 2)
        return words.value(0);
    //: Joins a list of things: %1 is all but the last, separated by ", ", %2 the last.
    return QCoreApplication::translate("compose::DesktopMailClient", "%1 and %2")
        .arg(QStringList(words.mid(0, words.size() - 1)).join(QStringLiteral(", ")), words.last());
}

// The reason for the draft route when a program cannot take all of the
// message.
QString cannotTake(const QString &name, const QStringList &missing)
{
    //: %1 is a mail program, %2 what it cannot take ("the CC addresses and the attachments").
    return QCoreApplication::translate("compose::DesktopMailClient", "%1 cannot be handed %2 from another program.")
        .arg(name, joinedWords(missing));
}

class DesktopMailItem final : public HandingOverItem
{
public:
    using HandingOverItem::HandingOverItem;

private:
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

    std::optional<bool> handOver(QString *reason) override
    {
        const platform::DesktopApplication program = mailProgram();
        if (program.isNull()) {
            *reason = QCoreApplication::translate("compose::DesktopMailClient",
                                                  "No mail program is set up on this desktop.");
            return std::nullopt;
        }
        const ClientKind kind = clientKindOf(program.id, program.command);
        const QString name = kind == ClientKind::Mailto ? program.name : clientName(kind);
        if (kind == ClientKind::Mailto && !program.categories.contains(QLatin1String("Email"))) {
            *reason = QCoreApplication::translate("compose::DesktopMailClient",
                                                  "The desktop opens e-mail addresses with %1, which is not a mail "
                                                  "program.")
                          .arg(program.name);
            return std::nullopt;
        }
        if (!clientIsSetUp(kind, program.id, m_setup.home, reason)) {
            m_notSetUp = kind;
            return std::nullopt;
        }
        Message handed = m_message;
        const QStringList missing = whatCannotBeCarried(kind, handed);
        if (!missing.isEmpty()) {
            // A program that cannot take the HTML body alone may take its
            // text, if so chosen; the draft keeps the HTML.
            if (missing != QStringList{QCoreApplication::translate("compose::MailClients", "the HTML body")}) {
                *reason = cannotTake(name, missing);
                return std::nullopt;
            }
            const std::optional<HtmlFallback> fallback = htmlFallback(name);
            if (!fallback)
                return false;
            if (*fallback == HtmlFallback::Draft) {
                *reason = cannotTake(name, missing);
                return std::nullopt;
            }
            handed.body = htmlToText(handed.body);
            handed.format = BodyFormat::Plain;
        }
        const auto command = [&program](const QStringList &arguments) {
            return platform::commandFor(program, arguments, false);
        };
        const auto fits = [](const QStringList &line) {
            return std::all_of(line.begin(), line.end(),
                               [](const QString &argument) { return argument.size() <= LongestArgument; });
        };
        const MailProgram started{name, kind, command, fits};
        return start(started, handed, reason);
    }

    QString openDraft(const QString &path, const QString &reason) override
    {
        const QString shown = QDir::toNativeSeparators(path);
        const platform::DesktopApplication opener = desktop().defaultApplication(QStringLiteral("message/rfc822"));
        if (opener.isNull())
            //: %1 is why the message went to a draft, %2 the draft's file.
            return QCoreApplication::translate("compose::DesktopMailClient",
                                               "%1 The message was saved as a draft in \"%2\", but no program on this "
                                               "desktop opens e-mail files: open it with your mail program to review "
                                               "and send it.")
                .arg(reason, shown);
        if (m_notSetUp && clientKindOf(opener.id, opener.command) == *m_notSetUp) {
            // It would show its setup assistant, not the draft.
            //: %1 is why the message went to a draft, %2 the draft's file.
            return QCoreApplication::translate("compose::DesktopMailClient",
                                               "%1 The message was saved as a draft in \"%2\": open it with your mail "
                                               "program once it is set up.")
                .arg(reason, shown);
        }
        const QStringList command = platform::commandFor(opener, {path}, true);
        const platform::ProgramRun run = desktop().run(command.first(), command.mid(1), m_setup.watchMs);
        if (ranWell(run))
            //: %1 is why the message went to a draft, %2 the draft's file, %3 the program that opened it.
            return QCoreApplication::translate("compose::DesktopMailClient",
                                               "%1 The message was saved as a draft in \"%2\" and handed to %3, the "
                                               "desktop's program for e-mail files.")
                .arg(reason, shown, opener.name);
        //: %1 is why the message went to a draft, %2 the draft's file, %3 why it could not be opened.
        return QCoreApplication::translate("compose::DesktopMailClient",
                                           "%1 The message was saved as a draft in \"%2\", but it could not be "
                                           "opened: %3 Open it with your mail program to review and send it.")
            .arg(reason, shown, runFailure(opener.name, run));
    }

    std::optional<ClientKind> m_notSetUp; // the mail program that is not set up yet
};

} // namespace

MailClientFactory desktopMailClients(const DesktopMailSetup &given)
{
    const DesktopMailSetup setup = completedSetup(given);
    return [setup](QString *) -> std::unique_ptr<MailClient> {
        return std::make_unique<HandingOverClient>([setup] { return std::make_unique<DesktopMailItem>(setup); });
    };
}

} // namespace compose
