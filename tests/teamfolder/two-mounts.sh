#!/usr/bin/env bash
# Two copies of Letterloom as two machines on one network share: one folder
# mounted twice, each mount its own client with its own caches. A lock of
# one machine (flock) does not reach the other mount; only the lock file in
# the folder keeps the copies apart. Copy A saves templates while copy B
# renames and deletes others; afterwards every template A was told it saved
# must be there, each of B's renamed ones under its new name, its deleted
# ones gone, and no change reported failed that was made
# (tests/teamfolder/check.py).
#
#   two-mounts.sh <storedriver> [saves] [changes] [apart|smb]
#
# The folder is served by an sshd of this test's own on the loopback and
# mounted with sshfs. With "apart", each copy runs in a PID namespace of its
# own under one host name, as two containers of one machine do: their
# process numbers mean nothing to each other, and no Save may fail for
# "took over". With "smb", a Samba smbd of the test's own serves it on
# 127.0.0.1 and smbnetfs mounts it: hard links fail there, so the lock file
# is made with O_EXCL, and a file one client has open cannot be replaced by
# the other, as on Windows.
#
# Needs root and /dev/fuse, and sshd and sshfs, or samba, smbnetfs and the
# port 445 of 127.0.0.1 (scripts/setup.sh installs the packages), and for
# "apart" unshare; where any is missing it prints "skipped: <why>" and exits 0.
set -euo pipefail
driver=$1
saves=${2:-120}
changes=${3:-30}
mode=${4:-}
here=$(cd "$(dirname "$0")" && pwd)

skip() { echo "skipped: $*"; exit 0; }
[ "$(id -u)" -eq 0 ] || skip "serving a share and mounting it need root here"
[ -c /dev/fuse ] || skip "there is no /dev/fuse"
if [ "$mode" = smb ]; then
    [ -x /usr/sbin/smbd ] && command -v smbpasswd >/dev/null || skip "samba is not installed"
    command -v smbnetfs >/dev/null || skip "smbnetfs is not installed"
    # smbnetfs reaches a server on port 445 only.
    (exec 3<>/dev/tcp/127.0.0.1/445) 2>/dev/null && skip "port 445 of 127.0.0.1 is taken by another server"
else
    command -v sshfs >/dev/null || skip "sshfs is not installed"
    [ -x /usr/sbin/sshd ] || skip "sshd (openssh-server) is not installed"
fi
copy() { "$driver" "$@"; }
if [ "$mode" = apart ]; then
    unshare --pid --fork --mount-proc --uts true 2>/dev/null || skip "unshare cannot make PID and host name namespaces here"
    copy() { unshare --pid --fork --mount-proc --uts sh -c 'hostname letterloom-rig && exec "$0" "$@"' "$driver" "$@"; }
fi

work=$(mktemp -d)
server=
cleanup() {
    for m in "$work/a" "$work/b"; do
        mountpoint -q "$m" && { fusermount -u "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true; }
    done
    [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work"/{share,a,b}
# Waits until a port of the loopback answers.
answering() { for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return; sleep 0.1; done; }

if [ "$mode" = smb ]; then
    mkdir -p "$work"/{private,lock,state,cache,pid,ncalrpc}
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
    server=$!
    answering 445
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
    what="two smbnetfs mounts of one Samba share"
else
    mkdir -p /run/sshd
    ssh-keygen -q -t ed25519 -N '' -f "$work/host_key"
    ssh-keygen -q -t ed25519 -N '' -f "$work/client_key"
    cp "$work/client_key.pub" "$work/authorized_keys"
    chmod 600 "$work/authorized_keys"
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    cat > "$work/sshd_config" <<CONFIG
Port $port
ListenAddress 127.0.0.1
HostKey $work/host_key
AuthorizedKeysFile $work/authorized_keys
PermitRootLogin prohibit-password
PasswordAuthentication no
StrictModes no
UsePAM no
PidFile $work/sshd.pid
Subsystem sftp internal-sftp
CONFIG
    /usr/sbin/sshd -D -f "$work/sshd_config" -E "$work/sshd.log" &
    server=$!
    answering "$port"
    options=(-p "$port" -o "IdentityFile=$work/client_key" -o StrictHostKeyChecking=no
             -o UserKnownHostsFile=/dev/null -o LogLevel=ERROR)
    sshfs "${options[@]}" "root@127.0.0.1:$work/share" "$work/a" || skip "sshfs could not mount (see $work/sshd.log)"
    sshfs "${options[@]}" "root@127.0.0.1:$work/share" "$work/b"
    a=$work/a
    b=$work/b
    what="two sshfs mounts of one folder${mode:+, two PID namespaces under one host name}"
fi

# B's templates, saved first; then both copies at once, each on its own mount.
"$driver" "$b" save B "$changes" >/dev/null
start=$(date +%s.%N)
copy "$a" save A "$saves" >"$work/a.out" &
saver=$!
copy "$b" rename-delete B "$changes" >"$work/b.out"
wait "$saver"
seconds=$(python3 -c "import time; print(round(time.time() - $start, 1))")
# smbnetfs's own failures (a connection it dropped answers EIO from then on).
[ "$mode" != smb ] || sed 's/^/  smbnetfs: /' "$work"/smbnetfs-*.log
python3 "$here/check.py" "$what" "$work/share/MainData.txt" "$seconds" "$saves" "$changes" "$work/a.out" "$work/b.out"
