// A second running copy of Letterloom, as far as Save goes: saves count
// templates named "<prefix>-<n>" into folder, one after the other, and prints
// one line per Save: "saved <name>" or "failed <name>: <message>".
//
//   saver <folder> <prefix> <count> [largest file size in bytes]
//
// With a size, no file of this process may grow beyond it, as on a disk that
// fills up; the writes that cross it must fail and be reported, not end the
// process.
#include "platform/textfile.h"
#include "store/templatestore.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

#include <sys/resource.h>

int main(int argc, char *argv[])
{
    platform::letOversizedWritesFail();
    QCoreApplication app(argc, argv);
    if (argc < 4)
        return 2;
    if (argc > 4) {
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = static_cast<rlim_t>(std::atoll(argv[4]));
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    store::TemplateStore templates(QString::fromLocal8Bit(argv[1]));
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    const int count = std::atoi(argv[3]);
    for (int i = 0; i < count; ++i) {
        store::EditorValues editor;
        editor.name = QStringLiteral("%1-%2").arg(prefix).arg(i);
        editor.subjectText = QStringLiteral("Subject of %1, long enough to be cut short by a full disk").arg(editor.name);
        editor.toText = editor.name + QStringLiteral("@example.com");
        editor.bodyText = QStringLiteral("Body of ") + editor.name;
        const store::SaveOutcome outcome = templates.SaveTemplate(editor);
        const bool saved = outcome.status == store::SaveOutcome::Status::Saved;
        std::printf("%s %s%s%s\n", saved ? "saved" : "failed", qPrintable(editor.name), saved ? "" : ": ",
                    saved ? "" : qPrintable(outcome.message));
    }
    return 0;
}
