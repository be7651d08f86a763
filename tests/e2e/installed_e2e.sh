#!/bin/sh
# Where the real executable keeps the member's files: a copy run from any
# folder keeps them beside itself; the installed copy, run from the bin folder
# it was installed to, keeps them in $XDG_CONFIG_HOME/KelvoMonitor or, without
# it, ~/.config/KelvoMonitor, made with mode 0700. The installed copy is put
# in /usr/bin by an overlay in a private mount namespace, so the machine's
# /usr/bin is never touched (root only; skipped otherwise).
# Usage: installed_e2e.sh BUILD-DIR SCRIPTS-DIR
set -eu
build=$1
scripts=$2
[ "$(id -u)" -eq 0 ] || { echo "skipped: needs root for the mount namespace"; exit 77; }
work=$(mktemp -d)
pids=""
failed=""
cleanup() {
    [ -z "$pids" ] || kill $pids 2>/dev/null || true
    [ -n "$failed" ] || rm -rf "$work"
}
trap cleanup EXIT
fail() {
    failed=1
    echo "FAIL: $*" >&2
    exit 1
}
wait_for() {
    i=0
    until [ -e "$2" ]; do
        i=$((i + 1))
        [ $i -gt $(($1 * 10)) ] && return 1
        sleep 0.1
    done
}

eval "$("$scripts/desktop")"
pids="$KELVO_DESKTOP_PIDS"
DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
mkdir -p "$work/ovl"
# run_installed VAR=VALUE...: the installed program, with that environment
run_installed() {
    unshare -m sh -c "mount -t overlay overlay -o lowerdir=/usr/bin,upperdir=$work/root/usr/bin,workdir=$work/ovl /usr/bin &&
        exec env -i DISPLAY=$DISPLAY LANG=C.UTF-8 QTWEBENGINE_DISABLE_SANDBOX=1 $* /usr/bin/KelvoMonitor" >/dev/null 2>&1 &
    pids="$! $pids"
}
mode() { stat -c %a "$1"; }

run_installed HOME="$work/home" XDG_CONFIG_HOME="$work/xdg"
wait_for 30 "$work/xdg/KelvoMonitor/KelvoMonitor.lock" || fail "installed, XDG_CONFIG_HOME set: no files in it"
[ "$(mode "$work/xdg/KelvoMonitor")" = 700 ] || fail "the config folder is not private"
[ ! -e "$work/home/.config/KelvoMonitor" ] || fail "XDG_CONFIG_HOME was not honoured"
echo "installed, XDG_CONFIG_HOME set: \$XDG_CONFIG_HOME/KelvoMonitor, mode 700"

run_installed HOME="$work/home"
wait_for 30 "$work/home/.config/KelvoMonitor/KelvoMonitor.lock" || fail "installed, XDG_CONFIG_HOME unset: not in ~/.config"
[ "$(mode "$work/home/.config/KelvoMonitor")" = 700 ] || fail "the config folder is not private"
echo "installed, XDG_CONFIG_HOME unset: ~/.config/KelvoMonitor, mode 700"
[ "$(ls "$work/root/usr/bin")" = KelvoMonitor ] || fail "the installed copy wrote into its bin folder"

mkdir "$work/unpacked"
cp "$work/root/usr/bin/KelvoMonitor" "$work/unpacked/"
env -i DISPLAY="$DISPLAY" LANG=C.UTF-8 QTWEBENGINE_DISABLE_SANDBOX=1 HOME="$work/home2" \
    XDG_CONFIG_HOME="$work/xdg2" "$work/unpacked/KelvoMonitor" >/dev/null 2>&1 &
pids="$! $pids"
wait_for 30 "$work/unpacked/KelvoMonitor.lock" || fail "an unpacked copy does not keep its files beside itself"
[ ! -e "$work/xdg2/KelvoMonitor" ] || fail "an unpacked copy used the config folder"
echo "unpacked copy: beside itself"
echo "1 passed, 0 failed"
