#!/usr/bin/env bash
# A private, throwaway Firebird 3 server for the demo and the tests.
#
# Usage: fbserver.sh start|stop|status|env|adduser NAME PASSWORD
#
# Environment (defaults in brackets):
#   KELVANE_FB_DIR       instance folder          [<repo>/.fbserver]
#   KELVANE_FB_PORT      TCP port on 127.0.0.1    [3053]
#   KELVANE_FB_PASSWORD  SYSDBA password          [masterkey]
set -euo pipefail

readonly FB_HOME=/usr/lib/x86_64-linux-gnu/firebird/3.0
readonly FB_ETC=/etc/firebird/3.0
readonly FB_SERVER=/usr/sbin/firebird
readonly PACKAGED_SECDB=/var/lib/firebird/3.0/system/security3.fdb
readonly START_TIMEOUT=15
readonly STOP_TIMEOUT=10

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
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

die() {
    printf 'fbserver: %s\n' "$*" >&2
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
}

check_installed() {
    local f
    for f in "$FB_SERVER" /usr/bin/isql-fb "$FB_HOME/firebird.msg" "$FB_ETC/plugins.conf" "$FB_ETC/fbintl.conf"; do
        [[ -e $f ]] || die "$f is missing; run scripts/install-deps.sh first"
    done
}

# Doubles single quotes so a value can sit inside an SQL string literal.
sql_string() {
    local s=${1//\'/\'\'}
    printf "'%s'" "$s"
}

# A plain name goes in as written and is upper-cased by the server like any
# identifier; anything else needs to be delimited to survive unchanged.
sql_identifier() {
    if [[ $1 =~ ^[A-Za-z][A-Za-z0-9_\$]*$ ]]; then
        printf '%s' "$1"
    else
        local s=${1//\"/\"\"}
        printf '"%s"' "$s"
    fi
}

fb_env() {
    export FIREBIRD=$FB_DIR FIREBIRD_LOCK=$FB_DIR/lock FIREBIRD_TMP=$FB_DIR/tmp
}

# Bail mode stops at the first failing statement; the messages are held back
# and shown only on failure so that success stays quiet.
run_isql() {
    local out
    if ! out=$(isql-fb -b -q "$@" 2>&1); then
        printf '%s\n' "$out" >&2
        return 1
    fi
}

running_pid() {
    local pid
    [[ -f $PID_FILE ]] || return 1
    pid=$(<"$PID_FILE")
    [[ $pid =~ ^[0-9]+$ ]] || return 1
    kill -0 "$pid" 2>/dev/null || return 1
    # A stale pid file may name a process that reused the number.
    [[ $(readlink "/proc/$pid/exe" 2>/dev/null) == "$FB_SERVER" ]] || return 1
    printf '%s\n' "$pid"
}

running_port() {
    if [[ -f $PORT_FILE ]]; then
        cat "$PORT_FILE"
    else
        printf '%s\n' "$FB_PORT"
    fi
}

port_open() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

write_config() {
    mkdir -p "$FB_DIR" "$FB_DIR/lock" "$FB_DIR/tmp" "$FB_DIR/data"
    # Port and password may change between runs, so the configuration is
    # rewritten each time; only the security database is kept.
    cat >"$FB_DIR/firebird.conf" <<EOF
# Written by scripts/fbserver.sh; rewritten at every start.
RemoteServicePort = $FB_PORT
RemoteBindAddress = 127.0.0.1
SecurityDatabase = $SECDB
EOF
    cat >"$FB_DIR/databases.conf" <<EOF
# Written by scripts/fbserver.sh; rewritten at every start.
security.db = $SECDB
EOF
    cp -f "$FB_ETC/plugins.conf" "$FB_ETC/fbintl.conf" "$FB_DIR/"
    local item
    for item in firebird.msg intl plugins UDF lib; do
        ln -sfn "$FB_HOME/$item" "$FB_DIR/$item"
    done
    if [[ ! -f $SECDB ]]; then
        [[ -r $PACKAGED_SECDB ]] ||
            die "$PACKAGED_SECDB is missing; reinstall firebird3.0-server"
        cp "$PACKAGED_SECDB" "$SECDB"
        chmod 600 "$SECDB"
    fi
}

# Embedded access needs no password and works only while no server holds
# the file, which is why this runs before the server starts.
set_sysdba_password() {
    fb_env
    run_isql -user SYSDBA "$SECDB" <<EOF ||
create or alter user SYSDBA password $(sql_string "$FB_PASSWORD") using plugin Srp;
commit;
EOF
        die "could not set the SYSDBA password in $SECDB"
}

cmd_start() {
    local pid port
    if pid=$(running_pid); then
        port=$(running_port)
        [[ $port == "$FB_PORT" ]] ||
            die "already running on port $port (pid $pid), not on $FB_PORT; stop it first"
        return 0
    fi
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
    local pid waited=0
    if ! pid=$(running_pid); then
        rm -f "$PID_FILE"
        return 0
    fi
    kill -TERM "$pid" 2>/dev/null || true
    while kill -0 "$pid" 2>/dev/null && ((waited < STOP_TIMEOUT * 10)); do
        sleep 0.1
        waited=$((waited + 1))
    done
    if kill -0 "$pid" 2>/dev/null; then
        printf 'fbserver: server (pid %s) did not stop within %ss; killing it\n' "$pid" "$STOP_TIMEOUT" >&2
        kill -KILL "$pid" 2>/dev/null || true
        waited=0
        while kill -0 "$pid" 2>/dev/null && ((waited < 50)); do
            sleep 0.1
            waited=$((waited + 1))
        done
        ! kill -0 "$pid" 2>/dev/null || die "server (pid $pid) is still running"
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
    local port=$FB_PORT
    if running_pid >/dev/null; then
        port=$(running_port)
    fi
    printf 'export KELVANE_FB_DIR=%q KELVANE_FB_PORT=%q KELVANE_FB_PASSWORD=%q\n' \
        "$FB_DIR" "$port" "$FB_PASSWORD"
}

cmd_adduser() {
    (($# == 2)) || usage
    local name=$1 password=$2
    [[ -n $name ]] || die "adduser: the name must not be empty"
    [[ -n $password ]] || die "adduser: the password must not be empty"
    local sql
    sql="create or alter user $(sql_identifier "$name") password $(sql_string "$password") using plugin Srp;
commit;"
    if running_pid >/dev/null; then
        run_isql -user SYSDBA -password "$FB_PASSWORD" "localhost/$(running_port):security.db" <<<"$sql" ||
            die "adduser: could not create or alter login '$name'"
    else
        check_installed
        write_config
        fb_env
        run_isql -user SYSDBA "$SECDB" <<<"$sql" ||
            die "adduser: could not create or alter login '$name'"
    fi
}

main() {
    (($# >= 1)) || usage
    local cmd=$1
    shift
    check_settings
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
