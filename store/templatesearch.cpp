#include "store/templatesearch.h"

#include <algorithm>
#include <vector>

namespace store {
namespace {

// The full case foldings (Unicode's CaseFolding.txt, status F) of the
// characters that canonical decomposition leaves whole; Qt folds each
// character to one.
struct FullFolding
{
    char16_t from;
    const char16_t *to;
};
constexpr FullFolding kFullFoldings[] = {
    {u'\u00DF', u"ss"},           {u'\u0149', u"\u02BCn"},      {u'\u0587', u"\u0565\u0582"},
    {u'\u1E9A', u"a\u02BE"},      {u'\u1E9E', u"ss"},           {u'\uFB00', u"ff"},
    {u'\uFB01', u"fi"},           {u'\uFB02', u"fl"},           {u'\uFB03', u"ffi"},
    {u'\uFB04', u"ffl"},          {u'\uFB05', u"st"},           {u'\uFB06', u"st"},
    {u'\uFB13', u"\u0574\u0576"}, {u'\uFB14', u"\u0574\u0565"}, {u'\uFB15', u"\u0574\u056B"},
    {u'\uFB16', u"\u057E\u0576"}, {u'\uFB17', u"\u0574\u056D"},
};

const char16_t *fullFolding(QChar c)
{
    for (const FullFolding &f : kFullFoldings) {
        if (f.from == c.unicode())
            return f.to;
    }
    return nullptr;
}

bool isMark(char32_t c)
{
    const QChar::Category category = QChar::category(c);
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
           || category == QChar::Mark_Enclosing;
}

} // namespace

namespace {

// The folding of one character or more: decomposed, marks dropped, folded.
QString foldSlowly(QStringView text)
{
    const QString decomposed = text.toString().normalized(QString::NormalizationForm_D);
    QString kept;
    kept.reserve(decomposed.size());
    for (qsizetype i = 0; i < decomposed.size(); ++i) {
        const QChar c = decomposed.at(i);
        if (c.isHighSurrogate() && i + 1 < decomposed.size() && decomposed.at(i + 1).isLowSurrogate()) {
            if (!isMark(QChar::surrogateToUcs4(c, decomposed.at(i + 1))))
                kept.append(decomposed.sliced(i, 2));
            ++i;
        } else if (!isMark(c.unicode())) {
            kept.append(c);
        }
    }
    QString folded;
    for (const QChar c : kept.toCaseFolded()) {
        if (const char16_t *to = fullFolding(c))
            folded += QString::fromUtf16(to);
        else
            folded += c;
    }
    return folded;
}

// Every character of the first plane folded, made once: decomposition and
// folding go character by character (and the canonical reordering of marks
// only moves marks, which are dropped), so a text's folding is its
// characters' foldings one after the other.
struct FoldTable
{
    std::vector<quint32> at = std::vector<quint32>(0x10000); // offset in pool << 8 | length
    QString pool;
    FoldTable()
    {
        for (char32_t c = 0; c < 0x10000; ++c) {
            const QString folded = QChar::isSurrogate(c) ? QString(QChar(char16_t(c))) : foldSlowly(QString(QChar(char16_t(c))));
            at[c] = quint32(pool.size()) << 8 | quint32(folded.size());
            pool += folded;
        }
    }
};

} // namespace

QString FoldForSearch(QStringView text)
{
    // Most texts are ASCII, whose folding is its lower case.
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        QString folded = text.toString();
        for (QChar &c : folded) {
            if (c >= u'A' && c <= u'Z')
                c = QChar(c.unicode() + 32);
        }
        return folded;
    }
    static const FoldTable table;
    QString folded(text.size(), Qt::Uninitialized);
    qsizetype size = 0;
    auto put = [&folded, &size](QStringView piece) {
        if (size + piece.size() > folded.size())
            folded.resize(std::max(folded.size() * 2, size + piece.size()));
        std::copy(piece.begin(), piece.end(), folded.begin() + size);
        size += piece.size();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            put(foldSlowly(text.sliced(i, 2))); // beyond the first plane: rare
            ++i;
        } else if (const quint32 at = table.at[c]; (at & 0xff) == 1 && size < folded.size()) {
            folded[size++] = table.pool.at(at >> 8);
        } else {
            put(QStringView(table.pool).sliced(at >> 8, at & 0xff));
        }
    }
    folded.truncate(size);
    return folded;
}

QStringList SearchWords(QStringView typed)
{
    const QString folded = FoldForSearch(typed);
    QStringList words;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= folded.size(); ++i) {
        if (i == folded.size() || IsSearchSpace(folded.at(i))) {
            if (i > start)
                words << folded.sliced(start, i - start);
            start = i + 1;
        }
    }
    return words;
}

SearchMatch MatchTemplate(const QStringList &words, const SearchedTemplate &searched)
{
    const QString name = FoldForSearch(searched.name);
    if (std::all_of(words.begin(), words.end(), [&name](const QString &w) { return name.contains(w); }))
        return SearchMatch::Name;
    const QString fields[] = {name, FoldForSearch(searched.subject), FoldForSearch(searched.to),
                              FoldForSearch(searched.cc), FoldForSearch(searched.bcc)};
    QString body;
    bool bodyRead = false;
    for (const QString &word : words) {
        if (std::any_of(std::begin(fields), std::end(fields), [&word](const QString &f) { return f.contains(word); }))
            continue;
        if (!searched.plain || !searched.body)
            return SearchMatch::None;
        if (!bodyRead) {
            body = FoldForSearch(searched.body());
            bodyRead = true;
        }
        if (!body.contains(word))
            return SearchMatch::None;
    }
    return SearchMatch::Fields;
}

QList<int> OrderMatches(const QList<SearchMatch> &matches)
{
    QList<int> ordered;
    for (const SearchMatch wanted : {SearchMatch::Name, SearchMatch::Fields}) {
        for (int i = 0; i < matches.size(); ++i) {
            if (matches.at(i) == wanted)
                ordered << i;
        }
    }
    return ordered;
}

} // namespace store
