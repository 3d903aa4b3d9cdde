#include "compose/thunderbird.h"

#include "compose/recipients.h"

#include <QUrl>

namespace compose {
namespace {

QString encoded(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

// file:///path with everything but letters, digits, "-._~" and "/" encoded,
// commas in particular, as the list of attachments is split at commas. A
// Windows path ("C:/...") keeps its drive as it is, behind a third slash.
QString fileUrl(const QString &path)
{
    const bool drive = path.size() > 2 && path.at(1) == u':' && path.at(0).isLetter()
                       && (path.at(2) == u'/' || path.at(2) == u'\\');
    if (drive) {
        QString rest = path.mid(2);
        rest.replace(u'\\', u'/');
        return QStringLiteral("file:///") + path.left(2)
               + QString::fromLatin1(QUrl::toPercentEncoding(rest, QByteArrayLiteral("/")));
    }
    return QStringLiteral("file://") + QString::fromLatin1(QUrl::toPercentEncoding(path, QByteArrayLiteral("/")));
}

} // namespace

QString thunderbirdComposeArgument(const Message &message, const QString &messageFile)
{
    QStringList fields;
    auto add = [&fields](const QString &key, const QString &value) {
        if (!value.isEmpty())
            fields.append(key + u'=' + encoded(value));
    };
    add(QStringLiteral("to"), addressList(message.to));
    add(QStringLiteral("cc"), addressList(message.cc));
    add(QStringLiteral("bcc"), addressList(message.bcc));
    add(QStringLiteral("subject"), message.subject);
    if (message.isHtml()) {
        add(QStringLiteral("format"), QStringLiteral("html"));
        add(QStringLiteral("message"), messageFile);
    } else {
        add(QStringLiteral("format"), QStringLiteral("text"));
        QString body = message.body;
        add(QStringLiteral("body"), body.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    }
    QStringList urls;
    for (const QString &path : message.attachments)
        urls.append(fileUrl(path));
    add(QStringLiteral("attachment"), urls.join(u','));
    return fields.join(u',');
}

} // namespace compose
