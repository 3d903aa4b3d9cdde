// The real program, started as a user starts it, on an X server of its own
// (Xvfb): its window appears on the screen with the program's caption, and
// closing it the way a window manager's close button does ends the program
// cleanly. Where Xvfb is missing it says "skipped:" and why.

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// Xlib's own handler ends the process on an error, as when a window goes
// away between two requests; here the request's answer is simply empty.
int ignoreXErrors(Display *, XErrorEvent *) { return 0; }

struct CloseDisplay
{
    void operator()(Display *display) const { XCloseDisplay(display); }
};
using DisplayConnection = std::unique_ptr<Display, CloseDisplay>;

QByteArray property(Display *display, Window window, const char *name, Atom type)
{
    Atom actualType = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char *data = nullptr;
    QByteArray value;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1024, False, type, &actualType,
                           &format, &items, &after, &data)
            == Success
        && data) {
        if (actualType == type && format == 8)
            value = QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(items));
        else if (actualType == type && format == 32 && items > 0) // a CARDINAL: a long per item
            value = QByteArray::number(static_cast<qulonglong>(*reinterpret_cast<unsigned long *>(data)));
    }
    if (data)
        XFree(data);
    return value;
}

// The top-level windows of the process that are shown on the screen, by
// their captions.
QMap<QString, Window> shownWindows(Display *display, qint64 pid)
{
    QMap<QString, Window> shown;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return shown;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (property(display, children[i], "_NET_WM_PID", XA_CARDINAL) != QByteArray::number(pid)
            || !XGetWindowAttributes(display, children[i], &attributes) || attributes.map_state != IsViewable)
            continue;
        const QByteArray caption =
            property(display, children[i], "_NET_WM_NAME", XInternAtom(display, "UTF8_STRING", False));
        shown.insert(QString::fromUtf8(caption), children[i]);
    }
    if (children)
        XFree(children);
    return shown;
}

// What a window manager sends when the user clicks the window's close button.
bool askToClose(Display *display, Window window)
{
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    Atom *taken = nullptr;
    int count = 0;
    bool takesIt = false;
    if (XGetWMProtocols(display, window, &taken, &count)) {
        takesIt = std::find(taken, taken + count, deleteWindow) != taken + count;
        XFree(taken);
    }
    if (!takesIt)
        return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(deleteWindow);
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(display, window, False, NoEventMask, &event) != 0;
    XFlush(display);
    return sent;
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
        DisplayConnection display(XOpenDisplay(name.constData()));
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
                shown = shownWindows(display.get(), program.processId());
                return !shown.isEmpty() || program.state() == QProcess::NotRunning;
            },
            10000);
        QVERIFY2(appeared, "no window of the program was shown within ten seconds");
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown.firstKey().startsWith(QLatin1String("Letterloom 2.1 - by: ")), qPrintable(shown.firstKey()));

        // Closed as the window manager closes it, it ends the program.
        QVERIFY(askToClose(display.get(), shown.first()));
        QVERIFY2(program.waitForFinished(10000), "the program did not end when its window was closed");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        display.reset();
        server.terminate();
        QVERIFY(server.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestSmoke)
#include "tst_smoke_unix.moc"
