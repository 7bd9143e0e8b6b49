#!/usr/bin/env bash
# tools/debian13.sh with stand-ins for mmdebstrap and chroot, so that its
# real namespaces, mounts and clone are made in seconds: a --keep that is /,
# the clone, in the clone or a folder of other files is refused; interrupted
# by two quick SIGINTs, or killed outright, it leaves no mount, no process and
# no folder; the root of an earlier version's killed run, its mounts still in
# place, is found and removed. As root, the test runs in a mount namespace of
# its own: what it mounts, and any mount the script might leak, stays there.
# Where no mount namespace can be made (not root, or no CAP_SYS_ADMIN), only
# the refusals are checked and the test counts as skipped.
# shellcheck disable=SC2016 # the stand-ins expand what they are given
set -uo pipefail
# shellcheck source=tests/checks.sh
source "$(dirname "$0")/checks.sh"
# CTest's SKIP_RETURN_CODE: the namespace half could not run here.
SKIPPED=77
if [ "$(id -u)" -eq 0 ] && [ -z "${DEBIAN13_TEST_PRIVATE:-}" ]; then
    export DEBIAN13_TEST_PRIVATE=1
    if unshare --mount --propagation private true 2>/dev/null; then
        exec unshare --mount --propagation private "$0" "$@"
    elif unshare --mount --propagation unchanged true 2>/dev/null; then
        # In a plain chroot / is no mount point, so its propagation cannot be
        # changed, and a mount on it could reach the host. The test gives
        # itself a root that is one: a bind of / in a tmpfs over /dev/shm,
        # each made private before anything is mounted in it.
        # shellcheck disable=SC2016 # the inner shell expands them
        exec unshare --mount --propagation unchanged bash -c 'mount --make-rprivate /dev &&
            mount -t tmpfs glidora-debian13-test /dev/shm && mkdir /dev/shm/root &&
            mount --rbind / /dev/shm/root && mount --make-rprivate /dev/shm/root &&
            exec chroot /dev/shm/root "$@"' _ "$0" "$@"
    fi
    DEBIAN13_TEST_PRIVATE=none
elif [ "${DEBIAN13_TEST_PRIVATE:-}" = 1 ]; then
    # Shared within this namespace, as the host's mounts are: a mount made in
    # a namespace of the script's that propagated back would show here.
    mount --make-rshared /
fi
script=$(cd "$(dirname "$0")/.." && pwd)/tools/debian13.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/foreign"
touch "$work/foreign/notes.txt"
for keep in / "$(dirname "$script")/.." "$(dirname "$script")/../build/debian13" "$work/foreign"; do
    said=$("$script" --keep "$keep" true 2>&1)
    status=$?
    if [ $status -ne 2 ] || [[ $said != *"--keep"* ]]; then
        fail "--keep $keep: exit $status: $said"
    fi
done
[ -e "$(dirname "$script")/../build/debian13" ] && fail "a refused --keep was made"
if [ "$(id -u)" -ne 0 ] || [ "${DEBIAN13_TEST_PRIVATE:-}" != 1 ]; then
    echo "SKIPPED: no mount namespace can be made here (not root, or no CAP_SYS_ADMIN):" \
        "the namespaces, mounts and signals are not tried"
    finish debian13 && exit $SKIPPED
fi

# The root: an empty Debian; the command inside: a sleep that can be found.
mkdir -p "$work/bin" "$work/tmp"
printf '#!/bin/sh\nfor a; do root=$a; done\nmkdir -p "$root/etc" "$root/proc" "$root/sys" "$root/dev"
echo 13.0 >"$root/etc/debian_version"\n' >"$work/bin/mmdebstrap"
printf '#!/bin/bash\n[[ $* == *scripts/setup.sh* ]] && exit 0\ngrep SigIgn /proc/self/status >"$IGNORED"
exec -a "$SLEEPER" sleep 300\n' >"$work/bin/chroot"
chmod +x "$work/bin"/*
sleeper=glidora-debian13-test-$$

# The bracket keeps grep from finding its own arguments.
sleeper_pids() {
    grep -lxzE "${sleeper/-test/-tes[t]}" /proc/[0-9]*/cmdline 2>/dev/null | cut -d / -f 3
}

# Starts the script in a process group of its own, waits until its command
# runs, and sends the given signals to the group one right after the other,
# as a terminal's Ctrl-C does; sets status to its exit status.
run_and_end() {
    local pid
    set -m
    TMPDIR=$work/tmp PATH="$work/bin:$PATH" SLEEPER=$sleeper IGNORED=$work/ignored "$script" \
        >"$work/said" 2>&1 &
    pid=$!
    set +m
    for _ in $(seq 300); do
        [ -n "$(sleeper_pids)" ] && break
        sleep 0.1
    done
    [ -n "$(sleeper_pids)" ] || fail "the command never ran inside: $(cat "$work/said")"
    [ "$(findmnt -rn -o TARGET)" = "$mounts" ] || fail "mounts outside the namespaces while it runs"
    for signal; do
        kill "-$signal" -- "-$pid"
    done
    # The shell would report the job's end on its own.
    { wait "$pid"; } 2>/dev/null
    status=$?
}

# What an earlier version left when killed: /dev mounted in the root.
legacy=$work/tmp/glidora-debian13.OLD1
kept=$work/tmp/glidora-debian13.kept
mkdir -p "$legacy/dev" "$kept"
touch "$kept/.glidora-debian13"
mount -t tmpfs leftover "$legacy/dev" && touch "$legacy/dev/null"
mounts=$(findmnt -rn -o TARGET | grep -v "^$legacy")

run_and_end INT INT
[ "$status" -eq 130 ] || fail "two SIGINTs: exit $status: $(cat "$work/said")"
[ -e "$legacy" ] && fail "the earlier root was not removed: $(cat "$work/said")"
[ -e "$kept" ] || fail "a root kept with --keep was removed"
# Ctrl-C and Ctrl-\ work inside, whatever the caller ignores.
(($(awk '{ print "0x" $2 }' "$work/ignored") & 0x6)) && fail "ignored inside: $(cat "$work/ignored")"
run_and_end KILL
[ "$status" -eq 137 ] || fail "SIGKILL: exit $status"
for _ in $(seq 20); do
    [ -z "$(sleeper_pids)" ] && break
    sleep 0.1
done
[ -z "$(sleeper_pids)" ] || fail "processes inside outlived the script: $(sleeper_pids)"
[ "$(findmnt -rn -o TARGET)" = "$mounts" ] || fail "mounts left: $(findmnt -rn -o TARGET | grep -vxF "$mounts")"
[ "$(ls -A "$work/tmp")" = "glidora-debian13.kept" ] || fail "left in TMPDIR: $(ls -A "$work/tmp")"

finish "debian13"
