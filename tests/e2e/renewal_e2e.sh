#!/bin/sh
# A copy that renews itself at every quiet tick (every 12 s here), four
# times, run as an ordinary member with the engine's sandbox on (as root;
# as anyone else, as that user). Each time: the old copy and all its engine
# processes are gone within 10 s, the member runs as many processes with as
# many open descriptors as after a fresh start, one copy runs, no window
# shows, and the site sees one sign-in. A new article between two renewals
# is told once. At the fourth the old copy is killed (SIGKILL) as soon as
# the new one says it is ready: the new one goes on alone. Then the password
# is changed on the site: the next renewal's sign-in is refused, the member
# is told once, and for two more ticks no copy sends it again. A --quit at
# the end reaches the newest copy and ends all.
# Usage: renewal_e2e.sh KELVOMONITOR KELVO-SERVICE SCRIPTS-DIR
set -eu
. "$(dirname "$0")/member.sh"
own_start=1
. "$(dirname "$0")/lib.sh"
member_copy
# Started with no descriptor of the test's beyond the three standard ones, as
# from a desktop's launcher.
clean_fds='for f in /proc/$$/fd/*; do n=${f##*/}; [ "$n" -gt 2 ] && eval "exec $n>&-"; done; exec "$@"'
# shellcheck disable=SC2086
tick=12
$as bash -c "$clean_fds" - env KELVO_RENEW_AFTER_CHECKS=1 KELVO_TICK_MS=$((tick * 1000)) QT_LOGGING_RULES='kelvo.start.info=true' "$dir/KelvoMonitor" \
    --webEngineArgs "$(engine_args)" --ignore-certificate-errors >"$work/program.log" 2>&1 &

holder() { sed -n 1p "$dir/KelvoMonitor.lock" 2>/dev/null; }
copies() { pgrep -u "$member" -x KelvoMonitor | wc -l; }
# the member's processes, and the descriptors they hold open
processes() { pgrep -u "$member" | wc -l; }
descriptors() {
    for p in $(pgrep -u "$member"); do ls "/proc/$p/fd" 2>/dev/null; done | wc -l
}
# their proportional memory, MiB
pss() {
    for p in $(pgrep -u "$member"); do awk '$1 == "Pss:" {print $2}' "/proc/$p/smaps_rollup" 2>/dev/null; done |
        awk '{t += $1} END {printf "%d", t / 1024}'
}
popups=0
count_popup() {
    popup >/dev/null || return 1
    set -- $(popup)
    popups=$((popups + 1))
    xdotool windowactivate --sync "$1" key Escape
}

wait_for 60 signed_in || fail "no sign-in reached the service"
app=$(holder)
[ -n "$app" ] || fail "the first copy does not hold the folder"
wait_for 20 tray_icon || fail "no tray icon"
sleep 5
fresh_processes=$(processes)
fresh_descriptors=$(descriptors)
echo "fresh start: $fresh_processes processes, $fresh_descriptors descriptors, PSS $(pss) MiB"

renewal=0
readies() { grep -c 'the new copy is ready' "$work/program.log" || true; }
while [ $renewal -lt 4 ]; do
    renewal=$((renewal + 1))
    old=$app
    old_family=$(family "$old")
    ctl log/clear >/dev/null
    if [ $renewal -eq 4 ]; then
        # as an out-of-memory kill would, at the hand-over's highest memory use
        before=$(readies)
        i=0
        until [ "$(readies)" -gt "$before" ]; do
            count_popup || true
            i=$((i + 1))
            [ $i -le 1200 ] || fail "renewal 4: no new copy said it is ready"
            sleep 0.1
        done
        kill -KILL "$old"
        echo "renewal 4: the old copy $old killed once the new one said ready"
    fi
    # the first copy's first tick only makes the snapshot; a popup's tick
    # does not renew
    renewed() { [ -n "$(holder)" ] && [ "$(holder)" != "$old" ]; }
    i=0
    until renewed; do
        count_popup || true
        i=$((i + 1))
        [ $i -le 400 ] || fail "renewal $renewal: no new copy took over"
        sleep 0.5
    done
    app=$(holder)
    tr '\0' ' ' <"/proc/$app/cmdline" | grep -q -- '--renewed' || fail "renewal $renewal: not a renewed copy"
    wait_for 10 none_left "$old_family" ||
        fail "renewal $renewal: left behind: $(ps -o pid,ppid,args -p "$(echo $old_family | tr ' ' ,)")"
    sleep 5
    now_processes=$(processes)
    now_descriptors=$(descriptors)
    echo "renewal $renewal: $old -> $app; old copy gone within 10 s;" \
        "$now_processes processes, $now_descriptors descriptors, PSS $(pss) MiB, $(copies) copy"
    [ "$(copies)" -eq 1 ] || fail "renewal $renewal: $(copies) copies run"
    [ "$now_processes" -eq "$fresh_processes" ] ||
        fail "renewal $renewal: $now_processes processes, $fresh_processes after a fresh start"
    [ "$now_descriptors" -eq "$fresh_descriptors" ] ||
        fail "renewal $renewal: $now_descriptors descriptors, $fresh_descriptors after a fresh start"
    wait_for 10 tray_icon || fail "renewal $renewal: no tray icon"
    [ -z "$(windows | grep -v "$(tray_icon | cut -d' ' -f1)")" ] ||
        fail "renewal $renewal: a window came with it: $(windows)"
    counts=$(curl -sk "https://127.0.0.1:$port/_control/log/counts")
    echo "$counts" | grep -qx 'POST /login 1' || fail "renewal $renewal: not one sign-in: $counts"
    [ -n "$shots" ] && import -window root "$shots/e2e-renewed-$renewal.png"
    if [ $renewal -eq 1 ]; then
        ctl article "title=更新後の記事" >/dev/null
        wait_for 90 count_popup || fail "no popup from the renewed copy for a new article"
        wait_for 10 grep -q '更新後の記事' "$dir/kelvo_top.txt" || fail "the snapshot does not hold the new text"
    fi
done
[ $popups -eq 1 ] || fail "the new article was told $popups times"
echo "the new article was told once"

# A member's window open does not hold the renewal off: the new copy takes
# the tray, the checks and the lock, the old process lives on for the window
# alone and ends with it.
old=$app
old_family=$(family "$old")
$as "$dir/KelvoMonitor" --top-page --webEngineArgs "$(engine_args)" || fail "--top-page did not reach the copy"
member_window() { windows | awk '$2 > 600 && $3 > 400 {print $1; exit}' | grep .; }
wait_for 30 member_window || fail "no member window"
window=$(member_window)
wait_for $((3 * tick)) sh -c "[ -n \"\$(sed -n 1p '$dir/KelvoMonitor.lock')\" ] && [ \"\$(sed -n 1p '$dir/KelvoMonitor.lock')\" != $old ]" ||
    fail "a member window held the renewal off"
app=$(holder)
sleep 5
kill -0 "$old" 2>/dev/null || fail "the old process did not wait for the member's window"
new_pss=$(for p in $(family "$app"); do awk '$1 == "Pss:" {print $2}' "/proc/$p/smaps_rollup" 2>/dev/null; done |
    awk '{t += $1} END {printf "%d", t / 1024}')
old_pss=$(for p in $(family "$old"); do awk '$1 == "Pss:" {print $2}' "/proc/$p/smaps_rollup" 2>/dev/null; done |
    awk '{t += $1} END {printf "%d", t / 1024}')
echo "member window open across a renewal: the new copy $app runs (PSS $new_pss MiB), the old process" \
    "$old lives on for the window (PSS $old_pss MiB)"
wait_for 10 tray_icon || fail "no tray icon from the new copy"
xdotool windowactivate --sync "$window" key ctrl+w
wait_for 15 none_left "$old_family" || fail "the old process did not end with the member's window"
echo "the old process ended with the member's window"

# The password changed on the site (the old session stays signed in).
ctl log/clear >/dev/null
curl -sfk -X POST "https://127.0.0.1:$port/_control/password" --data-urlencode mail=e2e@example.com \
    --data-urlencode "to=changed on the site" >/dev/null
wait_for $((3 * tick)) message_box || fail "the member was not told of the password refused at a renewal"
[ -n "$shots" ] && import -window root "$shots/e2e-renewal-refused.png"
xdotool windowactivate --sync "$(message_box)" key Return
wait_for 5 no_message_box || fail "the message box did not close"
sleep $((2 * tick + 5))
counts=$(curl -sk "https://127.0.0.1:$port/_control/log/counts")
echo "$counts" | grep -qx 'POST /login 1' || fail "the refused password was sent again: $counts"
[ "$(holder)" = "$app" ] || fail "a copy renewed with the refused password"
no_message_box || fail "the member was told twice"
[ "$(copies)" -eq 1 ] || fail "$(copies) copies run after the refusal"
echo "the refused password was told once and sent once in two more ticks"

$as "$dir/KelvoMonitor" --quit --webEngineArgs "$(engine_args)" || fail "--quit did not reach the newest copy"
wait_for 15 sh -c "[ -z \"\$(pgrep -u $member)\" ]" || fail "left after --quit: $(pgrep -u "$member" -a)"
echo "1 passed, 0 failed"
