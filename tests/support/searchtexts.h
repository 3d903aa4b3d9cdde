#pragma once

// Random texts for the search tests: pieces that folding treats in every
// way (accents precomposed and combining, full case foldings, white space
// of several kinds, letters beyond the first plane), and typed words cut
// from those texts with their letter case changed.

#include <QRandomGenerator>
#include <QStringList>

#include <algorithm>

namespace testsupport {

inline QString randomSearchText(QRandomGenerator &random, int pieces, bool oneLine)
{
    static const QStringList alphabet = {
        u"a"_qs, u"b"_qs, u"e"_qs, u"E"_qs, u"\u00e9"_qs, u"e\u0301"_qs, u"\u00c9"_qs, u"\u0301"_qs,
        u"\u00df"_qs, u"\u1e9e"_qs, u"ss"_qs, u"\ufb01"_qs, u"fi"_qs, u"\u0130"_qs, u"i"_qs, u"\u0131"_qs,
        u"\u03a3"_qs, u"\u03c2"_qs, u"\u03c3"_qs, u"\ud55c"_qs, u"\u1112"_qs, u"\U00010400"_qs,
        u"\U00010428"_qs, u"\U0001d167"_qs, u"\u212a"_qs, u"k"_qs, u"\u0149"_qs, u"\u0345"_qs, u"\u00c5"_qs, u"@"_qs,
        u"."_qs, u" "_qs, u" "_qs, u"\u00a0"_qs, u"\u3000"_qs, u"\t"_qs, u"\r\n"_qs};
    QString text;
    for (int i = 0; i < pieces; ++i) {
        const QString &piece = alphabet.at(int(random.bounded(qsizetype(alphabet.size()))));
        if (!oneLine || (piece != u"\t"_qs && piece != u"\r\n"_qs))
            text += piece;
    }
    return text;
}

// What a user might type to find one of texts: a piece of it in another
// letter case, sometimes a second word, sometimes text of its own.
inline QString randomSearch(QRandomGenerator &random, const QStringList &texts)
{
    QString typed;
    for (int words = 1 + int(random.bounded(2)); words > 0; --words) {
        const QString &text = texts.at(int(random.bounded(qsizetype(texts.size()))));
        qsizetype from = text.isEmpty() ? 0 : random.bounded(text.size());
        qsizetype to = std::min(text.size(), from + 1 + random.bounded(4));
        from -= from > 0 && text.at(from).isLowSurrogate(); // never half a letter
        to += to < text.size() && text.at(to).isLowSurrogate();
        QString word = random.bounded(4) == 0 || text.isEmpty()
                           ? randomSearchText(random, 1 + int(random.bounded(3)), true)
                           : text.sliced(from, to - from);
        typed += (random.bounded(2) ? word.toUpper() : word) + u' ';
    }
    return typed;
}

} // namespace testsupport
