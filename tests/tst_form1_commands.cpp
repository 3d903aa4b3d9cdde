// The window during a launch: launches that wait their turn, the busy
// cursor, Exit; and the real dialogs. (Clear, Help, About, Suggestions, a
// settings store that cannot be written, the keys a desktop user expects,
// and closing the window (tst_smoke_unix) are tested elsewhere: most are
// steps of tests/data/window.)

#include "app/widgetdialogs.h"
#include "support/windowtest.h"

#include <QAction>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>

#include <functional>

class TestForm1Commands : public WindowTest
{
    Q_OBJECT

private slots:
    void theRealDialogs();
};

// The boxes the user sees: Letterloom's title, no picture, each answered as
// a user answers it; Browse starting in the documents folder (or home), never
// the working folder.
void TestForm1Commands::theRealDialogs()
{
    QWidget parent;
    WidgetDialogs real(&parent);
    QStringList seen;
    // Notes what the next modal box shows, then does what the test says.
    const auto next = [&](std::function<void(QDialog *)> act) {
        QTimer::singleShot(0, &parent, [&seen, act] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            seen << dialog->windowTitle();
            if (auto *box = qobject_cast<QMessageBox *>(dialog)) {
                seen << box->text() << QString::number(box->icon());
                for (QAbstractButton *b : box->buttons())
                    seen << b->text().remove(u'&');
            }
            act(dialog);
        });
    };
    const auto press = [](const QString &caption) {
        return [caption](QDialog *dialog) {
            for (QAbstractButton *b : dialog->findChildren<QAbstractButton *>()) {
                if (b->text().remove(u'&') == caption)
                    QTest::mouseClick(b, Qt::LeftButton);
            }
        };
    };
    next(press("Yes"));
    QVERIFY(real.question(QStringLiteral("Replace it?")));
    next(press("OK"));
    real.message(QStringLiteral("Line one\r\nline two"));
    next(press("Save as Draft"));
    QCOMPARE(real.choice("Which one?", {"Open as Plain Text", "Save as Draft"}), std::optional<int>(1));
    next([](QDialog *dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    QCOMPARE(real.choice("Which one?", {"Open as Plain Text", "Save as Draft"}), std::nullopt);
    next([](QDialog *dialog) { dialog->close(); });
    QCOMPARE(real.choice("Which one?", {"Open as Plain Text", "Save as Draft"}), std::nullopt);
    QCOMPARE(QSet<QString>(seen.begin() + 3, seen.begin() + 5), (QSet<QString>{"No", "Yes"}));
    QCOMPARE(seen.mid(5, 4), (QStringList{"Letterloom", "Line one\nline two", "0", "OK"}));
    const QStringList choice{"Letterloom", "Which one?", "0", "Open as Plain Text", "Save as Draft"};
    QCOMPARE(seen.mid(9), choice + choice + choice);
    QCOMPARE(seen.mid(0, 3), (QStringList{"Letterloom", "Replace it?", "0"}));

    QString initial;
    next([&initial](QDialog *dialog) {
        initial = qobject_cast<QInputDialog *>(dialog)->textValue();
        dialog->reject();
    });
    QCOMPARE(real.textInput(QStringLiteral("New name:"), QStringLiteral("Offer")), std::nullopt);
    QCOMPARE(seen.last(), QStringLiteral("Letterloom"));
    QCOMPARE(initial, QStringLiteral("Offer"));

    QString directory;
    next([&directory](QDialog *dialog) {
        QCOMPARE(dialog->objectName(), QStringLiteral("CommonDialog1"));
        directory = qobject_cast<QFileDialog *>(dialog)->directory().absolutePath();
        dialog->reject();
    });
    QVERIFY(real.openFileName(QStringLiteral("HTML files (*.htm *.html)")).isEmpty());
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QVERIFY2(directory == (QDir(documents).exists() ? QDir(documents).absolutePath() : QDir::homePath()),
             qPrintable(directory));
    QVERIFY(directory != QDir::currentPath());
}

QTEST_MAIN(TestForm1Commands)
#include "tst_form1_commands.moc"
