#include "app/appinfo.h"
#include "app/form1.h"
#include "platform/textfile.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    platform::letOversizedWritesFail();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Letterloom"));
    QApplication::setOrganizationName(QStringLiteral("Letterloom"));
    QApplication::setApplicationVersion(appinfo::version());
    QGuiApplication::setDesktopFileName(QStringLiteral("letterloom"));

    Form1 window;
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
