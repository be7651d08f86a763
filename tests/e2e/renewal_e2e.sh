#!/bin/sh
# A copy that renews itself after its first tick (the real 60 s timer): a new
# process takes the folder over and signs in; the member sees no window, no
# message and no popup, the tray icon is there again with the tip it had, and
# the snapshot goes on: the new copy tells a new article once, and hands over
# again once its popup is answered. Later starts reach the newest copy.
# Usage: renewal_e2e.sh KELVOMONITOR KELVO-SERVICE SCRIPTS-DIR
set -eu
export KELVO_RENEW_AFTER_CHECKS=1
export QT_LOGGING_RULES='kelvo.start.info=true'
. "$(dirname "$0")/lib.sh"
first=$app

wait_for 60 signed_in || fail "no sign-in reached the service"
wait_for 10 tray_icon || fail "no tray icon"
ctl log/clear >/dev/null
# The first tick makes the snapshot, then the copy hands over.
holder() { sed -n 1p "$work/KelvoMonitor.lock" 2>/dev/null; }
renewed() { [ -n "$(holder)" ] && [ "$(holder)" != "$first" ] && kill -0 "$(holder)"; }
wait_for 100 renewed || fail "no new copy took the folder over"
app=$(holder)
tr '\0' ' ' <"/proc/$app/cmdline" | grep -q -- '--renewed' || fail "the new copy was not started as a renewal"
wait_for 30 sh -c "! kill -0 $first" || fail "the first copy did not end"
test -s "$work/kelvo_top.txt" || fail "the first tick made no snapshot"
echo "renewed: $first handed over to $app"

wait_for 30 tray_icon || fail "no tray icon after the renewal"
counts=$(curl -sk "https://127.0.0.1:$port/_control/log/counts")
echo "requests from the tick on: $counts"
echo "$counts" | grep -qx 'POST /login 1' || fail "the new copy did not sign in once: $counts"
sleep 2
[ -z "$(windows | grep -v "$(tray_icon | cut -d' ' -f1)")" ] || fail "a window came with the renewal: $(windows)"
[ -n "$shots" ] && import -window root "$shots/e2e-renewed.png"

# The new copy checks at its ticks against the snapshot the first one left.
ctl article "title=更新後の記事" >/dev/null
wait_for 90 popup || fail "no popup from the new copy for a new article"
set -- $(popup)
xdotool windowactivate --sync "$1" key Escape
wait_for 10 grep -q '更新後の記事' "$work/kelvo_top.txt" || fail "the snapshot does not hold the new text"
echo "the new copy tells a new article once and stores it"

# Once the popup is answered, that tick hands over again.
second=$app
first=$second
wait_for 30 renewed || fail "no renewal after a tick with a popup"
app=$(holder)
wait_for 30 sh -c "! kill -0 $second" || fail "the second copy did not end"
"$work/KelvoMonitor" --quit --webEngineArgs "$(engine_args)" || fail "--quit did not reach the new copy"
wait_for 15 sh -c "! kill -0 $app" || fail "the new copy did not end on --quit"
echo "1 passed, 0 failed"
