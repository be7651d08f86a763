#!/bin/sh
# The manual check of the real KelvoMonitor against kelvo-service on an X
# desktop: "すぐに確認" from the tray menu with no change shows a message box
# and no popup; after a new article a double-click on the tray icon shows the
# popup instead.
# Usage: manual_e2e.sh KELVOMONITOR KELVO-SERVICE SCRIPTS-DIR
set -eu
. "$(dirname "$0")/lib.sh"

wait_for 60 signed_in || fail "no sign-in reached the service"
wait_for 10 tray_icon || fail "no tray icon"

menu_item 2 # すぐに確認
wait_for 30 message_box || fail "no message after すぐに確認"
popup && fail "a popup came for an unchanged page"
test -s "$work/kelvo_top.txt" || fail "the check made no snapshot"
[ -n "$shots" ] && import -window root "$shots/e2e-nonew.png"
xdotool windowactivate --sync "$(message_box)" key Return
wait_for 10 no_message_box || fail "the message box did not close"
echo "すぐに確認 with no change: message, no popup"

ctl article "title=手動確認の記事" >/dev/null
set -- $(tray_icon)
xdotool mousemove $(($4 + $2 / 2)) $(($5 + $3 / 2)) click --repeat 2 --delay 80 1
wait_for 30 popup || fail "no popup after the double-click"
message_box && fail "a message box came with the popup"
set -- $(popup)
xdotool windowactivate --sync "$1" key Escape
wait_for 10 grep -q '手動確認の記事' "$work/kelvo_top.txt" || fail "the snapshot does not hold the new article"
echo "double-click after a new article: popup, snapshot updated"

kill -TERM "$app"
wait_for 15 sh -c "! kill -0 $app" || fail "the process did not end on SIGTERM"
echo "1 passed, 0 failed"
