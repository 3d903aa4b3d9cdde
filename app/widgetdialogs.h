#pragma once

#include "platform/dialogs.h"

class QWidget;

// The real message box and file dialog, owned by the window.
class WidgetDialogs final : public platform::Dialogs
{
public:
    explicit WidgetDialogs(QWidget *parent) : m_parent(parent) {}

    void message(const QString &text) override;
    QString openFileName(const QString &filter, const QString &startPath) override;

private:
    QWidget *m_parent;
};
