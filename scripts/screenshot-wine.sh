#!/usr/bin/env bash
# Makes the manual's picture of the main window of MORVANT.exe under wine
# (docs/screenshots/main-window-wine.png), in a virtual X server and a wine
# prefix of its own. Needs the Windows build: run scripts/windows.sh first.
# Wine runs no window manager here, so the window has no frame.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=$root/build-windows/MORVANT.exe
[ -f "$exe" ] || { echo "no $exe: run scripts/windows.sh first" >&2; exit 1; }

if [ "${1:-}" != "--in-xvfb" ]; then
    bash "$root/scripts/install-deps.sh" imagemagick
    exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash "$0" --in-xvfb
fi

work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all
trap 'endWineServer; rm -rf "$work"' EXIT
source "$root/scripts/wine.sh"
makeWinePrefix

wine "$exe" >/dev/null 2>&1 &
main=$(waitForWindow 'MORVANT by Tesselin') || { echo "the window did not show" >&2; exit 1; }
sleep 1
import -window "$main" "$root/docs/screenshots/main-window-wine.png"
echo "Written: docs/screenshots/main-window-wine.png"
