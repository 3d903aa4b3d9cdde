// Launching on a Windows without classic Outlook ("Outlook.Application" is
// not registered): the window is driven as a user drives it, and what the
// desktop's programs are given is seen by a stand-in program
// (standins/recordargs_win.cpp) registered in the registry the way
// Thunderbird and the program for e-mail files register themselves.

#include "form1testing.h"
#include "testfiles.h"

#include <QSettings>
#include <QUrl>

#include <windows.h>
#include <objbase.h>

using testfiles::contentsOf;
using testfiles::writeBytes;

namespace {

const QString kClasses = QStringLiteral("HKEY_CLASSES_ROOT\\");
const QString kMailtoChoice = QStringLiteral(
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\mailto\\UserChoice");

void setDefault(const QString &key, const QString &value)
{
    QSettings settings(key, QSettings::NativeFormat);
    settings.setValue(QStringLiteral("Default"), value);
    settings.sync();
}

void removeKey(const QString &key)
{
    QSettings(key, QSettings::NativeFormat).remove(QString());
}

// Thunderbird's "-compose" value as Thunderbird reads what Letterloom sends:
// key=value pairs separated by commas, every value percent-encoded.
QMap<QString, QString> composeFields(const QString &value)
{
    QMap<QString, QString> fields;
    for (const QString &pair : value.split(u',')) {
        const qsizetype eq = pair.indexOf(u'=');
        if (eq > 0)
            fields.insert(pair.left(eq), QUrl::fromPercentEncoding(pair.mid(eq + 1).toUtf8()));
    }
    return fields;
}

} // namespace

class TestNoOutlook : public QObject
{
    Q_OBJECT

    QTemporaryDir m_programs; // the stand-ins, under the names Windows knows them by
    QString m_record;
    QString m_drafts;

    // What the stand-in was given, once it has run.
    QStringList recordedArguments() const
    {
        QFile file(m_record);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList arguments = QString::fromUtf8(file.readAll()).split(QChar(0));
        arguments.removeLast(); // after the last NUL
        return arguments;
    }

    QString standIn(const QString &name) const
    {
        return QDir::toNativeSeparators(m_programs.filePath(name));
    }

    // Thunderbird as it registers itself: the handler of mailto: addresses,
    // started as thunderbird.exe -osint -compose "%1".
    void makeThunderbirdTheDefault()
    {
        QSettings(kMailtoChoice, QSettings::NativeFormat).setValue(QStringLiteral("ProgId"),
                                                                   QStringLiteral("Thunderbird.Url.mailto"));
        setDefault(kClasses + QStringLiteral("Thunderbird.Url.mailto"), QStringLiteral("Thunderbird URL"));
        setDefault(kClasses + QStringLiteral("Thunderbird.Url.mailto\\shell\\open\\command"),
                   u'"' + standIn(QStringLiteral("Mozilla Thunderbird/thunderbird.exe")) + QStringLiteral("\" -osint -compose \"%1\""));
    }

    QString profiles() const
    {
        return QDir(qEnvironmentVariable("APPDATA")).filePath(QStringLiteral("Thunderbird/profiles.ini"));
    }

    QStringList drafts() const { return QDir(m_drafts).entryList({QStringLiteral("*.eml")}, QDir::Files); }

private slots:
    void initTestCase()
    {
        startTestCase();
        if (!qEnvironmentVariableIsSet("LETTERLOOM_THROWAWAY_WINDOWS"))
            QSKIP("this test registers stand-ins for other programs: it runs in a throwaway Wine prefix or "
                  "Windows only (LETTERLOOM_THROWAWAY_WINDOWS=1)");
        // This Windows has no classic Outlook.
        CLSID clsid;
        QVERIFY(FAILED(CLSIDFromProgID(L"Outlook.Application", &clsid)));
        QVERIFY(m_programs.isValid());
        QVERIFY(QDir(m_programs.path()).mkpath(QStringLiteral("Mozilla Thunderbird")));
        QVERIFY(QFile::copy(QStringLiteral(RECORDARGS_STANDIN),
                            m_programs.filePath(QStringLiteral("Mozilla Thunderbird/thunderbird.exe"))));
        QVERIFY(QFile::copy(QStringLiteral(RECORDARGS_STANDIN), m_programs.filePath(QStringLiteral("mailreader.exe"))));
        m_record = m_programs.filePath(QStringLiteral("arguments"));
        qputenv("LETTERLOOM_STANDIN_RECORD", QDir::toNativeSeparators(m_record).toLocal8Bit());
        m_drafts = QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                       .filePath(QStringLiteral("Letterloom/Drafts"));
    }
    void init()
    {
        clearSettings();
        QFile::remove(m_record);
        QDir(m_drafts).removeRecursively();
        QFile::remove(profiles());
        removeKey(kMailtoChoice);
        removeKey(kClasses + QStringLiteral("Thunderbird.Url.mailto"));
        // E-mail files are opened with the stand-in "mail reader".
        setDefault(kClasses + QStringLiteral(".eml"), QStringLiteral("LetterloomTests.eml"));
        setDefault(kClasses + QStringLiteral("LetterloomTests.eml\\shell\\open\\command"),
                   u'"' + standIn(QStringLiteral("mailreader.exe")) + QStringLiteral("\" \"%1\""));
    }
    void cleanupTestCase()
    {
        if (m_record.isEmpty())
            return; // nothing was changed
        removeKey(kMailtoChoice);
        removeKey(kClasses + QStringLiteral("Thunderbird.Url.mailto"));
        removeKey(kClasses + QStringLiteral("LetterloomTests.eml"));
        removeKey(kClasses + QStringLiteral(".eml"));
        QFile::remove(profiles());
    }

    void thunderbirdWhenItIsTheDefault();
    void draftWhenThunderbirdIsNotSetUp();
    void draftOpenedWithTheProgramForEmailFiles_data();
    void draftOpenedWithTheProgramForEmailFiles();
};

void TestNoOutlook::thunderbirdWhenItIsTheDefault()
{
    makeThunderbirdTheDefault();
    QVERIFY(QDir().mkpath(QFileInfo(profiles()).path()));
    writeBytes(profiles(), "[Profile0]\r\nName=default\r\nPath=Profiles/x.default\r\n");

    WindowFixture f;
    f.desktopMailClient = true;
    const QString attachment = f.path(QStringLiteral("price list, 2026.pdf"));
    writeBytes(attachment, "%PDF");
    auto w = f.open();
    QTest::keyClicks(box(w.get(), "Text5"), QStringLiteral("ann@example.org"));
    QTest::keyClicks(box(w.get(), "Text4"), QStringLiteral("bob@example.org, carl@example.org"));
    QTest::keyClicks(box(w.get(), "Text10"), QStringLiteral("dora@example.org"));
    QTest::keyClicks(box(w.get(), "Text2"), QStringLiteral("Offer for [Name], 50% off"));
    QTest::keyClicks(bodyBox(w.get()), QStringLiteral("Dear [Name],"));
    QTest::keyClick(bodyBox(w.get()), Qt::Key_Return);
    QTest::keyClicks(bodyBox(w.get()), QStringLiteral("a=b & c"));
    QTest::keyClicks(box(w.get(), "Text3"), QDir::toNativeSeparators(attachment));
    QTest::keyClicks(findBox(w.get(), 0), QStringLiteral("[Name]"));
    QTest::keyClicks(replaceBox(w.get(), 0), QStringLiteral("Ann"));
    QTest::mouseClick(button(w.get(), "Command1"), Qt::LeftButton);

    // Thunderbird itself, with "-compose" and the message: not the
    // handler's own arguments, which are for addresses.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(m_record), 10000);
    const QStringList arguments = recordedArguments();
    QCOMPARE(arguments.size(), 2);
    QCOMPARE(arguments[0], QStringLiteral("-compose"));
    const QMap<QString, QString> fields = composeFields(arguments[1]);
    QCOMPARE(fields.value(QStringLiteral("to")), QStringLiteral("ann@example.org"));
    QCOMPARE(fields.value(QStringLiteral("cc")), QStringLiteral("bob@example.org, carl@example.org"));
    QCOMPARE(fields.value(QStringLiteral("bcc")), QStringLiteral("dora@example.org"));
    QCOMPARE(fields.value(QStringLiteral("subject")), QStringLiteral("Offer for Ann, 50% off"));
    QCOMPARE(fields.value(QStringLiteral("format")), QStringLiteral("text"));
    QCOMPARE(fields.value(QStringLiteral("body")), QStringLiteral("Dear Ann,\na=b & c"));
    const QUrl attached(fields.value(QStringLiteral("attachment")));
    QVERIFY2(attached.isLocalFile(), qPrintable(attached.toString()));
    QCOMPARE(QFileInfo(attached.toLocalFile()).canonicalFilePath(), QFileInfo(attachment).canonicalFilePath());
    // Nothing to tell the user, and no draft.
    QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join(u'\n')));
    QVERIFY(drafts().isEmpty());
}

void TestNoOutlook::draftWhenThunderbirdIsNotSetUp()
{
    makeThunderbirdTheDefault(); // but it has no profile yet
    WindowFixture f;
    f.desktopMailClient = true;
    auto w = f.open();
    QTest::keyClicks(box(w.get(), "Text5"), QStringLiteral("ann@example.org"));
    QTest::mouseClick(button(w.get(), "Command1"), Qt::LeftButton);

    QCOMPARE(f.dialogs.messages.size(), 1);
    QVERIFY2(f.dialogs.messages[0].contains(QLatin1String("Thunderbird, the default mail program, is not set up")),
             qPrintable(f.dialogs.messages[0]));
    QCOMPARE(drafts().size(), 1);
    // The draft went to the program for e-mail files, not to Thunderbird.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(m_record), 10000);
    QCOMPARE(recordedArguments(), QStringList{QDir::toNativeSeparators(QDir(m_drafts).filePath(drafts().first()))});
}

// No Thunderbird: the message is saved as an unsent draft, opened with the
// program Windows opens e-mail files with when there is one, and the user is
// told where the draft is.
void TestNoOutlook::draftOpenedWithTheProgramForEmailFiles_data()
{
    QTest::addColumn<bool>("emlHandler");
    QTest::newRow("a program for e-mail files") << true;
    QTest::newRow("no program for e-mail files") << false;
}

void TestNoOutlook::draftOpenedWithTheProgramForEmailFiles()
{
    QFETCH(bool, emlHandler);
    if (!emlHandler) {
        removeKey(kClasses + QStringLiteral("LetterloomTests.eml"));
        removeKey(kClasses + QStringLiteral(".eml"));
    }
    WindowFixture f;
    f.desktopMailClient = true;
    const QString e;
    f.writeData(recordLine({QStringLiteral("Offer"), QStringLiteral("Caf\u00e9 offer"), e, e,
                            QStringLiteral("ann@example.org"), e, QStringLiteral("True"), QStringLiteral("False"), e}));
    writeBytes(f.path(QStringLiteral("LTM-Offer.txt")), "Dear Ann,\r\nprices attached.\r\n");
    auto w = f.open();
    doubleClickEntry(list(w.get()), 0);

    // One message: why Outlook was not used, and where the draft is.
    QCOMPARE(drafts().size(), 1);
    const QString draft = QDir(m_drafts).filePath(drafts().first());
    QCOMPARE(f.dialogs.messages.size(), 1);
    const QString message = f.dialogs.messages[0];
    QVERIFY2(message.startsWith(QLatin1String("Classic Outlook is not installed")), qPrintable(message));
    QVERIFY2(message.contains(QDir::toNativeSeparators(draft)), qPrintable(message));
    QVERIFY2(message.contains(emlHandler ? QLatin1String("opened with the program for e-mail files")
                                         : QLatin1String("no program opens e-mail files")),
             qPrintable(message));

    // An unsent draft of the launched template.
    const QByteArray eml = contentsOf(draft);
    QVERIFY2(eml.startsWith("Date: "), eml.left(200).constData());
    QVERIFY(eml.contains("\r\nX-Unsent: 1\r\n"));
    QVERIFY(eml.contains("\r\nTo: ann@example.org\r\n"));
    QVERIFY(eml.contains("\r\nSubject: =?UTF-8?"));
    QVERIFY(eml.contains("Dear Ann,\r\nprices attached.\r\n"));

    if (emlHandler) {
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(m_record), 10000);
        QCOMPARE(recordedArguments(), QStringList{QDir::toNativeSeparators(draft)});
    } else {
        QTest::qWait(1000);
        QVERIFY(!QFileInfo::exists(m_record));
    }
}

QTEST_MAIN(TestNoOutlook)
#include "tst_nooutlook_win.moc"
