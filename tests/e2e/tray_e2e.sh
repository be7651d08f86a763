#!/bin/sh
# The real KelvoMonitor with its real 60 s timer on an X desktop (Xvfb +
# openbox + trayer docked at the bottom) against kelvo-service:
# sign-in, a quiet first tick, a popup at the work area's bottom-right for a
# new article (asked for by a later start's --check: a second real tick
# would add a minute and prove nothing more), a member window usable while the popup waits, Esc and the
# snapshot, SIGTERM and the end of the process.
# Usage: tray_e2e.sh KELVOMONITOR KELVO-SERVICE SCRIPTS-DIR
set -eu
. "$(dirname "$0")/lib.sh"

wait_for 60 signed_in || fail "no sign-in reached the service"
echo "signed in"
wait_for 10 tray_icon || fail "no tray icon"

wait_for 90 test -s "$work/kelvo_top.txt" || fail "the first tick made no snapshot"
sleep 1
popup && fail "the first tick raised a popup"
echo "first tick: snapshot made, no popup"

ctl article "title=E2Eの新しい記事" >/dev/null
"$work/KelvoMonitor" --check --webEngineArgs "$(engine_args)" || fail "--check did not reach the copy"
wait_for 30 popup || fail "no popup for the new article"
set -- $(popup)
pw=$1 px=$4 py=$5
set -- $(xprop -root _NET_WORKAREA | sed 's/.*= //; s/,//g')
right=$(($1 + $3)) bottom=$(($2 + $4))
[ "$px" -eq $((right - 202)) ] && [ "$py" -eq $((bottom - 95)) ] ||
    fail "popup at $px,$py, expected $((right - 202)),$((bottom - 95)) (work area $*)"
above=no
for w in $(xdotool search --all --onlyvisible --pid "$app" "" 2>/dev/null) $(xdotool search --class KelvoMonitor 2>/dev/null); do
    if xwininfo -id "$w" | grep -q 'Width: 202' && xprop -id "$w" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE; then
        above=yes
    fi
done
[ $above = yes ] || fail "popup is not topmost"
echo "popup at the work area's bottom-right ($px,$py), topmost"
[ -n "$shots" ] && import -window root "$shots/e2e-popup.png"
grep -q 'E2Eの新しい記事' "$work/kelvo_top.txt" && fail "snapshot rewritten before the popup closed"

# The tray menu's first item, "トップページ", opens a member window.
menu_item 0 # トップページ
wait_for 30 browser_titled "Kelvo+" || fail "no browser window on the top page from the menu"
bw=$(browser_titled "Kelvo+")
popup >/dev/null || fail "the popup went away when the menu was used"
# Typing in it while the popup waits: go to the favorites page by its address.
xdotool windowactivate --sync "$bw"
xdotool key ctrl+l
xdotool type --delay 30 "https://kelvo.example/mypage/favorites"
xdotool key Return
wait_for 20 browser_titled "お気に入り | Kelvo+" ||
    fail "the member window did not take typing while the popup was up"
popup >/dev/null || fail "the popup went away by itself"
echo "member window usable while the popup waits"
[ -n "$shots" ] && import -window root "$shots/e2e-browser.png"

set -- $(popup)
xdotool windowactivate --sync "$1" key Escape
wait_for 10 sh -c "! xdotool search --all --onlyvisible --pid $app '' | while read w; do xdotool getwindowgeometry \$w; done | grep -q '202x95'" ||
    fail "Esc did not close the popup"
wait_for 10 grep -q 'E2Eの新しい記事' "$work/kelvo_top.txt" || fail "the snapshot does not hold the new text"
echo "Esc closed the popup; snapshot holds the new text"

kill -TERM "$app"
no_tray_icon() { ! tray_icon; }
wait_for 10 no_tray_icon || fail "the tray icon is still there after SIGTERM"
kill -0 "$app" 2>/dev/null || fail "the process ended with a member window still open"
xdotool windowactivate --sync "$bw" key alt+F4
wait_for 15 sh -c "! kill -0 $app" || fail "the process did not end after its last window closed"
echo "SIGTERM removed the tray icon; the process ended with its last window"
echo "1 passed, 0 failed"
