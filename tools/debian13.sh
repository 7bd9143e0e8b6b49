#!/usr/bin/env bash
# Runs a command of this project on a fresh Debian 13 (trixie) from a Debian
# machine, as root: makes a root with mmdebstrap from Debian's registry,
# clones this repository's HEAD into it and runs the command there, as a new
# user of that release would. Default command: the README's test command.
#
#   tools/debian13.sh [--keep DIR] [command ...]
#
# Everything happens in private mount and PID namespaces: the root's mounts
# (/proc, /sys, /dev) exist only there, and so does every process started in
# it. However this script ends, SIGKILL included, the namespaces end with it;
# the kernel then ends every process inside and drops every mount, so the host
# never sees a mount in the root and nothing outside is ever signalled.
# Without --keep the root itself lives in memory, in a tmpfs that also exists
# only in the namespaces (about 10 GiB for the test command): nothing of it is
# ever left. With --keep DIR it is made on disk in DIR, which must be new or
# empty, or reused when an earlier --keep made it there, and left for a later
# look (chroot DIR bash). The command runs without network, after setup.sh has
# installed what the project needs.
set -euo pipefail
# A failing step inside $(...) stops the script too.
shopt -s inherit_errexit
caller_dir=$PWD
cd "$(dirname "$0")/.."
repo=$(pwd -P)
# In a root of this script's, from the start: "incomplete" until mmdebstrap
# has made it, then "ready".
MARKER=.glidora-debian13

fail() {
    echo "debian13: $*" >&2
    exit 2
}

# The mount points at or below a folder, deepest first. findmnt escapes
# blanks in its raw output; printf undoes that.
mounts_under() {
    local target
    findmnt -rn -o TARGET | while read -r target; do
        target=$(printf '%b' "$target")
        if [ "$target" = "$1" ] || [[ $target == "$1"/* ]]; then
            echo "$target"
        fi
    done | sort -r
}

inside_clone() {
    [ "$1" = "$repo" ] || [[ $1 == "$repo"/* ]]
}

# Whether any process has its root in the folder (read only: nothing is sent).
processes_inside() {
    local link target
    for link in /proc/[0-9]*/root; do
        target=$(readlink "$link" 2>/dev/null) || continue
        if [ "$target" = "$1" ] || [[ $target == "$1"/* ]]; then
            return 0
        fi
    done
    return 1
}

# An earlier version of this script made its roots in $TMPDIR (or /var/tmp),
# mounted the host's /proc, /sys and /dev in them in the host's own namespace,
# and left both behind when it was killed. Such a root is removed once
# nothing runs in it: its mounts first, and if any stays, nothing at all.
# Read only, the search for processes inside sends nothing.
remove_stale_roots() {
    local root target
    for root in "$tmpbase"/glidora-debian13.*; do
        # A folder given to --keep may be named so too: it has the marker.
        if [ ! -d "$root" ] || [ -L "$root" ] || [ -e "$root/$MARKER" ]; then
            continue
        fi
        if processes_inside "$root"; then
            echo "debian13: $root is in use; left as it is" >&2
            continue
        fi
        echo "debian13: removing the root of an earlier run that was killed, $root"
        while read -r target; do
            umount "$target" 2>/dev/null || umount -l "$target" 2>/dev/null || true
        done < <(mounts_under "$root")
        if [ -n "$(mounts_under "$root")" ]; then
            echo "debian13: could not unmount all of $root; left as it is" >&2
            continue
        fi
        rm -rf --one-file-system "$root"
    done
}

# Mounts a tmpfs for the root over a folder that exists on every Debian, in
# these namespaces only (the host's stays as it is), and not one that holds
# this clone, which must stay in sight; prints the root's path.
memory_root() {
    local base
    for base in /media /mnt; do
        if [ -d "$base" ] && [[ $repo/ != "$base"/* ]]; then
            mount -t tmpfs -o mode=0755,size=75% glidora-debian13 "$base"
            mkdir "$base/debian13"
            echo "$base/debian13"
            return
        fi
    done
    fail "found neither /media nor /mnt to mount the root's tmpfs on"
}

# The part that runs inside the namespaces, as their first process.
run_inside() {
    local host_namespace=$1 root=$2
    shift 2
    # Mounting is safe only where it cannot reach the host.
    [ "$(readlink /proc/self/ns/mnt)" != "$host_namespace" ] || fail "not in a mount namespace of its own"
    if [ -z "$root" ]; then
        root=$(memory_root)
        echo "debian13: the root is in memory, at $root in this run's namespaces"
    fi
    if [ "$(cat "$root/$MARKER" 2>/dev/null)" != ready ]; then
        echo "debian13: making a fresh Debian 13 root in $root"
        find "$root" -mindepth 1 -maxdepth 1 ! -name "$MARKER" -exec rm -rf --one-file-system {} +
        # The registry's Release files may be dated past their Valid-Until on a
        # machine whose clock or mirror lags; the packages are checked all the same.
        mmdebstrap --skip=check/empty --variant=apt --include=ca-certificates,git,procps \
            --aptopt='Acquire::Check-Valid-Until "false"' trixie "$root"
        echo ready >"$root/$MARKER"
    fi
    # The root a mount point of its own, as / is on a real system: a tool
    # inside that changes the propagation of / (unshare) needs that.
    mount --bind "$root" "$root"
    mount -t proc proc "$root/proc"
    mount --rbind /sys "$root/sys"
    mount --rbind /dev "$root/dev"

    rm -rf "$root/glidora"
    git clone -q "$repo" "$root/glidora"

    # A command in the clone inside the root, with a plain environment.
    local in_root=(chroot "$root" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" CI="${CI:-}"
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
        GLIDORA_WINE_ARCH="${GLIDORA_WINE_ARCH:-}" bash -c 'cd /glidora && exec "$@"' _)
    # The packages come first, with the network. The command then runs in a
    # network namespace of its own: X servers listen on abstract sockets, which
    # belong to the network namespace and not to the file system, so a display
    # started inside the root could otherwise share its number with one of the
    # host's, and its clients would reach the host's server instead.
    echo "debian13: installing packages in Debian $(cat "$root/etc/debian_version")"
    "${in_root[@]}" scripts/setup.sh
    echo "debian13: running '$*' in a clone of $(git -C "$repo" rev-parse --short HEAD)"
    unshare --net "${in_root[@]}" "$@"
}

if [ "${1:-}" = --in-namespaces ]; then
    shift
    run_inside "$@"
    exit
fi

keep=""
if [ "${1:-}" = --keep ]; then
    [ -n "${2:-}" ] || fail "--keep needs a folder"
    keep=$(cd "$caller_dir" && realpath -m -- "$2")
    shift 2
fi
[ $# -gt 0 ] || set -- scripts/test.sh

if [ -n "$keep" ]; then
    [ "$keep" != / ] || fail "--keep /: the root is made in a folder of its own, not in /"
    ! inside_clone "$keep" || fail "--keep $keep: the root may not lie in the clone ($repo)"
    if [ -e "$keep" ]; then
        [ -d "$keep" ] || fail "--keep $keep is not a folder"
        if [ ! -f "$keep/$MARKER" ] && [ -n "$(ls -A "$keep")" ]; then
            fail "--keep $keep holds files, and no root of this script's; give a new or empty folder"
        fi
    fi
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "debian13: making a root and chrooting into it needs root" >&2
    exit 1
fi
# Nothing is made outside the namespaces, so without them nothing is made.
if ! said=$(unshare --mount --propagation private --pid --fork true 2>&1); then
    echo "debian13: cannot make a private mount namespace here, which everything runs in" \
        "(${said:-unshare failed}); a plain chroot's / must be a mount point (mount --bind)," \
        "and a container must grant CAP_SYS_ADMIN" >&2
    exit 1
fi

if tmpbase=$(realpath -e -- "${TMPDIR:-/var/tmp}" 2>/dev/null); then
    remove_stale_roots
fi
if [ -n "$keep" ]; then
    mkdir -p "$keep"
    [ -z "$(mounts_under "$keep")" ] || fail "--keep $keep: something is mounted there"
    # Held while this run lives, so that no other run uses the same root.
    exec 8<"$keep"
    flock -n 8 || fail "$keep is in use by another run of this script"
    [ -f "$keep/$MARKER" ] || echo incomplete >"$keep/$MARKER"
fi

inner=""
# shellcheck disable=SC2317 # the EXIT trap
end_inner() {
    # A second Ctrl-C must not cut this short.
    trap '' INT TERM
    if [ -n "$inner" ]; then
        kill -KILL "$inner" 2>/dev/null || true
        wait "$inner" 2>/dev/null || true
    fi
}
trap end_inner EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if ! command -v mmdebstrap >/dev/null; then
    apt-get install -y -qq --no-install-recommends mmdebstrap
fi
# unshare holds back SIGINT and SIGTERM while it waits; killed, it takes the
# first process inside along (--kill-child), and with it the namespaces. It
# dies with this script (--pdeathsig), and is waited for in the background so
# that a signal to this script is acted on at once. It also leaves SIGINT and
# SIGQUIT ignored in what it starts: the command inside gets them back.
setpriv --pdeathsig KILL -- env -u TMPDIR unshare --mount --propagation private --mount-proc \
    --pid --kill-child -- env --default-signal=INT,QUIT "$repo/tools/debian13.sh" \
    --in-namespaces "$(readlink /proc/self/ns/mnt)" "$keep" "$@" 8<&- &
inner=$!
status=0
wait "$inner" || status=$?
inner=""
echo "debian13: '$*' ended with exit code $status"
exit $status
