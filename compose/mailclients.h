#pragma once

#include "compose/message.h"

#include <QString>
#include <QStringList>

namespace compose {

// The mail programs whose command lines Letterloom knows, and every other
// handler of mailto: addresses.
enum class ClientKind { Thunderbird, Evolution, KMail, ClawsMail, Sylpheed, Geary, Mailto };

// What a mail program can take from a command line.
struct ClientAbilities
{
    bool cc = true;
    bool bcc = true;
    bool htmlBody = false;
    bool attachments = false;
};

ClientAbilities abilitiesOf(ClientKind kind);

// The program's name as the user knows it ("Claws Mail").
QString clientName(ClientKind kind);

// The kind of a program, from its desktop entry's name
// ("org.mozilla.Thunderbird.desktop") or from the program that its command
// starts (".../claws-mail", "flatpak run --command=thunderbird ..."). Forks
// with Thunderbird's command line (Betterbird, Icedove) count as Thunderbird.
ClientKind clientKindOf(const QString &desktopId, const QStringList &command);

// What of the message a program of this kind cannot take, as a list of
// words for the user ("the HTML body", "the attachments"); empty when it
// takes everything.
QStringList whatCannotBeCarried(ClientKind kind, const Message &message);

// The arguments that hand the message to a program of this kind, each to be
// passed as one argument, unchanged. The To, CC and BCC boxes go as lists of
// addresses separated by ", " (addressList), whatever separated them in the
// box; KMail takes each To address as an argument of its own:
//   Thunderbird  -compose "to=...,cc=...,format=html,message=<file>,attachment=<file URLs>"
//   Evolution, Geary, any other handler   mailto:TO?cc=..&bcc=..&subject=..&body=..&attach=PATH...
//   Claws Mail, Sylpheed   --compose mailto:TO?cc=..&bcc=..&subject=..&body=.. --attach PATH...
//   KMail        --composer -s SUBJECT -c CC -b BCC --body BODY --attach PATH... -- TO...
// htmlFile is the file that holds the HTML body (Thunderbird only).
QStringList clientArguments(ClientKind kind, const Message &message, const QString &htmlFile);

// A mailto: address (RFC 6068) with every value percent-encoded (a "+"
// too, which some programs read as a space), empty fields left out, line
// ends as LF. withAttachments adds one "attach=<path>" per file, which
// Evolution and Geary read.
QString mailtoUrl(const Message &message, bool withAttachments);

} // namespace compose
