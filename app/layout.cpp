#include "app/layout.h"

#include <QtGlobal>

namespace layout {
namespace {

constexpr int kRowPair[11] = {0, 1, 2, 3, 4, 5, 6, 7, 10, 8, 9};

std::vector<Place> makePlaces()
{
    std::vector<Place> all = {
        // On the window, labels first so that the boxes they touch lie above them.
        {QStringLiteral("Label1"), 120, 240, 1215, 255, 26},
        {QStringLiteral("Label9"), 120, 840, 5175, 255, 38},
        {QStringLiteral("Label2"), 120, 1440, 1215, 255, 27},
        {QStringLiteral("Label4"), 120, 2040, 4095, 375, 28},
        {QStringLiteral("Label5"), 5760, 120, 3615, 495, 36},
        {QStringLiteral("Label8"), 5760, 2880, 3975, 255, 37},
        {QStringLiteral("Text1"), 120, 480, 5295, 285, 0},
        {QStringLiteral("Text5"), 120, 1080, 1695, 285, 1},
        {QStringLiteral("Text4"), 1920, 1080, 1695, 285, 2},
        {QStringLiteral("Text10"), 3720, 1080, 1695, 285, 3},
        {QStringLiteral("Text2"), 120, 1680, 5295, 285, 4},
        {QStringLiteral("Text3"), 120, 2280, 5295, 285, 5},
        {QStringLiteral("Option1"), 2040, 2640, 1215, 195, 39},
        {QStringLiteral("Option2"), 3360, 2640, 2055, 195, 40},
        {QStringLiteral("Frame1"), 120, 2880, 5415, 3615, 41},
        {QStringLiteral("Frame2"), 120, 2880, 5415, 975, 42},
        {QStringLiteral("Command1"), 2400, 120, 975, 255, 25},
        {QStringLiteral("Command3"), 3480, 120, 975, 255, 35},
        {QStringLiteral("Command2"), 4560, 120, 975, 255, 34},
        {QStringLiteral("List1"), 5760, 600, 4095, 2010, 33},
        // In the plain body panel.
        {QStringLiteral("Label3"), 0, 0, 1215, 255, 43},
        {QStringLiteral("Text7"), 0, 240, 5295, 3255, 6},
        // In the HTML body panel.
        {QStringLiteral("Label10"), 0, 0, 2295, 495, 46},
        {QStringLiteral("Text8"), 0, 240, 5055, 285, 44},
        {QStringLiteral("Command4"), 3600, 600, 1455, 255, 45},
    };
    // The grid: nine rows under each other, then two wider ones further down.
    for (int row = 1; row <= 11; ++row) {
        const int pair = pairOfRow(row);
        const QString find = QStringLiteral("TextFind_%1").arg(pair);
        const QString replace = QStringLiteral("TextReplaceit_%1").arg(pair);
        if (row <= 9) {
            const int top = 3120 + 360 * (row - 1);
            all.push_back({find, 5760, top, 1935, 285, 7 + 2 * (row - 1)});
            all.push_back({replace, 7800, top, 1935, 285, 8 + 2 * (row - 1)});
        } else {
            const int top = row == 10 ? 7920 : 8280;
            all.push_back({find, 5880, top, 3015, 285, row == 10 ? 30 : 29});
            all.push_back({replace, 9000, top, 3015, 285, row == 10 ? 31 : 32});
        }
    }
    return all;
}

} // namespace

const std::vector<Place> &places()
{
    static const std::vector<Place> all = makePlaces();
    return all;
}

const Place &place(const QString &control)
{
    for (const Place &p : places()) {
        if (p.control == control)
            return p;
    }
    qFatal("the window has no control named %s", qPrintable(control));
}

QRect pixels(const Place &place)
{
    return QRect(place.left / TwipsPerPixel, place.top / TwipsPerPixel, place.width / TwipsPerPixel,
                 place.height / TwipsPerPixel);
}

int pairOfRow(int row)
{
    return kRowPair[row - 1];
}

} // namespace layout
