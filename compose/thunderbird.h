#pragma once

#include "compose/message.h"

#include <QString>

namespace compose {

// The value of Thunderbird's "-compose" argument for a message:
// "to=...,cc=...,bcc=...,subject=...,format=text,body=..." or, for HTML,
// "...,format=html,message=<messageFile>", then "attachment=<file URLs>".
// Thunderbird splits this text at commas and treats quotes specially, so no
// value is ever quoted: each is percent-encoded, and each attachment is a
// file:// URL whose own special characters are encoded once more before the
// list is encoded as a whole. Empty fields are left out. Plain bodies go
// with LF line ends.
QString thunderbirdComposeArgument(const Message &message, const QString &messageFile);

} // namespace compose
