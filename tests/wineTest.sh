#!/usr/bin/env bash
# Runs a Windows Qt Test program under wine. What a Windows program writes to
# a pipe does not reach ctest through wine, so the report goes to a file,
# shown afterwards. The program's own output goes to a file too: wine's
# services, started by the first program of a session, would otherwise hold
# ctest's pipe open until they end, and ctest would wait for them.
#
# Now and then, with the machine loaded, wine ends at once with a failure and
# without having started the program: no output, no report, not one test run.
# That says nothing of the program, so it is said and tried again, once, with
# wine's errors shown. A program that starts and fails, or that fails before
# its first test twice in a row, fails.
# Usage: wineTest.sh PROGRAM.exe [ARGUMENT]...
set -u
report=$(mktemp --suffix=.txt)
output=$(mktemp)
trap 'rm -f "$report" "$output"' EXIT
windowsReport=$(winepath -w "$report" 2>/dev/null)
# Windows would not start a program that imports a function its libraries
# lack; wine would, and pass its tests.
source "$(dirname "$0")/../scripts/wine.sh"
missing=$(missingImports "$(dirname "$1")" "$1")
if [ -n "$missing" ]; then
    echo "Windows would not start ${1##*/}: its libraries lack what it imports:"
    echo "$missing"
    exit 1
fi
run() {
    wine "$1" -o "$windowsReport",txt "${@:2}" </dev/null >"$output" 2>&1
}
run "$@"
status=$?
if [ $status -ne 0 ] && [ ! -s "$output" ] && [ ! -s "$report" ]; then
    echo "wine ended with status $status before ${1##*/} started; trying again"
    WINEDEBUG=err+all run "$@"
    status=$?
fi
cat "$output" "$report"
exit $status
