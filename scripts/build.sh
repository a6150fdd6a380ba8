#!/bin/sh
# Configures and builds both builds into build/: build/native (the core with
# its tests, sanitizers on) and build/win32 (the DLL, stand-ins, host, tests).
#
#   sh scripts/build.sh                    both builds, everything
#   sh scripts/build.sh win32 [TARGET...]  the Win32 build only; only the
#                                          named targets when some are named
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

if [ "${1:-}" != "win32" ]; then
    cmake -S "$top" -B "$top/build/native" -DCMAKE_BUILD_TYPE=Debug >/dev/null
    cmake --build "$top/build/native" -j "$jobs"
fi

cmake -S "$top" -B "$top/build/win32" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-i686-w64-mingw32.cmake" >/dev/null
if [ "${1:-}" = "win32" ] && [ $# -gt 1 ]; then
    shift
    cmake --build "$top/build/win32" -j "$jobs" --target "$@"
else
    cmake --build "$top/build/win32" -j "$jobs"
fi
