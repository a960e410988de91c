#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build Kelvane, run its tests and
# run the demo; the same names serve on Debian 13 (scripts/run-debian13.sh).
# Does nothing, and prints nothing, when all are installed.
set -euo pipefail

# fonts-dejavu-core is named because --no-install-recommends could otherwise
# leave Qt with no font to draw text under Xvfb; fonts-liberation2 gives the
# design's Windows faces metric-compatible stand-ins. xdg-utils brings
# xdg-open, which the about box starts to show the user guide.
# desktop-file-utils, dpkg-dev, file and man-db are for the package:
# validating the desktop entry, CPack's search for the libraries the program
# needs, and rendering the manual page in the install test.
readonly PACKAGES=(
    cmake
    ninja-build
    g++
    qt6-base-dev
    firebird-dev
    firebird3.0-server
    firebird3.0-utils
    xvfb
    xdotool
    clang-format
    fonts-dejavu-core
    fonts-liberation2
    xdg-utils
    desktop-file-utils
    dpkg-dev
    file
    man-db
)

die() {
    printf 'install-deps: %s\n' "$*" >&2
    exit 1
}

is_installed() {
    [[ $(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null) == installed ]]
}

main() {
    command -v dpkg-query >/dev/null || die "dpkg-query not found; this script is for Debian 12"
    local missing=() pkg
    for pkg in "${PACKAGES[@]}"; do
        is_installed "$pkg" || missing+=("$pkg")
    done
    ((${#missing[@]} == 0)) && return 0

    ((EUID == 0)) || die "missing packages (${missing[*]}); run this script as root"

    printf 'install-deps: installing %s\n' "${missing[*]}"
    local log
    log=$(mktemp)
    # apt's output is kept out of sight unless something goes wrong.
    if ! apt-get update >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        die "apt-get update failed"
    fi
    if ! DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        die "apt-get install failed for: ${missing[*]}"
    fi
    rm -f "$log"

    for pkg in "${missing[@]}"; do
        is_installed "$pkg" || die "$pkg is still not installed after apt-get install"
    done
}

main "$@"
