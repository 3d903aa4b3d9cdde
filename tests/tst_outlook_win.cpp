// Launching into Outlook on Windows, through the program's own Outlook
// adapter and COM, against the stand-in Outlook (standins/outlook_standin_win.cpp)
// registered as "Outlook.Application": the window is driven as a user drives
// it, and the stand-in's log says which calls reached "Outlook", in which
// order, with which values and types.

#include "support/windowtest.h"
#include "support/testfiles.h"


#include <QInputMethodEvent>
#include <QProcess>
#include <QUrl>
#include <QSettings>

using testfiles::contentsOf;
using testfiles::writeBytes;

namespace {

const QString kStandInKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Letterloom\\Outlook stand-in");

// A text as the stand-in writes it into its log.
QString quoted(QString text)
{
    text.replace(u'\\', QLatin1String("\\\\"));
    text.replace(u'"', QLatin1String("\\\""));
    text.replace(u'\r', QLatin1String("\\r"));
    text.replace(u'\n', QLatin1String("\\n"));
    text.replace(u'\t', QLatin1String("\\t"));
    return u'"' + text + u'"';
}

QString put(const char *property, const QString &text)
{
    return QStringLiteral("MailItem.%1 = VT_BSTR %2").arg(QLatin1String(property), quoted(text));
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
              << QStringLiteral("Attachments.Add(VT_BSTR %1) -> Attachment").arg(quoted(QDir::toNativeSeparators(path)))
              << "release Attachment" << "release Attachments";
    }
    return lines << "MailItem.Display()" << "release MailItem" << "release Application";
}

} // namespace

class TestOutlook : public QObject
{
    Q_OBJECT

    QTemporaryDir m_logDir;
    QString m_log;
    bool m_registered = false;

    void setStandIn(const QString &failAt)
    {
        QSettings settings(kStandInKey, QSettings::NativeFormat);
        settings.setValue("Log", QDir::toNativeSeparators(m_log));
        settings.setValue("FailAt", failAt);
        settings.sync();
        QFile::remove(m_log);
    }

    // The stand-in's log; the releases are sent when the launch lets go of
    // its objects, so the last one may still be on its way.
    QStringList logLines() const { return QString::fromUtf8(contentsOf(m_log)).split("\r\n", Qt::SkipEmptyParts); }

    static bool standIn(const char *argument)
    {
        return QProcess::execute(OUTLOOK_STANDIN, {argument}) == 0;
    }

private slots:
    void initTestCase()
    {
        startTestCase();
        if (!qEnvironmentVariableIsSet("LETTERLOOM_THROWAWAY_WINDOWS"))
            QSKIP("this test registers stand-ins for other programs: it runs in a throwaway Wine prefix or "
                  "Windows only (LETTERLOOM_THROWAWAY_WINDOWS=1)");
        QVERIFY(m_logDir.isValid());
        m_log = m_logDir.filePath("outlook.log");
        m_registered = true;
        QVERIFY2(standIn("/RegServer"), "the stand-in Outlook could not be registered");
    }
    void cleanupTestCase()
    {
        if (!m_registered)
            return;
        standIn("/UnregServer");
        QSettings(kStandInKey, QSettings::NativeFormat).remove(QString());
    }
    void init()
    {
        clearSettings();
        setStandIn(QString());
    }

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
    WindowFixture f;
    f.desktopMailClient = true;
    const QString price = f.path("price list.pdf");
    const QString terms = f.path("terms.txt");
    writeBytes(price, "%PDF");
    writeBytes(terms, "terms");

    auto w = f.open();
    typeInto(w.get(), {{"Text1", "Offer"}, {"Text5", "[Email]"}, {"Text4", "sales@example.com"},
                       {"Text10", "boss@example.com; audit@example.com"},
                       {"Text2", QStringLiteral("Our offer, [Name] \u2013 \u20ac 5")},
                       {"Text3", QDir::toNativeSeparators(price) + u';' + QDir::toNativeSeparators(terms)},
                       {"Text7", QStringLiteral("Dear [Name],\n\"pr\u00eexes\" attached.")}});
    QTest::mouseClick(button(w.get(), "Command3"), Qt::LeftButton);
    QCOMPARE(entryCount(w.get()), 1);

    // A new window lists it; the user selects it and types the pairs.
    w.reset();
    w = f.open();
    clickEntry(list(w.get()), 0);
    QCOMPARE(box(w.get(), "Text1")->text(), "Offer");
    typeInto(w.get(), {{"TextFind_0", "[Name]"}, {"TextReplaceit_0", "Mrs Smith"},
                       {"TextFind_10", "[Email]"}, {"TextReplaceit_10", "smith@example.com"}});
    QTest::mouseClick(button(w.get(), "Command1"), Qt::LeftButton);

    // Addresses go as typed; the body as the body file gave it back, with
    // the CR LF behind it.
    const QStringList expected = launchLog(
        {"[Email]", "sales@example.com", "boss@example.com; audit@example.com",
         QStringLiteral("Our offer, Mrs Smith \u2013 \u20ac 5")},
        1, QStringLiteral("Dear Mrs Smith,\r\n\"pr\u00eexes\" attached.\r\n"), {price, terms});
    QTRY_COMPARE_WITH_TIMEOUT(logLines(), expected, 10000);
    QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join(u'\n')));

    // A double click on the listed entry: the same launch, with a new
    // application object.
    QFile::remove(m_log);
    doubleClickEntry(list(w.get()), 0);
    QTRY_COMPARE_WITH_TIMEOUT(logLines(), expected, 10000);
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TestOutlook::htmlTemplate()
{
    WindowFixture f;
    f.desktopMailClient = true;
    const QString page = f.path("news.html");
    writeBytes(page, "<p>Hello [Name] \x80 5</p>\r\n");
    f.writeData(recordLine({"News", "News for [Name]", "", "", "a@b", "", "False", "True",
                            QDir::toNativeSeparators(page)}));
    auto w = f.open();
    typeInto(w.get(), {{"TextFind_3", "[Name]"}, {"TextReplaceit_3", "Ann"}});
    doubleClickEntry(list(w.get()), 0);

    QTRY_COMPARE_WITH_TIMEOUT(
        logLines(), launchLog({"a@b", "", "", "News for Ann"}, 2, QStringLiteral("<p>Hello Ann \u20ac 5</p>\r\n")),
        10000);
    QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join(u'\n')));
}

// Text of any script, as an input method types it, reaches Outlook exactly,
// the addresses as typed (Outlook resolves ";" itself); an HTML file's
// pictures named by relative paths reach it as file: URLs of those files.
void TestOutlook::anyScriptAndPictures()
{
    WindowFixture f;
    f.desktopMailClient = true;
    const QStringList texts{"\"Kowalski, \u0141ukasz\" <l@example.pl>; \u0418\u0432\u0430\u043d <i@example.ru>",
                            "\u674e\u660e <li@example.cn>", "", "Za\u017c\u00f3\u0142\u0107 \U0001F600 \u041f\u0440\u0438\u0432\u0435\u0442"};
    auto w = f.open();
    const char *const boxes[] = {"Text5", "Text4", "Text10", "Text2"};
    for (int i = 0; i < 4; ++i) {
        QInputMethodEvent typed;
        typed.setCommitString(texts.at(i));
        QApplication::sendEvent(box(w.get(), boxes[i]), &typed);
    }
    QInputMethodEvent body;
    body.setCommitString(QStringLiteral("\u0416\u0451\u043b\u0442\u044b\u0439 \U0001F468\u200D\U0001F469\u200D\U0001F467"));
    QApplication::sendEvent(bodyBox(w.get()), &body);
    QTest::mouseClick(button(w.get(), "Command1"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(logLines(), launchLog(texts, 1, body.commitString()), 10000);

    QFile::remove(m_log);
    writeBytes(f.path("logo.png"), "\x89PNG\r\n\x1a\n");
    writeBytes(f.path("letter.html"), "<p>\xc5\x81\xc3\xb3" "d\xc5\xba</p><img src=\"logo.png\">");
    QTest::mouseClick(button(w.get(), "Option2"), Qt::LeftButton);
    QTest::keyClicks(box(w.get(), "Text8"), QDir::toNativeSeparators(f.path("letter.html")));
    QTest::mouseClick(button(w.get(), "Command1"), Qt::LeftButton);
    const QString logo = QUrl::fromLocalFile(f.path("logo.png")).toString(QUrl::FullyEncoded);
    QVERIFY2(logo.startsWith("file:///"), qPrintable(logo));
    QTRY_COMPARE_WITH_TIMEOUT(
        logLines(), launchLog(texts, 2, "<p>\u0141\u00f3d\u017a</p><img src=\"" + logo + "\">"), 10000);
    QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join(u'\n')));
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
    WindowFixture f;
    f.desktopMailClient = true;
    const QString one = f.path("one.txt");
    const QString two = f.path("two.txt");
    writeBytes(one, "1");
    writeBytes(two, "2");
    failedCall.replace("%1", quoted(QDir::toNativeSeparators(one)));
    failedCall.replace("%2", quoted(QDir::toNativeSeparators(two)));
    const QStringList launched = launchLog({"to@example.com", "", "", "Hello"}, 1, "Text", {one, two});
    setStandIn(failAt);

    auto w = f.open();
    typeInto(w.get(), {{"Text5", "to@example.com"}, {"Text2", "Hello"}, {"Text7", "Text"},
                       {"Text3", QDir::toNativeSeparators(one) + u';' + QDir::toNativeSeparators(two)}});
    QTest::mouseClick(button(w.get(), "Command1"), Qt::LeftButton);

    // One message, carrying the reason Outlook gave.
    const QString reason = QStringLiteral("The stand-in was told to fail at %1.").arg(failAt.section(u'#', 0, 0));
    QCOMPARE(f.dialogs.messages.size(), 1);
    QVERIFY2(f.dialogs.messages[0].contains(reason), qPrintable(f.dialogs.messages[0]));

    // The calls before the failed one were those of a launch that goes
    // through; the failed call was the last one made; the objects made were
    // let go of, the last made first.
    QTRY_VERIFY_WITH_TIMEOUT(logLines().endsWith("release Application"), 10000);
    const QStringList lines = logLines();
    const QString failedLine = failedCall + " -> exception: " + reason;
    QCOMPARE(lines, launched.mid(0, lines.indexOf(failedLine)) << failedLine << released << "release Application");

    // The window is as before, and the next launch goes through.
    QCOMPARE(box(w.get(), "Text2")->text(), "Hello");
    setStandIn(QString());
    QTest::mouseClick(button(w.get(), "Command1"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(logLines(), launched, 10000);
    QCOMPARE(f.dialogs.messages.size(), 1);
}

QTEST_MAIN(TestOutlook)
#include "tst_outlook_win.moc"
