// Start-up reading and Save, with many stored templates.
//
//   bench_store [count]   (default 100000)
//
// Writes a data file of `count` templates (about 300 bytes a line) and one
// body file per template into a temporary folder, then measures:
//  - reading the data file into list entries, as start-up does;
//  - listing the folder for look-ups whatever the letter case, as start-up does next;
//  - one Save of a new template, and one that replaces a stored one, with
//    `count` and with 10 templates stored (every change is put on the disk
//    with fsync, so the folder's disk decides much of it).
#include "peakmemory.h"
#include "storedtemplates.h"
#include "store/templatestore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct VectorList final : store::TemplateList
{
    QStringList entries;
    void addEntry(const QString &entry) override { entries.append(entry); }
    void yield() override { QCoreApplication::processEvents(); }
};

long peakKiB()
{
    return peakMemoryKiB();
}

// Median time of `rounds` Saves, in ms: of new templates, or of templates
// whose names are stored already (their body files exist).
double medianSaveMs(store::TemplateStore &templates, int rounds, bool newNames)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        store::EditorValues editor;
        editor.name = newNames ? QStringLiteral("New template %1").arg(i) : QStringLiteral("Template %1").arg(i % 10);
        editor.subjectText = QStringLiteral("Subject %1").arg(i);
        editor.toText = QStringLiteral("someone@example.com");
        editor.bodyText = QStringLiteral("Hello,\r\n\r\nthe body of a new template.");
        QElapsedTimer timer;
        timer.start();
        const store::Outcome outcome = templates.Save(editor, templates.PlanSave(editor, store::ShownVersion()));
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        if (outcome.status != store::Outcome::Status::Done) {
            std::fprintf(stderr, "save failed: %s\n", qPrintable(outcome.message));
            return -1;
        }
    }
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

// Reads the data file into list entries and prints how long it took.
template<typename List>
void measureLoad(const char *what, const QString &dir, List &list)
{
    store::TemplateStore templates(dir);
    QElapsedTimer timer;
    timer.start();
    store::LoadTemplateList(templates, list);
    std::printf("read into list entries, %s: %.1f ms\n", what, static_cast<double>(timer.nsecsElapsed()) / 1e6);
}

// Takes each entry and lets it go, as the window's list does once it has
// packed the entry; yields like the window.
struct PassingList final : store::TemplateList
{
    qsizetype entries = 0;
    qsizetype characters = 0;
    void addEntry(const QString &entry) override
    {
        ++entries;
        characters += entry.size();
    }
    void yield() override { QCoreApplication::processEvents(); }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir many, few;
    if (!bench::writeStoredTemplates(many.path(), count) || !bench::writeStoredTemplates(few.path(), 10)) {
        std::fprintf(stderr, "cannot write the test folders\n");
        return 1;
    }
    std::printf("data file: %lld bytes, %d templates\n",
                static_cast<long long>(QFile(many.path() + QStringLiteral("/MainData.txt")).size()), count);

    const long before = peakKiB();
    PassingList passing;
    measureLoad("each entry handed on (as the window's list takes them)", many.path(), passing);
    std::printf("%lld entries; peak memory %ld MiB (%ld MiB before reading)\n", static_cast<long long>(passing.entries),
                peakKiB() / 1024, before / 1024);
    VectorList kept;
    measureLoad("every entry kept as a string", many.path(), kept);
    std::printf("%lld entries; peak memory %ld MiB with every entry kept\n", static_cast<long long>(kept.entries.size()),
                peakKiB() / 1024);

    store::TemplateStore templates(many.path());
    QElapsedTimer timer;
    timer.start();
    templates.IndexFolder();
    std::printf("listing the folder of %d body files for case-insensitive look-ups: %.1f ms\n", count,
                static_cast<double>(timer.nsecsElapsed()) / 1e6);

    store::TemplateStore fewTemplates(few.path());
    fewTemplates.IndexFolder(); // as at start-up
    std::printf("one Save replacing a stored template, median of 20: %.3f ms with %d stored, %.3f ms with 10 stored\n",
                medianSaveMs(templates, 20, false), count, medianSaveMs(fewTemplates, 20, false));
    std::printf("one Save of a new name, median of 200:    %.3f ms with %d stored, %.3f ms with 10 stored\n",
                medianSaveMs(templates, 200, true), count, medianSaveMs(fewTemplates, 200, true));
    return 0;
}
