// Finding a template by typing, with 100,000 templates whose bodies hold
// about 2 KB of text each: the window's picker opened with Ctrl+F, two
// words typed key by key, each keystroke's filtering timed (names, subjects
// and addresses, on the window's thread), before and after the bodies were
// read in the background; how long that reading and a body search take;
// the process's peak memory; and `letterloom --list --match` for the same
// words.
//
//   bench_search [templates]      (default 100000)
//
// The folder is written into a temporary folder, or kept in
// $LETTERLOOM_BENCH_FOLDERS/search-<templates>/ when that is set.
#include "app/form1.h"
#include "app/templatepicker.h"
#include "peakmemory.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <cstdlib>

namespace {

struct CountingDialogs final : platform::Dialogs
{
    void message(const QString &) override {}
    bool question(const QString &) override { return false; }
    std::optional<int> choice(const QString &, const QStringList &) override { return std::nullopt; }
    std::optional<QString> textInput(const QString &, const QString &) override { return std::nullopt; }
    QString openFileName(const QString &) override { return QString(); }
};

// A vocabulary of made-up words, a few with accents, used with a skew as
// real words are: a few often, most rarely.
QStringList vocabulary(QRandomGenerator &random)
{
    const QStringList syllables = {u"ka"_qs, u"lo"_qs, u"ren"_qs, u"ti"_qs, u"ma"_qs, u"sol"_qs, u"ve"_qs,
                                   u"dor"_qs, u"an"_qs, u"pri"_qs, u"cé"_qs, u"mü"_qs, u"ber"_qs, u"gus"_qs,
                                   u"fa"_qs, u"ne"_qs, u"ro"_qs, u"sta"_qs, u"li"_qs, u"qua"_qs};
    QStringList words;
    for (int i = 0; i < 20000; ++i) {
        QString word;
        for (int n = 1 + int(random.bounded(4)); n > 0; --n)
            word += syllables.at(int(random.bounded(qsizetype(syllables.size()))));
        words << word;
    }
    return words;
}

QByteArray bodyText(QRandomGenerator &random, const QStringList &words, int i)
{
    QString text = QStringLiteral("Dear client %1,\r\n\r\n").arg(i);
    QString line;
    while (text.size() < 2000) {
        // Skewed: the square of a uniform number favours the first words.
        const double u = random.generateDouble();
        QString word = words.at(int(u * u * u * double(words.size())));
        if (random.bounded(40) == 0)
            word = QStringLiteral("REF-%1").arg(random.bounded(1000000));
        if (line.size() + word.size() > 70) {
            text += line + QStringLiteral("\r\n");
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    text += line + QStringLiteral("\r\n\r\nKind regards\r\n");
    return text.toUtf8().prepend("\xEF\xBB\xBF");
}

bool writeFolder(const QString &dir, int count)
{
    if (QFile::exists(dir + QStringLiteral("/MainData.txt")))
        return true;
    QDir().mkpath(dir);
    QRandomGenerator random(20261210);
    const QStringList words = vocabulary(random);
    const QStringList cities = {u"Rotterdam"_qs, u"Zürich"_qs, u"Lyon"_qs, u"Porto"_qs, u"Graz"_qs, u"Malmö"_qs};
    QFile data(dir + QStringLiteral("/MainData.txt"));
    if (!data.open(QIODevice::WriteOnly))
        return false;
    for (int i = 0; i < count; ++i) {
        const QString city = cities.at(i % cities.size());
        const QString line = QStringLiteral("Offer %1 %2\tQuarterly offer for %2, client %1\t\taccounts@example.com\t"
                                            "client%1@example.com\t\t%3\t%4\t")
                                 .arg(i)
                                 .arg(city, i % 10 ? u"True"_qs : u"False"_qs, i % 10 ? u"False"_qs : u"True"_qs);
        data.write(line.toUtf8() + "\r\n");
        QFile body(dir + QStringLiteral("/LTM-Offer %1 %2.txt").arg(i).arg(city));
        if (!body.open(QIODevice::WriteOnly))
            return false;
        body.write(bodyText(random, words, i));
    }
    return true;
}

struct Times
{
    QList<double> ms;
    void print(const char *what) const
    {
        QList<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        std::printf("%-58s median %6.2f ms, slowest %6.2f ms (%lld keys)\n", what, sorted.at(sorted.size() / 2),
                    sorted.last(), static_cast<long long>(sorted.size()));
        std::printf("   each:");
        for (const double t : ms)
            std::printf(" %.1f", t);
        std::printf("\n");
    }
};

// Types text into the box key by key, timing each keystroke's filtering.
Times typeTimed(QLineEdit *box, const QString &text)
{
    Times times;
    box->clear();
    QCoreApplication::processEvents();
    for (const QChar c : text) {
        QElapsedTimer timer;
        timer.start();
        QTest::keyClicks(box, QString(c));
        times.ms << double(timer.nsecsElapsed()) / 1e6;
    }
    return times;
}

void waitFor(const std::function<bool()> &done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir temporary;
    const QString kept = qEnvironmentVariable("LETTERLOOM_BENCH_FOLDERS");
    const QString dir = kept.isEmpty() ? temporary.path() : kept + QStringLiteral("/search-%1").arg(count);
    QElapsedTimer timer;
    timer.start();
    if (!writeFolder(dir, count))
        return 1;
    std::printf("%d templates in %s (written or found in %.1f s)\n", count, qPrintable(dir),
                double(timer.elapsed()) / 1000);

    CountingDialogs dialogs;
    Form1Services services;
    services.storeDirectory = dir;
    services.dialogs = &dialogs;
    Form1 window(services);
    window.Form_Load();
    window.show();
    QCoreApplication::processEvents();
    std::printf("window loaded, peak memory %ld MiB\n", peakMemoryKiB() / 1024);

    timer.restart();
    window.FindTemplate();
    auto *picker = window.findChild<TemplatePicker *>();
    auto *box = picker->findChild<QLineEdit *>(QStringLiteral("FindBox"));
    auto *matches = picker->findChild<QListView *>(QStringLiteral("FindMatches"));
    std::printf("Ctrl+F to the picker shown (names, subjects, addresses folded): %lld ms\n",
                static_cast<long long>(timer.elapsed()));

    const QString typed = QStringLiteral("zurich velo");
    typeTimed(box, typed).print("keystrokes while the bodies are read");
    timer.restart();
    const std::clock_t processor = std::clock();
    waitFor([picker] { return picker->bodiesRead().first == picker->bodiesRead().second; });
    std::printf("all %d plain bodies read and indexed in the background: %.1f s (processor time %.1f s), "
                "peak memory %ld MiB\n",
                picker->bodiesRead().second, double(timer.elapsed()) / 1000,
                double(std::clock() - processor) / CLOCKS_PER_SEC, peakMemoryKiB() / 1024);

    for (int round = 0; round < 3; ++round)
        typeTimed(box, typed).print("keystrokes, bodies indexed");
    Times answers;
    for (const QString &text : {u"zurich velo"_qs, u"ka"_qs, u"REF-12"_qs, u"malmo sta"_qs, u"e"_qs}) {
        box->setText(text);
        QElapsedTimer answer;
        answer.start();
        waitFor([picker] { return picker->bodiesSearched(); });
        answers.ms << double(answer.nsecsElapsed()) / 1e6;
        std::printf("  \"%s\": %d matches\n", qPrintable(text), matches->model()->rowCount());
    }
    answers.print("from new words to the bodies' matches shown");
    std::printf("peak memory of the window process: %ld MiB\n", peakMemoryKiB() / 1024);

    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../app/letterloom");
    if (QFile::exists(program)) {
        QProcess list;
        timer.restart();
        list.start(program, {u"--data-folder"_qs, dir, u"--list"_qs, u"--match"_qs, typed});
        list.waitForFinished(-1);
        std::printf("letterloom --list --match \"%s\": %lld lines in %.2f s\n", qPrintable(typed),
                    static_cast<long long>(list.readAllStandardOutput().count('\n')), double(timer.elapsed()) / 1000);
    }
    return 0;
}
