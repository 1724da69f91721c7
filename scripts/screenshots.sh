#!/usr/bin/env bash
# Makes the README's and the manual's pictures of the main window from the
# real program, in a virtual X server of its own: the window as it opens, and
# after converting examples/Demo Disc.ccd through File > Open, and with the
# Edit menu opened by a right-button press on the selected sheet. Writes
# docs/screenshots/*.png.
# Builds with the default preset into build/, or into MORVANT_BUILD_DIR when set.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export MORVANT_BUILD_DIR=${MORVANT_BUILD_DIR:-}
build=${MORVANT_BUILD_DIR:-$root/build}

if [ "${1:-}" != "--in-xvfb" ]; then
    bash "$root/scripts/install-deps.sh"
    missing=()
    for package in xdotool imagemagick; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
            || missing+=("$package")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
        $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            "${missing[@]}" >/dev/null
    fi
    if [ -z "$MORVANT_BUILD_DIR" ]; then
        (cd "$root" && cmake --preset default >/dev/null)
    fi
    cmake --build "$build" --target morvant >&2
    exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash "$0" --in-xvfb
fi

out="$root/docs/screenshots"
mkdir -p "$out"
work=$(mktemp -d)
cp "$root/examples/Demo Disc.ccd" "$work/"

export QT_QPA_PLATFORM=xcb
"$build/app/morvant" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT

# Waits for a window of this title to show and prints its id.
window() {
    timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1
}
settle() {
    sleep 0.7
}

main=$(window "MORVANT by Tesselin")
settle
import -window "$main" "$out/main-window.png"

xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers ctrl+o
dialog=$(window "Choose a File to Open...")
settle
xdotool type --delay 20 "$work/Demo Disc.ccd"
xdotool key Return
done=$(window "Operation complete!")
settle
xdotool windowfocus --sync "$done" key Return
settle
import -window "$main" "$out/main-window-converted.png"

# The popup is a window of its own, so this picture is cut from the screen.
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers ctrl+a ctrl+c
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + 240)) $((Y + 150)) mousedown 3
settle
xdotool mouseup 3
settle
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/main-window-popup.png"
xdotool key Escape

xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers alt+f x
wait "$pid"
echo "Written in $out: main-window.png, main-window-converted.png (Open dialog $dialog)," \
    "main-window-popup.png" >&2
