#!/usr/bin/env bash
# End-to-end: the app's life in a desktop session. The command line answers
# with no display; a second start hands over to the running app (whose panel
# opens, focused) and ends at once; a start after a kill -9 runs; SIGTERM and
# SIGINT end the app with status 0 within 2 s, its token stored and its
# notifications withdrawn.
#
#   tests/e2e/app_lifecycle.sh SERVICE_URL APP STAND_IN VERSION [ARTIFACT_DIR]
#
# VERSION is what `APP --version` shows after "Cuelark ". Otherwise like
# tray_app.sh: a private session, a headless desktop, the stand-in service.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
# shellcheck source=lib.sh
source "$root/tests/e2e/lib.sh"
e2e_start 4 "SERVICE_URL APP STAND_IN VERSION [ARTIFACT_DIR]" "$@"
# shellcheck source=../../scripts/lib/headless-desktop.sh
source "$root/scripts/lib/headless-desktop.sh"
desktop_use_service_url "$1"
app="$(readlink -f "$2")"
stand_in="$(readlink -f "$3")"
version="$4"
artifacts="$(e2e_artifacts "${5:-app_lifecycle_e2e}")"
export QT_LOGGING_RULES='cuelark.*=true'

desktop_before_cleanup() {
    (($1 == 0)) && return 0
    local log
    for log in "$desktop_dir"/app-*.log "$desktop_dir"/{second-start,stand-in,dunst}.log; do
        [[ -s "$log" ]] || continue
        echo "----- $(basename "$log") (last 40 lines)"
        tail -n 40 "$log"
    done
}

ms_since() { echo $((($(date +%s%N) - $1) / 1000000)); }

# The command line, read before any display is needed: ARGUMENT|STATUS|OUTPUT
# (an extended regular expression the output must match).
while IFS='|' read -r argument want pattern; do
    status=0
    output="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LC_ALL=C timeout 5 "$app" "$argument" 2>&1)" ||
        status=$?
    ((status == want)) || desktop_fail "'cuelark $argument' with no display ended with $status, not $want: $output"
    grep -qE -- "$pattern" <<<"$output" || desktop_fail "'cuelark $argument' printed: $output"
done <<TABLE
--version|0|^Cuelark ${version//./\\.}\$
--help|0|--open-panel
--no-such-option|1|Unknown option 'no-such-option'
stray-word|1|Unexpected argument 'stray-word'
TABLE
desktop_log "command line with no display: --version, --help, an unknown option, a stray argument"

desktop_init "$artifacts/run"
desktop_start_xvfb
desktop_start_tray
desktop_start_notifications
desktop_start_stand_in "$stand_in" --audience-interval 0

_icons_in_tray() { xwininfo -tree -id "$(_desktop_tray_host)" | grep -c "(\"$desktop_app_class\" "; }

# _hand_over [OPTION]: a second start with OPTION ends with 0 well before its
# hand-over bound (3 s, which it waits out when nobody answers),
# and the running app, still alone in the tray, opens its panel, which takes
# Escape (so it has the focus).
_hand_over() {
    local started status=0 ended
    started="$(date +%s%N)"
    timeout 5 "$app" "$@" >"$desktop_dir/second-start.log" 2>&1 || status=$?
    ended="$(ms_since "$started")"
    ((status == 0)) || desktop_fail "a second start ($*) ended with $status"
    ((ended < 2500)) || desktop_fail "a second start ($*) took $ended ms to end"
    desktop_wait 2 "the running app's panel" _desktop_find_panel || desktop_fail "the running app opened no panel"
    desktop_log "second start ${*:-without options}: ended with 0 after $ended ms; panel shown after $(ms_since "$started") ms"
    process_alive "$desktop_app_pid" || desktop_fail "the running app ended"
    (($(_icons_in_tray) == 1)) || desktop_fail "$(_icons_in_tray) icons in the tray"
    desktop_close_panel || desktop_fail "the panel opened for a second start did not take Escape"
}

# Both ways a second start is made: the launcher and the shortcut's option.
desktop_start_app "$app"
_hand_over
_hand_over --open-panel
# Another session (another display) or another user (another runtime
# directory) runs an app of its own: that start keeps running, and this app's
# panel stays shut.
mkdir -m 0700 "$desktop_dir/other-runtime"
for setting in DISPLAY=:99 XDG_RUNTIME_DIR="$desktop_dir/other-runtime"; do
    status=0
    env "$setting" QT_QPA_PLATFORM=offscreen timeout 1.5 "$app" >"$desktop_dir/other-start.log" 2>&1 || status=$?
    ((status == 124)) || desktop_fail "a start with $setting ended with $status instead of running on its own"
    _desktop_find_panel && desktop_fail "a start with $setting opened the running app's panel"
done
desktop_log "a start for another display or user runs on its own"

# A crash leaves its lock and socket behind: the next start, asked for its
# panel, runs and shows it, and later starts reach it.
kill -KILL "$desktop_app_pid"
wait "$desktop_app_pid" 2>/dev/null || true
compgen -G "$XDG_RUNTIME_DIR/$desktop_app_id*.socket" >/dev/null || desktop_fail "the killed app left no socket to test with"
desktop_launch_app "$app" --open-panel
desktop_wait 10 "the panel of a start after kill -9" _desktop_find_panel ||
    desktop_fail "a start after kill -9 with --open-panel showed no panel"
desktop_close_panel
_hand_over
desktop_log "after kill -9: a new start runs, opens its panel and takes later starts"

# _end_app_with SIGNAL: the app must end with status 0 within 2 s.
_end_app_with() {
    local started status=0
    started="$(date +%s%N)"
    kill -"$1" "$desktop_app_pid"
    process_wait_until 2 _desktop_app_gone || desktop_fail "the app still ran 2 s after SIG$1"
    wait "$desktop_app_pid" || status=$?
    ((status == 0)) || desktop_fail "after SIG$1 the app ended with status $status"
    desktop_log "SIG$1: the app ended with 0 after $(ms_since "$started") ms"
}

# _ask_for_sign_in: opens the signed-out app's panel through a second start
# and presses its sign-in button.
_ask_for_sign_in() {
    "$app" --open-panel
    desktop_wait 2 "the panel" _desktop_find_panel || desktop_fail "--open-panel opened no panel"
    desktop_settle
    desktop_press_sign_in
}

# _signed_in: approves the sign-in in the "browser" and waits for the app to use its token.
_signed_in() {
    desktop_approve_in_browser "$desktop_sign_in_url" || desktop_fail "approving the sign-in page failed"
    desktop_wait 10 "the app to use its token" desktop_service_called '.path == "/api/glasses/me" and .status == 200' ||
        desktop_fail "the app did not sign in"
}

# SIGTERM while the new token's write waits on the secret store, held stopped
# for half a second: the app finishes the write before it ends.
keyring="$(dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.GetConnectionUnixProcessID string:org.freedesktop.secrets | awk '/uint32/ { print $2 }')"
_ask_for_sign_in
kill -STOP "$keyring"
_signed_in
(sleep 0.5 && kill -CONT "$keyring") &
_end_app_with TERM
desktop_token_stored || desktop_fail "SIGTERM during the token's write lost the token"

# SIGINT with a request's notification shown: the notification goes too.
# Signed in afresh: a run that resumed a stored session leaves coroutine frames
# behind at exit, which a sanitizer build reports as leaks.
_displayed() { (($(dunstctl count displayed) == $1)); }
secret-tool clear server "$desktop_app_id" user glasses-bearer-token
desktop_start_app "$app"
desktop_service DELETE /control/log >/dev/null
_ask_for_sign_in
_signed_in
desktop_wait 10 "the first request list" desktop_service_called '.path == "/api/glasses/requests"' ||
    desktop_fail "the app did not fetch requests"
desktop_service POST /control/requests '{"songTitle":"Last Dance","artistName":"Closing Time"}' >/dev/null
desktop_wait 15 "the request's notification" _displayed 1 || desktop_fail "no notification for a new request"
_end_app_with INT
desktop_wait 1 "the notification to go" _displayed 0 || desktop_fail "the notification stayed after SIGINT"
desktop_log "PASS"
