#!/bin/sh
# The password in the desktop's keyring, as an ordinary member with the
# engine's sandbox on, on the member's own session bus with GNOME Keyring
# unlocked at login: 設定's box, ticked from the keyboard, moves the password
# into the keyring and out of settings.ini (every other byte kept); a
# renewal reads it from there; the keyring locked before a start: the
# desktop's prompt, no password sent and no login dialog until the member
# unlocks it, then signed in at the next tick; the password's bytes in no
# file, log, command line or environment; unticked, back in the file and
# gone from the keyring.
# Usage: keyring_e2e.sh KELVOMONITOR KELVO-SERVICE SCRIPTS-DIR
set -eu
. "$(dirname "$0")/member.sh"
own_start=1
. "$(dirname "$0")/lib.sh"
member_copy
printf '[mail]\naddress=e2e@example.com\npwd=e2e pass\n[url]\nfavorite=https://kelvo.example/mypage\n' >"$dir/settings.ini"
chown "$member:" "$dir/settings.ini" 2>/dev/null || true
before_settings=$(cat "$dir/settings.ini")
# A home of the member's own for the keyring, as at a fresh login.
keyhome="$work/home"
mkdir -m 700 "$keyhome"
[ -z "$as" ] || chown "$member:" "$keyhome"
asm=${as:+$(echo "$as" | sed "s|HOME=[^ ]*|HOME=$keyhome|")}
[ -n "$asm" ] || asm="env HOME=$keyhome"
bus=$($asm dbus-daemon --session --fork --print-address=1 --print-pid=1)
address=$(echo "$bus" | sed -n 1p)
pids="$(echo "$bus" | sed -n 2p) $pids"
session="env DBUS_SESSION_BUS_ADDRESS=$address"
printf %s keyring-login | $asm $session gnome-keyring-daemon --unlock --components=secrets >/dev/null
lookup() { $asm $session secret-tool lookup xdg:schema example.kelvo.KelvoMonitor username e2e@example.com; }
secrets() {
    $asm $session dbus-send --session --print-reply --dest=org.freedesktop.secrets /org/freedesktop/secrets \
        "org.freedesktop.Secret.Service.$1" array:objpath:/org/freedesktop/secrets/collection/login >/dev/null
}
sign_ins() { curl -sk "https://127.0.0.1:$port/_control/log" | grep -o '"POST","path":"/login"' | wc -l; }
holder() { sed -n 1p "$dir/KelvoMonitor.lock" 2>/dev/null; }
shot() { [ -z "$shots" ] || import -window root "$shots/keyring-$1.png"; }
start() {
    # shellcheck disable=SC2086
    $asm $session KELVO_TICK_MS=3000 QT_LOGGING_RULES='kelvo.keyring.info=true;kelvo.start.info=true' "$@" \
        "$dir/KelvoMonitor" --webEngineArgs "$(engine_args)" --ignore-certificate-errors >>"$work/program.log" 2>&1 &
    app=$!
    pids="$app $pids"
}
# 設定 (427 x 226) or the login dialog (427 x 170)
settings_window() { windows | awk '$2 >= 427 && $2 <= 429 && (($3 >= 226 && $3 <= 228) || ($3 >= 170 && $3 <= 172)) {print $1; exit}' | grep .; }
no_settings_window() { ! settings_window; }
# 設定 from a later start, and its keyring box toggled from the keyboard
# (Tab from ログイン設定: お気に入り設定, 閉じる, ログイン時に起動する, the box).
toggle_keyring() {
    app=$(holder) # whichever copy runs now
    $asm $session "$dir/KelvoMonitor" --settings --webEngineArgs "$(engine_args)" || fail "--settings did not reach the copy"
    wait_for 20 settings_window || fail "no settings window: $(windows)"
    xdotool windowactivate --sync "$(settings_window)" 2>/dev/null || true
    sleep 0.5 # the box is enabled once the keyring answers
    shot "settings-$1"
    xdotool key --delay 80 Tab Tab Tab Tab space
    sleep 0.5
    xdotool key Escape
    wait_for 10 no_settings_window || fail "設定 did not close"
}

start env KELVO_RENEW_AFTER_CHECKS=2
wait_for 60 signed_in || fail "no first sign-in"
wait_for 20 tray_icon || fail "no tray icon"
toggle_keyring on
[ "$(lookup)" = "e2e pass" ] || fail "the keyring does not hold the password: '$(lookup)' $(tail -5 "$work/program.log")"
expected=$(printf '[mail]\naddress=e2e@example.com\nkeyring=1\n[url]\nfavorite=https://kelvo.example/mypage')
[ "$(cat "$dir/settings.ini")" = "$expected" ] || fail "settings.ini after the tick: $(cat "$dir/settings.ini")"
echo "ticked: the password is in the keyring, and settings.ini holds every other line as it was"

first=$(holder)
wait_for 60 sh -c "[ -n \"\$(sed -n 1p '$dir/KelvoMonitor.lock')\" ] && [ \"\$(sed -n 1p '$dir/KelvoMonitor.lock')\" != '$first' ]" ||
    fail "no renewal: $(tail -5 "$work/program.log")"
renewed=$(holder)
app=$renewed
wait_for 20 sh -c "grep -q 'the new copy is ready' '$work/program.log'" || fail "the renewed copy never ran"
ctl log/clear >/dev/null
echo "renewed from the keyring's password (copy $first, then $renewed)"
$asm $session "$dir/KelvoMonitor" --quit --webEngineArgs "$(engine_args)"
wait_for 30 sh -c "! pgrep -u $member -x KelvoMonitor" || fail "--quit left $(pgrep -a -u "$member")"

# Locked before a start: the desktop's prompt, and nothing sent meanwhile.
secrets Lock
start
prompter() { xdotool search --all --onlyvisible --class gcr-prompter 2>/dev/null | head -1 | grep .; }
wait_for 30 prompter || fail "no unlock prompt from the desktop: $(tail -5 "$work/program.log")"
sleep 4 # a tick or two come and go
shot locked
[ "$(sign_ins)" -eq 0 ] || fail "a password was sent while the keyring was locked"
no_message_box || fail "a message while the keyring waits: $(message_box)"
[ -z "$(settings_window || true)" ] || fail "a dialog while the keyring waits"
# The member's check meanwhile is told why, and sends nothing either.
$asm $session "$dir/KelvoMonitor" --check --webEngineArgs "$(engine_args)" || fail "--check did not reach the copy"
wait_for 15 message_box || fail "--check while the keyring waits told nothing"
shot check-while-locked
[ "$(sign_ins)" -eq 0 ] || fail "--check sent the password while the keyring was locked"
# The desktop's prompt keeps the keyboard until it is answered.
xdotool windowactivate --sync "$(prompter)" 2>/dev/null || true
xdotool type --delay 40 keyring-login
xdotool key Return
wait_for 10 sh -c '! xdotool search --all --onlyvisible --class gcr-prompter' || fail "the prompt stayed"
shot check-message
xdotool windowactivate --sync "$(message_box)" key Return
wait_for 10 no_message_box || fail "the message did not close"
wait_for 20 signed_in || fail "not signed in after the unlock: $(tail -5 "$work/program.log")"
[ "$(sign_ins)" -eq 1 ] || fail "$(sign_ins) sign-ins after the unlock"
echo "locked: the desktop's prompt, no password sent, no dialog; unlocked: signed in"

# The password's bytes: only where chosen, the keyring's own (encrypted) file.
found=$(grep -rlF "e2e pass" "$home" "$keyhome" "$dir" "$work/program.log" 2>/dev/null || true)
[ -z "$found" ] || fail "the password is in $found"
for p in $(pgrep -u "$member"); do
    for f in cmdline environ; do
        ! grep -qF "e2e pass" "/proc/$p/$f" 2>/dev/null || fail "the password is in /proc/$p/$f ($(tr '\0' ' ' <"/proc/$p/cmdline"))"
    done
done
echo "the password is in no file of the member's, no log, no command line and no environment"

toggle_keyring off
[ "$(cat "$dir/settings.ini")" = "$before_settings" ] || fail "settings.ini after the untick: $(cat "$dir/settings.ini")"
[ -z "$(lookup || true)" ] || fail "the keyring still holds the password"
echo "unticked: the password is back in settings.ini, byte for byte, and gone from the keyring"

$asm $session "$dir/KelvoMonitor" --quit --webEngineArgs "$(engine_args)"
wait_for 30 sh -c "! pgrep -u $member -x KelvoMonitor" || fail "--quit left $(pgrep -a -u "$member")"
echo "1 passed, 0 failed"
