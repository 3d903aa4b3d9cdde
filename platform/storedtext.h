#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// How the templates' files hold text. They have always been Windows-1252
// (see ansitext.h), and every text that Windows-1252 can hold is still
// written so, byte for byte as before, so that folders made by earlier
// versions, and on Windows, open unchanged and earlier versions read what
// they can. Any other text is written as UTF-8, in a way that reading tells
// apart without guessing:
//
// - A data file line is UTF-8 when it is valid UTF-8 and holds a byte of
//   0x80 or above; otherwise it is Windows-1252. A line that Windows-1252
//   can hold but whose bytes would read as such UTF-8 ("Ã©") is written as
//   UTF-8 instead, so that every line reads back as it was written.
// - A body file is UTF-8 when it begins with the byte-order mark EF BB BF,
//   which a UTF-8 body is written with; a byte after the mark that is no
//   part of a valid UTF-8 sequence is its Windows-1252 character (a UTF-8
//   file that a Windows-1252 tool appended to). Without the mark a body is
//   read as a line is (UTF-8 as Linux editors and git leave it, else
//   Windows-1252). A body whose Windows-1252 bytes would begin with the mark
//   ("ï»¿") or read as such UTF-8 ("Ã©") is written as UTF-8.
namespace platform {

QString decodeLine(QByteArrayView bytes);
QByteArray encodeLine(QStringView text);

QString decodeBody(QByteArrayView bytes);
QByteArray encodeBody(QStringView text);

// UTF-8 as it stands: a byte-order mark at the start of the bytes is a
// character of the text (QString::fromUtf8 drops it), so that a line that
// begins with one (two files joined, each with its mark) reads back as it
// was written.
QString fromUtf8(QByteArrayView bytes);

// Whether the bytes are valid UTF-8 (shortest forms, no surrogates) and
// hold at least one byte of 0x80 or above.
bool isNonAsciiUtf8(QByteArrayView bytes);

// Whether text holds a character that no file can keep: half of a
// surrogate pair without its other half.
bool holdsBrokenCharacter(QStringView text);

} // namespace platform
