# shellcheck shell=bash
# shellcheck disable=SC2154 # the desktop_* settings are set in headless-desktop.sh
# What every desktop of the matrix shares: a private session (its own HOME and
# XDG folders, session and system bus, and an unlocked keyring that already
# holds a sign-in token), the stand-in service, the app started signed in, and
# the walk of checks a DJ would make. A desktop's script sources this file,
# defines the functions below for its shell and calls matrix_main:
#
#   shell_start                 the shell with its bar, tray and notification daemon
#   shell_launch_app [-- ARG...] the app, through matrix_launch_app ENV... "$@"
#   shell_icon_rect             "X Y W H" of the app's tray icon on the screen
#   shell_panel_rect            "X Y W H" of the open panel; fails when none is open
#   shell_panel_focused         whether the panel has the keyboard focus
#   shell_pointer X Y, shell_click X Y, shell_key KEY (a, Escape)
#   shell_screenshot FILE       the whole screen as a binary PPM
#   shell_open_other_window     a window to click, where a click on the bare desktop
#                               would not take the focus (or nothing)
#   shell_outside_point         "X Y" of a click that lands outside the panel
#   shell_notification_shown    whether the desktop's daemon shows a "New song request"
#   shell_notification_approve  presses Approve on it, or fails where it has none
#
# (a desktop on X11 gets most of them from matrix_x11_shell), and may replace
# shell_store_token TOKEN, which puts the sign-in token where
# the app reads it (by default an unlocked gnome-keyring, before the shell
# starts), and matrix_bar_y and matrix_bar_height, where matrix_icon_by_badge
# looks for the bar.
#
# Every check is recorded in OUT/results.tsv (check, pass/fail/limit, what was
# seen) and the walk goes on after a failed one; the script fails if any did.
# "limit" is what the desktop itself does not allow, named by the desktop's
# script in matrix_placement_limit: it is reported, and fails nothing.

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
matrix_dir="$root/tests/e2e/desktops"
# shellcheck source=../../../scripts/lib/headless-desktop.sh
source "$root/scripts/lib/headless-desktop.sh"
# shellcheck source=../lib.sh
source "$root/tests/e2e/lib.sh"
# shellcheck source=../../../scripts/lib/bus-config.sh
source "$root/scripts/lib/bus-config.sh"

# How far (in pixels) the panel may sit from its icon and still be "at" it.
readonly matrix_near_icon=48
# WCAG's minimum for graphics against what they sit on.
readonly matrix_min_contrast=3

matrix_desktop=""
# Why the desktop decides where the panel opens, where it does.
matrix_placement_limit=""
matrix_out=""
matrix_failed=0

# matrix_drop_root OUT SCRIPT ARGUMENT...: as root, runs SCRIPT again as
# nobody, with OUT handed over to that user, and never returns. A DJ's session
# is not root's: sway refuses to run as root, and GNOME greets root with a
# warning of its own.
readonly matrix_user=65534
matrix_drop_root() {
    (($(id -u) == 0)) || return 0
    local out="$1" script="$2"
    shift 2
    [[ -n "$out" ]] || { echo "usage: $script ... OUT_DIR" >&2; exit 64; }
    mkdir -p "$out"
    chown -R "$matrix_user:$matrix_user" "$out"
    exec setpriv --reuid="$matrix_user" --regid="$matrix_user" --clear-groups -- "$(readlink -f "$script")" "$@"
}

# matrix_setup DESKTOP SERVICE_URL APP STAND_IN OUT: the arguments every
# desktop script takes.
matrix_setup() {
    (($# == 5)) || { echo "usage: $0 SERVICE_URL APP STAND_IN OUT_DIR" >&2; exit 64; }
    matrix_desktop="$1"
    desktop_use_service_url "$2"
    app="$(readlink -f "$3")"
    stand_in="$(readlink -f "$4")"
    matrix_out="$(e2e_artifacts "$5")"
    : >"$matrix_out/results.tsv"
}

# matrix_check NAME pass|fail DETAIL
matrix_check() {
    printf '%s\t%s\t%s\n' "$1" "$2" "$3" >>"$matrix_out/results.tsv"
    desktop_log "$matrix_desktop: $1: $2 ($3)"
    [[ "$2" != fail ]] || matrix_failed=1
}

_matrix_bus_address_written() { [[ -s "$1" ]]; }

# matrix_bus TYPE SERVICE_DIR: a private bus listening in XDG_RUNTIME_DIR;
# sets matrix_bus_address. Services are activated only from SERVICE_DIR, so
# that a call can never start another desktop's daemon.
matrix_bus() {
    local type="$1" services="$2" conf="$desktop_dir/$1-bus.conf" address="$desktop_dir/$1-bus.address"
    bus_config "$type" "unix:dir=$XDG_RUNTIME_DIR" "$services" >"$conf"
    : >"$address"
    _desktop_start "the $type bus" "$desktop_dir/$type-bus.log" \
        dbus-daemon --config-file="$conf" --nofork --nopidfile --print-address=3 3>"$address"
    _desktop_await "$process_pid" "the $type bus" "$desktop_dir/$type-bus.log" 5 "its address" \
        _matrix_bus_address_written "$address"
    matrix_bus_address="$(head -n1 "$address")"
}

# matrix_session [SERVICE_FILE...]: a fresh HOME and XDG folders, private
# session and system buses (the session one may activate the named services
# of /usr/share/dbus-1/services), and a token the stand-in issued, handed to
# shell_store_token.
matrix_session() {
    local session="$desktop_dir/session" service
    mkdir -p "$session"/{home,config,data,cache,runtime,services,no-services}
    chmod 0700 "$session/runtime"
    for service; do cp "/usr/share/dbus-1/services/$service" "$session/services/"; done
    export HOME="$session/home" XDG_CONFIG_HOME="$session/config" XDG_DATA_HOME="$session/data"
    export XDG_CACHE_HOME="$session/cache" XDG_RUNTIME_DIR="$session/runtime"
    unset DISPLAY WAYLAND_DISPLAY XDG_CURRENT_DESKTOP XDG_SESSION_TYPE GNOME_KEYRING_CONTROL
    XDG_RUNTIME_DIR="$session" matrix_bus system "$session/no-services"
    export DBUS_SYSTEM_BUS_ADDRESS="$matrix_bus_address"
    matrix_bus session "$session/services"
    export DBUS_SESSION_BUS_ADDRESS="$matrix_bus_address"
    shell_store_token "$(desktop_service POST /control/tokens | jq -r .token)"
}

# shell_store_token TOKEN: an unlocked keyring holding TOKEN, where the app
# looks for it.
shell_store_token() {
    # The password only unlocks this throwaway keyring; --unlock reads it up to
    # the end of its input.
    _desktop_start gnome-keyring "$desktop_dir/keyring.log" --stdin \
        gnome-keyring-daemon --foreground --unlock --components=secrets < <(printf cuelark-matrix)
    _desktop_await "$process_pid" gnome-keyring "$desktop_dir/keyring.log" 5 "the secret service" \
        _desktop_bus_has org.freedesktop.secrets
    printf '%s' "$1" | secret-tool store --label="Cuelark sign-in" xdg:schema org.qt.keychain \
        user glasses-bearer-token server "$desktop_app_id" type plaintext ||
        desktop_fail "could not store the token in the keyring"
}

# matrix_launch_app ENV... [-- ARGUMENT...]: the app, with ENV set, the fake
# browser first on PATH and its logging on. The first launch is the app under
# test (desktop_app_pid); a later one hands its arguments over to it and ends.
matrix_launch_app() {
    local env=()
    while (($# > 0)) && [[ "$1" != -- ]]; do env+=("$1"); shift; done
    shift $(($# > 0))
    local log="$desktop_dir/app.log"
    [[ -z "$desktop_app_pid" ]] || log="$desktop_dir/app-$*.log"
    _desktop_start "the app" "$log" env -u BROWSER -u DEFAULT_BROWSER \
        PATH="$desktop_dir/browser:$PATH" QT_LOGGING_RULES='cuelark.*=true' "${env[@]}" "$app" "$@"
    [[ -n "$desktop_app_pid" ]] || { desktop_app_pid="$process_pid"; desktop_app_log="$log"; }
}

# matrix_request TITLE ARTIST: the audience asks for a song; prints its id.
matrix_request() {
    desktop_service POST /control/requests \
        "$(jq -cn --arg t "$1" --arg a "$2" '{songTitle: $t, artistName: $a}')" | jq -er .id
}

# matrix_icon_by_badge SIZE: "X Y W H" of a tray icon SIZE pixels square in
# the bar at matrix_bar_y, matrix_bar_height high (the top of the screen unless
# the desktop says), for
# trays that draw it in a window of their own: it is found by its count badge,
# drawn in its bottom right corner.
matrix_bar_y=0
matrix_bar_height=40
matrix_icon_by_badge() {
    local shot="$desktop_dir/bar.ppm" size="$1" bx by bw bh
    shell_screenshot "$shot"
    read -r bx by bw bh < <("$matrix_dir/screen.py" badge "$shot" 0 "$matrix_bar_y" 1280 "$matrix_bar_height") ||
        return 1
    echo "$((bx + bw - size)) $((by + bh - size)) $size $size"
}

_matrix_panel_open() { shell_panel_rect >/dev/null; }
_matrix_panel_closed() { ! shell_panel_rect >/dev/null; }
_matrix_icon_shown() { shell_icon_rect >/dev/null; }

# matrix_png PPM PNG [CROP]: a screenshot saved for people, cropped to CROP
# (WxH+X+Y) when given.
matrix_png() {
    convert "$1" ${3:+-crop "$3" +repage} "$2"
}

# _matrix_distance "X Y W H" "X Y W H": the gap between two boxes (0 when
# they touch or overlap).
_matrix_distance() {
    local ax ay aw ah bx by bw bh
    read -r ax ay aw ah <<<"$1"
    read -r bx by bw bh <<<"$2"
    local dx=$((bx > ax + aw ? bx - ax - aw : (ax > bx + bw ? ax - bx - bw : 0)))
    local dy=$((by > ay + ah ? by - ay - ah : (ay > by + bh ? ay - by - bh : 0)))
    echo $((dx > dy ? dx : dy))
}

# matrix_open_panel HOW: clicks the icon once and waits for the panel; records
# the check HOW. When the click does not open it, opens it as a keyboard
# shortcut would (a second launch with --open-panel), so the walk goes on.
matrix_open_panel() {
    local icon x y w h
    if _matrix_panel_open; then
        matrix_check "$1" fail "the panel was still open from before"
        return
    fi
    icon="$(shell_icon_rect)"
    read -r x y w h <<<"$icon"
    shell_click $((x + w / 2)) $((y + h / 2))
    if desktop_wait 5 "the panel" _matrix_panel_open; then
        matrix_check "$1" pass "one click on the icon at $icon"
    else
        if ! process_alive "$desktop_app_pid"; then
            matrix_check "$1" fail "the app ended when its icon was clicked"
            _desktop_report_exit "$desktop_app_pid" "the app" "$desktop_app_log"
            desktop_fail "the app ended"
        fi
        matrix_check "$1" fail "a click on the icon at $icon showed no panel"
        shell_screenshot "$desktop_dir/screen.ppm" &&
            matrix_png "$desktop_dir/screen.ppm" "$matrix_out/$matrix_desktop-no-panel-${1// /-}.png" "$matrix_crop"
        shell_key Escape
        shell_launch_app -- --open-panel
        desktop_wait 10 "the panel from --open-panel" _matrix_panel_open || desktop_fail "the panel never opened"
    fi
    shell_pointer 5 $((matrix_screen_height - 5))
}

# matrix_check_focus NAME: whether the panel just opened has the focus.
matrix_check_focus() {
    if desktop_wait 3 "the panel's focus" shell_panel_focused; then
        matrix_check "$1" pass "the panel has the keyboard focus"
    else
        matrix_check "$1" fail "the panel opened without the keyboard focus"
    fi
}

# matrix_x11_shell ICON_SIZE: the shell_* functions of a desktop on X11 whose
# tray draws the icon ICON_SIZE pixels square: xdotool's input and windows,
# ImageMagick's screenshots, and another window to click outside the panel
# (a click on the bare root window would take the focus from nobody).
matrix_x11_shell() {
    matrix_x11_icon_size="$1"
    shell_launch_app() { matrix_launch_app QT_QPA_PLATFORM=xcb "$@"; }
    shell_screenshot() { import -silent -window root -depth 8 "ppm:$1"; }
    shell_icon_rect() { matrix_icon_by_badge "$matrix_x11_icon_size"; }
    shell_panel_rect() { _desktop_find_panel && desktop_geometry "$desktop_panel"; }
    shell_panel_focused() {
        _desktop_find_panel && [[ "$(xdotool getactivewindow 2>/dev/null)" == "$desktop_panel" ]]
    }
    shell_pointer() { xdotool mousemove "$1" "$2"; }
    shell_click() { xdotool mousemove "$1" "$2" click 1; }
    shell_key() { xdotool key "$1"; }
    shell_open_other_window() {
        _desktop_start "another window" "$desktop_dir/elsewhere.log" \
            xmessage -name elsewhere -geometry 300x120+100+500 'another window'
        desktop_wait 5 "another window" _matrix_other_window_focused ||
            desktop_fail "the other window did not show"
    }
    shell_outside_point() { echo 150 540; }
}

# Shown and focused: the focus it takes on arrival must not land on the panel
# opened next.
_matrix_other_window_focused() {
    local window
    window="$(xdotool search --onlyvisible --classname '^elsewhere$' 2>/dev/null | head -n1)"
    [[ -n "$window" && "$(xdotool getactivewindow 2>/dev/null)" == "$window" ]]
}

# matrix_start: the stand-in, the session and the shell, ready for the app.
matrix_start() {
    desktop_init "$matrix_out/run"
    # A step that fails outright says where.
    set -E
    trap '((BASHPID != $$)) || desktop_log "stopped at line $LINENO of ${BASH_SOURCE[0]##*/}: $BASH_COMMAND" >&2' ERR
    desktop_before_cleanup() {
        (($1 == 0)) && return 0
        shell_screenshot "$desktop_dir/at-failure.ppm" && matrix_png "$desktop_dir/at-failure.ppm" \
            "$matrix_out/$matrix_desktop-at-failure.png"
        local log
        for log in "$desktop_dir"/*.log; do
            [[ -s "$log" ]] || continue
            echo "----- $(basename "$log") (last 30 lines)"
            tail -n 30 "$log"
        done
    }
    desktop_start_stand_in "$stand_in" --audience-interval 0 --no-requests
    matrix_session "${matrix_session_services[@]}"
    shell_start
    desktop_log "$matrix_desktop is up"
}

matrix_main() {
    matrix_start
    local older newer
    older="$(matrix_request "Blue Monday" "New Order")"
    newer="$(matrix_request "Heroes" "David Bowie")"
    shell_launch_app
    _desktop_await "$desktop_app_pid" "the app" "$desktop_app_log" 20 "its tray icon with a count" \
        _matrix_icon_shown
    local icon shot="$desktop_dir/screen.ppm"
    icon="$(shell_icon_rect)"
    matrix_check "icon with count" pass "badge shown, icon at $icon"
    _matrix_check_contrast "$icon"

    matrix_open_panel "one click opens"
    local panel
    panel="$(shell_panel_rect)"
    local gap
    gap="$(_matrix_distance "$icon" "$panel")"
    if ((gap <= matrix_near_icon)); then
        matrix_check placement pass "panel $panel, icon $icon, ${gap} px apart"
    elif [[ -n "$matrix_placement_limit" ]]; then
        matrix_check placement limit "panel $panel, icon $icon, ${gap} px apart: $matrix_placement_limit"
    else
        matrix_check placement fail "panel $panel, icon $icon, ${gap} px apart"
    fi
    matrix_check_focus "focus (first opening)"
    shell_key a
    if desktop_wait 5 "the approval of request $newer" _desktop_approval_sent "$newer"; then
        matrix_check "A approves" pass "request $newer (the first pending) approved"
    else
        matrix_check "A approves" fail "no approval of request $newer after the A key"
    fi

    # A request arriving while the panel is open (the pointer elsewhere) adds
    # a row: the panel grows but stays where it is, its edge at the icon kept
    # (its top under a bar at the top, its bottom over a bar at the bottom).
    local before arriving after
    before="$(shell_panel_rect)" || desktop_fail "the panel closed after the A key"
    shell_screenshot "$shot"
    matrix_png "$shot" "$matrix_out/$matrix_desktop-panel.png" "$matrix_crop"
    arriving="$(matrix_request "Video Killed the Radio Star" "The Buggles")"
    desktop_wait 15 "the new request's notification" shell_notification_shown || true
    desktop_wait 5 "the panel to grow" _matrix_panel_changed "$before" || true
    local first_change
    first_change="$(shell_panel_rect)" || first_change="closed"
    after="$(_matrix_settled_panel_rect)"
    local on_the_way=""
    [[ "${first_change% * *}" == "${after% * *}" ]] || on_the_way=", passing ${first_change% * *} on the way"
    if [[ "$before" != "$after" ]] && _matrix_same_anchor "$before" "$after"; then
        matrix_check "stays put" pass "grew from $before to $after$on_the_way"
    elif [[ "$before" == "$after" ]]; then
        matrix_check "stays put" fail "the panel did not grow ($before) when a request arrived"
    else
        matrix_check "stays put" fail "moved from $before to $after"
    fi

    if shell_notification_shown; then
        matrix_check notification pass "shown by the desktop's daemon"
    else
        matrix_check notification fail "the desktop's daemon shows no New song request"
    fi
    shell_key Escape
    if desktop_wait 5 "the panel to close" _matrix_panel_closed; then
        matrix_check "Escape closes" pass "closed"
    else
        matrix_check "Escape closes" fail "still open: $(shell_panel_rect)"
    fi
    shell_screenshot "$shot"
    matrix_png "$shot" "$matrix_out/$matrix_desktop-notification.png" "$matrix_crop"
    local how
    if how="$(shell_notification_approve)"; then
        if desktop_wait 5 "the approval of request $arriving" _desktop_approval_sent "$arriving"; then
            matrix_check "notification Approve" pass "$how"
        else
            matrix_check "notification Approve" fail "$how, but request $arriving was not approved"
        fi
    else
        matrix_check "notification Approve" fail "$how"
    fi

    # The window to click outside the panel opens first: its arrival takes the
    # focus, which would close the panel by itself.
    shell_open_other_window
    matrix_open_panel "one click opens again"
    matrix_check_focus "focus (second opening)"
    local outside outside_x outside_y
    outside="$(shell_outside_point)"
    read -r outside_x outside_y <<<"$outside"
    shell_click "$outside_x" "$outside_y"
    if desktop_wait 5 "the panel to close" _matrix_panel_closed; then
        matrix_check "click outside closes" pass "a click at $outside closed it"
    else
        matrix_check "click outside closes" fail "still open after a click at $outside"
    fi
    _desktop_approval_sent "$older" && matrix_check "answers" fail "request $older was approved unasked"
    # With its logging on, every line the app prints is its own (cuelark.*,
    # after the time); anything else is a warning from Qt or a library.
    local noise
    noise="$(grep -avE '^([0-9-]+ [0-9:.]+ )?cuelark\.' "$desktop_app_log" | head -n 3)" || true
    if ! process_alive "$desktop_app_pid"; then
        matrix_check "no crash, no warning" fail "the app ended during the walk"
    elif [[ -n "$noise" ]]; then
        matrix_check "no crash, no warning" fail "it printed: ${noise//$'\n'/ | }"
    else
        matrix_check "no crash, no warning" pass "running, nothing printed but its own log"
    fi
    return "$matrix_failed"
}

# _matrix_same_anchor "X Y W H" "X Y W H": the same left edge, and the same
# top or bottom edge.
_matrix_same_anchor() {
    local ax ay aw ah bx by bw bh
    read -r ax ay aw ah <<<"$1"
    read -r bx by bw bh <<<"$2"
    ((ax == bx && (ay == by || ay + ah == by + bh)))
}

_matrix_panel_changed() { [[ "$(shell_panel_rect)" != "$1" ]]; }

# The panel's rectangle once it has kept it for half a second (at most 3 s):
# a desktop may move a window that grew, and the app move it back.
_matrix_settled_panel_rect() {
    local last="" now same=0
    for _ in $(seq 30); do
        now="$(shell_panel_rect)" || now="closed"
        if [[ "$now" == "$last" ]]; then
            ((++same >= 5)) && break
        else
            same=0
            last="$now"
        fi
        sleep 0.1
    done
    echo "$last"
}

# _matrix_check_contrast ICON_RECT: the note and the badge against the bar.
_matrix_check_contrast() {
    local shot="$desktop_dir/screen.ppm" x y w h note badge bar
    read -r x y w h <<<"$1"
    shell_screenshot "$shot"
    read -r _ note _ badge _ bar < <("$matrix_dir/screen.py" contrast "$shot" "$x" "$y" "$w" "$h")
    matrix_png "$shot" "$matrix_out/$matrix_desktop-tray.png" "$((w + 24))x$((h + 12))+$((x - 12))+$((y - 6))"
    if awk -v r="$note" -v min="$matrix_min_contrast" 'BEGIN { exit !(r >= min) }'; then
        matrix_check contrast pass "note ${note}:1, badge ${badge}:1 on the bar's $bar"
    else
        matrix_check contrast fail "note ${note}:1, badge ${badge}:1 on the bar's $bar"
    fi
}
