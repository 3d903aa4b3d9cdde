#pragma once

// Eleven find/replace pairs over plain values, for tests without a window.
// Counts its yields, runs a hook in each, and notes the order in which the
// pair texts are read ("F3", "R3").

#include "substitute/pairs.h"

#include <QStringList>

#include <functional>
#include <vector>

struct FakePairs final : substitute::PairBoxes
{
    std::vector<QString> find = std::vector<QString>(11);
    std::vector<QString> replace = std::vector<QString>(11);
    mutable QStringList reads;
    std::function<void(int pass)> onYield;
    int yields = 0;

    int count() const override { return static_cast<int>(find.size()); }
    QString findText(int i) const override
    {
        reads << QStringLiteral("F%1").arg(i);
        return find.at(static_cast<std::size_t>(i));
    }
    QString replaceText(int i) const override
    {
        reads << QStringLiteral("R%1").arg(i);
        return replace.at(static_cast<std::size_t>(i));
    }
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
};
