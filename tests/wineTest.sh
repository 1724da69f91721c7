#!/usr/bin/env bash
# Runs a Windows Qt Test program under wine. What a Windows program writes to
# a pipe does not reach ctest through wine, so the report goes to a file,
# which is shown afterwards.
# Usage: wineTest.sh PROGRAM.exe [ARGUMENT]...
set -u
report=$(mktemp --suffix=.txt)
trap 'rm -f "$report"' EXIT
wine "$1" -o "$(winepath -w "$report")",txt "${@:2}"
status=$?
cat "$report"
exit $status
