#!/usr/bin/env bash
# The matrix on sway 1.7 with waybar's tray and mako, the app native on
# Wayland or through Xwayland.
#
#   tests/e2e/desktops/sway.sh wayland|xwayland SERVICE_URL APP STAND_IN OUT_DIR
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
matrix_drop_root "${5:-}" "$0" "$@"
[[ "${1:-}" == wayland || "${1:-}" == xwayland ]] ||
    { echo "usage: $0 wayland|xwayland SERVICE_URL APP STAND_IN OUT_DIR" >&2; exit 64; }
readonly sway_qpa="$1"
shift
matrix_setup "sway-$sway_qpa" "$@"

matrix_session_services=()
readonly sway_width=1280 sway_height=800
matrix_screen_height=$sway_height
matrix_crop=760x520+520+0
readonly sway_icon_size=18

_sway_socket_up() {
    local socket
    socket="$(find "$XDG_RUNTIME_DIR" -maxdepth 1 -name 'sway-ipc.*.sock' -print -quit)"
    [[ -n "$socket" ]] && compgen -G "$XDG_RUNTIME_DIR/wayland-*.lock" >/dev/null || return 1
    export SWAYSOCK="$socket"
    swaymsg -t get_version >/dev/null 2>&1
}

_sway_x_display_known() { [[ -s "$desktop_dir/xwayland-display" ]]; }

_sway_tray_up() { _desktop_bus_has org.kde.StatusNotifierWatcher; }

shell_start() {
    mkdir -p "$XDG_CONFIG_HOME/waybar" "$XDG_CONFIG_HOME/mako"
    cat >"$desktop_dir/sway.conf" <<CONF
output HEADLESS-1 mode ${sway_width}x${sway_height} position 0,0 scale 1
xwayland enable
default_border none
CONF
    cat >"$XDG_CONFIG_HOME/waybar/config" <<'CONF'
{"layer": "top", "position": "top", "height": 26, "modules-right": ["tray"], "tray": {"icon-size": 18}}
CONF
    echo default-timeout=0 >"$XDG_CONFIG_HOME/mako/config"
    _desktop_start sway "$desktop_dir/sway.log" env WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 \
        WLR_HEADLESS_OUTPUTS=1 WLR_RENDERER=pixman XDG_CURRENT_DESKTOP=sway XDG_SESSION_TYPE=wayland \
        sway --config "$desktop_dir/sway.conf"
    _desktop_await "$process_pid" sway "$desktop_dir/sway.log" 15 "sway's socket" _sway_socket_up
    WAYLAND_DISPLAY="$(basename "$(compgen -G "$XDG_RUNTIME_DIR/wayland-*.lock" | head -n1)" .lock)"
    export WAYLAND_DISPLAY XDG_CURRENT_DESKTOP=sway
    swaymsg exec "echo \$DISPLAY >'$desktop_dir/xwayland-display'" >/dev/null
    desktop_wait 10 "Xwayland's display" _sway_x_display_known || desktop_fail "sway started no Xwayland"
    _desktop_start mako "$desktop_dir/mako.log" mako
    _desktop_await "$process_pid" mako "$desktop_dir/mako.log" 10 "mako" \
        _desktop_bus_has org.freedesktop.Notifications
    _desktop_start waybar "$desktop_dir/waybar.log" waybar
    _desktop_await "$process_pid" waybar "$desktop_dir/waybar.log" 10 "waybar's tray" _sway_tray_up
    _sway_start_pointer
    # wtype's keyboard goes when wtype ends; were it the seat's only one, the
    # seat would lose its keyboard and the panel its focus with every key. A
    # keyboard that stays (this wtype waits a day before its one key) keeps it.
    _desktop_start "a keyboard that stays" "$desktop_dir/keyboard.log" wtype -s 86400000 -k Shift_L
}

# The virtual pointer reads commands from one pipe and answers on another;
# both are opened read-write here, which never blocks.
_sway_start_pointer() {
    mkfifo "$desktop_dir/pointer.in" "$desktop_dir/pointer.out"
    exec {sway_pointer_in}<>"$desktop_dir/pointer.in" {sway_pointer_out}<>"$desktop_dir/pointer.out"
    _desktop_start "the virtual pointer" "$desktop_dir/pointer.log" --stdin \
        "$matrix_dir/pointer.py" "$sway_width" "$sway_height" <&"$sway_pointer_in" 3>&"$sway_pointer_out"
    _sway_pointer_answered || desktop_fail "the virtual pointer did not start: $(cat "$desktop_dir/pointer.log")"
}

_sway_pointer_answered() {
    local reply
    read -r -t 5 reply <&"$sway_pointer_out" && [[ "$reply" == ok ]]
}

_sway_pointer() {
    echo "$*" >&"$sway_pointer_in"
    _sway_pointer_answered || desktop_fail "the virtual pointer did not answer"
}

shell_launch_app() {
    if [[ "$sway_qpa" == wayland ]]; then
        matrix_launch_app QT_QPA_PLATFORM=wayland "$@"
    else
        matrix_launch_app QT_QPA_PLATFORM=xcb DISPLAY="$(cat "$desktop_dir/xwayland-display")" "$@"
    fi
}

shell_screenshot() { grim -t ppm "$1"; }
shell_icon_rect() { matrix_icon_by_badge "$sway_icon_size"; }

# The panel among sway's windows: native it names itself by its app id,
# through Xwayland by its instance name.
_sway_panel() {
    swaymsg -t get_tree | jq -c --argjson width "$desktop_panel_width" --arg app_id "$desktop_app_id" '
        [recurse(.nodes[]?, .floating_nodes[]?)
         | select((.app_id == $app_id or .window_properties.instance == "cuelark") and .rect.width == $width)]
        | first // empty'
}

shell_panel_rect() {
    local panel
    panel="$(_sway_panel)"
    [[ -n "$panel" ]] && jq -r '.rect | "\(.x) \(.y) \(.width) \(.height)"' <<<"$panel"
}
shell_panel_focused() { [[ "$(_sway_panel | jq -r .focused)" == true ]]; }
shell_pointer() { _sway_pointer move "$1" "$2"; }
shell_click() { _sway_pointer click "$1" "$2"; }
# Without the pause the first key is read with the keymap from before wtype's.
shell_key() {
    if [[ "$1" == Escape ]]; then wtype -s 400 -k Escape; else wtype -s 400 "$1"; fi
}
# A click on the bare workspace takes the focus from the panel.
shell_open_other_window() { :; }
shell_outside_point() { echo 200 600; }

_sway_request_notification() {
    makoctl list | jq -r '[.data[][] | select(.summary.data == "New song request")] | last | .id.data // empty'
}
shell_notification_shown() { [[ -n "$(_sway_request_notification)" ]]; }

# mako draws no action buttons; its own command invokes an action, as a DJ's
# key binding would.
shell_notification_approve() {
    local id
    id="$(_sway_request_notification)"
    [[ -n "$id" ]] || { echo "no notification"; return 1; }
    makoctl invoke -n "$id" approve || { echo "makoctl invoke -n $id approve failed"; return 1; }
    echo "makoctl invoke -n $id approve (mako draws no buttons)"
}

matrix_main
