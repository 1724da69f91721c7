#!/usr/bin/env bash
# Builds MORVANT and runs it on the given control files. With none, it opens
# the window where there is a display; without one it converts the bundled
# example in a temporary folder and prints the cue sheet it wrote.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/scripts/install-deps.sh"
# Only the program is built, so that it runs as soon as it can; test.sh
# builds the rest. The build's progress and any error go to standard error:
# standard output is the program's (--stdout writes the cue sheet there).
(cd "$root" && cmake --preset default >/dev/null && cmake --build build --target morvant >&2)
morvant="$root/build/app/morvant"

if [ $# -gt 0 ] || [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$morvant" "$@"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/examples/Demo Disc.ccd" "$work/"
"$morvant" "$work/Demo Disc.ccd"
echo "No display to open the window on: converted examples/Demo Disc.ccd in a temporary folder; the cue sheet it wrote:" >&2
cat "$work/Demo Disc.cue"
