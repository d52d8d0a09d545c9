#!/usr/bin/env bash
# End-to-end: the real app on a headless X desktop against the stand-in
# service. Signs in through the "browser", sees a new request as a desktop
# notification, approves it from the panel and the next one from its
# notification's "Approve" (dunst's context menu), quits, and starts signed in again;
# then checks that the bearer token went nowhere but the secret store, and
# that a sanitizer build reported no error.
#
#   tests/e2e/tray_app.sh SERVICE_URL APP STAND_IN [ARTIFACT_DIR]
#
# SERVICE_URL is the address APP was built with (CUELARK_SERVICE_URL); the
# stand-in listens there. Screenshots and logs go to ARTIFACT_DIR (default
# ./tray_app_e2e). Outside a private session it re-runs itself in one, so the
# user's keyring and desktop are never touched.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
# shellcheck source=../../scripts/lib/headless-desktop.sh
source "$root/scripts/lib/headless-desktop.sh"
# shellcheck source=lib.sh
source "$root/tests/e2e/lib.sh"
e2e_desktop_test tray_app_e2e "$@"
# The app's debug output too goes through the leak check below.
export QT_LOGGING_RULES='cuelark.*=true'

desktop_before_cleanup() {
    (($1 == 0)) && return 0
    [[ -n "${desktop_panel:-}" ]] && desktop_screenshot "$artifacts/at-failure.png" 2>/dev/null
    import -silent -window root "$artifacts/screen-at-failure.png" 2>/dev/null || true
    local log
    for log in "$desktop_dir"/app-*.log "$desktop_dir"/{stand-in,dunst,trayer,xvfb}.log; do
        [[ -s "$log" ]] || continue
        echo "----- $(basename "$log") (last 60 lines)"
        tail -n 60 "$log"
    done
    echo "----- screenshots and logs: $artifacts"
}

desktop_init "$artifacts/run"
desktop_start_xvfb
desktop_start_notifications
desktop_start_stand_in "$stand_in" --audience-interval 0

# Without a tray (some desktops have none) the panel comes up as a small window
# after a few seconds; a tray that appears later takes the icon.
desktop_launch_app "$app"
desktop_wait 10 "the panel as a window without a tray" _desktop_find_panel ||
    desktop_fail "without a tray the app showed no window"
desktop_screenshot "$artifacts/00-no-tray-window.png"
desktop_start_tray
desktop_wait 10 "the icon in a tray that started late" _desktop_icon_embedded ||
    desktop_fail "a tray that started late did not get the icon"
desktop_stop_app
desktop_log "no tray: panel shown as a window; a late tray took the icon"
desktop_log "desktop up on $DISPLAY: tray, notifications, stand-in"

desktop_walk_through "$app" "$artifacts"

urls_before="$(wc -l <"$desktop_opened_urls")"
# "Quit" ends the dashboard's button row at the right edge, below the list and
# its scroll bar; the links row under it is narrower.
desktop_click_in_panel "$desktop_button_face" \
    $((desktop_panel_width - 30)) $(($(desktop_panel_height) - 120)) 16 120 last ||
    desktop_fail "no Quit button in the panel"
desktop_wait_app_exit 20 || desktop_fail "Quit did not end the app"
desktop_log "Quit ended the app"

desktop_service DELETE /control/log >/dev/null
desktop_start_app "$app"
desktop_log "second start; icon in the tray after ${desktop_embed_ms} ms"
desktop_wait 10 "the profile fetched with the stored token" \
    desktop_service_called '.method == "GET" and .path == "/api/glasses/me" and .status == 200' ||
    desktop_fail "the second start did not use the stored token"
desktop_service_called '.path == "/api/glasses/auth/start"' &&
    desktop_fail "the second start began a new browser sign-in"
(($(wc -l <"$desktop_opened_urls") == urls_before)) || desktop_fail "the second start opened a web page"
desktop_open_panel
desktop_wait 5 "the dashboard" desktop_panel_shows "$desktop_green" ||
    desktop_fail "the second start does not show the dashboard"
desktop_screenshot "$artifacts/05-second-start.png"
desktop_log "second start signed in without the browser"

# Where the token must not be: what the app printed (debug output included),
# its command line and environment, its settings and other files in the home
# and XDG directories (the keyring's own files aside), the desktop
# notifications, and the addresses given to the browser.
token="$(secret-tool lookup server "$desktop_app_id" user glasses-bearer-token)"
((${#token} >= 16)) || desktop_fail "no plausible token in the secret store: '$token'"
desktop_close_notifications
desktop_notifications >"$desktop_dir/notification-history.json"
leaks="$(
    for log in "$desktop_dir"/app-*.log; do
        grep -lF -e "$token" "$log"
    done
    tr '\0' '\n' <"/proc/$desktop_app_pid/cmdline" | grep -qF -e "$token" && echo "the app's command line"
    tr '\0' '\n' <"/proc/$desktop_app_pid/environ" | grep -qF -e "$token" && echo "the app's environment"
    grep -rlF --exclude-dir=keyrings -e "$token" "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
    grep -lF -e "$token" "$desktop_dir/notification-history.json" "$desktop_opened_urls"
    true
)"
[[ -z "$leaks" ]] || desktop_fail "the bearer token leaked into: $(sort -u <<<"$leaks" | paste -sd ' ')"
find "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" -type f >"$desktop_dir/files-checked.txt"
desktop_log "the token is nowhere but the secret store ($(wc -l <"$desktop_dir/files-checked.txt") files checked)"

# Each line of the log says when it was written, then its category and level.
grep -qE '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3} cuelark\.api debug: GET ' "$desktop_dir"/app-*.log ||
    desktop_fail "the app's log lines do not start with their time: $(grep -h -m3 'cuelark\.' "$desktop_dir"/app-*.log)"

# A sanitizer build reports on the app's stderr and may not change the outcome.
if grep -E -A40 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$desktop_dir"/app-*.log >&2; then
    desktop_fail "the sanitizers reported errors in the app (above)"
fi
desktop_log "PASS"
