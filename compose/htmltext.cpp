#include "compose/htmltext.h"

#include "platform/ansitext.h"
#include "platform/codepage.h"
#include "platform/textfile.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>

#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <QUrl>

#include <optional>

namespace compose {
namespace {

bool isWindows1252(const QByteArray &name)
{
    static const QByteArrayList names{"windows-1252", "cp1252", "x-cp1252", "iso-8859-1", "iso8859-1",
                                      "latin1",       "l1",     "us-ascii", "ascii",      "iso_8859-1"};
    return names.contains(name);
}

// An attribute value with its character references (&amp;, &#233;,
// &#x1F600;) decoded.
QString decodedEntities(QStringView value)
{
    static const QRegularExpression reference(QStringLiteral("&(#[0-9]+|#[xX][0-9A-Fa-f]+|amp|lt|gt|quot|apos);"));
    QString out;
    qsizetype from = 0;
    QRegularExpressionMatchIterator it = reference.globalMatch(value);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += value.sliced(from, m.capturedStart() - from);
        const QStringView name = m.capturedView(1);
        if (name.startsWith(u'#')) {
            bool ok = false;
            const bool hex = name.size() > 1 && (name.at(1) == u'x' || name.at(1) == u'X');
            const uint code = name.sliced(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
            if (ok && code > 0 && code <= 0x10FFFF) {
                const char32_t c = code;
                out += QString::fromUcs4(&c, 1);
            } else {
                out += m.capturedView(0);
            }
        } else {
            static const QHash<QString, QChar> named{{QStringLiteral("amp"), u'&'}, {QStringLiteral("lt"), u'<'},
                                                     {QStringLiteral("gt"), u'>'}, {QStringLiteral("quot"), u'"'},
                                                     {QStringLiteral("apos"), u'\''}};
            out += named.value(name.toString());
        }
        from = m.capturedEnd();
    }
    out += value.sliced(from);
    return out;
}

// The file: URL of a picture that the HTML names by a relative path, or
// nothing for one that it names otherwise (a web address, a cid: or data:
// URL, an anchor).
std::optional<QUrl> resolvedPath(const QString &value, const QString &folder)
{
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:[\\/]"));
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    const QString path = value.trimmed();
    if (path.isEmpty() || path.startsWith(u'#'))
        return std::nullopt;
    if (drive.match(path).hasMatch()) // C:\Mail\logo.png: a path, not a URL
        return QUrl::fromLocalFile(QString(path).replace(u'\\', u'/'));
    if (scheme.match(path).hasMatch() || path.startsWith(QLatin1String("//"))
        || path.startsWith(QLatin1String("\\\\")))
        return std::nullopt;
    // Pages saved on Windows may name their folder with backslashes.
    const QUrl relative(QString(path).replace(u'\\', u'/'), QUrl::TolerantMode);
    if (!relative.isValid())
        return std::nullopt;
    return QUrl::fromLocalFile(QDir(folder).absolutePath() + u'/').resolved(relative);
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
    // A byte-order mark decides; without one, a declared charset, then the
    // rule of every text file.
    const QByteArray declared = QStringConverter::encodingForData(bytes) ? QByteArray() : declaredCharset(bytes);
    if (!declared.isEmpty()) {
        if (isWindows1252(declared))
            return platform::fromAnsi(bytes);
        if (!declared.startsWith("utf-16") && !declared.startsWith("utf-32")) {
            QStringDecoder decoder(declared.constData(), QStringDecoder::Flag::Stateless);
            if (decoder.isValid())
                return decoder.decode(bytes);
        }
    }
    return platform::decodeText(bytes);
}

QList<ResourceLink> resourceLinks(const QString &html)
{
    static const QRegularExpression tag(QStringLiteral("<[A-Za-z][^>]*>"));
    static const QRegularExpression attribute(
        QStringLiteral("(?<![\\w-])(?:src|background)\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s\"'>]+))"),
        QRegularExpression::CaseInsensitiveOption);
    QList<ResourceLink> links;
    QRegularExpressionMatchIterator tags = tag.globalMatch(html);
    while (tags.hasNext()) {
        const QRegularExpressionMatch t = tags.next();
        QRegularExpressionMatchIterator attributes = attribute.globalMatch(t.capturedView(0));
        while (attributes.hasNext()) {
            const QRegularExpressionMatch a = attributes.next();
            const int group = a.capturedStart(1) >= 0 ? 1 : a.capturedStart(2) >= 0 ? 2 : 3;
            const qsizetype begin = t.capturedStart() + a.capturedStart(group);
            links.append({begin, begin + a.capturedLength(group), decodedEntities(a.capturedView(group))});
        }
    }
    return links;
}

QString withAbsoluteResources(const QString &html, const QString &folder)
{
    QString out;
    qsizetype from = 0;
    for (const ResourceLink &link : resourceLinks(html)) {
        const std::optional<QUrl> url = resolvedPath(link.url, folder);
        if (!url)
            continue;
        out += QStringView(html).sliced(from, link.begin - from);
        // Encoded, it holds no space, quote or ">": it stands in any quotes.
        out += QString::fromLatin1(url->toEncoded())
                   .replace(u'&', QLatin1String("&amp;"))
                   .replace(u'\'', QLatin1String("%27"));
        from = link.end;
    }
    if (from == 0)
        return html;
    out += QStringView(html).sliced(from);
    return out;
}

QString withPicturesInside(const QString &html)
{
    QString out;
    qsizetype from = 0;
    for (const ResourceLink &link : resourceLinks(html)) {
        const QUrl url(link.url);
        if (!url.isLocalFile() || !QFileInfo(url.toLocalFile()).isFile())
            continue;
        QByteArray data;
        QString ignored;
        if (!platform::readWholeFile(url.toLocalFile(), &data, &ignored))
            continue;
        const QString type = QMimeDatabase().mimeTypeForFileNameAndData(url.toLocalFile(), data).name();
        out += QStringView(html).sliced(from, link.begin - from);
        out += QStringLiteral("data:") + type + QStringLiteral(";base64,") + QString::fromLatin1(data.toBase64());
        from = link.end;
    }
    if (from == 0)
        return html;
    out += QStringView(html).sliced(from);
    return out;
}

QString htmlToText(const QString &html)
{
    QTextDocument document;
    document.setHtml(html);
    QStringList lines;
    QTextBlock previous;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        // Paragraphs and headings keep space around them; the lines of a
        // <div> or of a list do not.
        if (previous.isValid()
            && (previous.blockFormat().bottomMargin() > 0 || block.blockFormat().topMargin() > 0))
            lines << QString();
        previous = block;

        QString line;
        if (QTextList *list = block.textList()) {
            const QTextListFormat::Style style = list->format().style();
            const bool numbered = style == QTextListFormat::ListDecimal || style == QTextListFormat::ListLowerAlpha
                                  || style == QTextListFormat::ListUpperAlpha
                                  || style == QTextListFormat::ListLowerRoman
                                  || style == QTextListFormat::ListUpperRoman;
            line += QString(2 * (list->format().indent() - 1), u' ')
                    + (numbered ? list->itemText(block) : QStringLiteral("-")) + u' ';
        }
        // A link's text, then its address once, where the link ends.
        QString href, linkText;
        auto endLink = [&] {
            if (!href.isEmpty()) {
                const QString shown = linkText.trimmed();
                const QString address = href.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive)
                                            ? href.mid(7)
                                            : href;
                if (shown != href && shown != address)
                    line += QStringLiteral(" <") + address + u'>';
            }
            href.clear();
            linkText.clear();
        };
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            const QString target = format.isAnchor() ? format.anchorHref() : QString();
            if (target != href)
                endLink();
            href = target;
            QString text = fragment.text();
            text.remove(QChar::ObjectReplacementCharacter); // a picture
            text.replace(QChar::Nbsp, u' ');
            line += text;
            linkText += text;
        }
        endLink();
        for (const QString &part : line.split(QChar::LineSeparator))
            lines << part;
    }
    // No empty lines before the text or after it.
    while (!lines.isEmpty() && lines.first().trimmed().isEmpty())
        lines.removeFirst();
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    return lines.join(QLatin1String("\r\n"));
}

} // namespace compose
