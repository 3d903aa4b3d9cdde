#!/usr/bin/env bash
# Launches through the real mail programs of Debian, each in a fresh home
# folder under its own X server (Xvfb) and D-Bus session: a plain and an HTML
# launch with two attachments each (screenshots into OUT), then the time from
# launch to compose window, five times with the program already running and
# five times cold. Run by hand; needs thunderbird, evolution, claws-mail,
# xvfb, xdotool, imagemagick and dbus installed, and a build in build/.
#
#   bench/real_clients.sh CLIENT [OUT]     CLIENT: thunderbird, thunderbird-unconfigured,
#                                          evolution or claws-mail
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
client=$1
out=${2:-$top/bench/out}
launch=${LETTERLOOM_BUILD_DIR:-$top/build}/bench/bench_launch
shared=${LETTERLOOM_SHARED:-$top/../shared}
mkdir -p "$out"

home=$(mktemp -d)
export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share XDG_CACHE_HOME=$home/.cache
export LANG=C.UTF-8 LC_ALL=C.UTF-8 NO_AT_BRIDGE=1
display=:$((70 + RANDOM % 20))
export DISPLAY=$display

# Two attachments whose names hold a comma, an apostrophe, "=", "%" and spaces.
files=$home/files
mkdir -p "$files"
printf 'first attachment\n' > "$files/report, q1 'final'.txt"
head -c 3000 /dev/urandom > "$files/a=b 100% data.bin"
attach="$files/report, q1 'final'.txt;$files/a=b 100% data.bin"
printf '<html><head><meta charset="utf-8"></head><body><h2>Caf\xc3\xa9 news</h2><p>Price: 5 \xe2\x82\xac, <b>bold</b> and <i>italic</i>.</p></body></html>\n' > "$files/news.html"

case $client in
thunderbird|thunderbird-unconfigured)
    entry=thunderbird.desktop
    mkdir -p "$home/.thunderbird/letterloom.default"
    [ "$client" = thunderbird ] && cp "$shared/thunderbird-test-profile/prefs.js" "$home/.thunderbird/letterloom.default/"
    [ "$client" = thunderbird-unconfigured ] && echo 'user_pref("mail.shell.checkDefaultClient", false);' > "$home/.thunderbird/letterloom.default/prefs.js"
    printf '[InstallFDC34C9F024745EB]\nDefault=letterloom.default\nLocked=1\n\n[Profile0]\nName=default\nIsRelative=1\nPath=letterloom.default\nDefault=1\n\n[General]\nStartWithLastProfile=1\nVersion=2\n' > "$home/.thunderbird/profiles.ini"
    printf '[FDC34C9F024745EB]\nDefault=letterloom.default\nLocked=1\n' > "$home/.thunderbird/installs.ini"
    ;;
evolution)
    entry=org.gnome.Evolution.desktop ;;
claws-mail)
    entry=claws-mail.desktop
    mkdir -p "$home/.claws-mail" "$home"/Mail/{inbox,drafts,queue,sent,trash}
    cp "$shared/claws-test-profile/accountrc" "$shared/claws-test-profile/folderlist.xml" "$home/.claws-mail/"
    printf '[Common]\ncheck_while_typing=0\nuse_aspell=0\nenable_aspell=0\n' > "$home/.claws-mail/clawsrc"
    ;;
esac

Xvfb "$display" -screen 0 1400x1000x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1

# The session's script is a file of its own: the programs it starts must not
# read it from standard input.
cat > "$home/session.sh" <<'SESSION'
client=$1 entry=$2 launch=$3 attach=$4 files=$5 out=$6
xdg-mime default "$entry" x-scheme-handler/mailto
case $client in thunderbird*|evolution) xdg-mime default "$entry" message/rfc822 ;; esac
echo "== $client: mailto handled by $(xdg-mime query default x-scheme-handler/mailto), e-mail files by $(xdg-mime query default message/rfc822)"

windowpid() { xdotool search --name "$1" getwindowpid 2>/dev/null | head -n1; }
# Ends the mail program that a launch started (by the process id of its window).
stop_client() {
    local pid
    pid=$(windowpid "$1")
    [ -z "$pid" ] && return
    # Claws Mail ignores SIGTERM: it is asked to quit by its own option.
    if [ "$client" = claws-mail ]; then claws-mail --exit >/dev/null 2>&1; else kill "$pid" 2>/dev/null; fi
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
    if kill -0 "$pid" 2>/dev/null; then
        echo "process $pid did not end: killed"
        kill -9 "$pid" 2>/dev/null
    fi
    [ "$client" = evolution ] && evolution --force-shutdown >/dev/null 2>&1
    sleep 2
}
# Brings a compose window to the top left at a size that shows it whole
# (there is no window manager to do it).
show_compose() {
    for w in $(xdotool search --name "$1" 2>/dev/null); do
        xdotool windowsize "$w" 1000 760 windowmove "$w" 0 0 windowraise "$w" 2>/dev/null
    done
    sleep 2
}
# Saves a compose window as a draft (Ctrl+S), as a user does.
save_compose() {
    local w
    w=$(xdotool search --name "$1" 2>/dev/null | head -n1)
    [ -z "$w" ] && { echo "no window $1 to save"; return; }
    xdotool windowfocus --sync "$w" 2>/dev/null; sleep 0.5
    xdotool key --clearmodifiers ctrl+s; sleep 3
}
close_compose() { # closes every compose window without saving
    for w in $(xdotool search --name "$1" 2>/dev/null); do xdotool windowclose "$w" 2>/dev/null; done
    sleep 1
}

# A plain and an HTML launch, two attachments each, cold.
"$launch" "Plain Zo"$'\u00eb'", 'quoted', 100% a=b" --to "Ann Example <ann@example.org>" --cc "cc@example.org" \
    --bcc "bcc@example.org" --body $'Dear Ann,\r\nthe two files are attached.\r\n' --attach "$attach" --timeout 90
sleep 4; show_compose "Plain Zo"; import -window root "$out/compose-$client-plain.png"; save_compose "Plain Zo"
"$launch" "HTML news, 5 euro" --to "ann@example.org" --cc "cc@example.org" --html "$files/news.html" \
    --attach "$attach" --timeout 60
sleep 4; show_compose "HTML news"; import -window root "$out/compose-$client-html.png"; save_compose "HTML news"
xdotool search --name "." getwindowname %@ 2>/dev/null | sort -u | sed 's/^/window: /'
# What arrived: the drafts the mail program saved, read back.
python3 - "$HOME" <<'PY'
import email, email.policy, glob, mailbox, os, re, sys
home = sys.argv[1]
found = []
for box in glob.glob(home + "/.thunderbird/*/Mail/Local Folders/Drafts"):
    found += list(mailbox.mbox(box))
for d in glob.glob(home + "/.local/share/evolution/mail/local/.Drafts"):
    found += list(mailbox.Maildir(d, factory=None))
for f in sorted(glob.glob(home + "/Mail/drafts/[0-9]*")):
    found.append(email.message_from_binary_file(open(f, "rb")))
for m in found:
    m = email.message_from_bytes(m.as_bytes(), policy=email.policy.default)
    body = m.get_body(preferencelist=("html", "plain"))
    text = body.get_content() if body else ""
    if body is not None and body.get_content_type() == "text/html":
        text = re.sub(r"(?s)<(head|style).*?</\1>|<[^>]+>", " ", text)
    print("arrived: To=%r Cc=%r Bcc=%r Subject=%r body=%s %r attachments=%r" % (
        str(m["To"]), str(m["Cc"]), str(m["Bcc"]), str(m["Subject"]),
        body.get_content_type() if body else None, " ".join(text.split())[:90],
        [p.get_filename() for p in m.iter_attachments()]))
print("arrived: %d drafts saved" % len(found))
PY

# Launch to compose window: five times with the program running, then cold.
[ "$client" = thunderbird-unconfigured ] && exit 0
for i in 1 2 3 4 5; do
    "$launch" "Warm run $i" --to "ann@example.org" --attach "$attach" --timeout 60 | grep -E 'seen|no compose|displayed: no' | sed "s/^/warm $i: /"
    close_compose "Warm run $i"
done
stop_client "Plain Zo|HTML news|Mozilla Thunderbird|Evolution|Claws Mail"
for i in 1 2 3 4 5; do
    "$launch" "Cold run $i" --to "ann@example.org" --attach "$attach" --timeout 90 | grep -E 'seen|no compose|displayed: no' | sed "s/^/cold $i: /"
    stop_client "Cold run $i"
done
SESSION
dbus-run-session -- bash "$home/session.sh" "$client" "$entry" "$launch" "$attach" "$files" "$out" </dev/null
kill "$xvfb"
echo "home: $home"
