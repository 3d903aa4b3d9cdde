#include "platform/codepage.h"

#include <QStringDecoder>

namespace platform {

QString fromSystemCodePage(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::System, QStringDecoder::Flag::Stateless);
    return decoder.decode(bytes);
}

} // namespace platform
