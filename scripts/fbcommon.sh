# shellcheck shell=bash
# What the private Firebird 3 and Firebird 4 servers' scripts share. Sourced
# after the caller has defined die and PROGRAM; the functions on the running
# server need FB_PORT, PORT_FILE and running_pid, and set_sysdba_password
# FB_PASSWORD, SECDB and run_security_sql_embedded.

# is_system_path ABSOLUTE-PATH: true for the folders a packaged Firebird
# owns (configuration, security databases, programs, run-time files).
is_system_path() {
    case $1 in
        /etc/firebird | /etc/firebird/* | /var/lib/firebird | /var/lib/firebird/* | \
            /usr/lib/firebird | /usr/lib/firebird/* | /usr/lib/*/firebird | /usr/lib/*/firebird/* | \
            /usr/share/firebird* | /run/firebird* | /var/run/firebird* | /var/log/firebird* | \
            /tmp/firebird | /tmp/firebird/*)
            return 0
            ;;
    esac
    return 1
}

is_elf() {
    [[ -f $1 && $(LC_ALL=C head -c 4 "$1" 2>/dev/null) == $'\177ELF' ]]
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

# end_processes SECONDS PID...: asks the processes to end (SIGTERM), kills
# those still running after SECONDS, and waits up to five seconds more for
# them to go; non-zero, naming them, if any still runs.
end_processes() {
    local seconds=$1 pid alive waited=0 rc=0
    shift
    kill -TERM "$@" 2>/dev/null || true
    while ((waited < seconds * 10)); do
        alive=0
        for pid in "$@"; do
            kill -0 "$pid" 2>/dev/null && alive=1
        done
        ((alive)) || return 0
        sleep 0.1
        waited=$((waited + 1))
    done
    for pid in "$@"; do
        if kill -0 "$pid" 2>/dev/null; then
            printf '%s: pid %s did not end within %ss; killing it\n' "$PROGRAM" "$pid" "$seconds" >&2
            kill -KILL "$pid" 2>/dev/null || true
        fi
    done
    waited=0
    for pid in "$@"; do
        while kill -0 "$pid" 2>/dev/null && ((waited < 50)); do
            sleep 0.1
            waited=$((waited + 1))
        done
        if kill -0 "$pid" 2>/dev/null; then
            printf '%s: pid %s is still running\n' "$PROGRAM" "$pid" >&2
            rc=1
        fi
    done
    return "$rc"
}

# The port the server was started on, as it wrote it down.
running_port() {
    if [[ -f $PORT_FILE ]]; then
        cat "$PORT_FILE"
    else
        printf '%s\n' "$FB_PORT"
    fi
}

# The port a client reaches the instance on: the running server's, else the
# one it would start on.
current_port() {
    if running_pid >/dev/null; then
        running_port
    else
        printf '%s\n' "$FB_PORT"
    fi
}

port_open() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# true when the server already runs on FB_PORT; fails when it runs on another.
already_running() {
    local pid port
    pid=$(running_pid) || return 1
    port=$(running_port)
    [[ $port == "$FB_PORT" ]] ||
        die "already running on port $port (pid $pid), not on $FB_PORT; stop it first"
}

# check_login NAME PASSWORD: fails for an empty name or password.
check_login() {
    [[ -n $1 ]] || die "adduser: the name must not be empty"
    [[ -n $2 ]] || die "adduser: the password must not be empty"
}

# login_sql NAME PASSWORD: the statements that create the login, or give it
# that password.
login_sql() {
    printf 'create or alter user %s password %s using plugin Srp;\ncommit;\n' \
        "$(sql_identifier "$1")" "$(sql_string "$2")"
}

set_sysdba_password() {
    run_security_sql_embedded "$(login_sql SYSDBA "$FB_PASSWORD")" ||
        die "could not set the SYSDBA password in $SECDB"
}
