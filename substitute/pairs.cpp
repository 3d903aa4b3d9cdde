#include "substitute/pairs.h"

namespace substitute {
namespace {

const QString kSection = QStringLiteral("replace");

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
    QString working = text;
    for (int i = 0; i < boxes.count(); ++i) {
        boxes.yield();
        const QString find = boxes.findText(i);
        const QString replacement = boxes.replaceText(i);
        if (!find.isEmpty())
            working.replace(find, replacement, Qt::CaseSensitive);
    }
    return working;
}

} // namespace substitute
