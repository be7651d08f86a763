#!/bin/sh
# A laptop's sleep, ROUNDS times in a row: the whole process tree of the
# program (run as the ordinary user "member", the engine's sandbox on) is
# stopped for SECONDS and woken, beside a second copy of the program kept
# busy (its own folder, a tick every 5 s, and a shell loop spinning a core).
# After each wake the copy, or the copy it renewed itself into, must check
# again (a new request for the top page) within three ticks. It prints one
# line a round, and at the end the copy's exit status and any core file.
# Run by hand, alone, as root:
#   bench/sleep.sh BUILD-DIR [ROUNDS] [SECONDS]      (10 rounds of 60 s)
set -eu
rounds=${2:-10}
seconds=${3:-60}
tick=20
account="sleep@example.com:sleep pass"
# No articles: a popup waiting for the member holds the ticks, as it should.
keep_work=1
cleanup_more() { pkill -KILL -u "$user" 2>/dev/null || true; }
. "$(dirname "$0")/common.sh"
[ "$(id -u)" -eq 0 ] || { echo "run it as root" >&2; exit 1; }
# The busy copy has a site of its own: only our copy's requests are counted.
"$build/tools/kelvo-service/kelvo-service" --port 0 --account "sleep@example.com:sleep pass" >"$work/busy.out" &
pids="$! $pids"
sleep 1
busy_port=$(awk '/^PORT /{print $2}' "$work/busy.out")
# copy DIR TICK_MS PORT: a copy of the program in DIR, its status kept in DIR/status
copy() {
    mkdir -p "$1"
    cp "$build/KelvoMonitor" "$1/"
    printf '[mail]\naddress=sleep@example.com\npwd=sleep pass\n' >"$1/settings.ini"
    chown -R member: "$1"
    # shellcheck disable=SC2016
    $as sh -c 'ulimit -c unlimited; cd "$1"; KELVO_TICK_MS=$2 QT_LOGGING_RULES="kelvo.*.info=true" \
        ./KelvoMonitor --webEngineArgs "--host-resolver-rules=MAP kelvo.example 127.0.0.1:$3" \
        --ignore-certificate-errors >program.log 2>&1; echo $? >status' - "$1" "$2" "$3" &
}
copy "$work/busy" 5000 "$busy_port"
pids="$! $pids"
( while :; do :; done ) &
pids="$! $pids"
copy "$work/app" $((tick * 1000)) "$port"
sleep 30
holder() { sed -n 1p "$work/app/KelvoMonitor.lock" 2>/dev/null; }
family() {
    echo "$1"
    for c in $(pgrep -P "$1"); do family "$c"; done
}
tops() { curl -sk "https://127.0.0.1:$port/_control/log" | grep -o '"path":"/"' | wc -l; }
ok=0
r=1
while [ "$r" -le "$rounds" ]; do
    app=$(holder)
    if [ -z "$app" ] || ! kill -0 "$app" 2>/dev/null; then
        echo "round $r: no copy runs (status $(cat "$work/app/status" 2>/dev/null || echo '?'))"
        break
    fi
    tree=$(family "$app")
    # shellcheck disable=SC2086
    kill -STOP $tree
    sleep "$seconds"
    before=$(tops)
    # shellcheck disable=SC2086
    kill -CONT $tree 2>/dev/null || true
    i=0
    while [ $i -lt $((tick * 3)) ] && [ "$(tops)" -le "$before" ]; do
        sleep 1
        i=$((i + 1))
    done
    now=$(holder)
    if [ "$(tops)" -gt "$before" ]; then
        ok=$((ok + 1))
        echo "round $r: checked ${i} s after the wake$([ "$now" != "$app" ] && echo " (renewed: $app -> $now)")"
    else
        echo "round $r: no check within $((tick * 3)) s of the wake (copy $now)"
    fi
    r=$((r + 1))
done
echo "$ok of $rounds rounds checked after the wake"
echo "the copy's exit status: $(cat "$work/app/status" 2>/dev/null || echo 'still running')"
ls "$work/app"/core* 2>/dev/null || echo "no core file"
grep -E 'WARNING|kelvo\.[a-z]*: (renderer|a renderer|renewing|closing)|zygote|Did not receive' "$work/app/program.log" | sort | uniq -c | sort -rn | head -20
echo "logs: $work"
