// What the window shows: every caption whole at the scale factor this program
// runs at (ctest runs it at 100 %, 150 % and 200 %, QT_SCALE_FACTOR), and the
// help page of this system. (A box brought back from the list showing the
// start of its text is a case of tests/data/window.)
#include "support/windowtest.h"

#include <QAction>
#include <QLabel>
#include <QPainter>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace {

// The rectangle of the pixels that are not white, in the image's device
// pixels; empty when there are none.
QRect inkOf(const QImage &image)
{
    const QRgb background = QColor(Qt::white).rgb();
    QRect ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != background)
                ink |= QRect(x, y, 1, 1);
        }
    }
    return ink;
}

} // namespace

class TestForm1Display : public WindowTest
{
    Q_OBJECT

private slots:
    // Each label drawn alone with all the room it could want (wider, unless
    // it wraps its lines, and taller): all of its text's ink falls inside
    // the part of the label that the window shows, which the boxes drawn
    // over its lower part do not cover, and below its top row (a glyph
    // taller than its font's ascent is cut there, as Windows' fonts are at
    // 150 % under Wine).
    void everyCaptionIsSeenWhole()
    {
        Form1 *w = openWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const qreal ratio = w->devicePixelRatioF();
        qInfo("scale factor %.2f", ratio);
        const QList<QLabel *> labels = w->findChildren<QLabel *>();
        QVERIFY(labels.size() >= 8);
        for (QLabel *label : labels) {
            // What of the label the widgets above it leave to be seen.
            QRect seen(QPoint(0, 0), label->size());
            const QList<QWidget *> siblings =
                label->parentWidget()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
            for (qsizetype i = siblings.indexOf(label) + 1; i < siblings.size(); ++i) {
                const QRect over = siblings.at(i)->geometry().translated(-label->pos());
                if (siblings.at(i)->isVisibleTo(w) && over.intersects(seen) && over.top() > 0)
                    seen.setBottom(std::min(seen.bottom(), over.top() - 1));
            }
            const QSize size = label->size();
            label->resize(label->wordWrap() ? size.width() : size.width() * 4, size.height() * 4);
            QImage image((QSizeF(label->size()) * ratio).toSize(), QImage::Format_ARGB32);
            image.setDevicePixelRatio(ratio);
            image.fill(Qt::white);
            label->render(&image, {}, {}, QWidget::RenderFlags());
            label->resize(size);
            const QRect ink = inkOf(image);
            const QRect seenPixels(QPoint(0, 0), (QSizeF(seen.size()) * ratio).toSize());
            // Ink on the top row is a glyph cut there.
            QVERIFY2(!ink.isEmpty() && seenPixels.contains(ink) && ink.top() > 0,
                     qPrintable(QString("%1 \"%2\": ink %3,%4 %5x%6, %7x%8 pixels seen")
                                    .arg(label->objectName(), label->text())
                                    .arg(ink.x()).arg(ink.y()).arg(ink.width()).arg(ink.height())
                                    .arg(seenPixels.width()).arg(seenPixels.height())));
        }
        // The buttons' and options' captions fit the room their style gives
        // them, measured in the window's own font on its screen.
        for (QAbstractButton *b : w->findChildren<QAbstractButton *>()) {
            QStyleOptionButton option;
            option.initFrom(b);
            option.text = b->text();
            const bool radio = qobject_cast<QRadioButton *>(b) != nullptr;
            const QRect room = b->style()->subElementRect(
                radio ? QStyle::SE_RadioButtonContents : QStyle::SE_PushButtonContents, &option, b);
            const QFontMetricsF metrics(b->font(), b);
            QVERIFY2(metrics.horizontalAdvance(b->text()) <= room.width() && metrics.height() <= b->height(),
                     qPrintable(QString("%1 \"%2\": %3 x %4 in %5 x %6")
                                    .arg(b->objectName(), b->text())
                                    .arg(metrics.horizontalAdvance(b->text())).arg(metrics.height())
                                    .arg(room.width()).arg(b->height())));
        }
    }

    // Help, and F1 anywhere in the window, open the page of this system:
    // Windows users read of the program folder, the registry, Outlook and
    // the drafts, and nothing of Linux; Linux users the reverse. The menu
    // item shows no key.
    void helpSpeaksOfThisSystem()
    {
        Form1 *w = openWindow();
        QApplication::setActiveWindow(w);
        QVERIFY(QTest::qWaitForWindowActive(w));
        control<QAction>(w, "HelpMMMM")->trigger();
        for (const char *at : {"Text3", "TextFind_4"})
            QTest::keyClick(box(w, at), Qt::Key_F1);
        QCOMPARE(desktop.opened, QList<QUrl>(3, desktop.opened.value(0)));
        QVERIFY(control<QAction>(w, "HelpMMMM")->shortcut().isEmpty());
        QFile page(desktop.opened.first().toLocalFile());
        QVERIFY2(page.open(QIODevice::ReadOnly), qPrintable(page.fileName()));
        const QString html = QString::fromUtf8(page.readAll());
#ifdef Q_OS_WIN
        const int system = 2; // the table's column
#else
        const int system = 1;
#endif
        for (const QStringList &row : testdata::table(QStringLiteral("help-page")).mid(1)) {
            if (!row.value(system).isEmpty())
                QVERIFY2(html.contains(row[0]) == (row[system] == u"said"), qPrintable(row.join(u' ')));
        }
    }
};

QTEST_MAIN(TestForm1Display)
#include "tst_form1_display.moc"
