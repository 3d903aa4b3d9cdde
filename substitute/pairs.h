#pragma once

#include "platform/settingsstore.h"

#include <QString>
#include <QStringList>

namespace substitute {

// The find and replace boxes of the window, as the pair operations see them.
// Pair i is find box i with replace box i; every text is read when it is
// needed, never kept.
class PairBoxes
{
public:
    virtual ~PairBoxes() = default;

    virtual int count() const = 0; // the number of find boxes
    virtual QString findText(int index) const = 0;
    virtual QString replaceText(int index) const = 0;
    virtual void setFindText(int index, const QString &text) = 0;
    virtual void setReplaceText(int index, const QString &text) = 0;

    // Lets the window process its pending events once.
    virtual void yield() = 0;
};

enum class BoxArray { Find, Replace };

// The settings key of one box: "TextFind-3", "TextReplace-10".
QString SettingsKey(BoxArray array, int index);

// Fills every box from the settings store, pair by pair in ascending index,
// the find box before the replace box; a missing entry leaves its box as it is.
void LoadSubstitutionPairs(PairBoxes &boxes, const platform::SettingsStore &settings);

// Stores one box's whole text under its key. On failure returns false and,
// when asked, the message to show.
bool SaveSubstitutionBox(platform::SettingsStore &settings, BoxArray array, int index, const QString &text,
                         QString *error = nullptr);

// The text with every pair applied in index order: each pair replaces every
// occurrence of its find text, left to right without overlap, case-sensitive,
// and never searches its own replacements again. A pair with an empty find
// text does nothing. The pair texts are read afresh on every pass, after the
// window has processed its events.
QString ApplySubstitutionPairs(const QString &text, PairBoxes &boxes);

// The pairs applied to several texts at once, as to one: each pair, read
// after one yield, replaces in every text in turn; no match reaches from one
// text into the next.
void ApplySubstitutionPairsToEach(QStringList &texts, PairBoxes &boxes);

} // namespace substitute
