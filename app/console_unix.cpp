#include "app/console.h"

#include <cstdio>

namespace console {

static void writeLine(std::FILE *stream, const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

void writeOutput(const QString &line) { writeLine(stdout, line); }
void writeOutputLines(const QStringList &lines)
{
    if (!lines.isEmpty())
        writeLine(stdout, lines.join(u'\n'));
}
void writeError(const QString &line) { writeLine(stderr, line); }
bool canPrint() { return true; }
void keepFromStartedPrograms() {} // a started program's standard streams are files of its own

} // namespace console
