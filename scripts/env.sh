# What every script of this project shares, in one place: how Windows
# programs run under Wine, the display they run in, and how many compile jobs
# a build runs. Sourced (never run on its own):
#
#   wine_environment PREFIX   exports the Wine environment for the prefix at
#                             PREFIX: 32-bit, no Mono or Gecko installers, no
#                             debug channels; a WINEDLLOVERRIDES or WINEDEBUG
#                             already set (a test that reads debug output)
#                             is kept
#   wine_prefix PREFIX        the same, and makes sure the prefix exists, with
#                             Wine's crash dialog switched off
#   in_display COMMAND...     runs COMMAND inside one Xvfb display large enough
#                             for the setup window (the default 640x480 screen
#                             spoils its centring), with the wineserver stopped
#                             before and after: one that outlived its display
#                             breaks later window creation
#   build_jobs                prints how many compile jobs a build runs

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

in_display() {
    wineserver -k 2>/dev/null || true
    xvfb-run -a -s "-screen 0 1024x768x24" sh -c '"$@"; code=$?; wineserver -k 2>/dev/null; exit $code' sh "$@"
}

build_jobs() {
    nproc 2>/dev/null || echo 2
}
