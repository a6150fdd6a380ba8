#!/bin/sh
# Configures and builds into build/: build/native (the core with its tests,
# sanitizers on), build/win32 (the DLL, stand-ins, host, tests) and
# build/linux (the ppdev libraries for Wine and their tests). Every script
# that needs one of these builds asks this one, so each is configured one way.
#
#   sh scripts/build.sh                    native and Win32, everything
#   sh scripts/build.sh win32 [TARGET...]  the Win32 build only; only the
#                                          named targets when some are named
#   sh scripts/build.sh linux [TARGET...]  the Linux build, likewise
#   sh scripts/build.sh configure          configures all three, builds
#                                          nothing (the lint needs only their
#                                          compile commands)
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/env.sh"
jobs=$(build_jobs)

configure_native() {
    cmake -S "$top" -B "$top/build/native" -DCMAKE_BUILD_TYPE=Debug \
          -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
}
configure_win32() {
    cmake -S "$top" -B "$top/build/win32" -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-i686-w64-mingw32.cmake" \
          -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
}
configure_linux() {
    cmake -S "$top" -B "$top/build/linux" -DDORUZEDA_LINUX=ON -DCMAKE_BUILD_TYPE=Debug \
          -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
}

# build NAME [TARGET...]: builds build/NAME, or only the named targets.
build() {
    folder="$top/build/$1"
    shift
    if [ $# -gt 0 ]; then
        cmake --build "$folder" -j "$jobs" --target "$@"
    else
        cmake --build "$folder" -j "$jobs"
    fi
}

case "${1:-}" in
"")
    configure_native && build native
    configure_win32 && build win32 ;;
win32 | linux)
    which=$1
    shift
    "configure_$which" && build "$which" "$@" ;;
configure)
    configure_native && configure_win32 && configure_linux ;;
*)
    echo "usage: sh scripts/build.sh [win32|linux [TARGET...]|configure]" >&2
    exit 2 ;;
esac
