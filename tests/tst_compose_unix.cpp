// The Linux mail client: what reaches Thunderbird's command line (seen by a
// stand-in program that records its arguments), and the MIME draft that is
// written when Thunderbird is missing, read back by Python's email package.
#include "compose/compose.h"
#include "fakepairs.h"
#include "platform/appdir.h"
#include "platform/process.h"
#include "platform/shellopen.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

// How Thunderbird reads its "-compose" argument: split at commas that are
// not inside a quoted value (a quote opens a value only right after "=" and
// closes before a comma or the end), the first occurrence of a key wins, a
// quoted value is taken as it is and any other is percent-decoded.
QMap<QString, QString> thunderbirdFields(const QString &data)
{
    QStringList pairs;
    QString current;
    QChar quote, previous;
    for (qsizetype i = 0; i < data.size(); ++i) {
        const QChar c = data.at(i);
        const QChar next = i + 1 < data.size() ? data.at(i + 1) : QChar();
        if (!quote.isNull() && c == quote && (next == u',' || next.isNull())) {
            quote = QChar();
            current += c;
        } else if ((c == u'\'' || c == u'"') && previous == u'=') {
            if (quote.isNull())
                quote = c;
            current += c;
        } else if (c == u',' && quote.isNull()) {
            pairs << current;
            current.clear();
        } else {
            current += c;
        }
        previous = c;
    }
    pairs << current;
    QMap<QString, QString> fields;
    for (qsizetype i = pairs.size() - 1; i >= 0; --i) {
        const qsizetype eq = pairs.at(i).indexOf(u'=');
        if (eq < 0)
            continue;
        const QString value = pairs.at(i).mid(eq + 1);
        fields[pairs.at(i).left(eq)] =
            value.size() >= 2 && value.startsWith(u'\'') && value.endsWith(u'\'')
                ? value.mid(1, value.size() - 2)
                : QUrl::fromPercentEncoding(value.toLatin1());
    }
    return fields;
}

// The files Thunderbird attaches for the "attachment" field.
QStringList thunderbirdAttachments(const QString &field)
{
    QStringList paths;
    if (field.isEmpty())
        return paths;
    for (const QString &url : field.split(u','))
        paths << QUrl(url).toLocalFile();
    return paths;
}

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestComposeUnix : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_record;
    QList<QUrl> m_opened;
    bool m_openerWorks = true;

    QString file(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write a test file");
        return path;
    }

    compose::LaunchOutcome launch(store::EditorValues &editor, FakePairs pairs = {})
    {
        return compose::ComposeEmail(editor, pairs, compose::createDesktopMailClient);
    }

    // The arguments the stand-in was started with.
    QStringList recordedArguments()
    {
        if (!QTest::qWaitFor([&] { return QFile::exists(m_record); }, 10000))
            return {QStringLiteral("<the stand-in was not started>")};
        QByteArray bytes = contentsOf(m_record);
        QFile::remove(m_record);
        bytes.chop(1);
        QStringList arguments;
        for (const QByteArray &arg : bytes.split('\0'))
            arguments << QString::fromUtf8(arg);
        return arguments;
    }

    // The draft, as Python's email package reads it.
    QJsonObject parsedDraft(const QString &path)
    {
        QProcess python;
        python.start(QStringLiteral("python3"),
                     {QString::fromUtf8(qgetenv("LETTERLOOM_SOURCE_DIR")) + QStringLiteral("/tests/standins/parse_eml.py"),
                      path});
        if (!python.waitForFinished(30000) || python.exitCode() != 0)
            qWarning("%s", python.readAllStandardError().constData());
        return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    }

    // Makes the desktop's default mail program the one that this desktop
    // entry describes; an empty id takes the default away.
    static void setDefaultMailProgram(const QString &id, const QString &exec)
    {
        const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        const QString apps = QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
        QDir(apps).removeRecursively();
        QFile::remove(config + QStringLiteral("/mimeapps.list"));
        if (id.isEmpty())
            return;
        QDir().mkpath(config);
        QDir().mkpath(apps);
        QFile list(config + QStringLiteral("/mimeapps.list"));
        QFile entry(apps + u'/' + id);
        if (!list.open(QIODevice::WriteOnly) || !entry.open(QIODevice::WriteOnly))
            qFatal("cannot write the desktop's settings");
        list.write("[Added Associations]\nx-scheme-handler/mailto=other.desktop;\n"
                   "[Default Applications]\ntext/html=other.desktop\nx-scheme-handler/mailto=" + id.toUtf8() + ";\n");
        entry.write("[Desktop Entry]\nType=Application\nName=Mail\nExec=" + exec.toUtf8() + "\n"
                    "[Desktop Action Compose]\nExec=wrong %u\n");
    }

    QString onlyDraft()
    {
        const QDir drafts(platform::applicationDirectory() + QStringLiteral("/Drafts"));
        const QStringList names = drafts.entryList({QStringLiteral("*.eml")}, QDir::Files);
        return names.size() == 1 ? drafts.filePath(names.first()) : QString();
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(platform::applicationDirectory().contains(QLatin1String(".qttest")));
        QVERIFY(qEnvironmentVariableIsSet("LETTERLOOM_SOURCE_DIR"));
        m_record = m_dir.filePath(QStringLiteral("arguments"));
        qputenv("LETTERLOOM_STANDIN_RECORD", QFile::encodeName(m_record));
        platform::setUrlOpener([this](const QUrl &url) {
            m_opened << url;
            return m_openerWorks;
        });
    }

    void init()
    {
        platform::setInstalledProgram(QStringLiteral("thunderbird"), QStringLiteral(RECORDARGS_STANDIN));
        QDir(platform::applicationDirectory()).removeRecursively();
        setDefaultMailProgram(QString(), QString());
        m_opened.clear();
        m_openerWorks = true;
    }

    void cleanupTestCase()
    {
        platform::clearInstalledPrograms();
        platform::setUrlOpener({});
        setDefaultMailProgram(QString(), QString());
        QDir(platform::applicationDirectory()).removeRecursively();
    }

    // ---- Thunderbird's command line -----------------------------------

    // Text that would end a value, start a new field or add an attachment if
    // it were passed through quoted or raw arrives as exactly that text.
    void hostileTextArrivesAsTyped_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        const QString passwd = QStringLiteral("x',attachment='file:///etc/passwd");
        QTest::newRow("subject: quote injection") << "subject" << passwd;
        QTest::newRow("subject: double quotes") << "subject" << QStringLiteral("\"Hi\", she said,to=evil@x.org");
        QTest::newRow("subject: percent") << "subject" << QStringLiteral("100% off %41%2C %%");
        QTest::newRow("subject: newline") << "subject" << QStringLiteral("one\nattachment=file:///etc/passwd");
        QTest::newRow("to: comma and field") << "to" << QStringLiteral("a@x.org,attachment=file:///etc/passwd");
        QTest::newRow("to: quoted name") << "to" << QStringLiteral("\"Doe, John\" <j@x.org>; 'K' <k@y.org>");
        QTest::newRow("cc: equals") << "cc" << QStringLiteral("a=b@x.org,bcc=all@x.org");
        QTest::newRow("bcc: non-ASCII") << "bcc" << QStringLiteral("J\u00f6rg M\u00fcller <j@x.de>");
        QTest::newRow("body: everything") << "body" << (passwd + QStringLiteral("\n\"q\", 50% = 'half',\n"));
        QTest::newRow("body: blank") << "body" << QStringLiteral("  ");
    }
    void hostileTextArrivesAsTyped()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        store::EditorValues editor;
        editor.toText = QStringLiteral("to@x.org");
        editor.subjectText = QStringLiteral("s");
        editor.bodyText = QStringLiteral("b");
        if (field == QLatin1String("to"))
            editor.toText = text;
        else if (field == QLatin1String("cc"))
            editor.ccText = text;
        else if (field == QLatin1String("bcc"))
            editor.bccText = text;
        else if (field == QLatin1String("subject"))
            editor.subjectText = text;
        else
            editor.bodyText = text;
        const QString attached = file(QStringLiteral("plain.txt"), "1");
        editor.attachmentPaths = attached;

        const compose::LaunchOutcome outcome = launch(editor);
        QVERIFY2(outcome.displayed, qPrintable(outcome.message));
        QVERIFY(outcome.message.isEmpty());
        const QStringList arguments = recordedArguments();
        QCOMPARE(arguments.size(), 2);
        QCOMPARE(arguments.at(0), QStringLiteral("-compose"));
        // Nothing but keys and encoded values: no quotes, no raw commas in values.
        static const QRegularExpression shape(
            QStringLiteral("^[a-z]+=[A-Za-z0-9%._~-]+(,[a-z]+=[A-Za-z0-9%._~-]+)*$"));
        QVERIFY2(shape.match(arguments.at(1)).hasMatch(), qPrintable(arguments.at(1)));

        const QMap<QString, QString> fields = thunderbirdFields(arguments.at(1));
        QCOMPARE(fields.value(field), text);
        QCOMPARE(thunderbirdAttachments(fields.value(QStringLiteral("attachment"))), QStringList{attached});
        QStringList keys{QStringLiteral("attachment"), QStringLiteral("body"), QStringLiteral("format"),
                         QStringLiteral("subject"), QStringLiteral("to")};
        if (field == QLatin1String("cc") || field == QLatin1String("bcc"))
            keys << field;
        keys.sort();
        QCOMPARE(fields.keys(), keys);
        QCOMPARE(fields.value(QStringLiteral("format")), QStringLiteral("text"));
        QVERIFY(m_opened.isEmpty());
    }

    void fileNamesArriveIntact()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("sub dir,x"));
        const QStringList paths{
            file(QStringLiteral("with space, and comma.txt"), "a"),
            file(QStringLiteral("it's \"quoted\".pdf"), "b"),
            file(QStringLiteral("Gr\u00fc\u00dfe \u00e9t\u00e9 \u4e2d.doc"), "c"),
            file(QStringLiteral("100%25 %41.txt"), "d"),
            file(QStringLiteral("a=b,attachment='file:%2F%2F%2Fetc%2Fpasswd'.txt"), "e"),
            file(QStringLiteral("sub dir,x/#hash?q.txt"), "f"),
        };
        store::EditorValues editor;
        editor.attachmentPaths = paths.join(u';');
        QVERIFY(launch(editor).displayed);
        const QStringList arguments = recordedArguments();
        QCOMPARE(arguments.size(), 2);
        QCOMPARE(thunderbirdAttachments(thunderbirdFields(arguments.at(1)).value(QStringLiteral("attachment"))),
                 paths);
    }

    void relativeAttachmentBecomesAbsolute()
    {
        const QString path = file(QStringLiteral("rel.txt"), "r");
        const QString before = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        store::EditorValues editor;
        editor.attachmentPaths = QStringLiteral("rel.txt");
        const bool displayed = launch(editor).displayed;
        QDir::setCurrent(before);
        QVERIFY(displayed);
        QCOMPARE(thunderbirdAttachments(thunderbirdFields(recordedArguments().value(1)).value(QStringLiteral("attachment"))),
                 QStringList{path});
    }

    // The HTML goes in a UTF-8 file, the pairs applied to it, markup and all.
    void htmlBodyGoesThroughAFile()
    {
        store::EditorValues editor;
        editor.plain = false;
        editor.subjectText = QStringLiteral("Caf\u00e9 NAME");
        editor.location = file(QStringLiteral("mail.html"), "<p title=\"NAME\">Gr\xfc\xdf" "e, NAME \x80</p>");
        FakePairs pairs;
        pairs.set(0, QStringLiteral("NAME"), QStringLiteral("Zo\u00eb"));
        QVERIFY(launch(editor, pairs).displayed);
        const QMap<QString, QString> fields = thunderbirdFields(recordedArguments().value(1));
        QCOMPARE(fields.value(QStringLiteral("format")), QStringLiteral("html"));
        QCOMPARE(fields.value(QStringLiteral("subject")), QStringLiteral("Caf\u00e9 Zo\u00eb"));
        QVERIFY(!fields.contains(QStringLiteral("body")));
        const QString bodyFile = fields.value(QStringLiteral("message"));
        QVERIFY(bodyFile.startsWith(platform::applicationDirectory()));
        QCOMPARE(QString::fromUtf8(contentsOf(bodyFile)),
                 QStringLiteral("<p title=\"Zo\u00eb\">Gr\u00fc\u00dfe, Zo\u00eb \u20ac</p>"));
    }

    void plainBodyLineEndsAndEmptyFields()
    {
        store::EditorValues editor;
        editor.bodyText = QStringLiteral("line 1\r\nline 2\r\n");
        QVERIFY(launch(editor).displayed);
        const QMap<QString, QString> fields = thunderbirdFields(recordedArguments().value(1));
        QCOMPARE(fields.value(QStringLiteral("body")), QStringLiteral("line 1\nline 2\n"));
        QCOMPARE(fields.keys(), (QStringList{QStringLiteral("body"), QStringLiteral("format")}));
    }

    // Thunderbird as the desktop's default mail program is started the way
    // its desktop entry says, wherever it is installed.
    void thunderbirdAsDefaultMailProgram()
    {
        platform::setInstalledProgram(QStringLiteral("thunderbird"), QString());
        setDefaultMailProgram(QStringLiteral("org.mozilla.Thunderbird.desktop"),
                              QStringLiteral("\"%1\" --name \"a b\" 100%% %u").arg(QStringLiteral(RECORDARGS_STANDIN)));
        store::EditorValues editor;
        editor.subjectText = QStringLiteral("by default");
        const compose::LaunchOutcome outcome = launch(editor);
        QVERIFY2(outcome.displayed && outcome.message.isEmpty(), qPrintable(outcome.message));
        const QStringList arguments = recordedArguments();
        QCOMPARE(arguments.size(), 5);
        QCOMPARE(arguments.mid(0, 4), (QStringList{QStringLiteral("--name"), QStringLiteral("a b"),
                                                   QStringLiteral("100%"), QStringLiteral("-compose")}));
        QCOMPARE(thunderbirdFields(arguments.at(4)).value(QStringLiteral("subject")), QStringLiteral("by default"));
    }

    // Another default mail program does not carry CC, BCC, HTML and
    // attachments on its command line: the draft goes to it instead.
    void otherDefaultMailProgramGetsTheDraft()
    {
        platform::setInstalledProgram(QStringLiteral("thunderbird"), QString());
        setDefaultMailProgram(QStringLiteral("evolution.desktop"), QStringLiteral(RECORDARGS_STANDIN " %U"));
        store::EditorValues editor;
        QVERIFY(launch(editor).displayed);
        QVERIFY(!onlyDraft().isEmpty());
        QCOMPARE(m_opened.size(), 1);
        QTest::qWait(200);
        QVERIFY(!QFile::exists(m_record));
    }

    // ---- the MIME draft -----------------------------------------------

    // Without Thunderbird, when it cannot start, or for a body too long for
    // a command line, the message becomes a draft and the user is told where.
    void draftWhenThunderbirdCannotTakeIt_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<int>("bodySize");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not installed") << QString() << 10 << QStringLiteral("not installed");
        QTest::newRow("cannot start") << QStringLiteral("/nonexistent/thunderbird") << 10
                                      << QStringLiteral("could not be started");
        QTest::newRow("body too long") << QStringLiteral(RECORDARGS_STANDIN) << 200000
                                       << QStringLiteral("too long");
    }
    void draftWhenThunderbirdCannotTakeIt()
    {
        QFETCH(QString, program);
        QFETCH(int, bodySize);
        QFETCH(QString, reason);
        platform::setInstalledProgram(QStringLiteral("thunderbird"), program);
        store::EditorValues editor;
        editor.subjectText = QStringLiteral("kept");
        editor.bodyText = QString(bodySize, u'\u00e4');
        const compose::LaunchOutcome outcome = launch(editor);
        QVERIFY2(outcome.displayed, qPrintable(outcome.message));
        const QString draft = onlyDraft();
        QVERIFY(!draft.isEmpty());
        QVERIFY2(outcome.message.contains(reason) && outcome.message.contains(draft), qPrintable(outcome.message));
        QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(draft)});
        const QJsonObject parsed = parsedDraft(draft);
        QCOMPARE(parsed[QLatin1String("body")].toString(), editor.bodyText);
        QCOMPARE(parsed[QLatin1String("headers")][QLatin1String("Subject")].toString(), QStringLiteral("kept"));
        QVERIFY(!QFile::exists(m_record));
    }

    void draftNoticeWhenNothingOpensIt()
    {
        platform::setInstalledProgram(QStringLiteral("thunderbird"), QString());
        m_openerWorks = false;
        store::EditorValues editor;
        const compose::LaunchOutcome outcome = launch(editor);
        QVERIFY(outcome.displayed);
        QVERIFY(!onlyDraft().isEmpty());
        QVERIFY2(outcome.message.contains(QLatin1String("open it with your mail client")), qPrintable(outcome.message));
    }

    // Every header, the body and each attachment's bytes, read back by an
    // independent MIME parser.
    void draftReadBackByPython_data()
    {
        QTest::addColumn<bool>("html");
        QTest::newRow("plain") << false;
        QTest::newRow("html") << true;
    }
    void draftReadBackByPython()
    {
        QFETCH(bool, html);
        platform::setInstalledProgram(QStringLiteral("thunderbird"), QString());
        QByteArray binary;
        for (int i = 0; i < 3000; ++i)
            binary += char(i * 7 % 256);
        const QStringList names{QStringLiteral("with space, and comma.bin"), QStringLiteral("it's \"quoted\".txt"),
                                QStringLiteral("Gr\u00fc\u00dfe \u00e9t\u00e9 \u4e2d.pdf"), QStringLiteral("plain.png"),
                                QStringLiteral("a=b 100%25 ',x.txt"),
                                QStringLiteral("line\r\nContent-Disposition: inline\nX-Injected: 1.txt"),
                                QStringLiteral("a very long file name that goes on and on past any header line width "
                                               "\u00e4\u00f6\u00fc and on.bin")};
        QStringList paths;
        for (const QString &name : names)
            paths << file(name, binary + name.toUtf8());

        store::EditorValues editor;
        editor.toText = QStringLiteral("J\u00f6rg M\u00fcller <joerg@example.de>, b@example.org");
        editor.ccText = QStringLiteral("\"Doe, John\" <john@example.org>");
        editor.bccText = QStringLiteral("one@example.org; two@example.org"); // as Outlook users type them
        editor.subjectText = QStringLiteral("Gr\u00fc\u00dfe, \"quoted\" ',attachment='file:///etc/passwd 100% =?x?= a=b "
                                            "and a subject long enough to be folded over more than one line");
        editor.bodyText = QStringLiteral("Dear J\u00f6rg,\r\n\r\n.\r\nFrom the start\r\n=41 stays =41 \u20ac\r\n");
        editor.plain = !html;
        if (html)
            editor.location = file(QStringLiteral("m.html"), "<html><body><p>Caf\xe9 \x80 =3D</p></body></html>\r\n");
        editor.attachmentPaths = paths.join(u';');
        const compose::LaunchOutcome outcome = launch(editor);
        QVERIFY2(outcome.displayed, qPrintable(outcome.message));

        const QJsonObject parsed = parsedDraft(onlyDraft());
        QVERIFY(!parsed.isEmpty());
        QCOMPARE(parsed[QLatin1String("defects")].toArray().size(), 0);
        QCOMPARE(parsed[QLatin1String("long_lines")].toInt(), 0);
        QCOMPARE(parsed[QLatin1String("bare_lf")].toInt(), 0);
        const QJsonObject headers = parsed[QLatin1String("headers")].toObject();
        QCOMPARE(headers[QLatin1String("X-Unsent")].toString(), QStringLiteral("1"));
        QCOMPARE(headers[QLatin1String("MIME-Version")].toString(), QStringLiteral("1.0"));
        QVERIFY(headers[QLatin1String("From")].isNull());
        // The first header makes file-type detection take the file for a message.
        QCOMPARE(parsed[QLatin1String("header_names")].toArray().first().toString(), QStringLiteral("Date"));
        QVERIFY(!parsed[QLatin1String("header_names")].toArray().contains(QStringLiteral("X-Injected")));
        QCOMPARE(headers[QLatin1String("Subject")].toString(), editor.subjectText);
        QCOMPARE(headers[QLatin1String("To")].toString(), editor.toText);
        QCOMPARE(headers[QLatin1String("Cc")].toString(), editor.ccText);
        QCOMPARE(headers[QLatin1String("Bcc")].toString(), editor.bccText);
        const QJsonObject addresses = parsed[QLatin1String("addresses")].toObject();
        QCOMPARE(addresses[QLatin1String("To")].toArray(),
                 QJsonArray({QJsonArray{QStringLiteral("J\u00f6rg M\u00fcller"), QStringLiteral("joerg@example.de")},
                             QJsonArray{QString(), QStringLiteral("b@example.org")}}));
        QCOMPARE(addresses[QLatin1String("Cc")].toArray(),
                 QJsonArray({QJsonArray{QStringLiteral("Doe, John"), QStringLiteral("john@example.org")}}));

        QCOMPARE(parsed[QLatin1String("body_type")].toString(),
                 html ? QStringLiteral("text/html") : QStringLiteral("text/plain"));
        // Line ends stay CR LF, as they are in the box and in the file.
        const QString expectedBody =
            html ? QStringLiteral("<html><body><p>Caf\u00e9 \u20ac =3D</p></body></html>\r\n") : editor.bodyText;
        QCOMPARE(parsed[QLatin1String("body")].toString(), expectedBody);

        const QJsonArray attachments = parsed[QLatin1String("attachments")].toArray();
        QCOMPARE(attachments.size(), names.size());
        for (qsizetype i = 0; i < names.size(); ++i) {
            const QJsonObject part = attachments.at(i).toObject();
            QCOMPARE(part[QLatin1String("filename")].toString(), names.at(i));
            QCOMPARE(part[QLatin1String("disposition")].toString(), QStringLiteral("attachment"));
            QCOMPARE(part[QLatin1String("header_names")].toArray(),
                     QJsonArray({QStringLiteral("Content-Type"), QStringLiteral("Content-Disposition"),
                                 QStringLiteral("Content-Transfer-Encoding")}));
            QCOMPARE(QByteArray::fromBase64(part[QLatin1String("data")].toString().toLatin1()),
                     binary + names.at(i).toUtf8());
        }
        QCOMPARE(attachments.at(2).toObject()[QLatin1String("type")].toString(), QStringLiteral("application/pdf"));
        QCOMPARE(attachments.at(3).toObject()[QLatin1String("type")].toString(), QStringLiteral("image/png"));
    }

    // A header cannot hold a line break: it becomes a space and starts nothing.
    void draftHeadersCannotBeInjected()
    {
        platform::setInstalledProgram(QStringLiteral("thunderbird"), QString());
        store::EditorValues editor;
        editor.toText = QStringLiteral("a@x.org\r\nBcc: spy@evil.org");
        editor.subjectText = QStringLiteral("hi\nX-Injected: yes\r\n\r\nbody?");
        QVERIFY(launch(editor).displayed);
        const QJsonObject parsed = parsedDraft(onlyDraft());
        const QJsonObject headers = parsed[QLatin1String("headers")].toObject();
        QCOMPARE(headers[QLatin1String("To")].toString(), QStringLiteral("a@x.org  Bcc: spy@evil.org"));
        QVERIFY(headers[QLatin1String("Bcc")].isNull());
        QCOMPARE(headers[QLatin1String("Subject")].toString(), QStringLiteral("hi X-Injected: yes    body?"));
        QVERIFY(!parsed[QLatin1String("header_names")].toArray().contains(QStringLiteral("X-Injected")));
    }
};

QTEST_GUILESS_MAIN(TestComposeUnix)
#include "tst_compose_unix.moc"
