#pragma once

#include "compose/message.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace compose {

// The message as an unsent MIME draft that mail clients open for editing
// (RFC 5322, 2045-2047 and 2231, CR LF line ends), written with Qt alone so
// that every platform builds the same file.
//
// The first header is "Date:", so that file-type detection takes the file
// for a message; then Subject, To, Cc, Bcc, "X-Unsent: 1" (Thunderbird and
// Outlook open such a file as an editable draft) and "MIME-Version: 1.0". No
// From and no Message-ID: the mail client fills them in. The subject is
// encoded words when it is not plain ASCII, folded so that it reads back
// exactly. To, Cc and Bcc list the boxes' addresses (splitRecipients)
// separated by ", ", a display name beyond ASCII as encoded words as a
// whole, never inside quotes. A line break can never reach a header: in a
// header value it becomes a space, and file names are encoded (RFC 2231).
//
// The body is one text/plain or text/html part in UTF-8, quoted-printable.
// The pictures that an HTML body shows from this computer (file: URLs)
// travel with it: the body is then a multipart/related of the HTML, which
// names them by cid: URLs, and the pictures. With attachments the body is
// the first part of a multipart/mixed whose further parts are the files,
// in order, base64, each under its own file name.
// Returns false, and why, when an attachment cannot be read.
bool buildMimeDraft(const Message &message, const QDateTime &date, QByteArray *draft, QString *error);

// Builds the draft and writes it to path, every byte checked; a file that
// could not be written whole is not left behind.
bool saveMimeDraft(const Message &message, const QString &path, QString *error);

} // namespace compose
