#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Letterloom from a shell: listing the stored templates and launching one
// without the window.
namespace commandline {

// The exit statuses of the command line.
enum Status : int {
    Done = 0,         // listed, or the mail program took the message
    LaunchFailed = 1, // the launch failed; standard error says why
    WrongUsage = 2,   // the options make no sense
    NotFound = 3,     // no such template, or no such data folder
    Unanswered = 4,   // a question or a choice left unanswered (--no-ask, or the dialog cancelled)
};

// What the arguments need before they are read.
enum class Needs {
    Console, // --list, --help, --version: no display
    Gui,     // the window, or a launch that may ask in a dialog
};
Needs needsOf(int argc, char *argv[]);

// The folder of the templates: the one given on the command line, else the
// default (empty: the user's data folder, as the platform has it).
QString chooseDataFolder(const QString &given);

// Runs the command line in arguments (the program's name first). Returns the
// exit status, or nothing when the window is to open on the folder put in
// dataFolder.
std::optional<int> run(const QStringList &arguments, QString *dataFolder);

} // namespace commandline
