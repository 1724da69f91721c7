"""Prints the working folder ("Start in") of a Windows shortcut (.lnk file),
read by the layout of the Shell Link Binary File Format: a 76-byte header
whose flags say which parts follow, the target's item list and the link's
location information, each with its size first, then counted strings in a
fixed order, of which the working folder is the third."""
import struct
import sys

HAS_ID_LIST, HAS_LINK_INFO, HAS_NAME, HAS_RELATIVE_PATH, HAS_WORKING_DIR = 1, 2, 4, 8, 16
IS_UNICODE = 0x80

data = open(sys.argv[1], "rb").read()
if struct.unpack_from("<I", data, 0)[0] != 0x4C:
    sys.exit("not a shortcut")
flags = struct.unpack_from("<I", data, 0x14)[0]
at = 0x4C
if flags & HAS_ID_LIST:
    at += 2 + struct.unpack_from("<H", data, at)[0]
if flags & HAS_LINK_INFO:
    at += struct.unpack_from("<I", data, at)[0]
width = 2 if flags & IS_UNICODE else 1
for part in (HAS_NAME, HAS_RELATIVE_PATH, HAS_WORKING_DIR):
    if not flags & part:
        continue
    count = struct.unpack_from("<H", data, at)[0]
    text = data[at + 2 : at + 2 + count * width]
    at += 2 + count * width
    if part == HAS_WORKING_DIR:
        # The installer's shortcut counts the string's terminating NUL as a character.
        print(text.decode("utf-16-le" if width == 2 else "cp1252").rstrip("\0"))
        sys.exit(0)
sys.exit("the shortcut names no working folder")
