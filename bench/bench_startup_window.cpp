// Letterloom's start-up as the program runs it (create the window, load,
// show), ending as soon as the window is on the screen. Prints one line:
// "shown <peak resident KiB>". Run by bench_startup, which measures the time
// from starting this process to reading that line.
#include "app/form1.h"
#include "peakmemory.h"

#include <QApplication>
#include <QWindow>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Letterloom"));
    QApplication::setOrganizationName(QStringLiteral("Letterloom"));

    Form1 window;
    window.Form_Load();
    window.show();
    while (!window.windowHandle() || !window.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents(); // the first paint

    std::printf("shown %ld\n", peakMemoryKiB());
    std::fflush(stdout);
    return 0;
}
