# Shared by the end-to-end scripts: an X desktop, kelvo-service, the program,
# and ways to find the program's windows. Source it from a script called as
#   SCRIPT KELVOMONITOR KELVO-SERVICE SCRIPTS-DIR
# it sets $exe, $service, $scripts, $shots (where screenshots go, if
# anywhere), $work, $port, $app and a trap that cleans up.
exe=$1
service=$2
scripts=$3
shots=${KELVO_SCREENSHOT_DIR:-}
work=$(mktemp -d)
pids=""
fail() {
    failed=1
    echo "FAIL: $*" >&2
    [ -n "${port:-}" ] && curl -sk "https://127.0.0.1:$port/_control/log" >"$work/service-log.json" 2>/dev/null
    [ -n "${DISPLAY:-}" ] && import -window root "$work/failure.png" 2>/dev/null && echo "screenshot: $work/failure.png" >&2
    exit 1
}
cleanup() {
    # shellcheck disable=SC2086
    [ -z "$pids" ] || kill $pids 2>/dev/null || true # some have ended already
    # what a failure leaves (logs, a screenshot) stays for a look
    [ "${failed:-}" = 1 ] || rm -rf "$work"
}
trap cleanup EXIT

# wait_for SECONDS COMMAND...: polls every half second
wait_for() {
    limit=$(($1 * 2))
    shift
    i=0
    until "$@" >/dev/null 2>&1; do
        i=$((i + 1))
        [ $i -gt $limit ] && return 1
        sleep 0.5
    done
}

# With late_tray set, the desktop comes without a tray; start_tray brings it.
eval "$(KELVO_TRAY=${late_tray:+none} "$scripts/desktop")"
pids="$KELVO_DESKTOP_PIDS"
start_tray() { pids="$(KELVO_TRAY=only "$scripts/desktop") $pids"; }
screen_w=$(xdpyinfo | awk '/dimensions:/{split($2, d, "x"); print d[1]; exit}')

"$service" --port 0 --account "e2e@example.com:e2e pass" >"$work/service.out" &
pids="$! $pids"
wait_for 10 grep -q '^PORT ' "$work/service.out" || fail "kelvo-service did not start"
port=$(awk '/^PORT /{print $2}' "$work/service.out")
# ctl ENDPOINT [NAME=VALUE]: a control request (always with a body: the
# service wants a length on every POST)
ctl() { curl -sfk -X POST "https://127.0.0.1:$port/_control/$1" --data-urlencode "${2:-_=}"; }

# start_program DIR PASSWORD: a copy of the program in DIR, signing in as
# e2e@example.com with PASSWORD, in the background ($! is its pid)
start_program() {
    mkdir -p "$1"
    cp "$exe" "$1/KelvoMonitor"
    printf '[mail]\naddress=e2e@example.com\npwd=%s\n' "$2" >"$1/settings.ini"
    "$1/KelvoMonitor" --webEngineArgs "--host-resolver-rules=MAP kelvo.example 127.0.0.1:$port" \
        --ignore-certificate-errors >"$1/program.log" 2>&1 &
}
start_program "$work" "e2e pass"
app=$!
pids="$app $pids"

# Windows of the program on the screen now: "id width height x y"
windows() {
    for w in $(xdotool search --all --onlyvisible --pid "$app" "" 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$w")"
        [ "$X" -ge 0 ] && [ "$X" -lt "$screen_w" ] && echo "$w $WIDTH $HEIGHT $X $Y"
    done
    return 0
}
popup() { windows | awk '$2 == 202 && $3 == 95 {print; exit}' | grep .; }
tray_icon() { windows | awk '$2 >= 16 && $2 <= 64 && $3 >= 16 && $3 <= 64 && $5 > 700 {print; exit}' | grep .; }
menu() { windows | awk '$2 > 64 && $2 < 400 && $3 > 64 && $3 < 300 && !($2 == 202 && $3 == 95) {print; exit}' | grep .; }
# A message box: a window of ours captioned "KelvoMonitor" that is not the popup.
message_box() {
    for w in $(xdotool search --all --onlyvisible --pid "$app" --name '^KelvoMonitor$' 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$w")"
        [ "$X" -ge 0 ] && [ "$X" -lt "$screen_w" ] && [ "$WIDTH" -gt 150 ] && [ "$WIDTH" -ne 202 ] &&
            [ "$WIDTH" -lt 600 ] && { echo "$w"; return 0; }
    done
    return 1
}
no_message_box() { ! message_box; }
# menu_item N: chooses the Nth item (0-based, separators not counted) of the
# tray menu by keyboard: the open menu takes the keys.
menu_item() {
    set -- "$1" $(tray_icon)
    xdotool mousemove $(($5 + $3 / 2)) $(($6 + $4 / 2)) click 3
    wait_for 10 menu || fail "no tray menu"
    keys=Down
    i=0
    while [ $i -lt "$1" ]; do
        keys="$keys Down"
        i=$((i + 1))
    done
    # shellcheck disable=SC2086
    xdotool key --delay 60 $keys Return
}
signed_in() { curl -sk "https://127.0.0.1:$port/_control/log" | grep -q '"POST","path":"/login"'; }
# title ID: the window's caption as the member sees it
title() { LC_ALL=C.UTF-8 xprop -id "$1" _NET_WM_NAME | sed 's/^[^"]*"//; s/"$//'; }
# browser_titled TITLE: a member browser window on the screen with that caption
browser_titled() {
    for w in $(windows | awk '$2 >= 600 {print $1}'); do
        [ "$(title "$w")" = "$1" ] && { echo "$w"; return 0; }
    done
    return 1
}
