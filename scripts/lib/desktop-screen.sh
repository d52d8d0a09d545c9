# shellcheck shell=bash
# shellcheck disable=SC2154 # the desktop_* settings are set in headless-desktop.sh
# Looking at and acting on the headless desktop of headless-desktop.sh (which
# sources this file): window geometry, clicks and keys, the panel, screenshots,
# colours in a screenshot, and dunst's notifications and their action menu.

# Prints X Y W H of a window, absolute.
desktop_geometry() {
    local X Y WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null)" || return 1
    echo "$X $Y $WIDTH $HEIGHT"
}

# The bottom left corner, where no panel at any scale reaches.
desktop_move_pointer_away() { xdotool mousemove 10 1590; }

desktop_click() {
    xdotool mousemove "$1" "$2" click 1
    sleep 0.1
    desktop_move_pointer_away
}

_desktop_find_panel() {
    local window x y w h
    for window in $(xdotool search --onlyvisible --classname '^cuelark$' 2>/dev/null); do
        read -r x y w h < <(desktop_geometry "$window") || continue
        if ((w == desktop_panel_width * desktop_app_scale)); then
            desktop_panel="$window"
            return 0
        fi
    done
    return 1
}

_desktop_panel_gone() { ! _desktop_find_panel; }

# Clicks the tray icon and waits for the 340-pixel panel; sets desktop_panel.
desktop_open_panel() {
    local icon x y w h
    icon="$(desktop_tray_icon)" || desktop_fail "no tray icon"
    read -r x y w h < <(desktop_geometry "$icon")
    desktop_click $((x + w / 2)) $((y + h / 2))
    desktop_wait 5 "the panel to open" _desktop_find_panel || desktop_fail "the panel did not open"
    desktop_settle
}

desktop_close_panel() {
    xdotool key Escape
    desktop_wait 5 "the panel to close" _desktop_panel_gone
}

# Waits until the panel keeps the same size for 0.4 s (a state change resizes
# it, then it repaints).
desktop_settle() {
    local last="" same=0 now
    for _ in $(seq 40); do
        now="$(desktop_geometry "$desktop_panel")" || return 1
        if [[ "$now" == "$last" ]]; then
            ((++same >= 4)) && break
        else
            same=0
            last="$now"
        fi
        sleep 0.1
    done
    sleep 0.2
}

desktop_panel_height() {
    local x y w h
    read -r x y w h < <(desktop_geometry "$desktop_panel")
    echo "$h"
}

# desktop_screenshot FILE: the panel's region of the screen.
desktop_screenshot() {
    local x y w h
    read -r x y w h < <(desktop_geometry "$desktop_panel") || return 1
    import -silent -window root -crop "${w}x${h}+${x}+${y}" +repage "$1"
}

# desktop_tray_screenshot FILE: the tray icon alone.
desktop_tray_screenshot() {
    local icon x y w h
    icon="$(desktop_tray_icon)" || return 1
    read -r x y w h < <(desktop_geometry "$icon")
    import -silent -window root -crop "${w}x${h}+${x}+${y}" +repage "$1"
}

# desktop_find_colour IMAGE COLOUR X Y W H [first|last]: in that region of
# IMAGE, the first (or last) band of rows holding COLOUR; prints the centre of
# that band's matching pixels in image coordinates, or fails when there are none.
desktop_find_colour() {
    local image="$1" colour="$2" rx="$3" ry="$4" rw="$5" rh="$6" which="${7:-first}"
    local mask="$desktop_dir/mask.png"
    convert "$image" -crop "${rw}x${rh}+${rx}+${ry}" +repage -alpha off \
        -fuzz 8% -fill white -opaque "$colour" -fill black +opaque white "$mask" || return 1
    local top bottom
    read -r top bottom < <(convert "$mask" -scale "1x${rh}!" -depth 8 txt:- |
        awk -F'[,:() ]+' -v which="$which" '
            NR == 1 { next }
            $4 > 0 { if (start == "") start = $2; end = $2; next }
            start != "" { print start, end; start = "" }
            END { if (start != "") print start, end }' |
        if [[ "$which" == last ]]; then tail -n1; else head -n1; fi)
    [[ -n "$top" ]] || return 1
    local left right
    read -r left right < <(convert "$mask" -crop "${rw}x$((bottom - top + 1))+0+${top}" +repage \
        -scale "${rw}x1!" -depth 8 txt:- |
        awk -F'[,:() ]+' 'NR > 1 && $4 > 0 { if (first == "") first = $1; last = $1 }
                          END { if (first != "") print first, last }')
    [[ -n "$left" ]] || return 1
    echo "$((rx + (left + right) / 2)) $((ry + (top + bottom) / 2))"
}

# desktop_click_in_panel COLOUR X Y W H: clicks the first match of
# desktop_find_colour in a fresh screenshot of the panel.
desktop_click_in_panel() {
    local shot="$desktop_dir/find.png" px py x y w h
    desktop_screenshot "$shot" || return 1
    read -r px py < <(desktop_find_colour "$shot" "$@") || return 1
    read -r x y w h < <(desktop_geometry "$desktop_panel")
    desktop_click $((x + px)) $((y + py))
}

# desktop_panel_shows COLOUR [MIN_PIXELS]: whether the panel has that colour.
desktop_panel_shows() {
    local shot="$desktop_dir/check.png" count
    desktop_screenshot "$shot" || return 1
    count="$(convert "$shot" -alpha off -fuzz 8% -fill white -opaque "$1" -fill black +opaque white \
        -format '%[fx:round(mean*w*h)]' info:)"
    ((count >= ${2:-20}))
}

desktop_key() { xdotool key --delay 60 "$@"; }

desktop_notifications() { dunstctl history; }
# dunst lists a notification in its history only once it is closed.
desktop_close_notifications() { dunstctl close-all; }

# The picker: saves the offered lines in WORKDIR/action-menu.txt, shows them in
# a small window (for a screenshot) until WORKDIR/action-wanted names the action
# to take, then prints the line of that action.
_desktop_write_action_picker() {
    cat >"$desktop_dir/pick-action" <<EOF
#!/bin/sh
dir='$desktop_dir'
EOF
    cat >>"$desktop_dir/pick-action" <<'EOF'
cat >"$dir/action-menu.txt"
rm -f "$dir/action-wanted"
sed 's/^#//; s/ \[[0-9]*,[^]]*\]$//' "$dir/action-menu.txt" |
    xmessage -name actionmenu -title 'dunst: actions' -geometry -10+140 -buttons '' -file - &
menu=$!
for _ in $(seq 100); do [ -s "$dir/action-wanted" ] && break; sleep 0.1; done
kill "$menu" 2>/dev/null
grep -m1 ",$(cat "$dir/action-wanted" 2>/dev/null)]\$" "$dir/action-menu.txt"
EOF
    chmod +x "$desktop_dir/pick-action"
}

_desktop_menu_shown() { xdotool search --onlyvisible --classname '^actionmenu$' >/dev/null 2>&1; }

# desktop_invoke_action KEY [SHOT]: opens dunst's context menu, saves a picture
# of the notification and the menu in SHOT, and picks the action KEY.
desktop_invoke_action() {
    rm -f "$desktop_dir/action-menu.txt"
    dunstctl context &
    local context=$!
    desktop_wait 5 "dunst's action menu" _desktop_menu_shown || desktop_fail "dunst showed no action menu"
    sleep 0.3
    [[ -z "${2:-}" ]] || import -silent -window root -crop 560x300+720+0 +repage "$2"
    echo "$1" >"$desktop_dir/action-wanted"
    wait "$context" || true
}

# desktop_tooltip_screenshot FILE: hovers over the tray icon until its tooltip
# shows and saves the corner of the screen with both.
desktop_tooltip_screenshot() {
    local icon x y w h
    icon="$(desktop_tray_icon)" || return 1
    read -r x y w h < <(desktop_geometry "$icon")
    xdotool mousemove $((x + w / 2)) $((y + h / 2))
    sleep 1.5
    import -silent -window root -crop 420x90+$((x + w - 420))+0 +repage "$1"
    desktop_move_pointer_away
}
