#include "substitute/placeholders.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace substitute {
namespace {

// The longest text between the braces of a placeholder: a longer one is plain
// text, and the search for the closing braces never runs far.
constexpr qsizetype LongestPlaceholder = 200;
// The most digits of a day count.
constexpr qsizetype LongestDayCount = 5;

struct Placeholder
{
    enum class Kind { Question, Date, Month, Year };
    Kind kind = Kind::Question;
    qsizetype at = 0;     // where its "{{" stands
    qsizetype length = 0; // up to and with its "}}"
    QString question;     // Question: the question, without spaces at its ends
    int days = 0;         // Date: days from today
    QString format;       // Date: a Qt date format; empty: the short format
};

bool holdsLineBreak(QStringView text)
{
    return text.contains(u'\n') || text.contains(u'\r');
}

// What the text between the braces means, if anything.
std::optional<Placeholder> parse(QStringView inner)
{
    // A placeholder stands on one line.
    if (holdsLineBreak(inner))
        return std::nullopt;
    Placeholder p;
    if (inner.startsWith(u'?')) {
        p.question = inner.sliced(1).trimmed().toString();
        if (p.question.isEmpty() || holdsLineBreak(p.question))
            return std::nullopt;
        return p;
    }
    if (inner == u"month") {
        p.kind = Placeholder::Kind::Month;
        return p;
    }
    if (inner == u"year") {
        p.kind = Placeholder::Kind::Year;
        return p;
    }
    if (!inner.startsWith(u"date"))
        return std::nullopt;
    p.kind = Placeholder::Kind::Date;
    QStringView rest = inner.sliced(4);
    if (rest.startsWith(u'+') || rest.startsWith(u'-')) {
        qsizetype digits = 1;
        while (digits < rest.size() && rest[digits].isDigit() && rest[digits].unicode() < 128)
            ++digits;
        if (digits == 1 || digits - 1 > LongestDayCount)
            return std::nullopt;
        p.days = rest.sliced(1, digits - 1).toInt();
        if (rest.front() == u'-')
            p.days = -p.days;
        rest = rest.sliced(digits);
    }
    if (rest.isEmpty())
        return p;
    if (!rest.startsWith(u':') || rest.size() == 1 || holdsLineBreak(rest))
        return std::nullopt;
    p.format = rest.sliced(1).toString();
    return p;
}

// The placeholders of text, in order, none overlapping another. "{{" that
// opens no placeholder is text, and the search goes on at its second brace.
std::vector<Placeholder> placeholdersIn(QStringView text)
{
    std::vector<Placeholder> found;
    qsizetype from = 0;
    for (;;) {
        const qsizetype open = text.indexOf(u"{{", from);
        if (open < 0)
            break;
        const QStringView after = text.sliced(open + 2);
        const qsizetype close = after.first(std::min(after.size(), LongestPlaceholder + 2)).indexOf(u"}}");
        std::optional<Placeholder> p = close < 0 ? std::nullopt : parse(after.first(close));
        if (!p) {
            from = open + 1;
            continue;
        }
        p->at = open;
        p->length = close + 4;
        found.push_back(std::move(*p));
        from = open + p->length;
    }
    return found;
}

QString valueOf(const Placeholder &p, QStringView text, const PlaceholderValues &values)
{
    const QLocale &locale = values.calendar.locale;
    switch (p.kind) {
    case Placeholder::Kind::Question: {
        const auto answer = values.answers.constFind(p.question);
        return answer != values.answers.constEnd() ? *answer : text.sliced(p.at, p.length).toString();
    }
    case Placeholder::Kind::Date: {
        const QDate date = values.calendar.date().addDays(p.days);
        return p.format.isEmpty() ? locale.toString(date, QLocale::ShortFormat) : locale.toString(date, p.format);
    }
    case Placeholder::Kind::Month:
        return locale.standaloneMonthName(values.calendar.date().month(), QLocale::LongFormat);
    case Placeholder::Kind::Year:
        return locale.toString(values.calendar.date(), QStringLiteral("yyyy"));
    }
    return QString();
}

// A filled placeholder's value as text of the given form; a question
// without an answer stays as the template's own text.
QString valueAs(TextForm form, const Placeholder &p, QStringView text, const PlaceholderValues &values)
{
    QString value = valueOf(p, text, values);
    if (form == TextForm::Plain || (p.kind == Placeholder::Kind::Question && !values.answers.contains(p.question)))
        return value;
    return value.toHtmlEscaped().replace(u'\'', QLatin1String("&#39;"));
}

} // namespace

void CollectQuestions(const QString &text, QStringList &questions)
{
    for (const Placeholder &p : placeholdersIn(text)) {
        if (p.kind == Placeholder::Kind::Question && !questions.contains(p.question))
            questions << p.question;
    }
}

QString FillPlaceholders(const QString &text, const PlaceholderValues &values)
{
    const std::vector<Placeholder> found = placeholdersIn(text);
    if (found.empty())
        return text;
    QString filled;
    qsizetype from = 0;
    for (const Placeholder &p : found) {
        filled += QStringView(text).sliced(from, p.at - from);
        filled += valueOf(p, text, values);
        from = p.at + p.length;
    }
    filled += QStringView(text).sliced(from);
    return filled;
}

QString FillTemplateText(const QString &text, PairBoxes &pairs, const PlaceholderValues &values, TextForm form)
{
    const std::vector<Placeholder> found = placeholdersIn(text);
    if (found.empty())
        return ApplySubstitutionPairs(text, pairs);
    // The text around the placeholders, one piece more than there are
    // placeholders; the pairs work on each piece alone.
    QStringList pieces;
    qsizetype from = 0;
    for (const Placeholder &p : found) {
        pieces << text.sliced(from, p.at - from);
        from = p.at + p.length;
    }
    pieces << text.sliced(from);
    ApplySubstitutionPairsToEach(pieces, pairs);
    QString filled = pieces.front();
    for (std::size_t i = 0; i < found.size(); ++i) {
        filled += valueAs(form, found[i], text, values);
        filled += pieces.at(qsizetype(i) + 1);
    }
    return filled;
}

QStringList FillAttachmentParts(const QString &box, const PlaceholderValues &values)
{
    if (box.isEmpty())
        return {};
    QStringList parts;
    QString part;
    auto addText = [&](QStringView piece) {
        for (;;) {
            const qsizetype separator = piece.indexOf(u';');
            if (separator < 0) {
                part += piece;
                return;
            }
            part += piece.first(separator);
            parts << part;
            part.clear();
            piece = piece.sliced(separator + 1);
        }
    };
    qsizetype from = 0;
    for (const Placeholder &p : placeholdersIn(box)) {
        addText(QStringView(box).sliced(from, p.at - from));
        part += valueOf(p, box, values);
        from = p.at + p.length;
    }
    addText(QStringView(box).sliced(from));
    parts << part;
    return parts;
}

} // namespace substitute
