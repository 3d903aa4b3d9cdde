// The window launching an HTML template into a mail program that cannot take
// HTML (Claws Mail): it asks its one question, and does what the answer
// says. (The real question box is tst_form1's theRealDialogs.)
#include "support/mailprograms_unix.h"
#include "support/windowtest.h"

using namespace mailtesting;

class TestHtmlQuestion : public WindowTest, private MailClientFixture
{
    Q_OBJECT

    void prepareTest() override
    {
        reset();
        setMailProgram("claws-mail");
        desktopMailClient = true;
        mailSetup = m_setup;
    }

private slots:
    void theAnswerIsDone_data()
    {
        QTest::addColumn<QString>("answer"); // a button's caption; empty: Escape
        QTest::newRow("Open as Plain Text") << "Open as Plain Text";
        QTest::newRow("Save as Draft") << "Save as Draft";
        QTest::newRow("Escape") << QString();
    }
    void theAnswerIsDone()
    {
        QFETCH(QString, answer);
        Form1 *w = openWindow();
        dialogs.choiceAnswers << (answer.isEmpty() ? std::nullopt : std::optional<QString>(answer));
        // An HTML template typed into the window, Saved HTML Email clicked,
        // Launch clicked.
        const QString html = file("letter.html", "<p>Dear <b>Zo\xc3\xab</b>,<br>see <a href=\"https://example.com/\">"
                                                 "the offer</a>.</p><p>Cheers</p>");
        typeInto(w, {{"Text5", "a@example.com; \"Doe, John\" <j@example.com>"}, {"Text2", "Offer"}});
        QTest::mouseClick(button(w, "Option2"), Qt::LeftButton);
        typeInto(w, {{"Text8", html}});
        QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);

        QCOMPARE(dialogs.questions.size(), 1);
        QVERIFY2(dialogs.questions.first().startsWith("Claws Mail cannot take an HTML message"),
                 qPrintable(dialogs.questions.first()));
        if (answer.isEmpty()) {
            QVERIFY(m_desktop.runs.isEmpty());
            QCOMPARE(handedOver("Drafts") + handedOver("Outgoing"), QStringList());
        } else if (answer == "Save as Draft") {
            QCOMPARE(handedOver("Drafts").size(), 1);
            const QString draft = m_setup.handoverDirectory + "/Drafts/" + handedOver("Drafts").first();
            QCOMPARE(messages().size(), 1);
            QVERIFY2(messages().first().startsWith("The HTML message was saved as a draft in \"" + draft + "\". Claws "
                                                   "Mail cannot write HTML, so the draft was not opened"),
                     qPrintable(messages().first()));
            QVERIFY(m_desktop.runs.isEmpty());
        } else {
            const Received got = clientReads("claws-mail", recordedArguments());
            QCOMPARE(got.value("to"), QStringList{"a@example.com, \"Doe, John\" <j@example.com>"});
            QCOMPARE(got.value("body"), QStringList{"Dear Zo\u00eb,\nsee the offer <https://example.com/>.\n\nCheers"});
            QCOMPARE(handedOver("Drafts"), QStringList());
        }
    }
};

QTEST_MAIN(TestHtmlQuestion)
#include "tst_form1_htmlquestion_unix.moc"
