#!/usr/bin/env bash
# Runs clang-tidy (checks in .clang-tidy) on every C++ source of the project
# and fails on any finding. Uses the compile commands of the sanitizer build
# (the fuzz build for fuzz/), configuring and building them when missing so
# that generated headers exist.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh clang-tidy clang libclang-rt-dev
for preset in asan fuzz; do
    cmake --preset "$preset" >/dev/null
done
# Their progress and errors are shown: a first build takes minutes.
cmake --build --preset asan >&2
cmake --build --preset fuzz --target fuzzEngine >&2

# clang does not know some of GCC's warning options, and QVERIFY2-style macros
# called without variadic arguments are a GNU extension that -Wpedantic names.
extra=(--extra-arg=-Wno-unknown-warning-option --extra-arg=-Wno-gnu-zero-variadic-macro-arguments)
status=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Windows' platform files (*_win.cpp) are built by mingw alone: the Linux
# builds hold no compile command for them.
{
    git ls-files -- '*.cpp' | grep -E '^(engine|jobs|app|ui|tests|bench)/' | grep -v '_win\.cpp$' \
        | xargs -P 2 -n 4 clang-tidy -p build-asan --quiet "${extra[@]}" || status=1
    git ls-files -- 'fuzz/*.cpp' | xargs clang-tidy -p build-fuzz --quiet "${extra[@]}" || status=1
} >"$log" 2>&1
grep -v ' warnings\? generated\.$' "$log" || true
# .clang-tidy makes every finding an error.
if [ "$status" -ne 0 ] || grep -q ': error: ' "$log"; then
    echo "clang-tidy: errors above" >&2
    exit 1
fi
echo "clang-tidy: no findings"
