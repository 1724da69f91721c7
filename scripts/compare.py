#!/usr/bin/env python3
"""Runs two builds of morvant over the same generated discs in every mode and
reports each difference: standard output, standard error, exit status and
every file the run leaves in the disc's folder and below it (.cue, .sbi and
track files included).

    python3 scripts/compare.py OLD_MORVANT NEW_MORVANT [-k FILTER]

A restructuring of the code must leave the program's behaviour as it was:
build the program before the change, keep its binary, and compare. The discs
are written anew for each run, in a temporary folder, so no run sees
another's files."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SECTOR = 2352


def crlf(text):
    return text.replace("\n", "\r\n").encode("latin-1")


def bcd(value):
    return bytes([(value // 10) << 4 | value % 10])


def msf(sector):
    time = sector + 150
    return bcd(time // 4500) + bcd(time // 75 % 60) + bcd(time % 75)


def relative(sectors):
    return bcd(sectors // 4500) + bcd(sectors // 75 % 60) + bcd(sectors % 75)


CRC_TABLE = []
for byte in range(256):
    crc = byte << 8
    for _ in range(8):
        crc = ((crc << 1) ^ 0x1021) & 0xFFFF if crc & 0x8000 else (crc << 1) & 0xFFFF
    CRC_TABLE.append(crc)


def cd_crc(data):
    crc = 0
    for byte in data:
        crc = ((crc << 8) & 0xFFFF) ^ CRC_TABLE[(crc >> 8) ^ byte]
    return crc ^ 0xFFFF


def q_block(q):
    crc = cd_crc(q)
    return bytes(12) + q + bytes([crc >> 8, crc & 0xFF]) + bytes(72)


class Track:
    def __init__(self, number, control, mode, start, pregap=None, flags="", session=1):
        self.number, self.control, self.mode = number, control, mode
        self.start, self.pregap, self.flags, self.session = start, pregap, flags, session


def control_file(tracks, lead_outs, with_tracks=True, sessions=None, disc_extra="",
                 track_extra=None, pre_gap_mode="0"):
    """lead_outs: the PLBA of each session's lead-out, in order."""
    count = sessions or len(lead_outs)
    text = ("[CloneCD]\nVersion=3\n[Disc]\nTocEntries=%d\nSessions=%s\nDataTracksScrambled=0\n"
            "CDTextLength=0\n%s" % (len(tracks) + len(lead_outs), count, disc_extra))
    for session in range(1, len(lead_outs) + 1):
        text += "[Session %d]\nPreGapMode=%s\nPreGapSubC=0\n" % (session, pre_gap_mode)
    entry = 0
    for session, lead_out in enumerate(lead_outs, 1):
        own = [t for t in tracks if t.session == session]
        control = own[-1].control if own else 0
        items = [(0xA2, control, lead_out)] + [(t.number, t.control, t.start) for t in own]
        for point, ctl, plba in items:
            text += ("[Entry %d]\nSession=%d\nPoint=0x%02x\nADR=0x01\nControl=0x%02x\n"
                     "TrackNo=0\nPLBA=%d\n" % (entry, session, point, ctl, plba))
            entry += 1
    if with_tracks:
        for t in tracks:
            text += "[TRACK %d]\nMODE=%d\n" % (t.number, t.mode)
            if t.flags:
                text += "FLAGS= %s\n" % t.flags
            text += (track_extra or {}).get(t.number, "")
            if t.pregap is not None:
                text += "INDEX 0=%d\n" % t.pregap
            text += "INDEX 1=%d\n" % t.start
    return crlf(text)


def image(tracks, sectors, headers=True):
    """A sparse image: zeros but for each data track's sector header."""
    parts = {}
    for t in tracks:
        if t.mode == 0 or not headers or t.start >= sectors:
            continue
        parts[t.start * SECTOR] = bytes.fromhex("00ffffffffffffffffffff00") + msf(t.start) + bytes(
            [t.mode])
    return ("sparse", sectors * SECTOR, parts)


def subchannel(tracks, end, altered=(), cut=0):
    blocks = []
    for sector in range(end - cut):
        track, index, rel, control = tracks[0].number, 1, sector, tracks[0].control
        for t in tracks:
            if sector >= t.start:
                track, index, rel, control = t.number, 1, sector - t.start, t.control
            elif t.pregap is not None and sector >= t.pregap:
                track, index, rel, control = t.number, 0, t.start - sector, t.control
        if sector % 97 == 50:
            blocks.append(q_block(bytes([2]) + bytes(9)))
            continue
        q = bytearray(bytes([control << 4 | 1]) + bcd(track) + bcd(index) + relative(rel) + bytes(1)
                      + msf(sector))
        if sector in altered:
            q[4] ^= 0x01
            q[8] ^= 0x02
        blocks.append(q_block(bytes(q)))
    return b"".join(blocks)


def discs():
    """Every kind of disc the program meets: name -> {file name: content}."""
    cases = {}
    for folder in ("fuzz/corpus", "tests/data", "examples"):
        for name in sorted(os.listdir(os.path.join(ROOT, folder))):
            if name.endswith(".ccd"):
                with open(os.path.join(ROOT, folder, name), "rb") as f:
                    cases["%s/%s" % (folder, name)] = {"Disc.ccd": f.read()}

    audio = [Track(1, 0, 0, 0), Track(2, 0x0B, 0, 1000, flags="DCP 4CH PRE")]
    mixed = [Track(1, 6, 2, 0, flags="DCP"), Track(2, 0, 0, 1500, pregap=1350)]
    pregaps = [Track(1, 0, 0, 0), Track(2, 1, 0, 1050, 900, "PRE"), Track(3, 4, 1, 2000, 1999),
               Track(4, 0, 0, 2500, 2400)]
    data = [Track(1, 4, 1, 0)]
    for name, tracks, end in (("audio", audio, 2000), ("mixed", mixed, 3000),
                              ("pregaps", pregaps, 3000), ("data", data, 1000)):
        ccd = control_file(tracks, [end])
        cases[name] = {"Disc.ccd": ccd, "Disc.img": image(tracks, end),
                       "Disc.sub": subchannel(tracks, end)}
        cases[name + "-noimage"] = {"Disc.ccd": ccd}
        cases[name + "-short"] = {"Disc.ccd": ccd, "Disc.img": image(tracks, end - 10)}
        cases[name + "-long"] = {"Disc.ccd": ccd, "Disc.img": image(tracks, end + 7)}
        toc_only = control_file(tracks, [end], with_tracks=False)
        cases[name + "-tocOnly"] = {"Disc.ccd": toc_only, "Disc.img": image(tracks, end),
                                    "Disc.sub": subchannel(tracks, end)}
        cases[name + "-tocOnly-noheaders"] = {"Disc.ccd": toc_only,
                                              "Disc.img": image(tracks, end, headers=False)}
        cases[name + "-tocOnly-modeTwoPregap"] = {
            "Disc.ccd": control_file(tracks, [end], with_tracks=False, pre_gap_mode="2"),
            "Disc.img": image(tracks, end)}

    # A PlayStation game: Mode 2 data, then audio; LibCrypt alters sectors on minute 3.
    game = [Track(1, 4, 2, 0), Track(2, 0, 0, 14400, 14250), Track(3, 0, 0, 14850, 14700)]
    protected = [13355 + p * 20 for p in range(16)] + [13360 + p * 20 for p in range(16)]
    game_ccd = control_file(game, [15500])
    game_img = image(game, 15500)
    for name, sub in (("clean", subchannel(game, 15500)),
                      ("libcrypt", subchannel(game, 15500, set(protected))),
                      ("one", subchannel(game, 15500, {13355})),
                      ("damaged", subchannel(game, 15500, set(range(2000, 2300)))),
                      ("short", subchannel(game, 15500, set(protected), cut=3)),
                      ("garbage", bytes((i * 7919 + 13) % 251 for i in range(15500 * 96)))):
        cases["game-" + name] = {"Disc.ccd": game_ccd, "Disc.img": game_img, "Disc.sub": sub}
    cases["game-staleSbi"] = {"Disc.ccd": game_ccd, "Disc.img": game_img,
                              "Disc.sub": subchannel(game, 15500),
                              "Disc.sbi": b"SBI\0" + bytes(14)}
    cases["game-sbiNoSub"] = {"Disc.ccd": game_ccd, "Disc.img": game_img, "Disc.sbi": b"junk"}

    # Multi-session discs in each way an image holds them.
    enhanced = [Track(1, 0, 0, 0), Track(2, 0, 0, 1000), Track(3, 4, 1, 13400, session=2)]
    enhanced_pregap = [Track(1, 0, 0, 0), Track(2, 0, 0, 1000),
                       Track(3, 4, 1, 13400, pregap=13250, session=2)]
    three = [Track(1, 0, 0, 0), Track(2, 0, 0, 1000), Track(3, 4, 1, 13400, session=2),
             Track(4, 4, 1, 26000, session=3)]
    for name, tracks, lead_outs, sizes in (
            ("enhanced", enhanced, [2000, 15000], (3600, 3750, 15000, 9999, 1500, None)),
            ("enhancedPregap", enhanced_pregap, [2000, 15000], (3600, 3750, 15000, 2100)),
            ("three", three, [2000, 15000, 28000], (5200, 5500, 28000, 7000))):
        ccd = control_file(tracks, lead_outs)
        for size in sizes:
            files = {"Disc.ccd": ccd}
            if size is not None:
                files["Disc.img"] = image(tracks, size)
            cases["%s-%s" % (name, size)] = files
        cases[name + "-sessionsOne"] = {"Disc.ccd": control_file(tracks, lead_outs, sessions=1)}
    cases["enhanced-game"] = {
        "Disc.ccd": control_file(enhanced, [2000, 15000]), "Disc.img": image(enhanced, 3600),
        "Disc.sub": subchannel([Track(1, 0, 0, 0), Track(2, 0, 0, 1000), Track(3, 4, 1, 2150)],
                               3600, {100, 105, 2300})}
    broken = {
        "leadOutEarly": [Track(1, 0, 0, 0), Track(2, 0, 0, 1000), Track(3, 4, 1, 1500, session=2)],
        "trackInNoSession": enhanced + [Track(4, 0, 0, 14000, session=3)],
    }
    for name, tracks in broken.items():
        cases["sessions-" + name] = {"Disc.ccd": control_file(tracks, [2000, 15000]),
                                     "Disc.img": image(tracks, 3600)}
    # Hand-edited lines in the later session's first track.
    for name, lines in (("numberlessIndex", 'INDEX 0"0\n'), ("emptyIndexNumber", "INDEX =5\n"),
                        ("longIndexNumber", "INDEX 000000000=13250\n"),
                        ("badModeFirst", "MODE=9\n"), ("flagsFirst", "FLAGS=DCP\n")):
        edited = control_file(enhanced, [2000, 15000]).replace(
            b"[TRACK 3]\r\nMODE=1\r\n", b"[TRACK 3]\r\n" + crlf(lines) + b"MODE=1\r\n")
        for size in (3600, 3750):
            cases["sessions-%s-%d" % (name, size)] = {"Disc.ccd": edited,
                                                      "Disc.img": image(enhanced, size)}
    cases["sessions-noLeadOut"] = {
        "Disc.ccd": control_file(enhanced, [2000, 15000]).replace(b"Point=0xa2", b"Point=0xa3", 1),
        "Disc.img": image(enhanced, 3600)}
    cases["sessions-hugePlba"] = {
        "Disc.ccd": control_file(enhanced, [2000, 15000]).replace(
            b"PLBA=13400", b"PLBA=-9223372036854775808"), "Disc.img": image(enhanced, 3600)}

    # Catalogue numbers and ISRCs, well and badly formed.
    for name, catalog, isrc in (("good", "CATALOG=0724384260521\n", "ISRC=USSM19900001\n"),
                                ("bad", "CATALOG=07243842605\nCATALOG=0724384260522\n",
                                 "ISRC=us-sm1-99-00001\n"),
                                ("twoCatalogs", "CATALOG=0724384260521\nCATALOG=1111111111111\n",
                                 "")):
        ccd = control_file(audio, [2000], disc_extra=catalog, track_extra={1: isrc, 2: isrc})
        cases["codes-" + name] = {"Disc.ccd": ccd, "Disc.img": image(audio, 2000)}
    cases["codes-sessions"] = {
        "Disc.ccd": control_file(enhanced_pregap, [2000, 15000],
                                 disc_extra="CATALOG=0724384260521\n",
                                 track_extra={3: "ISRC=USSM19900003\n"}),
        "Disc.img": image(enhanced_pregap, 3750)}

    # CD-Text: the real section, one pack spoilt, and beside sessions and codes.
    with open(os.path.join(ROOT, "tests/data/audio.ccd"), "rb") as f:
        cd_text = f.read()
    cases["cdtext-spoilt"] = {"Disc.ccd": cd_text.replace(b"Entry 1=80 00 01 0c",
                                                          b"Entry 1=80 00 01 0d")}
    cases["cdtext-codes"] = {"Disc.ccd": cd_text.replace(
        b"[TRACK 1]\r\n", b"[TRACK 1]\r\nISRC=USSM19900001\r\n").replace(
        b"[Disc]\r\n", b"[Disc]\r\nCATALOG=0724384260521\r\n")}

    # Refusals and files that are no control file.
    cases["refuse-twoSessions"] = {"Disc.ccd": control_file(enhanced, [2000, 15000])}
    cases["refuse-notCcd"] = {"Disc.ccd": b"hello\r\n"}
    cases["refuse-utf16"] = {"Disc.ccd": "[CloneCD]\r\nSessions=1\r\n".encode("utf-16")}
    cases["refuse-longLine"] = {"Disc.ccd": b"[CloneCD]\r\nSessions=1\r\n" + b"x" * 70000}
    cases["refuse-folder"] = {"Disc.ccd": ("folder",)}
    cases["odd-imageFolder"] = {"Disc.ccd": control_file(audio, [2000]), "Disc.img": ("folder",),
                                "Disc.sub": ("folder",)}
    cases["odd-cueFolder"] = {"Disc.ccd": control_file(audio, [2000]), "Disc.cue": ("folder",)}
    cases["odd-nonAsciiName"] = {"Dïsc.ccd": control_file(audio, [2000]),
                                 "Dïsc.img": image(audio, 2000)}
    return cases


MODES = [[], ["--stdout"], ["--check"], ["--check", "--json"], ["--cdtext"], ["--sessions"],
         ["--codes"], ["--sbi"], ["--sbi=all"], ["--all"], ["--all", "--stdout"], ["--rebuild"],
         ["--rebuild", "--sbi"], ["--all", "--rebuild"], ["--check", "--all"],
         ["--check", "--rebuild"], ["--check", "--all", "--rebuild", "--json"],
         ["--check", "--sessions", "--codes"], ["--cdtext", "--codes", "--stdout"],
         ["--split"], ["--split=+6"], ["--split", "--all"], ["--verify", "Other.dat"],
         ["--verify", "Other.dat", "--json"]]

# A DAT beside every disc: it lists another game, so --verify reports each
# track's hashes and the files of its size, and matches nothing.
OTHER_DAT = (b'<?xml version="1.0"?>\n<datafile>\n<game name="Other (World)">\n'
             b'<rom name="Other (World).bin" size="1176000" crc="00000000"/>\n'
             b'</game>\n</datafile>\n')


def folder_runs():
    """A tree of discs named as folders, in every mode that takes them."""
    audio = [Track(1, 0, 0, 0), Track(2, 0, 0, 1000)]
    ccd = control_file(audio, [2000])
    files = {"Discs/A.ccd": ccd, "Discs/A.img": image(audio, 2000), "Discs/notes.txt": b"x\n",
             "Discs/Sub/B.ccd": ccd, "Discs/Sub/B.img": image(audio, 2000),
             "Discs/Sub/Gone.ccd": ccd, "Empty": ("folder",), "Other.dat": OTHER_DAT}
    runs = [[], ["--check"], ["--check", "--json"], ["--split"], ["--verify", "Other.dat"],
            ["--verify", "Other.dat", "--json"]]
    return [("folders", files, mode + arguments) for mode in runs
            for arguments in (["Discs"], ["Empty"], ["Discs", "Discs/A.ccd"])]

GLOBAL_RUNS = [["--help"], ["--version"], ["--bogus"], ["--check"], ["--json"], ["--stdout"],
               ["missing.ccd"], ["--stdout", "a.ccd", "b.ccd"], ["--sbi=some", "a.ccd"],
               ["--check", "--json", "missing.ccd"], ["--rebuild", "--stdout", "missing.ccd"]]


def write(folder, files):
    for name, content in files.items():
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if isinstance(content, bytes):
            with open(path, "wb") as f:
                f.write(content)
        elif content[0] == "folder":
            os.makedirs(path, exist_ok=True)
        else:
            _, size, parts = content
            with open(path, "wb") as f:
                f.truncate(size)
                for offset, data in parts.items():
                    f.seek(offset)
                    f.write(data)


def snapshot(folder, below=""):
    result = {}
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if os.path.isdir(path) and not os.path.islink(path):
            result[below + name] = "<folder>"
            result.update(snapshot(path, below + name + "/"))
        elif os.path.isfile(path):
            with open(path, "rb") as f:
                result[below + name] = f.read()
        else:
            result[below + name] = "<other>"
    return result


def file_difference(old, new):
    """What differs between two versions of a file, in a few words."""
    if old is None or new is None:
        return "only in the %s run" % ("new" if old is None else "old")
    if not isinstance(old, bytes) or not isinstance(new, bytes):
        return "old %r, new %r" % (old if isinstance(old, str) else "file",
                                   new if isinstance(new, str) else "file")
    at = next((i for i, (x, y) in enumerate(zip(old, new)) if x != y), min(len(old), len(new)))
    return "%d bytes old, %d new, first differing at %d: old %r, new %r" % (
        len(old), len(new), at, old[at:at + 40], new[at:at + 40])


def run(program, arguments, folder, files):
    shutil.rmtree(folder, ignore_errors=True)
    os.mkdir(folder)
    write(folder, files)
    environment = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    environment["LC_ALL"] = "C.UTF-8"
    done = subprocess.run([program] + arguments, cwd=folder, env=environment,
                          capture_output=True, timeout=120)
    return done.returncode, done.stdout, done.stderr, snapshot(folder)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("-k", "--filter", default="", help="only discs whose name holds this")
    options = parser.parse_args()
    old, new = os.path.abspath(options.old), os.path.abspath(options.new)
    differences = runs = 0
    with tempfile.TemporaryDirectory(prefix="morvant-compare-") as temporary:
        folder = os.path.join(temporary, "disc")
        plan = [("(none)", {}, arguments) for arguments in GLOBAL_RUNS]
        for name, files in discs().items():
            if options.filter not in name:
                continue
            ccd = next(n for n in files if n.endswith(".ccd"))
            files = dict(files, **{"Other.dat": OTHER_DAT})
            plan += [(name, files, mode + [ccd]) for mode in MODES]
        if options.filter in "folders":
            plan += folder_runs()
        for name, files, arguments in plan:
            runs += 1
            before, after = run(old, arguments, folder, files), run(new, arguments, folder, files)
            if before != after:
                differences += 1
                print("DIFFERENT: %s: morvant %s" % (name, " ".join(arguments)))
                for label, a, b in zip(("status", "stdout", "stderr", "files"), before, after):
                    if a == b:
                        continue
                    if label != "files":
                        print(("  %s:\n    old: %r\n    new: %r" % (label, a, b))[:3000])
                        continue
                    # Files may be images of megabytes: each differing one in a line.
                    print("  files:")
                    for file in sorted(set(a) | set(b)):
                        if a.get(file) != b.get(file):
                            print("    %s: %s" % (file, file_difference(a.get(file), b.get(file))))
    print("%d runs, %d differ" % (runs, differences))
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())
