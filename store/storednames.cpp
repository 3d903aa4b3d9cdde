#include "store/storednames.h"

#include "platform/ansitext.h"
#include "store/templaterecord.h"

namespace store {

QString NameKey(const QString &name)
{
    QString key = name;
    key.replace(QLatin1Char('\t'), QStringLiteral("     "));
    qsizetype spaces = 0;
    while (spaces < key.size() && key.at(spaces) == QLatin1Char(' '))
        ++spaces;
    return key.mid(spaces).toCaseFolded();
}

bool StoredNames::contains(const QString &dataPath, const QString &name)
{
    refresh(dataPath);
    return m_keys.contains(NameKey(name));
}

void StoredNames::refresh(const QString &dataPath)
{
    const platform::FileStamp now = platform::fileStamp(dataPath);
    if (dataPath != m_path || !now.sameFile(m_stamp) || now.size < m_readUpTo) {
        m_path = dataPath;
        m_readUpTo = 0;
        m_keys.clear();
    }
    m_stamp = now;
    QByteArray added;
    if (now.size <= m_readUpTo || !platform::readFileRange(dataPath, m_readUpTo, now.size - m_readUpTo, &added))
        return;
    const QString text = platform::fromAnsi(added);
    for (const QStringView line : SplitDataFileViews(text)) {
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        if (tab >= 0)
            m_keys.insert(NameKey(line.left(tab).toString()));
    }
    const qsizetype lastLineEnd = added.lastIndexOf("\r\n");
    if (lastLineEnd >= 0)
        m_readUpTo += lastLineEnd + 2;
}

} // namespace store
