#!/usr/bin/env bash
# Builds the libFuzzer target (clang, with AddressSanitizer and
# UndefinedBehaviorSanitizer) and fuzzes the engine for SECONDS seconds
# (default 120; 0 runs until stopped). Fails on any finding, whose input is
# kept under build-fuzz/findings/. The corpus grows in build-fuzz/corpus/,
# seeded from fuzz/corpus/, which is never written.
#
#   bash fuzz/run.sh [SECONDS] [extra libFuzzer options]...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-120}
shift || true

bash "$root/scripts/install-deps.sh" clang libclang-rt-dev
cd "$root"
cmake --preset fuzz >/dev/null
# Its progress and errors are shown: a first build takes minutes.
cmake --build --preset fuzz --target fuzzEngine >&2

build="$root/build-fuzz"
mkdir -p "$build/corpus" "$build/findings"
log="$build/fuzz.log"
echo "Fuzzing the engine for ${seconds}s (0: until stopped); log in $log" >&2
status=0
"$build/fuzz/fuzzEngine" "$build/corpus" "$root/fuzz/corpus" \
    -dict="$root/fuzz/morvant.dict" \
    -max_total_time="$seconds" \
    -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/findings/" \
    -print_final_stats=1 "$@" >"$log" 2>&1 || status=$?

runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
if [ "$status" -ne 0 ]; then
    tail -n 60 "$log" >&2
    echo "fuzz: FINDING after ${runs:-?} runs; input in $build/findings/" >&2
    exit 1
fi
echo "fuzz: ${runs:-?} runs, no finding"
