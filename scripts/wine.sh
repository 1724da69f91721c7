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
