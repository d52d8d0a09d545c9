#!/usr/bin/env bash
# End-to-end: the real app on a headless X desktop against the stand-in
# service. Signs in through the "browser", sees a new request as a desktop
# notification, approves it from the panel, quits, and starts signed in again.
#
#   tests/e2e/tray_app.sh APP STAND_IN [ARTIFACT_DIR]
#
# Screenshots and logs go to ARTIFACT_DIR (default ./tray_app_e2e). Outside a
# private session it re-runs itself in one, so the user's keyring and desktop
# are never touched.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
if [[ -z "${CUELARK_TEST_SESSION:-}" ]]; then
    exec "$root/scripts/with-session.sh" "$(readlink -f "${BASH_SOURCE[0]}")" "$@"
fi
if (($# < 2)); then
    echo "usage: $0 APP STAND_IN [ARTIFACT_DIR]" >&2
    exit 64
fi
app="$(readlink -f "$1")"
stand_in="$(readlink -f "$2")"
artifacts="$(mkdir -p "${3:-tray_app_e2e}" && cd "${3:-tray_app_e2e}" && pwd)"
rm -rf "${artifacts:?}"/*

# shellcheck source=../../scripts/lib/headless-desktop.sh
source "$root/scripts/lib/headless-desktop.sh"

desktop_before_cleanup() {
    (($1 == 0)) && return 0
    [[ -n "${desktop_panel:-}" ]] && desktop_screenshot "$artifacts/at-failure.png" 2>/dev/null
    import -silent -window root "$artifacts/screen-at-failure.png" 2>/dev/null || true
    local log
    for log in "$desktop_dir"/app-*.log "$desktop_dir/stand-in.log" "$desktop_dir/dunst.log"; do
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
desktop_wait_app_exit 5 || desktop_fail "Quit did not end the app"
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
desktop_log "PASS"
