#!/bin/sh
# The engine's faults as an ordinary member meets them, with the engine's
# sandbox on (as root; as anyone else, as that user). A member window whose
# page spins for good tells the member and offers to end it (ページを閉じる),
# which shows the window's page for an ended renderer, while the other
# window, the tray and the checks go on. Then the zygote stops (as after a
# sleep gone wrong): renderers no longer start, or the engine blocks the
# event loop waiting on it, and either way the copy renews itself as the
# daily renewal does: a new copy holds the folder, signs in and checks, and
# nothing of the old one stays, its stopped zygote included.
# Usage: engine_e2e.sh KELVOMONITOR KELVO-SERVICE SCRIPTS-DIR
set -eu
. "$(dirname "$0")/member.sh"
own_start=1
. "$(dirname "$0")/lib.sh"
member_copy
tick=20
# shellcheck disable=SC2086
$as env KELVO_RENEW_AFTER_CHECKS=0 KELVO_TICK_MS=$((tick * 1000)) KELVO_FROZEN_AFTER_S=10 \
    QT_LOGGING_RULES='kelvo.engine.info=true;kelvo.start.info=true;kelvo.check.info=true' "$dir/KelvoMonitor" \
    --webEngineArgs "$(engine_args)" --ignore-certificate-errors >"$work/program.log" 2>&1 &
app=$!
pids="$app $pids"
log="$work/program.log"
shot() { [ -z "$shots" ] || import -window root "$shots/engine-$1.png"; }
browsers() { windows | awk '$2 >= 600 {print $1}'; }
requests() { curl -sk "https://127.0.0.1:$port/_control/log" | grep -o "\"path\":\"$1\"" | wc -l; }
sign_ins() { curl -sk "https://127.0.0.1:$port/_control/log" | grep -o '"method":"POST","path":"/login"' | wc -l; }
holder() { sed -n 1p "$dir/KelvoMonitor.lock" 2>/dev/null; }
# a window opened from the tray's トップページ, not one of those before
new_window() {
    for w in $(browsers); do
        echo "$before" | grep -qx "$w" || { [ "$(title "$w")" = "Kelvo+" ] && echo "$w" && return 0; }
    done
    return 1
}
open_window() {
    before=$(browsers)
    menu_item 0
    wait_for 30 new_window || fail "no new member window on the top page"
    new_window
}

wait_for 60 signed_in || fail "no sign-in reached the service"
wait_for 20 tray_icon || fail "no tray icon"
a=$(open_window)
ctl top-script kind=spin-member >/dev/null
b=$(open_window)
# The member reaches into the page: it spins from then on.
xdotool windowactivate --sync "$b"
eval "$(xdotool getwindowgeometry --shell "$b")"
reach() {
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) sleep 0.2 mousemove $((X + WIDTH / 2 + 20)) \
        $((Y + HEIGHT / 2)) click 1
    grep -q "does not answer: told" "$log"
}
# Told within a few seconds of the page's last answer.
wait_for 30 reach || fail "the spinning page was not told to the member"
shot hung
checks=$(requests /)
xdotool windowactivate --sync "$b" key alt+k
wait_for 10 grep -q "ended: the member closed a page that did not answer" "$log" ||
    fail "ページを閉じる did not end the page's renderer"
ended=$(grep "ended: the member closed" "$log" | sed -n 's/.*renderer \([0-9]*\) .*/\1/p' | tail -1)
wait_for 10 none_left "$ended" || fail "the spinning renderer $ended is still there"
sleep 1
shot closed
echo "a spinning page: told, and ended by ページを閉じる"

ctl top-script kind= >/dev/null
xdotool windowactivate --sync "$a" key ctrl+l
sleep 0.3
xdotool type --delay 15 "https://kelvo.example/members/long"
xdotool key Return
wait_for 20 sh -c "LC_ALL=C.UTF-8 xprop -id $a _NET_WM_NAME | grep -q '長い記事'" ||
    fail "the other window did not load a page after the spinning one was ended"
wait_for $((tick * 2)) sh -c "[ \$(curl -sk https://127.0.0.1:$port/_control/log | grep -o '\"path\":\"/\"' | wc -l) -gt $checks ]" ||
    fail "no check reached the site after the spinning page"
echo "the other window and the checks go on"

# Closed, so that the old process has nothing left to live on for.
xdotool windowactivate --sync "$a" key ctrl+w
xdotool windowactivate --sync "$b" key ctrl+w
no_browsers() { [ -z "$(browsers)" ]; }
wait_for 10 no_browsers || fail "the member windows did not close"
# The zygote that forks renderers: its parent, the sandbox's first zygote, is ours.
zygote=""
for p in $(pgrep -P "$app"); do
    for c in $(pgrep -P "$p"); do grep -q -- '--type=zygote' "/proc/$c/cmdline" 2>/dev/null && zygote=$c; done
done
[ -n "$zygote" ] || fail "no sandboxed zygote below the program"
old=$(family "$app")
posts=$(sign_ins)
kill -STOP "$zygote"
wait_for $((tick * 8)) sh -c "[ -n \"\$(sed -n 1p '$dir/KelvoMonitor.lock')\" ] && [ \"\$(sed -n 1p '$dir/KelvoMonitor.lock')\" != $app ]" ||
    fail "the copy did not renew itself with its renderers failing to start"
grep -q "renewing the copy" "$log" || fail "the renewal after the engine broke was not logged"
wait_for 15 none_left "$old" || fail "the old copy left $(for p in $old; do kill -0 "$p" 2>/dev/null && echo "$p"; done)"
new=$(holder)
pids="$new $pids"
[ "$(sign_ins)" -eq $((posts + 1)) ] || fail "the new copy did not sign in once"
checks=$(requests /)
wait_for $((tick * 2)) sh -c "[ \$(curl -sk https://127.0.0.1:$port/_control/log | grep -o '\"path\":\"/\"' | wc -l) -gt $checks ]" ||
    fail "the renewed copy does not check"
app=$new
wait_for 10 tray_icon || fail "the renewed copy shows no tray icon"
echo "renderers that do not start: the copy renewed itself, nothing of the old one left"
