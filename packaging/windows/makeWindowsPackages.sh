#!/usr/bin/env bash
# Makes the portable zip and the installer from a finished Windows build:
# installs it (stripped) into a folder of its own, zips that folder, and hands
# the same folder to makensis.
# Usage: makeWindowsPackages.sh BUILD_DIR NSIS_SCRIPT BASE_NAME
set -euo pipefail
build=$1
nsi=$2
base=$3
out=$build/packages
stage=$out/MORVANT

rm -rf "$out"
mkdir -p "$out"
cmake --install "$build" --prefix "$stage" --strip >/dev/null
(cd "$out" && zip -qrX "$base.zip" MORVANT)

# The installer installs exactly the files of the zip, and its uninstaller
# removes exactly those: both lists come from the installed folder.
files=$out/files.nsh
remove=$out/removeFiles.nsh
: >"$files"
: >"$remove"
while IFS= read -r folder; do
    windowsFolder=${folder#.}
    windowsFolder=${windowsFolder//\//\\}
    echo "SetOutPath \"\$INSTDIR$windowsFolder\"" >>"$files"
    while IFS= read -r file; do
        echo "File \"${file#./}\"" >>"$files"
        echo "Delete \"\$INSTDIR\\${file#./}\"" | sed 's|/|\\|g' >>"$remove"
    done < <(cd "$stage" && find "$folder" -maxdepth 1 -type f | sort)
    [ "$folder" = . ] || echo "RMDir \"\$INSTDIR$windowsFolder\"" >>"$remove"
done < <(cd "$stage" && find . -type d | sort)

(cd "$stage" && makensis -V2 -NOCD -DOUTFILE="$out/$base-setup.exe" -X"!addincludedir $out" "$nsi")
echo "made $out/$base.zip and $out/$base-setup.exe"
