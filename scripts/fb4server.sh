#!/usr/bin/env bash
# A private, throwaway Firebird 4.0 server, for trying Kelvane against the
# newer server on a machine that has only Firebird 3.
#
# Usage: fb4server.sh start|stop|status|env|adduser NAME PASSWORD
#
# Environment (defaults in brackets):
#   KELVANE_FB4_DIR       instance folder           [<repo>/.fbserver4]
#   KELVANE_FB4_PORT      TCP port on 127.0.0.1     [3057]
#   KELVANE_FB_PASSWORD   SYSDBA password           [masterkey]
#   KELVANE_CHROOT        Debian 13 chroot, a cache [/var/cache/kelvane/trixie-chroot]
#   KELVANE_DEBIAN_MIRROR mirror for the chroot     [the host's apt sources]
#
# The server is Debian 13's firebird4.0-server, run inside a minimal Debian
# 13 chroot that is made on first use (debootstrap) and kept for later runs.
# The instance folder stays on the host, where fbserver.sh keeps its own, and
# is bind-mounted into the chroot at the same absolute path while it is
# needed: the server and the host's programs then name every file alike, so
# a host client connects to localhost/PORT:<path> with the path it sees.
# Needs root (chroot, mount).  The chroot's own Firebird files are never
# written: the instance has its own configuration and security database.
set -euo pipefail

# libib-util is only recommended, but without it the server logs at every
# start that ib_util, which UDFs need, is missing.
readonly PACKAGES=(firebird4.0-server firebird4.0-utils libib-util)
# Paths inside the chroot.  The programs in /usr/sbin and /usr/bin are
# wrapper scripts that set FIREBIRD to the packaged folder; the real ones
# live here.
readonly FB_BIN=/usr/lib/firebird/4.0/bin
readonly FB_HOME=/usr/lib/x86_64-linux-gnu/firebird/4.0
readonly FB_ETC=/etc/firebird/4.0
readonly PACKAGED_SECDB=/var/lib/firebird/4.0/system/security4.fdb
readonly START_TIMEOUT=20
readonly STOP_TIMEOUT=10

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Paths made absolute and freed of links and dots (realpath -m), so that
# they name the same folder inside the chroot as outside.
FB_DIR=$(realpath -m "${KELVANE_FB4_DIR:-$REPO_ROOT/.fbserver4}")
FB_PORT=${KELVANE_FB4_PORT:-3057}
FB_PASSWORD=${KELVANE_FB_PASSWORD:-masterkey}
CHROOT=$(realpath -m "${KELVANE_CHROOT:-/var/cache/kelvane/trixie-chroot}")
# For scripts/chroot.sh, which makes and mounts the chroot.
readonly CHROOT_SETTING=KELVANE_CHROOT
# shellcheck source=scripts/chroot.sh
source "$REPO_ROOT/scripts/chroot.sh"
# shellcheck source=scripts/fbcommon.sh
source "$REPO_ROOT/scripts/fbcommon.sh"

PID_FILE=$FB_DIR/firebird.pid
PORT_FILE=$FB_DIR/firebird.port
LOG_FILE=$FB_DIR/server.log
SECDB=$FB_DIR/security4.fdb
DATA_DIR=$FB_DIR/data
# Where the instance folder appears to the host through the chroot.
INNER_DIR=$CHROOT$FB_DIR
READY_STAMP=$CHROOT/etc/kelvane-chroot-ready

readonly PROGRAM=fb4server

die() {
    printf '%s: %s\n' "$PROGRAM" "$*" >&2
    exit 1
}

warn() {
    printf '%s: %s\n' "$PROGRAM" "$*" >&2
}

usage() {
    cat >&2 <<'EOF'
usage: fb4server.sh start|stop|status|env|adduser NAME PASSWORD
EOF
    exit 2
}

check_settings() {
    if ! [[ $FB_PORT =~ ^[1-9][0-9]{0,4}$ ]] || ((FB_PORT > 65535)); then
        die "KELVANE_FB4_PORT must be a TCP port number, got '$FB_PORT'"
    fi
    # firebird.conf has no quoting, so a folder with blanks would be cut short.
    [[ $FB_DIR != *[[:space:]]* ]] || die "KELVANE_FB4_DIR must not contain blanks: '$FB_DIR'"
    [[ $CHROOT != *[[:space:]]* ]] || die "KELVANE_CHROOT must not contain blanks: '$CHROOT'"
    [[ $FB_DIR != / ]] || die "KELVANE_FB4_DIR must not be the root folder"
    [[ $CHROOT != / ]] || die "KELVANE_CHROOT must not be the root folder"
    ! is_system_path "$FB_DIR" ||
        die "KELVANE_FB4_DIR must not be inside a folder of a packaged Firebird: '$FB_DIR'"
    # The instance folder is mounted into the chroot; one inside the other
    # would mount a folder into itself, and removing the chroot would
    # remove the instance.
    ! is_under "$FB_DIR" "$CHROOT" || die "KELVANE_FB4_DIR must not be inside KELVANE_CHROOT"
    ! is_under "$CHROOT" "$FB_DIR" || die "KELVANE_CHROOT must not be inside KELVANE_FB4_DIR"
}

need_root() {
    ((EUID == 0)) || die "$1 needs root (debootstrap, chroot and mount)"
}

# in_chroot COMMAND...: the same, with Firebird pointed at the instance
# folder.  Never for the package tools: the packages' own scripts would
# then work in the instance folder.
in_chroot() {
    in_chroot_plain FIREBIRD="$FB_DIR" FIREBIRD_LOCK="$FB_DIR/lock" FIREBIRD_TMP="$FB_DIR/tmp" "$@"
}

mount_instance() {
    mkdir -p "$FB_DIR"
    bind_same_path "$FB_DIR" KELVANE_FB4_DIR
}

# Unmounts what this instance mounted; /proc stays while another server
# still runs in the chroot.  Returns non-zero if something stayed mounted.
unmount_instance() {
    local rc=0
    unmount_all "$INNER_DIR" || rc=1
    if ! chroot_in_use; then
        unmount_all "$CHROOT/proc" || rc=1
    fi
    return "$rc"
}

# --- the chroot -------------------------------------------------------------

chroot_has_firebird() {
    is_elf "$CHROOT$FB_BIN/firebird" && is_elf "$CHROOT$FB_BIN/isql-fb" &&
        [[ -f $CHROOT$PACKAGED_SECDB && -d $CHROOT$FB_HOME/plugins && -e $CHROOT$FB_HOME/lib/libib_util.so ]]
}

install_firebird() {
    local log=$CHROOT/var/log/kelvane-install.log
    printf 'fb4server: installing %s in the chroot\n' "${PACKAGES[*]}" >&2
    # Post-installation scripts find Firebird's folders through /proc.
    mount_proc
    local rc=0
    # dpkg --configure first: an earlier, interrupted install may have left
    # packages unconfigured, which apt-get would refuse to work around.
    in_chroot_plain DEBIAN_FRONTEND=noninteractive sh -c \
        "dpkg --configure -a && apt-get update && apt-get install -y --no-install-recommends $*" \
        >"$log" 2>&1 || rc=$?
    chroot_in_use || unmount_all "$CHROOT/proc" || true
    if ((rc != 0)); then
        tail -n 30 "$log" >&2
        die "installing $* in the chroot failed; full log in $log"
    fi
}

ensure_chroot() {
    if [[ -f $READY_STAMP ]] && chroot_has_firebird; then
        write_chroot_files
        return 0
    fi
    [[ -x $CHROOT/usr/bin/apt-get ]] || bootstrap "$(dirname "$CHROOT")/debootstrap.log"
    write_chroot_files
    chroot_has_firebird || install_firebird "${PACKAGES[@]}"
    chroot_has_firebird || die "the chroot has no working Firebird 4.0 after installing it"
    date -u '+%Y-%m-%dT%H:%M:%SZ' >"$READY_STAMP"
}

# --- the instance -----------------------------------------------------------

server_exe() {
    printf '%s%s/firebird\n' "$CHROOT" "$FB_BIN"
}

# instance_pid PID: PID is this instance's server: the chroot's Firebird
# program, run on this instance folder.
instance_pid() {
    local pid=$1 firebird
    [[ $pid =~ ^[0-9]+$ ]] || return 1
    kill -0 "$pid" 2>/dev/null || return 1
    [[ $(readlink "/proc/$pid/exe" 2>/dev/null) == "$(server_exe)" ]] || return 1
    firebird=$(tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | sed -n 's/^FIREBIRD=//p')
    [[ $firebird == "$FB_DIR" ]]
}

running_pid() {
    local pid
    [[ -f $PID_FILE ]] || return 1
    pid=$(<"$PID_FILE")
    # A stale pid file may name a process that reused the number.
    instance_pid "$pid" || return 1
    printf '%s\n' "$pid"
}

# Every server of this instance, also one whose pid file was lost.
instance_pids() {
    local p
    for p in /proc/[0-9]*; do
        if instance_pid "${p#/proc/}"; then
            printf '%s\n' "${p#/proc/}"
        fi
    done
}

# copy_in SOURCE NAME: copies a packaged file or folder of the chroot into
# the instance.  Copies, not links: a plugin reached through a linked folder
# is refused.  Done inside the chroot so that the absolute links in the
# packaged folders (intl/fbintl.conf) resolve there; -L copies what the
# links point to.
copy_in() {
    rm -rf "${FB_DIR:?}/$2"
    in_chroot cp -rL "$1" "$FB_DIR/$2"
}

write_config() {
    mkdir -p "$FB_DIR/lock" "$FB_DIR/tmp" "$DATA_DIR"
    # Port and password may change between runs, so the configuration is
    # rewritten each time; only the security database is kept.
    cat >"$FB_DIR/firebird.conf" <<EOF
# Written by scripts/fb4server.sh; rewritten at every start.
Providers = Remote,Engine13,Loopback
RemoteServicePort = $FB_PORT
RemoteBindAddress = 127.0.0.1
SecurityDatabase = $SECDB
EOF
    # No "RemoteAccess = false" for the security database, unlike the
    # packaged file: logins are added through the running server.
    cat >"$FB_DIR/databases.conf" <<EOF
# Written by scripts/fb4server.sh; rewritten at every start.
security.db = $SECDB
EOF
    copy_in "$FB_ETC/plugins.conf" plugins.conf
    copy_in "$FB_ETC/fbintl.conf" fbintl.conf
    local item
    for item in plugins intl lib firebird.msg; do
        copy_in "$FB_HOME/$item" "$item"
    done
    [[ ! -L $SECDB ]] || die "$SECDB is a link; the instance keeps its own copy of the security database"
    if [[ ! -f $SECDB ]]; then
        in_chroot cp "$PACKAGED_SECDB" "$SECDB"
        chmod 600 "$SECDB"
    fi
}

# guard_security_write: dies unless the isql call that follows can write to
# no security database but the instance's own.
guard_security_write() {
    local refuse="refusing to change logins:"
    is_elf "$CHROOT$FB_BIN/isql-fb" ||
        die "$refuse $CHROOT$FB_BIN/isql-fb is not a real program"
    local dir secdb
    dir=$(realpath -e "$FB_DIR") || die "$refuse $FB_DIR does not exist"
    ! is_system_path "$dir" || die "$refuse the instance folder $dir belongs to a packaged Firebird"
    secdb=$(realpath -e "$SECDB") || die "$refuse $SECDB does not exist"
    [[ $secdb == "$dir"/* ]] || die "$refuse $SECDB leads to $secdb, outside the instance folder"
    ! is_system_path "$secdb" || die "$refuse $SECDB leads to a packaged $secdb"
    [[ ! $secdb -ef $CHROOT$PACKAGED_SECDB ]] ||
        die "$refuse $SECDB is the chroot's packaged security database"
    local f
    for f in /var/lib/firebird/*/system/security*.fdb; do
        [[ ! -e $f || ! $secdb -ef $f ]] || die "$refuse $SECDB is the packaged $f"
    done
    # Inside the chroot the same path must lead to the same file.
    [[ $CHROOT$SECDB -ef $SECDB ]] || die "$refuse $FB_DIR is not mounted into the chroot"
    local conf=$FB_DIR/firebird.conf
    grep -qxF "SecurityDatabase = $SECDB" "$conf" ||
        die "$refuse $conf does not name $SECDB as the security database"
    [[ $(grep -ci '^[[:space:]]*SecurityDatabase' "$conf") == 1 ]] ||
        die "$refuse $conf names more than one security database"
    if grep -qi '^[[:space:]]*SecurityDatabase' "$FB_DIR/databases.conf"; then
        die "$refuse $FB_DIR/databases.conf sets a security database of its own"
    fi
}

# run_isql ARG...: the chroot's real isql (the wrapper would set FIREBIRD to
# the packaged folder) in bail mode; its messages only on failure.
run_isql() {
    local out
    if ! out=$(in_chroot "$FB_BIN/isql-fb" -b -q "$@" 2>&1); then
        printf '%s\n' "$out" >&2
        return 1
    fi
}

# Embedded access needs no password and works only while no server holds
# the file.
run_security_sql_embedded() {
    guard_security_write
    run_isql -user SYSDBA "$SECDB" <<<"$1"
}

# Through the running server, by the file's path so that what was checked
# is what is used.
run_security_sql_remote() {
    guard_security_write
    run_isql -user SYSDBA -password "$FB_PASSWORD" "localhost/$(running_port):$SECDB" <<<"$1"
}

# One command at a time per chroot: two starts would race for its creation
# and for /proc.  The lock file sits beside the chroot.
take_lock() {
    mkdir -p "$(dirname "$CHROOT")"
    exec 9>"$CHROOT.lock"
    flock -w 900 9 || die "another fb4server.sh holds $CHROOT.lock"
}

# Undoes a start that failed half-way: no server, no mounts left behind.
START_DONE=0
abandon_start() {
    if ((START_DONE == 0)); then
        stop_instance >/dev/null 2>&1 || true
    fi
}

cmd_start() {
    need_root start
    take_lock
    already_running && return 0
    if port_open "$FB_PORT"; then
        die "port $FB_PORT is already taken by another program; set KELVANE_FB4_PORT"
    fi
    ensure_chroot
    trap abandon_start EXIT
    mount_instance
    write_config
    mount_proc
    set_sysdba_password
    rm -f "$PID_FILE"
    printf '%s\n' "$FB_PORT" >"$PORT_FILE"
    # A new session keeps the server out of the caller's job control and
    # terminal signals; the inner shell records its own pid and then becomes
    # the server.  All standard streams are redirected so callers that
    # capture output do not wait for the server, and the lock is not
    # inherited.
    # shellcheck disable=SC2016 # expanded by the inner shell
    setsid -f chroot "$CHROOT" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
        FIREBIRD="$FB_DIR" FIREBIRD_LOCK="$FB_DIR/lock" FIREBIRD_TMP="$FB_DIR/tmp" \
        /bin/bash -c 'echo $$ >"$1" && exec "$2"' fb4server "$PID_FILE" "$FB_BIN/firebird" \
        </dev/null >>"$LOG_FILE" 2>&1 9>&-
    local waited=0
    while ((waited < START_TIMEOUT * 10)); do
        if port_open "$FB_PORT" && running_pid >/dev/null; then
            START_DONE=1
            return 0
        fi
        if ((waited > 20)) && ! running_pid >/dev/null; then
            die "the server exited at start; see $LOG_FILE and $FB_DIR/firebird4.0.log"
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    die "the server did not accept connections on port $FB_PORT within ${START_TIMEOUT}s; see $LOG_FILE"
}

# Ends every server of this instance and takes its mounts off, whatever
# state an earlier failure left; non-zero if something could not be undone.
stop_instance() {
    local pids=() pid rc=0
    if pid=$(running_pid); then
        pids+=("$pid")
    fi
    while IFS= read -r pid; do
        [[ -n $pid && " ${pids[*]} " != *" $pid "* ]] && pids+=("$pid")
    done < <(instance_pids)
    if ((${#pids[@]} > 0)); then
        end_processes "$STOP_TIMEOUT" "${pids[@]}" || rc=1
    fi
    rm -f "$PID_FILE"
    unmount_instance || rc=1
    return "$rc"
}

cmd_stop() {
    need_root stop
    take_lock
    stop_instance || die "could not stop the server or take its mounts off cleanly"
}

cmd_status() {
    local pid
    if pid=$(running_pid); then
        printf 'running on port %s (pid %s, folder %s, chroot %s)\n' \
            "$(running_port)" "$pid" "$FB_DIR" "$CHROOT"
        return 0
    fi
    printf 'not running (folder %s, chroot %s)\n' "$FB_DIR" "$CHROOT"
    return 1
}

# The server and the host see the instance folder at the same path, so the
# data folder is the same on both sides; both variables are printed so a
# caller need not know that.
cmd_env() {
    local port
    port=$(current_port)
    printf 'export KELVANE_FB4_DIR=%q KELVANE_FB4_PORT=%q KELVANE_FB_PASSWORD=%q\n' \
        "$FB_DIR" "$port" "$FB_PASSWORD"
    printf 'export KELVANE_FB4_DATA=%q KELVANE_FB4_HOST_DATA=%q KELVANE_CHROOT=%q\n' \
        "$DATA_DIR" "$DATA_DIR" "$CHROOT"
}

cmd_adduser() {
    (($# == 2)) || usage
    local name=$1 password=$2
    check_login "$name" "$password"
    need_root adduser
    take_lock
    local sql
    sql=$(login_sql "$name" "$password")
    if running_pid >/dev/null; then
        run_security_sql_remote "$sql" ||
            die "adduser: could not create or alter login '$name'"
    else
        ensure_chroot
        # Mounted for this command only, and taken off whatever happens.
        trap 'unmount_instance || true' EXIT
        mount_instance
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
