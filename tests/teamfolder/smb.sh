#!/usr/bin/env bash
# Two copies of Letterloom as two machines on one SMB share: a folder served
# by a Samba smbd of this test's own on 127.0.0.1, mounted twice with
# smbnetfs, each mount its own SMB client with its own session and its own
# caches. The share has no hard links, so the lock file is made with O_EXCL;
# a file one client has open cannot be replaced by the other, as on Windows.
# Copy A saves templates while copy B renames and deletes others; afterwards
# every template A was told it saved must be there, each of B's renamed ones
# under its new name, its deleted ones gone, and no change reported failed
# that was made (tests/teamfolder/check.py).
#
#   smb.sh <storedriver> [saves] [changes]
#
# Needs root, /dev/fuse, samba, smbnetfs and the port 445 of 127.0.0.1
# (scripts/setup.sh installs the packages); where any is missing it prints
# "skipped: <why>" and exits 0.
set -euo pipefail
driver=$1
saves=${2:-120}
changes=${3:-30}
here=$(cd "$(dirname "$0")" && pwd)

skip() { echo "skipped: $*"; exit 0; }
[ "$(id -u)" -eq 0 ] || skip "serving SMB on port 445 and mounting need root here"
[ -c /dev/fuse ] || skip "there is no /dev/fuse"
[ -x /usr/sbin/smbd ] && command -v smbpasswd >/dev/null || skip "samba is not installed"
command -v smbnetfs >/dev/null || skip "smbnetfs is not installed"
# smbnetfs reaches a server on port 445 only.
(exec 3<>/dev/tcp/127.0.0.1/445) 2>/dev/null && skip "port 445 of 127.0.0.1 is taken by another server"

work=$(mktemp -d)
smbd_pid=
cleanup() {
    for m in "$work/a" "$work/b"; do
        mountpoint -q "$m" && { fusermount -u "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true; }
    done
    [ -n "$smbd_pid" ] && kill "$smbd_pid" 2>/dev/null && wait "$smbd_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work"/{share,a,b,private,lock,state,cache,pid,ncalrpc}
cat > "$work/smb.conf" <<CONFIG
[global]
server role = standalone server
interfaces = lo
bind interfaces only = yes
disable netbios = yes
pid directory = $work/pid
lock directory = $work/lock
state directory = $work/state
cache directory = $work/cache
private dir = $work/private
ncalrpc dir = $work/ncalrpc
log file = $work/smbd.log
passdb backend = tdbsam:$work/private/passdb.tdb
map to guest = never
load printers = no
printcap name = /dev/null
disable spoolss = yes
[share]
path = $work/share
read only = no
CONFIG
password=$(python3 -c 'import secrets; print(secrets.token_hex(12))')
printf '%s\n%s\n' "$password" "$password" | smbpasswd -c "$work/smb.conf" -s -a root >/dev/null
/usr/sbin/smbd --foreground -s "$work/smb.conf" >"$work/smbd.out" 2>&1 &
smbd_pid=$!
for _ in $(seq 50); do
    (exec 3<>/dev/tcp/127.0.0.1/445) 2>/dev/null && break
    sleep 0.1
done
for m in a b; do
    mkdir -p "$work/home-$m/.smb"
    echo "auth \"127.0.0.1\" \"root\" \"$password\"" > "$work/home-$m/.smb/smbnetfs.conf"
    chmod 600 "$work/home-$m/.smb/smbnetfs.conf"
    HOME="$work/home-$m" smbnetfs "$work/$m" -o "log_file=$work/smbnetfs-$m.log"
done
a=$work/a/127.0.0.1/share
b=$work/b/127.0.0.1/share
for _ in $(seq 50); do
    ls "$a" "$b" >/dev/null 2>&1 && break
    sleep 0.2
done
ls "$a" "$b" >/dev/null || skip "smbnetfs could not reach the share (see $work/smbd.log)"

# B's templates, saved first; then both copies at once, each on its own mount.
"$driver" "$b" save B "$changes" >/dev/null
start=$(date +%s.%N)
"$driver" "$a" save A "$saves" >"$work/a.out" &
saver=$!
"$driver" "$b" rename-delete B "$changes" >"$work/b.out"
wait "$saver"
seconds=$(python3 -c "import time; print(round(time.time() - $start, 1))")
# smbnetfs's own failures (a connection it dropped answers EIO from then on).
sed 's/^/  smbnetfs: /' "$work"/smbnetfs-*.log
python3 "$here/check.py" "two smbnetfs mounts of one Samba share" "$work/share/MainData.txt" "$seconds" \
    "$saves" "$changes" "$work/a.out" "$work/b.out"
