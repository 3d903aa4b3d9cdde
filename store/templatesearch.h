#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Finding templates by typing: one rule for the window's picker and for
// `letterloom --list --match TEXT`.
//
// - Texts are compared folded: Unicode canonical decomposition, combining
//   marks dropped, then full case folding ("Café" is "cafe", "Straße" is
//   "strasse").
// - The typed text is split at white space into words.
// - A template matches when each word occurs in its name, its subject, its
//   To, CC or BCC, or (a plain template's) its body; a word never spans two
//   of these.
// - Templates whose name holds every word come first, each group in the
//   list's order.
namespace store {

QString FoldForSearch(QStringView text);

// The typed text's words, folded; none for a text of white space.
QStringList SearchWords(QStringView typed);

// Whether folded text holds no white space where a word could stand:
// split at these, a text's runs hold a word exactly where the text does.
inline bool IsSearchSpace(QChar c) { return c.isSpace(); }

// What a template offers a search. The body is read only when the other
// fields do not hold every word (the window reads bodies in the background;
// the command line reads only those it needs).
struct SearchedTemplate
{
    QString name, subject, to, cc, bcc;
    bool plain = true;              // a plain template: its body is searched
    std::function<QString()> body;  // the body as the editor shows it
};

enum class SearchMatch { None, Fields, Name }; // Name: the name holds every word

SearchMatch MatchTemplate(const QStringList &words, const SearchedTemplate &searched);

// The rows (indexes of matches) that match, those matching by their name
// first, each group in the order given.
QList<int> OrderMatches(const QList<SearchMatch> &matches);

} // namespace store
