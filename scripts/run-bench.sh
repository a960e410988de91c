#!/usr/bin/env bash
# Builds the benchmark (browsing and the editing commands), starts a private
# Firebird server of its own, runs the benchmark and stops the server again,
# whatever happens.  Arguments go to the benchmark (--runs N, --statements,
# --rtt MS for a round trip of MS through a delaying proxy).
# Exits with its exit status.
#
# Folder, port and build folder are the benchmark's own, so that it can run
# beside the demo and test servers and beside a developer's build;
# KELVANE_FB_DIR, KELVANE_FB_PORT and KELVANE_FB_PASSWORD override.
set -euo pipefail

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
readonly BUILD_DIR=$REPO_ROOT/build-bench
readonly FBSERVER=$REPO_ROOT/scripts/fbserver.sh
readonly PROGRAM=run-bench
# shellcheck source=scripts/common.sh
source "$REPO_ROOT/scripts/common.sh"

export KELVANE_FB_DIR=${KELVANE_FB_DIR:-$REPO_ROOT/.fbserver-bench}
export KELVANE_FB_PORT=${KELVANE_FB_PORT:-3055}
export KELVANE_FB_PASSWORD=${KELVANE_FB_PASSWORD:-masterkey}

build() {
    # Timings of a debug build would say little about the program as shipped.
    configure_build "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DKELVANE_BUILD_TESTS=ON \
        -DKELVANE_BUILD_BENCH=ON
    # One job: the figures are only as good as the machine is quiet, and a
    # parallel build elsewhere on a small machine should not be starved.
    run_logged "$BUILD_DIR/build.log" ninja -C "$BUILD_DIR" -j1 kelvane_bench
}

RUNTIME_DIR=

cleanup() {
    bash "$FBSERVER" stop || printf 'run-bench: could not stop the benchmark server\n' >&2
    if [[ -n $RUNTIME_DIR ]]; then
        rm -rf "$RUNTIME_DIR"
    fi
}

main() {
    bash "$REPO_ROOT/scripts/install-deps.sh"
    build

    start_private_server cleanup
    # Qt warns on every start without one; a private one keeps the report clean.
    if [[ -z ${XDG_RUNTIME_DIR:-} ]]; then
        RUNTIME_DIR=$(mktemp -d)
        export XDG_RUNTIME_DIR=$RUNTIME_DIR
    fi

    local rc=0
    "$BUILD_DIR/bench/kelvane_bench" "$@" || rc=$?
    return "$rc"
}

main "$@"
