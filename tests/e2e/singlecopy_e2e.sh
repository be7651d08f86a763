#!/bin/sh
# Started before the tray (as with the session), the program signs in at
# once, and its icon comes when a tray comes 10 s later. One copy per folder,
# on an X desktop against kelvo-service: a second start in the running copy's folder ends at once with status 0, changes no file
# and does not sign in, while the first keeps running; after the first was
# killed with SIGKILL the next start runs and signs in. Also --help and
# --version without a display, and a start without one.
# Usage: singlecopy_e2e.sh KELVOMONITOR KELVO-SERVICE SCRIPTS-DIR
set -eu
exe=$1 # before the desktop that lib.sh brings up

env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$exe" --version | grep -qx 'KelvoMonitor 0.05' ||
    { echo "FAIL: --version without a display" >&2; exit 1; }
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$exe" --help | grep -q -- '--webEngineArgs' ||
    { echo "FAIL: --help without a display" >&2; exit 1; }
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$exe" 2>/tmp/kelvo-nodisplay.$$ || status=$?
[ $status -eq 1 ] && [ "$(wc -l </tmp/kelvo-nodisplay.$$)" -eq 1 ] ||
    { echo "FAIL: a start without a display gave status $status" >&2; exit 1; }
rm -f /tmp/kelvo-nodisplay.$$
echo "--help, --version and no display: fine"

late_tray=1
. "$(dirname "$0")/lib.sh"

posts() { curl -sk "https://127.0.0.1:$port/_control/log" | grep -o '"path":"/login","fields":{"user_email"' | wc -l; }
started=$(date +%s)
wait_for 60 signed_in || fail "no sign-in without a tray"
tray_icon && fail "a tray icon without a tray"
sleep $((started + 10 - $(date +%s))) 2>/dev/null || true
start_tray
wait_for 10 tray_icon || fail "no tray icon after a tray came up 10 s late"
echo "started before the tray: signed in at once, the icon came with the tray"
files_before=$(ls -la --time-style=+%s.%N "$work" | grep -v 'program.log\|failure.png')

started=$(date +%s)
status=0
"$work/KelvoMonitor" --webEngineArgs "--host-resolver-rules=MAP kelvo.example 127.0.0.1:$port" \
    --ignore-certificate-errors >/dev/null 2>&1 || status=$?
[ $status -eq 0 ] || fail "the second start ended with status $status"
[ $(($(date +%s) - started)) -le 5 ] || fail "the second start took more than 5 s to end"
sleep 1
[ "$(posts)" -eq 1 ] || fail "the second start signed in"
kill -0 "$app" 2>/dev/null || fail "the first copy ended"
[ "$(ls -la --time-style=+%s.%N "$work" | grep -v 'program.log\|failure.png')" = "$files_before" ] ||
    fail "the second start changed the folder"
# the running copy says so in a balloon by its icon
balloon() { windows | awk '$2 > 150 && $2 < 600 && $3 < 150 {print; exit}' | grep .; }
wait_for 10 balloon || fail "the running copy gave no sign of being there"
[ -n "$shots" ] && import -window root "$shots/e2e-already-running.png"
echo "second start in the same folder: ended at once, nothing changed, no sign-in"

kill -KILL "$app"
wait_for 10 sh -c "! kill -0 $app 2>/dev/null" || fail "SIGKILL did not end the first copy"
"$work/KelvoMonitor" --webEngineArgs "--host-resolver-rules=MAP kelvo.example 127.0.0.1:$port" \
    --ignore-certificate-errors >"$work/program2.log" 2>&1 &
app=$!
pids="$app $pids"
wait_for 60 sh -c "[ \$(curl -sk https://127.0.0.1:$port/_control/log | grep -c '\"path\":\"/login\",\"fields\":{\"user_email\"') -ge 2 ]" ||
    fail "the start after SIGKILL did not sign in"
kill -0 "$app" 2>/dev/null || fail "the start after SIGKILL ended"
echo "start after SIGKILL: runs and signs in"
kill -TERM "$app"
wait_for 15 sh -c "! kill -0 $app 2>/dev/null" || fail "the program did not end on SIGTERM"

# A first start asks for the address; a --check that comes meanwhile is held
# and carried out once the main window exists, never lost.
first="$work/first"
mkdir -p "$first"
cp "$exe" "$first/KelvoMonitor"
"$first/KelvoMonitor" --webEngineArgs "$(engine_args)" --ignore-certificate-errors >"$first/program.log" 2>&1 &
app=$!
pids="$app $pids"
login_dialog() { windows | awk '$2 > 300 && $2 < 600 && $3 > 100 && $3 < 300 {print; exit}' | grep .; }
wait_for 30 login_dialog || fail "a first start asked for no address"
"$first/KelvoMonitor" --check || fail "--check during the first start's dialog was not handed over"
set -- $(login_dialog)
xdotool windowactivate --sync "$1"
xdotool type --delay 20 'e2e@example.com'
xdotool key Tab
xdotool type --delay 20 'e2e pass'
xdotool key Return
wait_for 60 sh -c "[ \$(curl -sk https://127.0.0.1:$port/_control/log | grep -c '\"path\":\"/login\",\"fields\":{\"user_email\"') -ge 3 ]" ||
    fail "the first start did not sign in"
wait_for 30 message_box || fail "the --check given during the first start's dialog was lost"
xdotool windowactivate --sync "$(message_box)" key Return
echo "a --check during the first start's dialog is carried out once the program runs"

# A start that cannot hand its command to the copy that holds the folder
# (its channel gone) says so and fails.
rm -f "${XDG_RUNTIME_DIR:-/nonexistent}"/KelvoMonitor-* "$first/KelvoMonitor.socket"
status=0
"$first/KelvoMonitor" --check 2>"$first/handover.err" || status=$?
[ $status -eq 1 ] && grep -q 'could not be reached' "$first/handover.err" ||
    fail "a start that could not hand over its command ended with status $status"
echo "a command that could not be handed over: status 1, said on standard error"
kill -TERM "$app"
wait_for 15 sh -c "! kill -0 $app 2>/dev/null" || fail "the program did not end on SIGTERM"
echo "1 passed, 0 failed"
