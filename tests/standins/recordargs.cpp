// A stand-in for a mail client program: writes the arguments it was given,
// each followed by a NUL byte, to the file named in LETTERLOOM_STANDIN_RECORD.
// It writes to a side file first and renames it, so a reader never sees half.
#include <cstdio>
#include <cstdlib>
#include <string>

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
    if (std::fclose(out) != 0)
        return 4;
    return std::rename(side.c_str(), target) == 0 ? 0 : 5;
}
