# Run as an ordinary member: as root, the user kelvo-e2e (made if missing),
# whose processes are all ended at the end; as anyone else, that user.
# Sets $member, $home and $as (the command prefix that runs as the member,
# with HOME set).
as=""
member=$(id -un)
if [ "$(id -u)" -eq 0 ]; then
    member=kelvo-e2e
    id -u "$member" >/dev/null 2>&1 || useradd --create-home --shell /bin/sh "$member"
    cleanup_more() { pkill -KILL -u "$member" 2>/dev/null || true; }
fi
home=$(getent passwd "$member" | cut -d: -f6)
[ "$(id -u)" -ne 0 ] || as="setpriv --reuid=$member --regid=$member --init-groups env HOME=$home"
# member_copy: the program's own copy in $work/app ($dir), signing in as the
# e2e account, owned by the member; call it after lib.sh.
member_copy() {
    chmod 755 "$work"
    dir="$work/app"
    mkdir "$dir"
    cp "$exe" "$dir/KelvoMonitor"
    printf '[mail]\naddress=e2e@example.com\npwd=e2e pass\n' >"$dir/settings.ini"
    [ -z "$as" ] || chown -R "$member:" "$dir"
}
