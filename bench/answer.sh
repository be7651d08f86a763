#!/bin/sh
# How long one of the member's windows takes to answer a key while a check
# runs, against a quiet moment in the same run: Return in the address bar of
# a お気に入り window, timed until kelvo-service sees the page asked for.
# Three of each. Run alone, on a machine at rest:
#   bench/answer.sh BUILD-DIR
set -eu
account="bench@example.com:bench pass"
. "$(dirname "$0")/common.sh"
cp "$build/KelvoMonitor" "$work/"
printf '[mail]\naddress=bench@example.com\npwd=bench pass\n[url]\nfavorite=https://kelvo.example/mypage/favorites\n' \
    >"$work/settings.ini"
run() { "$work/KelvoMonitor" "$@" --webEngineArgs "--host-resolver-rules=MAP kelvo.example 127.0.0.1:$port" \
    --ignore-certificate-errors; }
run >"$work/program.log" 2>&1 &
pids="$! $pids"
sleep 12
run --favorite
sleep 6
window=$(xdotool search --onlyvisible --name "お気に入り" | head -1)
asked() { curl -sk "https://127.0.0.1:$port/_control/log/counts" | awk '$2 == "/mypage/favorites" {print $3}'; }
answer() {
    xdotool windowactivate --sync "$window" key ctrl+l
    xdotool type --delay 20 "https://kelvo.example/mypage/favorites"
    before=$(asked)
    if [ "$1" = "during a check" ]; then
        run --check
        sleep 1 # the check reads the page for three seconds
    fi
    t0=$(date +%s%N)
    xdotool key Return
    while [ "$(asked)" = "$before" ]; do sleep 0.01; done
    echo "$1: $((($(date +%s%N) - t0) / 1000000)) ms"
    sleep 6
    xdotool key Return # the check's message, if one came
    sleep 1
}
for _ in 1 2 3; do
    answer "quiet"
    answer "during a check"
done
