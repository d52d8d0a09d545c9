#!/usr/bin/env bash
# What a screen reader finds: the real app on a headless X desktop with the
# AT-SPI bus running and Qt's accessibility on, its tree read as Orca reads it
# (tests/e2e/accessible_tree.py). The open panel is reachable from the
# application, every button has a name, each request row and its buttons say
# which song they are about, the cards read "N pending" and "Live", focus starts
# on the first pending row and moves to the next one after approving with A,
# and a failure shows as an alert.
#
#   tests/e2e/accessibility.sh SERVICE_URL APP STAND_IN [ARTIFACT_DIR]
#
# The trees read go to ARTIFACT_DIR (default ./accessibility): signed-out.txt,
# waiting.txt, dashboard.txt, after-approve.txt, error.txt.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
# shellcheck source=../../scripts/lib/headless-desktop.sh
source "$root/scripts/lib/headless-desktop.sh"
# shellcheck source=lib.sh
source "$root/tests/e2e/lib.sh"
e2e_desktop_test accessibility "$@"
reader="$root/tests/e2e/accessible_tree.py"

desktop_before_cleanup() {
    (($1 == 0)) && return 0
    tail -n 30 "$desktop_dir"/app-*.log "$desktop_dir/at-spi.log" 2>/dev/null
    echo "----- trees and logs: $artifacts"
}

# read_tree NAME: the app's tree as now, into ARTIFACT_DIR/NAME.txt; the
# checks below read it from $tree.
tree=""
read_tree() {
    tree="$artifacts/$1.txt"
    "$reader" Cuelark >"$tree" || desktop_fail "the app is not on the accessibility bus"
}
# expect PATTERN WHAT: a line of the tree matches the extended regex PATTERN.
expect() { grep -Eq -- "$1" "$tree" || desktop_fail "$2 (tree in $tree)"; }
# _focus_on NAME PATTERN: reads the tree into NAME.txt; whether the focused
# object matches PATTERN (fixed text).
_focus_on() { read_tree "$1" && grep -F -- "$2" "$tree" | grep -q '\[focused'; }
expect_focus() {
    desktop_wait 5 "focus on $2" _focus_on "$1" "$2" ||
        desktop_fail "the focus is on $(grep '\[focused' "$tree" || echo nothing), not on $2 (tree in $tree)"
}
no_unnamed_controls() {
    local unnamed
    unnamed="$(grep -E '^ *(push button|toggle button|check box|combo box) ""' "$tree" | grep -v 'hidden\]' || true)"
    [[ -z "$unnamed" ]] || desktop_fail "controls without a name: $unnamed (tree in $tree)"
}

desktop_init "$artifacts/run"
desktop_start_xvfb
desktop_start_tray
desktop_start_accessibility_bus
desktop_start_stand_in "$stand_in" --audience-interval 0
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

desktop_start_app "$app"
desktop_open_panel
read_tree signed-out
expect '^  (frame|window) "Cuelark"' "the panel is not a window of the application in the tree"
expect 'push button "Sign in with Browser"' "no named sign-in button"
no_unnamed_controls
desktop_log "signed out: the panel and its sign-in button are in the tree"

desktop_press_sign_in
read_tree waiting
expect 'animation "Signing in"' "the waiting state has no named busy indicator"
no_unnamed_controls
for song in 'Alpha Song' 'Beta Song'; do
    desktop_service POST /control/requests "$(jq -cn --arg t "$song" '{songTitle: $t, artistName: "The Reds"}')" >/dev/null
done
desktop_finish_sign_in
desktop_close_panel || desktop_fail "Escape did not close the panel"
desktop_open_panel
# The rows as listed; the focus belongs on the first pending one.
_listed() { read_tree dashboard && grep -q '"Alpha Song, The Reds, Pending"' "$tree"; }
desktop_wait 10 "the new requests listed" _listed || desktop_fail "the requests are not rows in the tree (tree in $tree)"
mapfile -t pending < <(sed -n 's/^ *list item "\(.*, Pending\)".*/\1/p' "$tree")
((${#pending[@]} >= 2)) || desktop_fail "fewer than two pending rows (tree in $tree)"
expect_focus dashboard "list item \"${pending[0]}\""
expect 'push button "Approve Alpha Song by The Reds"' "no named Approve button on the row"
expect 'push button "Reject Alpha Song by The Reds"' "no named Reject button on the row"
expect 'push button "Copy Alpha Song by The Reds"' "no named Copy button on the row"
expect '"[0-9]+ pending"' "the pending card does not read 'N pending'"
expect 'frame "Live"' "the status card does not read 'Live'"
# Qt names a combo box on Linux by its value; its label is a relation, which
# screen readers speak before it.
expect 'combo box "[^"]+".*\(labelled "Event"\)' "the event picker is not labelled 'Event'"
no_unnamed_controls
grep -q '<qt>' "$tree" && desktop_fail "markup read out: $(grep '<qt>' "$tree" | head -n1) (tree in $tree)"
desktop_log "dashboard: rows, buttons, cards and picker named; focus on the first pending row"

desktop_key a
expect_focus after-approve "list item \"${pending[1]}\""
desktop_log "after A the focus is on the next pending row"

# A failure shows in the error line, an alert that screen readers speak as it appears.
desktop_service POST /control/inject '{"path": "/", "count": 100, "status": 503}' >/dev/null
desktop_key r
_alert_shown() { read_tree error && grep -E '^ *alert "Request failed' "$tree" | grep -vq hidden; }
desktop_wait 10 "the error as an alert" _alert_shown || desktop_fail "the error is not shown as an alert (tree in $tree)"
desktop_log "the failed answer shows as an alert"
# A sanitizer build reports on the app's stderr and may not change the outcome.
if grep -E -A40 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$desktop_dir"/app-*.log >&2; then
    desktop_fail "the sanitizers reported errors in the app (above)"
fi
desktop_log PASS
