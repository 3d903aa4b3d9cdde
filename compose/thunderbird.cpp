#include "compose/thunderbird.h"

#include <QUrl>

namespace compose {
namespace {

QString encoded(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

// file:///path with everything but letters, digits, "-._~" and "/" encoded,
// commas in particular, as the list of attachments is split at commas.
QString fileUrl(const QString &path)
{
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
    add(QStringLiteral("to"), message.to);
    add(QStringLiteral("cc"), message.cc);
    add(QStringLiteral("bcc"), message.bcc);
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
