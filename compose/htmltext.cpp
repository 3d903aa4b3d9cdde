#include "compose/htmltext.h"

#include "platform/ansitext.h"
#include "platform/codepage.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace compose {
namespace {

bool isWindows1252(const QByteArray &name)
{
    static const QByteArrayList names{"windows-1252", "cp1252", "x-cp1252", "iso-8859-1", "iso8859-1",
                                      "latin1",       "l1",     "us-ascii", "ascii",      "iso_8859-1"};
    return names.contains(name);
}

} // namespace

QByteArray declaredCharset(const QByteArray &bytes)
{
    // Every <meta ...> tag in the head: charset=NAME, as an attribute of its
    // own or inside the content of an http-equiv tag.
    static const QRegularExpression meta(QStringLiteral("<meta\\b[^>]*>"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression charset(QStringLiteral("charset\\s*=\\s*[\"']?\\s*([A-Za-z0-9._:+-]+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QString head = QString::fromLatin1(bytes.left(1024));
    QRegularExpressionMatchIterator tags = meta.globalMatch(head);
    while (tags.hasNext()) {
        const QRegularExpressionMatch found = charset.match(tags.next().captured(0));
        if (found.hasMatch())
            return found.captured(1).toLower().toLatin1();
    }
    return QByteArray();
}

QString decodeHtml(const QByteArray &bytes)
{
    // A byte-order mark decides, and is not part of the text.
    if (const std::optional<QStringConverter::Encoding> marked = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*marked, QStringDecoder::Flag::Stateless);
        return decoder.decode(bytes);
    }
    const QByteArray declared = declaredCharset(bytes);
    if (!declared.isEmpty()) {
        if (isWindows1252(declared))
            return platform::fromAnsi(bytes);
        if (!declared.startsWith("utf-16") && !declared.startsWith("utf-32")) {
            QStringDecoder decoder(declared.constData(), QStringDecoder::Flag::Stateless);
            if (decoder.isValid())
                return decoder.decode(bytes);
        }
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    return utf8.hasError() ? platform::fromSystemCodePage(bytes) : text;
}

} // namespace compose
