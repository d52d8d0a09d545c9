#!/usr/bin/env bash
# The matrix on KDE Plasma 5.27 on X11: Xvfb, kwin_x11 compositing, kded5 and
# plasmashell (its panel's system tray hosts the app's StatusNotifierItem, and
# it shows the notifications); the app keeps its token in KWallet, whose
# kwalletd5 the bus starts on the first call.
#
#   tests/e2e/desktops/plasma.sh wallet|first-run SERVICE_URL APP STAND_IN OUT_DIR
#
# wallet: the walk of every desktop, the token already in an open wallet.
# first-run: a DJ who has never used a wallet starts the app: it must come up
# signed out without a wallet dialog, and create the wallet only on sign-in.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
matrix_drop_root "${5:-}" "$0" "$@"
[[ "${1:-}" == wallet || "${1:-}" == first-run ]] ||
    { echo "usage: $0 wallet|first-run SERVICE_URL APP STAND_IN OUT_DIR" >&2; exit 64; }
readonly plasma_walk="$1"
shift
if [[ "$plasma_walk" == wallet ]]; then matrix_setup plasma "$@"; else matrix_setup plasma-first-run "$@"; fi

# kded5 is started here; the wallet, global shortcuts and activities are
# started by the bus when first called.
matrix_session_services=(org.kde.kwalletd5.service org.kde.kglobalaccel.service org.kde.ActivityManager.service)
matrix_screen_height=1600
# Plasma's panel runs along the bottom of the screen.
matrix_bar_height=48
matrix_bar_y=$((matrix_screen_height - matrix_bar_height))
matrix_crop=760x640+520+960
readonly plasma_icon_size=22
readonly plasma_wallet=kdewallet
readonly plasma_app_folder="$desktop_app_id"

_plasma_wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# plasma_kwallet METHOD ARGUMENT...: a call to kwalletd5, printed as gdbus does.
plasma_kwallet() {
    local method="$1"
    shift
    gdbus call --session --timeout 60 --dest org.kde.kwalletd5 --object-path /modules/kwalletd5 \
        --method "org.kde.KWallet.$method" "$@"
}

# The windows on the screen, one "class: name" a line.
plasma_windows() {
    local window class
    for window in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
        class="$(xprop -id "$window" WM_CLASS 2>/dev/null)"
        [[ "$class" == *=* ]] || continue
        printf '%s: %s\n' "${class#*= }" "$(xdotool getwindowname "$window" 2>/dev/null)"
    done
}

_plasma_wallet_window() { [[ -n "$(xdotool search --onlyvisible --classname '^kwalletd5$' 2>/dev/null)" ]]; }

shell_store_token() { plasma_token="$1"; }

# plasma_seed_wallet: a wallet the DJ made earlier and allowed the app into,
# with the token where the app's keychain library reads it (a folder named
# after the app). kwalletd creates a wallet only through its dialogs: they are
# answered here, and an empty password lets later opens go without a prompt.
plasma_seed_wallet() {
    kwriteconfig5 --file kwalletrc --group Wallet --key 'First Use' false
    kwriteconfig5 --file kwalletrc --group Wallet --key 'Prompt on Open' false
    plasma_kwallet open "$plasma_wallet" 0 matrix >"$desktop_dir/seed-open.txt" 2>&1 &
    local opening=$!
    desktop_wait 15 "kwalletd's dialog" _plasma_wallet_window || desktop_fail "kwalletd showed no dialog"
    # First the wallet's kind, GPG preselected though there is no key here: the
    # classic one is the choice above it (where it sits for an application
    # name this short). Then the password, left empty.
    sleep 1
    local dialog x y w h
    dialog="$(xdotool search --onlyvisible --classname '^kwalletd5$' | head -n1)"
    read -r x y w h < <(desktop_geometry "$dialog")
    shell_click $((x + 110)) $((y + 168))
    sleep 0.5
    xdotool key Return
    local answered=0
    while process_alive "$opening" && ((answered < 5)); do
        sleep 0.5
        _plasma_wallet_window || continue
        sleep 0.5
        xdotool key Return
        ((++answered))
    done
    wait "$opening" || desktop_fail "opening the new wallet failed: $(cat "$desktop_dir/seed-open.txt")"
    local handle
    handle="$(sed -n 's/^(\([0-9-]*\),)$/\1/p' "$desktop_dir/seed-open.txt")"
    ((handle >= 0)) || desktop_fail "kwalletd did not open the wallet: $(cat "$desktop_dir/seed-open.txt")"
    plasma_kwallet createFolder "$handle" "$plasma_app_folder" matrix >/dev/null
    plasma_kwallet writePassword "$handle" "$plasma_app_folder" glasses-bearer-token "$plasma_token" \
        matrix >/dev/null
    # Closed, so that the app opens it as at a login: an empty password opens
    # it without a prompt. (close is overloaded, which gdbus cannot call.)
    qdbus org.kde.kwalletd5 /modules/kwalletd5 org.kde.KWallet.close "$handle" false matrix >/dev/null
    desktop_log "the token is in the wallet $plasma_wallet"
}

shell_start() {
    desktop_start_xvfb
    export XDG_CURRENT_DESKTOP=KDE KDE_SESSION_VERSION=5 KDE_FULL_SESSION=true XDG_SESSION_TYPE=x11
    export DESKTOP_SESSION=plasma
    # The bus started before the display: what it starts (kwalletd5 and its
    # dialogs, kglobalaccel5, kactivitymanagerd) needs to know it.
    dbus-update-activation-environment DISPLAY XAUTHORITY XDG_CURRENT_DESKTOP KDE_SESSION_VERSION \
        KDE_FULL_SESSION XDG_SESSION_TYPE DESKTOP_SESSION
    _desktop_start kwin_x11 "$desktop_dir/kwin.log" kwin_x11 --replace
    _desktop_await "$process_pid" kwin_x11 "$desktop_dir/kwin.log" 20 "the window manager" _plasma_wm_up
    _desktop_start kded5 "$desktop_dir/kded5.log" kded5
    _desktop_await "$process_pid" kded5 "$desktop_dir/kded5.log" 20 "org.kde.kded5" _desktop_bus_has org.kde.kded5
    _desktop_start plasmashell "$desktop_dir/plasmashell.log" plasmashell --no-respawn
    _desktop_await "$process_pid" plasmashell "$desktop_dir/plasmashell.log" 30 "the system tray" \
        _desktop_bus_has org.kde.StatusNotifierWatcher
    _desktop_await "$process_pid" plasmashell "$desktop_dir/plasmashell.log" 10 "the notification server" \
        _desktop_bus_has org.freedesktop.Notifications
    [[ "$plasma_walk" == first-run ]] || plasma_seed_wallet
}

matrix_x11_shell "$plasma_icon_size"

# Plasma's notification popups are plasmashell windows named after nothing in
# particular: the one shown is the plasmashell window above the panel on the
# right.
_plasma_popup() {
    local window x y w h
    for window in $(xdotool search --onlyvisible --classname '^plasmashell$' 2>/dev/null); do
        read -r x y w h < <(desktop_geometry "$window") || continue
        ((x > 640 && y + h < matrix_bar_y && h < 400)) && { echo "$window"; return 0; }
    done
    return 1
}
shell_notification_shown() { _plasma_popup >/dev/null; }

# The popup lays its action buttons out right-aligned along its bottom edge:
# Approve, Reject (the default action, "Open Cuelark", is a click on its text).
shell_notification_approve() {
    local popup x y w h
    popup="$(_plasma_popup)" || { echo "no popup"; return 1; }
    read -r x y w h < <(desktop_geometry "$popup")
    shell_click $((x + w - 101)) $((y + h - 19))
    echo "clicked Approve in the popup at $x $y ${w}x$h"
}

_plasma_no_wallet_yet() { grep -aq 'KWallet has no wallet yet' "$desktop_app_log"; }
_plasma_wallets() { plasma_kwallet wallets 2>&1; }

# plasma_check_windows NAME SCREENSHOT: the windows on the screen, and whether
# one of them is kwalletd's.
plasma_check_windows() {
    local windows shot="$desktop_dir/screen.ppm"
    windows="$(plasma_windows | sort | uniq -c | sed 's/^ *//' | paste -sd ';')"
    shell_screenshot "$shot"
    matrix_png "$shot" "$matrix_out/$2"
    if _plasma_wallet_window; then
        matrix_check "$1" fail "a wallet window is up ($2): $windows"
    else
        matrix_check "$1" pass "no wallet window ($2): $windows"
    fi
}

# A first start with no wallet at all: signed out, no wallet dialog, no wallet
# created; then signing in stores the token, which creates the wallet.
plasma_first_run_main() {
    matrix_start
    shell_launch_app
    if desktop_wait 20 "the app to look for its token" _plasma_no_wallet_yet; then
        matrix_check "no wallet, signed out" pass "the app saw that no wallet exists and did not open one"
    else
        matrix_check "no wallet, signed out" fail "$(grep -a 'cuelark.auth' "$desktop_app_log" | tail -n1)"
    fi
    # A wizard would show within a moment of the app's call.
    sleep 3
    plasma_check_windows "no wallet dialog at start" plasma-first-run.png
    local wallets
    wallets="$(_plasma_wallets)"
    if [[ "$wallets" == "(@as [],)" ]]; then
        matrix_check "no wallet created" pass "wallets() is still empty"
    else
        matrix_check "no wallet created" fail "wallets(): $wallets"
    fi
    if (($(_desktop_list_fetches) == 0)); then
        matrix_check "no call while signed out" pass "no request list fetched"
    else
        matrix_check "no call while signed out" fail "requests fetched without a token"
    fi

    # Signing in: the panel, as a keyboard shortcut opens it, then its button.
    shell_launch_app -- --open-panel
    desktop_wait 10 "the signed-out panel" _matrix_panel_open || desktop_fail "the panel never opened"
    desktop_press_sign_in
    # shellcheck disable=SC2154 # set by desktop_press_sign_in
    desktop_approve_in_browser "$desktop_sign_in_url" || desktop_fail "approving the sign-in page failed"
    desktop_log "sign-in approved in the 'browser'"
    # Storing the token creates the wallet, and kwalletd asks the DJ how.
    local shot="$desktop_dir/screen.ppm"
    if desktop_wait 15 "kwalletd's dialog" _plasma_wallet_window; then
        shell_screenshot "$shot"
        matrix_png "$shot" "$matrix_out/plasma-first-sign-in.png"
        matrix_check "wallet created on sign-in" pass \
            "kwalletd asks how to create $plasma_wallet (plasma-first-sign-in.png): $(plasma_windows | grep kwalletd5 | paste -sd ';')"
    else
        matrix_check "wallet created on sign-in" fail "no wallet dialog after signing in; wallets(): $(_plasma_wallets)"
    fi
    desktop_log "after sign-in: $(_desktop_list_fetches) request list(s) fetched"
    return "$matrix_failed"
}

if [[ "$plasma_walk" == wallet ]]; then matrix_main; else plasma_first_run_main; fi
