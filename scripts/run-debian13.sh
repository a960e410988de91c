#!/usr/bin/env bash
# The whole test run on Debian 13: runs the repository's own
# scripts/run-tests.sh inside a minimal Debian 13 chroot, so that Kelvane is
# built with Debian 13's GCC and Qt, tested against its Firebird 3 server
# and packaged there, and that package installed in the chroot with apt and
# tried (scripts/package-check.sh, called by run-tests.sh).  Exits non-zero if
# any of that failed.
#
# Environment (defaults in brackets):
#   KELVANE_CHROOT13       the chroot, a cache     [/var/cache/kelvane/trixie-build]
#   KELVANE_DEBIAN_MIRROR  mirror for the chroot   [the host's apt sources]
#
# The chroot is made once with debootstrap (scripts/chroot.sh) and kept; the
# packages the run needs are installed in it by scripts/install-deps.sh on
# the first run.  The repository is mounted into the chroot at the same
# path while this runs, and every mount is taken off again at the end,
# whatever happens.  Inside, the run has a build folder (build-debian13/),
# a server folder (.fbserver-test13/) and a port (3064) of its own, and
# leaves out the Firebird 4 and sanitizer passes, which the host's run has.
# Needs root (debootstrap, chroot, mount).
set -euo pipefail

# The physical path: the mount must name the same folder on both sides.
REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)
readonly REPO_ROOT
readonly PROGRAM=run-debian13
# shellcheck source=scripts/common.sh
source "$REPO_ROOT/scripts/common.sh"

warn() {
    printf '%s: %s\n' "$PROGRAM" "$*" >&2
}

CHROOT=$(realpath -m "${KELVANE_CHROOT13:-/var/cache/kelvane/trixie-build}")
readonly CHROOT
# For scripts/chroot.sh, which makes and mounts the chroot.
readonly CHROOT_SETTING=KELVANE_CHROOT13
# shellcheck source=scripts/chroot.sh
source "$REPO_ROOT/scripts/chroot.sh"
# shellcheck source=scripts/fbcommon.sh
source "$REPO_ROOT/scripts/fbcommon.sh"

# The run inside: its own build folder, server folder and port, so that it
# can neither reuse nor disturb the host's.
readonly BUILD_DIR=$REPO_ROOT/build-debian13
readonly FB_DIR=$REPO_ROOT/.fbserver-test13
readonly FB_PORT=3064
# The chroot's package database, read with the host's dpkg-query.
readonly DPKG_DB=$CHROOT/var/lib/dpkg
# Processes in the chroot get this long to end after SIGTERM at the end.
readonly STOP_TIMEOUT=10

check_settings() {
    ((EUID == 0)) || die "needs root (debootstrap, chroot and mount)"
    [[ $CHROOT != / ]] || die "KELVANE_CHROOT13 must not be the root folder"
    [[ $CHROOT != *[[:space:]]* ]] || die "KELVANE_CHROOT13 must not contain blanks: '$CHROOT'"
    # fbserver.sh refuses a server folder with blanks.
    [[ $REPO_ROOT != *[[:space:]]* ]] || die "the repository's path must not contain blanks: '$REPO_ROOT'"
    [[ $REPO_ROOT != / ]] || die "the repository must not be the root folder"
    # The repository is mounted into the chroot: one inside the other would
    # mount a folder into itself, and removing the chroot would remove the
    # repository.
    ! is_under "$REPO_ROOT" "$CHROOT" || die "the repository must not be inside KELVANE_CHROOT13"
    ! is_under "$CHROOT" "$REPO_ROOT" || die "KELVANE_CHROOT13 must not be inside the repository"
}

# One run at a time per chroot: two would race for its creation, its
# packages and its mounts.  The lock file sits beside the chroot.
take_lock() {
    mkdir -p "$(dirname "$CHROOT")"
    exec 9>"$CHROOT.lock"
    flock -w 900 9 || die "another run-debian13.sh holds $CHROOT.lock"
}

ensure_chroot() {
    [[ -x $CHROOT/usr/bin/apt-get ]] || bootstrap "$CHROOT.debootstrap.log"
    write_chroot_files
    # The host's name servers, in case the chroot was made on another
    # network.  The old file goes first: a link there could lead the copy
    # out of the chroot.
    if [[ -f /etc/resolv.conf ]]; then
        rm -f "$CHROOT/etc/resolv.conf"
        cp -L /etc/resolv.conf "$CHROOT/etc/resolv.conf"
    fi
}

# --- mounts and processes ---------------------------------------------------

mount_all() {
    mount_proc
    # Shared memory, for whatever asks for it (Qt, Firebird's client).
    mkdir -p "$CHROOT/dev/shm"
    is_mounted "$CHROOT/dev/shm" || mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$CHROOT/dev/shm" ||
        die "could not mount /dev/shm in $CHROOT"
    bind_same_path "$REPO_ROOT" "place for the repository"
}

# The processes whose root is the chroot.
chroot_pids() {
    local root p
    root=$(realpath -e "$CHROOT" 2>/dev/null) || return 0
    for p in /proc/[0-9]*; do
        if [[ $(readlink "$p/root" 2>/dev/null) == "$root" ]]; then
            printf '%s\n' "${p#/proc/}"
        fi
    done
}

# Ends what the run left running in the chroot (a test server, say, if the
# run was cut short), first with SIGTERM, then with SIGKILL.
stop_chroot_processes() {
    local pids=()
    mapfile -t pids < <(chroot_pids)
    ((${#pids[@]} > 0)) || return 0
    warn "ending what still runs in the chroot: pids ${pids[*]}"
    end_processes "$STOP_TIMEOUT" "${pids[@]}" || true
    # Again from the start: one may have started another on its way out.
    mapfile -t pids < <(chroot_pids)
    ((${#pids[@]} > 0)) || return 0
    end_processes 0 "${pids[@]}" || true
    mapfile -t pids < <(chroot_pids)
    if ((${#pids[@]} > 0)); then
        warn "processes still run in the chroot: pids ${pids[*]}"
        return 1
    fi
}

# Takes every mount under the chroot off, and those an interrupted
# debootstrap left in the chroot it was making; non-zero if one stays.
unmount_everything() {
    local dir target rc=0
    for dir in "$CHROOT" "$CHROOT.partial"; do
        while IFS= read -r target; do
            [[ -n $target ]] && { unmount_all "$target" || rc=1; }
        done < <(mounts_under "$dir")
        if [[ -n $(mounts_under "$dir") ]]; then
            warn "still mounted: $(mounts_under "$dir" | tr '\n' ' ')"
            rc=1
        fi
    done
    return "$rc"
}

# The exit trap: nothing is left running or mounted, whatever happened; a
# run that left something behind fails.
cleanup() {
    local rc=$? undone=0
    stop_chroot_processes || undone=1
    unmount_everything || undone=1
    if ((undone)) && ((rc == 0)); then
        rc=1
    fi
    exit "$rc"
}

# --- the run ----------------------------------------------------------------

# in_repo [NAME=VALUE...] COMMAND...: runs COMMAND in the chroot, in the
# repository, with a clean environment and the variables given; the lock is
# not handed on.
in_repo() {
    # shellcheck disable=SC2016 # expanded by the inner shell
    in_chroot_plain LC_ALL=C.UTF-8 /bin/sh -c 'cd "$1" && shift && exec env "$@"' in-repo "$REPO_ROOT" "$@" 9>&-
}

run_tests() {
    in_repo KELVANE_BUILD_DIR="$BUILD_DIR" KELVANE_FB_DIR="$FB_DIR" KELVANE_FB_PORT="$FB_PORT" \
        KELVANE_SANITIZE=0 KELVANE_FB4=0 KELVANE_DEBIAN13=0 KELVANE_BENCH=0 \
        bash scripts/run-tests.sh
}

# What the run was built and tested with.
show_versions() {
    local versions
    versions=$(dpkg-query --admindir="$DPKG_DB" -W -f='${Package} ${Version}\n' g++ qt6-base-dev firebird3.0-server 2>/dev/null) ||
        return 0
    printf '\nDebian %s: %s\n' "$(<"$CHROOT/etc/debian_version")" "$(tr '\n' ',' <<<"$versions" | sed 's/,$//; s/,/, /g')"
}

main() {
    check_settings
    take_lock
    trap cleanup EXIT
    # Without these a signal would end the script without its exit trap.
    trap 'exit 130' INT
    trap 'exit 143' TERM
    ensure_chroot
    mount_all

    local rc=0
    run_tests || rc=$?
    show_versions
    return "$rc"
}

main "$@"
