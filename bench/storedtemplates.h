#pragma once

// The stored templates that the benchmarks start from: a data file of
// `count` lines of about 330 bytes and one body file per template.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace bench {

inline QByteArray recordLine(int i)
{
    return QStringLiteral("Template %1\tQuarterly offer for client %1 \x93special\x94\t/home/user/offers/%1.pdf;"
                          "/home/user/terms.pdf\taccounts@example.com\tclient%1@example.com\tarchive@example.com\t"
                          "True\tFalse\t/home/user/templates/offer-%1.html\tpadding padding padding padding padding "
                          "padding padding padding padding padding padding padding padding padding")
        .arg(i)
        .toLatin1();
}

inline bool writeStoredTemplates(const QString &dir, int count)
{
    QFile data(dir + QStringLiteral("/MainData.txt"));
    if (!data.open(QIODevice::WriteOnly))
        return false;
    for (int i = 0; i < count; ++i) {
        data.write(recordLine(i) + "\r\n");
        QFile body(dir + QStringLiteral("/LTM-Template %1.txt").arg(i));
        if (!body.open(QIODevice::WriteOnly))
            return false;
        body.write("Dear client,\r\n\r\nplease find our offer attached.\r\n");
    }
    return true;
}

} // namespace bench
