#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, and only those
# that are missing, so a fresh Debian 12 machine needs nothing else.
set -euo pipefail

# Further packages that a particular check needs may be named as arguments.
packages=(cmake ninja-build g++ qt6-base-dev zlib1g-dev libminizip-dev pkg-config xvfb xauth fonts-liberation2
    xdotool desktop-file-utils appstream dpkg-dev file groff-base cdrdao "$@")

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}" >&2
# Another install running (an automatic update, another build) holds the
# package manager's locks: wait for them, up to ten minutes, instead of
# failing. apt-get waits for its install lock itself, not for its lists'.
apt=($sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for attempt in $(seq 120); do
    "${apt[@]}" update -qq 2>"$log" && break
    if ! grep -q 'Could not get lock' "$log" || [ "$attempt" -eq 120 ]; then
        cat "$log" >&2
        exit 1
    fi
    [ "$attempt" -eq 1 ] && echo "Waiting for another install to finish..." >&2
    sleep 5
done
"${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
