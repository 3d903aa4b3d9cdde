#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace platform {

// The modal boxes the window shows. The window gets the real ones; tests give
// their own, which record what would have been shown and answer for the user.
// Every box is titled "Letterloom" and shows no icon.
class Dialogs
{
public:
    virtual ~Dialogs() = default;

    // Shows text with an OK button only, and returns when the user has
    // closed it.
    virtual void message(const QString &text) = 0;

    // Asks a question with the buttons Yes and No (No when the box is
    // closed otherwise); true for Yes.
    virtual bool question(const QString &text) = 0;

    // Asks a question whose answers are the buttons, in order; the index of
    // the one the user pressed, nothing when the box was closed otherwise
    // (Escape, its close button).
    virtual std::optional<int> choice(const QString &text, const QStringList &buttons) = 0;

    // Asks for one line of text, starting from text; nothing when the user
    // cancels.
    virtual std::optional<QString> textInput(const QString &prompt, const QString &text) = 0;

    // Lets the user choose an existing file to open, starting in the user's
    // documents folder. filter is a name filter such as
    // "HTML files (*.htm *.html)". Returns the chosen file's full path, or an
    // empty text when the user cancels.
    virtual QString openFileName(const QString &filter) = 0;

    // The same under a title of its own (openFileName's is Browse's); by
    // default, openFileName.
    virtual QString openFileTitled(const QString &title, const QString &filter)
    {
        Q_UNUSED(title);
        return openFileName(filter);
    }
};

} // namespace platform
