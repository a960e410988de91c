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
