#!/usr/bin/env bash
# Builds Cuelark and shows it working against the local stand-in service, whose
# simulated audience sends song requests.
#
#   scripts/demo.sh                       on a desktop: runs the tray app;
#                                         without one (or under CI): a headless
#                                         walk-through
#   scripts/demo.sh --headless            the headless walk-through in any case
#   scripts/demo.sh --update-screenshots  the walk-through, saving its pictures
#                                         over the README's in docs/screenshots/
#   scripts/demo.sh --stand-in            the stand-in service alone, with its
#                                         simulated audience, for an installed
#                                         package of `scripts/package.sh --stand-in`
#                                         (Ctrl-C stops it)
#
# CUELARK_BUILD_DIR names another build directory than build/.
# The headless walk-through runs in a private session (its own D-Bus, keyring
# and home directory) on a virtual X display, signs in, receives a request,
# approves it from the panel and another from its notification, and saves
# screenshots of the panel, the tray and the notifications under the build
# directory (demo/screenshots/).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
self="$root/scripts/demo.sh"
# shellcheck source=lib/build.sh
source "$root/scripts/lib/build.sh"
build="${CUELARK_BUILD_DIR:-$root/build}"
app="$build/src/app/cuelark"
stand_in="$build/tools/stand-in/cuelark-stand-in"
# Long enough that the walk-through's own request is the newest one when it is
# approved; the audience's requests then keep coming.
readonly audience_interval_seconds=40

# headless_inside_session SHOTS: the walk-through, saving its pictures in SHOTS.
headless_inside_session() {
    local shots="$1"
    # shellcheck source=lib/headless-desktop.sh
    source "$root/scripts/lib/headless-desktop.sh"
    desktop_before_cleanup() {
        (($1 == 0)) && return 0
        echo "The walk-through failed; logs are in $desktop_dir" >&2
        tail -n 30 "$desktop_dir"/*.log >&2 2>/dev/null
    }
    desktop_use_service_url "$stand_in_service_url"
    rm -rf "$build/demo"
    desktop_init "$build/demo/run"
    desktop_start_xvfb
    desktop_start_tray
    desktop_start_notifications
    desktop_start_stand_in "$stand_in" --audience-interval "$audience_interval_seconds"
    desktop_log "virtual desktop $DISPLAY with a tray and notifications; stand-in service up"

    rm -f "$shots"/0[1-4]-*.png "$shots/03-live-requests-2x.png" "$shots/notifications.json" "$shots"/tray-{icon,tooltip}.png \
        "$shots/notification-actions.png"
    desktop_walk_through "$app" "$shots"
    # The same panel on a screen at twice the scale, started again signed in.
    desktop_stop_app
    desktop_app_scale=2
    desktop_start_app "$app"
    desktop_open_panel
    desktop_screenshot "$shots/03-live-requests-2x.png"
    # "body" as the app sent it; "shown" as dunst renders it for the DJ.
    desktop_notifications | jq '[.data[][] | {appname: .appname.data, summary: .summary.data,
        body: .body.data,
        shown: (.message.data | gsub("<[^>]*>"; "") | gsub("&lt;"; "<") | gsub("&gt;"; ">")
                | gsub("&quot;"; "\"") | gsub("&#39;|&apos;"; "\u0027") | gsub("&amp;"; "&"))}]' \
        >"$shots/notifications.json"

    echo
    echo "Screenshots of the panel:"
    local file
    for file in 01-signed-out 02-waiting-for-browser 03-live-requests 04-approved 03-live-requests-2x; do
        echo "  $shots/$file.png"
    done
    echo "Tray icon with its badge: $shots/tray-icon.png; its tooltip: $shots/tray-tooltip.png"
    echo "A notification with its actions in dunst's menu: $shots/notification-actions.png"
    echo "Desktop notifications posted: $shots/notifications.json"
}

# on_desktop: the app on this desktop, with the stand-in started as the
# walk-through starts it (its log in build/demo/desktop/); both stop when the
# app ends or on Ctrl-C. The app opens the real browser: only
# desktop_launch_app would put the walk-through's fake one first on PATH.
on_desktop() {
    # shellcheck source=lib/headless-desktop.sh
    source "$root/scripts/lib/headless-desktop.sh"
    desktop_use_service_url "$stand_in_service_url"
    desktop_init "$build/demo/desktop"
    desktop_start_stand_in "$stand_in" --audience-interval 15
    process_start "$app"
    cat <<EOF

Cuelark is in your system tray (the music-note icon), talking to the local
stand-in service at $stand_in_service_url.

  1. Click the icon, then "Sign in with Browser".
  2. Your browser opens the stand-in's sign-in page: click "Approve".
  3. The panel shows the DJ's events and requests; the simulated audience adds
     a request every 15 seconds, each announced by a desktop notification.

The token is kept in your keyring under "app.cuelark.menubar"; "Sign Out"
removes it. Quit from the panel, or press Ctrl-C here, to stop both.
EOF
    wait "$process_pid" || true
}

if [[ "${1:-}" == --headless-inside-session ]]; then
    headless_inside_session "$2"
    exit 0
fi

mode=auto
shots="$build/demo/screenshots"
case "${1:-}" in
    "") ;;
    --headless) mode=headless ;;
    --update-screenshots) mode=headless shots="$root/docs/screenshots" ;;
    --stand-in) mode=stand-in ;;
    *) echo "usage: $0 [--headless | --update-screenshots | --stand-in]" >&2; exit 64 ;;
esac

"$root/scripts/install-deps.sh"
configure_build "$root" "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [[ "$mode" == stand-in ]]; then
    cmake --build "$build" --target cuelark-stand-in
    echo "The stand-in service at $stand_in_service_url, a request from its audience every 15 seconds; Ctrl-C stops it." >&2
    exec "$stand_in" --port "${stand_in_service_url##*:}" --audience-interval 15
fi
cmake --build "$build" --target cuelark cuelark-stand-in

if [[ "$mode" == auto && -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" && -z "${CI:-}" ]]; then
    on_desktop
else
    "$root/scripts/with-session.sh" "$self" --headless-inside-session "$shots"
fi
