#!/bin/sh
# A member window of the real KelvoMonitor, driven with the keyboard and the
# pointer (xdotool) on an X desktop against kelvo-service, run as an ordinary
# member with the engine's sandbox on (as root; as anyone else, as that
# user): the browser keys, find, zoom kept for the site, downloads (from the
# site and from the context menu) saved whole under a free name, the
# window's place, an inline PDF, print to a PDF file, HTTP authentication,
# a permission, a page's full screen, Esc on a slow load, the desktop's
# browser, a download outliving its window, the engine's accessibility switch.
# Usage: browser_e2e.sh KELVOMONITOR KELVO-SERVICE SCRIPTS-DIR
set -eu
. "$(dirname "$0")/member.sh"
own_start=1
. "$(dirname "$0")/lib.sh"
member_copy
cp "$dir/settings.ini" "$work/settings.before"
downloads="$home/Downloads"
rm -rf "$downloads" "$home/.config/user-dirs.dirs"
# The desktop's browser: records what it was asked to open.
printf '#!/bin/sh\necho "$@" >>%s\n' "$work/opened" >"$work/browser"
chmod 755 "$work/browser"
: >"$work/opened"
[ -z "$as" ] || chown "$member:" "$work/opened"
[ -z "$as" ] || chown -R "$member:" "$dir"
# shellcheck disable=SC2086
$as env BROWSER="$work/browser" QT_LOGGING_RULES='kelvo.engine.debug=true' "$dir/KelvoMonitor" \
    --webEngineArgs "$(engine_args)" --ignore-certificate-errors >"$work/program.log" 2>&1 &
app=$!
pids="$app $pids"
log="$work/program.log"
site=https://kelvo.example

wait_for 60 signed_in || fail "no sign-in reached the service"
wait_for 20 tray_icon || fail "no tray icon"
menu_item 0 # トップページ
wait_for 30 browser_titled "Kelvo+" || fail "no member window on the top page"
w=$(browser_titled "Kelvo+")
sleep 1
shot() { [ -z "$shots" ] || import -window root "$shots/browser-$1.png"; }
keys() { xdotool windowactivate --sync "$w" key --delay 80 "$@"; }
go() {
    keys ctrl+l
    sleep 0.3
    xdotool type --delay 15 "$site$1"
    xdotool key Return
}
titled() { [ "$(title "$w")" = "$1" ]; }
requests() { curl -sk "https://127.0.0.1:$port/_control/log" | grep -c "\"path\":\"$1\"" || true; }
shown() { xdotool search --onlyvisible --pid "$app" 2>/dev/null | wc -l; }
# Right-click at (x, y) in the window and, once the menu is up, press its key.
context_menu() {
    before=$(shown)
    xdotool mousemove $((X + $1)) $((Y + $2)) click 3
    wait_for 15 sh -c "[ \$(xdotool search --onlyvisible --pid $app 2>/dev/null | wc -l) -gt $before ]" ||
        fail "no context menu at ($1, $2)"
    sleep 0.3
    xdotool key "$3"
}

# The keyboard: after Enter in the address bar the page has it.
go /members/long
wait_for 20 titled "長い記事 | Kelvo+" || fail "the long page did not open from the address bar"
sleep 1
keys space
wait_for 10 titled scrolled || fail "Space after Enter in the address bar did not scroll the page"
echo "address bar: Enter gives the keyboard to the page"

# Find: Ctrl+F, Enter, Shift+Enter, F3, Esc.
keys ctrl+f
sleep 0.5
xdotool type --delay 30 keyword
wait_for 10 grep -q 'find "1 / 12 件"' "$log" || fail "find did not count 12 matches"
keys Return
wait_for 10 grep -q 'find "2 / 12 件"' "$log" || fail "Enter did not go to the next match"
keys shift+Return shift+Return
wait_for 10 grep -q 'find "12 / 12 件"' "$log" || fail "Shift+Enter did not go back"
shot find
keys Escape Home
keys Down Down
echo "find: counted, both ways, Esc closes"

# Zoom: kept for the site, in a file of its own.
keys ctrl+equal
sleep 0.5
keys ctrl+equal
wait_for 10 grep -q 'kelvo.example=1.25' "$dir/browser.ini" || fail "Ctrl+= twice did not zoom to 125%"
shot zoom
keys ctrl+minus
wait_for 10 grep -q 'kelvo.example=1.1' "$dir/browser.ini" || fail "Ctrl+- did not zoom out"
keys ctrl+0
wait_for 10 grep -q 'kelvo.example=$' "$dir/browser.ini" || fail "Ctrl+0 did not reset the zoom"
cmp -s "$dir/settings.ini" "$work/settings.before" || fail "the zoom changed settings.ini"
echo "zoom: 125%, 110%, 100%, kept in browser.ini, settings.ini untouched"

# Reload, back, forward; Esc stops a slow load.
before=$(requests /members/long)
keys F5
wait_for 10 sh -c "[ \$(curl -sk https://127.0.0.1:$port/_control/log | grep -c '\"path\":\"/members/long\"') -gt $before ]" ||
    fail "F5 did not reload"
go /members/
wait_for 20 titled "会員のページ | Kelvo+" || fail "the members' page did not open"
keys alt+Left
# (coming back, the long page has its place restored: "scrolled")
back_on_long() { titled "長い記事 | Kelvo+" || titled scrolled; }
wait_for 10 back_on_long || fail "Alt+Left did not go back"
keys alt+Right
wait_for 10 titled "会員のページ | Kelvo+" || fail "Alt+Right did not go forward"
echo "F5, Alt+Left, Alt+Right: as in browsers"

# Downloads: the site's attachment beside the member's own file of that name.
mkdir -p "$downloads"
echo "the member's own" >"$downloads/report.pdf"
[ -z "$as" ] || chown -R "$member:" "$downloads"
curl -sk "https://127.0.0.1:$port/_control/attachment" >"$work/attachment"
go /members/report.pdf
wait_for 30 cmp -s "$downloads/report (1).pdf" "$work/attachment" || fail "the attachment was not saved whole"
grep -q "the member's own" "$downloads/report.pdf" || fail "the member's file was overwritten"
shot download
# From the context menu: save the link, save the image.
go /members/files
wait_for 20 titled "ファイル | Kelvo+" || fail "the files page did not open"
eval "$(xdotool getwindowgeometry --shell "$w")"
context_menu 200 150 k
wait_for 30 cmp -s "$downloads/report (2).pdf" "$work/attachment" || fail "save link did not save the attachment"
context_menu 200 380 v
wait_for 30 grep -q '<svg' "$downloads/logo.svg" || fail "save image did not save the image"
echo "downloads: whole, never overwriting, from the site and the context menu"
# The window opens where the member left the last one.
menu_item 0
wait_for 30 browser_titled "Kelvo+" || fail "no member window on the top page"
w=$(browser_titled "Kelvo+")
xdotool windowsize --sync "$w" 900 600
xdotool windowmove --sync "$w" 120 60
sleep 1
keys ctrl+w
wait_for 10 sh -c "! xdotool getwindowname $w" || fail "Ctrl+W did not close the window"
menu_item 0
wait_for 30 browser_titled "Kelvo+" || fail "no member window on the top page"
w=$(browser_titled "Kelvo+")
eval "$(xdotool getwindowgeometry --shell "$w")"
[ "$WIDTH" -eq 900 ] && [ "$HEIGHT" -eq 600 ] || fail "the window opened at ${WIDTH}x$HEIGHT, not 900x600"
echo "Ctrl+W closes; the next window opens at the size the member left"

# An inline PDF shows in the window, and nothing is downloaded.
ls "$downloads" >"$work/downloads.before"
go /members/inline.pdf
wait_for 20 titled "inline.pdf" || fail "the inline PDF did not show: $(title "$w")"
sleep 2
shot inline-pdf
ls "$downloads" | cmp -s - "$work/downloads.before" || fail "the inline PDF was downloaded"
echo "inline PDF: shown in the window"

# Print: the page's window.print() and Ctrl+P bring the system's dialog.
go /members/print
wait_for 20 titled "印刷用ページ | Kelvo+" || fail "the print page did not open"
eval "$(xdotool getwindowgeometry --shell "$w")"
xdotool mousemove $((X + 100)) $((Y + 200)) click 1
wait_for 10 sh -c "xdotool search --onlyvisible --name '^印刷$' >/dev/null" || fail "window.print() brought no dialog"
shot print-dialog
xdotool windowactivate --sync "$(xdotool search --onlyvisible --name '^印刷$')" key Return
wait_for 30 sh -c "ls '$downloads'/*.pdf | grep -q '印刷用ページ'" || fail "nothing was printed to a file"
pdf=$(ls "$downloads"/*印刷用ページ*.pdf | head -n 1)
# The engine prints the page as pictures: a whole PDF of one page, not its text.
wait_for 10 sh -c "tail -c 8 '$pdf' | grep -q '%%EOF' && pdfinfo '$pdf' | grep -q '^Pages: *1$'" ||
    fail "the printed file is not a whole PDF of the page"
keys ctrl+p
wait_for 10 sh -c "xdotool search --onlyvisible --name '^印刷$' >/dev/null" || fail "Ctrl+P brought no dialog"
xdotool windowactivate --sync "$(xdotool search --onlyvisible --name '^印刷$')" key Escape
echo "print: window.print() and Ctrl+P, a PDF file without a printer"

# HTTP authentication: a dialog of the window names the site and realm;
# Cancel leaves the site's own page, an answer opens the page.
dialog_named() {
    for d in $(xdotool search --onlyvisible --pid "$app" --name "^$1\$" 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$d")"
        # (not the member window or the tray's icon, which take the name too)
        [ "$WIDTH" -ge 150 ] && [ "$WIDTH" -lt 600 ] && { echo "$d"; return 0; }
    done
    return 1
}
go /members/private
wait_for 20 dialog_named 認証が必要です || fail "no dialog asked for the private page's credentials"
shot authentication
xdotool windowactivate --sync "$(dialog_named 認証が必要です)" key Escape
no_dialog() { ! dialog_named 認証が必要です >/dev/null; }
wait_for 10 no_dialog ||
    fail "Esc did not close the authentication dialog"
titled "認証が必要です" || fail "after Cancel the site's own page is not shown: $(title "$w")"
go /members/private
wait_for 20 dialog_named 認証が必要です || fail "no dialog the second time"
xdotool windowactivate --sync "$(dialog_named 認証が必要です)"
sleep 0.3
xdotool type --delay 15 member
xdotool key Tab
xdotool type --delay 15 opensesame
xdotool key Return
wait_for 20 titled "会員限定 | Kelvo+" || fail "the credentials did not open the private page: $(title "$w")"
! grep -rqa opensesame "$home" "$dir" || fail "the password typed in the dialog was written to disk"
echo "authentication: asked in a dialog, Cancel leaves the site's page, an answer opens it, nothing stored"

# A permission is asked in the window: refused with Alt+N, granted with Alt+A.
go /members/permission
wait_for 20 sh -c "grep -q 'member window load.*LoadSucceeded.*/members/permission' '$log'" ||
    fail "the permission page did not load"
sleep 1
shot permission
keys alt+n
wait_for 10 titled "permission:denied" || fail "Alt+N did not refuse the permission: $(title "$w")"
keys F5
sleep 2
keys alt+a
wait_for 10 titled "permission:granted" || fail "Alt+A did not grant the permission: $(title "$w")"
echo "permissions: asked in the window, refused and granted from the keyboard"

# Full screen: the page's request is granted, Esc leaves it.
go /members/fullscreen
wait_for 20 titled "動画 | Kelvo+" || fail "the full-screen page did not open"
eval "$(xdotool getwindowgeometry --shell "$w")"
xdotool mousemove $((X + 200)) $((Y + 200)) click 1
wait_for 10 titled "fullscreen:on" || fail "the page's full-screen request was not granted"
sleep 1
shot fullscreen
eval "$(xdotool getwindowgeometry --shell "$w")"
[ "$WIDTH" -eq "$screen_w" ] || fail "in full screen the window is $WIDTH wide, the screen $screen_w"
keys Escape
wait_for 10 titled "fullscreen:off" || fail "Esc did not leave full screen"
echo "full screen: granted to the page, left with Esc"

# Esc stops a slow load.
go "/members/long?slow=15000"
sleep 2
keys Escape
wait_for 5 grep -q 'member window load.*LoadStopped.*/members/long?slow=15000' "$log" ||
    fail "Esc did not stop the slow load"
echo "Esc: stops a slow load"

# The desktop's browser gets the page from the window's menu.
keys alt+f
sleep 0.5
xdotool key b
wait_for 10 grep -q "^$site/" "$work/opened" || fail "the desktop's browser was not asked to open the page"
echo "open in the desktop's browser: $(cat "$work/opened")"

# A download goes on after its window is closed, in a window of its own.
go "/members/report.pdf?slow=300"
wait_for 10 sh -c "grep -q 'download requested.*slow=300' '$log'" || fail "the slow download did not start"
keys ctrl+w
wait_for 10 browser_titled "ダウンロード - KelvoMonitor" >/dev/null || fail "no downloads window after Ctrl+W"
shot downloads-window
wait_for 30 cmp -s "$downloads/report (3).pdf" "$work/attachment" ||
    fail "the download did not go on whole after its window closed"
echo "downloads: go on whole after their window closes"

# The engine's switch for the accessibility bus, set before it started.
for p in $(pgrep -u "$member" -f QtWebEngineProcess); do
    tr '\0' '\n' <"/proc/$p/environ" | grep -q '^QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY=1$' && found=1
done
[ "${found:-}" = 1 ] || fail "the engine runs without the accessibility switch"

kill -TERM "$app"
echo "1 passed, 0 failed"
