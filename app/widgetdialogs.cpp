#include "app/widgetdialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>

namespace {

// Letterloom's boxes: its name as the title, no picture, plain text.
int showBox(QWidget *parent, const QString &text, QMessageBox::StandardButtons buttons,
            QMessageBox::StandardButton defaultButton)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Letterloom"), shown, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    for (QAbstractButton *button : box.buttons())
        button->setIcon(QIcon()); // some styles put pictures on the buttons
    return box.exec();
}

} // namespace

void WidgetDialogs::message(const QString &text)
{
    showBox(m_parent, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool WidgetDialogs::question(const QString &text)
{
    return showBox(m_parent, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

std::optional<QString> WidgetDialogs::textInput(const QString &prompt, const QString &text)
{
    QInputDialog dialog(m_parent);
    dialog.setWindowTitle(QStringLiteral("Letterloom"));
    dialog.setLabelText(prompt);
    dialog.setTextValue(text);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

QString WidgetDialogs::openFileName(const QString &filter)
{
    // Never the working folder, which means nothing to the user.
    QString start = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (start.isEmpty() || !QDir(start).exists())
        start = QDir::homePath();
    QFileDialog dialog(m_parent, QStringLiteral("Saved HTML Email Location"), start, filter);
    dialog.setObjectName(QStringLiteral("CommonDialog1"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}
