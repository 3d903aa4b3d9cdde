#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace store {

// The data file's name; found whatever its letter case.
inline QString DataFileName()
{
    return QStringLiteral("MainData.txt");
}

// The data file as lines of bytes, each without its CR LF, and what follows
// the last CR LF (an unfinished line, which is no template), so that it is
// written back exactly as it was read.
struct DataLines
{
    QList<QByteArray> lines;
    QByteArray tail;

    static DataLines split(const QByteArray &bytes);
    QByteArray joined() const;
};

// A stored line that holds a template (it has a TAB), read.
struct StoredLine
{
    QByteArray bytes;
    QString text;    // decoded
    QString name;    // field 1, as stored
    QString subject; // field 2
    QString key;     // NameKey(name)
};
std::optional<StoredLine> ReadStoredLine(const QByteArray &bytes);

} // namespace store
