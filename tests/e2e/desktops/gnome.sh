#!/usr/bin/env bash
# The matrix on GNOME Shell 43, headless on Wayland, with the AppIndicator
# extension that Ubuntu ships for tray icons. A small extension of this test
# turns on the shell's unsafe mode, which opens its Eval and Screenshot calls
# on the bus: they tell where the icon is, drive a virtual pointer and
# keyboard, and take the screenshots.
#
#   tests/e2e/desktops/gnome.sh SERVICE_URL APP STAND_IN OUT_DIR
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
matrix_drop_root "${4:-}" "$0" "$@"
matrix_setup gnome "$@"

# Settings live in dconf, and the shell's notifications are served by a
# helper the bus starts.
matrix_session_services=(ca.desrt.dconf.service org.gnome.Shell.Notifications.service)
matrix_screen_height=800
# The panel opens far from the icon here: the whole screen.
matrix_crop=1280x800+0+0
readonly gnome_test_extension=unsafe-mode@matrix.test
matrix_placement_limit="mutter places a Wayland client's window"

# gnome_eval JS: the value of JS in the shell (a string as it is, anything
# else as JSON); fails when it throws.
gnome_eval() {
    local reply
    reply="$(gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
        --method org.gnome.Shell.Eval "$1" 2>/dev/null)" || return 1
    [[ "$reply" == "(true, "* ]] || return 1
    # (true, 'JSON'), as gdbus prints it
    reply="${reply#(true, \'}"
    jq -r 'if type == "string" then . else tojson end' <<<"${reply%\')}"
}

# The shell opens the overview once it has started up: it is closed after that.
_gnome_leave_overview() {
    [[ "$(gnome_eval '(() => { const main = imports.ui.main;
        if (main.layoutManager._startingUp) return false;
        main.overview.hide();
        return !main.overview.visible && !main.overview.animationInProgress; })()')" == true ]]
}
_gnome_eval_open() { [[ "$(gnome_eval '1 + 1')" == 2 ]]; }

shell_start() {
    local extension="$XDG_DATA_HOME/gnome-shell/extensions/$gnome_test_extension"
    mkdir -p "$extension"
    cat >"$extension/metadata.json" <<JSON
{"uuid": "$gnome_test_extension", "name": "Unsafe mode for tests", "description": "Opens Eval and Screenshot to the session bus", "shell-version": ["43"]}
JSON
    cat >"$extension/extension.js" <<'JS'
function init() {
    return {
        enable() { global.context.unsafe_mode = true; },
        disable() { global.context.unsafe_mode = false; },
    };
}
JS
    gsettings set org.gnome.shell enabled-extensions "['ubuntu-appindicators@ubuntu.com', '$gnome_test_extension']"
    gsettings set org.gnome.shell disable-user-extensions false
    gsettings set org.gnome.shell welcome-dialog-last-shown-version 99
    gsettings set org.gnome.desktop.interface enable-animations false
    export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland
    _desktop_start gnome-shell "$desktop_dir/gnome-shell.log" \
        gnome-shell --headless --wayland --virtual-monitor 1280x800 --no-x11
    _desktop_await "$process_pid" gnome-shell "$desktop_dir/gnome-shell.log" 30 "the shell's Eval" _gnome_eval_open
    _desktop_await "$process_pid" gnome-shell "$desktop_dir/gnome-shell.log" 10 "the AppIndicator host" \
        _desktop_bus_has org.kde.StatusNotifierWatcher
    # A session begins in the overview; the DJ's windows are on the desktop.
    desktop_wait 10 "the overview to close" _gnome_leave_overview || desktop_fail "the overview stayed open"
    export WAYLAND_DISPLAY=wayland-0
}

shell_launch_app() { matrix_launch_app QT_QPA_PLATFORM=wayland "$@"; }

shell_screenshot() {
    local png="$desktop_dir/shell-screenshot.png"
    gdbus call --session --dest org.gnome.Shell.Screenshot --object-path /org/gnome/Shell/Screenshot \
        --method org.gnome.Shell.Screenshot.Screenshot false false "$png" >/dev/null &&
        convert "$png" -depth 8 "ppm:$1"
}

# The extension's button in the top bar, once it shows the count badge.
shell_icon_rect() {
    local rect shot="$desktop_dir/bar.ppm"
    rect="$(gnome_eval '
        Object.entries(imports.ui.main.panel.statusArea)
            .filter(([key]) => key.startsWith("appindicator"))
            .map(([, button]) => [...button.get_transformed_position(), ...button.get_transformed_size()]
                .map(Math.round).join(" "))[0] ?? ""')" && [[ -n "$rect" ]] || return 1
    shell_screenshot "$shot"
    # shellcheck disable=SC2086 # the four numbers of the rectangle
    "$matrix_dir/screen.py" badge "$shot" $rect >/dev/null || return 1
    echo "$rect"
}

# The panel among the shell's windows, by its app id and width.
_gnome_panel_js() {
    echo "global.get_window_actors().map(actor => actor.meta_window)
        .find(w => w.get_wm_class() === '$desktop_app_id' && w.get_frame_rect().width === $desktop_panel_width
                   && w.showing_on_its_workspace())"
}

shell_panel_rect() {
    local rect
    rect="$(gnome_eval "(() => { const w = $(_gnome_panel_js); if (!w) return '';
        const r = w.get_frame_rect(); return [r.x, r.y, r.width, r.height].join(' '); })()")" &&
        [[ -n "$rect" ]] && echo "$rect"
}

shell_panel_focused() {
    [[ "$(gnome_eval "String($(_gnome_panel_js)?.has_focus() ?? false)")" == true ]]
}

# One virtual pointer and keyboard for the whole run, kept in the shell.
_gnome_input_js() {
    echo "const Clutter = imports.gi.Clutter; const GLib = imports.gi.GLib;
        const seat = Clutter.get_default_backend().get_default_seat();
        global.matrixPointer ??= seat.create_virtual_device(Clutter.InputDeviceType.POINTER_DEVICE);
        global.matrixKeyboard ??= seat.create_virtual_device(Clutter.InputDeviceType.KEYBOARD_DEVICE);
        const now = () => GLib.get_monotonic_time();"
}

shell_pointer() { gnome_eval "$(_gnome_input_js) global.matrixPointer.notify_absolute_motion(now(), $1, $2); ''" >/dev/null; }

shell_click() {
    gnome_eval "$(_gnome_input_js)
        global.matrixPointer.notify_absolute_motion(now(), $1, $2);
        global.matrixPointer.notify_button(now(), Clutter.BUTTON_PRIMARY, Clutter.ButtonState.PRESSED);
        global.matrixPointer.notify_button(now(), Clutter.BUTTON_PRIMARY, Clutter.ButtonState.RELEASED); ''" >/dev/null
}

shell_key() {
    gnome_eval "$(_gnome_input_js)
        global.matrixKeyboard.notify_keyval(now(), Clutter.KEY_$1, Clutter.KeyState.PRESSED);
        global.matrixKeyboard.notify_keyval(now(), Clutter.KEY_$1, Clutter.KeyState.RELEASED); ''" >/dev/null
}

# The shell keeps the focus where it was on a click on the bare desktop, so
# the DJ clicks another window: a small one, placed where mutter likes, and
# clicked in its corner farthest from the panel.
_gnome_other_window_js() {
    echo "global.get_window_actors().map(actor => actor.meta_window).find(w => w.get_wm_class() === 'test.matrix.elsewhere')"
}

_gnome_other_window_rect() {
    gnome_eval "(() => { const w = $(_gnome_other_window_js); if (!w) return '';
        const r = w.get_frame_rect(); return [r.x, r.y, r.width, r.height].join(' '); })()"
}

# Shown and focused: the focus it takes on arrival must not land on the panel
# opened next.
_gnome_other_window_focused() { [[ "$(gnome_eval "String($(_gnome_other_window_js)?.has_focus() ?? false)")" == true ]]; }

shell_open_other_window() {
    _desktop_start "another window" "$desktop_dir/elsewhere.log" gjs -c "
        imports.gi.versions.Gtk = '4.0';
        const { Gtk } = imports.gi;
        const app = new Gtk.Application({ application_id: 'test.matrix.elsewhere' });
        app.connect('activate', () => new Gtk.ApplicationWindow({ application: app,
            default_width: 300, default_height: 200, title: 'another window' }).present());
        app.run([]);"
    desktop_wait 10 "another window" _gnome_other_window_focused || desktop_fail "the other window did not show"
}

shell_outside_point() {
    local x y w h px py pw ph
    read -r x y w h <<<"$(_gnome_other_window_rect)"
    read -r px py pw ph <<<"$(shell_panel_rect)"
    if ((x + w / 2 > px + pw / 2)); then echo $((x + w - 10)) $((y + h - 10)); else echo $((x + 10)) $((y + h - 10)); fi
}

_gnome_notification_js() {
    echo "imports.ui.main.messageTray.getSources().flatMap(source => source.notifications)
        .filter(n => n.title === 'New song request').pop()"
}

shell_notification_shown() { [[ "$(gnome_eval "String(!!$(_gnome_notification_js))")" == true ]]; }

# The shell shows the actions as buttons on the banner (on hover); this
# presses its Approve as that button does.
shell_notification_approve() {
    local result
    result="$(gnome_eval "(() => { const n = $(_gnome_notification_js);
        const action = n?.actions.find(a => a.label === 'Approve');
        if (!action) return 'no Approve among: ' + (n?.actions.map(a => a.label).join(', ') ?? 'no notification');
        action.callback(); return 'pressed'; })()")" || { echo "Eval failed"; return 1; }
    [[ "$result" == pressed ]] || { echo "$result"; return 1; }
    echo "Approve on the shell's banner"
}

matrix_main
