#!/usr/bin/env bash
# Builds MORVANT and runs every test. Window tests start their own X server
# (Xvfb), so no display is needed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/scripts/install-deps.sh"
cd "$root"
cmake --workflow --preset default
