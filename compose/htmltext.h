#pragma once

#include <QByteArray>
#include <QString>

namespace compose {

// The text of a saved HTML file, in the encoding the file itself tells: a
// byte-order mark (UTF-8, UTF-16, UTF-32) first, then the charset it
// declares near its start (<meta charset="..."> or <meta http-equiv=
// "Content-Type" content="...; charset=...">), then UTF-8 when the bytes
// are valid UTF-8, else the system's code page (Windows-1252 where there is
// none, as on Linux). A declared charset that Qt cannot decode, or a
// declared UTF-16 without a mark (a file read as bytes cannot be that), is
// passed over; "iso-8859-1" and "us-ascii" are read as Windows-1252, as
// browsers do.
QString decodeHtml(const QByteArray &bytes);

// The charset that the file declares in its first 1024 bytes, in lower
// case, or empty.
QByteArray declaredCharset(const QByteArray &bytes);

} // namespace compose
