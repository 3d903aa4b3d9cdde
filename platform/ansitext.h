#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace platform {

// The templates' files are 8-bit Windows-1252 ("ANSI") text. The mapping is
// total and reversible: every byte 0x00-0xFF decodes to one character, and
// the five bytes that Windows-1252 leaves undefined (0x81 0x8D 0x8F 0x90 0x9D)
// decode to the C1 control of the same number, as Windows itself does. So any
// file read and written again comes back byte for byte.
QString fromAnsi(QByteArrayView bytes);

// Encodes text that ansiRepresentable() accepts; any other character becomes '?'.
QByteArray toAnsi(QStringView text);

// Index of the first character that Windows-1252 cannot hold, or -1.
qsizetype firstUnrepresentable(QStringView text);

} // namespace platform
