# Sourced by the scripts that run MORVANT.exe under wine.

# Makes the wine prefix that WINEPREFIX names. Windows' own fonts are not
# wine's; Debian's metric-compatible ones stand in for them. Wine's menu
# builder is turned off in the prefix: it would copy the prefix's Start menu
# into the home folder's desktop menus (~/.local/share, ~/.config/menus).
makeWinePrefix() {
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" wine wineboot --init >/dev/null 2>&1
    local fonts='HKCU\Software\Wine\Fonts\Replacements'
    wine reg add "$fonts" /v 'Courier New' /d 'Liberation Mono' /f >/dev/null 2>&1
    wine reg add "$fonts" /v 'Arial' /d 'Liberation Sans' /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\DllOverrides' /v winemenubuilder.exe /d '' /f >/dev/null 2>&1
    wineserver -w
}

# Prints the version of the Qt whose CMake package folder (lib/cmake/Qt6) is $1.
qtVersionOf() {
    sed -n 's/^set(PACKAGE_VERSION "\(.*\)")$/\1/p' "$1/Qt6ConfigVersionImpl.cmake" 2>/dev/null || true
}

# Ends the wine server of the prefix that WINEPREFIX names and removes the
# folder it kept its socket in: /tmp/wine-XXXXXX, named in the prefix's file
# wineserver, which wine leaves behind when its server ends.
endWineServer() {
    local folder
    folder=$(cat "$WINEPREFIX/wineserver" 2>/dev/null) || folder=""
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    [[ $folder =~ ^wine-[A-Za-z0-9]{6}$ ]] && rm -rf "${TMPDIR:-/tmp}/$folder"
    return 0
}

# Prints the X window of the visible window titled $1 once it shows; fails
# when none has shown within 20 seconds.
waitForWindow() {
    local window
    for _ in $(seq 100); do
        window=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
        [ -n "$window" ] && { echo "$window"; return 0; }
        sleep 0.2
    done
    return 1
}

# Prints, as FILE: LIBRARY!FUNCTION, each function that the Windows programs
# and libraries named after the folder import from a library in that folder
# and that the library does not export. Windows refuses to start such a
# program; wine starts it and fails only when the function is called, so a
# run under wine does not tell (a program built by GCC 14 with GCC 12's
# libstdc++-6.dll beside it passes its tests there).
missingImports() {
    local folder=$1 file exports
    shift
    exports=$(for file in "$folder"/*.dll; do
        x86_64-w64-mingw32-objdump -p "$file" | awk -v library="${file##*/}" '
            /^\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
            /^$/ { table = 0 }
            table && /^\t\[/ { print library "!" $NF }'
    done | LC_ALL=C sort -u)
    for file in "$@"; do
        # Functions by name from the folder's libraries only: the system's
        # are wine's own.
        x86_64-w64-mingw32-objdump -p "$file" | awk -v folder="$folder" '
            /^\tDLL Name: / { library = $3; ours = system("test -f \"" folder "/" library "\"") == 0; next }
            /^\tvma: / { next }
            /^$/ { library = "" }
            library != "" && ours { print library "!" $NF }' | LC_ALL=C sort -u \
            | LC_ALL=C comm -23 - <(echo "$exports") | sed "s|^|${file##*/}: |"
    done
}
