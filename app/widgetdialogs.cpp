#include "app/widgetdialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QCloseEvent>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>

namespace {

// Letterloom's boxes: its name as the title, no picture, plain text.
class Box final : public QMessageBox
{
public:
    Box(QWidget *parent, const QString &text, QMessageBox::StandardButtons buttons)
        : QMessageBox(QMessageBox::NoIcon, QStringLiteral("Letterloom"),
                      QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")), buttons, parent)
    {
        setTextFormat(Qt::PlainText);
    }

    // Escape and the close button close the box, pressing none of its
    // buttons (which are all answers).
    void closeWithoutAnswer() { m_closable = true; }

    int run()
    {
        for (QAbstractButton *button : buttons())
            button->setIcon(QIcon()); // some styles put pictures on the buttons
        return exec();
    }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (m_closable && event->matches(QKeySequence::Cancel)) {
            reject();
            return;
        }
        QMessageBox::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent *event) override
    {
        if (m_closable) {
            QDialog::closeEvent(event);
            return;
        }
        QMessageBox::closeEvent(event);
    }

private:
    bool m_closable = false;
};

int showBox(QWidget *parent, const QString &text, QMessageBox::StandardButtons buttons,
            QMessageBox::StandardButton defaultButton)
{
    Box box(parent, text, buttons);
    box.setDefaultButton(defaultButton);
    return box.run();
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

std::optional<int> WidgetDialogs::choice(const QString &text, const QStringList &buttons)
{
    Box box(m_parent, text, QMessageBox::NoButton);
    box.setObjectName(QStringLiteral("ChoiceBox"));
    box.closeWithoutAnswer();
    QList<QAbstractButton *> pressable;
    for (const QString &caption : buttons)
        pressable << box.addButton(caption, QMessageBox::AcceptRole);
    if (!pressable.isEmpty())
        box.setDefaultButton(qobject_cast<QPushButton *>(pressable.first()));
    box.run();
    const qsizetype pressed = pressable.indexOf(box.clickedButton());
    return pressed < 0 ? std::nullopt : std::optional<int>(static_cast<int>(pressed));
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
    return openFileTitled(QCoreApplication::translate("WidgetDialogs", "Saved HTML Email Location"), filter);
}

QString WidgetDialogs::openFileTitled(const QString &title, const QString &filter)
{
    // Never the working folder, which means nothing to the user.
    QString start = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (start.isEmpty() || !QDir(start).exists())
        start = QDir::homePath();
    QFileDialog dialog(m_parent, title, start, filter);
    dialog.setObjectName(QStringLiteral("CommonDialog1"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}
