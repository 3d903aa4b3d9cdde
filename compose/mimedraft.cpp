#include "compose/mimedraft.h"

#include "compose/htmltext.h"
#include "compose/recipients.h"
#include "platform/textfile.h"

#include <QFileInfo>
#include <QMimeDatabase>
#include <QRandomGenerator>
#include <QUrl>

namespace compose {
namespace {

constexpr qsizetype LineWidth = 76; // folded header lines and encoded body lines

const QByteArray crlf = QByteArrayLiteral("\r\n");

// A character that a header can carry as it is (tabs included).
bool plainHeaderChar(char16_t c)
{
    return c == u'\t' || (c >= 0x20 && c < 0x7f);
}

// A header cannot hold a line break: each CR or LF becomes a space, so that
// no text can start a header of its own.
QString oneLine(QString text)
{
    for (QChar &c : text) {
        if (c == u'\r' || c == u'\n')
            c = u' ';
    }
    return text;
}

// RFC 2047 encoded words ("=?UTF-8?B?...?=") for text, never splitting a
// character, separated by spaces (which readers drop between encoded words).
// Each is at most 64 characters long, so that even the first fits on the
// line of the longest header name ("Subject: ").
QByteArray encodedWords(QStringView text)
{
    constexpr qsizetype MostBytes = 39; // 52 characters of base64
    QByteArray words;
    QByteArray chunk;
    auto flush = [&] {
        if (chunk.isEmpty())
            return;
        if (!words.isEmpty())
            words += ' ';
        words += "=?UTF-8?B?" + chunk.toBase64() + "?=";
        chunk.clear();
    };
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QByteArray utf8 = text.mid(i, length).toUtf8();
        if (chunk.size() + utf8.size() > MostBytes)
            flush();
        chunk += utf8;
        i += length;
    }
    flush();
    return words;
}

// "Name: value" folded at its spaces into lines of at most LineWidth
// characters where the words allow, without the final line end.
QByteArray folded(const char *name, const QByteArray &value)
{
    QByteArray field = QByteArray(name) + ':';
    qsizetype lineStart = 0;
    for (const QByteArray &word : value.split(' ')) {
        // The first word stays behind the name, whatever its length: a line
        // break there would become a space at the start of the value.
        const bool first = field.size() == qsizetype(qstrlen(name)) + 1;
        if (!first && !word.isEmpty() && field.size() - lineStart + 1 + word.size() > LineWidth) {
            field += crlf;
            lineStart = field.size();
        }
        field += ' ';
        field += word;
    }
    return field;
}

// An unstructured header (the subject): as it is when plain ASCII that folds
// well, else encoded words throughout.
QByteArray unstructuredField(const char *name, const QString &value)
{
    const QString line = oneLine(value);
    if (line.isEmpty())
        return QByteArray(name) + ':';
    // Spaces at either end would be taken for the header's own.
    bool plain = !line.contains(QLatin1String("=?")) && !line.startsWith(u' ') && !line.startsWith(u'\t')
                 && !line.endsWith(u' ') && !line.endsWith(u'\t');
    for (const QChar c : line)
        plain = plain && plainHeaderChar(c.unicode());
    for (const QStringView word : QStringView(line).split(u' '))
        plain = plain && word.size() < LineWidth - 10;
    return folded(name, plain ? line.toLatin1() : encodedWords(line));
}

// The characters that separate the parts of an address.
bool addressSpecial(QChar c)
{
    return QStringView(u"\"(),:;<>@[]\\ ").contains(c);
}

bool needsEncoding(QStringView text)
{
    for (const QChar c : text) {
        if (!plainHeaderChar(c.unicode()))
            return true;
    }
    return false;
}

// An address as typed that is no name <address>: its text kept, a stretch
// of words that ASCII cannot hold encoded, the specials around it as they
// are.
QByteArray typedAddress(const QString &text)
{
    // Pieces: runs of ordinary characters and single specials.
    QStringList pieces;
    for (qsizetype i = 0; i < text.size();) {
        qsizetype end = i + 1;
        if (!addressSpecial(text.at(i))) {
            while (end < text.size() && !addressSpecial(text.at(end)))
                ++end;
        }
        pieces << text.mid(i, end - i);
        i = end;
    }
    QByteArray out;
    for (qsizetype i = 0; i < pieces.size();) {
        if (!needsEncoding(pieces.at(i))) {
            out += pieces.at(i).toLatin1();
            ++i;
            continue;
        }
        // Words to encode that follow each other are encoded together, so
        // that the spaces between them survive.
        qsizetype end = i + 1, last = i;
        while (end < pieces.size() && (pieces.at(end) == QLatin1String(" ") || needsEncoding(pieces.at(end)))) {
            if (pieces.at(end) != QLatin1String(" "))
                last = end;
            ++end;
        }
        QString words;
        for (qsizetype k = i; k <= last; ++k)
            words += pieces.at(k);
        out += encodedWords(words);
        i = last + 1;
    }
    return out;
}

// One address of a header: name <address>, a name beyond ASCII as encoded
// words throughout (RFC 2047 allows them as whole words of a phrase, never
// inside quotes), an ASCII name as words or quoted.
QByteArray mailboxField(const Recipient &recipient)
{
    if (!recipient.angled)
        return typedAddress(recipient.address);
    const QByteArray address = typedAddress(recipient.address);
    if (recipient.name.isEmpty())
        return address;
    const QByteArray phrase = needsEncoding(recipient.name) ? encodedWords(recipient.name)
                                                            : displayNameText(recipient.name).toLatin1();
    return phrase + " <" + address + '>';
}

// An address header (To, Cc, Bcc): the box's addresses, whatever separated
// them, separated by ", " as RFC 5322 wants.
QByteArray addressField(const char *name, const QString &value)
{
    QByteArrayList fields;
    for (const Recipient &recipient : splitRecipients(oneLine(value)))
        fields << mailboxField(recipient);
    return folded(name, fields.join(", "));
}

// A MIME parameter: name="value" for short printable ASCII, else RFC 2231
// (name*=UTF-8''%xx..., in numbered pieces when long), so that no character
// of the value, a line break least of all, reaches the header as it is.
QByteArray parameter(const char *name, const QString &value)
{
    bool simple = !value.isEmpty() && value.size() < 60;
    for (const QChar c : value)
        simple = simple && c.unicode() >= 0x20 && c.unicode() < 0x7f && c != u'"' && c != u'\\';
    if (simple)
        return QByteArray(name) + "=\"" + value.toLatin1() + '"';

    static const QByteArray attributeChars = QByteArrayLiteral("!#$&+-.^_`|~");
    QByteArray encoded;
    for (const char byte : value.toUtf8()) {
        const auto b = static_cast<unsigned char>(byte);
        if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || attributeChars.contains(byte))
            encoded += byte;
        else
            encoded += '%' + QByteArray::number(b, 16).rightJustified(2, '0').toUpper();
    }
    constexpr qsizetype Piece = 54;
    if (encoded.size() <= Piece)
        return QByteArray(name) + "*=UTF-8''" + encoded;
    QByteArray pieces;
    int number = 0;
    for (qsizetype at = 0; at < encoded.size(); ++number) {
        qsizetype length = std::min(Piece, encoded.size() - at);
        // A %xx stays in one piece.
        if (at + length < encoded.size()) {
            if (encoded.at(at + length - 1) == '%')
                length -= 1;
            else if (encoded.at(at + length - 2) == '%')
                length -= 2;
        }
        if (number > 0)
            pieces += ";\r\n ";
        pieces += QByteArray(name) + '*' + QByteArray::number(number) + "*=" + (number == 0 ? "UTF-8''" : "")
                  + encoded.mid(at, length);
        at += length;
    }
    return pieces;
}

// Appends text in quoted-printable with CR LF line ends: a CR LF or a lone
// LF of the text is a line end, a lone CR is kept as =0D. Lines that begin
// with "From " or "." are encoded there too, as some mail systems change them.
void appendQuotedPrintable(QByteArray &out, const QByteArray &text)
{
    static const char hex[] = "0123456789ABCDEF";
    const qsizetype start = out.size();
    // At most three characters a byte, and a soft line break every 25 bytes.
    out.resize(start + text.size() * 3 + text.size() / 24 * 3 + 8);
    char *o = out.data() + start;
    char *lineBegin = o;
    auto room = [&](qsizetype size) {
        if (o - lineBegin + size > LineWidth - 1) {
            *o++ = '=';
            *o++ = '\r';
            *o++ = '\n';
            lineBegin = o;
        }
    };
    auto encoded = [&](unsigned char b) {
        room(3);
        *o++ = '=';
        *o++ = hex[b >> 4];
        *o++ = hex[b & 15];
    };
    const char *const end = text.constData() + text.size();
    bool lineStart = true;
    for (const char *p = text.constData(); p != end; ++p) {
        const auto b = static_cast<unsigned char>(*p);
        if (b == '\n' || (b == '\r' && p + 1 != end && p[1] == '\n')) {
            if (b == '\r')
                ++p;
            *o++ = '\r';
            *o++ = '\n';
            lineBegin = o;
            lineStart = true;
            continue;
        }
        if (b >= 33 && b <= 126 && b != '=' && !(lineStart && (b == '.' || b == 'F'))) {
            room(1);
            *o++ = *p;
        } else if (b == ' ' || b == '\t') {
            const bool atLineEnd =
                p + 1 == end || p[1] == '\n' || (p[1] == '\r' && p + 2 != end && p[2] == '\n');
            if (atLineEnd) {
                encoded(b);
            } else {
                room(1);
                *o++ = *p;
            }
        } else if (b == 'F' && !(end - p >= 5 && qstrncmp(p, "From ", 5) == 0)) {
            room(1);
            *o++ = *p;
        } else {
            encoded(b);
        }
        lineStart = false;
    }
    out.resize(o - out.constData());
}

// Data in base64, in lines of LineWidth characters joined by CR LF.
void appendBase64(QByteArray &out, const QByteArray &data)
{
    const QByteArray encoded = data.toBase64();
    for (qsizetype at = 0; at < encoded.size(); at += LineWidth) {
        if (at > 0)
            out += crlf;
        out.append(encoded.constData() + at, std::min(LineWidth, encoded.size() - at));
    }
}

void appendBodyPart(QByteArray &out, const Message &message, const QString &body)
{
    out += QByteArrayLiteral("Content-Type: text/") + (message.isHtml() ? "html" : "plain")
           + "; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
    appendQuotedPrintable(out, body.toUtf8());
}

// A picture of the HTML body, sent along in the draft.
struct Picture
{
    QString path;
    QByteArray contentId; // without its < >
    QByteArray data;
};

// The pictures that the HTML names by file: URLs of readable files, each
// once, and the HTML naming each by its cid: URL instead. A picture that
// cannot be read keeps its file: URL.
QList<Picture> embeddedPictures(QString *html)
{
    QList<Picture> pictures;
    QString out;
    qsizetype from = 0;
    const QByteArray unique = QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    for (const ResourceLink &link : resourceLinks(*html)) {
        const QUrl url(link.url);
        if (!url.isLocalFile())
            continue;
        const QString path = QFileInfo(url.toLocalFile()).absoluteFilePath();
        qsizetype index = 0;
        while (index < pictures.size() && pictures.at(index).path != path)
            ++index;
        if (index == pictures.size()) {
            QByteArray data;
            QString ignored;
            if (!QFileInfo(path).isFile() || !platform::readWholeFile(path, &data, &ignored))
                continue;
            pictures.append({path, "picture" + QByteArray::number(index + 1) + '.' + unique + "@letterloom",
                             std::move(data)});
        }
        out += QStringView(*html).sliced(from, link.begin - from);
        out += QStringLiteral("cid:") + QString::fromLatin1(pictures.at(index).contentId);
        from = link.end;
    }
    if (!pictures.isEmpty()) {
        out += QStringView(*html).sliced(from);
        *html = out;
    }
    return pictures;
}

void appendPicturePart(QByteArray &out, const Picture &picture)
{
    const QFileInfo info(picture.path);
    const QByteArray type = QMimeDatabase().mimeTypeForFileNameAndData(info.fileName(), picture.data).name().toLatin1();
    out += "Content-Type: " + type + ";\r\n " + parameter("name", info.fileName()) + "\r\n";
    out += "Content-Disposition: inline;\r\n " + parameter("filename", info.fileName()) + "\r\n";
    out += "Content-ID: <" + picture.contentId + ">\r\n";
    out += "Content-Transfer-Encoding: base64\r\n\r\n";
    appendBase64(out, picture.data);
}

// Quoted-printable and base64 never hold "=_", so such a boundary cannot
// occur in any part.
QByteArray newBoundary()
{
    return "=_Letterloom_" + QByteArray::number(QRandomGenerator::global()->generate64(), 16);
}

// The body: one text part, or, for an HTML body that shows pictures of
// this computer, a multipart/related of the HTML and the pictures, which
// the HTML names by their Content-IDs.
void appendBody(QByteArray &out, const Message &message)
{
    QString body = message.body;
    const QList<Picture> pictures = message.isHtml() ? embeddedPictures(&body) : QList<Picture>();
    if (pictures.isEmpty()) {
        appendBodyPart(out, message, body);
        return;
    }
    const QByteArray boundary = newBoundary();
    out += "Content-Type: multipart/related;\r\n boundary=\"" + boundary + "\"; type=\"text/html\"\r\n\r\n";
    out += "--" + boundary + crlf;
    appendBodyPart(out, message, body);
    for (const Picture &picture : pictures) {
        out += "\r\n--" + boundary + crlf;
        appendPicturePart(out, picture);
    }
    out += "\r\n--" + boundary + "--" + crlf;
}

bool appendAttachmentPart(QByteArray &out, const QString &path, QString *error)
{
    QByteArray data;
    if (!platform::readWholeFile(path, &data, error))
        return false;
    const QFileInfo info(path);
    const QString name = info.fileName();
    const QByteArray type =
        QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension).name().toLatin1();
    out += "Content-Type: " + type + ";\r\n " + parameter("name", name) + "\r\n";
    out += "Content-Disposition: attachment;\r\n " + parameter("filename", name) + "\r\n";
    out += "Content-Transfer-Encoding: base64\r\n\r\n";
    appendBase64(out, data);
    return true;
}

QByteArray headerBlock(const Message &message, const QDateTime &date)
{
    QByteArray block = "Date: " + date.toString(Qt::RFC2822Date).toLatin1() + crlf;
    block += unstructuredField("Subject", message.subject) + crlf;
    if (!message.to.isEmpty())
        block += addressField("To", message.to) + crlf;
    if (!message.cc.isEmpty())
        block += addressField("Cc", message.cc) + crlf;
    if (!message.bcc.isEmpty())
        block += addressField("Bcc", message.bcc) + crlf;
    block += "X-Unsent: 1\r\nMIME-Version: 1.0\r\n";
    return block;
}

} // namespace

bool buildMimeDraft(const Message &message, const QDateTime &date, QByteArray *draft, QString *error)
{
    // Room for the whole draft at once, so that it is never copied as it
    // grows: the body's worst case (untouched room costs no memory), and
    // the files' base64.
    qint64 expected = 8192 + message.body.size() * 10;
    for (const QString &path : message.attachments)
        expected += QFileInfo(path).size() * 137 / 100 + 1024;
    QByteArray out;
    out.reserve(expected);
    out += headerBlock(message, date);
    if (message.attachments.isEmpty()) {
        appendBody(out, message);
        *draft = std::move(out);
        return true;
    }
    const QByteArray boundary = newBoundary();
    out += "Content-Type: multipart/mixed;\r\n boundary=\"" + boundary + "\"\r\n\r\n";
    // Each part ends where the line end before the next boundary begins.
    out += "--" + boundary + crlf;
    appendBody(out, message);
    for (const QString &path : message.attachments) {
        out += "\r\n--" + boundary + crlf;
        if (!appendAttachmentPart(out, path, error))
            return false;
    }
    out += "\r\n--" + boundary + "--" + crlf;
    *draft = std::move(out);
    return true;
}

bool saveMimeDraft(const Message &message, const QString &path, QString *error)
{
    QByteArray draft;
    return buildMimeDraft(message, QDateTime::currentDateTime(), &draft, error)
           && platform::writeWholeFile(path, draft, error);
}

} // namespace compose
