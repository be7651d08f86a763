#!/bin/sh
# The program alone at rest, as a member leaves it: the real executable as
# an ordinary member with the engine's sandbox on, ticks every 20 s against
# kelvo-service. For each way of running it, one after the other in this
# run, it prints the PSS of the member's processes and how many there are,
# sampled half way between two ticks (median of TICKS samples), and the CPU
# time of one tick's check (mean; renderers that ended counted). The first
# way is the code's pages kept mapped at rest (as before they were let go).
# Run it alone, as root (the program runs as the user "member") or as that
# user:
#   bench/rest.sh BUILD-DIR [TICKS] [SWITCHES...]
# Each SWITCHES argument adds one more way: engine switches tried on top.
set -eu
ticks=${2:-10}
tick=20
account="rest@example.com:rest pass"
. "$(dirname "$0")/common.sh"
shift $(($# < 2 ? $# : 2))

pss() {
    for p in $(pgrep -u "$user"); do awk '$1 == "Pss:" {print $2}' "/proc/$p/smaps_rollup" 2>/dev/null; done |
        awk '{t += $1} END {printf "%.1f", t / 1024}'
}
# CPU seconds of the member's processes, with their ended children
cpu() {
    for p in $(pgrep -u "$user"); do
        sed 's/^.*) //' "/proc/$p/stat" 2>/dev/null | awk '{print $12 + $13 + $14 + $15}'
    done | awk -v hz="$(getconf CLK_TCK)" '{t += $1} END {printf "%.2f", t / hz}'
}
median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# way LABEL ENV SWITCHES
way() {
    dir="$work/app.$(date +%s%N)"
    mkdir "$dir"
    cp "$build/KelvoMonitor" "$dir/"
    printf '[mail]\naddress=rest@example.com\npwd=rest pass\n' >"$dir/settings.ini"
    [ -z "$as" ] || chown -R member: "$dir"
    # shellcheck disable=SC2086
    $as env KELVO_RENEW_AFTER_CHECKS=0 KELVO_TICK_MS=$((tick * 1000)) $2 "$dir/KelvoMonitor" \
        --webEngineArgs "--host-resolver-rules=MAP kelvo.example 127.0.0.1:$port $3" \
        --ignore-certificate-errors >"$dir/program.log" 2>&1 &
    # the first tick comes a tick after the sign-in; sample half way after each
    sleep $((tick + tick / 2 + 2))
    : >"$work/pss"
    : >"$work/procs"
    before=$(cpu)
    i=0
    while [ $i -lt "$ticks" ]; do
        pss >>"$work/pss"
        echo >>"$work/pss"
        pgrep -u "$user" | wc -l >>"$work/procs"
        sleep $tick
        i=$((i + 1))
    done
    after=$(cpu)
    printf '%-34s %8s MiB %6s %10s s\n' "$1" "$(grep . "$work/pss" | median)" "$(median <"$work/procs")" \
        "$(echo "$before $after $ticks" | awk '{printf "%.3f", ($2 - $1) / $3}')"
    pkill -TERM -u "$user" -x KelvoMonitor || true
    sleep 3
    pkill -KILL -u "$user" 2>/dev/null || true
    sleep 1
}

echo "rest.sh: $ticks ticks of ${tick} s each way"
printf '%-34s %12s %6s %12s\n' "way" "PSS" "procs" "CPU/check"
way "code pages kept (before)" "KELVO_KEEP_CODE_PAGES=1" ""
way "as built" "" ""
for switches in "$@"; do
    way "as built + $switches" "" "$switches"
done
