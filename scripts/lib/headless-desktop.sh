# shellcheck shell=bash
# A headless X desktop for driving the real tray app: Xvfb, a tray host
# (trayer), a notification server (dunst), the stand-in service and the app,
# plus helpers to click, type, take screenshots and read notifications.
# Sourced by tests/e2e/tray_app.sh, scripts/demo.sh and bench/run.sh; expects
# to run inside scripts/with-session.sh (private D-Bus session and unlocked
# keyring). The helpers live in desktop-screen.sh and desktop-walk-through.sh
# beside this file, sourced here.
#
# Every wait is bounded, and a wait on a process that dies ends at once with
# that process's log. desktop_init installs an EXIT trap that stops everything
# started here, whatever failed before it; a caller may define
# desktop_before_cleanup to look at the logs first (it gets the exit status and
# runs in a subshell, so its own failure cannot skip the cleanup).

_desktop_lib="$(dirname "${BASH_SOURCE[0]}")"
# shellcheck source=process.sh
source "$_desktop_lib/process.sh"
# shellcheck source=desktop-screen.sh
source "$_desktop_lib/desktop-screen.sh"
# shellcheck source=desktop-walk-through.sh
source "$_desktop_lib/desktop-walk-through.sh"

readonly desktop_panel_width=340
readonly desktop_app_id=app.cuelark.menubar

# Panel colours the helpers look for: the approve icon and the push buttons.
readonly desktop_green='#4ADE80'
readonly desktop_button_face='#3F4B5E'

desktop_dir=""
# The window class of the program whose tray icon desktop_start_app waits for
# (its executable's name); the benchmarks set it for their baselines.
desktop_app_class=cuelark
# The app's QT_SCALE_FACTOR, a whole number: its panel is that many times 340
# pixels wide on the screen.
desktop_app_scale=1
desktop_started_ns="$(date +%s%N)"
desktop_app_pid=""
desktop_app_log=""
desktop_app_runs=0
desktop_panel=""
desktop_stand_in_log=""
# The service address compiled into the app, where the stand-in must listen;
# set by desktop_use_service_url.
desktop_service_url=""
desktop_service_host=""
desktop_service_port=""

desktop_log() { printf '[%5.1fs] %s\n' "$(desktop_elapsed)" "$*"; }
desktop_elapsed() { awk -v now="$(date +%s%N)" -v start="$desktop_started_ns" 'BEGIN { printf "%.1f", (now - start) / 1e9 }'; }
desktop_fail() { printf 'FAIL: %s\n' "$*" >&2; exit 1; }

# desktop_use_service_url URL: the service address the app was built with. The
# stand-in can take the service's place only on plain http to a loopback
# address; any other build is refused before anything starts.
desktop_use_service_url() {
    local url="$1"
    if [[ ! "$url" =~ ^http://(127\.0\.0\.1|localhost|\[::1\])(:([0-9]+))?$ ]]; then
        desktop_fail "the app was built to talk to the service at '$url', not to a local" \
            "stand-in; configure its build with -DCUELARK_SERVICE_URL=http://127.0.0.1:8787"
    fi
    desktop_service_url="$url"
    desktop_service_port="${BASH_REMATCH[3]:-80}"
    if [[ "${BASH_REMATCH[1]}" == '[::1]' ]]; then
        desktop_service_host=::1
    else
        desktop_service_host=127.0.0.1
    fi
}

# desktop_init WORKDIR: logs, the fake browser and the X cookie go there;
# WORKDIR/processes lists "PID NAME LOG" for every process started.
desktop_init() {
    desktop_dir="$1"
    desktop_started_ns="$(date +%s%N)"
    mkdir -p "$desktop_dir/browser"
    : >"$desktop_dir/processes"
    # Opening a web page is observable instead of launching a browser: Qt hands
    # the address to xdg-open, found first on PATH.
    desktop_opened_urls="$desktop_dir/opened-urls.txt"
    : >"$desktop_opened_urls"
    cat >"$desktop_dir/browser/xdg-open" <<EOF
#!/bin/sh
printf '%s\n' "\$1" >>'$desktop_opened_urls'
EOF
    chmod +x "$desktop_dir/browser/xdg-open"
    trap '_desktop_exit $?' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
}

_desktop_exit() {
    local status="$1"
    trap - EXIT
    # Neither an unset variable or failing command in the caller's hook nor a
    # second Ctrl-C may cut the cleanup short.
    trap '' INT TERM
    set +eu
    if declare -F desktop_before_cleanup >/dev/null; then
        (desktop_before_cleanup "$status")
    fi
    desktop_cleanup
    exit "$status"
}

# Stops every process started here, the last first.
desktop_cleanup() { process_stop_all; }

# _desktop_start NAME LOG COMMAND...: starts COMMAND with its output in LOG,
# stopped by the cleanup and listed in WORKDIR/processes; sets process_pid.
_desktop_start() {
    local name="$1" log="$2"
    shift 2
    process_start "$@" >"$log" 2>&1
    printf '%s %s %s\n' "$process_pid" "$name" "$log" >>"$desktop_dir/processes"
}

# desktop_wait SECONDS WHAT COMMAND...: polls COMMAND every 0.1 s.
desktop_wait() {
    local seconds="$1" what="$2"
    shift 2
    process_wait_until "$seconds" "$@" && return 0
    printf 'timed out after %ss waiting for %s\n' "$seconds" "$what" >&2
    return 1
}

# _desktop_report_exit PID NAME LOG: says that PID has ended, with its exit
# status and log.
_desktop_report_exit() {
    local status=0
    wait "$1" 2>/dev/null || status=$?
    printf '%s exited (status %s); its log %s:\n' "$2" "$status" "$3" >&2
    sed 's/^/    /' "$3" >&2 2>/dev/null
}

# _desktop_await PID NAME LOG SECONDS WHAT COMMAND...: waits like desktop_wait
# for what the process PID should bring about, failing the script at once if
# it dies first, and with its log on a timeout.
_desktop_await() {
    local pid="$1" name="$2" log="$3" seconds="$4" what="$5" status=0
    shift 5
    process_wait_until --alive "$pid" "$seconds" "$@" || status=$?
    if ((status == 2)); then
        _desktop_report_exit "$pid" "$name" "$log"
        desktop_fail "$name ended before $what"
    elif ((status != 0)); then
        sed 's/^/    /' "$log" >&2 2>/dev/null
        desktop_fail "timed out after ${seconds}s waiting for $what ($name's log above)"
    fi
}

_desktop_app_gone() { ! process_alive "$desktop_app_pid"; }
_desktop_more_urls_than() { (($(wc -l <"$desktop_opened_urls") > $1)); }
_desktop_more_fetches_than() { (($(_desktop_list_fetches) > $1)); }
_desktop_display_picked() { grep -q '^[0-9]' "$desktop_dir/display"; }
_desktop_x_answers() { xdpyinfo >/dev/null 2>&1; }

desktop_start_xvfb() {
    local auth="$desktop_dir/xauthority" log="$desktop_dir/xvfb.log" cookie
    cookie="$(mcookie)"
    # The server loads every cookie in the file, whatever display it names; the
    # client needs one for the display Xvfb picks, added once it is known.
    : >"$auth"
    xauth -q -f "$auth" add :0 . "$cookie"
    : >"$desktop_dir/display"
    # Without -noreset the server resets whenever its last client leaves (the
    # readiness probe below is one) and refuses whoever connects meanwhile. The
    # screen is tall enough for the whole panel at twice the scale.
    _desktop_start Xvfb "$log" \
        Xvfb -displayfd 3 -auth "$auth" -nolisten tcp -noreset -screen 0 1280x1600x24 \
        3>"$desktop_dir/display"
    local pid="$process_pid"
    _desktop_await "$pid" Xvfb "$log" 10 "Xvfb to pick a display" _desktop_display_picked
    DISPLAY=":$(head -n1 "$desktop_dir/display")"
    export DISPLAY
    xauth -q -f "$auth" add "$DISPLAY" . "$cookie"
    export XAUTHORITY="$auth"
    unset WAYLAND_DISPLAY
    _desktop_await "$pid" Xvfb "$log" 10 "the X server at $DISPLAY" _desktop_x_answers
}

_desktop_tray_host() {
    xdotool search --onlyvisible --classname '^panel$' 2>/dev/null | head -n1
}

_desktop_tray_up() { [[ -n "$(_desktop_tray_host)" ]]; }

# desktop_start_tray [COMMAND...]: the tray host, trayer unless COMMAND is given.
desktop_start_tray() {
    local log="$desktop_dir/trayer.log"
    (($# > 0)) || set -- trayer --edge top --align right --widthtype request --height 24 \
        --SetDockType true --SetPartialStrut true
    _desktop_start "the tray ($1)" "$log" "$@"
    _desktop_await "$process_pid" "the tray ($1)" "$log" 10 "the tray to show" _desktop_tray_up
}

_desktop_bus_has() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}

# dunst's context menu (`dunstctl context`) hands the offered actions, one a
# line ("#Approve (New song request) [3,approve]"), to its dmenu command and
# invokes the line it prints. Here that command is the picker below.
desktop_start_notifications() {
    local log="$desktop_dir/dunst.log" config="$desktop_dir/dunstrc"
    _desktop_write_action_picker
    sed "s|^\( *dmenu *=\).*|\1 $desktop_dir/pick-action|" /etc/xdg/dunst/dunstrc >"$config"
    _desktop_start dunst "$log" dunst -config "$config"
    _desktop_await "$process_pid" dunst "$log" 10 "dunst on the session bus" \
        _desktop_bus_has org.freedesktop.Notifications
}

# desktop_start_accessibility_bus: the AT-SPI bus a screen reader reads apps
# through, with its registry; an app started afterwards with
# QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 publishes its widgets there.
desktop_start_accessibility_bus() {
    local log="$desktop_dir/at-spi.log"
    _desktop_start "the accessibility bus" "$log" /usr/libexec/at-spi-bus-launcher --launch-immediately
    _desktop_await "$process_pid" "the accessibility bus" "$log" 10 "org.a11y.Bus on the session bus" \
        _desktop_bus_has org.a11y.Bus
}

_desktop_stand_in_listening() { grep -q '^listening on' "$desktop_stand_in_log"; }

# desktop_start_stand_in PATH [OPTION...]: the service at the address the app
# is built against (desktop_use_service_url).
desktop_start_stand_in() {
    local path="$1"
    shift
    [[ -n "$desktop_service_url" ]] || desktop_fail "desktop_use_service_url was not called"
    desktop_stand_in_log="$desktop_dir/stand-in.log"
    _desktop_start "the stand-in service" "$desktop_stand_in_log" \
        "$path" --host "$desktop_service_host" --port "$desktop_service_port" "$@"
    _desktop_await "$process_pid" "the stand-in service" "$desktop_stand_in_log" 10 \
        "the stand-in to listen at $desktop_service_url" _desktop_stand_in_listening
}

# The app's tray icon: the cuelark window that trayer has embedded.
desktop_tray_icon() {
    local host
    host="$(_desktop_tray_host)"
    [[ -n "$host" ]] || return 1
    xwininfo -tree -id "$host" 2>/dev/null | awk -v class="(\"$desktop_app_class\" " 'index($0, class) { print $1; exit }'
}

# desktop_start_app PATH: starts the app with the fake browser first on PATH and
# waits until its icon sits in the tray. Sets desktop_app_pid and
# desktop_embed_ms (start to embedded, in milliseconds).
desktop_start_app() {
    local started status=0
    started="$(date +%s%N)"
    desktop_launch_app "$1"
    process_wait_until --alive "$desktop_app_pid" --every 0.01 15 _desktop_icon_embedded ||
        status=$?
    if ((status == 2)); then
        _desktop_report_exit "$desktop_app_pid" "the app" "$desktop_app_log"
        desktop_fail "the app ended before its icon appeared in the tray"
    fi
    ((status == 0)) || desktop_fail "the app's icon did not appear in the tray"
    desktop_embed_ms=$((($(date +%s%N) - started) / 1000000))
}

# desktop_launch_app PATH [ARGUMENT...]: starts the app with the fake browser
# first on PATH; sets desktop_app_pid and desktop_app_log.
desktop_launch_app() {
    desktop_app_runs=$((desktop_app_runs + 1))
    desktop_app_log="$desktop_dir/app-$desktop_app_runs.log"
    _desktop_start "the app" "$desktop_app_log" env -u BROWSER -u DEFAULT_BROWSER -u XDG_CURRENT_DESKTOP \
        PATH="$desktop_dir/browser:$PATH" QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR="$desktop_app_scale" \
        QTKEYCHAIN_BACKEND=libsecret "$@"
    desktop_app_pid="$process_pid"
}

desktop_stop_app() { process_stop "$desktop_app_pid"; }

_desktop_icon_embedded() { [[ -n "$(desktop_tray_icon)" ]]; }

# desktop_wait_app_exit SECONDS: the app ends by itself (Quit).
desktop_wait_app_exit() {
    desktop_wait "$1" "the app to exit" _desktop_app_gone || return 1
    wait "$desktop_app_pid" 2>/dev/null
}
