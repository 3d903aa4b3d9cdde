#pragma once

#include "store/bodysearch.h"
#include "store/searchindex.h"

#include <QFrame>

#include <memory>

class QAbstractItemModel;
class QLineEdit;
class QListView;
class MatchesModel;

// The picker that Ctrl+F opens over the template list: a popup, not a
// control of the window, with a box (FindBox) and the templates that match
// what it holds (FindMatches), by store::MatchTemplate's rule. Names,
// subjects and recipients are matched at once; bodies on a thread of their
// own, their matches added as they come. Up and Down choose a match; Enter
// picks it, Ctrl+Enter picks it to launch it; Escape closes.
class TemplatePicker final : public QFrame
{
    Q_OBJECT

public:
    // entries: the template list's entries (their whole text under
    // Qt::UserRole); folder: the data folder of their body files.
    TemplatePicker(QAbstractItemModel *entries, QString folder, QWidget *parent);
    ~TemplatePicker() override;

    // Opens it empty over the rectangle (in global coordinates).
    void open(const QRect &over);
    // The bodies read so far, of how many (for tests and benchmarks).
    std::pair<int, int> bodiesRead() const { return {m_bodiesRead, m_bodiesTotal}; }
    // Whether every body was read and searched for what the box holds.
    bool bodiesSearched() const
    {
        return m_words.isEmpty() || (m_searched == m_generation && m_bodiesRead == m_bodiesTotal);
    }

signals:
    void picked(int row, bool launch);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void restart();
    void catchUp();
    void search(bool keepChoice);
    void bodiesFound(const store::BodySearch::Found &found);
    void showMatches(bool keepChoice);
    void pick(bool launch);

    QAbstractItemModel *m_entries;
    QString m_folder;
    QLineEdit *m_box = nullptr;
    QListView *m_list = nullptr;
    MatchesModel *m_matches = nullptr;

    store::HeadIndex m_heads;
    std::unique_ptr<store::BodySearch> m_bodies;
    int m_bodiesRead = 0, m_bodiesTotal = 0;
    quint64 m_generation = 0;
    quint64 m_searched = 0; // the generation the bodies last answered
    bool m_catchingUp = false; // entries were added: they are taken in soon
    QStringList m_words;
    // For each word: the rows whose name, whose fields, whose body hold it.
    QList<store::RowSet> m_inName, m_inFields, m_inBody;
};
