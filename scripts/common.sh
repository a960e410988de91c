# shellcheck shell=bash
# Shared by the run-*.sh scripts, which source it after setting REPO_ROOT and
# PROGRAM (the name their messages start with).

die() {
    printf '%s: %s\n' "$PROGRAM" "$*" >&2
    exit 1
}

# run_logged LOG COMMAND...: output goes to the log and is shown only on
# failure, so that a successful run prints only what matters.
run_logged() {
    local log=$1
    shift
    if ! "$@" >"$log" 2>&1; then
        tail -n 80 "$log" >&2
        die "'$*' failed; full log in $log"
    fi
}

# configure_build DIR CMAKE-OPTION...: configures a Ninja build folder.
configure_build() {
    local dir=$1
    shift
    mkdir -p "$dir"
    local cache=$dir/CMakeCache.txt
    # CMake refuses to switch generators in an existing build folder.
    if [[ -f $cache ]] && ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$cache"; then
        rm -rf "$cache" "$dir/CMakeFiles"
    fi
    run_logged "$dir/configure.log" cmake -S "$REPO_ROOT" -B "$dir" -G Ninja "$@"
}

# start_private_server CLEANUP: starts the private Firebird server, with the
# function CLEANUP (which must stop it) as the exit trap, and exports its
# settings for the programs run offscreen against it.
start_private_server() {
    # shellcheck disable=SC2064 # the name of the function is meant to expand now
    trap "$1" EXIT
    # Without these a signal would end the script without its EXIT trap.
    trap 'exit 130' INT
    trap 'exit 143' TERM
    bash "$REPO_ROOT/scripts/fbserver.sh" start
    # Read back so the programs see the absolute folder fbserver.sh settled on.
    eval "$(bash "$REPO_ROOT/scripts/fbserver.sh" env)"
    export KELVANE_FB_DIR KELVANE_FB_PORT KELVANE_FB_PASSWORD
    export QT_QPA_PLATFORM=offscreen
}
