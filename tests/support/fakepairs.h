#pragma once

// Eleven find/replace pairs over plain values, for tests without a window:
// counts its yields and runs a hook in each. And the pairs' rules as a
// model, written with Qt's own replace.

#include "substitute/pairs.h"

#include <functional>
#include <vector>

struct FakePairs final : substitute::PairBoxes
{
    std::vector<QString> find = std::vector<QString>(11);
    std::vector<QString> replace = std::vector<QString>(11);
    std::function<void(int pass)> onYield;
    int yields = 0;

    int count() const override { return static_cast<int>(find.size()); }
    QString findText(int i) const override { return find.at(static_cast<std::size_t>(i)); }
    QString replaceText(int i) const override { return replace.at(static_cast<std::size_t>(i)); }
    void setFindText(int i, const QString &text) override { find.at(static_cast<std::size_t>(i)) = text; }
    void setReplaceText(int i, const QString &text) override { replace.at(static_cast<std::size_t>(i)) = text; }
    void yield() override
    {
        if (onYield)
            onYield(yields);
        ++yields;
    }

    void set(int i, const QString &findText, const QString &replaceText)
    {
        find.at(static_cast<std::size_t>(i)) = findText;
        replace.at(static_cast<std::size_t>(i)) = replaceText;
    }

    // The rules: pair by pair in index order, every match of a find text
    // that is not empty (letter case counting) replaced, left to right,
    // where no replacement is searched again.
    QString model(QString text) const
    {
        for (std::size_t i = 0; i < find.size(); ++i) {
            if (!find[i].isEmpty())
                text.replace(find[i], replace[i]);
        }
        return text;
    }
};
