#pragma once

#include "compose/mailclient.h"
#include "store/templateeditor.h"
#include "substitute/pairs.h"

#include <functional>
#include <memory>

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
// plain body or the whole HTML file (Windows-1252), every attachment. The
// editor is read afresh at each step, as the window may change it while it
// processes its events (once per pair in each substitution, once before each
// attachment). Every attachment is checked before the mail client is
// started. A failing step ends the launch at once, nothing is displayed and
// the message says what went wrong; the editor and the pairs are untouched.
LaunchOutcome ComposeEmail(store::TemplateEditor &editor, substitute::PairBoxes &pairs,
                           const MailClientFactory &newApplication);

// The mail client of this desktop: Outlook on Windows; elsewhere Thunderbird,
// or an unsent draft file opened with the default program for e-mail files
// (the item's notice then says where the draft was saved).
std::unique_ptr<MailClient> createDesktopMailClient(QString *errorText);

} // namespace compose
