#pragma once

#include <QRect>
#include <QSize>
#include <QString>

#include <vector>

// Where every control of the window stands: its place in twips (1/1440 inch)
// within the panel that holds it, and its TabIndex, its position in the focus
// order (labels and panels hold their places in that order without taking the
// focus). The window is built from this table, and its tests read it too.
namespace layout {

struct Place
{
    QString control;                // the control's object name
    int left, top, width, height;   // twips
    int tabIndex;
};

constexpr int TwipsPerPixel = 15;

// The window's client area below the menu bar when it is created.
constexpr QSize ClientArea(10005 / TwipsPerPixel, 6510 / TwipsPerPixel);

// Every control of the window, the eleven rows of find/replace boxes included.
const std::vector<Place> &places();

// The place of one control; a name that is not in the table is a fault of
// the program, reported at once.
const Place &place(const QString &control);

// A place in the window's pixels.
QRect pixels(const Place &place);

// The find/replace grid has eleven rows; row r (1 to 11) holds the pair of
// this index. Rows 1 to 9 are seen in a window of its first size, 10 and 11
// only when it is made larger.
int pairOfRow(int row);

} // namespace layout
