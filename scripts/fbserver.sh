#!/usr/bin/env bash
# A private, throwaway Firebird 3 server for the demo and the tests.
#
# Usage: fbserver.sh start|stop|status|env|adduser NAME PASSWORD
#
# Environment (defaults in brackets):
#   KELVANE_FB_DIR       instance folder          [<repo>/.fbserver]
#   KELVANE_FB_PORT      TCP port on 127.0.0.1    [3053]
#   KELVANE_FB_PASSWORD  SYSDBA password          [masterkey]
#
# Works with Debian 12's firebird3.0 (3.0.11) and Debian 13's (3.0.12).  The
# instance never shares a file with a packaged server: everything the server
# writes, the security database first of all, lives in the instance folder,
# and every write to a security database is checked for that before it runs.
set -euo pipefail

readonly FB_HOME=/usr/lib/x86_64-linux-gnu/firebird/3.0
# Debian 13 ships no message file for 3.0; the one of the 4.0 client library,
# which its 3.0 server links, serves.
readonly FB_MSG_CANDIDATES=("$FB_HOME/firebird.msg" /usr/lib/x86_64-linux-gnu/firebird/4.0/firebird.msg)
readonly FB_ETC=/etc/firebird/3.0
# Debian 12 installs the programs themselves in /usr/sbin and /usr/bin.
# Debian 13 puts a wrapper script there that sets FIREBIRD to the packaged
# folder, whatever the caller set, and runs /usr/lib/firebird/<version>/bin:
# through it a private instance would read the system configuration and a
# password would be set in the system security database.  Only real
# programs (ELF files) are ever run.
readonly FB_SERVER_CANDIDATES=(/usr/sbin/firebird /usr/lib/firebird/3.0/bin/firebird)
readonly FB_ISQL_CANDIDATES=(/usr/bin/isql-fb /usr/lib/firebird/3.0/bin/isql-fb)
readonly PACKAGED_SECDB=/var/lib/firebird/3.0/system/security3.fdb
readonly START_TIMEOUT=15
readonly STOP_TIMEOUT=10

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/fbcommon.sh
source "$REPO_ROOT/scripts/fbcommon.sh"
FB_DIR=${KELVANE_FB_DIR:-$REPO_ROOT/.fbserver}
# The folder ends up inside firebird.conf and in connection strings, which
# must not depend on the caller's working directory.
case $FB_DIR in
    /*) ;;
    *) FB_DIR=$PWD/$FB_DIR ;;
esac
FB_DIR=${FB_DIR%/}
FB_PORT=${KELVANE_FB_PORT:-3053}
FB_PASSWORD=${KELVANE_FB_PASSWORD:-masterkey}

PID_FILE=$FB_DIR/firebird.pid
PORT_FILE=$FB_DIR/firebird.port
LOG_FILE=$FB_DIR/server.log
SECDB=$FB_DIR/security3.fdb

# Set by find_programs; empty when the package is missing.
FB_SERVER=
FB_ISQL=

readonly PROGRAM=fbserver

die() {
    printf '%s: %s\n' "$PROGRAM" "$*" >&2
    exit 1
}

usage() {
    cat >&2 <<'EOF'
usage: fbserver.sh start|stop|status|env|adduser NAME PASSWORD
EOF
    exit 2
}

check_settings() {
    if ! [[ $FB_PORT =~ ^[1-9][0-9]{0,4}$ ]] || ((FB_PORT > 65535)); then
        die "KELVANE_FB_PORT must be a TCP port number, got '$FB_PORT'"
    fi
    # firebird.conf has no quoting, so a folder with blanks would be cut short.
    [[ $FB_DIR != *[[:space:]]* ]] ||
        die "KELVANE_FB_DIR must not contain blanks: '$FB_DIR'"
    [[ -n $FB_DIR ]] || die "KELVANE_FB_DIR must not be the root folder"
    # An instance inside a packaged server's folders would take that
    # server's files for its own.
    ! is_system_path "$(realpath -m "$FB_DIR")" ||
        die "KELVANE_FB_DIR must not be inside a folder of the packaged server: '$FB_DIR'"
}

# first_elf CANDIDATE...: prints the first candidate that is a real program.
first_elf() {
    local f
    for f in "$@"; do
        if is_elf "$f"; then
            realpath "$f"
            return 0
        fi
    done
    return 1
}

find_programs() {
    FB_SERVER=$(first_elf "${FB_SERVER_CANDIDATES[@]}") || FB_SERVER=
    FB_ISQL=$(first_elf "${FB_ISQL_CANDIDATES[@]}") || FB_ISQL=
}

# The message file, from the 3.0 folder or, on Debian 13, the 4.0 one.
message_file() {
    local f
    for f in "${FB_MSG_CANDIDATES[@]}"; do
        if [[ -f $f ]]; then
            printf '%s\n' "$f"
            return 0
        fi
    done
    return 1
}

check_installed() {
    [[ -n $FB_SERVER ]] ||
        die "no Firebird 3.0 server program among ${FB_SERVER_CANDIDATES[*]}; run scripts/install-deps.sh first"
    [[ -n $FB_ISQL ]] ||
        die "no Firebird 3.0 isql program among ${FB_ISQL_CANDIDATES[*]}; run scripts/install-deps.sh first"
    message_file >/dev/null ||
        die "no firebird.msg among ${FB_MSG_CANDIDATES[*]}; run scripts/install-deps.sh first"
    local f
    for f in "$FB_HOME/plugins" "$FB_HOME/intl" "$FB_ETC/plugins.conf" "$FB_ETC/fbintl.conf"; do
        [[ -e $f ]] || die "$f is missing; run scripts/install-deps.sh first"
    done
}

fb_env() {
    export FIREBIRD=$FB_DIR FIREBIRD_LOCK=$FB_DIR/lock FIREBIRD_TMP=$FB_DIR/tmp
}

# Bail mode stops at the first failing statement; the messages are held back
# and shown only on failure so that success stays quiet.
run_isql() {
    local out
    if ! out=$("$FB_ISQL" -b -q "$@" 2>&1); then
        printf '%s\n' "$out" >&2
        return 1
    fi
}

# guard_security_write: dies unless the isql call that follows can write to
# no security database but the instance's own.  Checked every time rather
# than trusted from write_config, since the folder may have been edited, a
# file replaced by a link, or the script run where the programs differ.
guard_security_write() {
    local refuse="refusing to change logins:"
    is_elf "$FB_ISQL" ||
        die "$refuse $FB_ISQL is not a real program; a wrapper would point FIREBIRD at the system folder"
    [[ ${FIREBIRD:-} == "$FB_DIR" ]] ||
        die "$refuse FIREBIRD is '${FIREBIRD:-}', not the instance folder $FB_DIR"
    local dir secdb
    dir=$(realpath -e "$FB_DIR") || die "$refuse $FB_DIR does not exist"
    ! is_system_path "$dir" || die "$refuse the instance folder $dir belongs to the packaged server"
    secdb=$(realpath -e "$SECDB") || die "$refuse $SECDB does not exist"
    [[ $secdb == "$dir"/* ]] || die "$refuse $SECDB leads to $secdb, outside the instance folder"
    ! is_system_path "$secdb" || die "$refuse $SECDB leads to the packaged $secdb"
    [[ ! -e $PACKAGED_SECDB || ! $secdb -ef $PACKAGED_SECDB ]] ||
        die "$refuse $SECDB is the packaged security database $PACKAGED_SECDB"
    # The security database of whatever isql attaches is the one the
    # instance's configuration names; it must be this one and no other.
    local conf=$FB_DIR/firebird.conf
    grep -qxF "SecurityDatabase = $SECDB" "$conf" ||
        die "$refuse $conf does not name $SECDB as the security database"
    [[ $(grep -ci '^[[:space:]]*SecurityDatabase' "$conf") == 1 ]] ||
        die "$refuse $conf names more than one security database"
    if grep -qi '^[[:space:]]*SecurityDatabase' "$FB_DIR/databases.conf"; then
        die "$refuse $FB_DIR/databases.conf sets a security database of its own"
    fi
}

# guard_server_security PID: also dies unless the server PID, which is about
# to write to its security database for us, runs on this instance's folder.
guard_server_security() {
    local pid=$1 firebird
    firebird=$(tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | sed -n 's/^FIREBIRD=//p')
    [[ $firebird == "$FB_DIR" ]] ||
        die "refusing to change logins: the server (pid $pid) runs with FIREBIRD='$firebird', not $FB_DIR"
}

running_pid() {
    local pid
    [[ -f $PID_FILE && -n $FB_SERVER ]] || return 1
    pid=$(<"$PID_FILE")
    [[ $pid =~ ^[0-9]+$ ]] || return 1
    kill -0 "$pid" 2>/dev/null || return 1
    # A stale pid file may name a process that reused the number.
    [[ $(readlink "/proc/$pid/exe" 2>/dev/null) == "$FB_SERVER" ]] || return 1
    printf '%s\n' "$pid"
}

# copy_in SOURCE NAME: a real copy, never a link.  Firebird 3.0.12 refuses a
# plugin reached through a linked folder ("Actual module name does not match
# requested"), and the links inside lib/ are relative to the packaged folder,
# so what they point to is copied (-L).  Runs only while the server is
# stopped; the copy is fresh each time so a package upgrade reaches it.
copy_in() {
    local src=$1 dst=$FB_DIR/$2
    # No trailing slash: an old link is removed, not what it points to.
    rm -rf "$dst"
    cp -rL "$src" "$dst"
}

write_config() {
    mkdir -p "$FB_DIR" "$FB_DIR/lock" "$FB_DIR/tmp" "$FB_DIR/data"
    # Port and password may change between runs, so the configuration is
    # rewritten each time; only the security database is kept.  Providers is
    # written out because Debian 13's 3.0 server links the 4.0 client library,
    # whose default names the 4.0 engine.
    cat >"$FB_DIR/firebird.conf" <<EOF
# Written by scripts/fbserver.sh; rewritten at every start.
Providers = Remote,Engine12,Loopback
RemoteServicePort = $FB_PORT
RemoteBindAddress = 127.0.0.1
SecurityDatabase = $SECDB
EOF
    cat >"$FB_DIR/databases.conf" <<EOF
# Written by scripts/fbserver.sh; rewritten at every start.
security.db = $SECDB
EOF
    cp -f "$FB_ETC/plugins.conf" "$FB_ETC/fbintl.conf" "$FB_DIR/"
    copy_in "$(message_file)" firebird.msg
    local item
    for item in intl plugins UDF lib; do
        if [[ -d $FB_HOME/$item ]]; then
            copy_in "$FB_HOME/$item" "$item"
        else
            # Debian 13 has no lib/ for 3.0; a link left by an older run
            # would point at nothing.
            rm -rf "${FB_DIR:?}/$item"
        fi
    done
    if [[ -L $SECDB ]]; then
        die "$SECDB is a link; the instance keeps its own copy of the security database"
    fi
    if [[ ! -f $SECDB ]]; then
        [[ -r $PACKAGED_SECDB ]] ||
            die "$PACKAGED_SECDB is missing; reinstall firebird3.0-server"
        cp "$PACKAGED_SECDB" "$SECDB"
        chmod 600 "$SECDB"
    fi
}

# run_security_sql_embedded SQL: embedded access needs no password and works
# only while no server holds the file, so this runs with the server stopped.
run_security_sql_embedded() {
    fb_env
    guard_security_write
    run_isql -user SYSDBA "$SECDB" <<<"$1"
}

# run_security_sql_remote PID SQL: through the running server PID, by the
# file's path rather than an alias so that what is checked is what is used.
run_security_sql_remote() {
    fb_env
    guard_security_write
    guard_server_security "$1"
    run_isql -user SYSDBA -password "$FB_PASSWORD" "localhost/$(running_port):$SECDB" <<<"$2"
}

cmd_start() {
    already_running && return 0
    check_installed
    if port_open "$FB_PORT"; then
        die "port $FB_PORT is already taken by another program; set KELVANE_FB_PORT"
    fi
    write_config
    set_sysdba_password
    rm -f "$PID_FILE"
    printf '%s\n' "$FB_PORT" >"$PORT_FILE"
    fb_env
    # A new session keeps the server out of the caller's job control and
    # terminal signals; the inner shell records its own pid and then becomes
    # the server, so the pid file names the server itself.  All three
    # standard streams are redirected so callers that capture output do not
    # wait for the server to close them.
    # shellcheck disable=SC2016 # expanded by the inner shell
    setsid -f bash -c 'echo $$ >"$1" && exec "$2"' fbserver "$PID_FILE" "$FB_SERVER" \
        </dev/null >>"$LOG_FILE" 2>&1
    local waited=0
    while ((waited < START_TIMEOUT * 10)); do
        if port_open "$FB_PORT"; then
            if running_pid >/dev/null; then
                return 0
            fi
        fi
        if ((waited > 10)) && ! running_pid >/dev/null; then
            die "the server exited at start; see $LOG_FILE"
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    cmd_stop
    die "the server did not accept connections on port $FB_PORT within ${START_TIMEOUT}s; see $LOG_FILE"
}

cmd_stop() {
    local pid
    if pid=$(running_pid); then
        end_processes "$STOP_TIMEOUT" "$pid" || die "could not stop the server"
    fi
    rm -f "$PID_FILE"
}

cmd_status() {
    local pid
    if pid=$(running_pid); then
        printf 'running on port %s (pid %s, folder %s)\n' "$(running_port)" "$pid" "$FB_DIR"
        return 0
    fi
    printf 'not running (folder %s)\n' "$FB_DIR"
    return 1
}

cmd_env() {
    local port
    port=$(current_port)
    printf 'export KELVANE_FB_DIR=%q KELVANE_FB_PORT=%q KELVANE_FB_PASSWORD=%q\n' \
        "$FB_DIR" "$port" "$FB_PASSWORD"
}

cmd_adduser() {
    (($# == 2)) || usage
    local name=$1 password=$2
    check_login "$name" "$password"
    local sql pid
    sql=$(login_sql "$name" "$password")
    check_installed
    if pid=$(running_pid); then
        run_security_sql_remote "$pid" "$sql" ||
            die "adduser: could not create or alter login '$name'"
    else
        write_config
        run_security_sql_embedded "$sql" ||
            die "adduser: could not create or alter login '$name'"
    fi
}

main() {
    (($# >= 1)) || usage
    local cmd=$1
    shift
    check_settings
    find_programs
    case $cmd in
        start) (($# == 0)) || usage; cmd_start ;;
        stop) (($# == 0)) || usage; cmd_stop ;;
        status) (($# == 0)) || usage; cmd_status ;;
        env) (($# == 0)) || usage; cmd_env ;;
        adduser) cmd_adduser "$@" ;;
        *) usage ;;
    esac
}

main "$@"
