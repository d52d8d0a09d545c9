# shellcheck shell=bash
# A headless X desktop for driving the real tray app: Xvfb, a tray host
# (trayer), a notification server (dunst), the stand-in service and the app,
# plus helpers to click, type, take screenshots and read notifications.
# Sourced by tests/e2e/tray_app.sh, scripts/demo.sh and bench/run.sh; expects
# to run inside scripts/with-session.sh (private D-Bus session and unlocked
# keyring).
#
# Every wait is bounded, and a wait on a process that dies ends at once with
# that process's log. desktop_init installs an EXIT trap that stops everything
# started here, whatever failed before it; a caller may define
# desktop_before_cleanup to look at the logs first (it gets the exit status and
# runs in a subshell, so its own failure cannot skip the cleanup).

readonly desktop_panel_width=340
readonly desktop_app_id=app.cuelark.menubar

# Panel colours the helpers look for: the approve icon and the push buttons.
readonly desktop_green='#4ADE80'
readonly desktop_button_face='#3F4B5E'

desktop_dir=""
# The window class of the program whose tray icon desktop_start_app waits for
# (its executable's name); the benchmarks set it for their baselines.
desktop_app_class=cuelark
desktop_started_ns="$(date +%s%N)"
desktop_pids=()
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

desktop_cleanup() {
    local i pid
    for ((i = ${#desktop_pids[@]} - 1; i >= 0; i--)); do
        pid="${desktop_pids[i]}"
        kill "$pid" 2>/dev/null || continue
        # A process that ignores TERM gets two seconds, then KILL.
        for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    desktop_pids=()
}

# _desktop_track PID NAME LOG: stopped by the cleanup, listed in WORKDIR/processes.
_desktop_track() {
    desktop_pids+=("$1")
    printf '%s %s %s\n' "$1" "$2" "$3" >>"$desktop_dir/processes"
}

# desktop_wait SECONDS WHAT COMMAND...: polls COMMAND every 0.1 s.
desktop_wait() {
    local seconds="$1" what="$2"
    shift 2
    local deadline=$(($(date +%s%N) + seconds * 1000000000))
    until "$@"; do
        if (($(date +%s%N) >= deadline)); then
            printf 'timed out after %ss waiting for %s\n' "$seconds" "$what" >&2
            return 1
        fi
        sleep 0.1
    done
}

_desktop_alive() { kill -0 "$1" 2>/dev/null; }

# _desktop_dead PID NAME LOG: when PID has ended, says so with its exit status
# and log, and succeeds.
_desktop_dead() {
    _desktop_alive "$1" && return 1
    local status=0
    wait "$1" 2>/dev/null || status=$?
    printf '%s exited (status %s); its log %s:\n' "$2" "$status" "$3" >&2
    sed 's/^/    /' "$3" >&2 2>/dev/null
    return 0
}

# _desktop_await PID NAME LOG SECONDS WHAT COMMAND...: waits like desktop_wait
# for what the process PID should bring about, failing the script at once if
# it dies first, and with its log on a timeout.
_desktop_await() {
    local pid="$1" name="$2" log="$3" seconds="$4" what="$5"
    shift 5
    local deadline=$(($(date +%s%N) + seconds * 1000000000))
    until "$@"; do
        _desktop_dead "$pid" "$name" "$log" && desktop_fail "$name ended before $what"
        if (($(date +%s%N) >= deadline)); then
            sed 's/^/    /' "$log" >&2 2>/dev/null
            desktop_fail "timed out after ${seconds}s waiting for $what ($name's log above)"
        fi
        sleep 0.1
    done
}

_desktop_app_gone() { ! _desktop_alive "$desktop_app_pid"; }
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
    # readiness probe below is one) and refuses whoever connects meanwhile.
    Xvfb -displayfd 3 -auth "$auth" -nolisten tcp -noreset -screen 0 1280x800x24 \
        3>"$desktop_dir/display" >"$log" 2>&1 &
    local pid=$!
    _desktop_track "$pid" Xvfb "$log"
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
    "$@" >"$log" 2>&1 &
    local pid=$!
    _desktop_track "$pid" "the tray ($1)" "$log"
    _desktop_await "$pid" "the tray ($1)" "$log" 10 "the tray to show" _desktop_tray_up
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
    dunst -config "$config" >"$log" 2>&1 &
    local pid=$!
    _desktop_track "$pid" dunst "$log"
    _desktop_await "$pid" dunst "$log" 10 "dunst on the session bus" \
        _desktop_bus_has org.freedesktop.Notifications
}

_desktop_stand_in_listening() { grep -q '^listening on' "$desktop_stand_in_log"; }

# desktop_start_stand_in PATH [OPTION...]: the service at the address the app
# is built against (desktop_use_service_url).
desktop_start_stand_in() {
    local path="$1"
    shift
    [[ -n "$desktop_service_url" ]] || desktop_fail "desktop_use_service_url was not called"
    desktop_stand_in_log="$desktop_dir/stand-in.log"
    "$path" --host "$desktop_service_host" --port "$desktop_service_port" "$@" \
        >"$desktop_stand_in_log" 2>&1 &
    local pid=$!
    _desktop_track "$pid" "the stand-in service" "$desktop_stand_in_log"
    _desktop_await "$pid" "the stand-in service" "$desktop_stand_in_log" 10 \
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
    local started
    started="$(date +%s%N)"
    desktop_launch_app "$1"
    local deadline=$((started + 15000000000))
    until [[ -n "$(desktop_tray_icon)" ]]; do
        _desktop_dead "$desktop_app_pid" "the app" "$desktop_app_log" &&
            desktop_fail "the app ended before its icon appeared in the tray"
        (($(date +%s%N) < deadline)) || desktop_fail "the app's icon did not appear in the tray"
        sleep 0.01
    done
    desktop_embed_ms=$((($(date +%s%N) - started) / 1000000))
}

# desktop_launch_app PATH: starts the app with the fake browser first on PATH;
# sets desktop_app_pid and desktop_app_log.
desktop_launch_app() {
    desktop_app_runs=$((desktop_app_runs + 1))
    desktop_app_log="$desktop_dir/app-$desktop_app_runs.log"
    env -u BROWSER -u DEFAULT_BROWSER -u XDG_CURRENT_DESKTOP \
        PATH="$desktop_dir/browser:$PATH" QT_QPA_PLATFORM=xcb QTKEYCHAIN_BACKEND=libsecret \
        "$1" >"$desktop_app_log" 2>&1 &
    desktop_app_pid=$!
    _desktop_track "$desktop_app_pid" "the app" "$desktop_app_log"
}

desktop_stop_app() {
    kill "$desktop_app_pid"
    wait "$desktop_app_pid" 2>/dev/null || true
}

_desktop_icon_embedded() { [[ -n "$(desktop_tray_icon)" ]]; }

# desktop_wait_app_exit SECONDS: the app ends by itself (Quit).
desktop_wait_app_exit() {
    desktop_wait "$1" "the app to exit" _desktop_app_gone || return 1
    wait "$desktop_app_pid" 2>/dev/null
}

# Prints X Y W H of a window, absolute.
desktop_geometry() {
    local X Y WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null)" || return 1
    echo "$X $Y $WIDTH $HEIGHT"
}

desktop_move_pointer_away() { xdotool mousemove 640 790; }

desktop_click() {
    xdotool mousemove "$1" "$2" click 1
    sleep 0.1
    desktop_move_pointer_away
}

_desktop_find_panel() {
    local window x y w h
    for window in $(xdotool search --onlyvisible --classname '^cuelark$' 2>/dev/null); do
        read -r x y w h < <(desktop_geometry "$window") || continue
        if ((w == desktop_panel_width)); then
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

# --- the stand-in service's control API ---

desktop_service() {
    local method="$1" path="$2" body="${3:-}"
    curl -sS --max-time 5 -X "$method" -H 'Content-Type: application/json' \
        ${body:+--data "$body"} "$desktop_service_url$path"
}

# Service calls the app made, one compact JSON object a line.
desktop_service_calls() { desktop_service GET /control/log | jq -c '.[]'; }

# desktop_service_called JQ_FILTER: whether some logged call matches.
desktop_service_called() {
    [[ -n "$(desktop_service GET /control/log | jq -c ".[] | select($1)")" ]]
}

_desktop_list_fetches() { desktop_service_calls | grep -c '"path":"/api/glasses/requests"'; }

desktop_token_stored() {
    secret-tool search --all server "$desktop_app_id" 2>&1 | grep -q 'attribute.user = glasses-bearer-token'
}

# Approves a sign-in page as a browser would: GET the page, submit its form.
desktop_approve_in_browser() {
    local url="$1" page action session
    page="$(curl -sS --max-time 5 "$url")" || return 1
    action="$(sed -n 's/.*<form[^>]*action="\([^"]*\)".*/\1/p' <<<"$page" | head -n1)"
    session="$(sed -n 's/.*name="session" value="\([^"]*\)".*/\1/p' <<<"$page" | head -n1)"
    [[ -n "$action" && -n "$session" ]] || { echo "no sign-in form in: $page" >&2; return 1; }
    curl -sS --max-time 5 -L -o /dev/null -w "%{http_code}" \
        --data-urlencode "session=$session" "$desktop_service_url$action" | grep -q '^200$'
}

# With the signed-out panel open: presses "Sign in with Browser" (Tab reaches
# it first, Return presses it) and waits for the app to open the sign-in page;
# sets desktop_sign_in_url.
desktop_press_sign_in() {
    local opened
    opened="$(wc -l <"$desktop_opened_urls")"
    desktop_key Tab Return
    desktop_wait 10 "the app to open the sign-in page" _desktop_more_urls_than "$opened" ||
        desktop_fail "Sign in with Browser opened no web page"
    desktop_sign_in_url="$(tail -n1 "$desktop_opened_urls")"
    [[ "$desktop_sign_in_url" == "$desktop_service_url/glasses/sign-in?"* ]] ||
        desktop_fail "unexpected sign-in page: $desktop_sign_in_url"
}

# Approves desktop_sign_in_url in the "browser" and waits until the app has
# stored its token and fetched the first request list.
desktop_finish_sign_in() {
    desktop_approve_in_browser "$desktop_sign_in_url" || desktop_fail "approving the sign-in page failed"
    desktop_log "sign-in approved in the 'browser'"
    desktop_wait 10 "the token in the secret store" desktop_token_stored ||
        desktop_fail "no token item in the secret store"
    desktop_log "token stored in the Secret Service"
    desktop_wait 10 "the first request list" \
        desktop_service_called '.method == "GET" and .path == "/api/glasses/requests" and .status == 200' ||
        desktop_fail "the app did not fetch requests after signing in"
}

# dunst renders "message" as Pango markup: the audience's tags must arrive
# escaped, so that the DJ reads them as typed instead of seeing bold text.
# _desktop_request_notified TEXT: a "New song request" showing TEXT as typed.
_desktop_request_notified() {
    desktop_close_notifications
    desktop_notifications | jq -e --arg typed "$1" '
        [.data[][] | select(.summary.data == "New song request") | .message.data
         | select(contains($typed) | not)
         | gsub("&lt;"; "<") | gsub("&gt;"; ">") | gsub("&quot;"; "\"")
         | gsub("&#39;|&apos;"; "\u0027") | gsub("&amp;"; "&")
         | select(contains($typed))] | length > 0' >/dev/null
}

# --- the walk-through shared by the end-to-end test and the demo ---

# desktop_walk_through APP SHOTS: from a first start, signed out, to a request
# approved from the panel and another from its notification. Saves
# 01-signed-out.png, 02-waiting-for-browser.png, 03-live-requests.png,
# 04-approved.png, tray-icon.png, tray-tooltip.png, notification-actions.png
# and the notifications in SHOTS. Each
# step checks what the DJ would see and fails the script when it is not so.
# Leaves the app running with the panel open; sets walk_request_id.
desktop_walk_through() {
    local app="$1" shots="$2"
    mkdir -p "$shots"

    desktop_start_app "$app"
    desktop_log "app started; icon in the tray after ${desktop_embed_ms} ms"
    desktop_open_panel
    desktop_panel_shows "$desktop_button_face" 200 || desktop_fail "the panel looks empty"
    desktop_screenshot "$shots/01-signed-out.png"
    local signed_out_height
    signed_out_height="$(desktop_panel_height)"
    desktop_log "panel open, signed out (height ${signed_out_height} px)"

    desktop_press_sign_in
    desktop_settle
    desktop_screenshot "$shots/02-waiting-for-browser.png"
    desktop_log "browser asked to open $desktop_sign_in_url"
    desktop_finish_sign_in
    desktop_wait 5 "the dashboard" desktop_panel_shows "$desktop_green" ||
        desktop_fail "the panel does not show the dashboard"
    desktop_settle
    (($(desktop_panel_height) > signed_out_height)) || desktop_fail "the panel did not grow into the dashboard"
    desktop_log "dashboard shown (height $(desktop_panel_height) px)"

    local badge_before="$desktop_dir/tray-before.png"
    desktop_tray_screenshot "$badge_before"
    desktop_close_notifications
    local title='<b>Bold</b> Move & "Co"' artist='Night <i>Owls</i>' reply
    reply="$(desktop_service POST /control/requests "$(jq -cn --arg title "$title" --arg artist "$artist" \
        '{songTitle: $title, artistName: $artist}')")"
    walk_request_id="$(jq -r '.id' <<<"$reply")"
    [[ "$walk_request_id" =~ ^[0-9]+$ ]] || desktop_fail "the stand-in did not add a request: $reply"
    desktop_log "audience requested song $walk_request_id; waiting for the notification"
    desktop_wait 15 "the desktop notification" _desktop_request_notified "$title $artist" || {
        desktop_notifications >&2
        desktop_fail "no 'New song request' notification showing the title and artist as written"
    }
    desktop_notifications >"$shots/notifications.json"
    desktop_log "notification shown with the markup as plain text"

    desktop_settle
    desktop_screenshot "$shots/03-live-requests.png"
    desktop_tray_screenshot "$shots/tray-icon.png"
    compare -metric AE "$badge_before" "$shots/tray-icon.png" null: 2>/dev/null &&
        desktop_fail "the tray badge did not change when the pending count rose"
    desktop_log "tray badge redrawn for the new pending count"

    # The app refreshes right after an action; the last screenshot waits for it.
    local fetched
    fetched="$(_desktop_list_fetches)"
    # Requests are newest first: the top green icon at the right is this
    # request's approve button (the "Live" card text lies further left).
    desktop_click_in_panel "$desktop_green" 240 0 $((desktop_panel_width - 240)) "$(desktop_panel_height)" ||
        desktop_fail "no approve button in the panel"
    desktop_wait 5 "the approval to reach the service" desktop_service_called "
        .method == \"PATCH\" and .path == \"/api/glasses/requests/$walk_request_id\"
        and (.body | fromjson) == {\"status\":\"approved\"} and .status == 200" ||
        desktop_fail "no PATCH {\"status\":\"approved\"} for request $walk_request_id"
    desktop_wait 5 "the refresh after approving" _desktop_more_fetches_than "$fetched" || true
    desktop_settle
    desktop_screenshot "$shots/04-approved.png"
    desktop_log "request $walk_request_id approved from the panel"

    # The next request is approved from its notification, through dunst's menu.
    desktop_close_panel || desktop_fail "Escape did not close the panel"
    desktop_tooltip_screenshot "$shots/tray-tooltip.png"
    desktop_close_notifications
    reply="$(desktop_service POST /control/requests '{"songTitle": "Blue Monday", "artistName": "New Order"}')"
    local action_id
    action_id="$(jq -r '.id' <<<"$reply")"
    desktop_wait 15 "the notification of request $action_id" _desktop_notification_shown ||
        desktop_fail "no notification for request $action_id"
    desktop_invoke_action approve "$shots/notification-actions.png"
    grep -q '^#Approve (New song request) \[[0-9]*,approve\]$' "$desktop_dir/action-menu.txt" &&
        grep -q '^#Reject (New song request) \[[0-9]*,reject\]$' "$desktop_dir/action-menu.txt" ||
        desktop_fail "dunst offered no Approve and Reject: $(cat "$desktop_dir/action-menu.txt")"
    desktop_wait 5 "the approval from the notification" desktop_service_called "
        .method == \"PATCH\" and .path == \"/api/glasses/requests/$action_id\"
        and (.body | fromjson) == {\"status\":\"approved\"} and .status == 200" ||
        desktop_fail "the notification's Approve sent no PATCH {\"status\":\"approved\"} for request $action_id"
    (($(desktop_service_calls | grep -c "\"path\":\"/api/glasses/requests/$action_id\"") == 1)) ||
        desktop_fail "request $action_id was answered more than once"
    desktop_log "request $action_id approved from its notification"
    desktop_open_panel
}

_desktop_notification_shown() { (($(dunstctl count displayed) > 0)); }
