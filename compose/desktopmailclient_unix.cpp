// The desktop mail client on Linux and other Unix desktops: the desktop's
// default mail program, handed the message on its own command line when it
// can carry all of it and is set up to show it (an HTML body that it cannot
// take as its text, if so chosen), else an unsent draft opened with the
// desktop's program for e-mail files. Nothing is reported as shown
// that the user will not see: every route that cannot show the message says
// why, and the draft route names the program the draft went to. A message
// says "opened in" a program only where that was seen by hand to show the
// draft to edit (Thunderbird 153); Evolution 3.46 shows nothing for a draft
// handed to it, and Claws Mail and Sylpheed cannot write HTML.

#include "compose/clientsetup_unix.h"
#include "compose/compose.h"
#include "compose/handover.h"
#include "compose/htmltext.h"
#include "compose/mailclients.h"
#include "compose/message.h"
#include "compose/tablelaunch.h"
#include "platform/textfile.h"

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

// The desktop's default mail program, or else the first known one that is
// installed; null when there is none.
platform::DesktopApplication mailProgram(platform::Desktop &desktop)
{
    platform::DesktopApplication handler = desktop.defaultApplication(QStringLiteral("x-scheme-handler/mailto"));
    if (!handler.isNull())
        return handler;
    static const char *const known[][2] = {{"thunderbird", "Thunderbird"}, {"evolution", "Evolution"},
                                           {"claws-mail", "Claws Mail"},   {"sylpheed", "Sylpheed"},
                                           {"kmail", "KMail"},             {"geary", "Geary"}};
    for (const auto &program : known) {
        const QString path = desktop.findExecutable(QLatin1String(program[0]));
        if (!path.isEmpty())
            return {QLatin1String(program[0]) + QStringLiteral(".desktop"), QLatin1String(program[1]),
                    {path, QStringLiteral("%u")}, {QStringLiteral("Email")}};
    }
    return handler;
}

// The name the user knows a mail program by.
QString nameOf(const platform::DesktopApplication &program)
{
    const ClientKind kind = clientKindOf(program.id, program.command);
    return kind == ClientKind::Mailto ? program.name : clientName(kind);
}

class DesktopMailItem final : public HandingOverItem
{
public:
    using HandingOverItem::HandingOverItem;

private:
    std::optional<bool> handOver(QString *reason) override
    {
        const platform::DesktopApplication program = mailProgram(desktop());
        if (program.isNull()) {
            *reason = QCoreApplication::translate("compose::DesktopMailClient",
                                                  "No mail program is set up on this desktop.");
            return std::nullopt;
        }
        const ClientKind kind = clientKindOf(program.id, program.command);
        const QString name = nameOf(program);
        if (kind == ClientKind::Mailto && !program.categories.contains(QLatin1String("Email"))) {
            *reason = QCoreApplication::translate("compose::DesktopMailClient",
                                                  "The desktop opens e-mail addresses with %1, which is not a mail "
                                                  "program.")
                          .arg(program.name);
            return std::nullopt;
        }
        Message handed = m_message;
        const QStringList missing = whatCannotBeCarried(kind, handed);
        // A program that cannot take the HTML body alone may take its text,
        // if so chosen; the draft keeps the HTML. A draft chosen beforehand
        // (--draft) is saved whether the program is set up or not.
        const bool htmlAlone = missing == QStringList{QCoreApplication::translate("compose::MailClients", "the HTML body")};
        if (!(htmlAlone && m_setup.htmlFallback == HtmlFallback::Draft)
            && !clientIsSetUp(kind, program.id, m_setup.home, reason))
            return std::nullopt;
        const auto command = [&program](const QStringList &arguments) {
            return platform::commandFor(program, arguments, false);
        };
        const auto fits = [](const QStringList &line) {
            return std::all_of(line.begin(), line.end(),
                               [](const QString &argument) { return argument.size() <= LongestArgument; });
        };
        const MailProgram started{name, kind, command, fits};
        if (!missing.isEmpty()) {
            if (!htmlAlone) {
                *reason = cannotTake(name, missing);
                return std::nullopt;
            }
            const std::optional<HtmlFallback> fallback = htmlFallback(name);
            if (!fallback)
                return false;
            if (*fallback == HtmlFallback::Draft) {
                if (kind == ClientKind::Evolution)
                    return evolutionWithDraft(started);
                m_htmlDraftFor = kind;
                *reason = cannotTake(name, missing);
                return std::nullopt;
            }
            handed.body = htmlToText(handed.body);
            handed.format = BodyFormat::Plain;
        }
        return start(started, handed, reason);
    }

    // Evolution takes no HTML body and no draft from another program. The
    // draft is saved, its HTML beside it (pictures inside), and Evolution's
    // message window is opened with the rest; its own menu puts the HTML in
    // (Evolution 3.46, checked by hand: the picture is sent along).
    std::optional<bool> evolutionWithDraft(const MailProgram &evolution)
    {
        const QString why = cannotTake(evolution.name, {QCoreApplication::translate("compose::MailClients",
                                                                                    "the HTML body")});
        const QString draft = writeDraft(m_message, m_setup.handoverDirectory, why, &m_error);
        if (draft.isEmpty())
            return false;
        const QString html = draft.chopped(4) + QStringLiteral(".html");
        QString error;
        if (!platform::writeWholeFile(html, withPicturesInside(m_message.body).toUtf8(), &error)) {
            //: %1 is why, %2 the draft's file, %3 why its HTML could not be saved beside it.
            m_error = QCoreApplication::translate("compose::DesktopMailClient",
                                                  "%1 The message was saved as a draft in \"%2\", but its HTML could "
                                                  "not be saved beside it. %3")
                          .arg(why, QDir::toNativeSeparators(draft), error);
            return false;
        }
        //: How to put the HTML into Evolution's message window; %1 is the HTML file. The menu's words are Evolution's.
        const QString steps = QCoreApplication::translate("compose::DesktopMailClient",
                                                          "To put the HTML in, choose HTML in the message window's "
                                                          "format list (where it says Plain Text), then Insert > HTML "
                                                          "File... and the file \"%1\".")
                                  .arg(QDir::toNativeSeparators(html));
        Message rest = m_message;
        rest.body.clear();
        rest.format = BodyFormat::Plain;
        QString failed;
        if (start(evolution, rest, &failed).value_or(false)) {
            //: %1 is the draft's file, %2 the steps.
            m_notice = QCoreApplication::translate("compose::DesktopMailClient",
                                                   "The HTML message was saved as a draft in \"%1\". Evolution "
                                                   "cannot be handed an HTML body by another program, so its message "
                                                   "window was opened with the addresses, the subject and the "
                                                   "attachments. %2")
                           .arg(QDir::toNativeSeparators(draft), steps);
            return true;
        }
        //: %1 is why Evolution could not be started, %2 the draft's file, %3 the steps.
        m_notice = QCoreApplication::translate("compose::DesktopMailClient",
                                               "%1 The HTML message was saved as a draft in \"%2\". In a new "
                                               "message in Evolution: %3")
                       .arg(failed, QDir::toNativeSeparators(draft), steps);
        return true;
    }

    QString openDraft(const QString &path, const QString &reason) override
    {
        const QString shown = QDir::toNativeSeparators(path);
        if (m_htmlDraftFor == ClientKind::ClawsMail || m_htmlDraftFor == ClientKind::Sylpheed) {
            //: %1 is the draft's file, %2 the mail program.
            return QCoreApplication::translate("compose::DesktopMailClient",
                                               "The HTML message was saved as a draft in \"%1\". %2 cannot write "
                                               "HTML, so the draft was not opened: sending it as HTML needs a mail "
                                               "program that writes HTML, such as Thunderbird, which opens the draft "
                                               "as a message to edit.")
                .arg(shown, clientName(*m_htmlDraftFor));
        }
        const platform::DesktopApplication opener = desktop().defaultApplication(QStringLiteral("message/rfc822"));
        if (opener.isNull())
            //: %1 is why the message went to a draft, %2 the draft's file.
            return QCoreApplication::translate("compose::DesktopMailClient",
                                               "%1 The message was saved as a draft in \"%2\", but no program on this "
                                               "desktop opens e-mail files: open it with your mail program to review "
                                               "and send it.")
                .arg(reason, shown);
        const ClientKind openerKind = clientKindOf(opener.id, opener.command);
        QString notSetUp;
        if (!clientIsSetUp(openerKind, opener.id, m_setup.home, &notSetUp)) {
            // It would show its setup assistant, not the draft.
            //: %1 is why the message went to a draft, %2 the draft's file.
            return QCoreApplication::translate("compose::DesktopMailClient",
                                               "%1 The message was saved as a draft in \"%2\": open it with your mail "
                                               "program once it is set up.")
                .arg(reason, shown);
        }
        if (openerKind == ClientKind::Evolution) {
            // It shows no window for a draft (it cannot import an e-mail file).
            //: %1 is why the message went to a draft, %2 the draft's file.
            return QCoreApplication::translate("compose::DesktopMailClient",
                                               "%1 The message was saved as a draft in \"%2\". Evolution, the "
                                               "desktop's program for e-mail files, cannot open a draft: open it "
                                               "with your mail program to review and send it.")
                .arg(reason, shown);
        }
        const QStringList command = platform::commandFor(opener, {path}, true);
        const platform::ProgramRun run = desktop().run(command.first(), command.mid(1), m_setup.watchMs);
        if (ranWell(run) && openerKind == ClientKind::Thunderbird)
            //: %1 is why the message went to a draft, %2 the draft's file.
            return QCoreApplication::translate("compose::DesktopMailClient",
                                               "%1 The message was saved as a draft in \"%2\" and opened in "
                                               "Thunderbird.")
                .arg(reason, shown);
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

    std::optional<ClientKind> m_htmlDraftFor; // the program that an HTML draft was saved for
};

} // namespace

QString mailProgramName(const DesktopMailSetup &setup)
{
    const platform::DesktopApplication program = mailProgram(*completedSetup(setup).desktop);
    return program.isNull() ? QString() : nameOf(program);
}

MailClientFactory desktopMailClients(const DesktopMailSetup &given)
{
    const DesktopMailSetup setup = completedSetup(given);
    return [setup](QString *) -> std::unique_ptr<MailClient> {
        return std::make_unique<HandingOverClient>([setup] { return std::make_unique<DesktopMailItem>(setup); });
    };
}

} // namespace compose
