#!/usr/bin/env bash
# The matrix on XFCE 4.18: Xvfb, xfwm4, xfce4-panel (whose status tray hosts
# the app's StatusNotifierItem), xfce4-notifyd and xfconfd.
#
#   tests/e2e/desktops/xfce.sh SERVICE_URL APP STAND_IN OUT_DIR
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
matrix_drop_root "${4:-}" "$0" "$@"
matrix_setup xfce "$@"

matrix_session_services=()
matrix_screen_height=1600
# The top right corner: the status tray, the panel under it and the bubbles.
matrix_crop=760x560+520+0
readonly xfce_lib=/usr/lib/x86_64-linux-gnu/xfce4
# The status tray draws icons at this size (its default) in the 26-pixel bar.
readonly xfce_icon_size=22

_xfce_wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

shell_start() {
    desktop_start_xvfb
    # Without a configuration the panel stops at its first-run dialog.
    local channels="$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
    mkdir -p "$channels"
    cp /etc/xdg/xfce4/panel/default.xml "$channels/xfce4-panel.xml"
    export XDG_CURRENT_DESKTOP=XFCE
    _desktop_start xfconfd "$desktop_dir/xfconfd.log" "$xfce_lib/xfconf/xfconfd"
    _desktop_await "$process_pid" xfconfd "$desktop_dir/xfconfd.log" 10 "org.xfce.Xfconf" \
        _desktop_bus_has org.xfce.Xfconf
    _desktop_start xfwm4 "$desktop_dir/xfwm4.log" xfwm4 --replace
    _desktop_await "$process_pid" xfwm4 "$desktop_dir/xfwm4.log" 10 "the window manager" _xfce_wm_up
    _desktop_start xfce4-notifyd "$desktop_dir/notifyd.log" "$xfce_lib/notifyd/xfce4-notifyd"
    _desktop_await "$process_pid" xfce4-notifyd "$desktop_dir/notifyd.log" 10 "the notification daemon" \
        _desktop_bus_has org.freedesktop.Notifications
    _desktop_start xfce4-panel "$desktop_dir/panel.log" xfce4-panel --disable-wm-check
    _desktop_await "$process_pid" xfce4-panel "$desktop_dir/panel.log" 10 "the status tray" \
        _desktop_bus_has org.kde.StatusNotifierWatcher
}

# A click on the bare root window takes the focus from nobody here (there is
# no desktop window): the DJ clicks another window.
matrix_x11_shell "$xfce_icon_size"

_xfce_bubble() { xdotool search --onlyvisible --classname '^xfce4-notifyd$' 2>/dev/null | tail -n1; }
shell_notification_shown() { [[ -n "$(_xfce_bubble)" ]]; }

# The bubble lays its actions out as equal buttons along its bottom edge: the
# default action ("Open Cuelark"), Approve, Reject.
shell_notification_approve() {
    local bubble x y w h
    bubble="$(_xfce_bubble)"
    [[ -n "$bubble" ]] || { echo "no bubble"; return 1; }
    read -r x y w h < <(desktop_geometry "$bubble")
    shell_click $((x + w / 2)) $((y + h - 31))
    echo "clicked Approve in the bubble at $x $y ${w}x$h"
}

matrix_main
