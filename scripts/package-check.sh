#!/usr/bin/env bash
# Installs a built Kelvane package on this system as an administrator would,
# with apt, checks that the installed program answers --version with no
# display and that apt brought everything it needs, and takes the package
# out again.  Usage: package-check.sh DEB
#
# Needs root.  A kelvane package that this script did not install is left
# alone: the check is skipped with a note rather than replacing it.
set -euo pipefail

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
readonly PROGRAM=package-check
# shellcheck source=scripts/common.sh
source "$REPO_ROOT/scripts/common.sh"

DEB=$(realpath -e "${1:?usage: package-check.sh DEB}")
readonly DEB
readonly LOG_DIR=$(dirname "$DEB")

is_installed() {
    [[ $(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null) == installed ]]
}

remove_package() {
    is_installed kelvane || return 0
    run_logged "$LOG_DIR/remove.log" env DEBIAN_FRONTEND=noninteractive apt-get purge -y kelvane
}

main() {
    ((EUID == 0)) || die "needs root (apt-get install)"
    if is_installed kelvane; then
        printf '%s: a kelvane package is installed already; not replacing it, so the\n' "$PROGRAM"
        printf '%s: package was not tried with apt here.\n' "$PROGRAM"
        return 0
    fi
    local version out err_file err rc=0
    version=$(dpkg-deb -f "$DEB" Version)
    # The program prints the upstream version: no epoch, no Debian revision.
    version=${version#*:}
    version=${version%-*}
    printf '\nInstalling %s with apt:\n' "$DEB"
    trap remove_package EXIT
    run_logged "$LOG_DIR/install.log" env DEBIAN_FRONTEND=noninteractive apt-get install -y "$DEB"
    err_file=$(mktemp)
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM kelvane --version 2>"$err_file") || rc=$?
    err=$(<"$err_file")
    rm -f "$err_file"
    if [[ $rc != 0 || $out != "kelvane $version" || -n $err ]]; then
        printf 'FAIL: the installed kelvane --version: exit %s, out "%s", err "%s"\n' "$rc" "$out" "$err"
        return 1
    fi
    printf 'The installed %s answers --version: %s\n' "$(command -v kelvane)" "$out"
}

main "$@"
