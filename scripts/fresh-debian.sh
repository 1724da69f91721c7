#!/usr/bin/env bash
# Runs a command of this checkout in a freshly made Debian system, as a new
# user meets the project there: a minimal system of SUITE (bookworm, trixie)
# made with mmdebstrap, with git and sudo and nothing else, the checkout's
# files (tracked and new, not ignored ones) in root's home folder, or with
# --user in the home folder of a user who may use sudo. The command, by
# default the README's test command, installs what it needs there itself.
# The system is made anew in build-debian-SUITE/ at every run. Needs root,
# for the chroot and its mounts; they end with the run.
# Usage: fresh-debian.sh [--user] SUITE [COMMAND...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ "$(id -u)" -eq 0 ] || exec sudo bash "$0" "$@"

user=""
if [ "${1:-}" = "--user" ]; then
    user=tester
    shift
fi
suite=${1:?usage: fresh-debian.sh [--user] SUITE [COMMAND...]}
shift
[ $# -gt 0 ] || set -- bash scripts/test.sh

bash "$root/scripts/install-deps.sh" mmdebstrap

# Kept between runs in a temporary folder: the minimal system, made again
# each day so that it follows the suite's updates, and the packages that the
# command downloads into it. apt checks every package against the suite's
# signed lists before it installs one, so a stale or damaged one is fetched
# again, never used.
cache=/var/tmp/morvant-fresh-debian
mkdir -p "$cache/$suite-archives/partial"
base=$cache/$suite.tar
if [ -z "$(find "$base" -mmin -1440 2>/dev/null)" ]; then
    echo "Making a minimal Debian $suite system..." >&2
    # mmdebstrap writes the format that the name's extension gives.
    mmdebstrap --quiet --variant=minbase --include=git,sudo,ca-certificates "$suite" \
        "$cache/$suite-new.tar" http://deb.debian.org/debian
    mv "$cache/$suite-new.tar" "$base"
fi

system=$root/build-debian-$suite
rm -rf "$system"
mkdir -p "$system"
tar -C "$system" -xf "$base"
cp /etc/resolv.conf "$system/etc/resolv.conf"
home=/root
if [ -n "$user" ]; then
    home=/home/$user
    chroot "$system" useradd --create-home --shell /bin/bash "$user"
    echo "$user ALL=(ALL) NOPASSWD: ALL" >"$system/etc/sudoers.d/$user"
fi
mkdir "$system$home/morvant"
(cd "$root" && git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf -) \
    | tar -C "$system$home/morvant" -xf -
[ -z "$user" ] || chroot "$system" chown -R "$user:" "$home/morvant"

# The prebuilt toolchains beside the checkout or beside a folder above it
# (shared/toolchains: Qt for Windows, which takes half an hour to build) are
# seen, read only, where the copy's scripts look for them: beside its folder.
toolchains=""
above=$(dirname "$root")
while [ -z "$toolchains" ]; do
    [ -d "$above/shared/toolchains" ] && toolchains=$above/shared/toolchains
    [ "$above" = / ] && break
    above=$(dirname "$above")
done
if [ -n "$toolchains" ]; then
    mkdir -p "$system$home/shared/toolchains"
    [ -z "$user" ] || chroot "$system" chown -R "$user:" "$home/shared"
fi

echo "Running '$*' in Debian $suite as ${user:-root}, in $home/morvant" >&2
# A mount namespace of the run's own: what is mounted for the system is
# unmounted with it, whatever way the run ends. The environment is what a
# login on such a system has: LANG unset, no display.
inside=(env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
    HOME="$home" USER="${user:-root}" TERM="${TERM:-dumb}" bash -c 'cd ~/morvant && exec "$@"' bash "$@")
[ -z "$user" ] || inside=(runuser -u "$user" -- "${inside[@]}")
unshare --mount --propagation private -- bash -c '
    system=$1 archives=$2 toolchains=$3 seenAt=$1$4
    shift 4
    mount -t proc proc "$system/proc"
    mount --rbind /dev "$system/dev"
    mount --rbind /sys "$system/sys"
    mount -t tmpfs -o mode=1777 tmpfs "$system/tmp"
    mount --bind "$archives" "$system/var/cache/apt/archives"
    if [ -n "$toolchains" ]; then
        mount --bind "$toolchains" "$seenAt"
        mount -o remount,bind,ro "$seenAt"
    fi
    exec chroot "$system" "$@"' bash "$system" "$cache/$suite-archives" \
    "$toolchains" "$home/shared/toolchains" "${inside[@]}"
