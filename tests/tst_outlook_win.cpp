// Launching into Outlook on Windows, through the program's own Outlook
// adapter and COM, against the stand-in Outlook (standins/outlook_standin_win.cpp)
// registered as "Outlook.Application": the window is driven as a user drives
// it, and the stand-in's log says which calls reached "Outlook", in which
// order, with which values and types.

#include "support/standins_win.h"
#include "support/testdata.h"
#include "support/testfiles.h"
#include "support/windowtest.h"

#include <QInputMethodEvent>
#include <QUrl>

#include <optional>

using standins::StandInOutlook;
using testfiles::writeBytes;

namespace {

QString put(const char *property, const QString &text)
{
    return QStringLiteral("MailItem.%1 = VT_BSTR %2").arg(QLatin1String(property), StandInOutlook::quoted(text));
}

// The stand-in's log of a launch that goes through: the item made, To, CC,
// BCC and Subject put, the body in its format (1 plain text, 2 HTML), each
// file attached, the item displayed and every object let go of.
QStringList launchLog(const QStringList &toCcBccSubject, int bodyFormat, const QString &body,
                      const QStringList &attachments = {})
{
    QStringList lines = {"new Application", "Application.CreateItem(VT_I4 0) -> MailItem"};
    const char *const fields[] = {"To", "CC", "BCC", "Subject"};
    for (int i = 0; i < 4; ++i)
        lines << put(fields[i], toCcBccSubject[i]);
    lines << "MailItem.BodyFormat = VT_I4 3" << QStringLiteral("MailItem.BodyFormat = VT_I4 %1").arg(bodyFormat)
          << put(bodyFormat == 2 ? "HTMLBody" : "Body", body);
    for (const QString &path : attachments) {
        lines << "MailItem.Attachments -> Attachments"
              << QStringLiteral("Attachments.Add(VT_BSTR %1) -> Attachment")
                     .arg(StandInOutlook::quoted(QDir::toNativeSeparators(path)))
              << "release Attachment" << "release Attachments";
    }
    return lines << "MailItem.Display()" << "release MailItem" << "release Application";
}

} // namespace

class TestOutlook : public WindowTest
{
    Q_OBJECT

    std::optional<StandInOutlook> m_outlook;

    QStringList logLines() const { return m_outlook->log(); }

    void prepareTest() override
    {
        desktopMailClient = true;
        m_outlook->failAt(QString());
    }

private slots:
    void initTestCase()
    {
        if (!standins::throwawayWindows())
            QSKIP(standins::notThrowaway);
        m_outlook.emplace(OUTLOOK_STANDIN);
        QVERIFY2(m_outlook->registered(), "the stand-in Outlook could not be registered");
    }
    void cleanupTestCase() { m_outlook.reset(); }

    // The main road: a template in any script, as an input method types it,
    // saved, selected in a new window, pairs typed, Launch; a double click
    // launches it once more, with a new application object. Addresses go as
    // typed (Outlook resolves ";" itself), the body as saved. Then as HTML:
    // pictures named by relative paths reach Outlook as file: URLs.
    void launchesReachOutlookExactly()
    {
        const QString price = path("price list.pdf"), terms = path("terms.txt");
        writeBytes(price, "%PDF");
        writeBytes(terms, "terms");
        const QStringList texts{"\"Kowalski, \u0141ukasz\" <l@example.pl>; [Email]", "\u674e\u660e <li@example.cn>",
                                "boss@example.com; audit@example.com",
                                "Za\u017c\u00f3\u0142\u0107 \U0001F600 [Name] \u2013 \u20ac 5"};
        Form1 *w = openWindow();
        const char *const boxes[] = {"Text5", "Text4", "Text10", "Text2", "Text7"};
        for (int i = 0; i < 5; ++i) {
            QInputMethodEvent typed;
            typed.setCommitString(i < 4 ? texts.at(i) : "Dear [Name], \"pr\u00eexes\" \U0001F468\u200D\U0001F469\u200D\U0001F467");
            QApplication::sendEvent(control<QWidget>(w, QLatin1String(boxes[i])), &typed);
        }
        typeInto(w, {{"Text1", "Offer"}, {"Text3", QDir::toNativeSeparators(price) + u';' + QDir::toNativeSeparators(terms)}});
        QTest::mouseClick(button(w, "Command3"), Qt::LeftButton);
        w = openWindow();
        clickEntry(list(w), 0);
        typeInto(w, {{"TextFind_0", "[Name]"}, {"TextReplaceit_0", "Mrs Smith"}, {"TextFind_10", "[Email]"},
                     {"TextReplaceit_10", "smith@example.com"}});
        QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);
        const QStringList fields{texts[0], texts[1], texts[2], "Za\u017c\u00f3\u0142\u0107 \U0001F600 Mrs Smith \u2013 \u20ac 5"};
        const QStringList expected = launchLog(
            fields, 1, "Dear Mrs Smith, \"pr\u00eexes\" \U0001F468\u200D\U0001F469\u200D\U0001F467", {price, terms});
        QTRY_COMPARE_WITH_TIMEOUT(logLines(), expected, 10000);
        m_outlook->clearLog();
        doubleClickEntry(list(w), 0);
        QTRY_COMPARE_WITH_TIMEOUT(logLines(), expected, 10000);

        m_outlook->clearLog();
        writeBytes(path("logo.png"), "\x89PNG\r\n\x1a\n");
        writeBytes(path("letter.html"), "<p>\xc5\x81\xc3\xb3" "d\xc5\xba [Name]</p><img src=\"logo.png\">");
        QTest::mouseClick(button(w, "Option2"), Qt::LeftButton);
        box(w, "Text3")->clear();
        QTest::keyClicks(box(w, "Text8"), QDir::toNativeSeparators(path("letter.html")));
        QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);
        const QString logo = QUrl::fromLocalFile(path("logo.png")).toString(QUrl::FullyEncoded);
        QVERIFY2(logo.startsWith("file:///"), qPrintable(logo));
        QTRY_COMPARE_WITH_TIMEOUT(logLines(),
                                  launchLog(fields, 2, "<p>\u0141\u00f3d\u017a Mrs Smith</p><img src=\"" + logo + "\">"),
                                  10000);
    }

    // Outlook refusing any one call with a COM exception: the launch stops
    // there, nothing is displayed, and the user is told once, with Outlook's
    // reason; the calls before were those of a launch that goes through, the
    // objects made were let go of, the last made first; the next launch goes
    // through.
    void failureAtEachStep_data() { testdata::addRows(QStringLiteral("outlook-failures")); }
    void failureAtEachStep()
    {
        QFETCH(QString, failAt);
        QFETCH(QString, failedCall);
        QFETCH(QString, released);
        const QString one = path("one.txt"), two = path("two.txt");
        writeBytes(one, "1");
        writeBytes(two, "2");
        failedCall.replace("%1", StandInOutlook::quoted(QDir::toNativeSeparators(one)))
            .replace("%2", StandInOutlook::quoted(QDir::toNativeSeparators(two)));
        const QStringList launched = launchLog({"to@example.com", "", "", "Hello"}, 1, "Text", {one, two});
        m_outlook->failAt(failAt);
        Form1 *w = openWindow();
        typeInto(w, {{"Text5", "to@example.com"}, {"Text2", "Hello"}, {"Text7", "Text"},
                     {"Text3", QDir::toNativeSeparators(one) + u';' + QDir::toNativeSeparators(two)}});
        QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);

        const QString reason = QStringLiteral("The stand-in was told to fail at %1.").arg(failAt.section(u'#', 0, 0));
        QCOMPARE(messages().size(), 1);
        QVERIFY2(messages()[0].contains(reason), qPrintable(messages()[0]));
        QTRY_VERIFY_WITH_TIMEOUT(logLines().endsWith("release Application"), 10000);
        const QStringList lines = logLines();
        const QString failedLine = failedCall + " -> exception: " + reason;
        QCOMPARE(lines, launched.mid(0, lines.indexOf(failedLine)) << failedLine
                            << released.split(u'|', Qt::SkipEmptyParts) << "release Application");
        QCOMPARE(box(w, "Text2")->text(), "Hello");
        m_outlook->failAt(QString());
        QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(logLines(), launched, 10000);
    }
};

QTEST_MAIN(TestOutlook)
#include "tst_outlook_win.moc"
