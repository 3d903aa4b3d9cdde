// libFuzzer target: arbitrary bytes as a data file, through everything that
// start-up and a click on a list entry do with it.
#include "platform/ansitext.h"
#include "platform/storedtext.h"
#include "store/datafile.h"
#include "store/templaterecord.h"

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
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
    return 0;
}
