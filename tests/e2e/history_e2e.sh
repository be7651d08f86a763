#!/bin/sh
# 新着の履歴 as an ordinary member meets it, with the engine's sandbox on:
# three articles come on three ticks while the first popup stays unanswered,
# then a title is edited; each change is an entry of its own in the private
# record, the tip counts them unseen, and the window (from the tray menu and
# from a later start's --history) shows them newest first with their times,
# named on the accessibility bus; the keyboard alone opens the top page from
# the second entry, and the window's place is kept.
# Usage: history_e2e.sh KELVOMONITOR KELVO-SERVICE SCRIPTS-DIR
set -eu
. "$(dirname "$0")/member.sh"
own_start=1
. "$(dirname "$0")/lib.sh"
member_copy
# The member's own session bus, on which the accessibility bus starts.
bus=$($as dbus-daemon --session --fork --print-address=1 --print-pid=1)
address=$(echo "$bus" | sed -n 1p)
pids="$(echo "$bus" | sed -n 2p) $pids"
session="env DBUS_SESSION_BUS_ADDRESS=$address QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1"
# The member reads the accessibility bus with a copy of ours that it may read
# (a clone of the sources may be root's alone).
cp "$(dirname "$0")/atspi.py" "$work/atspi.py"
chmod 644 "$work/atspi.py"
a11y() { $as $session /usr/bin/python3 "$work/atspi.py" "$@" 2>/dev/null; }
# shellcheck disable=SC2086
$as $session KELVO_RENEW_AFTER_CHECKS=0 KELVO_TICK_MS=3000 QT_LOGGING_RULES='kelvo.check.info=true' \
    "$dir/KelvoMonitor" --webEngineArgs "$(engine_args)" --ignore-certificate-errors >"$work/program.log" 2>&1 &
app=$!
pids="$app $pids"
shot() { [ -z "$shots" ] || import -window root "$shots/history-$1.png"; }
record="$dir/kelvo_history.json"
entries() { grep -c '"found"' "$record" 2>/dev/null || echo 0; }
schedule() {
    curl -sfk -X POST "https://127.0.0.1:$port/_control/schedule" --data-urlencode "after-ms=$1" \
        --data-urlencode "title=$2" ${3:+--data-urlencode "edit=$3"} >/dev/null
}
history_window() { a11y windows | grep -q '| 新着の履歴 |'; }
no_history_window() { ! history_window; }
items() { a11y controls | grep '^新着の履歴 | list item | ' | cut -d'|' -f3- | sed 's/^ //'; }

wait_for 60 test -s "$dir/kelvo_top.txt" || fail "no first look at the top page"
first=$(ctl article "title=第1回 勉強会のお知らせ")
wait_for 30 popup || fail "no popup for the first article"
schedule 5000 "会員限定セールのご案内"
schedule 11000 "年末年始の営業について"
schedule 17000 "第1回 勉強会の日程変更のお知らせ" "$first"
wait_for 60 sh -c "[ \$(grep -c '\"found\"' '$record') -ge 4 ]" ||
    fail "the record holds $(entries) entries, not 4: $(cat "$record" 2>&1)"
popup >/dev/null || fail "the popup went away unanswered"
[ "$(stat -c '%a %U' "$record")" = "600 $member" ] || fail "the record is $(stat -c '%a %U' "$record")"
sleep 4 # one tick more finds nothing new: still four
[ "$(entries)" -eq 4 ] || fail "a tick with nothing new added an entry: $(entries)"
grep -q '"was": "第1回 勉強会のお知らせ"' "$record" || fail "the edit does not say what it replaced: $(cat "$record")"
echo "three articles and an edit while the popup waited: four entries, private to the member"

# The tip, hovered on the tray's icon, read from the accessibility bus (once
# the program is there: the popup is).
on_bus() { a11y windows | grep -q '新着記事があります'; }
wait_for 30 on_bus || fail "the program is not on the accessibility bus: $(a11y windows)"
icon=$(tray_icon) || fail "no tray icon"
set -- $icon
tip() {
    xdotool mousemove 10 10 sleep 0.3 mousemove $(($4 + $2 / 2)) $(($5 + $3 / 2)) sleep 0.3 \
        mousemove $(($4 + $2 / 2 + 1)) $(($5 + $3 / 2)) sleep 1.5
    a11y windows | grep -q '未確認の新着 4 件'
}
wait_for 20 tip "$@" || fail "the tip does not count 4 unseen: $(a11y windows)"
shot tip
xdotool mousemove 10 10
echo "the tip says 未確認の新着 4 件"

menu_item 3 # 新着の履歴
wait_for 20 history_window || fail "no history window from the tray menu: $(a11y windows)"
shot window
got=$(items)
[ "$(echo "$got" | wc -l)" -eq 4 ] || fail "the window shows
$got"
stamp='未確認 20[0-9][0-9]/[01][0-9]/[0-3][0-9] [0-2][0-9]:[0-5][0-9]'
echo "$got" | sed -n 1p | grep -q "^$stamp / 第1回 勉強会の日程変更のお知らせ（変更前: 第1回 勉強会のお知らせ）$" ||
    fail "the newest entry is not the edit: $got"
echo "$got" | sed -n 2p | grep -q "^$stamp / 年末年始の営業について$" || fail "the second is not the third article: $got"
echo "$got" | sed -n 3p | grep -q "^$stamp / 会員限定セールのご案内$" || fail "the third is not the second article: $got"
echo "$got" | sed -n 4p | grep -q "^$stamp / 第1回 勉強会のお知らせ$" || fail "the oldest is not the first article: $got"
has_control() { a11y controls | grep -qF "新着の履歴 | $1"; }
for control in 'list | 新着の履歴' 'push button | 開く(O)' 'push button | 履歴を消去(D)' 'push button | 閉じる'; do
    wait_for 5 has_control "$control" || fail "no '$control' on the bus: $(a11y controls)"
done
echo "the window: four entries newest first with their local times, the edit with what it replaced, named"

browsers() { windows | awk '$2 >= 600 && $3 >= 400 {print $1}'; }
before=$(browsers)
a11y focused | grep -q '^list item | 未確認 .*日程変更' || fail "the keyboard is on '$(a11y focused)'"
xdotool key Down
a11y focused | grep -q '^list item | 未確認 .*年末年始' || fail "Down went to '$(a11y focused)'"
xdotool key Return
new_window() {
    for w in $(browsers); do
        echo "$before" | grep -qx "$w" || { [ "$(title "$w")" = "Kelvo+" ] && return 0; }
    done
    return 1
}
wait_for 30 new_window || fail "Enter on the second entry opened no member window on the top page"
shot opened
echo "Enter on the second entry opened the top page"

# Seen now: the tip no longer counts them. The window closes with Esc, and
# its place is kept for the next time.
wait_for 10 history_window || fail "the history window is gone"
xdotool search --all --onlyvisible --pid "$app" --name '^新着の履歴$' windowactivate --sync 2>/dev/null || true
xdotool key Escape
wait_for 10 no_history_window || fail "Esc did not close the history window"
grep -q '"seen"' "$record" || fail "opening the window did not mark the entries seen"
grep -q '^\[history\]' "$dir/browser.ini" || fail "the window's place was not kept: $(cat "$dir/browser.ini" 2>&1)"
$as $session "$dir/KelvoMonitor" --history --webEngineArgs "$(engine_args)" || fail "--history did not reach the copy"
wait_for 20 history_window || fail "no history window from --history"
items | sed -n 1p | grep -q '^20' || fail "seen entries are still shown unseen: $(items)"
shot window-again
echo "--history shows it again, the entries seen"

for w in $(browsers); do
    xdotool windowactivate --sync "$w" key ctrl+w 2>/dev/null || true
done
wait_for 10 sh -c "[ -z \"\$(xdotool search --all --onlyvisible --pid $app --name '^Kelvo\\+$' 2>/dev/null)\" ]" ||
    fail "Ctrl+W did not close the member window"
$as $session "$dir/KelvoMonitor" --quit --webEngineArgs "$(engine_args)"
wait_for 20 sh -c "! kill -0 $app 2>/dev/null" || fail "--quit did not end the program"
wait_for 10 sh -c "! pgrep -u $member -f '$dir/KelvoMonitor'" || fail "left behind: $(pgrep -a -u "$member")"
echo "1 passed, 0 failed"
