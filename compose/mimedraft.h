#pragma once

#include "compose/message.h"

#include <QByteArray>
#include <QString>

namespace compose {

// The message as an unsent MIME draft (RFC 5322 / 2045-2047 / 2231, CR LF line
// ends) that mail clients open for editing: "X-Unsent: 1", no From, no
// Message-ID. The subject and non-ASCII address text are encoded words; To,
// CC and BCC otherwise keep their text as typed (a line break becomes a
// space, as a header cannot hold one). The body is one text/plain or
// text/html part in UTF-8; with attachments it is the first part of a
// multipart/mixed whose further parts are the files, in order, base64, each
// under its own file name. Returns false, and why, when a file cannot be read.
bool buildMimeDraft(const Message &message, QByteArray *draft, QString *error);

// Builds the draft and saves it to path in one piece (never half written).
bool saveMimeDraft(const Message &message, const QString &path, QString *error);

} // namespace compose
