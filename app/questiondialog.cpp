// The dialog that asks a template's questions at launch.

#include "app/answers.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <vector>

std::optional<QMap<QString, QString>> askQuestions(QWidget *parent, const QString &templateName,
                                                   const QStringList &questions,
                                                   const QMap<QString, QString> &prefill)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("QuestionDialog"));
    const QString name = templateName.trimmed();
    dialog.setWindowTitle(name.isEmpty()
                              ? QCoreApplication::translate("QuestionDialog", "Launch", "the dialog's title")
                              : QCoreApplication::translate("QuestionDialog", "Launch \"%1\"").arg(name));
    dialog.setAccessibleName(dialog.windowTitle());
    if (parent)
        dialog.setFont(parent->font());

    auto *form = new QFormLayout;
    std::vector<QLineEdit *> boxes;
    for (int i = 0; i < questions.size(); ++i) {
        auto *box = new QLineEdit(prefill.value(questions.at(i)), &dialog);
        box->setObjectName(QStringLiteral("Answer_%1").arg(i));
        box->setAccessibleName(questions.at(i));
        box->setMinimumWidth(260);
        auto *label = new QLabel(questions.at(i), &dialog);
        label->setObjectName(QStringLiteral("Question_%1").arg(i));
        label->setTextFormat(Qt::PlainText);
        label->setBuddy(box);
        form->addRow(label, box);
        boxes.push_back(box);
    }

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QPushButton *launch = buttons->button(QDialogButtonBox::Ok);
    launch->setText(QCoreApplication::translate("QuestionDialog", "Launch", "the button"));
    launch->setObjectName(QStringLiteral("LaunchAnswers"));
    launch->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("CancelAnswers"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

    auto *layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(buttons);
    if (!boxes.empty()) {
        boxes.front()->setFocus(Qt::OtherFocusReason);
        boxes.front()->selectAll();
    }

    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    QMap<QString, QString> answers;
    for (std::size_t i = 0; i < boxes.size(); ++i)
        answers.insert(questions.at(qsizetype(i)), boxes[i]->text());
    return answers;
}
