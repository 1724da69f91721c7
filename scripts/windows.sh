#!/usr/bin/env bash
# Builds MORVANT.exe for 64-bit Windows with Debian's mingw-w64, runs every
# test under wine in a virtual X server, and makes the portable zip and the
# installer (build-windows/packages/).
#
# Qt for Windows comes, in this order, from MORVANT_QT_WINDOWS (an unpacked
# prefix), from the prebuilt tarball in shared/toolchains/windows beside the
# checkout (../shared) or beside a folder above it, as when a clone is made in
# a folder of its own, or from scripts/build-qt-windows.sh, which builds it
# from Debian's source (about 30 minutes on 2 cores, once). Either is unpacked
# into build-qt-windows/, a build folder of its own, not the home folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/wine.sh

if [ "${1:-}" = "--in-xvfb" ]; then
    shift
    wineserver -p 60 </dev/null >/dev/null 2>&1
    # The session's first program starts wine's services, which keep its output
    # open for as long as they run: started here, they hold no test's.
    wine cmd /c exit </dev/null >/dev/null 2>&1
    # Wine hands its windows to the X window manager and, hiding one, waits up
    # to 2 seconds for the manager to confirm; this X server has none, so each
    # window a test closed cost 2 seconds. Unmanaged, wine places, activates
    # and frames its windows itself, as Windows does.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    exec ctest --preset windows "$@"
fi

bash scripts/install-deps.sh g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
    binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev qt6-base-dev-tools wine wine64 nsis \
    icoutils zip unzip python3 libz-mingw-w64-dev curl

cache=$root/build-qt-windows
# Qt for Windows is the version of this machine's Qt, whose moc, rcc and uic
# the build runs: moc's output compiles only against the headers of its own
# version (moc 6.8 includes <QtCore/qtmochelpers.h>, which Qt 6.4 lacks).
# Debian 12 has Qt 6.4.2, Debian 13 Qt 6.8.2.
qtVersion=$(/usr/lib/qt6/libexec/moc --version | sed -n 's/^moc //p')
if [ -z "${MORVANT_QT_WINDOWS:-}" ]; then
    export MORVANT_QT_WINDOWS=$cache/qt$qtVersion-mingw/qt6-mingw
    if [ ! -f "$MORVANT_QT_WINDOWS/lib/cmake/Qt6/Qt6Config.cmake" ]; then
        tarball=""
        above=$(dirname "$root")
        while [ -z "$tarball" ]; do
            candidate=$above/shared/toolchains/windows/qt6-$qtVersion-mingw-w64-x86_64.tar.xz
            [ -f "$candidate" ] && tarball=$candidate
            [ "$above" = / ] && break
            above=$(dirname "$above")
        done
        if [ -z "$tarball" ]; then
            echo "No prebuilt Qt for Windows; building it from Debian's source (about 30 minutes)." >&2
            bash scripts/build-qt-windows.sh "$cache/qt-build"
            tarball=$cache/qt-build/qt6-$qtVersion-mingw-w64-x86_64.tar.xz
        fi
        rm -rf "$cache/qt$qtVersion-mingw"
        mkdir -p "$cache/qt$qtVersion-mingw"
        tar -xJf "$tarball" -C "$cache/qt$qtVersion-mingw"
    fi
fi
windowsQtVersion=$(qtVersionOf "$MORVANT_QT_WINDOWS/lib/cmake/Qt6")
if [ "$windowsQtVersion" != "$qtVersion" ]; then
    echo "Qt for Windows in $MORVANT_QT_WINDOWS is ${windowsQtVersion:-missing}; this machine's moc is $qtVersion" >&2
    exit 1
fi
echo "Qt for Windows: $MORVANT_QT_WINDOWS" >&2

minizip=$(bash scripts/minizip-source.sh "$cache/minizip")
cmake --preset windows -DMORVANT_MINIZIP_SOURCE="$minizip" >/dev/null
cmake --build --preset windows

# A wine prefix of the build's own, made once. Paths such as /tmp/x that the
# tests hand to Windows programs resolve on the current drive, which is C:
# inside a temporary folder, so the top folders of the build and /tmp are
# reachable from C: as from Z:.
export WINEPREFIX=$root/build-windows/wine WINEDEBUG=-all
# No desktop menus for the prefix's programs in the home folder, in a prefix
# made before its menu builder was turned off too.
export WINEDLLOVERRIDES=winemenubuilder.exe=d
[ -f "$WINEPREFIX/system.reg" ] || makeWinePrefix
for top in tmp "$(cut -d/ -f2 <<<"$root")"; do
    [ -e "$WINEPREFIX/drive_c/$top" ] || ln -s "/$top" "$WINEPREFIX/drive_c/$top"
done

# One X server and one wine session for the whole suite: wine keeps a single
# desktop and clipboard per session.
status=0
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash "$0" --in-xvfb "$@" || status=$?
endWineServer
[ $status -eq 0 ] || exit $status
ls -l build-windows/packages/*.zip build-windows/packages/*.exe 2>/dev/null || true
