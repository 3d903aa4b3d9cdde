#include "store/templatesearch.h"

#include <algorithm>

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
    QString folded = kept.toCaseFolded();
    if (std::any_of(folded.begin(), folded.end(), [](QChar c) { return fullFolding(c) != nullptr; })) {
        QString full;
        for (QChar c : std::as_const(folded)) {
            if (const char16_t *to = fullFolding(c))
                full += QString::fromUtf16(to);
            else
                full += c;
        }
        folded = full;
    }
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
