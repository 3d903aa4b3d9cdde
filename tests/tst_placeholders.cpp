// The placeholders of a template's texts: which texts are placeholders, the
// dates they stand for, and how they meet the find/replace pairs.
#include "support/fakepairs.h"
#include "support/testdata.h"
#include "substitute/placeholders.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

using namespace substitute;

namespace {

// 2024-02-28: a leap year's February, so that one day on is the 29th.
Calendar fixedCalendar(const char *locale)
{
    Calendar calendar;
    calendar.today = [] { return QDate(2024, 2, 28); };
    calendar.locale = QLocale(QString::fromLatin1(locale));
    return calendar;
}

// ---- a model of the placeholders, written from their rules ------------------

// The text with every placeholder as one private character, which no find
// text holds, so that the pairs can neither match it nor across it. A
// placeholder is "{{", then the shortest text up to "}}" (200 characters at
// most), then "}}", where that text is one of the forms; elsewhere a "{" is
// plain text.
QString withStandIns(const QString &text, QStringList *placeholders)
{
    static const QRegularExpression form(QStringLiteral(
        R"(\A(?:\?[^\r\n]*[^\s][^\r\n]*|date(?:[+-][0-9]{1,5})?(?::[^\r\n]+)?|month|year)\z)"));
    QString result;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype close = text.mid(i, 2) == "{{" ? text.indexOf("}}", i + 2) : -1;
        if (close >= 0 && close - i - 2 <= 200 && form.match(text.mid(i + 2, close - i - 2)).hasMatch()) {
            result += QChar(char16_t(0xE000 + placeholders->size()));
            *placeholders << text.mid(i, close + 2 - i);
            i = close + 2;
        } else {
            result += text[i++];
        }
    }
    return result;
}

QString putBack(QString text, const QStringList &placeholders, const PlaceholderValues &values)
{
    QString filled;
    for (QChar c : text) {
        const int k = c.unicode() - 0xE000;
        filled += k >= 0 && k < placeholders.size() ? FillPlaceholders(placeholders.at(k), values) : QString(c);
    }
    return filled;
}

} // namespace

class TestPlaceholders : public QObject
{
    Q_OBJECT

private slots:
    // Each form, with the clock and the locale fixed, as the user reads it.
    void datesAndNames_data() { testdata::addRows(QStringLiteral("placeholders")); }
    void datesAndNames()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(QString, filled);
        PlaceholderValues values;
        values.calendar = fixedCalendar(qPrintable(locale));
        QCOMPARE(FillPlaceholders(text, values), filled);
        FakePairs noPairs;
        QCOMPARE(FillTemplateText(text, noPairs, values), filled);
    }

    // Random texts full of braces, questions and dates, random pairs (edited
    // while a pass yields, read afresh after it), random attachment boxes:
    // the questions found, the subject or body after the pairs, and the
    // attachment parts, each against the model above.
    void randomTextsAgainstTheModel()
    {
        const QStringList pieces{"a", "b", "ab", " ", ";", "{", "}", "{{", "}}", "\r\n", "{{?Q}}", "{{? Q }}",
                                 "{{?R}}", "{{?a}}", "{{?Unasked}}", "{{date}}", "{{date+1}}", "{{date-2:yyyy;MM}}",
                                 "{{month}}", "{{year}}", "{{Date}}", "{{?}}", "{{date+}}", "?Q", "date"};
        const QStringList finds{"", "a", "b", "ab", "{", "}", "{{", "Q", "date", ";", "?", " "};
        const QStringList replacements{"", "b", "a", "X", "{{", "}}", "?Q", ";", "{{?Q}}", "{{year}}"};
        PlaceholderValues values;
        values.calendar = fixedCalendar("en_US");
        // Answers that hold find texts, separators and a placeholder's form.
        values.answers = {{"Q", "a;b{{"}, {"R", "{{?Q}}"}, {"a", "ab}}"}};

        QRandomGenerator random(quint32(testdata::seed(2924757647u)));
        auto pick = [&random](const QStringList &from) { return from.at(random.bounded(int(from.size()))); };
        for (int round = 0; round < 3000; ++round) {
            QString text;
            for (int n = random.bounded(12); n > 0; --n)
                text += pick(pieces);
            FakePairs pairs;
            for (int i = 0; i < 11; ++i) {
                if (random.bounded(3) == 0)
                    pairs.set(i, pick(finds), pick(replacements));
            }
            pairs.onYield = [&](int pass) { // the user edits a pair not applied yet
                if (random.bounded(6) == 0)
                    pairs.set(pass + random.bounded(11 - pass), pick(finds), pick(replacements));
            };
            const QString context = QStringLiteral("round %1, text \"%2\"").arg(round).arg(text);

            QStringList placeholders;
            const QString standIns = withStandIns(text, &placeholders);

            QStringList expectedQuestions;
            for (const QString &p : placeholders) {
                const QString question = p.mid(3, p.size() - 5).trimmed();
                if (p.startsWith("{{?") && !expectedQuestions.contains(question))
                    expectedQuestions << question;
            }
            QStringList questions;
            CollectQuestions(text, questions);
            QVERIFY2(questions == expectedQuestions, qPrintable(context));

            const QString filled = FillTemplateText(text, pairs, values);
            QVERIFY2(filled == putBack(pairs.model(standIns), placeholders, values), qPrintable(context));
            QCOMPARE(pairs.yields, 11); // once per pair, whatever the placeholders

            QStringList expectedParts;
            if (!text.isEmpty()) {
                for (const QString &part : standIns.split(u';'))
                    expectedParts << putBack(part, placeholders, values);
            }
            QVERIFY2(FillAttachmentParts(text, values) == expectedParts, qPrintable(context));
        }
    }
};

QTEST_GUILESS_MAIN(TestPlaceholders)
#include "tst_placeholders.moc"
