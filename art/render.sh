#!/usr/bin/env bash
# Renders the artwork from its drawings (icon.mvg, logo.mvg) into the files the
# build uses, which are committed so that building never needs ImageMagick:
#   morvant-16.png, morvant-32.png  the program icon, 16 colours with transparency
#   morvant.ico                     the same two images, 4 bits a pixel with a mask
#   morvant-48.png ... morvant-256.png  larger sizes for desktop menus
#   logo.gif                        267 x 79, 256-colour palette, one transparent colour
# Needs Debian's imagemagick, fonts-liberation2 and python3.
set -euo pipefail
cd "$(dirname "$0")"

convert=$(command -v convert-im6.q16 || command -v magick || command -v convert)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Alpha is cut to on or off before reducing the colours, so that transparency
# fits a palette entry and an icon mask. -strip keeps the files byte-stable.
icon() {
    local side=$1 colours=$2 output=$3
    "$convert" -background none MVG:icon.mvg -resize "${side}x${side}" \
        -channel A -threshold 50% +channel +dither -colors "$colours" PNG8:"$work/icon.png"
    "$convert" "$work/icon.png" -strip -define png:bit-depth="$4" PNG8:"$output"
}
icon 16 16 morvant-16.png 4
icon 32 16 morvant-32.png 4
for side in 48 64 128 256; do
    icon "$side" 256 "morvant-$side.png" 8
done

python3 - morvant.ico morvant-32.png morvant-16.png <<'PYTHON'
"""Packs 4-bit palette PNGs into a Windows icon of 16-colour bitmaps with masks."""
import struct, sys, zlib

def read_png(path):
    data = open(path, 'rb').read()
    position, chunks = 8, {}
    while position < len(data):
        length, kind = struct.unpack('>I4s', data[position:position + 8])
        chunks[kind] = chunks.get(kind, b'') + data[position + 8:position + 8 + length]
        position += 12 + length
    width, height, depth, colour_type = struct.unpack('>IIBB', chunks[b'IHDR'][:10])
    assert depth == 4 and colour_type == 3, path + ' is not a 4-bit palette image'
    palette = [chunks[b'PLTE'][i:i + 3] for i in range(0, len(chunks[b'PLTE']), 3)]
    alpha = list(chunks.get(b'tRNS', b'')) + [255] * (16 - len(chunks.get(b'tRNS', b'')))
    raw, stride, rows, previous = zlib.decompress(chunks[b'IDAT']), (width + 1) // 2, [], None
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        previous = previous or bytearray(stride)
        for x in range(stride):
            left = line[x - 1] if x else 0
            up, corner = previous[x], previous[x - 1] if x else 0
            if kind == 1: line[x] = (line[x] + left) & 255
            elif kind == 2: line[x] = (line[x] + up) & 255
            elif kind == 3: line[x] = (line[x] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[x] = (line[x] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        rows.append([(line[x // 2] >> (4 - 4 * (x % 2))) & 15 for x in range(width)])
        previous = line
    return width, height, palette, alpha, rows

def bitmap(width, height, palette, alpha, rows):
    quads = b''
    for index in range(16):
        red, green, blue = palette[index] if index < len(palette) else b'\0\0\0'
        # A transparent pixel is drawn as screen AND mask XOR colour: its colour must be black.
        if alpha[index] < 128:
            red = green = blue = 0
        quads += bytes((blue, green, red, 0))
    colours, mask = b'', b''
    for row in reversed(rows):  # bitmaps run bottom up
        line = bytes((row[x] << 4) | (row[x + 1] if x + 1 < width else 0) for x in range(0, width, 2))
        colours += line + b'\0' * (-len(line) % 4)
        bits = bytearray((width + 31) // 32 * 4)
        for x, index in enumerate(row):
            if alpha[index] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    header = struct.pack('<IiiHHIIiiII', 40, width, height * 2, 1, 4, 0,
                         len(colours) + len(mask), 0, 0, 16, 0)
    return header + quads + colours + mask

output, images = sys.argv[1], [read_png(path) for path in sys.argv[2:]]
bitmaps = [bitmap(*image) for image in images]
directory, offset = struct.pack('<HHH', 0, 1, len(bitmaps)), 6 + 16 * len(bitmaps)
for image, data in zip(images, bitmaps):
    directory += struct.pack('<BBBBHHII', image[0] % 256, image[1] % 256, 16, 0, 1, 4, len(data), offset)
    offset += len(data)
open(output, 'wb').write(directory + b''.join(bitmaps))
PYTHON

# Anti-aliased on the About window's own grey, so that the edges blend into
# it; then that grey, whatever the palette made of it, becomes transparent.
"$convert" -background '#C0C0C0' MVG:logo.mvg +dither -colors 255 \
    -alpha set -fill none -draw 'color 0,0 replace' -strip "$work/logo.gif"
"$convert" "$work/logo.gif" -strip GIF:logo.gif
colours=$("$convert" logo.gif -format '%k' info:)
if [ "$colours" -le 128 ]; then
    echo "logo.gif has only $colours colours: its palette would be smaller than 256 entries" >&2
    exit 1
fi
echo "Rendered the icon and the logo ($colours colours)." >&2
