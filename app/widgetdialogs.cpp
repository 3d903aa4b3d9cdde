#include "app/widgetdialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

void WidgetDialogs::message(const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Letterloom"), shown, QMessageBox::Ok, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Ok)->setIcon(QIcon()); // some styles put a picture on OK
    box.exec();
}

QString WidgetDialogs::openFileName(const QString &filter, const QString &startPath)
{
    // Start where the current path points, when it points somewhere real.
    QString start;
    const QFileInfo current(startPath);
    if (!startPath.isEmpty() && current.exists())
        start = current.absoluteFilePath();
    else if (!startPath.isEmpty() && current.absoluteDir().exists())
        start = current.absolutePath();
    QFileDialog dialog(m_parent, QStringLiteral("Saved HTML Email Location"), start, filter);
    dialog.setObjectName(QStringLiteral("CommonDialog1"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (current.isFile())
        dialog.selectFile(start);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}
