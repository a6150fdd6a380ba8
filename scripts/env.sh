# What every script of this project shares, in one place: how Windows
# programs run under Wine, the display they run in, and how many compile jobs
# a build runs. Sourced (never run on its own):
#
#   wine_prefix_in BUILD      prints the Wine prefix of the Win32 build folder
#                             BUILD, where its tests and the scripts run
#                             Windows programs (build/win32/wineprefix for
#                             the scripts' build)
#   wine_environment PREFIX   exports the Wine environment for the prefix at
#                             PREFIX: 32-bit, no Mono or Gecko installers, no
#                             debug channels; a WINEDLLOVERRIDES or WINEDEBUG
#                             already set (a test that reads debug output)
#                             is kept
#   wine_prefix PREFIX        the same, and makes sure the prefix exists, with
#                             Wine's crash dialog switched off
#   in_display COMMAND...     runs COMMAND inside one Xvfb display large enough
#                             for the setup window (the default 640x480 screen
#                             spoils its centring), with a window manager
#                             (openbox) in it, as on a desktop, and the
#                             wineserver stopped before and after: one that
#                             outlived its display breaks later window
#                             creation
#   build_jobs                prints how many compile jobs a build runs

wine_prefix_in() {
    echo "$1/wineprefix"
}

wine_environment() {
    export WINEPREFIX="$1"
    export WINEARCH=win32
    export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
    export WINEDEBUG="${WINEDEBUG:--all}"
}

wine_prefix() {
    wine_environment "$1"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineboot --init >/dev/null 2>&1
    fi
    # No crash dialog: a crash must not wait for a click.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
    wineserver -w
}

# What runs inside the display. Wine hides a window by asking the window
# manager to withdraw it and waits up to 2 s for the answer: without a manager
# every unload after the setup window was shown takes those 2 s. The manager
# is up (its check window on the root) before the command's first window.
display_session='
manager=""
if command -v openbox >/dev/null; then
    openbox --sm-disable >/dev/null 2>&1 &
    manager=$!
    tries=0
    until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; do
        tries=$((tries + 1))
        [ $tries -gt 100 ] && break
        sleep 0.05
    done
else
    echo "in_display: no openbox (sh scripts/deps.sh installs it): each window hidden waits 2 s" >&2
fi
"$@"
code=$?
wineserver -k 2>/dev/null
[ -z "$manager" ] || kill "$manager" 2>/dev/null
exit $code'

in_display() {
    wineserver -k 2>/dev/null || true
    xvfb-run -a -s "-screen 0 1024x768x24" sh -c "$display_session" sh "$@"
}

build_jobs() {
    nproc 2>/dev/null || echo 2
}
