#!/usr/bin/env bash
# Fetches minizip's source for the Windows build, as Debian 13 builds its
# libminizip: from Debian's zlib 1.3.1 source (contrib/minizip), whose Debian
# revision 1 patches nothing. Checks the tarball against the hash of Debian's
# own source index and unpacks it into FOLDER (a build folder), once; prints
# the folder of unzip.c.
#
# Usage: minizip-source.sh FOLDER
set -euo pipefail
folder=${1:?usage: minizip-source.sh FOLDER}
tarball=zlib_1.3.dfsg+really1.3.1.orig.tar.gz
sha256=60dd315c07f616887caa029408308a018ace66e3d142726a97db164b3b8f69fb
source=$folder/zlib-1.3.1/contrib/minizip
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}

if [ ! -f "$source/unzip.c" ]; then
    mkdir -p "$folder"
    if ! echo "$sha256  $folder/$tarball" | sha256sum --check --status 2>/dev/null; then
        echo "Fetching Debian's zlib source for minizip: $mirror/pool/main/z/zlib/$tarball" >&2
        curl --fail --silent --show-error --location --retry 3 \
            -o "$folder/$tarball.part" "$mirror/pool/main/z/zlib/$tarball"
        mv "$folder/$tarball.part" "$folder/$tarball"
        echo "$sha256  $folder/$tarball" | sha256sum --check --quiet
    fi
    tar -xzf "$folder/$tarball" -C "$folder" zlib-1.3.1/contrib/minizip
fi
echo "$source"
