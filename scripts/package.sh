#!/bin/sh
# Builds what the packages need and writes them into build/package, printing
# each package's path:
#
#   Doruzeda_DO-<version>-win32.zip   the library for Windows users: the DLL,
#                                     its header and module definition,
#                                     README.txt, LICENSE, SHA256SUMS
#
# Each package is made by a function of its own below.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
out="$top/build/package"

# The Windows package: the Release library of build/win32, zipped by CPack
# from that build's install rules (cmake/package.cmake).
package_win32() {
    sh "$top/scripts/build.sh" win32 Doruzeda_DO >/dev/null
    cpack --config "$top/build/win32/CPackConfig.cmake" -B "$out" >/dev/null
    zip=$(sed -n 's/^set(CPACK_PACKAGE_FILE_NAME "\(.*\)")$/\1/p' \
        "$top/build/win32/CPackConfig.cmake").zip
    [ -f "$out/$zip" ] || { echo "package.sh: $out/$zip was not written" >&2; exit 1; }
    echo "$out/$zip"
}

sh "$top/scripts/deps.sh"
mkdir -p "$out"
package_win32
