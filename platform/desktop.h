#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

namespace platform {

// An application as the desktop knows it from its desktop entry.
struct DesktopApplication
{
    QString id;            // the entry's name, "thunderbird.desktop"
    QString name;          // the name the desktop shows, "Thunderbird Mail"
    QStringList command;   // its Exec split into arguments, field codes ("%u") kept
    QStringList categories; // "Network", "Email"...

    bool isNull() const { return command.isEmpty(); }
};

// What became of a program that Desktop::run started.
struct ProgramRun
{
    enum class State {
        NotStarted, // it could not be started (errorText says why)
        Exited,     // it ended within the time it was watched
        Running,    // it was still running when the watch ended, and goes on
    };
    State state = State::NotStarted;
    int exitCode = -1;
    QString errorText; // why it did not start, or the end of what it wrote
};

// What Letterloom asks of the desktop beyond its own files: which program
// handles a kind of file or address, starting programs, opening addresses.
// The window hands the real one down; tests hand in their own.
class Desktop
{
public:
    virtual ~Desktop() = default;

    // The desktop's default application for a content type such as
    // "message/rfc822", or for a scheme written as "x-scheme-handler/mailto"
    // (as GIO finds them on Linux); null when there is none.
    virtual DesktopApplication defaultApplication(const QString &contentType);

    // The full path of a program on the search path, or empty.
    virtual QString findExecutable(const QString &name);

    // Starts a program with its arguments, exactly as given (no shell, no
    // splitting), and watches it for up to watchMs milliseconds while the
    // event loop runs: it reports whether the program ended (and how), or is
    // still running, in which case it is left to run on, also after
    // Letterloom ends.
    virtual ProgramRun run(const QString &program, const QStringList &arguments, int watchMs);

    // Opens an address (a web page, a local file) with the user's default
    // handler, without waiting. False when no handler could be started.
    virtual bool openUrl(const QUrl &url);
};

// The desktop Letterloom runs on.
Desktop &systemDesktop();

#ifndef Q_OS_WIN
// Desktop entries are a matter of the Linux (and other free) desktops.

// An application's command for the given arguments: the first file or URL
// field code (%f %F %u %U) is replaced by the arguments, which are appended
// when there is none; the other field codes are left out. Flatpak's
// file-forwarding marks ("@@u", "@@") stay only when the arguments are files
// that the sandbox must be given, and go otherwise. Empty for a null
// application.
QStringList commandFor(const DesktopApplication &application, const QStringList &arguments,
                       bool argumentsAreFiles);

// An Exec value split into arguments as the desktop entry format says:
// double quotes group, a backslash inside them escapes the next character,
// "%%" is a percent sign.
QStringList splitExec(const QString &exec);
#endif


} // namespace platform
