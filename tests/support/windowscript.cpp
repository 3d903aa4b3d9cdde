#include "platform/folderlock.h"
#include "support/testfiles.h"
#include "support/windowtest.h"

#include <QAccessible>
#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QTimer>
#include <QMenu>
#include <QFileInfo>
#include <QKeySequence>
#include <QMetaEnum>

namespace testsupport {
namespace {

// The folder's files and their contents, the kept versions aside.
QMap<QString, QByteArray> filesOf(const QString &folder)
{
    QMap<QString, QByteArray> files = testdata::snapshot(folder);
    files.removeIf([](const std::pair<const QString &, QByteArray &> &file) { return file.first.startsWith("Deleted"); });
    return files;
}

} // namespace

void WindowTest::runScript(const QString &name)
{
    // The question dialog of a launch is modal: it is found and answered from
    // the event loop it runs. Each dialog is noted as "title|questions|the
    // texts its boxes held|the screen reader's names of its boxes".
    QStringList replies, dialogsShown;
    QTimer watch;
    watch.callOnTimeout([&replies, &dialogsShown] {
        QDialog *dialog = nullptr;
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (top->objectName() == QLatin1String("QuestionDialog") && top->isVisible() && top->isActiveWindow())
                dialog = static_cast<QDialog *>(top);
        }
        if (!dialog)
            return;
        QStringList asked, held, names;
        for (int i = 0; auto *box = dialog->findChild<QLineEdit *>(QStringLiteral("Answer_%1").arg(i)); ++i) {
            asked << dialog->findChild<QLabel *>(QStringLiteral("Question_%1").arg(i))->text();
            held << box->text();
            names << QAccessible::queryAccessibleInterface(box)->text(QAccessible::Name);
        }
        dialogsShown << QStringList{dialog->windowTitle(), asked.join(u'/'), held.join(u'/'), names.join(u'/')}.join(u'|');
        // Typed into the boxes one after another with Tab, then Enter; or a
        // key pressed; or Cancel clicked. None planned: cancelled.
        const QString reply = replies.isEmpty() ? QStringLiteral("Cancel") : replies.takeFirst();
        if (reply == u"Cancel") {
            QTest::mouseClick(dialog->findChild<QAbstractButton *>(QStringLiteral("CancelAnswers")), Qt::LeftButton);
        } else if (reply == u"Escape" || reply == u"Return") {
            QTest::keyClick(dialog->focusWidget(), reply == u"Escape" ? Qt::Key_Escape : Qt::Key_Return);
        } else {
            for (const QString &answer : reply.split(u'/')) {
                QTest::keyClick(dialog->focusWidget(), Qt::Key_A, Qt::ControlModifier);
                QTest::keyClick(dialog->focusWidget(), Qt::Key_Delete);
                typeText(dialog->focusWidget(), answer);
                QTest::keyClick(dialog->focusWidget(), Qt::Key_Tab);
            }
            QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
        }
    });
    watch.start(10);
    // The cursor at each Display of the mail client.
    auto cursors = std::make_shared<QStringList>();
    mailCalled = [cursors](const QString &line) {
        const QCursor *cursor = QApplication::overrideCursor();
        if (line == u"Display")
            *cursors << (cursor && cursor->shape() == Qt::BusyCursor ? QStringLiteral("busy") : QStringLiteral("-"));
    };
    const QString path = QDir(testdata::dataDir()).filePath(QStringLiteral("window/%1.txt").arg(name));
    const QStringList lines = QString::fromUtf8(testfiles::contentsOf(path)).split(u'\n');
    QVERIFY2(!lines.value(0).startsWith(u"<missing>"), qPrintable(path));
    Form1 *w = window();
    QMap<QString, QByteArray> marked;
    qsizetype seen = 0; // the messages and questions the script has looked at
    bool skipped = false;
    QObject scope;      // steps played later are dropped with it
    // Plays one step; where names its line.
    std::function<void(const QString &, const QString &)> play = [&](const QString &line, const QString &where) {
        const QString command = line.section(u' ', 0, 0);
        const QString first = line.section(u' ', 1, 1);
        // The text after the command, or after the command and its control.
        const QString rest = testdata::unescaped(line.section(u' ', 1)).replace("{folder}", dataFolder());
        const QString text = testdata::unescaped(line.section(u' ', 2)).replace("{folder}", dataFolder());
        const auto widget = [&] { return first == w->objectName() ? w : control<QWidget>(w, first); };
        // A file's name and its text: "NAME = TEXT".
        const QString file = this->path(rest.section(QStringLiteral(" = "), 0, 0));
        const QByteArray bytes = platform::toAnsi(rest.section(QStringLiteral(" = "), 1));
        const auto check = [&](bool ok, const QString &seenText) {
            QVERIFY2(ok, qPrintable(where + QStringLiteral("\n  but: ") + seenText));
        };
        // Whether a text holds every part of rest (separated by " | "); a
        // part after ^ is its start.
        const auto holds = [&rest](const QString &said) {
            const QStringList parts = rest.split(QStringLiteral(" | "));
            return std::all_of(parts.begin(), parts.end(), [&said](const QString &part) {
                return part.startsWith(u'^') ? said.startsWith(part.mid(1)) : said.contains(part);
            });
        };
        // The steps that compare what is shown with the rest of the line (its
        // control's name first, for those that name one).
        const QMap<QString, std::function<QString()>> shows{
            {"list", [&] { return shownNames(w).join(u'|'); }},
            {"matches", [&] { return pickerMatches(w).join(u'|'); }},
            {"body", [&] { return bodyBox(w)->toPlainText(); }},
            {"log", [&] { return mailLog->join(u'|'); }},
            {"dialog", [&] { return dialogsShown.value(dialogsShown.size() - 1); }},
            {"regular", [&] { return QDir(dataFolder()).entryList(QDir::Files | QDir::NoSymLinks).join(u'|'); }},
            {"entry", [&] { return first + u' ' + entryText(w, first.toInt()); }},
            {"box", [&] { return first + u' ' + control<QLineEdit>(w, first)->text(); }},
            {"stored", [&] { return first + u' ' + userSettings().value("replace/" + first, "<none>").toString(); }},
            {"tabs", [&] {
                 // Tab from the name box round to it: each control's name, and the
                 // role and name a screen reader reads (and an option's state).
                 QStringList heard;
                 QWidget *at = control<QWidget>(w, QStringLiteral("Text1"));
                 at->setFocus();
                 do {
                     const QAccessibleInterface *a = QAccessible::queryAccessibleInterface(at);
                     heard << at->objectName() + u'=' + QMetaEnum::fromType<QAccessible::Role>().valueToKey(a->role())
                                  + u' ' + a->text(QAccessible::Name);
                     auto *radio = qobject_cast<QAbstractButton *>(at);
                     if (radio && radio->isCheckable() && !(a->state().checkable && a->state().checked == radio->isChecked()))
                         heard << QStringLiteral("(its state is not read)");
                     QTest::keyClick(at, Qt::Key_Tab);
                     at = QApplication::focusWidget();
                 } while (at != control<QWidget>(w, QStringLiteral("Text1")) && heard.size() <= 60);
                 return heard.join(u'|');
             }},
            {"selected", [&] {
                 QStringList rows;
                 for (const QModelIndex &row : list(w)->selectionModel()->selectedIndexes()) {
                     if (list(w)->viewport()->rect().intersects(list(w)->visualRect(row)))
                         rows << QString::number(row.row());
                 }
                 return rows.join(u'|');
             }},
        };
        if (shows.contains(command)) {
            const QString now = shows[command]();
            check(now == rest, now);
            if (command == u"log") // the log starts afresh
                mailLog->clear();
        } else if (command == u"fixture") {
            const QString error = testdata::makeFixture(first, dataFolder());
#ifdef Q_OS_WIN
            if (error.startsWith(QLatin1String("cannot make"))) { // pipes and links
                skipped = true;
                QSKIP(qPrintable(where + QStringLiteral(": ") + error));
            }
#endif
            QVERIFY2(error.isEmpty(), qPrintable(where + QStringLiteral(": ") + error));
        } else if (command == u"data") {
            writeData(platform::toAnsi(rest));
        } else if (command == u"write") {
            testfiles::writeFile(file, bytes);
        } else if (command == u"open") {
            w = openWindow();
            w->ReportStartUp(); // as the program does once the window shows
        } else if (command == u"type") {
            typeText(widget(), text);
        } else if (command == u"set") {
            if (auto *body = qobject_cast<QPlainTextEdit *>(widget()))
                body->setPlainText(text);
            else
                control<QLineEdit>(w, first)->setText(text);
        } else if (command == u"inactive") {
            QApplication::setActiveWindow(nullptr);
        } else if (command == u"active") {
            QApplication::setActiveWindow(w);
            QVERIFY(QTest::qWaitForWindowActive(w));
        } else if (command == u"alt") {
            QTest::keyPress(widget(), Qt::Key_Alt, Qt::AltModifier);
            QTest::keyRelease(widget(), Qt::Key_Alt);
        } else if (command == u"popup") {
            QTRY_VERIFY2(QApplication::activePopupWidget(), qPrintable(where));
            check(QApplication::activePopupWidget()->objectName() == first, QApplication::activePopupWidget()->objectName());
            QApplication::activePopupWidget()->close();
            QTRY_VERIFY(!QApplication::activePopupWidget());
        } else if (command == u"click") {
            QTest::mouseClick(widget(), Qt::LeftButton);
        } else if (command == u"key") {
            widget()->setFocus();
            QTest::keySequence(widget(), QKeySequence(text));
        } else if (command == u"select") {
            clickEntry(list(w), first.toInt());
            list(w)->setFocus();
        } else if (command == u"ctrl-click") {
            QTest::mouseClick(list(w)->viewport(), Qt::LeftButton, Qt::ControlModifier, entryPoint(list(w), first.toInt()));
        } else if (command == u"click-below") {
            QTest::mouseClick(list(w)->viewport(), Qt::LeftButton, {}, QPoint(20, list(w)->viewport()->height() - 5));
        } else if (command == u"start") {
            // The box shows the start of its text: its first character
            // drawn at the box's left.
            const auto *shown = control<QLineEdit>(w, first);
            check(shown->cursorPosition() == 0 && shown->inputMethodQuery(Qt::ImCursorRectangle).toRect().left() < 10,
                  QString::number(shown->cursorPosition()));
        } else if (command == u"folder") {
            storeDirectory = this->path(first);
        } else if (command == u"held") {
            std::shared_ptr<platform::FolderLock> held = platform::FolderLock::take(dataFolder(), 0, {}, nullptr, nullptr);
            check(held != nullptr, QStringLiteral("the lock was not taken"));
            QTimer::singleShot(first.toInt(), w, [held]() mutable { held.reset(); });
        } else if (command == u"later") {
            QTimer::singleShot(first.toInt(), &scope, [&play, step = line.section(u' ', 2), where] { play(step, where); });
        } else if (command == u"settings") {
            settings.broken = first == u"broken";
        } else if (command == u"client-fails") {
            mailFailure = {compose::RecordingMailClient::Operation::Create, 1};
        } else if (command == u"double") {
            doubleClickEntry(list(w), first.toInt());
        } else if (command == u"menu") {
            chooseFromContextMenu(w, first.toInt(), qPrintable(text));
        } else if (command == u"action") {
            control<QAction>(w, first)->trigger();
        } else if (command == u"answer") {
            dialogs.answers << (first == u"Yes");
        } else if (command == u"prompt") {
            dialogs.textAnswers << (rest == u"Cancel" ? std::nullopt : std::optional<QString>(rest));
        } else if (command == u"browse") {
            dialogs.fileAnswers << (rest == u"Cancel" ? QString() : rest);
        } else if (command == u"reply") {
            replies << rest;
        } else if (command == u"today") {
            calendar.today = [day = QDate::fromString(first, Qt::ISODate)] { return day; };
            calendar.locale = QLocale(text);
        } else if (command == u"dialogs") {
            check(dialogsShown.size() == first.toInt() && replies.isEmpty(), dialogsShown.join(u'\n'));
        } else if (command == u"mark") {
            marked = filesOf(dataFolder());
        } else if (command == u"same") {
            check(filesOf(dataFolder()) == marked, QStringLiteral("the folder changed"));
        } else if (command == u"asked") {
            check(holds(dialogs.questions.value(dialogs.questions.size() - 1)), dialogs.questions.join(u'\n'));
        } else if (command == u"questions") {
            check(dialogs.questions.size() == first.toInt(), dialogs.questions.join(u'\n'));
        } else if (command == u"said") {
            const QStringList shown = messages().mid(seen);
            seen = messages().size();
            check(shown.size() == 1 && holds(shown.first()), shown.join(u'\n'));
        } else if (command == u"silent") {
            check(messages().size() == seen, messages().mid(seen).join(u'\n'));
        } else if (command == u"filter") {
            check(holds(dialogs.lastFilter), dialogs.lastFilter);
        } else if (command == u"path") {
            const QString shown = control<QLineEdit>(w, first)->text();
            check(shown == QDir::toNativeSeparators(text), shown);
        } else if (command == u"focus") {
            check(QApplication::focusWidget() == widget(), QApplication::focusWidget()->objectName());
        } else if (command == u"checked" || command == u"unchecked") {
            check(control<QAbstractButton>(w, first)->isChecked() == (command == u"checked"), QString());
        } else if (command == u"visible" || command == u"hidden") {
            check(widget()->isVisible() == (command == u"visible"), QString());
        } else if (command == u"file") {
            check(testfiles::contentsOf(file) == bytes, QString::fromLatin1(testfiles::contentsOf(file)));
        } else if (command == u"nofile") {
            check(!QFileInfo::exists(file), QString());
        } else if (command == u"launched") {
            check(mailLog->contains(rest), mailLog->join(u'\n'));
        } else if (command == u"attached") {
            check(mailLog->contains("Attachments.Add " + QDir::toNativeSeparators(this->path(rest))), mailLog->join(u'\n'));
        } else if (command == u"cursor") {
            check(cursors->join(u'|') == rest && !QApplication::overrideCursor(), cursors->join(u'|'));
        } else if (command == u"offered" || command == u"unoffered") {
            // The list's menu, opened below the entries.
            QMenu *menu = openListMenu(w, QPoint(20, list(w)->viewport()->height() - 5));
            const bool offered = menu->isVisible() && control<QAction>(menu, first)->isEnabled();
            menu->close();
            check(offered == (command == u"offered"), QString());
        } else {
            QFAIL(qPrintable(where + QStringLiteral(": no such step")));
        }
    };
    for (qsizetype number = 0; number < lines.size(); ++number) {
        if (lines.at(number).trimmed().isEmpty() || lines.at(number).startsWith(u'#'))
            continue;
        play(lines.at(number), QStringLiteral("%1.txt:%2: %3").arg(name).arg(number + 1).arg(lines.at(number)));
        if (skipped || QTest::currentTestFailed())
            return;
    }
}

} // namespace testsupport
