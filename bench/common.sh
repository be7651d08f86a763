# Shared by the benchmark scripts: a throw-away X desktop and a kelvo-service
# of their own. Source it with the build folder as $1 and $account set
# ("mail:password"; $service_args for more of its switches). It sets $build,
# $scripts, $work, $pids (killed at the end, with cleanup_more if defined;
# $work is removed unless keep_work is set), $port, and for copies run as a
# member $user and $as: as root, the user "member" (made if missing) and the
# prefix that runs a command as that user; otherwise you and nothing.
build=$(cd "$1" && pwd)
scripts=$(cd "$(dirname "$0")/../scripts" && pwd)
work=$(mktemp -d)
chmod 755 "$work"
pids=""
trap 'kill $pids 2>/dev/null || true; command -v cleanup_more >/dev/null && cleanup_more; [ -n "${keep_work:-}" ] || rm -rf "$work"' EXIT
eval "$("$scripts/desktop")"
pids="$KELVO_DESKTOP_PIDS"
# shellcheck disable=SC2086
"$build/tools/kelvo-service/kelvo-service" --port 0 --account "$account" ${service_args:-} >"$work/service.out" &
pids="$! $pids"
sleep 1
port=$(awk '/^PORT /{print $2}' "$work/service.out")
user=$(id -un)
as=""
if [ "$(id -u)" -eq 0 ]; then
    user=member
    id -u member >/dev/null 2>&1 || useradd -m member
    xhost +si:localuser:member >/dev/null 2>&1 || true
    as="setpriv --reuid=member --regid=member --init-groups env HOME=/home/member"
fi
