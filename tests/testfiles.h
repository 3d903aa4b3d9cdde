#pragma once

// Reading and writing whole files in tests, byte for byte.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

namespace testfiles {

inline QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace testfiles
