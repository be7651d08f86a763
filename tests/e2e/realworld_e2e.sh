#!/bin/sh
# The real KelvoMonitor against a site that misbehaves as real sites do, on an
# X desktop, checked by "すぐに確認" from the tray menu: a session that ends is
# signed in again without a popup, an outage (503, dropped connections) raises
# none either, and articles are announced afterwards. Beside it a second copy
# with a password that the site refuses runs through two ticks of its timer
# (15 s here) and never sends that password again.
# Usage: realworld_e2e.sh KELVOMONITOR KELVO-SERVICE SCRIPTS-DIR
set -eu
. "$(dirname "$0")/lib.sh"

KELVO_TICK_MS=15000
export KELVO_TICK_MS
start_program "$work/refused" "wrong pass"
refused=$!
unset KELVO_TICK_MS
pids="$refused $pids"
refused_start=$(date +%s)

# sign-ins sent with this password
posts() { curl -sk "https://127.0.0.1:$port/_control/log" | grep -o "\"user_password\":\"$1\"" | wc -l; }
# check_now: "すぐに確認", then waits for its message box or the popup
check_now() {
    menu_item 2
    i=0
    until message_box >/dev/null || popup >/dev/null; do
        i=$((i + 1))
        [ $i -gt 80 ] && fail "すぐに確認 ended with neither a message nor a popup"
        sleep 0.5
    done
}
dismiss_message() {
    xdotool windowactivate --sync "$(message_box)" key Return
    wait_for 10 no_message_box || fail "the message box did not close"
}
dismiss_popup() {
    set -- $(popup)
    xdotool windowactivate --sync "$1" key Escape
    wait_for 10 sh -c "! $(command -v xdotool) search --all --onlyvisible --pid $app '' | while read w; do $(command -v xdotool) getwindowgeometry \$w; done | grep -q '202x95'" ||
        fail "Esc did not close the popup"
}

wait_for 60 signed_in || fail "no sign-in reached the service"
wait_for 10 tray_icon || fail "no tray icon"
wait_for 60 sh -c "[ \$(curl -sk https://127.0.0.1:$port/_control/log | grep -c '\"user_password\":\"wrong pass\"') -ge 1 ]" ||
    fail "the second copy did not try its password"
# The second copy says at start that it cannot sign in; the member answers it.
refused_box() { xdotool search --all --onlyvisible --pid "$refused" --name '^KelvoMonitor$' 2>/dev/null | head -n 1 | grep .; }
wait_for 30 refused_box || fail "the second copy did not say that it cannot sign in"
xdotool windowactivate --sync "$(refused_box)" key Return
wait_for 10 sh -c "! $(command -v xdotool) search --all --onlyvisible --pid $refused --name '^KelvoMonitor\$' | grep -q ." ||
    fail "the second copy's message did not close"

check_now
popup && fail "a popup came for the first check"
dismiss_message
test -s "$work/kelvo_top.txt" || fail "the first check made no snapshot"
echo "baseline made"

ctl signed-out-top "mode=redirect" >/dev/null
ctl expire-sessions >/dev/null
before=$(posts "e2e pass")
check_now
popup && fail "an ended session raised a popup"
[ "$(posts "e2e pass")" -eq $((before + 1)) ] || fail "the ended session was not signed in again once ($before, then $(posts "e2e pass"))"
dismiss_message
grep -q 'ログアウト' "$work/kelvo_top.txt" || fail "the snapshot lost the signed-in page"
echo "ended session: signed in again, no popup"

ctl expire-sessions >/dev/null
ctl article "title=再ログインの記事" >/dev/null
check_now
popup >/dev/null || fail "no popup for the article after the session ended"
dismiss_popup
wait_for 10 grep -q '再ログインの記事' "$work/kelvo_top.txt" || fail "the snapshot does not hold the article"
echo "article after an ended session: popup"

for outage in unavailable drop; do
    ctl $outage "on=1" >/dev/null
    check_now
    popup && fail "the outage ($outage) raised a popup"
    [ -n "$shots" ] && import -window root "$shots/e2e-$outage.png"
    dismiss_message
    ctl $outage "on=0" >/dev/null
    check_now
    popup && fail "the site coming back ($outage) raised a popup"
    dismiss_message
    grep -q '再ログインの記事' "$work/kelvo_top.txt" || fail "the outage ($outage) changed the snapshot"
    echo "outage ($outage) and return: no popup"
done

ctl article "title=復旧後の記事" >/dev/null
check_now
popup >/dev/null || fail "no popup for the article after the outages"
dismiss_popup
echo "article after the outages: popup"

# The refused copy lives through two ticks of its timer.
while [ $(($(date +%s) - refused_start)) -lt 35 ]; do sleep 1; done
kill -0 "$refused" 2>/dev/null || fail "the copy with the refused password ended"
[ "$(posts "wrong pass")" -eq 1 ] || fail "the refused password was sent again"
echo "refused password: sent once, not again by the timer"

# A copy whose system does not trust the site's certificate (no switch that
# ignores it) sends the site nothing and says why.
mkdir -p "$work/untrusted"
cp "$exe" "$work/untrusted/KelvoMonitor"
printf '[mail]\naddress=e2e@example.com\npwd=untrusted pass\n' >"$work/untrusted/settings.ini"
QT_LOGGING_RULES='kelvo.*.info=true' "$work/untrusted/KelvoMonitor" --webEngineArgs "$(engine_args)" \
    >"$work/untrusted/program.log" 2>&1 &
untrusted=$!
pids="$untrusted $pids"
untrusted_box() { xdotool search --all --onlyvisible --pid "$untrusted" --name '^KelvoMonitor$' 2>/dev/null | head -n 1 | grep .; }
wait_for 60 untrusted_box || fail "the copy that does not trust the site said nothing"
grep -q 'browser failure 10006' "$work/untrusted/program.log" || fail "the untrusted certificate was not told apart"
[ -n "$shots" ] && import -window root "$shots/e2e-untrusted.png"
xdotool windowactivate --sync "$(untrusted_box)" key Return
[ "$(posts "untrusted pass")" -eq 0 ] || fail "a password was sent to a site that is not trusted"
echo "untrusted certificate: told, nothing sent"

kill -TERM "$app" "$refused" "$untrusted"
wait_for 15 sh -c "! kill -0 $app 2>/dev/null && ! kill -0 $refused 2>/dev/null && ! kill -0 $untrusted 2>/dev/null" ||
    fail "the programs did not end on SIGTERM"
echo "1 passed, 0 failed"
