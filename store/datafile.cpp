#include "store/datafile.h"

#include "platform/ansitext.h"
#include "platform/storedtext.h"
#include "store/names.h"

#include <QCoreApplication>

namespace store {

DataLines DataLines::split(const QByteArray &bytes)
{
    DataLines data;
    qsizetype start = 0;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        data.mark = bytes.left(3);
        start = 3;
    }
    for (qsizetype lf = bytes.indexOf('\n', start); lf >= 0; lf = bytes.indexOf('\n', start)) {
        const bool crlf = lf > start && bytes.at(lf - 1) == '\r';
        data.lines.append(bytes.mid(start, lf - start - (crlf ? 1 : 0)));
        data.ends.append(crlf ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n"));
        start = lf + 1;
    }
    data.tail = bytes.mid(start);
    return data;
}

QByteArray DataLines::joined() const
{
    qsizetype size = mark.size() + tail.size();
    for (qsizetype i = 0; i < lines.size(); ++i)
        size += lines.at(i).size() + ends.at(i).size();
    QByteArray bytes;
    bytes.reserve(size);
    bytes += mark;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        bytes += lines.at(i);
        bytes += ends.at(i);
    }
    return bytes + tail;
}

QByteArray DataLines::newLineEnd() const
{
    return ends.isEmpty() ? QByteArrayLiteral("\r\n") : ends.last();
}

void DataLines::replace(qsizetype i, const QByteArray &line)
{
    lines[i] = line;
    ends[i] = newLineEnd();
}

void DataLines::insert(qsizetype i, const QByteArray &line)
{
    const QByteArray end = newLineEnd();
    lines.insert(i, line);
    ends.insert(i, end);
}

void DataLines::removeAt(qsizetype i)
{
    lines.removeAt(i);
    ends.removeAt(i);
}

bool LineReading::isAnsi(QByteArrayView line) const
{
    if (!platform::isNonAsciiUtf8(line))
        return true;
    if (!bodyExists)
        return false;
    const qsizetype tab = line.indexOf('\t');
    const QByteArrayView name = tab < 0 ? line : line.first(tab);
    return !bodyExists(TemplateName(platform::fromUtf8(name))) && bodyExists(TemplateName(platform::fromAnsi(name)));
}

QString LineReading::decode(QByteArrayView line) const
{
    return isAnsi(line) ? platform::fromAnsi(line) : platform::fromUtf8(line);
}

QByteArray LineReading::encode(QStringView text, bool ansi) const
{
    if (ansi && platform::firstUnrepresentable(text) < 0) {
        const QByteArray bytes = platform::toAnsi(text);
        if (decode(bytes) == text)
            return bytes;
    }
    return platform::encodeLine(text);
}

QByteArray LineReading::renamed(const QByteArray &line, const QString &name) const
{
    const qsizetype tab = line.indexOf('\t');
    const QString text = decode(line);
    const QString wanted = TemplateName(name) + text.mid(text.indexOf(QLatin1Char('\t')));
    const bool ansi = isAnsi(line);
    if (!ansi || platform::firstUnrepresentable(TemplateName(name)) < 0) {
        const QByteArray kept = (ansi ? platform::toAnsi(TemplateName(name)) : TemplateName(name).toUtf8()) + line.mid(tab);
        if (decode(kept) == wanted)
            return kept;
    }
    return wanted.toUtf8();
}

std::optional<StoredLine> DataLines::read(qsizetype i) const
{
    return ReadStoredLine(lines.at(i), reading);
}

std::optional<StoredLine> ReadStoredLine(const QByteArray &bytes, const LineReading &reading)
{
    if (!bytes.contains('\t'))
        return std::nullopt;
    StoredLine line;
    line.bytes = bytes;
    line.text = reading.decode(bytes);
    line.name = line.text.section(QLatin1Char('\t'), 0, 0);
    line.subject = line.text.section(QLatin1Char('\t'), 1, 1);
    line.key = NameKey(line.name);
    return line;
}

} // namespace store
