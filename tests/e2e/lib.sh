# Shared by the X11 end-to-end scripts: an X desktop, kelvo-service (through
# common.sh), the program, and ways to find the program's windows. Source it
# from a script called as
#   SCRIPT KELVOMONITOR KELVO-SERVICE SCRIPTS-DIR
# it sets $exe, $service, $scripts, $shots (where screenshots go, if
# anywhere), $work, $port, $app and a trap that cleans up. With own_start
# set, the script starts the program itself (and sets $app).
exe=$1
service=$2
scripts=$3
shots=${KELVO_SCREENSHOT_DIR:-}
failure_screenshot() { [ -n "${DISPLAY:-}" ] && import -window root "$1"; }
. "$(dirname "$0")/common.sh"

# With late_tray set, the desktop comes without a tray; start_tray brings it.
eval "$(KELVO_TRAY=${late_tray:+none} "$scripts/desktop")"
pids="$KELVO_DESKTOP_PIDS $pids"
start_tray() { pids="$(KELVO_TRAY=only "$scripts/desktop") $pids"; }
screen_w=$(xdpyinfo | awk '/dimensions:/{split($2, d, "x"); print d[1]; exit}')

# start_program DIR PASSWORD: a copy of the program in DIR, signing in as
# e2e@example.com with PASSWORD, in the background ($! is its pid)
start_program() {
    mkdir -p "$1"
    cp "$exe" "$1/KelvoMonitor"
    printf '[mail]\naddress=e2e@example.com\npwd=%s\n' "$2" >"$1/settings.ini"
    "$1/KelvoMonitor" --webEngineArgs "$(engine_args)" --ignore-certificate-errors >"$1/program.log" 2>&1 &
}
. "$(dirname "$0")/windows.sh"
if [ -z "${own_start:-}" ]; then
    start_program "$work" "e2e pass"
    app=$!
    pids="$app $pids"
fi
