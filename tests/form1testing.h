#pragma once

// What the window tests share: a Form1 over a throwaway data folder, the
// test's own settings, a recording mail client and recording dialogs.

#include "app/form1.h"
#include "recordingmailclient.h"
#include "platform/ansitext.h"
#include "platform/dialogs.h"
#include "platform/settingsstore.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// Records the boxes the window would show and answers for the user.
struct RecordingDialogs final : platform::Dialogs
{
    QStringList messages;
    QStringList questions;
    QList<bool> answers;                     // taken from the front; none left: No
    QList<std::optional<QString>> textAnswers; // taken from the front; none left: Cancel
    QStringList fileAnswers; // taken from the front; an empty answer (or none) cancels
    int fileDialogs = 0;
    QString lastFilter;

    void message(const QString &text) override { messages << text; }
    bool question(const QString &text) override
    {
        questions << text;
        return !answers.isEmpty() && answers.takeFirst();
    }
    std::optional<QString> textInput(const QString &prompt, const QString &) override
    {
        questions << prompt;
        return textAnswers.isEmpty() ? std::nullopt : textAnswers.takeFirst();
    }
    QString openFileName(const QString &filter) override
    {
        ++fileDialogs;
        lastFilter = filter;
        return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    }
};

// A desktop that records the addresses the window would open and starts
// nothing.
struct RecordingDesktop final : platform::Desktop
{
    QList<QUrl> opened;
    bool opens = false; // as on a desktop without a handler
    bool openUrl(const QUrl &url) override
    {
        opened << url;
        return opens;
    }
};

// A settings store that cannot be written while broken is set.
struct BrokenSettings final : platform::SettingsStore
{
    int saves = 0;
    bool broken = true;
    bool save(const QString &section, const QString &key, const QString &value, QString *error) override
    {
        ++saves;
        if (!broken)
            return platform::SettingsStore::save(section, key, value, error);
        if (error)
            *error = QStringLiteral("Could not store the find/replace box: the settings file is read-only");
        return false;
    }
};

inline QSettings userSettings()
{
    return QSettings(QSettings::UserScope, QStringLiteral("Letterloom"), QStringLiteral("Letterloom"));
}

// Every window test runs on its own settings and its own data folder. The
// settings file is the test program's own, so test programs that ctest runs
// side by side do not clear each other's entries.
inline void startTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    static QTemporaryDir settingsFolder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsFolder.path());
}

inline void clearSettings()
{
    QSettings settings = userSettings();
    settings.remove(QStringLiteral("replace"));
    settings.sync();
}

struct WindowFixture
{
    QTemporaryDir dir;
    platform::SettingsStore settings;
    RecordingDialogs dialogs;
    RecordingDesktop desktop;
    compose::RecordingMailClient::Log mailLog = std::make_shared<QStringList>();
    compose::RecordingMailClient::Failure mailFailure;
    std::function<void(const QString &)> mailCalled; // runs on each call the mail client records
    QString storeDirectory; // the data folder; empty: dir
    bool desktopMailClient = false; // launch into this desktop's mail client, through the desktop itself

    // A window as the program makes it: created, loaded, shown.
    std::unique_ptr<Form1> open(platform::SettingsStore *settingsStore = nullptr)
    {
        Form1Services services;
        services.storeDirectory = storeDirectory.isEmpty() ? dir.path() : storeDirectory;
        services.settings = settingsStore ? settingsStore : &settings;
        if (!desktopMailClient)
            services.mailClients = compose::RecordingMailClient::factory(mailLog, mailFailure, mailCalled);
        services.dialogs = &dialogs;
        services.desktop = desktopMailClient ? nullptr : &desktop;
        auto window = std::make_unique<Form1>(std::move(services));
        window->Form_Load();
        window->show();
        return window;
    }

    QString path(const QString &name) const { return dir.filePath(name); }

    void writeData(const QByteArray &bytes) const
    {
        QFile file(path(QStringLiteral("MainData.txt")));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write the data file");
    }
};

template <typename T>
T *control(const QWidget *window, const QString &name)
{
    T *found = window->findChild<T *>(name);
    if (!found)
        qFatal("no control %s", qPrintable(name));
    return found;
}

inline QLineEdit *box(const QWidget *w, const char *name) { return control<QLineEdit>(w, QLatin1String(name)); }
inline QAbstractButton *button(const QWidget *w, const char *name)
{
    return control<QAbstractButton>(w, QLatin1String(name));
}
inline QListView *list(const QWidget *w) { return control<QListView>(w, QStringLiteral("List1")); }
inline int entryCount(const QWidget *w) { return list(w)->model()->rowCount(); }
inline QString entryText(const QWidget *w, int row)
{
    return list(w)->model()->index(row, 0).data(Qt::UserRole).toString(); // the whole entry, not just the name
}
inline bool entrySelected(const QWidget *w) { return list(w)->selectionModel()->hasSelection(); }
inline QPlainTextEdit *bodyBox(const QWidget *w) { return control<QPlainTextEdit>(w, QStringLiteral("Text7")); }
inline QWidget *panel(const QWidget *w, const char *name) { return control<QWidget>(w, QLatin1String(name)); }
inline QLineEdit *findBox(const QWidget *w, int i) { return control<QLineEdit>(w, QStringLiteral("TextFind_%1").arg(i)); }
inline QLineEdit *replaceBox(const QWidget *w, int i)
{
    return control<QLineEdit>(w, QStringLiteral("TextReplaceit_%1").arg(i));
}

// The editor's one-line boxes in the window's order: name, To, CC, BCC,
// subject, attachments, HTML location.
inline QStringList editorBoxes(const QWidget *w)
{
    QStringList texts;
    for (const char *name : {"Text1", "Text5", "Text4", "Text10", "Text2", "Text3", "Text8"})
        texts << box(w, name)->text();
    return texts;
}

// Clicks a list entry the way a user does, on the entry's own line.
inline void clickEntry(QListView *listBox, int row)
{
    const QRect rect = listBox->visualRect(listBox->model()->index(row, 0));
    QTest::mouseClick(listBox->viewport(), Qt::LeftButton, {}, QPoint(20, rect.center().y()));
}

// A double click is a click followed by the second press, which the
// platform reports as a double click.
inline void doubleClickEntry(QListView *listBox, int row)
{
    const QRect rect = listBox->visualRect(listBox->model()->index(row, 0));
    const QPoint at(20, rect.center().y());
    QTest::mouseClick(listBox->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(listBox->viewport(), Qt::LeftButton, {}, at);
}

// One stored record line with its CR LF, in the data file's encoding.
inline QByteArray recordLine(const QStringList &fields)
{
    return platform::toAnsi(fields.join(QLatin1Char('\t')) + QStringLiteral("\r\n"));
}

// A stored template line with its CR LF: name, subject, To, plain text.
inline QByteArray templateLine(const char *name, const char *subject)
{
    return recordLine({QString::fromLatin1(name), QString::fromLatin1(subject), QString(), QString(),
                       QStringLiteral("to@example.com"), QString(), QStringLiteral("True"), QStringLiteral("False"),
                       QString()});
}

// Selects a list entry with the mouse and leaves the focus on the list.
inline void selectEntry(QWidget *w, int row)
{
    clickEntry(list(w), row);
    list(w)->setFocus();
}
