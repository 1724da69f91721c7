#!/usr/bin/env bash
# Makes the manual's pictures of the disc list from the real program, in a
# virtual X server of its own, over a folder of generated discs checked once:
# docs/screenshots/disc-list.png at 96 dpi and disc-list-144dpi.png at 144
# (Qt scaled by 1.5), and with --wine, disc-list-wine-high-contrast.png from
# MORVANT.exe under wine with the colours of Windows' High Contrast Black
# (run scripts/windows.sh first). Builds with the default preset into build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/docs/screenshots

if [ "${1:-}" != "--in-xvfb" ]; then
    bash "$root/scripts/install-deps.sh" imagemagick xdotool xvfb
    if [ "${1:-}" != "--wine" ]; then
        (cd "$root" && cmake --preset default >/dev/null && cmake --build --preset default --target morvant >&2)
    fi
    exec xvfb-run -a -s "-screen 0 1600x1200x24 -nolisten tcp" bash "$0" --in-xvfb "$@"
fi
shift
mkdir -p "$out"
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

# Three discs: one whole, one without its image, one that names no track.
discs=$work/Discs
mkdir -p "$discs"
cp "$root/examples/Demo Disc.ccd" "$discs/Demo Disc.ccd"
truncate -s $(((16957 + 4500) * 2352)) "$discs/Demo Disc.img"
cp "$root/examples/Demo Disc.ccd" "$discs/Demo Disc (No Image).ccd"
sed -n '1,/^\[TRACK 1\]/p' "$root/examples/Demo Disc.ccd" | sed '$d' >"$discs/Table of Contents Only.ccd"
truncate -s $((4500 * 2352)) "$discs/Table of Contents Only.img"

# Opens the disc list over the folder, checks every disc, and takes its picture.
picture() {
    local name=$1
    shift
    "$@" &
    local window
    window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Disc List$' | head -n 1)
    sleep 2
    xdotool windowfocus --sync "$window" 2>/dev/null || true
    xdotool key --clearmodifiers alt+c
    sleep 4
    import -window "$window" "$out/$name"
    kill %% 2>/dev/null || true
    wait 2>/dev/null || true
    echo "Written: docs/screenshots/$name" >&2
}

if [ "${1:-}" = "--wine" ]; then
    exe=$root/build-windows/MORVANT.exe
    [ -f "$exe" ] || { echo "no $exe: run scripts/windows.sh first" >&2; exit 1; }
    source "$root/scripts/wine.sh"
    export WINEPREFIX=$work/prefix WINEDEBUG=-all
    trap 'endWineServer; rm -rf "$work"' EXIT
    makeWinePrefix
    # High Contrast Black's system colours, which wine takes from the registry.
    colours='HKCU\Control Panel\Colors'
    for entry in 'Window=0 0 0' 'WindowText=255 255 255' 'ButtonFace=0 0 0' \
        'ButtonText=255 255 255' 'Menu=0 0 0' 'MenuText=255 255 255' 'MenuBar=0 0 0' \
        'Highlight=26 235 255' 'HighlightText=0 0 0' 'GrayText=63 242 63' \
        'Background=0 0 0' 'InfoWindow=0 0 0' 'InfoText=255 255 255' \
        'ButtonShadow=128 128 128' 'ButtonHilight=255 255 255' 'ButtonDkShadow=255 255 255'; do
        wine reg add "$colours" /v "${entry%%=*}" /d "${entry#*=}" /f >/dev/null 2>&1
    done
    wineserver -w
    picture disc-list-wine-high-contrast.png wine "$exe" --discs "$(winepath -w "$discs")"
    exit 0
fi

export QT_QPA_PLATFORM=xcb
picture disc-list.png "$root/build/app/morvant" --discs "$discs"
QT_SCALE_FACTOR=1.5 picture disc-list-144dpi.png "$root/build/app/morvant" --discs "$discs"
