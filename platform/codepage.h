#pragma once

#include <QByteArrayView>
#include <QString>

namespace platform {

// Text in the system's 8-bit code page: on Windows the code page the system
// is set to (CP_ACP); elsewhere, where there is none, Windows-1252.
QString fromSystemCodePage(QByteArrayView bytes);

} // namespace platform
