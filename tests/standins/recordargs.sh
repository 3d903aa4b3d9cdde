#!/bin/sh
# A stand-in for a mail program: writes the arguments it was given, each
# followed by a NUL byte, to the file named in LETTERLOOM_STANDIN_RECORD.
# It writes to a side file first and renames it, so a reader never sees half.
# LETTERLOOM_STANDIN_STAY=<seconds>: then stays running that long, as a mail
# program that was not running yet does.
# LETTERLOOM_STANDIN_FAIL=<file>: when that file exists, removes it, prints
# an error and ends with status 3, as a mail program that cannot show
# anything does (so only the next start fails).
record=${LETTERLOOM_STANDIN_RECORD:?}
printf '%s\0' "$@" > "$record.part" && mv "$record.part" "$record" || exit 4
sleep "${LETTERLOOM_STANDIN_STAY:-0}"
if rm "${LETTERLOOM_STANDIN_FAIL:-}" 2>/dev/null; then
    echo "cannot open display: :99" >&2
    exit 3
fi
