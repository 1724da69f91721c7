#!/usr/bin/env bash
# Makes the README's picture of the main window of MORVANT.exe under wine
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
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
wine wineboot --init >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Courier New' /d 'Liberation Mono' /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Arial' /d 'Liberation Sans' /f >/dev/null 2>&1
wineserver -w

wine "$exe" >/dev/null 2>&1 &
main=""
for _ in $(seq 100); do
    main=$(xdotool search --onlyvisible --name '^MORVANT by Tesselin$' 2>/dev/null | head -1) && [ -n "$main" ] && break
    sleep 0.2
done
[ -n "$main" ] || { echo "the window did not show" >&2; exit 1; }
sleep 1
import -window "$main" "$root/docs/screenshots/main-window-wine.png"
echo "Written: docs/screenshots/main-window-wine.png"
