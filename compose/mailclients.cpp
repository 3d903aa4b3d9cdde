#include "compose/mailclients.h"

#include "compose/recipients.h"
#include "compose/thunderbird.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>

namespace compose {
namespace {

QString encoded(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

QString withLf(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

ClientAbilities abilitiesOf(ClientKind kind)
{
    ClientAbilities abilities;
    switch (kind) {
    case ClientKind::Thunderbird:
        abilities.htmlBody = true;
        abilities.attachments = true;
        break;
    case ClientKind::Evolution:
    case ClientKind::KMail:
    case ClientKind::ClawsMail:
    case ClientKind::Sylpheed:
    case ClientKind::Geary:
        abilities.attachments = true;
        break;
    case ClientKind::Mailto:
        break;
    }
    return abilities;
}

QString clientName(ClientKind kind)
{
    switch (kind) {
    case ClientKind::Thunderbird: return QStringLiteral("Thunderbird");
    case ClientKind::Evolution: return QStringLiteral("Evolution");
    case ClientKind::KMail: return QStringLiteral("KMail");
    case ClientKind::ClawsMail: return QStringLiteral("Claws Mail");
    case ClientKind::Sylpheed: return QStringLiteral("Sylpheed");
    case ClientKind::Geary: return QStringLiteral("Geary");
    case ClientKind::Mailto: break;
    }
    //: Stands for a mail program whose name is not known, in place of its name.
    return QCoreApplication::translate("compose::MailClients", "the mail program");
}

ClientKind clientKindOf(const QString &desktopId, const QStringList &command)
{
    QStringList names{desktopId.toLower()};
    for (const QString &argument : command) {
        if (argument.startsWith(QLatin1String("--command=")))
            names << argument.mid(10).toLower();
    }
    if (!command.isEmpty())
        names << QFileInfo(command.first()).fileName().toLower();
    struct Known
    {
        const char *word;
        ClientKind kind;
    };
    static const Known known[] = {
        {"thunderbird", ClientKind::Thunderbird}, {"betterbird", ClientKind::Thunderbird},
        {"icedove", ClientKind::Thunderbird},     {"evolution", ClientKind::Evolution},
        {"kmail", ClientKind::KMail},             {"claws-mail", ClientKind::ClawsMail},
        {"sylpheed", ClientKind::Sylpheed},       {"geary", ClientKind::Geary},
    };
    for (const QString &name : names) {
        for (const Known &k : known) {
            if (name.contains(QLatin1String(k.word)))
                return k.kind;
        }
    }
    return ClientKind::Mailto;
}

QStringList whatCannotBeCarried(ClientKind kind, const Message &message)
{
    const ClientAbilities abilities = abilitiesOf(kind);
    QStringList missing;
    if (!abilities.cc && !message.cc.isEmpty())
        missing << QCoreApplication::translate("compose::MailClients", "the CC addresses");
    if (!abilities.bcc && !message.bcc.isEmpty())
        missing << QCoreApplication::translate("compose::MailClients", "the BCC addresses");
    if (!abilities.htmlBody && message.isHtml())
        missing << QCoreApplication::translate("compose::MailClients", "the HTML body");
    if (!abilities.attachments && !message.attachments.isEmpty())
        missing << QCoreApplication::translate("compose::MailClients", "the attachments");
    return missing;
}

QString mailtoUrl(const Message &message, bool withAttachments)
{
    QStringList fields;
    auto add = [&fields](const char *key, const QString &value) {
        if (!value.isEmpty())
            fields << QLatin1String(key) + u'=' + encoded(value);
    };
    add("cc", addressList(message.cc));
    add("bcc", addressList(message.bcc));
    add("subject", message.subject);
    if (!message.isHtml())
        add("body", withLf(message.body));
    if (withAttachments) {
        for (const QString &path : message.attachments)
            add("attach", path);
    }
    QString url = QStringLiteral("mailto:") + encoded(addressList(message.to));
    if (!fields.isEmpty())
        url += u'?' + fields.join(u'&');
    return url;
}

QStringList clientArguments(ClientKind kind, const Message &message, const QString &htmlFile)
{
    switch (kind) {
    case ClientKind::Thunderbird:
        return {QStringLiteral("-compose"), thunderbirdComposeArgument(message, htmlFile)};
    case ClientKind::Evolution:
    case ClientKind::Geary:
        return {mailtoUrl(message, true)};
    case ClientKind::Mailto:
        return {mailtoUrl(message, false)};
    case ClientKind::ClawsMail:
    case ClientKind::Sylpheed: {
        // --attach takes the names that follow it up to the next one that
        // begins with "-"; the paths are absolute, so they begin with "/".
        QStringList arguments{QStringLiteral("--compose"), mailtoUrl(message, false)};
        if (!message.attachments.isEmpty())
            arguments << QStringLiteral("--attach") << message.attachments;
        return arguments;
    }
    case ClientKind::KMail: {
        QStringList arguments{QStringLiteral("--composer")};
        auto option = [&arguments](const char *name, const QString &value) {
            if (!value.isEmpty())
                arguments << QLatin1String(name) << value;
        };
        option("--subject", message.subject);
        option("--cc", addressList(message.cc));
        option("--bcc", addressList(message.bcc));
        option("--body", withLf(message.body));
        for (const QString &path : message.attachments)
            option("--attach", path);
        // After "--" nothing is an option, whatever an address begins with;
        // each argument there is one address.
        const QStringList to = mailboxes(message.to);
        if (!to.isEmpty())
            arguments << QStringLiteral("--") << to;
        return arguments;
    }
    }
    return {};
}

} // namespace compose
