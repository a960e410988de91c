#!/usr/bin/env bash
# Runs scripts/fbserver.sh as the tests and the demo do, on an instance of
# its own, and fails unless every packaged security database is exactly as
# it was: a login meant for the private server must never land in the
# system's.  Logins are added both through the running server and with it
# stopped (embedded access), the two ways the script writes them.
# Usage: fbserver-check.sh FBSERVER_SH PORT
set -euo pipefail

readonly FBSERVER=$1 PORT=$2
WORK=$(mktemp -d)
readonly WORK
export KELVANE_FB_DIR=$WORK/instance KELVANE_FB_PORT=$PORT KELVANE_FB_PASSWORD=check-sysdba

cleanup() {
    bash "$FBSERVER" stop || printf 'could not stop the server in %s\n' "$KELVANE_FB_DIR"
    rm -rf "$WORK"
}
trap cleanup EXIT
# Without these a signal would end the script without its EXIT trap.
trap 'exit 130' INT
trap 'exit 143' TERM

die() {
    printf 'FAIL: %s\n' "$*"
    exit 1
}

# Checksums of the packaged security databases that exist and can be read;
# one that does not exist cannot be touched, so it is left out.
checksums() {
    local f
    for f in /var/lib/firebird/*/system/security*.fdb; do
        [[ -e $f ]] || continue
        if [[ -r $f ]]; then
            sha256sum "$f"
        else
            printf 'note: %s cannot be read here; not compared\n' "$f" >&2
        fi
    done
}

before=$(checksums)
[[ -n $before ]] || printf 'note: no packaged security database here; only the script is run\n'

bash "$FBSERVER" start || die "start failed"
bash "$FBSERVER" status >/dev/null || die "status says not running after start"
bash "$FBSERVER" adduser CHECK_ONLINE check-online || die "adduser through the server failed"
bash "$FBSERVER" stop || die "stop failed"
if bash "$FBSERVER" status >/dev/null; then
    die "status says running after stop"
fi
bash "$FBSERVER" adduser CHECK_OFFLINE check-offline || die "adduser with the server stopped failed"
[[ -f $KELVANE_FB_DIR/security3.fdb && ! -L $KELVANE_FB_DIR/security3.fdb ]] ||
    die "the instance has no security database of its own"

after=$(checksums)
if [[ $before != "$after" ]]; then
    printf 'before:\n%s\nafter:\n%s\n' "$before" "$after"
    die "a packaged security database changed"
fi
printf 'private server started, logins added, stopped; packaged security databases unchanged\n'
