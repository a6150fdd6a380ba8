#!/bin/sh
# Builds everything and runs the main job: the host program loads
# Doruzeda_DO.dll against the simulated port and runs an example macro
# (default examples/blink.macro, or the script named as the argument).
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
script=$(cd "$(dirname "${1:-$top/examples/blink.macro}")" && pwd)/$(basename "${1:-$top/examples/blink.macro}")
sh "$top/scripts/deps.sh"
sh "$top/scripts/build.sh" >/dev/null

. "$top/scripts/env.sh"
wine_prefix "$(wine_prefix_in "$top/build/win32")"
cd "$top/build/win32/bin"
# Everything Wine runs, winepath included, runs inside the display: a Wine
# started without one would serve the later programs without windows.
in_display sh -c 'wine host.exe "$(winepath -w "$1")"' sh "$script"
