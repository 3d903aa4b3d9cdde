// The real program, started as a user starts it, on an X server of its own
// (Xvfb): its window appears on the screen with the program's caption, and
// closing it the way a window manager's close button does ends the program
// cleanly. Where Xvfb is missing it says "skipped:" and why.

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <X11/Xlib.h>

namespace {

// Xlib's own handler ends the process on an error, as when a window goes
// away between two requests; here the request's answer is simply empty.
int ignoreXErrors(Display *, XErrorEvent *) { return 0; }

// The captions of the top-level windows shown on the screen.
QMap<QString, Window> shownWindows(Display *display)
{
    QMap<QString, Window> shown;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        Atom type = None;
        int format = 0;
        unsigned long length = 0, after = 0;
        unsigned char *caption = nullptr;
        if (XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable
            && XGetWindowProperty(display, children[i], XInternAtom(display, "_NET_WM_NAME", False), 0, 1024, False,
                                  XInternAtom(display, "UTF8_STRING", False), &type, &format, &length, &after,
                                  &caption)
                   == Success
            && caption)
            shown.insert(QString::fromUtf8(reinterpret_cast<char *>(caption), static_cast<qsizetype>(length)),
                         children[i]);
        if (caption)
            XFree(caption);
    }
    if (children)
        XFree(children);
    return shown;
}

// What a window manager sends when the user clicks the window's close button.
void askToClose(Display *display, Window window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

} // namespace

class TestSmoke : public QObject
{
    Q_OBJECT

private slots:
    void theWindowAppearsAndClosesCleanly()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty())
            QSKIP("skipped: Xvfb is not installed (scripts/setup.sh installs it)");

        // The server picks a free display and writes its number.
        QProcess server;
        server.start(xvfb, {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        QVERIFY2(server.waitForReadyRead(10000), server.readAllStandardError().constData());
        const QByteArray number = server.readAllStandardOutput().trimmed();
        const QByteArray name = ':' + number;
        XSetErrorHandler(ignoreXErrors);
        Display *display = XOpenDisplay(name.constData());
        QVERIFY2(display, name.constData());

        // The program, with a home and settings of its own.
        QTemporaryDir home;
        QVERIFY(home.isValid());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", QString::fromLatin1(name));
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("HOME", home.path());
        environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
        environment.insert("XDG_DATA_HOME", home.filePath("data"));
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(LETTERLOOM_PROGRAM), QStringList());
        QVERIFY2(program.waitForStarted(10000), qPrintable(program.errorString()));

        // Its one window, shown, with the program's caption.
        QMap<QString, Window> shown;
        const bool appeared = QTest::qWaitFor(
            [&] {
                shown = shownWindows(display);
                return !shown.isEmpty() || program.state() == QProcess::NotRunning;
            },
            10000);
        QVERIFY2(appeared, "no window of the program was shown within ten seconds");
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown.firstKey().startsWith(QLatin1String("Letterloom 2.1 - by: ")), qPrintable(shown.firstKey()));

        // Closed as the window manager closes it, it ends the program.
        askToClose(display, shown.first());
        QVERIFY2(program.waitForFinished(10000), "the program did not end when its window was closed");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        XCloseDisplay(display);
        server.terminate();
        QVERIFY(server.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestSmoke)
#include "tst_smoke_unix.moc"
