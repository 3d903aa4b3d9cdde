#include "platform/storedtext.h"

#include "platform/ansitext.h"
#include <QStringDecoder>

namespace platform {
namespace {

const QByteArray kUtf8Mark("\xEF\xBB\xBF");

bool fitsWindows1252(QStringView text)
{
    return firstUnrepresentable(text) < 0;
}

} // namespace

namespace {

// The length of the valid UTF-8 sequence (shortest form, no surrogates) at
// in[i] of a character of 0x80 or above, or 0 when there is none.
int utf8SequenceAt(const unsigned char *in, qsizetype i, qsizetype size)
{
    const unsigned char b = in[i];
    int extra = 0;
    char32_t least = 0;
    char32_t c = 0;
    if (b >= 0xC2 && b <= 0xDF)
        extra = 1, least = 0x80, c = b & 0x1F;
    else if (b >= 0xE0 && b <= 0xEF)
        extra = 2, least = 0x800, c = b & 0x0F;
    else if (b >= 0xF0 && b <= 0xF4)
        extra = 3, least = 0x10000, c = b & 0x07;
    else
        return 0;
    if (i + extra >= size)
        return 0;
    for (int k = 1; k <= extra; ++k) {
        if ((in[i + k] & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (in[i + k] & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return extra + 1;
}

// UTF-8, where each byte that is no part of a valid sequence is its
// Windows-1252 character: a UTF-8 file that a Windows-1252 tool appended to.
QString fromUtf8OrAnsi(QByteArrayView bytes)
{
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    QString text;
    text.reserve(bytes.size());
    for (qsizetype i = 0, run = 0; i <= bytes.size(); ++i) {
        const int length = i < bytes.size() && in[i] >= 0x80 ? utf8SequenceAt(in, i, bytes.size()) : -1;
        if (length == 0 || i == bytes.size()) {
            text += fromUtf8(bytes.sliced(run, i - run));
            if (i < bytes.size())
                text += fromAnsi(bytes.sliced(i, 1));
            run = i + 1;
        } else if (length > 0) {
            i += length - 1;
        }
    }
    return text;
}

} // namespace

QString fromUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

bool isNonAsciiUtf8(QByteArrayView bytes)
{
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    bool nonAscii = false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (in[i] < 0x80)
            continue;
        const int length = utf8SequenceAt(in, i, bytes.size());
        if (length == 0)
            return false;
        nonAscii = true;
        i += length - 1;
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
    return isNonAsciiUtf8(bytes) ? fromUtf8(bytes) : fromAnsi(bytes);
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
        return fromUtf8OrAnsi(bytes.sliced(kUtf8Mark.size()));
    return decodeLine(bytes);
}

QByteArray encodeBody(QStringView text)
{
    if (fitsWindows1252(text)) {
        QByteArray bytes = toAnsi(text);
        if (!bytes.startsWith(kUtf8Mark) && !isNonAsciiUtf8(bytes))
            return bytes;
    }
    return kUtf8Mark + text.toUtf8();
}

} // namespace platform
