#pragma once

#include "compose/mailclient.h"
#include "platform/desktop.h"
#include "store/templateeditor.h"
#include "substitute/pairs.h"
#include "substitute/placeholders.h"

#include <functional>
#include <memory>
#include <optional>

namespace compose {

// Makes a new application object of the mail client; null when the client
// cannot be started or reached (errorText then says why).
using MailClientFactory = std::function<std::unique_ptr<MailClient>(QString *errorText)>;

struct LaunchOutcome
{
    bool displayed = false; // the mail item was displayed
    // Shown to the user in a message box when not empty: the error when
    // nothing was displayed, else a notice from the mail client.
    QString message;
};

// Turns the template in the editor into a displayed, unsent mail item: To, CC
// and BCC as typed, subject and body with the find/replace pairs applied, the
// plain body or the whole HTML file (read in its own encoding: decodeHtml,
// the pictures it names by relative paths named by their file: URLs),
// every attachment; the placeholders of all of these filled from values (the
// pairs never reach into a placeholder or its value). The
// editor is read afresh at each step, as the window may change it while it
// processes its events (once per pair in each substitution, once before each
// attachment). Every attachment is checked before the mail client is
// started. A failing step ends the launch at once, nothing is displayed and
// the message says what went wrong (nothing when the user chose to open
// nothing); the editor and the pairs are untouched. Attachment paths and the
// HTML location that are not absolute name files inside dataFolder
// (attachmentpaths.h); an empty dataFolder takes them as they are.
LaunchOutcome ComposeEmail(store::TemplateEditor &editor, substitute::PairBoxes &pairs,
                           const MailClientFactory &newApplication,
                           const substitute::PlaceholderValues &values = {}, const QString &dataFolder = {});

// The questions that a launch of the template in the editor asks, in the
// order of their first appearance in To, CC, BCC, subject, body (the plain
// body, or the HTML file when Plain Text is not selected) and attachments.
// An HTML file that cannot be read has none; the launch reports it.
QStringList TemplateQuestions(const store::TemplateEditor &editor, const QString &dataFolder = {});

// The mail client of this desktop: Outlook on Windows.
std::unique_ptr<MailClient> createDesktopMailClient(QString *errorText);

// What a launch does with an HTML message for a mail program that cannot
// take an HTML body: open it there as plain text (the HTML's text, its
// paragraphs, line breaks and links kept), or save it as an HTML draft.
enum class HtmlFallback { Ask, PlainText, Draft };

// Asks the user which of the two it is to be, naming the mail program;
// nothing when the user cancels, and then nothing is opened.
using HtmlFallbackQuestion = std::function<std::optional<HtmlFallback>(const QString &programName)>;

// Where the desktop mail client finds what it needs. Empty members are the
// desktop's own.
struct DesktopMailSetup
{
    platform::Desktop *desktop = nullptr; // not owned; null: platform::systemDesktop()
    // The folder of the files handed to mail programs (drafts, HTML
    // bodies): one that sandboxed programs can read too. Empty: the
    // "Letterloom" folder in the user's documents folder.
    QString handoverDirectory;
    QString home; // where mail programs keep their settings; empty: the user's home
    int watchMs = 3000; // how long a started mail program is watched for an early error
    // An HTML message for a program that cannot take one: Ask asks
    // askHtmlFallback (the window's question, or the command line's), once
    // per launch; without one to ask, it becomes a draft.
    HtmlFallback htmlFallback = HtmlFallback::Ask;
    HtmlFallbackQuestion askHtmlFallback;
};

// The desktop's mail clients. On Windows, Outlook. Elsewhere, the desktop's
// default mail program as the desktop names it (or, without one, an
// installed Thunderbird, Evolution, Claws Mail, Sylpheed, KMail or Geary),
// driven by its own command line when it can take the whole message and is
// set up to show it (an HTML body that it cannot take goes as the HTML's
// text, or as a draft, as htmlFallback says); otherwise the message is saved
// as an unsent draft that is opened with the desktop's program for e-mail
// files, and the item's notice says why, where the draft is and which
// program it went to. Every program is given the To, CC and BCC boxes'
// addresses as one list (recipients.h).
MailClientFactory desktopMailClients(const DesktopMailSetup &setup = {});

} // namespace compose
