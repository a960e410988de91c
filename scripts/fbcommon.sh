# shellcheck shell=bash
# What the private Firebird 3 and Firebird 4 servers' scripts share. Sourced
# after the caller has defined die, and, for set_sysdba_password,
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

set_sysdba_password() {
    run_security_sql_embedded "create or alter user SYSDBA password $(sql_string "$FB_PASSWORD") using plugin Srp;
commit;" ||
        die "could not set the SYSDBA password in $SECDB"
}
