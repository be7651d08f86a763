#!/bin/sh
# What a screen reader gets of the program, from the desktop's accessibility
# bus (AT-SPI on a private session bus, as Orca reads it): the first-run
# login dialog, the settings window, the favorite dialog and the popup, each
# with its name and role, each walked with Tab from the keyboard alone, and
# answered from the keyboard (Enter, Esc).
# Usage: accessibility_e2e.sh KELVOMONITOR KELVO-SERVICE SCRIPTS-DIR
set -eu
own_start=1
. "$(dirname "$0")/lib.sh"
bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1)
DBUS_SESSION_BUS_ADDRESS=$(echo "$bus" | sed -n 1p)
export DBUS_SESSION_BUS_ADDRESS
pids="$(echo "$bus" | sed -n 2p) $pids"
cleanup_more() { pkill -f at-spi-bus-launcher 2>/dev/null || true; pkill -f at-spi2-registryd 2>/dev/null || true; }
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
a11y() { /usr/bin/python3 "$(dirname "$0")/atspi.py" "$@" 2>/dev/null; }
has_window() { a11y windows | grep -q -- "$1"; }
no_window() { ! has_window "$1"; }

mkdir "$work/app"
cp "$exe" "$work/app/KelvoMonitor" # no settings: the first run asks
KELVO_TICK_MS=10000 "$work/app/KelvoMonitor" --webEngineArgs "$(engine_args)" --ignore-certificate-errors \
    >"$work/program.log" 2>&1 &
app=$!
pids="$app $pids"

# expect_controls WINDOW LINE...: the window's controls are these ("role | name")
expect_controls() {
    window=$1
    shift
    got=$(a11y controls | grep -F -- "$window |" | cut -d'|' -f2- | sed 's/^ //' | grep -v '^label |' | sort)
    want=$(for c in "$@"; do echo "$c"; done | sort)
    [ "$got" = "$want" ] || fail "$window: a screen reader gets
$got
instead of
$want"
}
# tab_walk LINE...: the keyboard starts on the first, Tab goes through the
# others in turn and comes back to the first
tab_walk() {
    first=$1
    for want in "$@" "$first"; do
        wait_for 3 sh -c "[ \"\$(/usr/bin/python3 '$(dirname "$0")/atspi.py' focused 2>/dev/null)\" = '$want' ]" ||
            fail "Tab: the keyboard is on '$(a11y focused)', not on '$want'"
        [ "$want" = "$first" ] && [ -n "${walked:-}" ] && break
        walked=1
        xdotool key Tab
    done
    walked=""
}

wait_for 60 has_window 'Kelvo+ログイン' || fail "no login dialog on the accessibility bus: $(a11y windows)"
a11y windows | grep -q '^dialog | Kelvo+ログイン |' || fail "the login dialog is no dialog: $(a11y windows)"
expect_controls 'Kelvo+ログイン' 'text | メールアドレス' 'password text | パスワード' 'push button | ログイン' \
    'push button | 閉じる'
tab_walk 'text | メールアドレス' 'password text | パスワード' 'push button | ログイン' 'push button | 閉じる'
[ -n "$shots" ] && import -window root "$shots/e2e-a11y-login.png"
xdotool type --delay 20 'e2e@example.com'
xdotool key Tab
xdotool type --delay 20 'e2e pass'
xdotool key Return
wait_for 60 signed_in || fail "Enter in the login dialog did not sign in"
echo "login dialog: named, its fields named by their labels, Tab in reading order, Enter signs in"

"$work/app/KelvoMonitor" --settings --webEngineArgs "$(engine_args)" || fail "--settings did not reach the copy"
wait_for 20 has_window 'Kelvo+ログイン' || fail "no settings window on the bus: $(a11y windows)"
expect_controls 'Kelvo+ログイン' 'push button | ログイン設定' 'push button | お気に入り設定' 'push button | 閉じる' \
    'check box | ログイン時に起動する' 'check box | パスワードをキーリングに保存する'
# The session's keyring (started by the bus for the dialog's question) lets the box be chosen.
tab_walk 'push button | ログイン設定' 'push button | お気に入り設定' 'push button | 閉じる' 'check box | ログイン時に起動する' \
    'check box | パスワードをキーリングに保存する'
xdotool key Tab space # お気に入り設定
wait_for 10 has_window 'お気に入り設定' || fail "no favorite dialog on the bus: $(a11y windows)"
expect_controls 'お気に入り設定' 'text | お気に入りのＵＲＬを設定します' 'push button | 設定' 'push button | 閉じる'
tab_walk 'text | お気に入りのＵＲＬを設定します' 'push button | 設定' 'push button | 閉じる'
[ -n "$shots" ] && import -window root "$shots/e2e-a11y-favorite.png"
xdotool key Escape
wait_for 10 no_window 'お気に入り設定' || fail "Esc did not close the favorite dialog"
echo "settings and favorite: named, Tab in reading order, Space presses, Esc closes"

wait_for 60 test -s "$work/app/kelvo_top.txt" || fail "no first look at the top page"
ctl article "title=読み上げの記事" >/dev/null
wait_for 60 has_window '^notification | 新着記事があります | .*読み上げの記事' ||
    fail "no popup announced on the bus: $(a11y windows)"
[ "$(a11y focused)" = 'push button | 開く' ] || fail "the popup's keyboard is on '$(a11y focused)', not on 開く"
[ -n "$shots" ] && import -window root "$shots/e2e-a11y-popup.png"
xdotool key Escape
wait_for 10 no_window 'notification | 新着記事があります' || fail "Esc did not close the popup"
echo "popup: a notification named 新着記事があります, what is new as its description, 開く focused"

"$work/app/KelvoMonitor" --quit --webEngineArgs "$(engine_args)"
wait_for 20 sh -c "! kill -0 $app 2>/dev/null" || fail "--quit did not end the program"
echo "1 passed, 0 failed"
