#!/usr/bin/env bash
# A headless desktop whose start fails must say so at once with the log of the
# process that failed, and leave none of the processes it started running,
# even when the caller's own failure hook trips over an unset variable.
#
#   tests/e2e/desktop_failure.sh STAND_IN
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
if [[ -z "${CUELARK_TEST_SESSION:-}" ]]; then
    exec "$root/scripts/with-session.sh" "$(readlink -f "${BASH_SOURCE[0]}")" "$@"
fi
(($# == 1)) || { echo "usage: $0 STAND_IN" >&2; exit 64; }
stand_in="$(readlink -f "$1")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The desktop's start-up never takes this long when a process dies at once,
# even on a busy machine; the waits themselves would give up only after ten
# seconds.
readonly prompt_seconds=8

# NAME|STEP that fails after Xvfb and dunst are up|text its report must show
cases=(
    "tray exits at once|desktop_start_stand_in \"\$stand_in\"; desktop_start_tray sh -c 'echo no tray on this display >&2; exit 3'|no tray on this display"
    "stand-in refuses its options|desktop_start_stand_in \"\$stand_in\" --no-such-option|no-such-option"
)

failures=0
for case in "${cases[@]}"; do
    IFS='|' read -r name step expected <<<"$case"
    dir="$work/${name// /-}"
    started="$(date +%s%N)"
    status=0
    stand_in="$stand_in" bash -c '
        set -euo pipefail
        source "$1/scripts/lib/headless-desktop.sh"
        desktop_before_cleanup() { echo "the run failed; see $never_set"; }
        desktop_use_service_url http://127.0.0.1:0
        desktop_init "$2"
        desktop_start_xvfb
        desktop_start_notifications
        eval "$3"
    ' desktop "$root" "$dir" "$step" >"$work/out" 2>&1 || status=$?
    elapsed_ms=$((($(date +%s%N) - started) / 1000000))

    problems=()
    ((status != 0)) || problems+=("it reported success")
    ((elapsed_ms < prompt_seconds * 1000)) || problems+=("it took ${elapsed_ms} ms")
    grep -qF -e "$expected" "$work/out" || problems+=("its report lacks '$expected'")
    started_count=0
    while read -r pid what; do
        started_count=$((started_count + 1))
        ! kill -0 "$pid" 2>/dev/null || problems+=("left running: $what (pid $pid)")
    done <"$dir/processes"
    ((started_count >= 3)) || problems+=("only $started_count processes were listed as started")

    if ((${#problems[@]} == 0)); then
        echo "PASS: $name (${elapsed_ms} ms)"
    else
        failures=$((failures + 1))
        echo "FAIL: $name: $(printf '%s; ' "${problems[@]}")"
        sed 's/^/    /' "$work/out"
        # Never leave them to the next test.
        while read -r pid _; do kill -KILL "$pid" 2>/dev/null || true; done <"$dir/processes"
    fi
done

# The end-to-end test refuses, before starting anything, an app built to talk
# to another service than a stand-in could play, and says how to build it.
if out="$("$root/tests/e2e/tray_app.sh" https://cuelark.app "$stand_in" "$stand_in" "$work/e2e" 2>&1)" ||
    [[ "$out" != *"'https://cuelark.app'"*"-DCUELARK_SERVICE_URL=http://127.0.0.1:"* ]] ||
    [[ -e "$work/e2e" ]]; then
    failures=$((failures + 1))
    echo "FAIL: a build for https://cuelark.app was not refused plainly: $out"
else
    echo "PASS: a build for another service is refused"
fi
((failures == 0))
