# The program's windows on an X display (Xvfb, or a Wayland session's
# XWayland), found with xdotool. Needs $app (the program's pid) and $screen_w.
popup_size=${popup_size:-202 95}
# Windows of the program on the screen now: "id width height x y"
windows() {
    for w in $(xdotool search --all --onlyvisible --pid "$app" "" 2>/dev/null); do
        X=-1 # a window gone meanwhile has no geometry
        eval "$(xdotool getwindowgeometry --shell "$w" 2>/dev/null)"
        [ "$X" -ge 0 ] && [ "$X" -lt "$screen_w" ] && echo "$w $WIDTH $HEIGHT $X $Y"
    done
    return 0
}
# The popup: 202 x 95, in device pixels (set popup_size="303 143" at 150 %).
popup() { windows | awk -v w="${popup_size%% *}" -v h="${popup_size##* }" '$2 == w && $3 == h {print; exit}' | grep .; }
tray_icon() { windows | awk '$2 >= 16 && $2 <= 64 && $3 >= 16 && $3 <= 64 && $5 > 700 {print; exit}' | grep .; }
menu() { windows | awk '$2 > 64 && $2 < 400 && $3 > 64 && $3 < 300 && !($2 == 202 && $3 == 95) {print; exit}' | grep .; }
# A message box: a window of ours captioned "KelvoMonitor" that is not the popup.
message_box() {
    for w in $(xdotool search --all --onlyvisible --pid "$app" --name '^KelvoMonitor$' 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$w")"
        [ "$X" -ge 0 ] && [ "$X" -lt "$screen_w" ] && [ "$WIDTH" -gt 150 ] && [ "$WIDTH" -ne 202 ] &&
            [ "$WIDTH" -lt 600 ] && [ "$HEIGHT" -lt 250 ] && { echo "$w"; return 0; }
    done
    return 1
}
no_message_box() { ! message_box; }
# The notice that no tray has come (522 x 332 with its frame).
notice() { windows | awk '$2 == 522 && $3 == 332 {print; exit}' | grep .; }
no_notice() { ! notice; }
# menu_item N: chooses the Nth item (0-based, separators not counted) of the
# tray menu by keyboard: the open menu takes the keys.
menu_item() {
    # The tray may re-embed the icon meanwhile: ask until it answers.
    icon=
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        icon=$(tray_icon) && break
        sleep 0.5
    done
    [ -n "$icon" ] || fail "no tray icon to click"
    # shellcheck disable=SC2086
    set -- "$1" $icon
    xdotool mousemove $(($5 + $3 / 2)) $(($6 + $4 / 2)) click 3
    wait_for 10 menu || fail "no tray menu"
    keys=Down
    i=0
    while [ $i -lt "$1" ]; do
        keys="$keys Down"
        i=$((i + 1))
    done
    # shellcheck disable=SC2086
    xdotool key --delay 60 $keys Return
}
# title ID: the window's caption as the member sees it
title() { LC_ALL=C.UTF-8 xprop -id "$1" _NET_WM_NAME | sed 's/^[^"]*"//; s/"$//'; }
# browser_titled TITLE: a member browser window on the screen with that caption
browser_titled() {
    for w in $(windows | awk '$2 >= 600 {print $1}'); do
        [ "$(title "$w")" = "$1" ] && { echo "$w"; return 0; }
    done
    return 1
}
