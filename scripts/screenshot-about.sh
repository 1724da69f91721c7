#!/usr/bin/env bash
# Makes docs/screenshots/about-window.png, the manual's picture of the About
# window: runs the real program in a virtual X server of its own, chooses
# Help > About with the keyboard as a user would, and captures that window.
# Builds with the default preset into build/, or uses MORVANT_BUILD_DIR when set.
# Needs xvfb, xdotool and imagemagick (apt).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MORVANT_BUILD_DIR:-$root/build}

if [ "${1:-}" != --in-xvfb ]; then
    if [ -z "${MORVANT_BUILD_DIR:-}" ]; then
        (cd "$root" && cmake --preset default >/dev/null)
    fi
    cmake --build "$build" --target morvant >&2
    exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash "$0" --in-xvfb
fi
output=$root/docs/screenshots/about-window.png
convert=$(command -v convert-im6.q16 || command -v magick || command -v convert)
import=$(command -v import-im6.q16 || command -v import)

QT_QPA_PLATFORM=xcb "$build/app/morvant" &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT

main=$(timeout 20 xdotool search --sync --all --onlyvisible --pid $pid --name '^MORVANT by Tesselin$' | head -1)
xdotool windowfocus --sync "$main"
sleep 0.3
xdotool key alt+h
sleep 0.3
xdotool key a
about=
for _ in $(seq 50); do
    for window in $(xdotool search --onlyvisible --pid $pid); do
        [ "$window" != "$main" ] || continue
        eval "$(xdotool getwindowgeometry --shell "$window")"
        if [ "$WIDTH" = 492 ] && [ "$HEIGHT" = 283 ]; then
            about=$window
        fi
    done
    [ -n "$about" ] && break
    sleep 0.1
done
[ -n "$about" ] || { echo "Help > About showed no About window" >&2; exit 1; }
sleep 0.5 # let it paint

mkdir -p "$(dirname "$output")"
"$import" -window "$about" png:- | "$convert" png:- -strip "$output"
echo "wrote $output" >&2
