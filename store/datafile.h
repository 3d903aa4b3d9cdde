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

// The data file as lines of bytes, each without its line end, with each
// line's own end (CR LF as Windows writes it, or LF alone as git, dos2unix
// and Linux editors leave it; a lone CR ends no line), a byte-order mark at
// its start, and what follows the last line end (an unfinished line, which
// is no template), so that it is written back exactly as it was read.
struct DataLines
{
    QByteArray mark; // the byte-order mark EF BB BF the file begins with, or none
    QList<QByteArray> lines;
    QList<QByteArray> ends; // each line's own end, "\r\n" or "\n"
    QByteArray tail;

    static DataLines split(const QByteArray &bytes);
    QByteArray joined() const;

    // The end of a line this program adds or rewrites: the file's last
    // line's, so that a file never comes to mix the two (the earlier Windows
    // program splits at CR LF only, and would read an LF part as one line);
    // CR LF in a file without lines.
    QByteArray newLineEnd() const;
    void replace(qsizetype i, const QByteArray &line);
    void insert(qsizetype i, const QByteArray &line);
    void removeAt(qsizetype i);
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
