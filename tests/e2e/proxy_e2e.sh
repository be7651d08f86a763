#!/bin/sh
# A company proxy named only in GNOME's settings (a key file, as the keyfile
# backend keeps them; nothing in the environment), as GNOME's panel leaves
# them: only the HTTP proxy filled in (use-same-proxy, the default, then
# takes it for every protocol) and its credentials. The program reaches the
# site through it, a CONNECT-only proxy that alone can resolve the site's
# name and wants those credentials, and signs in and checks; the proxy's
# password is on no command line.
# Usage: proxy_e2e.sh KELVOMONITOR KELVO-SERVICE SCRIPTS-DIR CONNECT-PROXY
set -eu
connect_proxy=$4
own_start=1
. "$(dirname "$0")/lib.sh"
for v in http_proxy https_proxy all_proxy no_proxy HTTP_PROXY HTTPS_PROXY ALL_PROXY NO_PROXY; do unset $v; done

proxy_password='company pass 9'
"$connect_proxy" --map "kelvo.example=127.0.0.1:$port" --user "staff:$proxy_password" >"$work/proxy.log" &
pids="$! $pids"
wait_for 10 grep -q '^PORT ' "$work/proxy.log" || fail "the proxy did not start"
proxy_port=$(awk '/^PORT /{print $2; exit}' "$work/proxy.log")
export XDG_CONFIG_HOME="$work/config" GSETTINGS_BACKEND=keyfile
mkdir -p "$XDG_CONFIG_HOME/glib-2.0/settings"
cat >"$XDG_CONFIG_HOME/glib-2.0/settings/keyfile" <<KEYFILE
[system/proxy]
mode='manual'
ignore-hosts=['localhost', '127.0.0.0/8', '::1']

[system/proxy/http]
host='127.0.0.1'
port=$proxy_port
use-authentication=true
authentication-user='staff'
authentication-password='$proxy_password'
KEYFILE

cp "$exe" "$work/KelvoMonitor"
printf '[mail]\naddress=e2e@example.com\npwd=e2e pass\n' >"$work/settings.ini"
# No mapping of the site's name: only the proxy knows where it is.
QT_LOGGING_RULES='kelvo.proxy.info=true' "$work/KelvoMonitor" --webEngineArgs --ignore-certificate-errors \
    >"$work/program.log" 2>&1 &
app=$!
pids="$app $pids"
wait_for 60 signed_in || fail "no sign-in reached the site through the proxy"
grep -q '^CONNECT kelvo.example:443 HTTP/1.1$' "$work/proxy.log" || fail "the proxy saw no tunnel to the site"
grep -q '(wrong credentials)' "$work/proxy.log" && fail "the proxy was given wrong credentials"
for p in $(pgrep -f KelvoMonitor) $(pgrep -f QtWebEngineProcess); do
    ! tr '\0' ' ' <"/proc/$p/cmdline" 2>/dev/null | grep -q "$proxy_password" || fail "the proxy's password is on a command line"
done
"$work/KelvoMonitor" --check --webEngineArgs --ignore-certificate-errors
wait_for 30 sh -c "curl -sk https://127.0.0.1:$port/_control/log/counts | grep -q 'GET / 2'" ||
    fail "no check through the proxy: $(curl -sk "https://127.0.0.1:$port/_control/log/counts")"
echo "through the proxy named in GNOME's settings: $(grep -c '^CONNECT' "$work/proxy.log") tunnels"
"$work/KelvoMonitor" --quit --webEngineArgs
wait_for 15 sh -c "! kill -0 $app" || fail "the program did not end"
echo "1 passed, 0 failed"
