#!/usr/bin/env bash
# Start-up time and idle cost of the real tray app on a headless X desktop
# (Xvfb + trayer + dunst) against the stand-in service, in a private session.
#
#   bench/idle.sh [BUILD_DIR]      default: build-e2e, else build
#
# Prints: start to tray icon embedded (signed out and signed in), and for the
# signed-in app polling every 10 s with the panel closed: RSS and PSS after
# 10 s, CPU ticks over 30 s, thread count. Figures only; nothing fails on a
# slow machine.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [[ -z "${CUELARK_TEST_SESSION:-}" ]]; then
    exec "$root/scripts/with-session.sh" "$(readlink -f "${BASH_SOURCE[0]}")" "$@"
fi
build="${1:-}"
if [[ -z "$build" ]]; then
    build="$root/build-e2e"
    [[ -x "$build/src/app/cuelark" ]] || build="$root/build"
fi
build="$(cd "$build" && pwd)"
app="$build/src/app/cuelark"
readonly starts=5 settle_seconds=10 idle_seconds=30

# shellcheck source=../scripts/lib/headless-desktop.sh
source "$root/scripts/lib/headless-desktop.sh"
desktop_use_service_url "$(sed -n 's/^CUELARK_SERVICE_URL:STRING=//p' "$build/CMakeCache.txt")"
work="$(mktemp -d)"
desktop_before_cleanup() { rm -rf "$work"; }
desktop_init "$work"
desktop_start_xvfb
desktop_start_tray
desktop_start_notifications
desktop_start_stand_in "$build/tools/stand-in/cuelark-stand-in" --audience-interval 0

# Start-up: exec to the icon embedded by trayer, polled every 10 ms.
embed_times() {
    local times=()
    for _ in $(seq "$starts"); do
        desktop_start_app "$app"
        times+=("$desktop_embed_ms")
        desktop_stop_app
    done
    printf '%s\n' "${times[@]}" | sort -n |
        awk '{ t[NR] = $1; sum += $1 } END { printf "mean %.0f ms, min %d, max %d (%d starts)", sum / NR, t[1], t[NR], NR }'
}

signed_out_start="$(embed_times)"

desktop_start_app "$app"
desktop_open_panel
desktop_press_sign_in
desktop_finish_sign_in >/dev/null
desktop_stop_app
signed_in_start="$(embed_times)"

# The signed-in app, panel never opened, pointer away from the icon (hovering
# the icon alone costs wake-ups).
desktop_start_app "$app"
desktop_move_pointer_away
sleep "$settle_seconds"
pid="$desktop_app_pid"
rss_kb="$(awk '/^Rss:/ { print $2 }' "/proc/$pid/smaps_rollup")"
pss_kb="$(awk '/^Pss:/ { print $2 }' "/proc/$pid/smaps_rollup")"
threads="$(awk '/^Threads:/ { print $2 }' "/proc/$pid/status")"
thread_names="$(cat /proc/"$pid"/task/*/comm | sort | uniq -c | awk '{ printf "%s%s%s", sep, $2, ($1 > 1 ? " x" $1 : ""); sep = ", " }')"
# utime and stime are fields 14 and 15; the name in field 2 has no spaces here.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
calls_before="$(desktop_service_calls | wc -l)"
ticks_before="$(cpu_ticks)"
sleep "$idle_seconds"
ticks_after="$(cpu_ticks)"
calls_after="$(desktop_service_calls | wc -l)"

cat <<EOF
Cuelark idle figures ($app, $(nproc) CPUs, Xvfb + trayer + dunst)
  start -> tray icon embedded, signed out:  $signed_out_start
  start -> tray icon embedded, signed in:   $signed_in_start
  after ${settle_seconds} s signed in, panel closed:
    RSS   $((rss_kb / 1024)).$(((rss_kb % 1024) * 10 / 1024)) MB
    PSS   $((pss_kb / 1024)).$(((pss_kb % 1024) * 10 / 1024)) MB
    threads  $threads ($thread_names)
  CPU over ${idle_seconds} s idle (polling every 10 s): $((ticks_after - ticks_before)) ticks of $(getconf CLK_TCK)/s
    (service calls in that time: $((calls_after - calls_before)))
EOF
