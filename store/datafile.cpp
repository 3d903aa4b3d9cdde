#include "store/datafile.h"

#include "platform/storedtext.h"
#include "store/names.h"

#include <QCoreApplication>

namespace store {

DataLines DataLines::split(const QByteArray &bytes)
{
    DataLines data;
    qsizetype start = 0;
    for (qsizetype crlf = bytes.indexOf("\r\n"); crlf >= 0; crlf = bytes.indexOf("\r\n", start)) {
        data.lines.append(bytes.mid(start, crlf - start));
        start = crlf + 2;
    }
    data.tail = bytes.mid(start);
    return data;
}

QByteArray DataLines::joined() const
{
    qsizetype size = tail.size();
    for (const QByteArray &line : lines)
        size += line.size() + 2;
    QByteArray bytes;
    bytes.reserve(size);
    for (const QByteArray &line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    return bytes + tail;
}

std::optional<StoredLine> ReadStoredLine(const QByteArray &bytes)
{
    if (!bytes.contains('\t'))
        return std::nullopt;
    StoredLine line;
    line.bytes = bytes;
    line.text = platform::decodeLine(bytes);
    line.name = line.text.section(QLatin1Char('\t'), 0, 0);
    line.subject = line.text.section(QLatin1Char('\t'), 1, 1);
    line.key = NameKey(line.name);
    return line;
}

} // namespace store
