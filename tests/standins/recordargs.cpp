// A stand-in for a mail program: writes the arguments it was given, each
// followed by a NUL byte, to the file named in LETTERLOOM_STANDIN_RECORD.
// It writes to a side file first and renames it, so a reader never sees half.
// LETTERLOOM_STANDIN_FAIL=<file>: when that file exists, removes it, prints
// an error and ends with status 3, as a mail program that cannot show
// anything does (so only the next start fails).
// LETTERLOOM_STANDIN_STAY=<ms>: then stays running that long, as a mail
// program that was not running yet does.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

int main(int argc, char **argv)
{
    const char *target = std::getenv("LETTERLOOM_STANDIN_RECORD");
    if (!target)
        return 2;
    const std::string side = std::string(target) + ".part";
    std::FILE *out = std::fopen(side.c_str(), "wb");
    if (!out)
        return 3;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::fwrite(arg.data(), 1, arg.size(), out);
        std::fputc('\0', out);
    }
    if (std::fclose(out) != 0 || std::rename(side.c_str(), target) != 0)
        return 4;
    if (const char *stay = std::getenv("LETTERLOOM_STANDIN_STAY"))
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(stay)));
    const char *fail = std::getenv("LETTERLOOM_STANDIN_FAIL");
    if (fail && std::remove(fail) == 0) {
        std::fputs("cannot open display: :99\n", stderr);
        return 3;
    }
    return 0;
}
