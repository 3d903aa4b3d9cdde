# Sourced by the scripts that deal with the Windows build: where the Qt for
# Windows is looked for, and whether the Windows part is to run at all.
#   LETTERLOOM_TOOLCHAINS         the toolchains folder (default: ../shared/toolchains
#                                 beside the project), holding qt-6.4.2-mingw64/
#   LETTERLOOM_REQUIRE_WINDOWS=1  a missing toolchain is an error instead of a skip (CI)
letterloom_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# The default: shared/toolchains beside the project; for a clone made
# elsewhere, beside a folder above it or beside the repository it was cloned
# from.
letterloom_find_toolchains() {
    local dir=$letterloom_top origin
    while [ "$dir" != / ]; do
        [ -d "$dir/../shared/toolchains/qt-6.4.2-mingw64" ] && { (cd "$dir/../shared/toolchains" && pwd); return; }
        dir=$(dirname "$dir")
    done
    origin=$(git -C "$letterloom_top" config --get remote.origin.url 2>/dev/null || true)
    if [ -n "$origin" ] && [ -d "$origin/../shared/toolchains/qt-6.4.2-mingw64" ]; then
        (cd "$origin/../shared/toolchains" && pwd)
        return
    fi
    echo "$letterloom_top/../shared/toolchains"
}
letterloom_toolchains=${LETTERLOOM_TOOLCHAINS:-$(letterloom_find_toolchains)}
letterloom_qt_toolchain=$letterloom_toolchains/qt-6.4.2-mingw64/lib/cmake/Qt6/qt.toolchain.cmake

# True when the Windows part runs: the toolchain is there, or it is required
# (and its absence is then reported as an error where it is needed).
letterloom_windows_wanted() {
    [ -f "$letterloom_qt_toolchain" ] || [ "${LETTERLOOM_REQUIRE_WINDOWS:-}" = 1 ]
}
