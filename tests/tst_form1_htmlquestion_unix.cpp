// The window launching an HTML template into a mail program that cannot take
// HTML: it asks its one question, and does what the answer says. And the
// question box itself, as the user answers it: a button, or Escape.
#include "support/mailprograms_unix.h"
#include "support/windowtest.h"

#include "app/widgetdialogs.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

using namespace mailtesting;

class TestHtmlQuestion : public WindowTest, private MailClientFixture
{
    Q_OBJECT

private:
    void prepareTest() override
    {
        reset();
        setMailProgram("claws-mail");
        desktopMailClient = true;
        mailSetup = m_setup;
    }

    // An HTML template typed into the window, the Saved HTML Email option
    // clicked, Launch clicked.
    void launchHtmlTemplate(Form1 *w)
    {
        const QString html = file("letter.html", "<p>Dear <b>Zo\xc3\xab</b>,<br>see <a href=\"https://example.com/\">"
                                                 "the offer</a>.</p><p>Cheers</p>");
        typeInto(w, {{"Text5", "a@example.com; \"Doe, John\" <j@example.com>"}, {"Text2", "Offer"}});
        QTest::mouseClick(button(w, "Option2"), Qt::LeftButton);
        typeInto(w, {{"Text8", html}});
        QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);
    }

private slots:
    void openAsPlainText()
    {
        Form1 *w = openWindow();
        dialogs.choiceAnswers << "Open as Plain Text";
        launchHtmlTemplate(w);
        QCOMPARE(dialogs.questions.size(), 1);
        QVERIFY2(dialogs.questions.first().startsWith("Claws Mail cannot take an HTML message"),
                 qPrintable(dialogs.questions.first()));
        QCOMPARE(messages(), QStringList());
        const Received got = clientReads("claws-mail", recordedArguments());
        QCOMPARE(got.value("to"), QStringList{"a@example.com, \"Doe, John\" <j@example.com>"});
        QCOMPARE(got.value("body"), QStringList{"Dear Zo\u00eb,\nsee the offer <https://example.com/>.\n\nCheers"});
        QCOMPARE(handedOver("Drafts"), QStringList());
    }

    void saveAsDraft()
    {
        Form1 *w = openWindow();
        dialogs.choiceAnswers << "Save as Draft";
        launchHtmlTemplate(w);
        QCOMPARE(dialogs.questions.size(), 1);
        QCOMPARE(handedOver("Drafts").size(), 1);
        const QString draft = m_setup.handoverDirectory + "/Drafts/" + handedOver("Drafts").first();
        QCOMPARE(messages().size(), 1);
        QVERIFY2(messages().first().startsWith("The HTML message was saved as a draft in \"" + draft + "\". Claws Mail "
                                               "cannot write HTML, so the draft was not opened"),
                 qPrintable(messages().first()));
        QVERIFY(m_desktop.runs.isEmpty());
    }

    void escapeOpensNothing()
    {
        Form1 *w = openWindow();
        dialogs.choiceAnswers << std::nullopt;
        launchHtmlTemplate(w);
        QCOMPARE(dialogs.questions.size(), 1);
        QCOMPARE(messages(), QStringList());
        QVERIFY(m_desktop.runs.isEmpty());
        QCOMPARE(handedOver("Drafts") + handedOver("Outgoing"), QStringList());
    }

    // The real box: its text and its two buttons; a click on one is that
    // answer, and Escape or the close button answers none.
    void theQuestionBox_data()
    {
        QTest::addColumn<QString>("action"); // a button's caption, "Escape" or "close"
        QTest::addColumn<int>("answer");     // -1: none
        QTest::newRow("first button") << "Open as Plain Text" << 0;
        QTest::newRow("second button") << "Save as Draft" << 1;
        QTest::newRow("Escape") << "Escape" << -1;
        QTest::newRow("close button") << "close" << -1;
    }
    void theQuestionBox()
    {
        QFETCH(QString, action);
        QFETCH(int, answer);
        QWidget parent;
        WidgetDialogs real(&parent);
        QStringList seen;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen << box->windowTitle() << box->text();
            for (QAbstractButton *b : box->buttons())
                seen << b->text();
            if (action == "Escape") {
                QTest::keyClick(box, Qt::Key_Escape);
            } else if (action == "close") {
                box->close();
            } else {
                for (QAbstractButton *b : box->buttons()) {
                    if (b->text() == action)
                        QTest::mouseClick(b, Qt::LeftButton);
                }
            }
            if (box->isVisible()) { // it did not close: the test must not hang
                seen << "still open";
                box->done(99);
            }
        });
        const std::optional<int> chosen = real.choice("Which one?", {"Open as Plain Text", "Save as Draft"});
        QCOMPARE(seen, (QStringList{"Letterloom", "Which one?", "Open as Plain Text", "Save as Draft"}));
        QCOMPARE(chosen.value_or(-1), answer);
    }
};

QTEST_MAIN(TestHtmlQuestion)
#include "tst_form1_htmlquestion_unix.moc"
