#include <QApplication>
#include <QLabel>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Letterloom"));
    QApplication::setOrganizationName(QStringLiteral("Letterloom"));
    QLabel window(QStringLiteral("Letterloom"));
    window.setObjectName(QStringLiteral("Form1"));
    window.resize(667, 434);
    window.show();
    return app.exec();
}
