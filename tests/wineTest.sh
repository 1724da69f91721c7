#!/usr/bin/env bash
# Runs a Windows Qt Test program under wine. What a Windows program writes to
# a pipe does not reach ctest through wine, so the report goes to a file,
# shown afterwards. The program's own output goes to a file too: wine's
# services, started by the first program of a session, would otherwise hold
# ctest's pipe open until they end, and ctest would wait for them.
# Usage: wineTest.sh PROGRAM.exe [ARGUMENT]...
set -u
report=$(mktemp --suffix=.txt)
output=$(mktemp)
trap 'rm -f "$report" "$output"' EXIT
windowsReport=$(winepath -w "$report" 2>/dev/null)
wine "$1" -o "$windowsReport",txt "${@:2}" </dev/null >"$output" 2>&1
status=$?
cat "$output" "$report"
exit $status
