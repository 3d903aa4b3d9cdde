#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include <vector>

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

// A command button that Enter presses too, as Space does, when it has the
// focus; it is never the window's default button.
class CommandButton final : public QPushButton
{
    Q_OBJECT

public:
    CommandButton(const QString &text, QWidget *parent);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// The Email Body box. Shift+Enter starts a new line as Enter does, so the
// body holds CR LF and never the line separator that an editor would insert
// (which Windows-1252 cannot store).
class BodyBox final : public QPlainTextEdit
{
    Q_OBJECT

public:
    using QPlainTextEdit::QPlainTextEdit;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// The entries of the template list, in the order they were added. An entry's
// text is the template's name, 200 spaces, then TAB and the other fields; it
// is kept as UTF-8 with the 200 spaces left out and put back when the text is
// asked for, packed into large blocks, so that a hundred thousand entries take
// a third of the memory their texts would.
class TemplateEntries final : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    // The role under which data() gives an entry's whole text. The display
    // role gives only what the list can show: the text before the spaces
    // behind the name, and no more than a line's worth of it, so that a
    // template of many megabytes is listed as fast as a small one.
    static constexpr int EntryTextRole = Qt::UserRole;

    void append(const QString &entry);
    void clear();
    QString text(int row) const;
    QString shownText(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    struct Entry
    {
        qsizetype block, offset, size; // where its UTF-8 bytes stand
        qsizetype gap;                 // the byte where the 200 spaces stood, or -1
    };
    std::vector<QByteArray> m_blocks;
    std::vector<Entry> m_entries;
};

// The template list. It reports a click whenever the user selects an entry,
// with the mouse or the keyboard, and also when the selected entry is clicked
// again; a double click is reported after the click that selected the entry,
// and Enter on the selected entry is a double click too. Delete and F2 ask to
// delete or rename the selected entry, Ctrl+Z to bring back what was deleted;
// the context menu is asked for with the row under the pointer (the selected
// row from the keyboard; -1 for none).
class TemplateListBox final : public QListView
{
    Q_OBJECT

public:
    explicit TemplateListBox(QWidget *parent);

    void addEntry(const QString &entry) { m_entries->append(entry); }
    void clearEntries() { m_entries->clear(); }
    int count() const { return m_entries->rowCount(); }
    QString entryText(int row) const { return m_entries->text(row); }
    // The selected entry's row, or -1 when none is selected.
    int selectedRow() const;

signals:
    void click();
    void dblClick();
    void deleteKey(int row);
    void renameKey(int row);
    void undoKey();
    void contextMenuAt(int row, const QPoint &globalPosition);

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    TemplateEntries *m_entries;
    bool m_selecting = false;
    Qt::MouseButton m_doubleClickButton = Qt::NoButton;
};
