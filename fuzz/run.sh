#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, with AddressSanitizer and
# UndefinedBehaviorSanitizer) and fuzzes the engine for SECONDS seconds
# (default 120; 0 fuzzes it until stopped), then the DAT reader and the
# image's hashes for a quarter of that, 30 s at least. Fails on any finding,
# whose input is kept under build-fuzz/findings/. The corpora grow in
# build-fuzz/corpus/ and build-fuzz/corpusDat/, seeded from fuzz/corpus/ and
# fuzz/corpusDat/, which are never written.
#
#   bash fuzz/run.sh [SECONDS] [extra libFuzzer options]...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-120}
shift || true
datSeconds=$((seconds / 4 > 30 ? seconds / 4 : 30))
[ "$seconds" -eq 0 ] && datSeconds=0

bash "$root/scripts/install-deps.sh" clang libclang-rt-dev
cd "$root"
cmake --preset fuzz >/dev/null
# Its progress and errors are shown: a first build takes minutes.
cmake --build --preset fuzz --target fuzzEngine fuzzDat >&2

build="$root/build-fuzz"
mkdir -p "$build/findings"

# Runs fuzz target $1 for $2 seconds on corpus $3 (under build-fuzz/), seeded
# from fuzz/$3/, with dictionary $4, into log $5; the rest goes to libFuzzer.
# Says what it found; false on a finding.
fuzz() {
    local target=$1 time=$2 corpus=$3 dict=$4 log="$build/$5"
    shift 5
    mkdir -p "$build/$corpus"
    echo "Fuzzing $target for ${time}s (0: until stopped); log in $log" >&2
    local status=0
    "$build/fuzz/$target" "$build/$corpus" "$root/fuzz/$corpus" \
        -dict="$root/fuzz/$dict" \
        -max_total_time="$time" \
        -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$build/findings/$target-" \
        -print_final_stats=1 "$@" >"$log" 2>&1 || status=$?

    local runs
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$log" >&2
        echo "fuzz: $target FINDING after ${runs:-?} runs; input in $build/findings/" >&2
        return 1
    fi
    echo "fuzz: $target ${runs:-?} runs, no finding"
}

# Both run even when the first finds something, so that one run reports all.
status=0
fuzz fuzzEngine "$seconds" corpus morvant.dict fuzz.log "$@" || status=1
fuzz fuzzDat "$datSeconds" corpusDat dat.dict fuzzDat.log "$@" || status=1
exit "$status"
