// libFuzzer target with two modes, chosen by LETTERLOOM_FUZZ (which
// tests/fuzz/run.sh sets):
//   datafile  arbitrary bytes as a data file, through everything that
//             start-up and a click on a list entry do with it;
//   records   arbitrary bytes as the records that other copies leave in a
//             shared folder. The first byte chooses the file: the record of
//             an unfinished change ("Letterloom.intent"), the lock file, or a
//             kept version in "Deleted"; the rest is its content. Each input
//             is placed in a fresh scratch folder inside a sandbox folder,
//             and the program does with it what a window's start, a change
//             and Undo do. Afterwards nothing outside the scratch folder has
//             changed, and the scratch folder holds only the program's own
//             names.
#include "platform/ansitext.h"
#include "platform/folderlock.h"
#include "platform/storedtext.h"
#include "platform/textfile.h"
#include "store/change.h"
#include "store/datafile.h"
#include "store/templateeditor.h"
#include "store/templaterecord.h"
#include "store/templatestore.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition, const QString &what = QString())
{
    if (!condition) {
        qWarning("%s", qPrintable(what));
        std::abort();
    }
}

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    check(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size(), path);
}

const QByteArray kData = "Offer\tPrices\t\t\t\t\tTrue\tFalse\t\r\nOther\tHello\t\t\t\t\tTrue\tFalse\t\r\n";

void dataFile(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString contents = platform::fromAnsi(bytes);
    // Every byte decodes to one character and encodes back to itself.
    check(contents.size() == bytes.size());
    check(platform::toAnsi(contents) == bytes);

    const store::DataLines file = store::DataLines::split(bytes.toByteArray());
    check(file.joined() == bytes);
    check(file.lines.size() == bytes.toByteArray().count('\n'));

    for (const QByteArray &bytesOfLine : file.lines) {
        // A line reads as it was written, in either of the files' encodings.
        const QString line = platform::decodeLine(bytesOfLine);
        check(platform::decodeLine(platform::encodeLine(line)) == line);
        check(!line.contains(QLatin1Char('\n')));
        const std::optional<QString> entry = store::ListEntryFromLine(line);
        check(entry.has_value() == line.contains(QLatin1Char('\t')));
        if (!entry)
            continue;
        check(entry->size() == line.size() + 200);
        const store::ShownTemplate shown = store::DecodeListEntry(*entry);
        check(store::NameOfListEntry(*entry) == shown.name);
        // Without long runs of spaces in the line, decoding gives back the
        // fields as stored.
        if (!line.contains(QString(100, QLatin1Char(' '))) && !line.section(QLatin1Char('\t'), 0, 0).endsWith(QLatin1Char(' '))) {
            const QStringList fields = line.split(QLatin1Char('\t'));
            check(shown.name == fields.at(0));
            check(shown.subject == fields.value(1));
            check(shown.htmlLocation == fields.value(8));
        }
    }
}

void records(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir sandbox;
    const QString dir = sandbox.filePath(QStringLiteral("folder"));
    const QString outside = sandbox.filePath(QStringLiteral("outside.txt"));
    QDir(dir).removeRecursively();
    write(outside, "someone else's file\n");
    write(dir + QStringLiteral("/MainData.txt"), kData);
    write(dir + QStringLiteral("/LTM-Offer.txt"), "Dear customer\r\n");
    write(dir + QStringLiteral("/LTM-Other.txt"), "Hello\r\n");
    write(dir + QStringLiteral("/.letterloom-change-1-a-1.tmp"), "Offer\tNew\t\t\t\t\tTrue\tFalse\t\r\n");
    const QString id = QStringLiteral("20261201-100000-000-pc-1-000001");
    const QByteArray content(reinterpret_cast<const char *>(data) + 1, qsizetype(size) - 1);
    switch (data[0] % 3) {
    case 0: write(QDir(dir).filePath(store::Change::intentFileName()), content); break;
    case 1: write(QDir(dir).filePath(platform::FolderLock::fileName()), content); break;
    default:
        write(dir + QStringLiteral("/Deleted/") + id + QStringLiteral(".record"), content);
        write(dir + QStringLiteral("/Deleted/") + id + QStringLiteral(".body"), "Kept\r\n");
        break;
    }

    store::TemplateStore templates(dir);
    templates.setLockWait(0, {});
    templates.FinishUnfinishedChange();
    templates.ReadDataFile();
    templates.UnfinishedChangeTouches(QStringLiteral("Offer"));
    const store::UndoPlan undo = templates.PlanUndo();
    templates.Undo(undo);
    store::EditorValues editor;
    editor.name = QStringLiteral("Added");
    templates.Save(editor, templates.PlanSave(editor, store::ShownVersion()));

    // Nothing outside the folder changed, and only its own names are in it.
    QByteArray bytes;
    check(platform::readWholeFile(outside, &bytes) && bytes == "someone else's file\n", QStringLiteral("outside"));
    check(QDir(sandbox.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
              == QStringList({QStringLiteral("folder"), QStringLiteral("outside.txt")}),
          QStringLiteral("the sandbox"));
    static const QRegularExpression own(QStringLiteral(
        "^(MainData\\.txt|LTM-.*\\.txt|Letterloom\\.intent(\\.refused-[0-9-]+)?|Letterloom\\.lock|Deleted"
        "|Deleted/[A-Za-z0-9-]+\\.(record|body)|\\.letterloom-change-[A-Za-z0-9-]+\\.tmp)$"));
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = QDir(dir).relativeFilePath(it.next());
        check(own.match(name).hasMatch(), name);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool recordsMode = qgetenv("LETTERLOOM_FUZZ") == "records";
    if (!recordsMode)
        dataFile(data, size);
    else if (size > 0)
        records(data, size);
    return 0;
}
