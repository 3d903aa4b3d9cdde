#include "platform/storedtext.h"

#include "platform/ansitext.h"

namespace platform {
namespace {

const QByteArray kUtf8Mark("\xEF\xBB\xBF");

bool fitsWindows1252(QStringView text)
{
    return firstUnrepresentable(text) < 0;
}

} // namespace

bool isNonAsciiUtf8(QByteArrayView bytes)
{
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype size = bytes.size();
    bool nonAscii = false;
    for (qsizetype i = 0; i < size;) {
        const unsigned char b = in[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        nonAscii = true;
        int extra = 0;
        char32_t least = 0;
        char32_t c = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            extra = 1, least = 0x80, c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2, least = 0x800, c = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3, least = 0x10000, c = b & 0x07;
        } else {
            return false;
        }
        if (i + extra >= size)
            return false;
        for (int k = 1; k <= extra; ++k) {
            if ((in[i + k] & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (in[i + k] & 0x3F);
        }
        if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return nonAscii;
}

bool holdsBrokenCharacter(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return true;
    }
    return false;
}

QString decodeLine(QByteArrayView bytes)
{
    return isNonAsciiUtf8(bytes) ? QString::fromUtf8(bytes) : fromAnsi(bytes);
}

QByteArray encodeLine(QStringView text)
{
    if (fitsWindows1252(text)) {
        QByteArray bytes = toAnsi(text);
        if (!isNonAsciiUtf8(bytes))
            return bytes;
    }
    return text.toUtf8();
}

QString decodeBody(QByteArrayView bytes)
{
    if (bytes.startsWith(kUtf8Mark))
        return QString::fromUtf8(bytes.sliced(kUtf8Mark.size()));
    return fromAnsi(bytes);
}

QByteArray encodeBody(QStringView text)
{
    if (fitsWindows1252(text)) {
        QByteArray bytes = toAnsi(text);
        if (!bytes.startsWith(kUtf8Mark))
            return bytes;
    }
    return kUtf8Mark + text.toUtf8();
}

} // namespace platform
