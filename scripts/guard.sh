# shellcheck shell=bash
# Sourced, after display.sh, by the commands that build into this clone's
# trees or run from them (test.sh, run.sh, tools/perf.sh, tools/screenshot.sh):
#   guard_clone NAME COMMAND wait|refuse
#       One command at a time uses the build trees: takes build/test.lock on
#       fd 9 for this shell, and when another command holds it, says so in
#       one line naming it, then waits for it to end or exits. Then marks
#       the run (GLIDORA_RUN_MARK, which every process started from then on
#       inherits, also those that leave this script's process groups: Wine's
#       server, what apt starts), and ends every marked process and the
#       private display when the script ends, however it ends. A second
#       Ctrl-C or SIGTERM cannot cut that short; after it, the signal that
#       ended the script ends it again, so that the caller (a loop, a CI
#       runner) sees it and stops too.
#   end_marked_processes MARK
#       ends the processes that carry MARK, and no other.
#   step [--output FILE | --log FILE] COMMAND...
#       runs COMMAND tied to this shell and waits for it, so that a signal is
#       acted on at once rather than when it ends; --output sends its standard
#       output to FILE, --log its errors too. Neither it nor what it starts
#       holds the lock; whatever else this shell starts for good must get 9>&-.

ENDING_SIGNAL=""

GLIDORA_RUN_MARK=""

guard_clone() {
    GUARD_NAME=$1
    # Until it holds the lock, the command has started nothing and ends
    # nothing: one that waits for another must not touch the other's processes.
    trap 'guard_signalled INT 130 interrupted' INT
    trap 'guard_signalled TERM 143 terminated' TERM
    trap guard_end EXIT
    hold_clone "$2" "$3" || exit 1
    GLIDORA_RUN_MARK="$(pwd -P):$(stat -c %i build/test.lock):$$-$(date +%s%N)"
    export GLIDORA_RUN_MARK
}

guard_signalled() {
    trap '' INT TERM
    ENDING_SIGNAL=$1
    echo "$GUARD_NAME: $3"
    exit "$2"
}

guard_end() {
    local status=$?
    trap '' INT TERM
    end_marked_processes "$GLIDORA_RUN_MARK"
    stop_private_display
    if [ -n "$ENDING_SIGNAL" ]; then
        trap - "$ENDING_SIGNAL"
        kill -s "$ENDING_SIGNAL" $$
    fi
    exit "$status"
}

hold_clone() {
    local command=$1 mode=$2 holder
    mkdir -p build
    exec 9>>build/test.lock
    if ! flock -n 9; then
        # What the holder wrote, unless it is a dead one's that the holder
        # of now, which may write nothing, did not replace.
        holder=$(head -n 1 build/test.lock 2>/dev/null)
        [[ $holder =~ \(pid\ ([0-9]+)\)$ ]] && kill -0 "${BASH_REMATCH[1]}" 2>/dev/null ||
            holder="another command"
        holder="$holder holds this clone's build trees (build/test.lock)"
        if [ "$mode" = refuse ]; then
            echo "$GUARD_NAME: $holder; run this again when it has ended" >&2
            return 1
        fi
        echo "$GUARD_NAME: $holder; waiting for it to end"
        # In the background, so that a signal ends the wait; the lock belongs
        # to the open file, which this shell shares.
        setpriv --pdeathsig KILL -- flock 9 &
        wait $! || return 1
    fi
    # Rewritten in place: the inode stays, and with it the lock.
    echo "$command (pid $$)" >build/test.lock
}

# Prints the pids of the processes that carry the given mark. A process's
# environ is the one it was started with: this shell's own has no mark, nor
# have its subshells, and grep here is started without it.
marked_processes() {
    local environ
    env -u GLIDORA_RUN_MARK grep -slzxF "GLIDORA_RUN_MARK=$1" /proc/[0-9]*/environ |
        while read -r environ; do
            environ=${environ#/proc/}
            echo "${environ%/environ}"
        done
}

end_marked_processes() {
    local mark=$1 pids
    [ -n "$mark" ] || return 0
    mapfile -t pids < <(marked_processes "$mark")
    [ ${#pids[@]} -gt 0 ] || return 0
    kill -TERM "${pids[@]}" 2>/dev/null
    for _ in $(seq 30); do
        mapfile -t pids < <(marked_processes "$mark")
        [ ${#pids[@]} -gt 0 ] || return 0
        sleep 0.1
    done
    kill -KILL "${pids[@]}" 2>/dev/null
    return 0
}

# A redirection of the call itself would hold for the traps that run while
# it waits, and a signal's line would go to the file.
step() {
    case $1 in
    --output) setpriv --pdeathsig KILL -- "${@:3}" >"$2" 9>&- & ;;
    --log) setpriv --pdeathsig KILL -- "${@:3}" >"$2" 2>&1 9>&- & ;;
    *) setpriv --pdeathsig KILL -- "$@" 9>&- & ;;
    esac
    wait $!
}
