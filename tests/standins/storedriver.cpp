// A running copy of Letterloom as far as the template store goes, for the
// tests that stop or kill it, limit it, or run two of it at once.
//
//   storedriver <folder> sequence <seed> <steps> [options]
//       the random operations of storemodel::Generator for that seed, each
//       checked against the model as it goes; prints "begin <i>" before
//       operation i and "end <i> <result>" after it, and "mismatch <i> ..."
//       when the store did not do what the model says
//   storedriver <folder> save <prefix> <count> [options]
//       saves templates "<prefix>-0"... one after the other: "saved <name>"
//       or "failed <name>: <message>"
//   storedriver <folder> rename-delete <prefix> <count> [options]
//       renames "<prefix>-<i>" to "<prefix>-<i>-renamed" for even i and
//       deletes it for odd i: "renamed <name>", "deleted <name>" or
//       "failed <name>: <message>"
//
// Options: --legacy (the folder, copied from tests/data/legacy by the test,
// starts as earlier versions left it), --end-at-step <k> (ends the process
// at once at the k-th named step), --end-at-io <n> (ends it at once before
// the n-th read or write of a file), --file-size-limit <bytes>,
// --no-local-lock (only the lock file keeps two copies on one machine
// apart). A sequence that is not ended exits with 0, an ended one with 86.
#include "platform/folderlock.h"
#include "platform/rawfile.h"
#include "platform/textfile.h"
#include "store/change.h"
#include "support/storemodel.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {

// Flushed at once, so that what was printed before the process is stopped
// is there.
void say(const QString &line)
{
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    platform::letOversizedWritesFail();
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 4)
        return 2;
    const QString folder = args.at(0), mode = args.at(1), what = args.at(2);
    const int count = args.at(3).toInt();
    const auto option = [&args](const char *name) {
        const qsizetype at = args.indexOf(QLatin1String(name));
        return at < 0 ? -1 : args.value(at + 1).toLongLong();
    };
    if (args.contains(QStringLiteral("--no-local-lock")))
        platform::FolderLock::setLocalLockUsed(false);
    long long steps = 0, io = 0;
    const long long endAtStep = option("--end-at-step"), endAtIo = option("--end-at-io");
    store::Change::setStepHook([&steps, endAtStep](const char *) {
        if (++steps == endAtStep)
            std::_Exit(86);
    });
    const auto countIo = [&io, endAtIo](qint64) {
        if (++io == endAtIo)
            std::_Exit(86);
        return 0;
    };
    platform::detail::setWriteFault(countIo);
    platform::detail::setReadFault(countIo);
    storemodel::Folder model = args.contains(QStringLiteral("--legacy")) ? storemodel::legacy() : storemodel::Folder();
#ifdef Q_OS_UNIX
    if (const long long limit = option("--file-size-limit"); limit >= 0) {
        rlimit rl{};
        getrlimit(RLIMIT_FSIZE, &rl);
        rl.rlim_cur = rlim_t(limit);
        setrlimit(RLIMIT_FSIZE, &rl);
    }
#endif

    store::TemplateStore templates(folder);
    if (mode == QLatin1String("sequence")) {
        storemodel::Generator generator(what.toULongLong());
        for (int i = 0; i < count; ++i) {
            say(QStringLiteral("begin %1").arg(i));
            storemodel::Result result;
            const QString wrong = storemodel::step(
                [&templates](const storemodel::Operation &op, QString *said) { return storemodel::perform(templates, op, said); },
                generator, model, &result);
            say(QStringLiteral("end %1 %2").arg(i).arg(storemodel::resultName(result)));
            if (!wrong.isEmpty())
                say(QStringLiteral("mismatch %1: %2").arg(i).arg(wrong));
        }
    } else {
        for (int i = 0; i < count; ++i) {
            const QString name = QStringLiteral("%1-%2").arg(what).arg(i);
            storemodel::Operation op;
            if (mode == QLatin1String("save")) {
                op.editor.name = name;
                op.editor.subjectText = QStringLiteral("Subject of ") + name;
                op.editor.toText = name + QStringLiteral("@example.com");
                op.editor.bodyText = QStringLiteral("Body of ") + name;
            } else {
                // The row of that name in the list as it is now (the whole
                // entry matches).
                storemodel::EntryList list;
                store::LoadTemplateList(templates, list);
                op.row = int(list.entries.indexOf(QRegularExpression(QRegularExpression::escape(name) + QStringLiteral(" {200}\t.*"))));
                if (op.row < 0) {
                    say(QStringLiteral("failed %1: not listed").arg(name));
                    continue;
                }
                op.kind = i % 2 == 0 ? storemodel::Operation::Kind::Rename : storemodel::Operation::Kind::Delete;
                op.newName = name + QStringLiteral("-renamed");
            }
            QString message;
            const storemodel::Result result = storemodel::perform(templates, op, &message);
            const char *done = mode == QLatin1String("save") ? "saved"
                               : op.kind == storemodel::Operation::Kind::Rename ? "renamed"
                                                                                 : "deleted";
            if (result == storemodel::Result::Done)
                say(QStringLiteral("%1 %2").arg(QLatin1String(done), name));
            else
                say(QStringLiteral("failed %1: %2 %3").arg(name, storemodel::resultName(result), message));
        }
    }
    return 0;
}
