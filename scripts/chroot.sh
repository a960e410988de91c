# shellcheck shell=bash
# Making and mounting a minimal Debian 13 chroot, shared by fb4server.sh
# (the Firebird 4 server) and run-debian13.sh (the whole test run on Debian
# 13).  Sourced; needs root for everything but host_mirror.
#
# The caller sets, before calling anything here:
#   CHROOT          the chroot's absolute folder, free of links
#   CHROOT_SETTING  the variable that chooses it, named in messages
# and defines die and warn, which print a message with the caller's name.
#
# Environment: KELVANE_DEBIAN_MIRROR, the mirror debootstrap uses (default:
# the first Debian archive in the host's apt sources).

readonly CHROOT_SUITE=trixie

# is_under PATH FOLDER: PATH is FOLDER or inside it.
is_under() {
    [[ $1 == "$2" || $1 == "$2"/* ]]
}

# in_chroot_plain COMMAND...: runs COMMAND in the chroot with a clean
# environment.
in_chroot_plain() {
    chroot "$CHROOT" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"
}

# --- mounts -----------------------------------------------------------------

is_mounted() {
    findmnt -rn --mountpoint "$1" >/dev/null 2>&1
}

# unmount_all PATH: takes every mount off PATH (repeated starts after
# failures may have stacked several); a lazy unmount is the last resort.
unmount_all() {
    local path=$1 tries=0
    while is_mounted "$path"; do
        if ((tries < 5)); then
            umount "$path" 2>/dev/null || sleep 0.2
        else
            umount -l "$path" 2>/dev/null || true
        fi
        tries=$((tries + 1))
        if ((tries > 10)); then
            warn "could not unmount $path"
            return 1
        fi
    done
}

# mounts_under FOLDER: mount points at or below FOLDER, deepest first.
mounts_under() {
    local target
    findmnt -rn -o TARGET 2>/dev/null | while IFS= read -r target; do
        # findmnt writes blanks and the like as \x20 escapes.
        target=$(printf '%b' "$target")
        if is_under "$target" "$1"; then
            printf '%s\n' "$target"
        fi
    done | sort -r
}

# Some process (another instance's server, say) has its root in the chroot.
chroot_in_use() {
    local root p
    root=$(realpath -e "$CHROOT" 2>/dev/null) || return 1
    for p in /proc/[0-9]*; do
        [[ $(readlink "$p/root" 2>/dev/null) == "$root" ]] && return 0
    done
    return 1
}

# bind_same_path FOLDER SETTING: bind-mounts the host's FOLDER (absolute,
# free of links) into the chroot at the same path, so that a path means the
# same file on both sides; SETTING is the variable that chose FOLDER, named
# when another must be chosen.  Nothing is done if it is mounted already.
bind_same_path() {
    local dir=$1 setting=$2 inner=$CHROOT$1
    mkdir -p "$inner"
    # The mount point must be a plain, empty folder of the chroot: a link on
    # the way could lead the mount out of the chroot, and a folder with
    # contents would be one the chroot needs.
    [[ $(realpath -e "$inner") == "$(realpath -e "$CHROOT")$dir" ]] ||
        die "$inner leads out of the chroot; choose another $setting"
    is_mounted "$inner" && return 0
    [[ -z $(ls -A "$inner") ]] ||
        die "$inner is not empty; the chroot has its own files there; choose another $setting"
    mount --bind "$dir" "$inner" || die "could not bind-mount $dir at $inner"
}

mount_proc() {
    is_mounted "$CHROOT/proc" || mount -t proc proc "$CHROOT/proc" ||
        die "could not mount /proc in $CHROOT"
}

# --- making the chroot ------------------------------------------------------

# The first Debian archive in the host's apt sources, in the one-line format
# ("deb [options] URI SUITE ...") or deb822 ("URIs:" in a "Types: deb"
# stanza).  Security and third-party archives are skipped: only a URI with a
# Debian release as its suite serves the chroot.
host_mirror() {
    if [[ -n ${KELVANE_DEBIAN_MIRROR:-} ]]; then
        printf '%s\n' "$KELVANE_DEBIAN_MIRROR"
        return 0
    fi
    local files=() f
    [[ -f /etc/apt/sources.list ]] && files+=(/etc/apt/sources.list)
    for f in /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
        [[ -f $f ]] && files+=("$f")
    done
    ((${#files[@]} > 0)) || return 1
    local uri suite
    while read -r uri suite; do
        [[ $suite =~ ^(bullseye|bookworm|trixie|forky|sid|oldoldstable|oldstable|stable|testing|unstable)(-updates|-backports)?$ ]] ||
            continue
        [[ $uri == http://* || $uri == https://* ]] || continue
        printf '%s\n' "${uri%/}"
        return 0
    done < <(
        for f in "${files[@]}"; do
            if [[ $f == *.sources ]]; then
                awk '
                    BEGIN { RS = ""; FS = "\n" }
                    {
                        types = ""; uris = ""; suites = ""; enabled = "yes"
                        for (i = 1; i <= NF; i++) {
                            line = $i
                            if (line ~ /^#/) continue
                            key = tolower(line); sub(/:.*/, "", key)
                            value = line; sub(/^[^:]*:[ \t]*/, "", value)
                            if (key == "types") types = value
                            else if (key == "uris") uris = value
                            else if (key == "suites") suites = value
                            else if (key == "enabled") enabled = tolower(value)
                        }
                        if (enabled == "no" || (" " types " ") !~ / deb /) next
                        n = split(uris, u, /[ \t]+/); m = split(suites, s, /[ \t]+/)
                        for (a = 1; a <= n; a++) for (b = 1; b <= m; b++)
                            if (u[a] != "" && s[b] != "") print u[a], s[b]
                    }' "$f"
            else
                awk '
                    { sub(/#.*/, "") }
                    $1 == "deb" {
                        i = 2
                        if ($i ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
                        if (i + 1 <= NF) print $i, $(i + 1)
                    }' "$f"
            fi
        done
    )
    return 1
}

ensure_debootstrap() {
    command -v debootstrap >/dev/null && return 0
    warn "installing debootstrap"
    local log
    log=$(mktemp)
    if ! DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends debootstrap >"$log" 2>&1; then
        # The package lists may be missing or stale.
        if ! { apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y \
            --no-install-recommends debootstrap; } >"$log" 2>&1; then
            cat "$log" >&2
            rm -f "$log"
            die "could not install debootstrap"
        fi
    fi
    rm -f "$log"
}

# remove_tree FOLDER: removes a half-made chroot, but never through a mount,
# which would delete what is mounted there.
remove_tree() {
    local dir=$1 target
    [[ -e $dir ]] || return 0
    while IFS= read -r target; do
        [[ -n $target ]] && unmount_all "$target"
    done < <(mounts_under "$dir")
    [[ -z $(mounts_under "$dir") ]] || die "$dir still has mounts; not removing it"
    rm -rf --one-file-system "$dir"
}

# bootstrap LOG: makes the chroot with debootstrap, its output in LOG.
bootstrap() {
    local log=$1 mirror partial=$CHROOT.partial
    mirror=$(host_mirror) ||
        die "found no Debian mirror in /etc/apt/sources.list*; set KELVANE_DEBIAN_MIRROR"
    ensure_debootstrap
    warn "making a Debian 13 chroot in $CHROOT from $mirror (once; a minute or more)"
    # Only a folder this script made is ever removed: an existing one that is
    # not a chroot may be anybody's.
    if [[ -e $CHROOT ]]; then
        [[ -d $CHROOT && -z $(ls -A "$CHROOT") ]] ||
            die "$CHROOT exists but is no Debian chroot; remove it or set $CHROOT_SETTING"
        rmdir "$CHROOT"
    fi
    remove_tree "$partial"
    mkdir -p "$(dirname "$CHROOT")" "$(dirname "$log")"
    # Built aside and moved into place, so an interrupted run leaves no
    # chroot that looks finished.
    if ! debootstrap --variant=minbase "$CHROOT_SUITE" "$partial" "$mirror" >"$log" 2>&1; then
        tail -n 30 "$log" >&2
        remove_tree "$partial"
        die "debootstrap failed; full log in $log"
    fi
    mv "$partial" "$CHROOT"
}

# The chroot must never start a service of its own: packages are installed
# only to take the programs and files from them.
write_chroot_files() {
    printf '#!/bin/sh\n# Written by scripts/chroot.sh: services are never started here.\nexit 101\n' \
        >"$CHROOT/usr/sbin/policy-rc.d"
    chmod 755 "$CHROOT/usr/sbin/policy-rc.d"
    # debootstrap writes no /etc/hosts, and "localhost" must resolve.
    if ! grep -qs '^127\.0\.0\.1[[:space:]].*\blocalhost\b' "$CHROOT/etc/hosts"; then
        printf '127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost ip6-loopback\n' >"$CHROOT/etc/hosts"
    fi
}
