#include "store/storednames.h"

#include "store/datafile.h"

namespace store {

bool StoredNames::containsKey(const QString &dataPath, const QString &key, const LineReading &reading)
{
    refresh(dataPath, reading);
    return m_keys.contains(key);
}

void StoredNames::refresh(const QString &dataPath, const LineReading &reading)
{
    const platform::FileStamp now = platform::fileStamp(dataPath);
    bool grownOnly = dataPath == m_path && m_readUpTo >= 0 && now.sameFile(m_stamp) && now.size >= m_readUpTo;
    if (grownOnly && now == m_stamp)
        return;
    if (grownOnly && !m_lastBytes.isEmpty()) {
        // A share may keep a file's identity through a rewrite: the bytes
        // read last must still be where they were.
        QByteArray there;
        grownOnly = platform::readFileRange(dataPath, m_readUpTo - m_lastBytes.size(), m_lastBytes.size(), &there)
                    && there == m_lastBytes;
    }
    if (!grownOnly) {
        m_path = dataPath;
        m_readUpTo = 0;
        m_lastBytes.clear();
        m_keys.clear();
    }
    m_stamp = now;
    QByteArray added;
    if (now.size <= m_readUpTo || !platform::readFileRange(dataPath, m_readUpTo, now.size - m_readUpTo, &added))
        return;
    const qsizetype lastLineEnd = added.lastIndexOf('\n');
    if (lastLineEnd < 0)
        return;
    added.truncate(lastLineEnd + 1);
    for (const QByteArray &line : DataLines::split(added).lines) {
        if (const auto stored = ReadStoredLine(line, reading))
            m_keys.insert(stored->key);
    }
    m_readUpTo += added.size();
    m_lastBytes = added.right(64);
}

} // namespace store
