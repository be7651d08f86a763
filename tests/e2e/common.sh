# Shared by every end-to-end script: a work folder, failing with what is left
# for a look, waiting, and kelvo-service. Source it with $service set; it sets
# $work, $port and $pids (killed at the end) and defines fail, wait_for, ctl
# and signed_in. A script may define failure_screenshot FILE first.
work=$(mktemp -d)
pids=""
fail() {
    failed=1
    echo "FAIL: $*" >&2
    [ -n "${port:-}" ] && curl -sk "https://127.0.0.1:$port/_control/log" >"$work/service-log.json" 2>/dev/null
    command -v failure_screenshot >/dev/null && failure_screenshot "$work/failure.png" 2>/dev/null &&
        echo "screenshot: $work/failure.png" >&2
    exit 1
}
cleanup() {
    # shellcheck disable=SC2086
    [ -z "$pids" ] || kill $pids 2>/dev/null || true # some have ended already
    command -v cleanup_more >/dev/null && cleanup_more
    # what a failure leaves (logs, a screenshot) stays for a look
    [ "${failed:-}" = 1 ] || rm -rf "$work"
}
trap cleanup EXIT

# family PID: a process and all its descendants; none_left PIDS: all have ended
family() {
    echo "$1"
    for c in $(pgrep -P "$1"); do family "$c"; done
}
none_left() {
    for p in $1; do kill -0 "$p" 2>/dev/null && return 1; done
    return 0
}
# wait_for SECONDS COMMAND...: polls every half second
wait_for() {
    limit=$(($1 * 2))
    shift
    i=0
    until "$@" >/dev/null 2>&1; do
        i=$((i + 1))
        [ $i -gt $limit ] && return 1
        sleep 0.5
    done
}

"$service" --port 0 --account "e2e@example.com:e2e pass" >"$work/service.out" &
pids="$! $pids"
wait_for 10 grep -q '^PORT ' "$work/service.out" || fail "kelvo-service did not start"
port=$(awk '/^PORT /{print $2}' "$work/service.out")
# ctl ENDPOINT [NAME=VALUE]: a control request (always with a body: the
# service wants a length on every POST)
ctl() { curl -sfk -X POST "https://127.0.0.1:$port/_control/$1" --data-urlencode "${2:-_=}"; }
signed_in() { curl -sk "https://127.0.0.1:$port/_control/log" | grep -q '"POST","path":"/login"'; }
# The switches that send the program to kelvo-service.
engine_args() { echo "--host-resolver-rules=MAP kelvo.example 127.0.0.1:$port"; }
