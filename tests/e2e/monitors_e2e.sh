#!/bin/sh
# "新着記事があります" on desktops of two monitors (RandR monitors on one
# Xvfb screen, of different heights), with the panel and its tray docked at
# the bottom of the primary monitor or of the other one, at 100 %, 150 % and
# 200 %: the popup sits at the bottom-right corner of the part of the
# primary monitor that docks leave free, and never over the panel.
# Usage: monitors_e2e.sh KELVOMONITOR KELVO-SERVICE SCRIPTS-DIR
set -eu
own_start=1 late_tray=1
export KELVO_SCREEN=2560x1024
. "$(dirname "$0")/lib.sh"
send() { "$work/KelvoMonitor" "$1" --webEngineArgs "$(engine_args)" --ignore-certificate-errors; }

# layout NAME PRIMARY-GEOMETRY OTHER-GEOMETRY PANEL-MONITOR: the popup's
# place with the primary monitor (W/mmWxH/mmH+X+Y) given first
layout() {
    name=$1
    xrandr --setmonitor "*primary" "$2" screen >/dev/null
    xrandr --setmonitor other "$3" none >/dev/null
    trayer --edge bottom --align right --widthtype pixel --width 200 --height 32 --SetDockType true \
        --SetPartialStrut true --transparent false --monitor "$4" >/dev/null 2>&1 &
    panel=$!
    sleep 1
    eval "$(xdotool getwindowgeometry --shell "$(xdotool search --onlyvisible --limit 1 --class trayer)")"
    panel_rect="$X $Y $WIDTH $HEIGHT"
    start_program "$work" "e2e pass"
    app=$!
    wait_for 60 signed_in || fail "$name: no sign-in"
    send --check # the first look: the baseline, and its message
    wait_for 30 message_box || fail "$name: no message after the first check"
    xdotool windowactivate --sync "$(message_box)" key Return
    ctl article "title=$name の記事" >/dev/null
    send --check
    wait_for 30 popup || fail "$name: no popup"
    set -- $(popup)
    popup_rect="$4 $5 $2 $3"
    [ -n "$shots" ] && import -window root "$shots/e2e-monitors-$name.png"
    echo "$name: popup at $popup_rect (x y w h), panel at $panel_rect"
    xdotool windowactivate --sync "$1" key Escape
    send --quit
    wait_for 15 sh -c "! kill -0 $app" || fail "$name: the program did not end"
    kill $panel
    xrandr --delmonitor primary >/dev/null
    xrandr --delmonitor other >/dev/null
    ctl log/clear >/dev/null
}
# overlap X Y W H X Y W H: whether two rectangles share a pixel
overlap() { [ "$1" -lt $(($5 + $7)) ] && [ "$5" -lt $(($1 + $3)) ] && [ "$2" -lt $(($6 + $8)) ] && [ "$6" -lt $(($2 + $4)) ]; }
# expect X-RIGHT Y-BOTTOM [SLACK]: the popup's bottom-right corner, within
# SLACK device pixels inward (a scaled desktop rounds)
expect() {
    slack=${3:-0}
    set -- "$1" "$2" $popup_rect
    dx=$(($1 - $3 - $5)) dy=$(($2 - $4 - $6))
    [ "$dx" -ge 0 ] && [ "$dx" -le "$slack" ] && [ "$dy" -ge 0 ] && [ "$dy" -le "$slack" ] ||
        fail "$name: popup at $popup_rect, its corner should be at $1,$2"
    # shellcheck disable=SC2086
    ! overlap $popup_rect $panel_rect || fail "$name: the popup covers the panel"
}

layout taller-primary-with-panel 1280/338x1024/270+0+0 1280/338x800/211+1280+0 primary
expect 1280 $((1024 - 32))
layout taller-primary-panel-on-other 1280/338x1024/270+0+0 1280/338x800/211+1280+0 1
expect 1280 1024
layout shorter-primary-with-panel 1280/338x800/211+1280+0 1280/338x1024/270+0+0 primary
expect 2560 $((800 - 32))
# Scaled: X's reservations are device pixels, the popup's place logical
# ones. 150 % as Qt is told (QT_SCALE_FACTOR) and as the desktop says it
# (Xft.dpi 144, what GNOME and KDE set), 200 % as the desktop says it.
export QT_SCALE_FACTOR=1.5 popup_size="303 143"
layout scaled-150-taller-primary-with-panel 1280/338x1024/270+0+0 1280/338x800/211+1280+0 primary
expect 1280 $((1024 - 32)) 2
unset QT_SCALE_FACTOR
echo "Xft.dpi: 144" | xrdb -merge
layout xft-150-panel-on-other 1280/338x1024/270+0+0 1280/338x800/211+1280+0 1
expect 1280 1024 2
echo "Xft.dpi: 192" | xrdb -merge
popup_size="404 190"
# (the panel on the other monitor under Xft's scaling: at 150 % above)
layout xft-200-taller-primary-with-panel 1280/338x1024/270+0+0 1280/338x800/211+1280+0 primary
expect 1280 $((1024 - 32)) 2
echo "1 passed, 0 failed"
