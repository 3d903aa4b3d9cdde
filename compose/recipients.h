#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace compose {

// One address of a To, CC or BCC box.
struct Recipient
{
    QString name;    // the display name, unquoted ("Doe, John"); empty when there is none
    QString address; // the address itself ("john@example.com"), or the piece as typed when it has no <...>
    bool angled = false; // typed as name <address>

    bool operator==(const Recipient &other) const
    {
        return name == other.name && address == other.address && angled == other.angled;
    }
};

// The addresses of a box, in order. They may be separated by "," or ";" or
// both, and spaces around them do not count. A display name in double
// quotes may hold either separator ("\"Doe, John\" <john@example.com>" is
// one address), and so may the text between < and > and a comment in
// parentheses. A piece without "@" belongs to the next one, separator and
// all: "Doe, John <john@example.com>" is one address named "Doe, John". A
// piece without "@" at the end stands alone (a name the mail program may
// resolve). Empty pieces are dropped.
QList<Recipient> splitRecipients(const QString &text);

// A display name as RFC 5322 writes it in front of an address: as it is
// when it is words, else in double quotes with backslashes before quotes and
// backslashes. Letters beyond ASCII are kept as they are.
QString displayNameText(const QString &name);

// A recipient as RFC 5322 writes one mailbox: the address alone, or the
// display name (quoted when it holds anything but words) and the address in
// < >. Letters beyond ASCII are kept as they are.
QString mailboxText(const Recipient &recipient);

// The addresses of a box as one list that mail programs and RFC 6068
// mailto: addresses read: each mailbox as mailboxText writes it, joined by
// ", ".
QString addressList(const QString &text);

// The mailboxes of a box, each as mailboxText writes it.
QStringList mailboxes(const QString &text);

} // namespace compose
