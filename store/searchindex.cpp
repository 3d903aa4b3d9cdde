#include "store/searchindex.h"

#include "store/templatesearch.h"

#include <QHashFunctions>

#include <algorithm>
#include <cstring>

namespace store {

WordFinder::WordFinder(const QByteArray &word, const std::vector<qsizetype> &byteCounts)
    : m_word(word)
{
    for (qsizetype i = 1; i < word.size(); ++i) {
        if (byteCounts[static_cast<unsigned char>(word[i])] < byteCounts[static_cast<unsigned char>(word[m_rare])])
            m_rare = i;
    }
}

qsizetype WordFinder::find(const QByteArray &text, qsizetype from) const
{
    const char *begin = text.constData();
    const char *end = begin + text.size();
    const char rare = m_word[m_rare];
    for (const char *p = begin + from + m_rare; p < end;) {
        p = static_cast<const char *>(std::memchr(p, rare, std::size_t(end - p)));
        if (!p)
            return -1;
        const char *start = p - m_rare;
        if (end - start >= m_word.size() && std::memcmp(start, m_word.constData(), std::size_t(m_word.size())) == 0)
            return start - begin;
        ++p;
    }
    return -1;
}

namespace {

void count(std::vector<qsizetype> &counts, QByteArrayView bytes)
{
    for (const char c : bytes)
        ++counts[static_cast<unsigned char>(c)];
}

} // namespace

RowSet RowSet::all(int size)
{
    RowSet set(size);
    std::fill(set.m_bits.begin(), set.m_bits.end(), ~quint64(0));
    if (size % 64)
        set.m_bits.back() = (quint64(1) << (size % 64)) - 1;
    return set;
}

RowSet &RowSet::operator|=(const RowSet &other)
{
    for (std::size_t i = 0; i < std::min(m_bits.size(), other.m_bits.size()); ++i)
        m_bits[i] |= other.m_bits[i];
    return *this;
}

RowSet &RowSet::operator&=(const RowSet &other)
{
    for (std::size_t i = 0; i < m_bits.size(); ++i)
        m_bits[i] &= i < other.m_bits.size() ? other.m_bits[i] : 0;
    return *this;
}

RowSet &RowSet::subtract(const RowSet &other)
{
    for (std::size_t i = 0; i < std::min(m_bits.size(), other.m_bits.size()); ++i)
        m_bits[i] &= ~other.m_bits[i];
    return *this;
}

void RowSet::appendTo(QList<int> *rows) const
{
    for (std::size_t i = 0; i < m_bits.size(); ++i) {
        for (quint64 bits = m_bits[i]; bits; bits &= bits - 1)
            rows->append(static_cast<int>(i * 64) + qCountTrailingZeroBits(bits));
    }
}

// ---- HeadIndex --------------------------------------------------------------

void HeadIndex::clear()
{
    m_text.clear();
    std::fill(m_byteCounts.begin(), m_byteCounts.end(), 0);
    m_rowStart.clear();
    m_nameEnd.clear();
}

void HeadIndex::append(const QString &name, const QString &subject, const QString &to, const QString &cc,
                       const QString &bcc)
{
    const qsizetype start = m_text.size();
    m_rowStart.push_back(start);
    m_text += FoldForSearch(name).toUtf8();
    m_nameEnd.push_back(m_text.size());
    for (const QString *field : {&subject, &to, &cc, &bcc}) {
        m_text += ' ';
        m_text += FoldForSearch(*field).toUtf8();
    }
    m_text += '\n';
    count(m_byteCounts, QByteArrayView(m_text).sliced(start));
}

void HeadIndex::find(const QByteArray &word, RowSet *inFields, RowSet *inName) const
{
    *inFields = RowSet(size());
    *inName = RowSet(size());
    const WordFinder finder(word, m_byteCounts);
    qsizetype at = 0;
    std::size_t row = 0;
    while ((at = finder.find(m_text, at)) >= 0) {
        // The row of the match; a word never spans two rows.
        row = std::size_t(std::upper_bound(m_rowStart.begin() + qsizetype(row), m_rowStart.end(), at)
                          - m_rowStart.begin() - 1);
        inFields->insert(int(row));
        // The first match of a row is in its name when any is.
        if (at + word.size() <= m_nameEnd[row])
            inName->insert(int(row));
        if (row + 1 == m_rowStart.size())
            break;
        at = m_rowStart[row + 1];
    }
}

// ---- BodyIndex --------------------------------------------------------------

namespace {

void putVarint(QByteArray &out, quint32 value)
{
    while (value >= 0x80) {
        out += char((value & 0x7f) | 0x80);
        value >>= 7;
    }
    out += char(value);
}

quint32 getVarint(const char *&p)
{
    quint32 value = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(*p++);
        value |= quint32(byte & 0x7f) << shift;
        if (!(byte & 0x80))
            return value;
    }
}

} // namespace

BodyIndex::BodyIndex()
    : m_slots(64, 0)
{
    m_bodyStart.push_back(0);
}

void BodyIndex::grow()
{
    std::vector<quint32> table(m_slots.size() * 2, 0);
    const std::size_t mask = table.size() - 1;
    for (quint32 id = 0; id < m_runStart.size(); ++id) {
        const QByteArrayView run(m_runs.constData() + m_runStart[id],
                                 qsizetype(id + 1 < m_runStart.size() ? m_runStart[id + 1] : m_runs.size())
                                     - m_runStart[id] - 1);
        std::size_t slot = qHash(run) & mask;
        while (table[slot])
            slot = (slot + 1) & mask;
        table[slot] = id + 1;
    }
    m_slots = std::move(table);
}

quint32 BodyIndex::tokenId(QByteArrayView token)
{
    const std::size_t mask = m_slots.size() - 1;
    std::size_t slot = qHash(token) & mask;
    for (; m_slots[slot]; slot = (slot + 1) & mask) {
        const quint32 id = m_slots[slot] - 1;
        const qsizetype end = id + 1 < m_runStart.size() ? m_runStart[id + 1] : m_runs.size();
        if (QByteArrayView(m_runs.constData() + m_runStart[id], end - m_runStart[id] - 1) == token)
            return id;
    }
    const auto id = quint32(m_runStart.size());
    m_runStart.push_back(quint32(m_runs.size()));
    m_runs += token;
    m_runs += '\n';
    count(m_byteCounts, token);
    m_slots[slot] = id + 1;
    if (m_runStart.size() * 2 > m_slots.size())
        grow();
    return id;
}

void BodyIndex::add(int row, QStringView body)
{
    // Runs between white space, as SearchWords splits the typed text.
    const QString folded = FoldForSearch(body);
    std::vector<quint32> ids;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= folded.size(); ++i) {
        if (i == folded.size() || IsSearchSpace(folded.at(i))) {
            if (i > start)
                ids.push_back(tokenId(QStringView(folded).sliced(start, i - start).toUtf8()));
            start = i + 1;
        }
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    putVarint(m_postings, quint32(ids.size()));
    quint32 previous = 0;
    for (const quint32 id : ids) {
        putVarint(m_postings, id - previous);
        previous = id;
    }
    m_rows.push_back(row);
    m_bodyStart.push_back(m_postings.size());
}

BodyIndex::Word &BodyIndex::word(const QByteArray &text)
{
    auto found = std::find_if(m_words.begin(), m_words.end(), [&text](const Word &w) { return w.text == text; });
    if (found == m_words.end()) {
        if (m_words.size() >= 16)
            m_words.erase(m_words.begin());
        m_words.push_back({text, {}});
        found = m_words.end() - 1;
    }
    // The runs added since it was last looked for.
    Word &w = *found;
    const std::size_t from = w.holds.size();
    if (from < m_runStart.size()) {
        w.holds.resize(m_runStart.size(), false);
        const WordFinder finder(text, m_byteCounts);
        qsizetype at = m_runStart[from];
        while ((at = finder.find(m_runs, at)) >= 0) {
            const auto run = std::size_t(std::upper_bound(m_runStart.begin(), m_runStart.end(), quint32(at))
                                         - m_runStart.begin() - 1);
            w.holds[run] = true;
            if (run + 1 == m_runStart.size())
                break;
            at = m_runStart[run + 1];
        }
    }
    return w;
}

QList<QList<int>> BodyIndex::find(const QList<QByteArray> &words, int from, int to)
{
    QList<QList<int>> found;
    for (const QByteArray &text : words) {
        const std::vector<bool> &holds = word(text).holds;
        QList<int> rows;
        for (int body = from; body < to; ++body) {
            const char *p = m_postings.constData() + m_bodyStart[std::size_t(body)];
            quint32 id = 0;
            for (quint32 n = getVarint(p); n > 0; --n) {
                id += getVarint(p);
                if (holds[id]) {
                    rows << m_rows[std::size_t(body)];
                    break;
                }
            }
        }
        found << rows;
    }
    return found;
}

} // namespace store
