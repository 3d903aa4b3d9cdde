#include "platform/codepage.h"

#include "platform/ansitext.h"

namespace platform {

QString fromSystemCodePage(QByteArrayView bytes)
{
    return fromAnsi(bytes);
}

} // namespace platform
