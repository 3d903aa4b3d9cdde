#include "platform/ansitext.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace platform {
namespace {

// Bytes 0x80-0x9F of Windows-1252; the undefined ones keep their own number.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The byte for a character, or -1 when Windows-1252 has none.
int byteFor(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == c)
            return static_cast<int>(0x80 + i);
    }
    return -1;
}

} // namespace

QString fromAnsi(QByteArrayView bytes)
{
    // Latin-1 is right for every byte but 0x80-0x9F; fix those up afterwards,
    // skipping eight bytes at a time where none of them is one.
    QString text = QString::fromLatin1(bytes);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    const char *in = bytes.data();
    const qsizetype size = bytes.size();
    const auto fix = [out, in](qsizetype i) {
        const auto b = static_cast<unsigned char>(in[i]);
        if ((b & 0xE0) == 0x80)
            out[i] = kHighControls[b - 0x80];
    };
    qsizetype i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, in + i, sizeof word);
        // A zero byte here marks a byte whose top three bits are 100.
        const std::uint64_t marks = (word & 0xE0E0E0E0E0E0E0E0ULL) ^ 0x8080808080808080ULL;
        if (((marks - 0x0101010101010101ULL) & ~marks & 0x8080808080808080ULL) == 0)
            continue;
        for (qsizetype j = i; j < i + 8; ++j)
            fix(j);
    }
    for (; i < size; ++i)
        fix(i);
    return text;
}

QByteArray toAnsi(QStringView text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char *out = bytes.data();
    const char16_t *in = text.utf16();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = in[i];
        if (c < 0x80) {
            out[i] = static_cast<char>(c);
            continue;
        }
        const int b = byteFor(c);
        out[i] = static_cast<char>(b < 0 ? '?' : b);
    }
    return bytes;
}

qsizetype firstUnrepresentable(QStringView text)
{
    const char16_t *in = text.utf16();
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (in[i] >= 0x80 && byteFor(in[i]) < 0)
            return i;
    }
    return -1;
}

} // namespace platform
