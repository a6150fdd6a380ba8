#!/bin/sh
# Creates the test Wine prefix once (32-bit, no Mono or Gecko), with Wine's
# crash dialog switched off so that a crash cannot wait for a click.
set -e
export WINEARCH=win32
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot --init
fi
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
wineserver -w
echo "wine prefix ready"
