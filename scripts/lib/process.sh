# shellcheck shell=bash
# Process control shared by the scripts: start a process in the background and
# remember it, wait for a condition with a deadline, stop processes with TERM
# and then KILL. Sourced by scripts/lib/headless-desktop.sh, scripts/demo.sh
# and scripts/with-session.sh.

# Every process process_start started and process_stop_all has not stopped yet.
process_pids=()
# The last one started.
process_pid=""
# How long a stopped process may take to end after TERM before it gets KILL.
process_stop_grace_seconds=2

# process_start [--stdin] COMMAND...: runs COMMAND in the background, sets
# process_pid and records it for process_stop_all. Redirect the call to
# redirect COMMAND:
#   process_start server --port 1 >"$log" 2>&1
# COMMAND reads nothing (/dev/null, as for any background command of a script),
# or with --stdin the standard input of the call.
process_start() {
    if [[ "$1" == --stdin ]]; then
        shift
        "$@" <&0 &
    else
        "$@" &
    fi
    process_pid=$!
    process_pids+=("$process_pid")
}

process_alive() { kill -0 "$1" 2>/dev/null; }

# process_wait_until [--alive PID] [--every SECONDS] SECONDS COMMAND...: runs
# COMMAND every 0.1 s (or every --every SECONDS) until it succeeds; fails with
# status 1 once SECONDS have passed, or with status 2 as soon as PID has ended.
process_wait_until() {
    local pid="" every=0.1
    while [[ "$1" == --* ]]; do
        case "$1" in
            --alive) pid="$2" ;;
            --every) every="$2" ;;
        esac
        shift 2
    done
    local deadline=$(($(date +%s%N) + $1 * 1000000000))
    shift
    until "$@"; do
        [[ -z "$pid" ]] || process_alive "$pid" || return 2
        (($(date +%s%N) < deadline)) || return 1
        sleep "$every"
    done
}

_process_gone() { ! process_alive "$1"; }

# process_stop PID...: stops each in turn: TERM, process_stop_grace_seconds to
# end, then KILL; reaps those that are children of this shell.
process_stop() {
    local pid
    for pid; do
        kill "$pid" 2>/dev/null || continue
        process_wait_until "$process_stop_grace_seconds" _process_gone "$pid" ||
            kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}

# process_stop_all: stops every process process_start started, the last first.
process_stop_all() {
    local i
    for ((i = ${#process_pids[@]} - 1; i >= 0; i--)); do
        process_stop "${process_pids[i]}"
    done
    process_pids=()
}
