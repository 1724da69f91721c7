#!/usr/bin/env bash
# Cross-builds the Qt that MORVANT.exe needs (qtbase: Core, Gui, Widgets,
# Test, the windows/minimal/offscreen platforms, the Windows styles) for
# 64-bit Windows with Debian's mingw-w64, from Debian's own qt6-base source
# package of the same version as this machine's qt6-base-dev, the host Qt
# whose moc, rcc and uic the build runs: 6.4.2 on Debian 12, 6.8.2 on Debian
# 13. Ends with WORK/qt6-VERSION-mingw-w64-x86_64.tar.xz, which
# scripts/windows.sh unpacks.
# About 30 minutes on 2 cores. Needs root or sudo for the packages and deb-src.
# Usage: build-qt-windows.sh WORK_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mkdir -p "$1" && cd "$1" && pwd)
jobs=${JOBS:-$(nproc)}

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
bash "$root/scripts/install-deps.sh" g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
    binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev qt6-base-dev-tools perl xz-utils dpkg-dev patch
debianVersion=$(dpkg-query -W -f='${Version}' qt6-base-dev) # 6.8.2+dfsg-9+deb13u2
upstreamVersion=${debianVersion%-*}                          # 6.8.2+dfsg
qtVersion=${upstreamVersion%%+*}                             # 6.8.2
source=$work/qtbase-everywhere-src-$qtVersion
build=$work/qt-build
prefix=$work/qt6-mingw
tarball=$work/qt6-$qtVersion-mingw-w64-x86_64.tar.xz

# Debian's source: deb-src must be enabled for apt-get source, in the deb822
# file of Debian 12 and 13 installs or in a one-line sources.list.
if [ ! -f "$work/qt6-base_$upstreamVersion.orig.tar.xz" ]; then
    sources=/etc/apt/sources.list.d/debian.sources
    if [ -f "$sources" ] && ! grep -q '^Types:.*deb-src' "$sources"; then
        $sudo sed -i 's/^Types: deb$/Types: deb deb-src/' "$sources"
    elif [ ! -f "$sources" ] && ! grep -qs '^deb-src ' /etc/apt/sources.list; then
        $sudo sed -i 's/^deb \(.*\)$/deb \1\ndeb-src \1/' /etc/apt/sources.list
    fi
    $sudo apt-get update -qq
    (cd "$work" && apt-get source --download-only "qt6-base=$debianVersion")
fi
if [ ! -d "$source" ]; then
    tar -C "$work" -xf "$work/qt6-base_$upstreamVersion.orig.tar.xz"
    mkdir -p "$work/qt-debian"
    tar -C "$work/qt-debian" -xf "$work/qt6-base_$debianVersion.debian.tar.xz"
    # Debian's fixes taken from upstream, its security fixes among them, in the
    # order of its series (some build on others); its own patches are for its
    # packaging's layout.
    for patch in $(grep -E '^(upstream_|cve-)' "$work/qt-debian/debian/patches/series"); do
        patch -d "$source" -p1 --forward <"$work/qt-debian/debian/patches/$patch"
    done
fi

# The toolchain file goes into the prefix: Qt's installed toolchain file
# chain-loads it from there.
mkdir -p "$prefix"
cp "$root/cmake/mingw-w64-x86_64.cmake" "$prefix/mingw-w64-x86_64.cmake"
rm -rf "$build"
options=(
    -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-w64-x86_64.cmake"
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX="$prefix"
    -DQT_HOST_PATH=/usr
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DBUILD_SHARED_LIBS=ON
    -DFEATURE_pkg_config=OFF # never the build machine's .pc files
    -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
    # Debian's source lacks src/3rdparty/wintab, which tablets and the
    # Direct2D platform need; DirectWrite fonts (FEATURE_direct2d) stay.
    -DFEATURE_tabletevent=OFF -DFEATURE_direct2d1_1=OFF
    -DFEATURE_jpeg=OFF -DFEATURE_zstd=OFF -DFEATURE_icu=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_jpeg=OFF
    -DFEATURE_style_windowsvista=ON
)
nice cmake -G Ninja -S "$source" -B "$build" "${options[@]}" >"$work/configure.log"
nice ninja -C "$build" -j"$jobs" >"$work/build.log"
cmake --install "$build" --strip >/dev/null
# The compiler's runtime, which every program built with it needs, beside Qt's
# own libraries (Debian ships libstdc++-6.dll unstripped: 23 MB). Where GCC
# keeps it depends on its version (12-posix, 14-posix): the compiler says.
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    cp "$(x86_64-w64-mingw32-g++-posix -print-file-name=$dll)" "$prefix/bin/"
done
x86_64-w64-mingw32-strip --strip-unneeded "$prefix"/bin/{libstdc++-6,libgcc_s_seh-1,libwinpthread-1}.dll
tar -C "$work" -cJf "$tarball" qt6-mingw
echo "made $tarball" >&2
