#!/bin/sh
# Lints the code that ships, as the builds list it (cmake/shipped.cmake):
# everything compiled into Doruzeda_DO.dll (build/win32/shipped-sources.txt),
# the two Wine libraries of the Linux package (build/linux/...), the portable
# code again as the native tests build it, 64-bit (build/native/...), and
# the headers beside all of these. Exits non-zero on any finding.
#
#   clang-tidy    the checks of .clang-tidy, with -Wthread-safety (clang's
#                 check that guarded state is reached only under its guard)
#                 on every file; each file through the compile commands of
#                 the build that lists it: the Win32 build's for the
#                 i686-w64-mingw32 target with the cross compiler's own
#                 header folders, the native build's, the Linux build's for
#                 the ppdev library (linux/*.cpp), and for the two Wine
#                 libraries (linux/wine/) the options winegcc gives its
#                 compiler (32-bit, Wine's Windows headers)
#   clang-format  --dry-run --Werror against .clang-format
#   include-order.sh  the shipped folders include one another one way, each
#                 include found beside its file by a path from it
#   bounds-table.sh  the docs' table of bounds states each constant it names
#                 as the headers define it
#
#   sh scripts/lint.sh          configures the three builds, then lints
#   sh scripts/lint.sh --list   prints the files it lints, one a line (from
#                               the builds' lists as they stand)
#
# Installs clang-tidy and clang-format with apt-get when they are missing.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

# shipped BUILD: the files the build lists as shipped, one a line.
shipped() {
    cat "$top/build/$1/shipped-sources.txt" 2>/dev/null
}
# Sets win32, native, ppdev and winelib (the sources each build lints),
# folders (theirs) and files (the sources and the headers of those folders).
read_lists() {
    win32=$(shipped win32)
    native=$(shipped native)
    # (an unconfigured build lists nothing: grep then finds nothing, and
    # that is no failure)
    ppdev=$(shipped linux | grep -v '^linux/wine/' || true)
    winelib=$(shipped linux | grep '^linux/wine/' || true)
    folders=$(printf '%s\n%s\n%s\n%s\n' "$win32" "$native" "$ppdev" "$winelib" |
              sed -n 's|/[^/]*$||p' | sort -u)
    # shellcheck disable=SC2086 # one argument per folder
    headers=$(find $folders -maxdepth 1 -name '*.h')
    files=$(printf '%s\n%s\n%s\n%s\n%s\n' "$win32" "$native" "$ppdev" "$winelib" "$headers" |
            sed '/^$/d' | sort -u)
}

if [ "${1:-}" = "--list" ]; then
    read_lists
    echo "$files"
    exit 0
fi

if ! command -v clang-tidy >/dev/null || ! command -v clang-format >/dev/null; then
    run=""
    [ "$(id -u)" -eq 0 ] || run="sudo"
    DEBIAN_FRONTEND=noninteractive $run apt-get install -y -qq --no-install-recommends \
        clang-tidy clang-format
fi

sh "$top/scripts/build.sh" configure
read_lists

# clang's MinGW driver does not find the posix cross compiler's C++ headers
# by itself: hand it the folders that compiler searches.
mingw_includes=""
for folder in $(echo | i686-w64-mingw32-g++-posix -xc++ -E -v - 2>&1 |
                sed -n '/#include <...> search starts here:/,/End of search list./p' |
                sed -n 's/^ //p'); do
    mingw_includes="$mingw_includes --extra-arg-before=-isystem$(readlink -f "$folder")"
done
# Findings in the headers of these folders, and only there.
header_filter="/($(echo "$folders" | paste -sd '|'))/[^/]*$"
tidy() {
    clang-tidy --quiet --extra-arg=-Wthread-safety --header-filter="$header_filter" "$@"
}

status=0
# "N warnings generated." counts the system headers' warnings, which are
# not shown; the findings themselves go to standard output.
# shellcheck disable=SC2086 # one argument per file and per option
tidy -p "$top/build/win32" --extra-arg=--target=i686-w64-mingw32 $mingw_includes \
    $(echo "$win32" | grep -v '\.h$') \
    2>/dev/null || status=1
# shellcheck disable=SC2086
[ -z "$native" ] || tidy -p "$top/build/native" $native 2>/dev/null || status=1
# shellcheck disable=SC2086
tidy -p "$top/build/linux" $ppdev 2>/dev/null || status=1
# What winegcc -m32 hands its compiler, less the calling-convention macros
# that clang knows for this target by itself.
# shellcheck disable=SC2086
tidy $winelib -- -std=c++17 --target=i686-linux-gnu -fshort-wchar -D__WINE__ \
    -DWIN32 -D_WIN32 -D_REENTRANT -DWINE_UNICODE_NATIVE -isystem /usr/include/wine/wine/windows \
    -idirafter /usr/include/wine -I"$top" 2>/dev/null || status=1
# shellcheck disable=SC2086
clang-format --dry-run --Werror $files || status=1
# The shipped folders include one another one way only.
sh "$top/scripts/include-order.sh" "$top" || status=1
# The docs' table of bounds against the constants.
sh "$top/scripts/bounds-table.sh" "$top" || status=1

if [ $status -eq 0 ]; then
    echo "lint: $(echo "$files" | wc -l) files, no findings"
else
    echo "!! lint: findings above"
fi
exit $status
