#include "substitute/pairs.h"

#include <algorithm>

namespace substitute {
namespace {

const QString kSection = QStringLiteral("replace");

// Where find next occurs in text at or after from, or -1. The search runs on
// the find text's first character, which the processor looks for many
// characters at a time, and compares the rest only where that one stands.
qsizetype nextMatch(QStringView text, QStringView find, qsizetype from)
{
    const QChar first = find.front();
    const qsizetype last = text.size() - find.size();
    while (from <= last) {
        from = text.indexOf(first, from);
        if (from < 0 || from > last)
            return -1;
        if (text.sliced(from, find.size()) == find)
            return from;
        ++from;
    }
    return -1;
}

// text with every occurrence of find replaced, left to right without
// overlap, written into out in one pass: the time grows with the text's
// length whatever the lengths of find and replacement. False (and out
// untouched) when find does not occur.
bool replaceAll(QStringView text, QStringView find, QStringView replacement, QString &out)
{
    qsizetype at = nextMatch(text, find, 0);
    if (at < 0)
        return false;
    out.resize(0); // keeps its room from the pass before
    out.reserve(text.size() + std::max<qsizetype>(0, replacement.size() - find.size()) * 64);
    qsizetype from = 0;
    while (at >= 0) {
        out.append(text.sliced(from, at - from));
        out.append(replacement);
        from = at + find.size();
        at = nextMatch(text, find, from);
    }
    out.append(text.sliced(from));
    return true;
}

} // namespace

QString SettingsKey(BoxArray array, int index)
{
    return (array == BoxArray::Find ? QStringLiteral("TextFind-") : QStringLiteral("TextReplace-"))
           + QString::number(index);
}

void LoadSubstitutionPairs(PairBoxes &boxes, const platform::SettingsStore &settings)
{
    for (int i = 0; i < boxes.count(); ++i) {
        boxes.yield();
        boxes.setFindText(i, settings.get(kSection, SettingsKey(BoxArray::Find, i), boxes.findText(i)));
        boxes.setReplaceText(i, settings.get(kSection, SettingsKey(BoxArray::Replace, i), boxes.replaceText(i)));
    }
}

bool SaveSubstitutionBox(platform::SettingsStore &settings, BoxArray array, int index, const QString &text,
                         QString *error)
{
    return settings.save(kSection, SettingsKey(array, index), text, error);
}

QString ApplySubstitutionPairs(const QString &text, PairBoxes &boxes)
{
    // Two texts take turns: each pass reads one and writes the other, so the
    // memory of a long body is taken once, not once per pair.
    QString working = text;
    QString spare;
    for (int i = 0; i < boxes.count(); ++i) {
        boxes.yield();
        const QString find = boxes.findText(i);
        const QString replacement = boxes.replaceText(i);
        if (!find.isEmpty() && replaceAll(working, find, replacement, spare))
            working.swap(spare);
    }
    return working;
}

void ApplySubstitutionPairsToEach(QStringList &texts, PairBoxes &boxes)
{
    QString spare;
    for (int i = 0; i < boxes.count(); ++i) {
        boxes.yield();
        const QString find = boxes.findText(i);
        const QString replacement = boxes.replaceText(i);
        if (find.isEmpty())
            continue;
        for (QString &text : texts) {
            if (replaceAll(text, find, replacement, spare))
                text.swap(spare);
        }
    }
}

} // namespace substitute
