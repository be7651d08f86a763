#!/bin/sh
# The real program left running as a member leaves it: real 60 s ticks against
# kelvo-service publishing an article every 10 minutes, each popup closed ten
# seconds before the next sample. Every minute, half way between two ticks, it
# prints the private memory (Private_Clean + Private_Dirty) and the PSS of
# the program and its engine processes, their Private_Dirty alone (what they
# wrote; unlike clean pages it does not depend on which other processes map
# the same libraries), the program's own process, and the CPU time the
# program and its processes (ended renderers included) spent that minute.
# Run it alone.
# Run as root (the program then runs as the ordinary user "member", with the
# engine's sandbox on) or as that user:
#   bench/soak.sh BUILD-DIR [MINUTES]      (30 minutes unless told)
set -eu
minutes=${2:-30}
account="soak@example.com:soak pass"
service_args="--publish-every 600"
. "$(dirname "$0")/common.sh"
mkdir "$work/app"
cp "$build/KelvoMonitor" "$work/app/"
printf '[mail]\naddress=soak@example.com\npwd=soak pass\n' >"$work/app/settings.ini"
[ -z "$as" ] || chown -R member: "$work/app"
$as "$work/app/KelvoMonitor" --webEngineArgs "--host-resolver-rules=MAP kelvo.example 127.0.0.1:$port" \
    --ignore-certificate-errors >"$work/program.log" 2>&1 &
sleep 2
app=$(pgrep -n -f "$work/app/KelvoMonitor")
pids="$app $pids"

# smaps_rollup field (kB) summed over the program and its descendants
tree() { echo "$app" $(pgrep -P "$app") $(for p in $(pgrep -P "$app"); do pgrep -P "$p"; done); }
kib() { awk -v f="$2" '$1 == f":" {print $2}' "/proc/$1/smaps_rollup" 2>/dev/null || echo 0; }
sum() {
    total=0
    for p in $1; do
        for f in $2; do total=$((total + $(kib "$p" "$f"))); done
    done
    echo $((total / 1024))
}
# CPU seconds of the program and its processes, with those of children that
# have ended and been reaped (each check's renderer) counted
cpu() {
    for p in $1; do
        sed 's/^.*) //' "/proc/$p/stat" 2>/dev/null | awk '{print $12 + $13 + $14 + $15}'
    done | awk -v hz="$(getconf CLK_TCK)" '{t += $1} END {printf "%.2f", t / hz}'
}
close_popups() {
    for w in $(xdotool search --all --onlyvisible --pid "$app" "" 2>/dev/null); do
        xdotool getwindowgeometry "$w" 2>/dev/null | grep -q 'Geometry: 202x95' && xdotool windowactivate --sync "$w" key Escape 2>/dev/null
    done
    return 0
}
# The first tick comes 60 s after the sign-in: sample 30 s after each one.
sleep 30
echo "minute  private_MiB  pss_MiB  dirty_MiB  program_private_MiB  processes  cpu_s_this_minute"
m=1
last_cpu=$(cpu "$(tree)")
while [ $m -le "$minutes" ]; do
    sleep 50
    close_popups
    sleep 10
    procs=$(tree)
    now_cpu=$(cpu "$procs")
    printf '%6d  %11d  %7d  %9d  %19d  %9d  %17s\n' "$m" "$(sum "$procs" 'Private_Clean Private_Dirty')" \
        "$(sum "$procs" Pss)" "$(sum "$procs" Private_Dirty)" "$(sum "$app" 'Private_Clean Private_Dirty')" \
        "$(echo $procs | wc -w)" "$(echo "$now_cpu $last_cpu" | awk '{printf "%.2f", $1 - $2}')"
    last_cpu=$now_cpu
    m=$((m + 1))
done
