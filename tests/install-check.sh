#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the installed program
# as an administrator meets it: the files a desktop expects, a valid desktop
# entry, and --version, --help and a wrong option answered with no display.
# Usage: install-check.sh BUILD_DIR VERSION
set -euo pipefail

readonly BUILD_DIR=$1 VERSION=$2
PREFIX=$(mktemp -d)
readonly PREFIX
trap 'rm -rf "$PREFIX"' EXIT

failures=0
fail() {
    printf 'FAIL: %s\n' "$*"
    failures=$((failures + 1))
}

cmake --install "$BUILD_DIR" --prefix "$PREFIX" >/dev/null

for file in bin/kelvane share/applications/kelvane.desktop \
    share/icons/hicolor/32x32/apps/kelvane.png share/icons/hicolor/256x256/apps/kelvane.png \
    share/doc/kelvane/KELVANE.WRI share/doc/kelvane/copyright share/man/man1/kelvane.1; do
    [[ -s $PREFIX/$file ]] || fail "$file is not installed"
done
[[ -x $PREFIX/bin/kelvane ]] || fail "bin/kelvane is not executable"
for size in 32 256; do
    png=$PREFIX/share/icons/hicolor/${size}x$size/apps/kelvane.png
    [[ $(file -b "$png" 2>/dev/null) == "PNG image data, $size x $size,"* ]] ||
        fail "$png is not a $size x $size PNG: $(file -b "$png" 2>&1)"
done

desktop=$PREFIX/share/applications/kelvane.desktop
if ! out=$(desktop-file-validate "$desktop" 2>&1) || [[ -n $out ]]; then
    fail "desktop-file-validate: $out"
fi
for line in 'Exec=kelvane' 'Icon=kelvane' 'Categories=Qt;Database;Development;'; do
    grep -qxF "$line" "$desktop" || fail "the desktop entry lacks $line"
done
if ! man -l "$PREFIX/share/man/man1/kelvane.1" 2>/dev/null | grep -q "kelvane.sql.debug"; then
    fail "the manual page does not render or lacks the SQL monitor"
fi

# run ARG...: the installed program with no display at all; sets out, err, rc.
run() {
    local err_file
    err_file=$(mktemp)
    rc=0
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$PREFIX/bin/kelvane" "$@" \
        2>"$err_file") || rc=$?
    err=$(<"$err_file")
    rm -f "$err_file"
}

run --version
[[ $rc == 0 && $out == "kelvane $VERSION" && -z $err ]] ||
    fail "--version: exit $rc, out '$out', err '$err'"
run -v
[[ $rc == 0 && $out == "kelvane $VERSION" ]] || fail "-v: exit $rc, out '$out'"
run --help
[[ $rc == 0 && $out == *Usage:* && $out == *--version* && $out == *--help* && -z $err ]] ||
    fail "--help: exit $rc, out '$out', err '$err'"
run -platform offscreen --version
[[ $rc == 0 && $out == "kelvane $VERSION" ]] ||
    fail "Qt's own -platform option was refused: exit $rc, err '$err'"
run --no-such-option
[[ $rc == 2 && -z $out && $err == *"Unknown option 'no-such-option'"* && $err == *Usage:* ]] ||
    fail "unknown option: exit $rc, out '$out', err '$err'"
run somefile
[[ $rc == 2 && -z $out && $err == *somefile* && $err == *Usage:* ]] ||
    fail "an argument: exit $rc, out '$out', err '$err'"

# Each signal a session's end or a terminal sends ends the running program
# as its exit button does: exit status 0, within a few seconds.
for signal in TERM INT HUP; do
    QT_QPA_PLATFORM=offscreen KELVANE_ALIASES=/nonexistent "$PREFIX/bin/kelvane" \
        >/dev/null 2>&1 &
    pid=$!
    sleep 1
    kill -s "$signal" "$pid"
    rc=0
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill -s KILL "$pid"
        fail "SIG$signal did not end the program"
    fi
    wait "$pid" || rc=$?
    [[ $rc == 0 ]] || fail "SIG$signal: exit $rc"
done

if ((failures > 0)); then
    printf '%d check(s) of the installed program failed\n' "$failures"
    exit 1
fi
printf 'installed program checked in %s\n' "$PREFIX"
