#!/bin/sh
# The real KelvoMonitor on a headless Wayland session: sway with its XWayland,
# swaybar as the StatusNotifierItem tray, one session bus, run as an ordinary
# member (sway refuses root) with the engine's sandbox on, against
# kelvo-service. The program signs in without a tray; a tray that starts 10 s
# later gets the icon, and gets it back after a restart. With no tray at all
# the member is told once; a second start shows the menu in the middle of the
# screen, usable by keyboard; every desktop action reaches the running copy;
# "今後表示しない" is kept in settings.ini.
# Usage: sway_e2e.sh KELVOMONITOR KELVO-SERVICE SCRIPTS-DIR
set -eu
exe=$1
service=$2
shots=${KELVO_SCREENSHOT_DIR:-}
[ "$(id -u)" -eq 0 ] || { echo "skipped: needs root to run the session as another member"; exit 77; }
member=kelvo-e2e
id -u "$member" >/dev/null 2>&1 || useradd --create-home --shell /bin/sh "$member"

failure_screenshot() { as_member grim - >"$1"; }
cleanup_more() { pkill -KILL -u "$member" 2>/dev/null || true; }
. "$(dirname "$0")/common.sh"
chmod 755 "$work"
run="$work/run" # the member's XDG_RUNTIME_DIR
mkdir -m 700 "$run" "$work/home"
app_dir="$work/app"
mkdir "$app_dir"
cp "$exe" "$app_dir/KelvoMonitor"
printf '[mail]\naddress=e2e@example.com\npwd=e2e pass\n[url]\nfavorite=https://kelvo.example/mypage/favorites\n' \
    >"$app_dir/settings.ini"
chown -R "$member:" "$run" "$work/home" "$app_dir"

# The bar's own command does nothing: the test starts swaybar when it chooses.
cat >"$work/sway.config" <<CONFIG
output HEADLESS-1 mode 1280x800
bar {
    id kelvo
    swaybar_command /bin/true
    tray_output *
}
exec env >$run/session.env
CONFIG
chmod 644 "$work/sway.config"
setpriv --reuid="$member" --regid="$member" --init-groups env -i HOME="$work/home" PATH=/usr/bin:/bin \
    LANG=C.UTF-8 XDG_RUNTIME_DIR="$run" WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    dbus-run-session -- sway -c "$work/sway.config" >"$work/sway.log" 2>&1 &
pids="$! $pids"
wait_for 20 grep -q "^SWAYSOCK=" "$run/session.env" || fail "sway did not start"
session=$(grep -E '^(DISPLAY|WAYLAND_DISPLAY|SWAYSOCK|DBUS_SESSION_BUS_ADDRESS)=' "$run/session.env" | tr '\n' ' ')
# as_member COMMAND...: runs it as the member, inside the session
as_member() {
    # shellcheck disable=SC2086
    setpriv --reuid="$member" --regid="$member" --init-groups env -i HOME="$work/home" PATH=/usr/bin:/bin \
        LANG=C.UTF-8 XDG_RUNTIME_DIR="$run" $session "$@"
}
xdotool() { as_member xdotool "$@"; }
xprop() { as_member xprop "$@"; }
shot() { if [ -n "$shots" ]; then as_member grim - >"$shots/$1.png"; fi; }

start_program() {
    as_member env QT_LOGGING_RULES='kelvo.tray.info=true' "$app_dir/KelvoMonitor" "$@" \
        --webEngineArgs "$(engine_args)" --ignore-certificate-errors >>"$work/program.log" 2>&1 &
}
program_pid() { pgrep -u "$member" -x KelvoMonitor; }
running() { program_pid >/dev/null; }
not_running() { ! running; }
start_bar() { as_member swaybar -b kelvo >>"$work/swaybar.log" 2>&1 & }
stop_bar() { pkill -u "$member" -x swaybar || true; }
# The program's icon is registered with the session's StatusNotifierWatcher.
registered() {
    as_member dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
        org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher \
        string:RegisteredStatusNotifierItems | grep -q 'string ".*StatusNotifierItem"'
}
not_registered() { ! registered; }
posts() { curl -sk "https://127.0.0.1:$port/_control/log" | grep -o '"path":"/login","fields":{"user_email"' | wc -l; }
screen_w=1280

started=$(date +%s)
start_program
wait_for 60 signed_in || fail "no sign-in without a tray"
[ "$(posts)" -eq 1 ] || fail "expected one sign-in"
echo "signed in without a tray"
sleep $((started + 10 - $(date +%s))) 2>/dev/null || true
start_bar
wait_for 15 registered || fail "the icon did not come to a tray that started 10 s late"
shot sway-late-tray
echo "a tray 10 s late: the icon is registered"
ls "$run"/KelvoMonitor-* >/dev/null || fail "the command channel is not in the member's runtime folder"

# The tip tells the last look: after a change, the new article's title.
app=$(program_pid)
. "$(dirname "$0")/windows.sh"
item=$(as_member dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
    org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher string:RegisteredStatusNotifierItems |
    sed -n 's/.*string "\(:[^/]*\)\(\/.*\)"/\1 \2/p' | head -n 1)
tooltip() {
    set -- $item
    as_member dbus-send --session --print-reply --dest="$1" "$2" org.freedesktop.DBus.Properties.Get \
        string:org.kde.StatusNotifierItem string:ToolTip
}
as_member "$app_dir/KelvoMonitor" --check # the first look: a baseline
wait_for 30 message_box || fail "no message after the first --check"
xdotool key Return
wait_for 10 no_message_box || fail "the message box did not close"
tooltip | grep -q '確認済み' || fail "the tip does not tell the last look: $(tooltip)"
ctl article "title=ウェイランドの新着" >/dev/null
as_member "$app_dir/KelvoMonitor" --check
wait_for 30 popup || fail "no popup for the new article"
tooltip | grep -q '新着: ウェイランドの新着' || fail "the tip does not name the new article: $(tooltip)"
shot sway-tip-after-change
as_member swaymsg "[pid=$app window_type=utility] focus" >/dev/null
xdotool key Escape
no_popup() { ! popup; }
wait_for 10 no_popup || fail "the popup did not close"
echo "the tip tells the last look and names the new article"

# A click on the icon: StatusNotifierItem hosts send Activate, which checks now.
tops() { curl -sk "https://127.0.0.1:$port/_control/log/counts" | awk '$1 == "GET" && $2 == "/" {print $3}'; }
before=$(tops)
set -- $item
as_member dbus-send --session --print-reply --dest="$1" "$2" org.kde.StatusNotifierItem.Activate int32:0 int32:0 >/dev/null ||
    fail "the icon did not take Activate"
wait_for 30 message_box || fail "a click on the icon showed no outcome"
[ "$(tops)" -gt "${before:-0}" ] || fail "a click on the icon did not reach the site"
xdotool key Return
wait_for 10 no_message_box || fail "the message box did not close"
sleep 2
message_box && fail "a click on the icon told its outcome twice"
echo "a click on the StatusNotifierItem icon checks now: one request, one message"

# The tray's menu asked for as a host asks for it (a right click, or the
# desktop's keyboard way to the tray): it opens with the keyboard in it.
as_member dbus-send --session --print-reply --dest="$1" "$2" org.kde.StatusNotifierItem.ContextMenu int32:600 int32:400 \
    >/dev/null || fail "the icon did not take ContextMenu"
wait_for 10 menu || fail "ContextMenu opened no menu"
shot sway-context-menu
xdotool key Escape
no_menu() { ! menu; }
wait_for 10 no_menu || fail "Esc did not close the tray's menu: the keyboard is not in it"
echo "the tray's menu opens on the host's ContextMenu, and Esc closes it"

stop_bar
wait_for 10 not_registered || fail "the tray did not go away"
start_bar
wait_for 15 registered || fail "the icon did not come back after the tray restarted"
echo "tray restarted: the icon is back"

stop_bar
as_member "$app_dir/KelvoMonitor" --quit
wait_for 15 not_running || fail "--quit did not end the running copy"
as_member "$app_dir/KelvoMonitor" --quit
running && fail "--quit with none running started the program"
echo "--quit ends the running copy, and does nothing with none running"

# An action with none running: the program starts, signs in, then does it.
start_program --check
wait_for 60 sh -c "[ \$(curl -sk https://127.0.0.1:$port/_control/log | grep -c '\"path\":\"/login\",\"fields\"') -ge 2 ]" ||
    fail "no sign-in after a start with --check"
wait_for 10 running || fail "the program is not running"
app=$(program_pid)
. "$(dirname "$0")/windows.sh"
wait_for 30 message_box || fail "a start with --check and none running did not check"
xdotool key Return
wait_for 10 no_message_box || fail "the message box did not close"
echo "--check with none running: started, signed in, checked"
wait_for 45 notice || fail "no notice without a tray"
shot sway-no-tray-notice
echo "no tray: the member is told"

as_member "$app_dir/KelvoMonitor"
wait_for 10 menu || fail "a second start without a tray showed no menu"
set -- $(menu)
[ $(($4 + $2 / 2 - 640)) -le 2 ] && [ $(($4 + $2 / 2 - 640)) -ge -2 ] ||
    fail "the menu is not in the middle of the screen ($*)"
shot sway-menu
xdotool key --delay 80 Down Down Return # トップページ is active: すぐに確認
wait_for 30 message_box || fail "すぐに確認 from the keyboard showed no message"
xdotool key Return
wait_for 10 no_message_box || fail "the message box did not close"
echo "second start: the menu in the middle of the screen, usable by keyboard"

as_member "$app_dir/KelvoMonitor" --check
wait_for 30 message_box || fail "--check showed no message"
xdotool key Return
wait_for 10 no_message_box || fail "the message box did not close"
as_member "$app_dir/KelvoMonitor" --top-page
wait_for 30 browser_titled "Kelvo+" || fail "--top-page opened no browser window on the top page"
as_member "$app_dir/KelvoMonitor" --favorite
wait_for 30 browser_titled "お気に入り | Kelvo+" || fail "--favorite opened no browser window on the favorite"
as_member "$app_dir/KelvoMonitor" --settings
settings() { windows | awk '$2 == 429 && $3 == 228 {print; exit}' | grep .; }
wait_for 15 settings || fail "--settings showed no settings dialog"
set -- $(settings)
xdotool windowactivate --sync "$1" key Escape
no_settings() { ! settings; }
wait_for 10 no_settings || fail "the settings dialog did not close"
echo "--check, --top-page, --favorite and --settings reach the running copy"

# "今後表示しない" ticked, then 閉じる (it has the focus), by keyboard: kept for
# later starts. The compositor gives the focus: XWayland's synthetic pointer
# does not reach a window that the compositor has not focused.
as_member swaymsg "[pid=$app window_type=utility] focus" >/dev/null
xdotool key --delay 80 Tab space Return
wait_for 10 no_notice || fail "the notice did not close"
grep -q '^\[tray\]$' "$app_dir/settings.ini" && grep -q '^notice=off$' "$app_dir/settings.ini" ||
    fail "今後表示しない was not kept: $(cat "$app_dir/settings.ini")"
echo "今後表示しない is kept in settings.ini"

as_member "$app_dir/KelvoMonitor" --quit
sleep 1
running || fail "the process ended with member windows open"
# 終了 lets the folder go at once: a start now is a copy of its own.
start_program
wait_for 30 sh -c "[ \$(pgrep -u $member -x KelvoMonitor | wc -l) -eq 2 ]" ||
    fail "a start after 終了, a member window open, did not start a copy"
wait_for 60 sh -c "[ \$(curl -sk https://127.0.0.1:$port/_control/log | grep -c '\"path\":\"/login\",\"fields\"') -ge 3 ]" ||
    fail "the new copy did not sign in"
as_member "$app_dir/KelvoMonitor" --quit
wait_for 15 sh -c "[ \$(pgrep -u $member -x KelvoMonitor | wc -l) -eq 1 ]" || fail "--quit did not reach the new copy"
echo "a start after 終了 with a member window open starts a new copy"
as_member swaymsg "[pid=$app] kill" >/dev/null
wait_for 15 not_running || fail "the process did not end after its last window closed"
echo "--quit: the process ends with its last window"
echo "1 passed, 0 failed"
