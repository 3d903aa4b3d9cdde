#pragma once

#include "platform/textfile.h"
#include "store/datafile.h"

#include <QSet>
#include <QString>

namespace store {

// The names of the templates in the data file, kept up to date with little
// reading: when the file has only grown since it was last read (a Save of
// this copy or of another, here or on another machine, appended to it),
// only its new lines are read; when another file has taken its place or its
// bytes read before are no longer there, all of it.
class StoredNames
{
public:
    // Whether a template of that name key is stored.
    bool containsKey(const QString &dataPath, const QString &key, const LineReading &reading);
    // The data file was rewritten: read it whole next time.
    void forget() { m_readUpTo = -1; }

private:
    void refresh(const QString &dataPath, const LineReading &reading);

    QString m_path;
    platform::FileStamp m_stamp; // of the file when it was last read
    qint64 m_readUpTo = -1;      // just after the last line end read; -1: nothing read
    QByteArray m_lastBytes;      // the bytes just before m_readUpTo, to see they are still there
    QSet<QString> m_keys;
};

} // namespace store
