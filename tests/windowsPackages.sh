#!/usr/bin/env bash
# Makes the portable zip and the installer from a finished Windows build and
# tries them as a user would, each in a fresh wine prefix with no Qt in it:
# the zip's program runs from an arbitrary folder; the installer installs
# silently, its Explorer command converts a control file, and its uninstaller
# takes away every file and registry key it added; neither goes on while the
# program runs. Also checks the icon and the version record of MORVANT.exe.
# Usage: windowsPackages.sh BUILD_DIR SOURCE_DIR   (in an X server, with wine)
set -euo pipefail
build=$1
source=$2

work=$(mktemp -d)
# Wine's menu builder would file the installer's shortcut and icons under the
# home folder's ~/.local/share, and leave some there after uninstalling.
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES=winemenubuilder.exe=d
source "$source/scripts/wine.sh"
trap 'endWineServer; rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

cmake --build "$build" --target windowsPackages >"$work/package.log" 2>&1 \
    || { cat "$work/package.log" >&2; exit 1; }
zips=("$build"/packages/*.zip)
setups=("$build"/packages/*-setup.exe)
[ ${#zips[@]} -eq 1 ] && [ ${#setups[@]} -eq 1 ] || { echo "FAIL: packages: ${zips[*]} ${setups[*]}" >&2; exit 1; }
zip=${zips[0]}
setup=${setups[0]}
echo "made $(basename "$zip") ($(stat -c %s "$zip") bytes), $(basename "$setup") ($(stat -c %s "$setup") bytes)"

# The zip holds the program and what it needs, nothing else. Qt 6.7 put the
# Windows Vista style into a plugin of a new name, beside its Windows 11 style.
qtVersion=$(qtVersionOf "$(sed -n 's/^Qt6_DIR:PATH=//p' "$build/CMakeCache.txt")")
stylePlugin=qwindowsvistastyle.dll
[ "$(printf '6.7\n%s\n' "$qtVersion" | sort -V | head -1)" = 6.7 ] && stylePlugin=qmodernwindowsstyle.dll
expected="MORVANT/MORVANT.exe
MORVANT/Qt6Core.dll
MORVANT/Qt6Gui.dll
MORVANT/Qt6Widgets.dll
MORVANT/imageformats/qgif.dll
MORVANT/imageformats/qico.dll
MORVANT/libgcc_s_seh-1.dll
MORVANT/libstdc++-6.dll
MORVANT/libwinpthread-1.dll
MORVANT/platforms/qwindows.dll
MORVANT/styles/$stylePlugin"
listed=$(unzip -Z1 "$zip" | grep -v '/$' | LC_ALL=C sort)
[ "$listed" = "$(LC_ALL=C sort <<<"$expected")" ] || fail "zip holds: $(echo $listed)"

# The identity record, read from the built file: the icon with its two
# 16-colour images, and the version texts.
unzip -q "$zip" -d "$work/unzipped"
exe=$work/unzipped/MORVANT/MORVANT.exe
# file 5.44 (Debian 12) says "PE32+ executable (GUI) x86-64", file 5.46
# (Debian 13) "PE32+ executable for MS Windows 5.02 (GUI), x86-64".
file -b "$exe" | grep -Eq '^PE32\+ executable (for MS Windows [0-9.]+ )?\(GUI\),? x86-64' || fail "not a 64-bit Windows GUI program: $(file -b "$exe")"
wrestool -x -t 14 "$exe" >"$work/icon.ico" 2>/dev/null || fail "no icon resource"
icons=$(icotool -l "$work/icon.ico" 2>/dev/null | sed -E 's/.*--width=([0-9]+) --height=([0-9]+) --bit-depth=([0-9]+).*/\1x\2x\3/' | sort | tr '\n' ' ')
[ "$icons" = "16x16x4 32x32x4 " ] || fail "icon images: $icons"
wrestool -x --raw -t 16 "$exe" 2>/dev/null | iconv -c -f UTF-16LE -t UTF-8 | tr -c '[:print:]©' '\n' \
    | grep -v '^$' >"$work/version.txt" || true
for pair in "CompanyName Tesselin" "FileDescription CCD->Cuesheet Converter" "FileVersion 1.00" \
    "InternalName MORVANT" "LegalCopyright Copyright © 2026 Tesselin" \
    "OriginalFilename MORVANT.exe" "ProductName MORVANT" "ProductVersion 1.00"; do
    key=${pair%% *}
    value=${pair#* }
    grep -A1 -x "$key" "$work/version.txt" | tail -1 | grep -qxF "$value" || fail "version record: $key is not '$value'"
done

# Windows starts the program only if the zip's libraries export all that it,
# Qt's libraries and the plugins import from them; wine starts it regardless.
missing=$(cd "$work/unzipped/MORVANT" && missingImports . $(find . -name '*.exe' -o -name '*.dll'))
[ -z "$missing" ] || fail "imported from the zip's libraries but not there: $(echo $missing)"

# A fresh prefix: no Qt, no MORVANT, nothing of the build's.
makeWinePrefix
drive=$WINEPREFIX/drive_c
mkdir -p "$drive/Portable Apps" "$drive/Discs"
cp -r "$work/unzipped/MORVANT" "$drive/Portable Apps/"
portable='C:\Portable Apps\MORVANT\MORVANT.exe'
[ "$(wine "$portable" --version 2>/dev/null | tr -d '\r')" = "MORVANT 1.00" ] || fail "portable --version"
cp "$source/examples/Demo Disc.ccd" "$drive/Discs/"
wine "$portable" 'C:\Discs\Demo Disc.ccd' || fail "portable program failed on the example: status $?"
grep -q '^FILE "Demo Disc.img" BINARY' "$drive/Discs/Demo Disc.cue" || fail "portable program wrote no cue sheet"
# The window opens: its platform plugin and style come from the zip's folders.
wine "$portable" >/dev/null 2>&1 &
waitForWindow 'MORVANT by Tesselin' >/dev/null || fail "the portable program's window did not open"
wineserver -k
wineserver -w

# The installer, silent: files, shortcut, registry keys, the Explorer command.
exportKeys() {
    wine reg export 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' "C:\\uninstall.reg" /y >/dev/null 2>&1 || true
    wine reg export 'HKLM\Software\Classes\SystemFileAssociations' "C:\\associations.reg" /y >/dev/null 2>&1 || true
    cat "$drive/uninstall.reg" "$drive/associations.reg" 2>/dev/null | iconv -c -f UTF-16LE -t UTF-8 | tr -d '\r'
    rm -f "$drive/uninstall.reg" "$drive/associations.reg"
}
before=$(exportKeys)
cp "$setup" "$drive/setup.exe"
wine 'C:\setup.exe' /S || fail "installer: status $?"
wineserver -w
installed=$drive/Program\ Files/MORVANT
got=$(cd "$installed" 2>/dev/null && find . -type f | sed 's|^\./|MORVANT/|' | LC_ALL=C sort)
[ "$got" = "$(printf '%s\nMORVANT/Uninstall.exe' "$expected" | LC_ALL=C sort)" ] || fail "installed files: $(echo $got)"
cmp -s "$installed/MORVANT.exe" "$exe" || fail "installed MORVANT.exe differs from the zip's"
shortcut=$drive/ProgramData/Microsoft/Windows/Start\ Menu/Programs/MORVANT.lnk
[ -f "$shortcut" ] || fail "no Start-menu shortcut"
# Where the shortcut starts the program, read from the .lnk file itself.
startIn=$(python3 "$source/tests/shortcutFolder.py" "$shortcut" 2>&1) || true
[ "$startIn" = 'C:\Program Files\MORVANT' ] || fail "the shortcut starts in '$startIn'"
menus=$(grep -rl MORVANT "${XDG_DATA_HOME:-$HOME/.local/share}" "${XDG_CONFIG_HOME:-$HOME/.config}" 2>/dev/null || true)
[ -z "$menus" ] || fail "menu entries outside the prefix: $menus"
uninstallKey='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\MORVANT'
wine reg query "$uninstallKey" /v DisplayName 2>/dev/null | grep -q 'MORVANT' || fail "no Apps & features entry"
wine reg query "$uninstallKey" /v UninstallString 2>/dev/null | grep -qF 'C:\Program Files\MORVANT\Uninstall.exe' || fail "UninstallString"
verbKey='HKLM\Software\Classes\SystemFileAssociations\.ccd\shell\MORVANT.ConvertToCue'
wine reg query "$verbKey" /ve 2>/dev/null | grep -q 'Convert to cue sheet' || fail "no Explorer command on .ccd files"
wine reg query "$verbKey" /v Icon 2>/dev/null | grep -qF 'C:\Program Files\MORVANT\MORVANT.exe,0' || fail "Explorer command has no icon"
command=$(wine reg query "$verbKey\\command" /ve 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
[ "$command" = '"C:\Program Files\MORVANT\MORVANT.exe" "%1"' ] || fail "Explorer command: $command"

# The command as Explorer runs it on a selected file.
mkdir -p "$drive/Discs/Verb test"
cp "$source/examples/Demo Disc.ccd" "$drive/Discs/Verb test/"
eval "set -- ${command//%1/C:\\Discs\\Verb test\\Demo Disc.ccd}"
wine "$@" || fail "Explorer command failed: status $?"
cmp -s "$drive/Discs/Verb test/Demo Disc.cue" "$drive/Discs/Demo Disc.cue" || fail "Explorer command wrote another cue sheet"

# The uninstaller takes away all it added and nothing else.
wine 'C:\Program Files\MORVANT\Uninstall.exe' /S || fail "uninstaller: status $?"
wineserver -w
[ ! -e "$installed" ] || fail "left behind: $(cd "$installed" && find . | tr '\n' ' ')"
[ ! -e "$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/MORVANT.lnk" ] || fail "shortcut left behind"
after=$(exportKeys)
[ "$before" = "$after" ] || fail "registry differs after uninstalling: $(diff <(echo "$before") <(echo "$after") | head -20)"
[ -f "$drive/Discs/Demo Disc.cue" ] || fail "the uninstaller took a user's file"

# Installed into another folder, a second silent install goes there too, as
# package managers run it, and none goes over the program while it runs.
wine 'C:\setup.exe' /S '/D=C:\Apps\MORVANT' || fail "installer into C:\Apps: status $?"
wineserver -w
wine 'C:\setup.exe' /S || fail "second installer: status $?"
wineserver -w
[ -f "$drive/Apps/MORVANT/MORVANT.exe" ] || fail "the second install is not in the first one's folder"
[ ! -e "$installed" ] || fail "a second copy in Program Files"
wine 'C:\Apps\MORVANT\MORVANT.exe' >/dev/null 2>&1 &
running=$!
sleep 3
status=0
wine 'C:\setup.exe' /S || status=$?
[ "$status" -eq 2 ] || fail "an install while MORVANT runs ended with status $status, not 2"

# Nor does an uninstall take anything from under it. Uninstall.exe /S, as
# package managers run it, copies itself into the temporary folder, starts
# the copy with _?= its folder and ends at once with status 0, as every NSIS
# uninstaller does, so that the copy can remove the original; the copy's
# status is seen only by one that runs it with _?= itself.
appsFiles() { (cd "$drive/Apps/MORVANT" 2>/dev/null && find . -type f | LC_ALL=C sort); }
appsBefore=$(appsFiles)
uninstallerCopies() { ps -eo stat=,args= | awk '$1 !~ /^Z/ && /Un\.exe/ && /_\?=/' | wc -l; }
wine 'C:\Apps\MORVANT\Uninstall.exe' /S || fail "uninstaller while MORVANT runs: its first process ended with status $?"
for _ in $(seq 150); do
    [ "$(uninstallerCopies)" -eq 0 ] && break
    sleep 0.2
done
[ "$(uninstallerCopies)" -eq 0 ] || fail "the uninstaller's copy still runs after 30 seconds"
status=0
wine 'C:\Apps\MORVANT\Uninstall.exe' /S '_?=C:\Apps\MORVANT' || status=$?
[ "$status" -eq 2 ] || fail "an uninstall while MORVANT runs ended with status $status, not 2"
[ "$(appsFiles)" = "$appsBefore" ] || fail "an uninstall while MORVANT runs took files: $(diff <(echo "$appsBefore") <(appsFiles) | tr '\n' ' ')"
[ -f "$shortcut" ] || fail "an uninstall while MORVANT runs took the Start-menu shortcut"
wine reg query "$uninstallKey" /v DisplayName 2>/dev/null | grep -q 'MORVANT' || fail "an uninstall while MORVANT runs took the Apps & features entry"
wine reg query "$verbKey" /ve 2>/dev/null | grep -q 'Convert to cue sheet' || fail "an uninstall while MORVANT runs took the Explorer command"

# By hand, it says that MORVANT runs and lets the user cancel, which ends it
# with status 2 having taken nothing, or close MORVANT and retry, which goes
# on. The keys go to its windows as a user's would.
pressIn() {
    xdotool windowfocus --sync "$1" 2>/dev/null
    xdotool key --clearmodifiers "$2"
}
wine 'C:\Apps\MORVANT\Uninstall.exe' '_?=C:\Apps\MORVANT' >/dev/null 2>&1 &
asking=$!
page=$(waitForWindow 'MORVANT Uninstall: Confirmation') && pressIn "$page" Return
if box=$(waitForWindow 'MORVANT Uninstall'); then
    pressIn "$box" Escape
else
    fail "no message box says that MORVANT runs"
fi
status=0
wait "$asking" || status=$?
[ "$status" -eq 2 ] || fail "an uninstall cancelled while MORVANT runs ended with status $status, not 2"
[ "$(appsFiles)" = "$appsBefore" ] || fail "a cancelled uninstall took files: $(diff <(echo "$appsBefore") <(appsFiles) | tr '\n' ' ')"
[ -f "$shortcut" ] || fail "a cancelled uninstall took the Start-menu shortcut"
wine 'C:\Apps\MORVANT\Uninstall.exe' >/dev/null 2>&1 || fail "uninstaller in C:\Apps: its first process ended with status $?"
page=$(waitForWindow 'MORVANT Uninstall: Confirmation') && pressIn "$page" Return
box=$(waitForWindow 'MORVANT Uninstall') || fail "no message box says that MORVANT runs, the second time"
kill "$running" 2>/dev/null || true
wait "$running" 2>/dev/null || true
sleep 1
[ -n "$box" ] && pressIn "$box" Return
if finished=$(waitForWindow 'MORVANT Uninstall: Completed'); then
    pressIn "$finished" Return
else
    fail "the uninstall retried once MORVANT was closed did not complete"
    wineserver -k
fi
wineserver -w
[ ! -e "$drive/Apps/MORVANT" ] || fail "left behind in C:\Apps: $(cd "$drive/Apps/MORVANT" && find . | tr '\n' ' ')"
[ ! -e "$shortcut" ] || fail "shortcut left behind by the uninstaller in C:\Apps"
wine reg query "$uninstallKey" >/dev/null 2>&1 && fail "Apps & features entry left behind by the uninstaller in C:\Apps"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "the zip runs from any folder; the installer installs, converts from Explorer and uninstalls cleanly"
