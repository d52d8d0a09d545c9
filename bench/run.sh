#!/usr/bin/env bash
# The tray app beside two baselines built from the same flags (bench/baseline_tray.cpp):
# a bare Widgets tray app doing the same three GETs every 10 s, and the same
# plus one secret-store read at start. Everything runs on one headless desktop
# (Xvfb, trayer, dunst, a private bus and gnome-keyring, a fake logind and
# NetworkManager on a private system bus) against the stand-in,
# signed in with 25 requests; start-up and memory alternate between the three
# programs, run by run. Idle wake-ups (voluntary context switches) are counted
# apart from preemptions (involuntary ones), which the machine's load decides.
# The in-process figures add refresh cycles at 10 to 40,000 events and the
# panel on as many. Prints one table of medians, ratios and whether each target
# held. A benchmark, not a test: it fails only when it cannot measure.
#
#   bench/run.sh [BUILD_DIR]     default: build/ of scripts/test.sh (configured
#                                RelWithDebInfo and built here when missing)
#
# Environment (defaults): BENCH_RUNS=3 runs of each program (three starts
# each, memory read 3 s after each start), BENCH_SETTLE=30 s signed in before
# memory is read again, BENCH_IDLE=300 s of idle CPU (the three programs side by
# side), BENCH_PANEL=20 panel openings. About 16 minutes in all.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [[ -z "${CUELARK_TEST_SESSION:-}" ]]; then
    # shellcheck source=../scripts/lib/build.sh
    source "$root/scripts/lib/build.sh"
    build="${1:-$root/build}"
    "$root/scripts/install-deps.sh"
    [[ -f "$build/CMakeCache.txt" ]] || configure_build "$root" "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$build" --target cuelark cuelark-stand-in cuelark-bench cuelark-bare-tray cuelark-keychain-tray \
        cuelark-fake-system cuelark-popup-bench
    exec "$root/scripts/with-session.sh" "$(readlink -f "${BASH_SOURCE[0]}")" "$build"
fi
build="$(cd "$1" && pwd)"
runs="${BENCH_RUNS:-3}" settle="${BENCH_SETTLE:-30}" idle="${BENCH_IDLE:-300}" panel_cycles="${BENCH_PANEL:-20}"
declare -A path=([app]="$build/src/app/cuelark" [bare]="$build/bench/cuelark-bare-tray"
                 [keychain]="$build/bench/cuelark-keychain-tray")
bench="$build/bench/cuelark-bench"
popup_bench="$build/bench/cuelark-popup-bench"
fake_system="$build/bench/cuelark-fake-system"
for program in "${path[@]}" "$bench" "$popup_bench" "$build/tools/stand-in/cuelark-stand-in" "$fake_system"; do
    [[ -x "$program" ]] || { echo "bench/run.sh: cannot measure: $program is not built" >&2; exit 2; }
done

# shellcheck source=../scripts/lib/headless-desktop.sh
source "$root/scripts/lib/headless-desktop.sh"
desktop_use_service_url "$(sed -n 's/^CUELARK_SERVICE_URL:STRING=//p' "$build/CMakeCache.txt")"
work="$(mktemp -d)"
desktop_before_cleanup() { (($1 == 0)) || { import -window root "$work/screen.png"; xwininfo -root -tree > "$work/tree.txt"; cp -r "$work" "${BENCH_KEEP_LOGS:-/dev/null}" 2>/dev/null; }; rm -rf "$work"; }
desktop_init "$work"
desktop_start_xvfb
desktop_start_tray
desktop_start_notifications
# logind and NetworkManager on the session's system bus: the programs watch
# both, as on a laptop, and NetworkManager announces its state now and then.
_desktop_start "the fake logind and NetworkManager" "$work/fake-system.log" "$fake_system"
_desktop_await "$process_pid" "the fake logind and NetworkManager" "$work/fake-system.log" 10 \
    "logind and NetworkManager on the system bus" grep -q '^ready' "$work/fake-system.log"
desktop_start_stand_in "$build/tools/stand-in/cuelark-stand-in" --audience-interval 0

# Sign the app in once through the browser; its token in the secret store is
# what the keychain baseline reads, and the bare one is handed it.
desktop_start_app "${path[app]}"
desktop_open_panel
desktop_press_sign_in
desktop_finish_sign_in >/dev/null
desktop_stop_app
CUELARK_BENCH_TOKEN="$(secret-tool lookup server "$desktop_app_id" user glasses-bearer-token | base64 -d)"
export CUELARK_BENCH_TOKEN
for i in $(seq 15); do
    desktop_service POST /control/requests "{\"songTitle\":\"Bench song $i\",\"artistName\":\"Bench\"}" >/dev/null
done

declare -A figures # "program figure" -> values, space-separated
add() { figures["$1 $2"]+="$3 "; }
median() { tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{ v[NR] = $1 } END { print NR ? v[int((NR + 1) / 2)] : "" }'; }
kb_of() { awk -v key="$1:" '$1 == key { print $2 }' "/proc/$2/smaps_rollup"; }
# Context switches of all threads, "voluntary_ctxt_switches" (wake-ups: the
# program slept and was woken) or "nonvoluntary_ctxt_switches" (preempted: the
# machine's load, not the program's).
# "TID voluntary involuntary" of each thread now.
switches() {
    local status
    for status in /proc/"$1"/task/*/status; do
        awk '$1 == "Pid:" { t = $2 } $1 == "voluntary_ctxt_switches:" { v = $2 }
             $1 == "nonvoluntary_ctxt_switches:" { n = $2 } END { print t, v, n }' "$status" 2>/dev/null || true
    done
}
# Switches since the snapshot $1, column $2 (2 voluntary, 3 involuntary), of the
# threads that run now: a thread that ended meanwhile takes its count with it.
switches_since() {
    switches "$3" | awk -v column="$2" 'NR == FNR { before[$1] = $column; next } { n += $column - before[$1] } END { print n + 0 }' "$1" -
}
# CPU time of all threads in microseconds (schedstat counts nanoseconds; the
# clock ticks of /proc/PID/stat are too coarse for an idle program).
# Match rules the process $1 holds on the system bus: the signals of logind and
# NetworkManager it subscribes to.
system_bus_rules() {
    local rules name n=0
    bus() { busctl --address="$DBUS_SYSTEM_BUS_ADDRESS" --json=short call org.freedesktop.DBus /org/freedesktop/DBus "$@"; }
    rules="$(bus org.freedesktop.DBus.Debug.Stats GetAllMatchRules)"
    for name in $(jq -r '.data[0] | keys[]' <<<"$rules"); do
        [[ "$(bus org.freedesktop.DBus GetConnectionUnixProcessID s "$name" 2>/dev/null | jq '.data[0]')" == "$1" ]] &&
            n=$((n + $(jq --arg name "$name" '.data[0][$name] | length' <<<"$rules")))
    done
    echo "$n"
}
cpu_us() { cat /proc/"$1"/task/*/schedstat | awk '{ n += $1 } END { printf "%d", n / 1000 }'; }
start() {
    desktop_app_class="$(basename "${path[$1]}")"
    desktop_start_app "${path[$1]}"
    desktop_move_pointer_away
}
# Starts program $1 as start() does and sets docked_ms: from the start to the
# moment the tray took the dock request, which is when trayer creates the
# socket window the icon is then reparented into. Read from the tray window's
# own events as they arrive, rather than from the polling that waits for the
# icon: the poller's processes compete for the CPU with whatever the program
# does once docked, which lengthened the polled figure of the busier program.
start_timed() {
    local events="$work/tray-events" started socket
    stdbuf -oL xev -id "$(_desktop_tray_host)" -event substructure \
        > >(while IFS= read -r line; do printf '%s %s\n' "${EPOCHREALTIME/./}" "$line"; done >"$events") &
    local watcher=$!
    sleep 0.2 # xev has selected the events
    started="${EPOCHREALTIME/./}"
    start "$1"
    # The socket is the icon window's parent; its CreateNotify's first line has the time.
    socket="$(xwininfo -id "$(desktop_tray_icon)" -children | awk '/Parent window id:/ { print $4; exit }')"
    docked_ms="$(awk -v socket="$socket" -v started="$started" '
        / CreateNotify event/ { at = $1 } index($0, " window " socket ",") && at { printf "%d", ($1 - started) / 1000; exit }' "$events")"
    kill "$watcher" 2>/dev/null || true
    [[ -n "$docked_ms" ]] || { echo "bench/run.sh: cannot measure: no dock seen for $1" >&2; exit 2; }
}

# Start-up, one program at a time, the order turning each round: three
# starts per run, as they are quick.
order=(app bare keychain)
for _ in $(seq $((runs * 3))); do
    for program in "${order[@]}"; do
        start_timed "$program"
        add "$program" start "$docked_ms"
        # Signed in, the first refresh done.
        sleep 3
        add "$program" pss_start "$(kb_of Pss "$desktop_app_pid")"
        desktop_stop_app
    done
    order=("${order[@]:1}" "${order[0]}")
done

# Memory likewise, after a while signed in.
for run in $(seq "$runs"); do
    for program in "${order[@]}"; do
        start "$program"
        sleep "$settle"
        add "$program" pss "$(kb_of Pss "$desktop_app_pid")"
        add "$program" rss "$(kb_of Rss "$desktop_app_pid")"
        add "$program" threads "$(awk '/^Threads:/ { print $2 }' "/proc/$desktop_app_pid/status")"
        desktop_stop_app
        desktop_log "run $run: $program measured"
    done
    order=("${order[@]:1}" "${order[0]}")
done

# The panel opened and closed again and again: memory after the first close
# and after the last.
start app
sleep 5
desktop_open_panel
desktop_close_panel
sleep 2
first_close="$(kb_of Pss "$desktop_app_pid")"
for _ in $(seq $((panel_cycles - 1))); do
    # A click within 300 ms of a close counts as the click that closed it.
    sleep 0.5
    desktop_open_panel
    desktop_close_panel
done
sleep 2
last_close="$(kb_of Pss "$desktop_app_pid")"
desktop_stop_app
desktop_log "panel opened $panel_cycles times"

# Idle: the three side by side, pointer away; CPU ticks, wake-ups (context
# switches of all threads) and TCP connections seen by the stand-in.
declare -A pid
for program in app bare keychain; do
    start "$program"
    pid[$program]="$desktop_app_pid"
done
sleep 5
desktop_service DELETE /control/log >/dev/null
# perf counts every thread, those that end meanwhile too; without perf, the
# threads' own counters (a thread that ends takes its share away).
declare -A cpu_before perf_out
perf_pids=()
for program in app bare keychain; do
    switches "${pid[$program]}" > "$work/switches-$program.txt"
    if command -v perf >/dev/null; then
        perf_out[$program]="$work/perf-$program.csv"
        perf stat -x, -e task-clock -o "${perf_out[$program]}" -p "${pid[$program]}" -- sleep "$idle" &
        perf_pids+=($!)
    else
        cpu_before[$program]="$(cpu_us "${pid[$program]}")"
    fi
done
sleep "$idle"
# Only perf: the desktop's own processes run in the background too.
((${#perf_pids[@]} == 0)) || wait "${perf_pids[@]}"
log="$(desktop_service GET /control/log)"
for program in app bare keychain; do
    if [[ -n "${perf_out[$program]:-}" ]]; then
        add "$program" cpu "$(awk -F, '$3 == "task-clock" { printf "%d", $1 * 1000 }' "${perf_out[$program]}")"
    else
        add "$program" cpu $(($(cpu_us "${pid[$program]}") - cpu_before[$program]))
    fi
    add "$program" system_rules "$(system_bus_rules "${pid[$program]}")"
    add "$program" voluntary "$(switches_since "$work/switches-$program.txt" 2 "${pid[$program]}")"
    add "$program" involuntary "$(switches_since "$work/switches-$program.txt" 3 "${pid[$program]}")"
    # Each names itself in User-Agent.
    if [[ "$program" == app ]]; then
        mine='(.userAgent // "" | startswith("Cuelark/"))'
    else
        mine="(.userAgent == \"$(basename "${path[$program]}")\")"
    fi
    add "$program" connections "$(jq "[.[] | select($mine) | .connection] | unique | length" <<<"$log")"
    add "$program" cycles "$(jq "[.[] | select($mine and (.path | endswith(\"/requests\")))] | length" <<<"$log")"
    kill "${pid[$program]}"
    wait "${pid[$program]}" 2>/dev/null || true
done
desktop_log "idle measured"

# The refresh path and the panel, offscreen and on the X server.
QT_QPA_PLATFORM=offscreen "$bench" >"$work/offscreen.txt" 2>"$work/offscreen.log"
QT_QPA_PLATFORM=xcb "$bench" >"$work/xvfb.txt" 2>"$work/xvfb.log"
key() { awk -v key="$1" '$1 == key { print $2 }' "$work/$2.txt"; }
# A click on a pop-up, each in a fresh process on the X server, alternating:
# the app's panel with two requests (built on the first click, then kept)
# beside a bare Qt pop-up of comparable content, built on the first click too
# (for memory) or at start-up (for speed); and, for the trade-off, the app's
# panel built at start-up as well, which the app does not do.
for _ in $(seq $((runs * 3))); do
    for popup in app app-kept bare bare-kept; do
        QT_QPA_PLATFORM=xcb "$popup_bench" "$popup" >"$work/popup.txt" 2>>"$work/popup.log"
        for figure in cold_ms warm_ms pss_growth_kb build_pss_kb; do
            add "$popup" "popup_$figure" "$(key "popup_$figure" popup)"
        done
    done
done
# One row: a pop-up of the app beside a bare one, and the target on their
# ratio ("-": none).
#   popup_row LABEL FIGURE UNIT SCALE TARGET_RATIO bare|bare-kept [app|app-kept]
popup_row() {
    awk -v label="$1" -v a="$(median <<<"${figures[${7:-app} $2]}")" -v b="$(median <<<"${figures[$6 $2]}")" \
        -v unit="$3" -v s="$4" -v t="$5" \
        -v vs="$([[ $6 == bare ]] && echo "bare pop-up built on the click" || echo "bare pop-up kept built")" '
        BEGIN {
            printf "| %s | %.1f %s | %.1f %s (%s) | | %.2f× | %s |\n", label, a / s, unit, b / s, unit, vs, a / b,
                   t == "-" ? "" : sprintf("≤ %s×: %s", t, a <= t * b ? "held" : "NOT held")
        }'
}
whole() { printf '%.0f' "$(key "$1" offscreen)"; }

# One table row: figure, the three medians, and the target on one of the ratios.
#   row LABEL FIGURE UNIT SCALE TARGET_RATIO [bare|keychain]
row() {
    local label="$1" figure="$2" unit="$3" scale="$4" target="${5:-}" against="${6:-keychain}"
    local a b k
    a="$(median <<<"${figures[app $figure]}")"
    b="$(median <<<"${figures[bare $figure]}")"
    k="$(median <<<"${figures[keychain $figure]}")"
    awk -v label="$label" -v a="$a" -v b="$b" -v k="$k" -v s="$scale" -v unit="$unit" -v t="$target" -v vs="$against" '
        function ratio(x, y) { return y > 0 ? sprintf("%.2f×", x / y) : "–" }
        BEGIN {
            held = ""
            if (t != "") {
                base = vs == "bare" ? b : k
                held = sprintf("≤ %s× %s: %s", t, vs == "bare" ? "bare" : "secret store",
                               (a <= t * (base > 0 ? base : 1)) ? "held" : "NOT held")
            }
            f = s == 1 ? "%g" : "%.1f"
            printf "| %s | " f " %s | " f " %s | " f " %s | %s / %s | %s |\n", label, a / s, unit, b / s, unit,
                   k / s, unit, ratio(a, b), ratio(a, k), held
        }'
}

cycle="$(key cycle_ms offscreen)" bare_cycle="$(key bare_ms offscreen)"
# The refresh cycle's CPU at 10 to 40,000 events, beside the bare round trips
# of the same bytes, and the panel on as many events (offscreen).
events_rows() {
    local n
    for n in 10 1000 10000 40000; do
        awk -v n="$n" -v a="$(key "events_${n}_cycle" offscreen)" -v c="$(key "events_${n}_change" offscreen)" \
            -v b="$(key "events_${n}_bare" offscreen)" -v own="$(key events_10000_change offscreen)" '
            BEGIN {
                target = ""
                if (n == 10000) target = sprintf("changed ≤ 2× bare: %s", c <= 2 * b ? "held" : "NOT held")
                if (n == 40000) target = sprintf("changed ≤ 4.5× its own at 10,000: %s", c <= 4.5 * own ? "held" : "NOT held")
                printf "| CPU of a refresh cycle with %s events: answers unchanged / events changed | %.2f / %.2f ms | %.2f ms (3 bare round trips, parsed) | | %.2f× / %.2f× | %s |\n",
                       n, a, c, b, a / b, c / b, target
            }'
    done
    for n in 1000 10000 40000; do
        awk -v n="$n" -v o="$(key "events_${n}_open" offscreen)" -v p="$(key "events_${n}_panel" offscreen)" '
            BEGIN {
                target = n == 10000 ? sprintf("≤ 30 ms / ≤ 10 ms: %s", o <= 30 && p <= 10 ? "held" : "NOT held") : ""
                printf "| panel with %s events: click to first paint / CPU a refresh adds while it is open | %.1f / %.1f ms | | | | %s |\n", n, o, p, target
            }'
    done
}
cat <<EOF
Cuelark beside its baselines: $(nproc) CPUs, Xvfb + trayer + dunst + gnome-keyring, signed in with 25 requests,
medians of $runs alternating runs; memory after ${settle} s with the panel closed; idle over ${idle} s side by side.

| figure | app | bare tray app | + one secret-store read | ratios (bare / secret store) | target |
|---|---|---|---|---|---|
$(row "start to icon in the tray: the tray takes its dock request ($((runs * 3)) starts each)" start ms 1 1.00)
$(row "PSS 3 s after each of those starts" pss_start MB 1024 1.00)
$(row "PSS after ${settle} s" pss MB 1024 1.00)
$(row "RSS after ${settle} s" rss MB 1024)
$(row "threads" threads "" 1)
$(row "CPU time over ${idle} s idle" cpu ms 1000 1.3)
$(row "signals subscribed to on the system bus (match rules: logind, NetworkManager)" system_rules "" 1)
$(row "wake-ups over ${idle} s (voluntary context switches)" voluntary "" 1)
$(row "preemptions over ${idle} s (involuntary context switches: the machine's load)" involuntary "" 1)
$(row "refresh cycles seen by the stand-in" cycles "" 1)
$(row "TCP connections over those cycles" connections "" 1)
| PSS after opening and closing the panel $panel_cycles times | $(awk -v a="$first_close" -v b="$last_close" 'BEGIN { printf "%+.2f MB from the first close (%.1f → %.1f MB)", (b - a) / 1024, a / 1024, b / 1024 }') | | | | ≤ 1 MB: $( ((last_close - first_close <= 1024)) && echo held || echo "NOT held") |
| CPU of a refresh cycle through AppState (profile, events, 25 requests) | $cycle ms | $bare_cycle ms (3 bare round trips, parsed) | | $(awk -v a="$cycle" -v b="$bare_cycle" 'BEGIN { printf "%.2f×", a / b }') | ≤ 1.2×: $(awk -v a="$cycle" -v b="$bare_cycle" 'BEGIN { print a <= 1.2 * b ? "held" : "NOT held" }') |
| TCP connections of a session of 100 cycles through AppState on loopback | HTTP $(whole connections_http), HTTPS $(whole connections_https) (TLS handshakes) | | | | one each: $( [[ "$(whole connections_http) $(whole connections_https)" == "1 1" ]] && echo held || echo "NOT held") |
| decode a 25-request answer | $(key decode_us offscreen) µs | the same bytes parsed: nlohmann::json $(key json_parse_us offscreen) µs, QJsonDocument $(key qt_json_parse_us offscreen) µs | | | |
$(events_rows)
$(popup_row "tray click to first paint, 2 requests, first click (cold; $((runs * 3)) processes each)" popup_cold_ms ms 1 1.3 bare-kept)
$(popup_row "tray click to first paint, 2 requests, later clicks (warm)" popup_warm_ms ms 1 1.3 bare-kept)
$(popup_row "PSS the first open adds, once closed" popup_pss_growth_kb MB 1024 1.0 bare)
$(popup_row "the panel built at start-up instead (not done): first click" popup_cold_ms ms 1 - bare-kept app-kept)
$(popup_row "the panel built at start-up instead (not done): PSS building it adds" popup_build_pss_kb MB 1024 - bare-kept app-kept)
| tray click to first paint of the dashboard (8 rows) | offscreen $(key panel_open_ms offscreen) ms, Xvfb $(key panel_open_ms xvfb) ms | | | | |
| a refresh with a new request to its repaint | offscreen $(key panel_repaint_ms offscreen) ms, Xvfb $(key panel_repaint_ms xvfb) ms | | | | |
EOF
