#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, and only those
# that are missing, so a fresh Debian 12 machine needs nothing else.
set -euo pipefail

# Further packages that a particular check needs may be named as arguments.
packages=(cmake ninja-build g++ qt6-base-dev xvfb xauth fonts-liberation2
    xdotool desktop-file-utils appstream dpkg-dev file groff-base "$@")

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
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
