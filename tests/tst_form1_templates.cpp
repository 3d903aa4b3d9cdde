// The window driven as a user drives it: the steps of tests/data/window,
// one file a case (see WindowTest::runScript), and what needs code: the
// picker of Ctrl+F against the rule
// (store::MatchTemplate) over random templates whose bodies it reads on a
// thread of its own. What the commands do to the
// files is the store model's test (tst_storemodel).

#include "store/templaterecord.h"
#include "store/templatesearch.h"
#include "support/searchtexts.h"
#include "support/testfiles.h"
#include "support/windowtest.h"

#include <QRandomGenerator>
#include <QRegularExpression>

class TestForm1Templates : public testsupport::WindowTest
{
    Q_OBJECT

private slots:
    // The user's steps of tests/data/window/*.txt (see WindowTest::runScript),
    // each file a case: saving a stored name, a template brought back and
    // saved unchanged, Delete and Undo by keys and by the list's menu, a
    // rename, the lock of another copy, one command at a time, and more.
    void steps_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString &file : QDir(testdata::dataDir() + "/window").entryList({"*.txt"}))
            QTest::newRow(qPrintable(file.chopped(4))) << file.chopped(4);
    }
    void steps()
    {
        QFETCH(QString, name);
        runScript(name);
    }
    void thePickerAgreesWithTheRule();
};

void TestForm1Templates::thePickerAgreesWithTheRule()
{
    QRandomGenerator random(quint32(testdata::seed(2718281828u)));
    QByteArray data;
    QStringList bodies, texts;
    for (int i = 0; i < 80; ++i) {
        QStringList record{QString("T%1 ").arg(i) + testsupport::randomSearchText(random, 4, true)};
        for (int field = 0; field < 5; ++field)
            record << (field == 1 ? QString() : testsupport::randomSearchText(random, 6, true));
        const bool plain = random.bounded(4) != 0;
        record << (plain ? "True" : "False") << (plain ? "False" : "True") << "";
        bodies << testsupport::randomSearchText(random, 30, false);
        texts << record.at(0) << record.at(1) << record.at(4) << bodies.last();
        data += (record.join('\t') + "\r\n").toUtf8(); // UTF-8, as the store writes text beyond Windows-1252
        testfiles::writeBytes(path("LTM-" + record.first() + ".txt"), "\xEF\xBB\xBF" + bodies.last().toUtf8() + "\r\n");
    }
    writeData(data);
    Form1 *w = openWindow();
    QCOMPARE(entryCount(w), 80);

    for (int round = 0; round < 30; ++round) {
        QString typed = testsupport::randomSearch(random, texts);
        typed.replace(QRegularExpression("[\\t\\r\\n]"), " ");
        // Ctrl+F in the window, then the words typed into the picker's box.
        QApplication::setActiveWindow(w);
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTest::keyClick(w->focusWidget(), Qt::Key_F, Qt::ControlModifier);
        auto *findBox = control<QLineEdit>(w, "FindBox");
        QVERIFY(findBox->isVisible());
        typeText(findBox, typed);
        // A screen reader names the box and the matches.
        QVERIFY(!findBox->accessibleName().isEmpty());
        QVERIFY(!control<QListView>(w, "FindMatches")->accessibleName().isEmpty());
        // What the box holds is what is searched.
        const QStringList words = store::SearchWords(findBox->text());
        QList<store::SearchMatch> matches;
        for (int row = 0; row < entryCount(w); ++row) {
            const store::ShownTemplate t = store::DecodeListEntry(entryText(w, row));
            const QString body = bodies.at(row);
            matches << store::MatchTemplate(words, {t.name, t.subject, t.to, t.cc, t.bcc,
                                                    store::EditorOf(t).plainTextSelected(), [body] { return body; }});
        }
        QStringList expected;
        for (const int row : store::OrderMatches(matches))
            expected << shownNames(w).at(row);
        QVERIFY2(pickerMatches(w) == expected, qPrintable(QString("round %1, \"%2\"").arg(round).arg(typed)));
        QTest::keyClick(findBox, Qt::Key_Escape);
    }
}

QTEST_MAIN(TestForm1Templates)
#include "tst_form1_templates.moc"
