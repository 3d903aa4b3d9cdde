#pragma once

#include "platform/textfile.h"

#include <QSet>
#include <QString>

namespace store {

// The form in which two template names are compared: as the data file keeps
// a name (no leading spaces, TABs as five spaces), case-folded, as body files
// are found whatever the letter case of their names.
QString NameKey(const QString &name);

// The names of the templates in the data file, kept up to date with little
// reading: when the file has only grown since it was last read (a Save of
// this copy or of another appended to it), only its new lines are read; when
// another file has taken its place, all of it.
class StoredNames
{
public:
    bool contains(const QString &dataPath, const QString &name);
    // The data file was rewritten: read it whole next time.
    void forget() { m_stamp = platform::FileStamp(); }

private:
    void refresh(const QString &dataPath);

    QString m_path;
    platform::FileStamp m_stamp; // of the file when it was last read
    qint64 m_readUpTo = 0;       // just after the last CR LF read
    QSet<QString> m_keys;
};

} // namespace store
