#pragma once

#include "platform/dialogs.h"

class QWidget;

// The real message boxes and file dialog, owned by the window.
class WidgetDialogs final : public platform::Dialogs
{
public:
    explicit WidgetDialogs(QWidget *parent) : m_parent(parent) {}

    void message(const QString &text) override;
    bool question(const QString &text) override;
    std::optional<int> choice(const QString &text, const QStringList &buttons) override;
    std::optional<QString> textInput(const QString &prompt, const QString &text) override;
    QString openFileName(const QString &filter) override;
    QString openFileTitled(const QString &title, const QString &filter) override;

private:
    QWidget *m_parent;
};
