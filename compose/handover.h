#pragma once

#include "compose/compose.h"
#include "compose/mailclients.h"
#include "compose/message.h"
#include "platform/desktop.h"

#include <QString>

#include <functional>
#include <optional>

// What the desktop mail clients of every system share when they hand a
// message to a mail program or save it as a draft.
namespace compose {

// A file name in dir that is not taken yet: stem, the time, the process id
// (so that two running copies never choose the same name in the same
// millisecond), suffix.
QString freshFileName(const QString &dir, const QString &stem, const QString &suffix);

// Whether a started mail program took the message: it still runs, or it
// handed the message to a copy that runs and ended without an error.
bool ranWell(const platform::ProgramRun &run);

// Why a started mail program did not take the message, naming it.
QString runFailure(const QString &name, const platform::ProgramRun &run);

// Writes an HTML body, UTF-8, into the folder "Outgoing" of the hand-over
// folder for a mail program to read, checked to its last byte; bodies of
// earlier days there are removed. The file's path, or an empty text and the
// reason, naming the program.
QString writeOutgoingBody(const QString &handoverDirectory, const QString &html, const QString &programName,
                          QString *error);

// Saves the message as an unsent draft in the folder "Drafts" of the
// hand-over folder. The draft's path, or an empty text and error: reason,
// then why the draft could not be saved either.
QString writeDraft(const Message &message, const QString &handoverDirectory, const QString &reason,
                   QString *error);

// The setup with its empty members filled: the system's desktop, the
// "Letterloom" folder in the user's documents folder (not a hidden folder:
// Flatpak and snap mail programs cannot read those), the user's home.
DesktopMailSetup completedSetup(const DesktopMailSetup &given);

// A mail item that hands the message to a mail program when it can, and
// else saves it as an unsent draft and opens that for the user: the
// desktop mail client of Linux, and Windows' where there is no Outlook.
class HandingOverItem : public CollectingMailItem
{
public:
    explicit HandingOverItem(DesktopMailSetup setup) : m_setup(std::move(setup)) {}

    bool display() final;
    bool cancelled() const final { return m_cancelled; }

protected:
    // Hands the message to the mail program: true when it took it, false on
    // an error that is reported as it is (m_error) or when the user chose
    // to open nothing (m_cancelled), nothing when the draft is to be saved
    // instead (reason then says why).
    virtual std::optional<bool> handOver(QString *reason) = 0;

    // Opens the saved draft for the user, if it can; the notice for the
    // user, which gives the reason and says where the draft is.
    virtual QString openDraft(const QString &path, const QString &reason) = 0;

    // A mail program to start, and how.
    struct MailProgram
    {
        QString name; // as the user knows it
        ClientKind kind;
        // The program and its arguments, for the message's arguments.
        std::function<QStringList(const QStringList &arguments)> command;
        // Whether the system can start that command.
        std::function<bool(const QStringList &command)> fits;
    };

    // Starts the program with the message on its command line, the HTML
    // body's file written first, its pictures inside it (nothing is handed
    // over unless it is complete): the result as handOver() gives it.
    std::optional<bool> start(const MailProgram &program, const Message &message, QString *reason);

    // For a program that cannot take the HTML body, what the launch does
    // instead, as the setup says or the user answers; nothing when the user
    // chose to open nothing.
    std::optional<HtmlFallback> htmlFallback(const QString &programName);

    platform::Desktop &desktop() const { return *m_setup.desktop; }

    DesktopMailSetup m_setup;
    bool m_cancelled = false;
};

// The application object of such items.
class HandingOverClient final : public MailClient
{
public:
    using NewItem = std::function<std::unique_ptr<MailItem>()>;
    explicit HandingOverClient(NewItem newItem) : m_newItem(std::move(newItem)) {}

    std::unique_ptr<MailItem> createItem(int itemType) override;
    QString errorString() const override { return m_error; }

private:
    NewItem m_newItem;
    QString m_error;
};

} // namespace compose
