#pragma once

#include "substitute/pairs.h"

#include <QDate>
#include <QLocale>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

namespace substitute {

// A template's texts may hold placeholders in double braces, filled at launch:
//   {{?Question}}        the answer the user gives to the question
//   {{date}}             today, in the short date format of the locale
//   {{date+N}}, {{date-N}}  N days from today, likewise
//   {{date:FORMAT}}, {{date+N:FORMAT}}  in a Qt date format ("yyyy-MM-dd")
//   {{month}}            this month's name
//   {{year}}             this year
// Any other text in double braces is plain text.

// Where the dates come from: today's date and the user's locale.
struct Calendar
{
    std::function<QDate()> today; // empty: the system's date
    QLocale locale;               // default: the user's locale
    QDate date() const { return today ? today() : QDate::currentDate(); }
};

// What the placeholders of a launch are filled with.
struct PlaceholderValues
{
    QMap<QString, QString> answers; // by question; a question without one stays as written
    Calendar calendar;
};

// Adds the questions of text that questions does not hold yet, in the order
// of their first appearance.
void CollectQuestions(const QString &text, QStringList &questions);

// The text with its placeholders filled and nothing else changed (the
// addresses and attachment paths of a template).
QString FillPlaceholders(const QString &text, const PlaceholderValues &values);

// What the text that a placeholder is filled into is written in.
enum class TextForm {
    Plain, // an answer or a date goes in as it is
    Html,  // an answer or a date is HTML text: its < > & " ' as &lt; &gt; &amp; &quot; &#39;
};

// The subject or body of a template: the pairs applied to the text around the
// placeholders (as ApplySubstitutionPairs applies them, no match reaching
// across a placeholder), then the placeholders filled. An answer or a date
// is put in as text: no pair replaces anything in it. A question without an
// answer stays as written.
QString FillTemplateText(const QString &text, PairBoxes &pairs, const PlaceholderValues &values,
                         TextForm form = TextForm::Plain);

// The attachments box split at every ";" that stands outside a placeholder
// (an empty box has no parts; other empty parts stay), each part filled.
QStringList FillAttachmentParts(const QString &box, const PlaceholderValues &values);

} // namespace substitute
