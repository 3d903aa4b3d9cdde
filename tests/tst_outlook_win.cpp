// Launching into Outlook on Windows, through the program's own Outlook
// adapter and COM, against the stand-in Outlook (standins/outlook_standin_win.cpp)
// registered as "Outlook.Application": the window is driven as a user drives
// it, and the stand-in's log says which calls reached "Outlook", in which
// order, with which values and types.

#include "support/standins_win.h"
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

    void saveSelectAndLaunch();
    void htmlTemplate();
    void anyScriptAndPictures();
    void failureAtEachStep_data();
    void failureAtEachStep();
};

// The main road: a template typed and saved, selected in the list, pairs
// typed, Launch; then a double click on the entry launches it once more.
void TestOutlook::saveSelectAndLaunch()
{
    const QString price = path("price list.pdf");
    const QString terms = path("terms.txt");
    writeBytes(price, "%PDF");
    writeBytes(terms, "terms");

    Form1 *w = openWindow();
    typeInto(w, {{"Text1", "Offer"}, {"Text5", "[Email]"}, {"Text4", "sales@example.com"},
                 {"Text10", "boss@example.com; audit@example.com"},
                 {"Text2", QStringLiteral("Our offer, [Name] \u2013 \u20ac 5")},
                 {"Text3", QDir::toNativeSeparators(price) + u';' + QDir::toNativeSeparators(terms)},
                 {"Text7", QStringLiteral("Dear [Name],\n\"pr\u00eexes\" attached.")}});
    QTest::mouseClick(button(w, "Command3"), Qt::LeftButton);
    QCOMPARE(entryCount(w), 1);

    // A new window lists it; the user selects it and types the pairs.
    w = openWindow();
    clickEntry(list(w), 0);
    QCOMPARE(box(w, "Text1")->text(), "Offer");
    typeInto(w, {{"TextFind_0", "[Name]"}, {"TextReplaceit_0", "Mrs Smith"},
                 {"TextFind_10", "[Email]"}, {"TextReplaceit_10", "smith@example.com"}});
    QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);

    // Addresses go as typed; the body as it was saved, without the CR LF
    // that Save put behind it.
    const QStringList expected = launchLog(
        {"[Email]", "sales@example.com", "boss@example.com; audit@example.com",
         QStringLiteral("Our offer, Mrs Smith \u2013 \u20ac 5")},
        1, QStringLiteral("Dear Mrs Smith,\r\n\"pr\u00eexes\" attached."), {price, terms});
    QTRY_COMPARE_WITH_TIMEOUT(logLines(), expected, 10000);

    // A double click on the listed entry: the same launch, with a new
    // application object.
    m_outlook->clearLog();
    doubleClickEntry(list(w), 0);
    QTRY_COMPARE_WITH_TIMEOUT(logLines(), expected, 10000);
}

void TestOutlook::htmlTemplate()
{
    const QString page = path("news.html");
    writeBytes(page, "<p>Hello [Name] \x80 5</p>\r\n");
    writeData(recordLine({"News", "News for [Name]", "", "", "a@b", "", "False", "True",
                          QDir::toNativeSeparators(page)}));
    Form1 *w = openWindow();
    typeInto(w, {{"TextFind_3", "[Name]"}, {"TextReplaceit_3", "Ann"}});
    doubleClickEntry(list(w), 0);

    QTRY_COMPARE_WITH_TIMEOUT(
        logLines(), launchLog({"a@b", "", "", "News for Ann"}, 2, QStringLiteral("<p>Hello Ann \u20ac 5</p>\r\n")),
        10000);
}

// Text of any script, as an input method types it, reaches Outlook exactly,
// the addresses as typed (Outlook resolves ";" itself); an HTML file's
// pictures named by relative paths reach it as file: URLs of those files.
void TestOutlook::anyScriptAndPictures()
{
    const QStringList texts{"\"Kowalski, \u0141ukasz\" <l@example.pl>; \u0418\u0432\u0430\u043d <i@example.ru>",
                            "\u674e\u660e <li@example.cn>", "",
                            "Za\u017c\u00f3\u0142\u0107 \U0001F600 \u041f\u0440\u0438\u0432\u0435\u0442"};
    Form1 *w = openWindow();
    const char *const boxes[] = {"Text5", "Text4", "Text10", "Text2"};
    for (int i = 0; i < 4; ++i) {
        QInputMethodEvent typed;
        typed.setCommitString(texts.at(i));
        QApplication::sendEvent(box(w, boxes[i]), &typed);
    }
    QInputMethodEvent body;
    body.setCommitString(
        QStringLiteral("\u0416\u0451\u043b\u0442\u044b\u0439 \U0001F468\u200D\U0001F469\u200D\U0001F467"));
    QApplication::sendEvent(bodyBox(w), &body);
    QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(logLines(), launchLog(texts, 1, body.commitString()), 10000);

    m_outlook->clearLog();
    writeBytes(path("logo.png"), "\x89PNG\r\n\x1a\n");
    writeBytes(path("letter.html"), "<p>\xc5\x81\xc3\xb3" "d\xc5\xba</p><img src=\"logo.png\">");
    QTest::mouseClick(button(w, "Option2"), Qt::LeftButton);
    QTest::keyClicks(box(w, "Text8"), QDir::toNativeSeparators(path("letter.html")));
    QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);
    const QString logo = QUrl::fromLocalFile(path("logo.png")).toString(QUrl::FullyEncoded);
    QVERIFY2(logo.startsWith("file:///"), qPrintable(logo));
    QTRY_COMPARE_WITH_TIMEOUT(logLines(),
                              launchLog(texts, 2, "<p>\u0141\u00f3d\u017a</p><img src=\"" + logo + "\">"), 10000);
}

// Outlook refusing any one call with a COM exception: the launch stops there,
// nothing is displayed, and the user is told once, with Outlook's reason.
void TestOutlook::failureAtEachStep_data()
{
    QTest::addColumn<QString>("failAt");
    QTest::addColumn<QString>("failedCall"); // %1 and %2: the first and second attachment
    QTest::addColumn<QStringList>("released"); // after the failed call, before the application
    const QStringList item = {"release MailItem"};
    const QStringList collectionAndItem = {"release Attachments", "release MailItem"};
    QTest::newRow("CreateItem") << "CreateItem" << "Application.CreateItem(VT_I4 0)" << QStringList();
    QTest::newRow("To") << "To" << put("To", "to@example.com") << item;
    QTest::newRow("CC") << "CC" << put("CC", "") << item;
    QTest::newRow("BCC") << "BCC" << put("BCC", "") << item;
    QTest::newRow("Subject") << "Subject" << put("Subject", "Hello") << item;
    QTest::newRow("BodyFormat 3") << "BodyFormat" << "MailItem.BodyFormat = VT_I4 3" << item;
    QTest::newRow("BodyFormat 1") << "BodyFormat#2" << "MailItem.BodyFormat = VT_I4 1" << item;
    QTest::newRow("Body") << "Body" << put("Body", "Text") << item;
    QTest::newRow("first Attachments") << "Attachments" << "MailItem.Attachments" << item;
    QTest::newRow("second Attachments") << "Attachments#2" << "MailItem.Attachments" << item;
    QTest::newRow("first Add") << "Add" << "Attachments.Add(VT_BSTR %1)" << collectionAndItem;
    QTest::newRow("second Add") << "Add#2" << "Attachments.Add(VT_BSTR %2)" << collectionAndItem;
    QTest::newRow("Display") << "Display" << "MailItem.Display()" << item;
}

void TestOutlook::failureAtEachStep()
{
    QFETCH(QString, failAt);
    QFETCH(QString, failedCall);
    QFETCH(QStringList, released);
    const QString one = path("one.txt");
    const QString two = path("two.txt");
    writeBytes(one, "1");
    writeBytes(two, "2");
    failedCall.replace("%1", StandInOutlook::quoted(QDir::toNativeSeparators(one)));
    failedCall.replace("%2", StandInOutlook::quoted(QDir::toNativeSeparators(two)));
    const QStringList launched = launchLog({"to@example.com", "", "", "Hello"}, 1, "Text", {one, two});
    m_outlook->failAt(failAt);

    Form1 *w = openWindow();
    typeInto(w, {{"Text5", "to@example.com"}, {"Text2", "Hello"}, {"Text7", "Text"},
                 {"Text3", QDir::toNativeSeparators(one) + u';' + QDir::toNativeSeparators(two)}});
    QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);

    // One message, carrying the reason Outlook gave.
    const QString reason = QStringLiteral("The stand-in was told to fail at %1.").arg(failAt.section(u'#', 0, 0));
    QCOMPARE(messages().size(), 1);
    QVERIFY2(messages()[0].contains(reason), qPrintable(messages()[0]));

    // The calls before the failed one were those of a launch that goes
    // through; the failed call was the last one made; the objects made were
    // let go of, the last made first.
    QTRY_VERIFY_WITH_TIMEOUT(logLines().endsWith("release Application"), 10000);
    const QStringList lines = logLines();
    const QString failedLine = failedCall + " -> exception: " + reason;
    QCOMPARE(lines, launched.mid(0, lines.indexOf(failedLine)) << failedLine << released << "release Application");

    // The window is as before, and the next launch goes through.
    QCOMPARE(box(w, "Text2")->text(), "Hello");
    m_outlook->failAt(QString());
    QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(logLines(), launched, 10000);
}

QTEST_MAIN(TestOutlook)
#include "tst_outlook_win.moc"
