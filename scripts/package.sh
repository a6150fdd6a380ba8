#!/bin/sh
# Builds what the packages need and writes them into build/package, printing
# each package's path:
#
#   Doruzeda_DO-<version>-win32.zip   the library for Windows users: the DLL,
#                                     its header and module definition,
#                                     README.txt, LICENSE, SHA256SUMS
#   Doruzeda_DO-<version>-linux-wine.tar.gz
#                                     for Linux users who run the library
#                                     under Wine: INPOUT32.dll and get_io.dll
#                                     for Wine, README-linux.txt, LICENSE,
#                                     SHA256SUMS
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

# The Linux package: the Wine libraries of build/linux, packed by CPack from
# that build's install rules.
package_linux() {
    cmake -S "$top" -B "$top/build/linux" -DDORUZEDA_LINUX=ON >/dev/null
    cmake --build "$top/build/linux" -j 2 --target wine_dlls dist_text >/dev/null
    cpack --config "$top/build/linux/CPackConfig.cmake" -B "$out" >/dev/null
    archive=$(sed -n 's/^set(CPACK_PACKAGE_FILE_NAME "\(.*\)")$/\1/p' \
        "$top/build/linux/CPackConfig.cmake").tar.gz
    [ -f "$out/$archive" ] || { echo "package.sh: $out/$archive was not written" >&2; exit 1; }
    echo "$out/$archive"
}

sh "$top/scripts/deps.sh"
mkdir -p "$out"
package_win32
package_linux
