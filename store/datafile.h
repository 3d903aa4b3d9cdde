#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

#include <optional>

namespace store {

// The data file's name; found whatever its letter case.
inline QString DataFileName()
{
    return QStringLiteral("MainData.txt");
}

struct StoredLine;

// How the lines of one folder's data file are read. A line is UTF-8 when it
// is valid UTF-8 and holds a byte of 0x80 or above, else Windows-1252
// (platform/storedtext.h); but a line of valid UTF-8 whose template's body
// file exists only under the name that the Windows-1252 reading gives
// ("CafÃ©", bytes C3 A9, with its body file "LTM-CafÃ©.txt") was written by
// the earlier Windows program: it is read, and written back, as
// Windows-1252.
struct LineReading
{
    // Whether the folder holds a body file of that template name; unset:
    // lines are read by their bytes alone.
    std::function<bool(const QString &name)> bodyExists;

    bool isAnsi(QByteArrayView line) const;
    QString decode(QByteArrayView line) const;
    // The bytes of a line of text, in Windows-1252 when ansi and it fits
    // and reads back so, else as platform::encodeLine writes it.
    QByteArray encode(QStringView text, bool ansi) const;
    // The line with its name (the bytes before the first TAB) replaced: the
    // rest of it kept byte for byte when the new name can be written in the
    // line's encoding and the line reads back the same, else the whole line
    // written anew (its other fields' characters kept).
    QByteArray renamed(const QByteArray &line, const QString &name) const;
};

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
    LineReading reading;

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
    std::optional<StoredLine> read(qsizetype i) const;
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
std::optional<StoredLine> ReadStoredLine(const QByteArray &bytes, const LineReading &reading = {});

} // namespace store
