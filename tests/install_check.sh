#!/bin/sh
# The install and the package, file by file: what `cmake --install` puts
# where, the desktop entry and metainfo validated, and the .deb holding the
# same files with the dependencies that shlibdeps cannot see.
# Usage: install_check.sh BUILD-DIR
set -eu
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

id=example.kelvo.KelvoMonitor
expected="usr/bin/KelvoMonitor
usr/share/applications/$id.desktop
usr/share/doc/kelvomonitor/README.md
usr/share/doc/kelvomonitor/changelog.gz
usr/share/doc/kelvomonitor/copyright
usr/share/man/man1/KelvoMonitor.1.gz
usr/share/icons/hicolor/scalable/apps/$id.svg
usr/share/metainfo/$id.metainfo.xml"
for n in 16 22 24 32 48 64 128 256; do
    expected="$expected
usr/share/icons/hicolor/${n}x$n/apps/$id.png"
done
expected=$(echo "$expected" | sort)

DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
installed=$(cd "$work/root" && find . -type f | sed 's|^\./||' | sort)
[ "$installed" = "$expected" ] || fail "installed files differ:
$(printf '%s\n' "$installed" | diff - /dev/fd/3 3<<EOT || true
$expected
EOT
)"
for n in 16 22 24 32 48 64 128 256; do
    file "$work/root/usr/share/icons/hicolor/${n}x$n/apps/$id.png" | grep -q "$n x $n" || fail "the $n pixel icon is not $n x $n"
done
desktop-file-validate "$work/root/usr/share/applications/$id.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/$id.metainfo.xml" >/dev/null || fail "metainfo"
entry="$work/root/usr/share/applications/$id.desktop"
grep -qx "Icon=$id" "$entry" || fail "desktop entry names another icon"
# One action per menu command, each running an option that --help lists.
for action in "top-page トップページ" "favorite お気に入り" "check すぐに確認" "history 新着の履歴" "settings 設定" "quit 終了"; do
    set -- $action
    sed -n "/^\[Desktop Action $1\]/,/^\[/p" "$entry" | grep -qx "Name\[ja\]=$2" || fail "action $1 is not named $2"
    sed -n "/^\[Desktop Action $1\]/,/^\[/p" "$entry" | grep -qx "Exec=KelvoMonitor --$1" || fail "action $1 runs another command"
    "$build/KelvoMonitor" --help | grep -q -- "--$1 " || fail "--help does not list --$1"
done
warnings=$(LANG=C.UTF-8 man --warnings -l "$work/root/usr/share/man/man1/KelvoMonitor.1.gz" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the manual page: $warnings"
for option in --check --top-page --favorite --history --settings --quit --help --version --webEngineArgs \
    QT_LOGGING_RULES XDG_CONFIG_HOME QT_QPA_PLATFORM settings.ini kelvo_top.txt kelvo_history.json; do
    LANG=C.UTF-8 MANWIDTH=200 man -l "$work/root/usr/share/man/man1/KelvoMonitor.1.gz" 2>/dev/null |
        grep -q -- "$option" || fail "the manual page does not tell of $option"
done
echo "install: $(echo "$expected" | wc -l) files where expected, desktop entry, metainfo and manual page valid"

(cd "$build" && cpack -G DEB -B "$work/pkg" >/dev/null)
deb=$(ls "$work"/pkg/kelvomonitor_*.deb)
packaged=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort)
[ "$packaged" = "$expected" ] || fail "the package holds other files: $packaged"
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6svg6 fonts-noto-cjk libqt6webenginecore6 libqt6widgets6 libqt6dbus6; do
    echo "$depends" | grep -q "$dep" || fail "Depends lacks $dep: $depends"
done
dpkg-deb -f "$deb" Suggests | grep -qx "gnome-shell-extension-appindicator, gnome-keyring | keepassxc" || fail "Suggests: $(dpkg-deb -f "$deb" Suggests)"
# Debian's own checker: no error, no warning.
lintian --tag-display-limit 0 --fail-on error,warning "$deb" >"$work/lintian.txt" 2>&1 ||
    fail "lintian: $(grep -v 'root privileges' "$work/lintian.txt")"
dpkg-deb -x "$deb" "$work/x"
file "$work/x/usr/bin/KelvoMonitor" | grep -q ", stripped" || fail "the packaged program is not stripped"
echo "package: same files, stripped, lintian clean, Depends: $depends"
echo "1 passed, 0 failed"
