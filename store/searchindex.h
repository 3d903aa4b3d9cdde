#pragma once

// What the window's picker searches in, kept so that a keystroke's search
// over a hundred thousand templates is one pass over compact text
// (bench/README.md). Both give exactly what MatchTemplate's rule gives
// (templatesearch.h); words are folded words of SearchWords, as UTF-8.

#include <QByteArray>
#include <QList>
#include <QString>

#include <vector>

namespace store {

// Finds a word in a text quickly: by the word's byte that is rarest in the
// text (its counts of each byte value), found with memchr, then compared.
class WordFinder
{
public:
    WordFinder(const QByteArray &word, const std::vector<qsizetype> &byteCounts);
    // The first occurrence at or after from, or -1.
    qsizetype find(const QByteArray &text, qsizetype from) const;

private:
    QByteArray m_word;
    qsizetype m_rare = 0; // the position of its rarest byte
};

// A set of rows.
class RowSet
{
public:
    explicit RowSet(int size = 0) : m_bits((static_cast<std::size_t>(size) + 63) / 64), m_size(size) {}
    static RowSet all(int size);
    int size() const { return m_size; }
    void insert(int row) { m_bits[std::size_t(row) >> 6] |= quint64(1) << (row & 63); }
    bool contains(int row) const { return m_bits[std::size_t(row) >> 6] >> (row & 63) & 1; }
    RowSet &operator|=(const RowSet &other);
    RowSet &operator&=(const RowSet &other);
    RowSet &subtract(const RowSet &other);
    // The rows in ascending order, appended to rows.
    void appendTo(QList<int> *rows) const;

private:
    std::vector<quint64> m_bits;
    int m_size = 0;
};

// The folded name, subject, To, CC and BCC of every template, one row after
// the other in one text.
class HeadIndex
{
public:
    void clear();
    void append(const QString &name, const QString &subject, const QString &to, const QString &cc,
                const QString &bcc);
    int size() const { return static_cast<int>(m_rowStart.size()); }
    // The rows whose fields hold the word, and those whose name holds it.
    void find(const QByteArray &word, RowSet *inFields, RowSet *inName) const;

private:
    QByteArray m_text;                 // each row's fields joined by spaces, rows by line ends
    std::vector<qsizetype> m_byteCounts = std::vector<qsizetype>(256, 0);
    std::vector<qsizetype> m_rowStart; // where each row begins
    std::vector<qsizetype> m_nameEnd;  // where its name ends
};

// Bodies as the distinct runs of their folded text between white space
// (a word, which holds no white space, occurs in a body exactly when it
// occurs in one of these), each run stored once for all bodies, each body
// as the numbers of its runs.
class BodyIndex
{
public:
    BodyIndex();
    void add(int row, QStringView body); // body not yet folded
    int bodies() const { return static_cast<int>(m_rows.size()); }

    // For each word: the rows of the bodies from..to-1 (in the order added)
    // that hold it.
    QList<QList<int>> find(const QList<QByteArray> &words, int from, int to);

private:
    quint32 tokenId(QByteArrayView token);
    void grow();
    struct Word
    {
        QByteArray text;
        std::vector<bool> holds; // for each run: whether it holds the word
    };
    Word &word(const QByteArray &text);

    QByteArray m_runs;                  // every distinct run, each followed by a line end
    std::vector<qsizetype> m_byteCounts = std::vector<qsizetype>(256, 0);
    std::vector<quint32> m_runStart;    // where each run begins
    std::vector<quint32> m_slots;       // hash table of run numbers + 1 (0: free)
    QByteArray m_postings;              // each body's sorted run numbers, as varint gaps
    std::vector<qsizetype> m_bodyStart; // where each body's numbers begin
    std::vector<int> m_rows;
    std::vector<Word> m_words;          // words looked for lately, with what they hold
};

} // namespace store
