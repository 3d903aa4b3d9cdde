// Launching into Outlook on Windows, through the program's own Outlook
// adapter and COM, against the stand-in Outlook (standins/outlook_standin_win.cpp)
// registered as "Outlook.Application": the window is driven as a user drives
// it, and the stand-in's log says which calls reached "Outlook", in which
// order, with which values and types.

#include "form1testing.h"
#include "testfiles.h"

#include <QProcess>
#include <QSettings>

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

QStringList attached(const QString &path)
{
    return {
        QStringLiteral("MailItem.Attachments -> Attachments"),
        QStringLiteral("Attachments.Add(VT_BSTR %1) -> Attachment").arg(quoted(QDir::toNativeSeparators(path))),
        QStringLiteral("release Attachment"),
        QStringLiteral("release Attachments"),
    };
}

// Types text as key presses; characters beyond ASCII arrive as the text of
// a key without a key code, as an input method delivers them.
void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(widget, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), {});
    }
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
        settings.setValue(QStringLiteral("Log"), QDir::toNativeSeparators(m_log));
        settings.setValue(QStringLiteral("FailAt"), failAt);
        settings.sync();
        QFile::remove(m_log);
    }

    // The stand-in's log; the releases are sent when the launch lets go of
    // its objects, so the last one may still be on its way.
    QStringList logLines() const
    {
        QFile file(m_log);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
        if (lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

    static bool standIn(const char *argument)
    {
        return QProcess::execute(QStringLiteral(OUTLOOK_STANDIN), {QLatin1String(argument)}) == 0;
    }

private slots:
    void initTestCase()
    {
        startTestCase();
        if (!qEnvironmentVariableIsSet("LETTERLOOM_THROWAWAY_WINDOWS"))
            QSKIP("this test registers stand-ins for other programs: it runs in a throwaway Wine prefix or "
                  "Windows only (LETTERLOOM_THROWAWAY_WINDOWS=1)");
        QVERIFY(m_logDir.isValid());
        m_log = m_logDir.filePath(QStringLiteral("outlook.log"));
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
    void failureAtEachStep_data();
    void failureAtEachStep();
};

// The main road: a template typed and saved, selected in the list, pairs
// typed, Launch; then a double click on the entry launches it once more.
void TestOutlook::saveSelectAndLaunch()
{
    WindowFixture f;
    f.desktopMailClient = true;
    const QString price = f.path(QStringLiteral("price list.pdf"));
    const QString terms = f.path(QStringLiteral("terms.txt"));
    writeBytes(price, "%PDF");
    writeBytes(terms, "terms");

    auto w = f.open();
    QTest::keyClicks(box(w.get(), "Text1"), QStringLiteral("Offer"));
    QTest::keyClicks(box(w.get(), "Text5"), QStringLiteral("[Email]"));
    QTest::keyClicks(box(w.get(), "Text4"), QStringLiteral("sales@example.com"));
    QTest::keyClicks(box(w.get(), "Text10"), QStringLiteral("boss@example.com; audit@example.com"));
    typeText(box(w.get(), "Text2"), QStringLiteral("Our offer, [Name] \u2013 \u20ac 5"));
    QTest::keyClicks(box(w.get(), "Text3"), QDir::toNativeSeparators(price) + u';' + QDir::toNativeSeparators(terms));
    QTest::keyClicks(bodyBox(w.get()), QStringLiteral("Dear [Name],"));
    QTest::keyClick(bodyBox(w.get()), Qt::Key_Return);
    typeText(bodyBox(w.get()), QStringLiteral("\"pr\u00eexes\" attached."));
    QTest::mouseClick(button(w.get(), "Command3"), Qt::LeftButton);
    QCOMPARE(entryCount(w.get()), 1);

    // A new window lists it; the user selects it and types the pairs.
    w.reset();
    w = f.open();
    clickEntry(list(w.get()), 0);
    QCOMPARE(box(w.get(), "Text1")->text(), QStringLiteral("Offer"));
    QTest::keyClicks(findBox(w.get(), 0), QStringLiteral("[Name]"));
    QTest::keyClicks(replaceBox(w.get(), 0), QStringLiteral("Mrs Smith"));
    QTest::keyClicks(findBox(w.get(), 10), QStringLiteral("[Email]"));
    QTest::keyClicks(replaceBox(w.get(), 10), QStringLiteral("smith@example.com"));
    QTest::mouseClick(button(w.get(), "Command1"), Qt::LeftButton);

    QStringList expected = {
        QStringLiteral("new Application"),
        QStringLiteral("Application.CreateItem(VT_I4 0) -> MailItem"),
        put("To", QStringLiteral("[Email]")), // addresses go as typed
        put("CC", QStringLiteral("sales@example.com")),
        put("BCC", QStringLiteral("boss@example.com; audit@example.com")),
        put("Subject", QStringLiteral("Our offer, Mrs Smith \u2013 \u20ac 5")),
        QStringLiteral("MailItem.BodyFormat = VT_I4 3"),
        QStringLiteral("MailItem.BodyFormat = VT_I4 1"),
        // The body as the body file gave it back: with the CR LF behind it.
        put("Body", QStringLiteral("Dear Mrs Smith,\r\n\"pr\u00eexes\" attached.\r\n")),
    };
    expected << attached(price) << attached(terms);
    expected << QStringLiteral("MailItem.Display()") << QStringLiteral("release MailItem")
             << QStringLiteral("release Application");
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
    const QString page = f.path(QStringLiteral("news.html"));
    writeBytes(page, "<p>Hello [Name] \x80 5</p>\r\n");
    const QString e;
    f.writeData(recordLine({QStringLiteral("News"), QStringLiteral("News for [Name]"), e, e, QStringLiteral("a@b"), e,
                            QStringLiteral("False"), QStringLiteral("True"), QDir::toNativeSeparators(page)}));
    auto w = f.open();
    QTest::keyClicks(findBox(w.get(), 3), QStringLiteral("[Name]"));
    QTest::keyClicks(replaceBox(w.get(), 3), QStringLiteral("Ann"));
    doubleClickEntry(list(w.get()), 0);

    const QStringList expected = {
        QStringLiteral("new Application"),
        QStringLiteral("Application.CreateItem(VT_I4 0) -> MailItem"),
        put("To", QStringLiteral("a@b")),
        put("CC", QString()),
        put("BCC", QString()),
        put("Subject", QStringLiteral("News for Ann")),
        QStringLiteral("MailItem.BodyFormat = VT_I4 3"),
        QStringLiteral("MailItem.BodyFormat = VT_I4 2"),
        put("HTMLBody", QStringLiteral("<p>Hello Ann \u20ac 5</p>\r\n")),
        QStringLiteral("MailItem.Display()"),
        QStringLiteral("release MailItem"),
        QStringLiteral("release Application"),
    };
    QTRY_COMPARE_WITH_TIMEOUT(logLines(), expected, 10000);
    QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join(u'\n')));
}

// Outlook refusing any one call with a COM exception: the launch stops there,
// nothing is displayed, and the user is told once, with Outlook's reason.
void TestOutlook::failureAtEachStep_data()
{
    QTest::addColumn<QString>("failAt");
    QTest::addColumn<QString>("failedCall");
    QTest::newRow("CreateItem") << QStringLiteral("CreateItem") << QStringLiteral("Application.CreateItem(VT_I4 0)");
    QTest::newRow("To") << QStringLiteral("To") << put("To", QStringLiteral("to@example.com"));
    QTest::newRow("CC") << QStringLiteral("CC") << put("CC", QString());
    QTest::newRow("BCC") << QStringLiteral("BCC") << put("BCC", QString());
    QTest::newRow("Subject") << QStringLiteral("Subject") << put("Subject", QStringLiteral("Hello"));
    QTest::newRow("BodyFormat 3") << QStringLiteral("BodyFormat") << QStringLiteral("MailItem.BodyFormat = VT_I4 3");
    QTest::newRow("BodyFormat 1") << QStringLiteral("BodyFormat#2") << QStringLiteral("MailItem.BodyFormat = VT_I4 1");
    QTest::newRow("Body") << QStringLiteral("Body") << put("Body", QStringLiteral("Text"));
    QTest::newRow("first Attachments") << QStringLiteral("Attachments") << QStringLiteral("MailItem.Attachments");
    QTest::newRow("second Attachments") << QStringLiteral("Attachments#2") << QStringLiteral("MailItem.Attachments");
    QTest::newRow("first Add") << QStringLiteral("Add") << QStringLiteral("Attachments.Add(VT_BSTR %1)");
    QTest::newRow("second Add") << QStringLiteral("Add#2") << QStringLiteral("Attachments.Add(VT_BSTR %2)");
    QTest::newRow("Display") << QStringLiteral("Display") << QStringLiteral("MailItem.Display()");
}

void TestOutlook::failureAtEachStep()
{
    QFETCH(QString, failAt);
    QFETCH(QString, failedCall);
    WindowFixture f;
    f.desktopMailClient = true;
    const QString one = f.path(QStringLiteral("one.txt"));
    const QString two = f.path(QStringLiteral("two.txt"));
    writeBytes(one, "1");
    writeBytes(two, "2");
    failedCall.replace(QLatin1String("%1"), quoted(QDir::toNativeSeparators(one)));
    failedCall.replace(QLatin1String("%2"), quoted(QDir::toNativeSeparators(two)));
    setStandIn(failAt);

    auto w = f.open();
    QTest::keyClicks(box(w.get(), "Text5"), QStringLiteral("to@example.com"));
    QTest::keyClicks(box(w.get(), "Text2"), QStringLiteral("Hello"));
    QTest::keyClicks(bodyBox(w.get()), QStringLiteral("Text"));
    QTest::keyClicks(box(w.get(), "Text3"), QDir::toNativeSeparators(one) + u';' + QDir::toNativeSeparators(two));
    QTest::mouseClick(button(w.get(), "Command1"), Qt::LeftButton);

    // One message, carrying the reason Outlook gave.
    const QString reason = QStringLiteral("The stand-in was told to fail at %1.").arg(failAt.section(u'#', 0, 0));
    QCOMPARE(f.dialogs.messages.size(), 1);
    QVERIFY2(f.dialogs.messages[0].contains(reason), qPrintable(f.dialogs.messages[0]));

    // The failed call was the last one made; the objects were let go of.
    const QString failedLine = failedCall + QStringLiteral(" -> exception: ") + reason;
    QTRY_VERIFY_WITH_TIMEOUT(logLines().endsWith(QStringLiteral("release Application")), 10000);
    const QStringList lines = logLines();
    const qsizetype at = lines.indexOf(failedLine);
    QVERIFY2(at > 0, qPrintable(lines.join(u'\n')));
    for (const QString &after : lines.mid(at + 1))
        QVERIFY2(after.startsWith(QLatin1String("release ")), qPrintable(after));
    QVERIFY(!lines.contains(QStringLiteral("MailItem.Display()")));
    QCOMPARE(lines.count(QStringLiteral("release Application")), 1);
    QCOMPARE(lines.count(QStringLiteral("release MailItem")), failAt == QLatin1String("CreateItem") ? 0 : 1);

    // The window is as before, and the next launch goes through.
    QCOMPARE(box(w.get(), "Text2")->text(), QStringLiteral("Hello"));
    setStandIn(QString());
    QTest::mouseClick(button(w.get(), "Command1"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(logLines().endsWith(QStringLiteral("release Application")), 10000);
    QVERIFY(logLines().contains(QStringLiteral("MailItem.Display()")));
    QCOMPARE(f.dialogs.messages.size(), 1);
}

QTEST_MAIN(TestOutlook)
#include "tst_outlook_win.moc"
