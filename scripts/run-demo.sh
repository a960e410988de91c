#!/usr/bin/env bash
# Sets up, builds, starts the demo server, creates the demo databases and
# opens Kelvane on the demo aliases.  The server keeps running afterwards.
set -euo pipefail

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
readonly BUILD_DIR=$REPO_ROOT/build
readonly BUILD_TYPE=RelWithDebInfo
readonly EXE=$BUILD_DIR/app/kelvane
readonly XVFB_DISPLAY=:77
readonly PROGRAM=run-demo
# shellcheck source=scripts/common.sh
source "$REPO_ROOT/scripts/common.sh"

# Only the program: the tests and the benchmark are not needed to run it, and
# Ninja's progress lines show that the first build is moving.
build() {
    printf 'Building Kelvane (%s) in %s ...\n' "$BUILD_TYPE" "$BUILD_DIR"
    configure_build "$BUILD_DIR" -DCMAKE_BUILD_TYPE="$BUILD_TYPE"
    local log=$BUILD_DIR/build.log
    if ! cmake --build "$BUILD_DIR" --target kelvane 2>&1 | tee "$log"; then
        die "the build failed; full log in $log"
    fi
    [[ -x $EXE ]] || die "the build did not produce $EXE"
}

XVFB_PID=
stop_xvfb() {
    if [[ -n $XVFB_PID ]] && kill -0 "$XVFB_PID" 2>/dev/null; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
    fi
}

start_xvfb() {
    local n=${XVFB_DISPLAY#:}
    local socket=/tmp/.X11-unix/X$n
    if [[ -S $socket ]] && DISPLAY=$XVFB_DISPLAY xdotool getmouselocation >/dev/null 2>&1; then
        printf 'No DISPLAY set: using the X server already running on %s.\n' "$XVFB_DISPLAY"
    else
        command -v Xvfb >/dev/null || die "Xvfb is missing; run scripts/install-deps.sh"
        Xvfb "$XVFB_DISPLAY" -screen 0 1024x768x24 -nolisten tcp \
            </dev/null >"$BUILD_DIR/xvfb.log" 2>&1 &
        XVFB_PID=$!
        trap stop_xvfb EXIT
        # Without these a signal would end the script without its EXIT trap.
        trap 'exit 130' INT
        trap 'exit 143' TERM
        local waited=0
        until [[ -S $socket ]] && DISPLAY=$XVFB_DISPLAY xdotool getmouselocation >/dev/null 2>&1; do
            kill -0 "$XVFB_PID" 2>/dev/null || die "Xvfb exited at start; see $BUILD_DIR/xvfb.log"
            ((waited < 100)) || die "Xvfb did not come up on $XVFB_DISPLAY within 10s"
            sleep 0.1
            waited=$((waited + 1))
        done
        printf 'No DISPLAY set: started Xvfb on %s; it stops when Kelvane exits.\n' "$XVFB_DISPLAY"
    fi
    printf 'Screenshot: DISPLAY=%s import -window root shot.png  (import is in imagemagick)\n' "$XVFB_DISPLAY"
    export DISPLAY=$XVFB_DISPLAY
}

main() {
    bash "$REPO_ROOT/scripts/install-deps.sh"
    build

    bash "$REPO_ROOT/scripts/fbserver.sh" start
    eval "$(bash "$REPO_ROOT/scripts/fbserver.sh" env)"
    bash "$REPO_ROOT/scripts/create-demo.sh" >/dev/null

    local aliases=$KELVANE_FB_DIR/demo-aliases.ini
    [[ -f $aliases ]] || die "create-demo.sh wrote no $aliases"
    local stop_command
    printf -v stop_command 'KELVANE_FB_DIR=%q KELVANE_FB_PORT=%q bash %q stop' \
        "$KELVANE_FB_DIR" "$KELVANE_FB_PORT" "$REPO_ROOT/scripts/fbserver.sh"

    cat <<EOF

Kelvane demo
  aliases   $aliases (DEMO and IBLOCAL are offered)
  log in    SYSDBA / $KELVANE_FB_PASSWORD   administrator
            CLERK / clerk   no grant rights: the server refuses its grants
  server    127.0.0.1:$KELVANE_FB_PORT, keeps running; stop it with:
            $stop_command

EOF

    if [[ -z ${DISPLAY:-} ]]; then
        start_xvfb
    fi

    local workdir=$REPO_ROOT/docs
    if [[ ! -d $workdir ]]; then
        printf 'run-demo: %s is missing; the user guide will not be found\n' "$workdir" >&2
        workdir=$REPO_ROOT
    fi

    local rc=0
    (cd "$workdir" && KELVANE_ALIASES=$aliases "$EXE") || rc=$?
    return "$rc"
}

main "$@"
