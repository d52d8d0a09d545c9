# shellcheck shell=bash
# shellcheck disable=SC2154 # the desktop_* settings are set in headless-desktop.sh
# The stand-in service's control API, the sign-in through the fake browser, and
# the walk-through shared by the end-to-end test and the demo, on the desktop of
# headless-desktop.sh (which sources this file).

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

# With the signed-out panel open: presses "Sign in with Browser" (the panel
# opens with it focused, Return presses it) and waits for the app to open the
# sign-in page; sets desktop_sign_in_url.
desktop_press_sign_in() {
    local opened
    opened="$(wc -l <"$desktop_opened_urls")"
    desktop_key Return
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
    _desktop_walk_sign_in "$app" "$shots"
    _desktop_walk_new_request "$shots"
    _desktop_walk_approve_in_panel "$shots"
    _desktop_walk_approve_from_notification "$shots"
    desktop_open_panel
}

# _desktop_walk_sign_in APP SHOTS: from the first start to the dashboard.
_desktop_walk_sign_in() {
    local app="$1" shots="$2"
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
}

# _desktop_walk_new_request SHOTS: the audience's request, with markup in its
# title and artist, reaches the panel, a notification and the tray's badge;
# sets walk_request_id.
_desktop_walk_new_request() {
    local shots="$1"
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
}

# _desktop_approval_sent ID: whether the app approved request ID at the service.
_desktop_approval_sent() {
    desktop_service_called "
        .method == \"PATCH\" and .path == \"/api/glasses/requests/$1\"
        and (.body | fromjson) == {\"status\":\"approved\"} and .status == 200"
}

# _desktop_walk_approve_in_panel SHOTS: approves walk_request_id with its button.
_desktop_walk_approve_in_panel() {
    local shots="$1"
    # The app refreshes right after an action; the last screenshot waits for it.
    local fetched
    fetched="$(_desktop_list_fetches)"
    # Requests are newest first: the top green icon at the right is this
    # request's approve button (the "Live" card text lies further left).
    desktop_click_in_panel "$desktop_green" 240 0 $((desktop_panel_width - 240)) "$(desktop_panel_height)" ||
        desktop_fail "no approve button in the panel"
    desktop_wait 5 "the approval to reach the service" _desktop_approval_sent "$walk_request_id" ||
        desktop_fail "no PATCH {\"status\":\"approved\"} for request $walk_request_id"
    desktop_wait 5 "the refresh after approving" _desktop_more_fetches_than "$fetched" || true
    desktop_settle
    desktop_screenshot "$shots/04-approved.png"
    desktop_log "request $walk_request_id approved from the panel"
}

# _desktop_walk_approve_from_notification SHOTS: the next request is approved
# from its notification, through dunst's menu.
_desktop_walk_approve_from_notification() {
    local shots="$1"
    desktop_close_panel || desktop_fail "Escape did not close the panel"
    desktop_tooltip_screenshot "$shots/tray-tooltip.png"
    desktop_close_notifications
    local reply action_id
    reply="$(desktop_service POST /control/requests '{"songTitle": "Blue Monday", "artistName": "New Order"}')"
    action_id="$(jq -r '.id' <<<"$reply")"
    desktop_wait 15 "the notification of request $action_id" _desktop_notification_shown ||
        desktop_fail "no notification for request $action_id"
    desktop_invoke_action approve "$shots/notification-actions.png"
    grep -q '^#Approve (New song request) \[[0-9]*,approve\]$' "$desktop_dir/action-menu.txt" &&
        grep -q '^#Reject (New song request) \[[0-9]*,reject\]$' "$desktop_dir/action-menu.txt" ||
        desktop_fail "dunst offered no Approve and Reject: $(cat "$desktop_dir/action-menu.txt")"
    desktop_wait 5 "the approval from the notification" _desktop_approval_sent "$action_id" ||
        desktop_fail "the notification's Approve sent no PATCH {\"status\":\"approved\"} for request $action_id"
    (($(desktop_service_calls | grep -c "\"path\":\"/api/glasses/requests/$action_id\"") == 1)) ||
        desktop_fail "request $action_id was answered more than once"
    desktop_log "request $action_id approved from its notification"
}

_desktop_notification_shown() { (($(dunstctl count displayed) > 0)); }
