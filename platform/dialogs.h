#pragma once

#include <QString>

namespace platform {

// The modal boxes the window shows. The window gets the real ones; tests give
// their own, which record what would have been shown and answer for the user.
class Dialogs
{
public:
    virtual ~Dialogs() = default;

    // Shows text in a box titled "Letterloom" with an OK button only and no
    // icon, and returns when the user has closed it.
    virtual void message(const QString &text) = 0;

    // Lets the user choose an existing file to open. filter is a name filter
    // such as "HTML files (*.htm *.html)"; startPath, when it names a file or
    // folder, is where the dialog starts. Returns the chosen file's full path,
    // or an empty text when the user cancels.
    virtual QString openFileName(const QString &filter, const QString &startPath) = 0;
};

} // namespace platform
