#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace compose {

// The text of a saved HTML file, in the encoding the file itself tells: a
// byte-order mark (UTF-8, UTF-16, UTF-32) first, then the charset it
// declares near its start (<meta charset="..."> or <meta http-equiv=
// "Content-Type" content="...; charset=...">), then UTF-8 when the bytes
// are valid UTF-8, else the system's code page (Windows-1252 where there is
// none, as on Linux). A declared charset that Qt cannot decode, or a
// declared UTF-16 without a mark (a file read as bytes cannot be that), is
// passed over; "iso-8859-1" and "us-ascii" are read as Windows-1252, as
// browsers do.
QString decodeHtml(const QByteArray &bytes);

// The charset that the file declares in its first 1024 bytes, in lower
// case, or empty.
QByteArray declaredCharset(const QByteArray &bytes);

} // namespace compose

namespace compose {

// Where the HTML names a file it shows: the value of each src or background
// attribute of its tags, as the value stands between its quotes (begin and
// end in the HTML's text) and as the URL it means (entities decoded).
struct ResourceLink
{
    qsizetype begin = 0, end = 0;
    QString url;
};
QList<ResourceLink> resourceLinks(const QString &html);

// The HTML with every picture it names by a relative path ("logo.png",
// "letter_files/image001.jpg", "..\\logo.png") named by its file: URL
// instead, resolved against folder, the folder of the HTML file; so that
// the pictures are found wherever the HTML's text goes.
QString withAbsoluteResources(const QString &html, const QString &folder);

// The HTML with every picture it names by the file: URL of a readable
// file carried inside it instead, as a data: URL (Thunderbird's composer
// blocks pictures from files, and sends those of data: URLs along with the
// message). Other pictures keep their URLs.
QString withPicturesInside(const QString &html);

// The HTML's text as a plain text message: paragraphs, headings and list
// items on lines of their own, an empty line between paragraphs, line
// breaks kept, list items marked, and after each link's text its address
// in <> (unless the text says it already). Line ends are CR LF.
QString htmlToText(const QString &html);

} // namespace compose
