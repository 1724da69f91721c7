#!/usr/bin/env bash
# Benchmark: builds MORVANT in Release (the release preset) and prints, each as
# the median of several runs, how it compares with baselines measured in the
# same run on the same files. Needs no display: the window is timed under an
# Xvfb of its own.
#
#   bash scripts/bench.sh            # RUNS=21 runs of each quick measurement
#   RUNS=5 bash scripts/bench.sh     # quicker, noisier
#   BUILD=/elsewhere/build-release bash scripts/bench.sh
#                                    # measures that Release build as it is,
#                                    # such as an older version's, unbuilt
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-21}

if [ -n "${BUILD:-}" ]; then
    build=$(cd "$BUILD" && pwd)
else
    bash "$root/scripts/install-deps.sh" python3
    cd "$root"
    cmake --preset release >/dev/null
    cmake --build --preset release >&2
    build="$root/build-release"
fi
morvant="$build/app/morvant"
timed="$build/bench/runTimed"

work=$(mktemp -d)
xvfb=""
cleanup() {
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# A control file as CloneCD writes it for a disc of $1 tracks: the TOC entries
# first, then one [TRACK] section each. With $2, only the sections of the
# tracks (no header), for building large files.
controlFile() {
    awk -v tracks="$1" -v bodyOnly="${2:-}" 'BEGIN {
        ORS = "\r\n"
        if (!bodyOnly) {
            print "[CloneCD]"; print "Version=3"; print "[Disc]"
            print "TocEntries=" tracks + 3; print "Sessions=1"
            print "DataTracksScrambled=0"; print "CDTextLength=0"
            print "[Session 1]"; print "PreGapMode=2"; print "PreGapSubC=0"
        }
        for (t = 1; t <= tracks; t++) {
            lba = (t - 1) * 13500
            printf "[Entry %d]\r\nSession=1\r\nPoint=0x%02x\r\nADR=0x01\r\nControl=0x%02x\r\n", t - 1, t, t == 1 ? 4 : 0
            printf "TrackNo=0\r\nAMin=0\r\nASec=0\r\nAFrame=0\r\nALBA=-150\r\nZero=0\r\n"
            printf "PMin=%d\r\nPSec=%d\r\nPFrame=%d\r\nPLBA=%d\r\n", int((lba + 150) / 4500), int((lba + 150) / 75) % 60, (lba + 150) % 75, lba
        }
        for (t = 1; t <= tracks; t++) {
            lba = (t - 1) * 13500
            printf "[TRACK %d]\r\nMODE=%d\r\n", t, t == 1 ? 1 : 0
            if (t == 1) print "FLAGS= DCP"
            if (t > 1) printf "INDEX 0=%d\r\n", lba - 150
            printf "INDEX 1=%d\r\n", lba
        }
    }'
}

# At least $2 bytes: the header, then $1 repeated (cut to size afterwards).
largeFile() {
    {
        printf '[CloneCD]\r\nVersion=3\r\n[Disc]\r\nSessions=1\r\n'
        local block="$1"
        while [ ${#block} -lt 1048576 ]; do block="$block$block"; done
        local count=$(($2 / ${#block} + 1))
        for ((i = 0; i < count; i++)); do printf '%s' "$block"; done
    }
}

echo "Preparing files in $work ..." >&2
controlFile 99 >"$work/typical.ccd"
mkdir "$work/many"
for i in $(seq -w 1 1000); do cp "$work/typical.ccd" "$work/many/disc$i.ccd"; done
body="$(controlFile 99 body)"$'\n'
largeFile "$body" 10000000 >"$work/large10.ccd"
largeFile "$body" 100000000 >"$work/large100.ccd"
for size in 5 20 50; do largeFile "$body" $((size * 1000000)) >"$work/large$size.ccd"; done
largeFile $'[TRACK 1]\r\nMODE=1\r\nINDEX 1=150\r\n' 200000000 >"$work/tracks200.ccd"
for file in large5:5000000 large10:10000000 large20:20000000 large50:50000000 large100:100000000 tracks200:200000000; do
    truncate -s "${file#*:}" "$work/${file%%:*}.ccd"
done
truncate -s 4G "$work/image4g.img"
# 200,000 INDEX lines in one track, beside an image and a .sub of 61,000 sectors.
mkdir "$work/indexes"
{
    printf '[CloneCD]\r\nVersion=3\r\n[Disc]\r\nSessions=1\r\n[TRACK 1]\r\nMODE=2\r\n'
    awk 'BEGIN { for (i = 0; i < 200000; i++) printf "INDEX 0=0\r\n" }'
    printf 'INDEX 1=0\r\n'
} >"$work/indexes/Game.ccd"
truncate -s $((61000 * 2352)) "$work/indexes/Game.img"
truncate -s $((61000 * 96)) "$work/indexes/Game.sub"
# 5 MiB control files for the memory of --check: only [TRACK] sections, the
# typical file's sections repeated, and one track of INDEX lines.
largeFile $'[TRACK 1]\r\nMODE=1\r\nINDEX 1=150\r\n' 5242880 >"$work/checkTracks.ccd"
largeFile "$body" 5242880 >"$work/checkTypical.ccd"
{
    printf '[CloneCD]\r\nVersion=3\r\n[Disc]\r\nSessions=1\r\n[TRACK 1]\r\nMODE=2\r\n'
    awk 'BEGIN { for (i = 0; i < 500000; i++) printf "INDEX 1=150\r\n" }'
} >"$work/checkIndexes.ccd"
truncate -s 5242880 "$work/checkTracks.ccd" "$work/checkTypical.ccd" "$work/checkIndexes.ccd"

# 7. A disc of 312,000 sectors (700 MiB) of random bytes: a data track, then
# two audio tracks with a pregap of 150 sectors each; and a DAT of its track
# files, as the one-file-per-track layout cuts them (a track's file from its
# INDEX 0, the first from the image's start, the last to its end), hashed by
# Python, not by MORVANT. --split needs room for a second copy of the image.
discSectors=312000
discStarts=(0 180150 250150)
imageBytes=$((discSectors * 2352))
freeBytes=$(($(df -Pk "$work" | awk 'NR == 2 { print $4 }') * 1024))
margin=$((64 * 1048576))
imageSkip=""
splitSkip=""
if ! command -v python3 >/dev/null; then
    imageSkip="python3, which makes its DAT, is missing"
elif [ "$freeBytes" -lt $((imageBytes + margin)) ]; then
    imageSkip="$((freeBytes / 1048576)) MB free in $work, $(((imageBytes + margin) / 1048576)) MB needed"
elif [ "$freeBytes" -lt $((2 * imageBytes + margin)) ]; then
    splitSkip="$((freeBytes / 1048576)) MB free in $work, $(((2 * imageBytes + margin) / 1048576)) MB needed"
fi
if [ -z "$imageSkip" ]; then
    mkdir "$work/disc"
    awk -v total="$discSectors" -v starts="${discStarts[*]}" 'BEGIN {
        ORS = "\r\n"
        tracks = split(starts, start, " ")
        print "[CloneCD]"; print "Version=3"; print "[Disc]"
        print "TocEntries=" tracks + 3; print "Sessions=1"
        print "DataTracksScrambled=0"; print "CDTextLength=0"
        print "[Session 1]"; print "PreGapMode=1"; print "PreGapSubC=0"
        # A0, A1 and A2 (first track, last track, lead-out), then each track.
        point[0] = "0xa0"; control[0] = 4; lba[0] = 4500 - 150
        point[1] = "0xa1"; control[1] = 0; lba[1] = tracks * 4500 - 150
        point[2] = "0xa2"; control[2] = 0; lba[2] = total
        for (t = 1; t <= tracks; t++) {
            point[t + 2] = sprintf("0x%02x", t); control[t + 2] = t == 1 ? 4 : 0; lba[t + 2] = start[t]
        }
        for (e = 0; e < tracks + 3; e++) {
            f = lba[e] + 150
            printf "[Entry %d]\r\nSession=1\r\nPoint=%s\r\nADR=0x01\r\nControl=0x%02x\r\n", e, point[e], control[e]
            printf "TrackNo=0\r\nAMin=0\r\nASec=0\r\nAFrame=0\r\nALBA=-150\r\nZero=0\r\n"
            printf "PMin=%d\r\nPSec=%d\r\nPFrame=%d\r\nPLBA=%d\r\n", int(f / 4500), int(f / 75) % 60, f % 75, lba[e]
        }
        for (t = 1; t <= tracks; t++) {
            printf "[TRACK %d]\r\nMODE=%d\r\n", t, t == 1 ? 1 : 0
            if (t > 1) printf "INDEX 0=%d\r\n", start[t] - 150
            printf "INDEX 1=%d\r\n", start[t]
        }
    }' >"$work/disc/Disc.ccd"
    head -c "$imageBytes" /dev/urandom >"$work/disc/Disc.img"
    # The DAT, and the same SHA-1s for sha1sum -c to check --split's files.
    python3 - "$work/disc" "$discSectors" "${discStarts[@]}" <<'EOF'
import hashlib, sys, zlib
folder, total, starts = sys.argv[1], int(sys.argv[2]), [int(s) for s in sys.argv[3:]]
firsts = [0] + [start - 150 for start in starts[1:]]
ends = firsts[1:] + [total]
roms, sums = [], []
with open(folder + "/Disc.img", "rb") as image:
    for number, (first, end) in enumerate(zip(firsts, ends), 1):
        crc, md5, sha1 = 0, hashlib.md5(), hashlib.sha1()
        image.seek(first * 2352)
        left = (end - first) * 2352
        while left:
            chunk = image.read(min(left, 1 << 20))
            if not chunk:
                sys.exit("the image is shorter than its tracks")
            crc = zlib.crc32(chunk, crc)
            md5.update(chunk)
            sha1.update(chunk)
            left -= len(chunk)
        name = "Disc (Track %d).bin" % number
        roms.append('<rom name="%s" size="%d" crc="%08x" md5="%s" sha1="%s"/>'
                    % (name, (end - first) * 2352, crc, md5.hexdigest(), sha1.hexdigest()))
        sums.append("%s  %s\n" % (sha1.hexdigest(), name))
with open(folder + "/Disc.dat", "w") as dat:
    dat.write('<?xml version="1.0"?>\n<datafile>\n<game name="Disc">\n'
              + "\n".join(roms) + "\n</game>\n</datafile>\n")
with open(folder + "/sha1s", "w") as out:
    out.writelines(sums)
EOF
fi

# runTimed prints "<median ms> <median peak kB>".
measure() {
    local count=$1
    shift
    "$timed" "$count" --quiet "$@"
}
field() { echo "$1" | cut -d' ' -f"$2"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
verdict() { awk -v r="$1" -v limit="$2" -v op="$3" 'BEGIN {
    met = op == "<=" ? r <= limit : r >= limit; printf "%s", met ? "met" : "MISSED" }'; }
rows=()
row() { rows+=("$(printf '| %s | %s | %s | %s | %s %s |' "$@")"); }

cd "$work"
echo "Measuring (median of $runs runs) ..." >&2

# --codes on a file without CATALOG or ISRC writes what the plain conversion
# does, through the model of the sheet: its rows measure the model's cost.
"$morvant" --no-window typical.ccd
cp typical.cue plain.cue
"$morvant" --no-window --codes typical.ccd
if ! cmp -s typical.cue plain.cue; then
    echo "--codes gives another cue sheet than the plain conversion" >&2
    exit 1
fi

# 1. One typical control file, the whole process, against cp; the plain
# conversion and the model take turns with cp.
three=$(measure "$runs" -- "$morvant" --no-window typical.ccd \
    --- "$morvant" --no-window --codes typical.ccd --- cp typical.ccd copy.cue)
one=$(echo "$three" | sed -n 1p)
codes=$(echo "$three" | sed -n 2p)
cp_=$(echo "$three" | sed -n 3p)
r=$(ratio "$(field "$one" 1)" "$(field "$cp_" 1)")
row "1. typical file (99 tracks), whole process" "$(field "$one" 1) ms" "cp: $(field "$cp_" 1) ms" "${r}x" "<= 8x:" "$(verdict "$r" 8 '<=')"
r=$(ratio "$(field "$codes" 1)" "$(field "$cp_" 1)")
row "1. typical file, --codes (the model)" "$(field "$codes" 1) ms" "cp: $(field "$cp_" 1) ms" "${r}x" "<= 8x:" "$(verdict "$r" 8 '<=')"

# 2. 1,000 control files in one call, against the minimal safe writer.
manyRuns=$(((runs + 3) / 4))
three=$(measure "$manyRuns" -- "$morvant" --no-window many/*.ccd \
    --- "$morvant" --no-window --codes many/*.ccd --- "$build/bench/safeWriter" many/*.ccd)
many=$(echo "$three" | sed -n 1p)
codes=$(echo "$three" | sed -n 2p)
floor=$(echo "$three" | sed -n 3p)
r=$(ratio "$(field "$many" 1)" "$(field "$floor" 1)")
row "2. 1,000 files in one call" "$(field "$many" 1) ms" "safe writer: $(field "$floor" 1) ms" "${r}x" "<= 1.5x:" "$(verdict "$r" 1.5 '<=')"
r=$(ratio "$(field "$codes" 1)" "$(field "$floor" 1)")
row "2. 1,000 files in one call, --codes" "$(field "$codes" 1) ms" "safe writer: $(field "$floor" 1) ms" "${r}x" "<= 1.5x:" "$(verdict "$r" 1.5 '<=')"

# 2. The same 1,000 files named as their folder: the set of discs walks it first.
two=$(measure "$manyRuns" -- "$morvant" --no-window many --- "$morvant" --no-window many/*.ccd)
folder=$(echo "$two" | sed -n 1p)
named=$(echo "$two" | sed -n 2p)
r=$(ratio "$(field "$folder" 1)" "$(field "$named" 1)")
row "2. 1,000 files as their folder, in one call" "$(field "$folder" 1) ms" "the files named: $(field "$named" 1) ms" "${r}x" "<= 1.1x:" "$(verdict "$r" 1.1 '<=')"

# 2. A tree of 10,000 control files in 1,000 folders, each beside an image
# that is no control file, walked into the set of discs before the first
# disc starts, against find listing the same control files.
if [ ! -d "$work/tree" ]; then
    for f in $(seq -w 1 1000); do
        mkdir -p "$work/tree/shelf${f:0:1}/box$f"
        for d in $(seq 0 9); do
            : >"$work/tree/shelf${f:0:1}/box$f/Disc $d.ccd"
            : >"$work/tree/shelf${f:0:1}/box$f/Disc $d.img"
        done
    done
fi
# An older build, measured as it is, may have no such program.
if [ -x "$build/bench/discSetWalk" ]; then
    two=$(measure "$runs" -- "$build/bench/discSetWalk" tree --- find tree -iname '*.ccd')
    walk=$(echo "$two" | sed -n 1p)
    found=$(echo "$two" | sed -n 2p)
    r=$(ratio "$(field "$walk" 1)" "$(field "$found" 1)")
    row "2. the set of discs of 10,000 control files in 1,000 folders" "$(field "$walk" 1) ms" "find: $(field "$found" 1) ms" "${r}x" "<= 4x:" "$(verdict "$r" 4 '<=')"
fi

# 3. Throughput of the engine in-process against wc -l, at 10 MB and 100 MB.
largeRuns=$(((runs + 1) / 2))
declare -A engineMs
for size in 10 100; do
    engine=$("$build/bench/engineThroughput" "large$size.ccd" "$largeRuns")
    engineMs[$size]=$(field "$engine" 1)
    wc_=$(measure "$largeRuns" -- wc -l "large$size.ccd")
    wcRate=$(awk -v mb="$size" -v ms="$(field "$wc_" 1)" 'BEGIN { printf "%.0f", mb / (ms / 1000) }')
    rate=$(awk -v r="$(field "$engine" 2)" 'BEGIN { printf "%.0f", r }')
    r=$(ratio "$rate" "$wcRate")
    row "3. engine throughput, $size MB control file" "$rate MB/s (${engineMs[$size]} ms)" "wc -l: $wcRate MB/s" "${r}x" ">= 0.33x:" "$(verdict "$r" 0.333 '>=')"
done
r=$(ratio "${engineMs[100]}" "${engineMs[10]}")
row "3. engine time, 100 MB against 10 MB" "${engineMs[100]} ms" "${engineMs[10]} ms" "${r}x" "<= 11x:" "$(verdict "$r" 11 '<=')"

# 4. A 4 GB sparse file that is not a control file, against the typical file.
pair=$(measure "$runs" -- "$morvant" --no-window image4g.img --- "$morvant" --no-window typical.ccd)
image=$(echo "$pair" | sed -n 1p)
one=$(echo "$pair" | sed -n 2p)
r=$(ratio "$(field "$image" 1)" "$(field "$one" 1)")
row "4. 4 GB non-control file refused, time" "$(field "$image" 1) ms" "typical: $(field "$one" 1) ms" "${r}x" "<= 1.5x:" "$(verdict "$r" 1.5 '<=')"
r=$(ratio "$(field "$image" 2)" "$(field "$one" 2)")
row "4. 4 GB non-control file refused, peak memory" "$(field "$image" 2) kB" "typical: $(field "$one" 2) kB" "${r}x" "<= 1.2x:" "$(verdict "$r" 1.2 '<=')"

# 4. The .sub read for every sector of a track of many INDEX lines: linear in
# sectors plus lines, against the plain conversion of the same file.
pair=$(measure "$runs" -- "$morvant" --no-window --sbi indexes/Game.ccd --- "$morvant" --no-window indexes/Game.ccd)
sbi=$(echo "$pair" | sed -n 1p)
plain=$(echo "$pair" | sed -n 2p)
r=$(ratio "$(field "$sbi" 1)" "$(field "$plain" 1)")
row "4. --sbi, 200,000 INDEX lines and 61,000 sectors, time" "$(field "$sbi" 1) ms" "plain: $(field "$plain" 1) ms" "${r}x" "<= 4x:" "$(verdict "$r" 4 '<=')"

# The memory of --check --json on 5 MiB control files, against the conversion
# of the same file to standard output.
for file in checkTracks:"only [TRACK] sections" checkTypical:"typical file repeated" \
    checkIndexes:"INDEX lines"; do
    pair=$(measure 3 -- "$morvant" --check --json "${file%%:*}.ccd" \
        --- "$morvant" --stdout "${file%%:*}.ccd")
    check=$(echo "$pair" | sed -n 1p)
    out=$(echo "$pair" | sed -n 2p)
    r=$(ratio "$(field "$check" 2)" "$(field "$out" 2)")
    row "--check --json, 5 MiB, ${file#*:}, peak memory" "$(field "$check" 2) kB" "--stdout: $(field "$out" 2) kB" "${r}x" "<= 3x:" "$(verdict "$r" 3 '<=')"
done

# Bounded memory: 200 MB of track lines, held once as the cue sheet it makes.
tracks=$(measure 1 -- "$morvant" --no-window tracks200.ccd)
cueKb=$(($(stat -c %s tracks200.cue) / 1024))
r=$(ratio "$(field "$tracks" 2)" "$cueKb")
row "200 MB of track lines, peak memory" "$(field "$tracks" 2) kB ($(field "$tracks" 1) ms)" "cue sheet: $cueKb kB" "${r}x" "(information)" ""

# 5. The window's start to its first frame, and its memory then, against a
# bare QMainWindow; both under the same Xvfb and the same probe.
display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
# The probe is preloaded into runTimed too, which passes it on and never
# starts Qt itself.
windows=$(DISPLAY="$display" QT_QPA_PLATFORM=xcb LD_PRELOAD="$build/bench/libfirstFrameProbe.so" \
    MORVANT_BENCH_PROBE="$work/probe" measure "$runs" --probe "$work/probe" -- "$morvant" \
    --- "$build/bench/bareWindow" --- "$build/bench/bareWindow" --with-text)
window=$(echo "$windows" | sed -n 1p)
bare=$(echo "$windows" | sed -n 2p)
texted=$(echo "$windows" | sed -n 3p)
r=$(ratio "$(field "$window" 1)" "$(field "$bare" 1)")
row "5. window start to first frame (Xvfb)" "$(field "$window" 1) ms" "bare QMainWindow: $(field "$bare" 1) ms" "${r}x" "<= 1.3x:" "$(verdict "$r" 1.3 '<=')"
r=$(ratio "$(field "$window" 2)" "$(field "$bare" 2)")
row "5. window resident memory at first frame" "$(field "$window" 2) kB" "bare QMainWindow: $(field "$bare" 2) kB" "${r}x" "<= 1.3x:" "$(verdict "$r" 1.3 '<=')"
# What text costs by itself: the same bare window with a menu bar and a text area.
r=$(ratio "$(field "$window" 1)" "$(field "$texted" 1)")
row "5. window start, against a bare window with a menu and text" "$(field "$window" 1) ms" "bare with text: $(field "$texted" 1) ms" "${r}x" "(information)" ""
r=$(ratio "$(field "$window" 2)" "$(field "$texted" 2)")
row "5. window memory, against a bare window with a menu and text" "$(field "$window" 2) kB" "bare with text: $(field "$texted" 2) kB" "${r}x" "(information)" ""

# 6. File > Open on large control files, in a window on the same Xvfb,
# against the command line on the same file, and against Qt's editor alone
# (a bare QPlainTextEdit given the same cue sheet): time must grow with size,
# and memory stay within a few times the cue sheet.
openOf() { DISPLAY="$display" QT_QPA_PLATFORM=xcb measure "$@"; }
empty=$(openOf 3 -- "$build/bench/windowOpen" typical.ccd)
declare -A openMs editorMs
for size in 5 10 20 50; do
    "$morvant" --no-window "large$size.ccd"
    three=$(openOf 3 -- "$build/bench/windowOpen" "large$size.ccd" \
        --- "$morvant" --no-window "large$size.ccd" \
        --- "$build/bench/windowOpen" --editor-only "large$size.cue")
    opened=$(echo "$three" | sed -n 1p)
    line=$(echo "$three" | sed -n 2p)
    editor=$(echo "$three" | sed -n 3p)
    openMs[$size]=$(field "$opened" 1)
    editorMs[$size]=$(field "$editor" 1)
    cueKb=$(($(stat -c %s "large$size.cue") / 1024))
    r=$(ratio "$(field "$opened" 1)" "$(field "$line" 1)")
    row "6. File > Open, $size MB control file, time" "$(field "$opened" 1) ms" "command line: $(field "$line" 1) ms" "${r}x" "(information)" ""
    r=$(ratio "$(field "$opened" 1)" "$(field "$editor" 1)")
    row "6. File > Open, $size MB, time against Qt's editor alone" "$(field "$opened" 1) ms" "QPlainTextEdit given the sheet: $(field "$editor" 1) ms" "${r}x" "(information)" ""
    r=$(ratio "$(field "$opened" 2)" "$cueKb")
    row "6. File > Open, $size MB control file, peak memory" "$(field "$opened" 2) kB" "cue sheet: $cueKb kB" "${r}x" "(information)" ""
    r=$(ratio "$(($(field "$opened" 2) - $(field "$empty" 2)))" "$cueKb")
    row "6. File > Open, $size MB, peak memory above the window's own" "$(($(field "$opened" 2) - $(field "$empty" 2))) kB" "cue sheet: $cueKb kB" "${r}x" "(information)" ""
    r=$(ratio "$(field "$opened" 2)" "$(field "$editor" 2)")
    row "6. File > Open, $size MB, peak memory against Qt's editor alone" "$(field "$opened" 2) kB" "QPlainTextEdit given the sheet: $(field "$editor" 2) kB" "${r}x" "(information)" ""
done
r=$(ratio "${openMs[50]}" "${openMs[5]}")
row "6. File > Open time, 50 MB against 5 MB" "${openMs[50]} ms" "${openMs[5]} ms" "${r}x" "<= 11x:" "$(verdict "$r" 11 '<=')"
r=$(ratio "${editorMs[50]}" "${editorMs[5]}")
row "6. Qt's editor alone, time, 50 MB sheet against 5 MB" "${editorMs[50]} ms" "${editorMs[5]} ms" "${r}x" "(information)" ""

# 7. The 700 MiB image, read from the page cache: --verify (CRC-32, MD5 and
# SHA-1 of each track in one pass) against sha1sum of the image, and its
# memory against the plain conversion of the same control file; --split
# (each file fsync'd) against cp of the image followed by sync of the copy,
# and against cp alone. Each command takes turns with its baselines run by
# run; the figures move most from one run of the script to the next.

# The median of $2..., printed as the format $1 says.
medianOf() {
    local format=$1
    shift
    printf '%s\n' "$@" | sort -g | awk -v format="$format" '{ v[NR] = $1 }
        END { printf format, NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
if [ -n "$imageSkip" ]; then
    echo "Skipping the rows of the 700 MB image: $imageSkip" >&2
    row "7. --verify and --split, 700 MB image" "skipped" "$imageSkip" "" "(skipped)" ""
else
    cd "$work/disc"
    # Every track must match, so that the image is read once, as a good dump is.
    if ! "$morvant" --verify Disc.dat Disc.ccd >/dev/null; then
        echo "--verify does not find every track of the disc in its DAT" >&2
        exit 1
    fi
    three=$(measure "$runs" -- "$morvant" --verify Disc.dat Disc.ccd \
        --- sha1sum Disc.img --- "$morvant" --stdout Disc.ccd)
    verify=$(echo "$three" | sed -n 1p)
    sha1=$(echo "$three" | sed -n 2p)
    plain=$(echo "$three" | sed -n 3p)
    r=$(ratio "$(field "$verify" 1)" "$(field "$sha1" 1)")
    row "7. --verify, 700 MB image" "$(field "$verify" 1) ms" "sha1sum: $(field "$sha1" 1) ms" "${r}x" "<= 2x:" "$(verdict "$r" 2 '<=')"
    r=$(ratio "$(field "$verify" 2)" "$(field "$plain" 2)")
    row "7. --verify, 700 MB image, peak memory" "$(field "$verify" 2) kB" "--stdout: $(field "$plain" 2) kB" "${r}x" "<= 1.5x:" "$(verdict "$r" 1.5 '<=')"

    if [ -n "$splitSkip" ]; then
        echo "Skipping the rows of --split: $splitSkip" >&2
        row "7. --split, 700 MB image" "skipped" "$splitSkip" "" "(skipped)" ""
    else
        # Its files must be the DAT's, byte for byte.
        "$morvant" --split Disc.ccd
        sha1sum --quiet -c sha1s
        tracks=(Disc\ \(Track\ *\).bin)
        rm -f "${tracks[@]}" Disc.cue
        # Each command writes new files, removed before the next: one copy
        # of the image at a time beside it.
        splitMs=() splitKbs=() syncedMs=() cpMs=()
        for ((i = 0; i < runs; i++)); do
            split=$(measure 1 -- "$morvant" --split Disc.ccd)
            rm -f "${tracks[@]}" Disc.cue
            synced=$(measure 1 -- sh -c 'cp "$1" "$2" && sync "$2"' sh Disc.img copy.img)
            rm -f copy.img
            cp_=$(measure 1 -- cp Disc.img copy.img)
            rm -f copy.img
            splitMs+=("$(field "$split" 1)") splitKbs+=("$(field "$split" 2)")
            syncedMs+=("$(field "$synced" 1)") cpMs+=("$(field "$cp_" 1)")
        done
        split=$(medianOf %.3f "${splitMs[@]}")
        synced=$(medianOf %.3f "${syncedMs[@]}")
        cp_=$(medianOf %.3f "${cpMs[@]}")
        splitKb=$(medianOf %.0f "${splitKbs[@]}")
        r=$(ratio "$split" "$synced")
        row "7. --split, 700 MB image" "$split ms" "cp, then sync of the copy: $synced ms" "${r}x" "<= 2x:" "$(verdict "$r" 2 '<=')"
        r=$(ratio "$split" "$cp_")
        row "7. --split, 700 MB image, against cp without sync" "$split ms" "cp: $cp_ ms" "${r}x" "(information)" ""
        r=$(ratio "$splitKb" "$(field "$plain" 2)")
        row "7. --split, 700 MB image, peak memory" "$splitKb kB" "--stdout: $(field "$plain" 2) kB" "${r}x" "<= 1.5x:" "$(verdict "$r" 1.5 '<=')"
    fi
    cd "$work"
fi

# 8. The disc list on the same Xvfb: a folder of 10,000 control files listed
# and described, and the longest pause of its event loop meanwhile and while
# Verify hashes a 700 MB image (the probe makes its files in $work).
if [ -x "$build/bench/discListProbe" ]; then
    probe=$(DISPLAY="$display" QT_QPA_PLATFORM=xcb TMPDIR="$work" "$build/bench/discListProbe")
    listing=$(echo "$probe" | sed -n 1p)
    hashing=$(echo "$probe" | sed -n 2p)
    listedMs=$(echo "$listing" | sed -n 's/.*listed in \([0-9]*\) ms.*/\1/p')
    describedMs=$(echo "$listing" | sed -n 's/.*described in \([0-9]*\) ms.*/\1/p')
    listPause=$(echo "$listing" | sed -n 's/.*event loop \([0-9]*\) ms.*/\1/p')
    hashMs=$(echo "$hashing" | sed -n 's/.*image: \([0-9]*\) ms.*/\1/p')
    hashPause=$(echo "$hashing" | sed -n 's/.*event loop \([0-9]*\) ms.*/\1/p')
    row "8. disc list, 10,000 control files listed" "$listedMs ms" "every row described: $describedMs ms" "" "(information)" ""
    row "8. disc list, longest pause of the event loop while listing" "$listPause ms" "" "" "<= 100 ms:" "$(verdict "$listPause" 100 '<=')"
    row "8. disc list, longest pause of the event loop while Verify hashes 700 MB" "$hashPause ms" "Verify: $hashMs ms" "" "<= 100 ms:" "$(verdict "$hashPause" 100 '<=')"
fi

cpu=$(lscpu | sed -n 's/^Model name: *//p' | head -n 1)
echo
echo "MORVANT benchmark, $(date -u +%Y-%m-%d), median of $runs runs ($manyRuns for 2, $largeRuns for 3)"
echo "Machine: $cpu, $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GB", $2 / 1048576 }' /proc/meminfo), $(. /etc/os-release && echo "$PRETTY_NAME"), Linux $(uname -r), Qt $(qtpaths6 --qt-version 2>/dev/null || echo 6)"
echo "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Measured: $morvant"
echo
echo "| measure | MORVANT | baseline | ratio | target |"
echo "|---|---|---|---|---|"
printf '%s\n' "${rows[@]}"
