#pragma once

// How each mail program reads the command line that Letterloom gives it, as
// the program's own rules say: the tests check what a program would take
// from it, not the text of the arguments.

#include <QMap>
#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

namespace mailtesting {

// What a mail program took from its command line: the values of each field
// under its mailto: name ("to", "subject", "attach"...; Thunderbird's
// "format" and "message" too), in the order given. A field that a program
// reads once and is given twice shows as two values.
using Received = QMap<QString, QStringList>;

inline QString percentDecoded(const QString &text, bool plusIsSpace)
{
    QByteArray bytes = text.toLatin1();
    if (plusIsSpace)
        bytes.replace('+', ' ');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(bytes));
}

// Thunderbird's "-compose" argument: fields split at commas and at their
// first "=", values percent-decoded, the attachments a list of file URLs
// split at commas. Thunderbird would take a value that opens with a quote as
// it is, commas and all; so that nothing can depend on that, the argument
// must be nothing but keys and percent-encoded values, else it reads as a
// single field that says so.
inline Received thunderbirdReads(const QString &data)
{
    static const QRegularExpression shape("^[a-z]+=[A-Za-z0-9%._~-]+(,[a-z]+=[A-Za-z0-9%._~-]+)*$");
    if (!shape.match(data).hasMatch())
        return {{"not keys and encoded values only: " + data, {}}};
    Received r;
    for (const QString &field : data.split(u','))
        r[field.section(u'=', 0, 0)] << percentDecoded(field.section(u'=', 1), false);
    for (const QString &urls : r.take("attachment")) {
        for (const QString &url : urls.split(u','))
            r["attach"] << QUrl(url).toLocalFile();
    }
    return r;
}

// A mailto: address as the programs read it: the addresses up to the first
// "?", then fields split at "&" and at their first "="; every value
// percent-decoded, "+" as a space for Claws Mail and Sylpheed. As for
// Thunderbird, nothing may depend on how a program takes a character that
// means something in a URL: the address must be keys and encoded values only.
inline Received mailtoReads(const QString &url, bool plusIsSpace)
{
    static const QRegularExpression shape(
        "^mailto:[A-Za-z0-9%._~-]*(\\?[a-z]+=[A-Za-z0-9%._~-]+(&[a-z]+=[A-Za-z0-9%._~-]+)*)?$");
    if (!shape.match(url).hasMatch())
        return {{"not keys and encoded values only: " + url, {}}};
    Received r;
    const QString rest = url.mid(7);
    const qsizetype question = rest.indexOf(u'?');
    r["to"] << percentDecoded(rest.left(question), plusIsSpace);
    if (question < 0)
        return r;
    for (const QString &field : rest.mid(question + 1).split(u'&'))
        r[field.section(u'=', 0, 0).toLower()] << percentDecoded(field.section(u'=', 1), plusIsSpace);
    return r;
}

// Claws Mail and Sylpheed: "--compose URL", then "--attach" and the names
// that follow it up to one that begins with "-".
inline Received clawsReads(const QStringList &arguments)
{
    Received r = mailtoReads(arguments.value(arguments.indexOf("--compose") + 1), true);
    const qsizetype attach = arguments.indexOf("--attach");
    for (qsizetype i = attach + 1; attach >= 0 && i < arguments.size() && !arguments.at(i).startsWith(u'-'); ++i)
        r["attach"] << arguments.at(i);
    return r;
}

// KMail's options after "--composer" (the desktop entry's own come before
// it), as its command-line parser reads them: each option ("--subject")
// takes the next argument as its value, "--" ends the options, and what
// follows are the addresses, each argument one.
inline Received kmailReads(const QStringList &arguments)
{
    Received r;
    for (qsizetype i = arguments.indexOf("--composer") + 1; i < arguments.size(); i += 2) {
        if (arguments.at(i) == "--") {
            r["to"] << arguments.mid(i + 1);
            break;
        }
        r[arguments.at(i).mid(2)] << arguments.value(i + 1);
    }
    return r;
}

inline Received clientReads(const QString &client, const QStringList &arguments)
{
    if (client == "thunderbird")
        return arguments.value(0) == "-compose" ? thunderbirdReads(arguments.value(1)) : Received();
    if (client == "claws-mail" || client == "sylpheed")
        return clawsReads(arguments);
    if (client == "kmail")
        return kmailReads(arguments);
    return arguments.size() == 1 ? mailtoReads(arguments.first(), false) : Received();
}

} // namespace mailtesting
