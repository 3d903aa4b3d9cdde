#include "store/bodysearch.h"

#include "store/searchindex.h"
#include "store/templatestore.h"

#include <QElapsedTimer>
#include <QThread>

namespace store {

namespace {

// The search's thread (QThread::create would bring std::future and with it
// a library the program needs no other way).
class SearchThread final : public QThread
{
public:
    explicit SearchThread(std::function<void()> work) : m_work(std::move(work)) {}

protected:
    void run() override { m_work(); }

private:
    std::function<void()> m_work;
};

} // namespace

BodySearch::BodySearch(QString folder, Report report)
    : m_folder(std::move(folder))
    , m_report(std::move(report))
{
    m_thread = std::make_unique<SearchThread>([this] { run(); });
    m_thread->start(QThread::LowPriority);
}

BodySearch::~BodySearch()
{
    {
        QMutexLocker locker(&m_mutex);
        m_stop = true;
        m_changed.wakeAll();
    }
    m_thread->wait();
}

void BodySearch::addBodies(const QList<Body> &bodies)
{
    QMutexLocker locker(&m_mutex);
    m_toRead += bodies;
    m_changed.wakeAll();
}

void BodySearch::search(const QStringList &words, quint64 generation)
{
    QMutexLocker locker(&m_mutex);
    m_words = words;
    m_generation = generation;
    m_newWords = true;
    m_changed.wakeAll();
}

void BodySearch::run()
{
    // A store of its own: reading bodies changes nothing in the folder.
    TemplateStore templates(m_folder);
    BodyIndex index;
    qsizetype next = 0; // in m_toRead
    for (;;) {
        QList<QByteArray> words;
        Found found;
        int from = index.bodies();
        QList<Body> chunk;
        {
            QMutexLocker locker(&m_mutex);
            while (!m_stop && !m_newWords && next == m_toRead.size())
                m_changed.wait(&m_mutex);
            if (m_stop)
                return;
            if (m_newWords) {
                from = 0; // all bodies read so far, for the new words
                m_newWords = false;
            }
            for (const QString &word : std::as_const(m_words))
                words << word.toUtf8();
            found.generation = m_generation;
            chunk = m_toRead.mid(next, 256);
            found.total = int(m_toRead.size());
        }
        // New words wait no longer than about 50 ms, however slow the disk.
        QElapsedTimer reading;
        reading.start();
        for (const Body &body : std::as_const(chunk)) {
            index.add(body.row, templates.ReadBody(body.name));
            ++next;
            if (reading.elapsed() > 50)
                break;
        }
        found.read = index.bodies();
        if (words.isEmpty())
            continue;
        found.rowsPerWord = index.find(words, from, index.bodies());
        m_report(found);
    }
}

} // namespace store
