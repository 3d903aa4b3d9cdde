#pragma once

// What the Windows window tests share besides form1testing.h: typing into
// the window's boxes as a user does, and reading back a window's boxes.

#include "form1testing.h"

#include <initializer_list>
#include <utility>

// Types text as key presses: a line break as the Return key, characters
// beyond ASCII as the text of a key without a key code, as an input method
// delivers them.
inline void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text) {
        if (c == u'\n')
            QTest::keyClick(widget, Qt::Key_Return);
        else if (c.unicode() < 0x80)
            QTest::keyClick(widget, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), {});
    }
}

// (box name, text) pairs, in the order they are typed or read.
using BoxTexts = std::initializer_list<std::pair<const char *, QString>>;

// Types each text into the box of that name ("Text5", "Text7" the body,
// "TextFind_2", "TextReplaceit_2"...), one box after another.
inline void typeInto(const QWidget *window, BoxTexts typing)
{
    for (const auto &[name, text] : typing)
        typeText(control<QWidget>(window, QLatin1String(name)), text);
}

// Checks the text each of these one-line boxes shows.
inline void compareBoxes(const QWidget *window, BoxTexts expected)
{
    for (const auto &[name, text] : expected) {
        const QString shown = control<QLineEdit>(window, QLatin1String(name))->text();
        QVERIFY2(shown == text, qPrintable(QStringLiteral("%1 shows \"%2\", not \"%3\"")
                                               .arg(QLatin1String(name), shown, text)));
    }
}
