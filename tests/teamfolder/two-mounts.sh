#!/usr/bin/env bash
# Two copies of Letterloom as two machines on one network share: one folder
# served by an sshd of this test's own on the loopback, mounted twice with
# sshfs. flock on one sshfs mount does not see a holder on the other, as a
# lock of one machine does not reach another; only the lock file in the
# folder keeps the copies apart. Copy A saves templates while copy B renames
# and deletes others; afterwards every template A was told it saved must be
# there, each of B's renamed ones under its new name, its deleted ones gone
# (tests/teamfolder/check.py).
#
#   two-mounts.sh <storedriver> [saves] [changes] [apart]
#
# With "apart", each copy runs in a PID namespace of its own under one host
# name, as two containers of one machine do: their process numbers mean
# nothing to each other, and no Save may fail for "took over".
#
# Needs root, /dev/fuse, sshd and sshfs (scripts/setup.sh installs them),
# and for "apart" unshare; where any is missing it prints "skipped: <why>"
# and exits 0.
set -euo pipefail
driver=$1
saves=${2:-120}
changes=${3:-30}
apart=${4:-}
here=$(cd "$(dirname "$0")" && pwd)

skip() { echo "skipped: $*"; exit 0; }
[ "$(id -u)" -eq 0 ] || skip "mounting sshfs needs root here"
[ -c /dev/fuse ] || skip "there is no /dev/fuse"
command -v sshfs >/dev/null || skip "sshfs is not installed"
[ -x /usr/sbin/sshd ] || skip "sshd (openssh-server) is not installed"
copy() { "$driver" "$@"; }
if [ -n "$apart" ]; then
    unshare --pid --fork --mount-proc --uts true 2>/dev/null || skip "unshare cannot make PID and host name namespaces here"
    copy() { unshare --pid --fork --mount-proc --uts sh -c 'hostname letterloom-rig && exec "$0" "$@"' "$driver" "$@"; }
fi

work=$(mktemp -d)
sshd_pid=
cleanup() {
    for m in "$work/a" "$work/b"; do
        mountpoint -q "$m" && { fusermount -u "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true; }
    done
    [ -n "$sshd_pid" ] && kill "$sshd_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/share" "$work/a" "$work/b" /run/sshd
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
sshd_pid=$!
for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
done
options=(-p "$port" -o "IdentityFile=$work/client_key" -o StrictHostKeyChecking=no
         -o UserKnownHostsFile=/dev/null -o LogLevel=ERROR)
sshfs "${options[@]}" "root@127.0.0.1:$work/share" "$work/a" || skip "sshfs could not mount (see $work/sshd.log)"
sshfs "${options[@]}" "root@127.0.0.1:$work/share" "$work/b"

# B's templates, saved first; then both copies at once, each on its own mount.
"$driver" "$work/b" save B "$changes" >/dev/null
start=$(date +%s.%N)
copy "$work/a" save A "$saves" >"$work/a.out" &
saver=$!
copy "$work/b" rename-delete B "$changes" >"$work/b.out"
wait "$saver"
seconds=$(python3 -c "import time; print(round(time.time() - $start, 1))")
python3 "$here/check.py" "two sshfs mounts of one folder${apart:+, two PID namespaces under one host name}" \
    "$work/share/MainData.txt" "$seconds" "$saves" "$changes" "$work/a.out" "$work/b.out"
