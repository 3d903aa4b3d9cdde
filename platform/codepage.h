#pragma once

#include <QByteArrayView>
#include <QString>

namespace platform {

// Text in the system's 8-bit code page: on Windows the code page the system
// is set to (CP_ACP); elsewhere, where there is none, Windows-1252.
QString fromSystemCodePage(QByteArrayView bytes);

// A text file in the encoding its bytes tell, as the program reads files
// that other programs wrote: a byte-order mark (UTF-8, UTF-16, UTF-32)
// decides and is left out, else UTF-8 when the bytes are valid UTF-8, else
// the system's code page.
QString decodeText(QByteArrayView bytes);

} // namespace platform
