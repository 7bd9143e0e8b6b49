#!/usr/bin/env bash
# Runs a command of this project on a fresh Debian 13 (trixie) from a Debian
# machine, as root: makes a root with mmdebstrap from Debian's registry,
# clones this repository's HEAD into it and runs the command there, as a new
# user of that release would. Default command: the README's test command.
#
#   tools/debian13.sh [--keep DIR] [command ...]
#
# Without --keep the root is made in a temporary folder (under $TMPDIR, or
# /var/tmp) and removed afterwards. With --keep DIR it is made in DIR, or reused when DIR
# already holds one, and left in place for a later look (chroot DIR bash).
# Either way the mounts go, and so does every process still running inside.
# The command runs without network, after setup.sh has installed what the
# project needs.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

keep=""
if [ "${1:-}" = --keep ]; then
    [ -n "${2:-}" ] || { echo "debian13: --keep needs a folder" >&2; exit 2; }
    keep=$(realpath -m "$2")
    shift 2
fi
[ $# -gt 0 ] || set -- scripts/test.sh
if [ "$(id -u)" -ne 0 ]; then
    echo "debian13: making a root and chrooting into it needs root" >&2
    exit 1
fi

# The root is made outside the work tree: while the command runs, the host's
# /dev is bind-mounted in it, and an "rm -rf build" or "git clean" at that
# moment would delete the host's device files.
if [ -n "$keep" ]; then
    root=$keep
else
    root=$(mktemp -d "${TMPDIR:-/var/tmp}/glidora-debian13.XXXXXX")
fi
mounts=(proc sys dev dev/pts)

# Ends what still runs inside the root: its processes' /proc/<pid>/root
# points into it. Only those, never anything else on the host.
# shellcheck disable=SC2317 # called from the EXIT trap
end_processes_inside() {
    local pid link signal
    for signal in TERM KILL; do
        for link in /proc/[0-9]*/root; do
            pid=${link#/proc/}
            pid=${pid%/root}
            [ "$(readlink "$link" 2>/dev/null)" = "$root" ] || continue
            kill "-$signal" "$pid" 2>/dev/null || true
        done
        sleep 1
    done
}

# shellcheck disable=SC2317 # the EXIT trap
cleanup() {
    local i
    end_processes_inside
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        if mountpoint -q "$root/${mounts[i]}"; then
            umount "$root/${mounts[i]}" || umount -l "$root/${mounts[i]}"
        fi
    done
    if [ -z "$keep" ]; then
        rm -rf --one-file-system "$root"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if ! command -v mmdebstrap >/dev/null; then
    apt-get install -y -qq --no-install-recommends mmdebstrap
fi
if [ ! -x "$root/usr/bin/apt-get" ]; then
    echo "debian13: making a fresh Debian 13 root in $root"
    # The registry's Release files may be dated past their Valid-Until on a
    # machine whose clock or mirror lags; the packages are checked all the same.
    mmdebstrap --variant=apt --include=ca-certificates,git,procps \
        --aptopt='Acquire::Check-Valid-Until "false"' trixie "$root"
fi
for mount in "${mounts[@]}"; do
    mkdir -p "$root/$mount"
    mountpoint -q "$root/$mount" || mount --bind "/$mount" "$root/$mount"
done

rm -rf "$root/glidora"
git clone -q "$repo" "$root/glidora"

# A command in the clone inside the root, with a plain environment.
in_root=(chroot "$root" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" CI="${CI:-}"
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
    GLIDORA_WINE_ARCH="${GLIDORA_WINE_ARCH:-}" bash -c 'cd /glidora && exec "$@"' _)

# The packages come first, with the network. The command then runs in a
# network namespace of its own: X servers listen on abstract sockets, which
# belong to the network namespace and not to the file system, so a display
# started inside the root could otherwise share its number with one of the
# host's, and its clients would reach the host's server instead.
echo "debian13: installing packages in Debian $(cat "$root/etc/debian_version")"
"${in_root[@]}" scripts/setup.sh
echo "debian13: running '$*' in a clone of $(git rev-parse --short HEAD)"
status=0
unshare --net "${in_root[@]}" "$@" || status=$?
echo "debian13: '$*' ended with exit code $status"
exit $status
