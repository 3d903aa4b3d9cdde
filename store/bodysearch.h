#pragma once

#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QWaitCondition>

#include <functional>
#include <memory>

class QThread;

namespace store {

// Searches the bodies of plain templates on a thread of its own, so that a
// slow disk or network share never holds up the window: each body file is
// read once, in list order, into a BodyIndex, and every report tells which
// of the bodies read meanwhile hold each word of the words last given (after
// new words: which of all bodies read so far). The reports run on the
// search's thread.
class BodySearch
{
public:
    struct Found
    {
        quint64 generation = 0;        // of the words these are for
        QList<QList<int>> rowsPerWord; // for each word, the rows whose bodies hold it
        int read = 0;                  // the bodies read so far
        int total = 0;                 // the bodies to read
    };
    using Report = std::function<void(const Found &)>;

    struct Body
    {
        int row;
        QString name; // the template's name, which names its body file
    };

    BodySearch(QString folder, Report report);
    ~BodySearch(); // stops the reading

    // More bodies to read, after those given before.
    void addBodies(const QList<Body> &bodies);
    // Words (of SearchWords) to look for from now on; none: no reports.
    void search(const QStringList &words, quint64 generation);

private:
    void run();

    QString m_folder;
    Report m_report;
    QMutex m_mutex;
    QWaitCondition m_changed;
    QList<Body> m_toRead;  // guarded
    QStringList m_words;   // guarded
    quint64 m_generation = 0;
    bool m_newWords = false;
    bool m_stop = false;
    std::unique_ptr<QThread> m_thread;
};

} // namespace store
