#include "app/appinfo.h"
#include "app/commandline.h"
#include "app/console.h"
#include "app/form1.h"
#include "platform/textfile.h"

#include <QApplication>
#include <QTimer>

#include <memory>

static void nameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("Letterloom"));
    QCoreApplication::setOrganizationName(QStringLiteral("Letterloom"));
    QCoreApplication::setApplicationVersion(appinfo::version());
}

int main(int argc, char *argv[])
{
    platform::letOversizedWritesFail();
    console::keepFromStartedPrograms();

    // Listing, help and version need no display.
    if (commandline::needsOf(argc, argv) == commandline::Needs::Console) {
        QCoreApplication app(argc, argv);
        nameApplication();
        QString unused;
        return commandline::run(QCoreApplication::arguments(), &unused).value_or(commandline::WrongUsage);
    }

    QApplication app(argc, argv);
    nameApplication();
    QGuiApplication::setDesktopFileName(QStringLiteral("letterloom"));
    Form1Services services;
    if (const std::optional<int> status = commandline::run(QCoreApplication::arguments(), &services.storeDirectory))
        return *status;

    Form1 window(std::move(services));
    window.Form_Load();
    window.show();
    QTimer::singleShot(0, &window, &Form1::ReportStartUp);
    return QApplication::exec();
}
