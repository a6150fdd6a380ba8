#!/bin/sh
# Benchmarks.
#   sh scripts/bench.sh          native: Google Benchmark over the core
#                                (Release, no sanitizers, a port that costs nothing)
#   sh scripts/bench.sh wine     Win32: the timing program calls the real DLL's
#                                exports under Wine against the simulated port
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
sh "$top/scripts/deps.sh"
if [ "${1:-}" = "wine" ]; then
    sh "$top/scripts/build.sh" >/dev/null
    export WINEPREFIX="$top/build/win32/wineprefix"
    export WINEARCH=win32 WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
    [ -f "$WINEPREFIX/system.reg" ] || sh "$top/tests/win32/make-wine-prefix.sh" >/dev/null
    cd "$top/build/win32/bin"
    xvfb-run -a -s "-screen 0 1024x768x24" \
        sh -c 'wine timing.exe; code=$?; wineserver -k 2>/dev/null; exit $code'
    exit $?
fi
cmake -S "$top" -B "$top/build/bench" -DCMAKE_BUILD_TYPE=Release -DDORUZEDA_SANITIZE=OFF >/dev/null
cmake --build "$top/build/bench" -j "$(nproc 2>/dev/null || echo 2)" --target core_bench
"$top/build/bench/bench/core_bench" "$@"
