#pragma once

#include <QListWidget>
#include <QRadioButton>

// An option button of a group of two that the window keeps exclusive itself,
// so that code can also leave both deselected. A click or Space selects it
// (a selected one stays selected); the arrow keys select its partner.
class OptionButton final : public QRadioButton
{
    Q_OBJECT

public:
    OptionButton(const QString &text, QWidget *parent);
    void setPartner(OptionButton *partner) { m_partner = partner; }

protected:
    void nextCheckState() override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    OptionButton *m_partner = nullptr;
};

// The template list. It reports a click whenever the user selects an entry,
// with the mouse or the keyboard, and also when the selected entry is clicked
// again; a double click is reported after the click that selected the entry.
class TemplateListBox final : public QListWidget
{
    Q_OBJECT

public:
    explicit TemplateListBox(QWidget *parent);

signals:
    void click();
    void dblClick();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

private:
    bool m_selecting = false;
};
