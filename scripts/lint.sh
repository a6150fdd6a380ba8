#!/bin/sh
# Lints the code that ships: Doruzeda_DO.dll's port/, log/, macro/, dialog/,
# app/ and platform/, and the Linux libraries' linux/. Exits non-zero on any
# finding.
#
#   clang-tidy    the checks of .clang-tidy; the portable core (port/, log/)
#                 through the native build's compile commands, the Win32
#                 sources through the Win32 build's, for the i686-w64-mingw32
#                 target with the cross compiler's own header folders; the
#                 core also with -Wthread-safety, clang's check that the
#                 controller's guarded state is reached only under its guard; the
#                 ppdev library (linux/*.cpp) through the Linux build's; the
#                 two Wine libraries (linux/wine/) with the options winegcc
#                 gives its compiler (32-bit, Wine's Windows headers)
#   clang-format  --dry-run --Werror against .clang-format
#
# Uses the compile commands of build/native, build/win32 and build/linux,
# which scripts/build.sh configures. Installs clang-tidy and clang-format with
# apt-get when they are missing.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

if ! command -v clang-tidy >/dev/null || ! command -v clang-format >/dev/null; then
    run=""
    [ "$(id -u)" -eq 0 ] || run="sudo"
    DEBIAN_FRONTEND=noninteractive $run apt-get install -y -qq --no-install-recommends \
        clang-tidy clang-format
fi

sh "$top/scripts/build.sh" configure

# clang's MinGW driver does not find the posix cross compiler's C++ headers
# by itself: hand it the folders that compiler searches.
mingw_includes=""
for folder in $(echo | i686-w64-mingw32-g++-posix -xc++ -E -v - 2>&1 |
                sed -n '/#include <...> search starts here:/,/End of search list./p' |
                sed -n 's/^ //p'); do
    mingw_includes="$mingw_includes --extra-arg-before=-isystem$(readlink -f "$folder")"
done

core=$(find port log -name '*.cpp' | sort)
win32=$(find macro dialog app platform -name '*.cpp' | sort)
ppdev=$(find linux -maxdepth 1 -name '*.cpp' | sort)
winelib=$(find linux/wine -name '*.cpp' | sort)
shipped=$(find port log macro dialog app platform linux -name '*.cpp' -o -name '*.h' | sort)

status=0
# "N warnings generated." counts the system headers' warnings, which are
# not shown; the findings themselves go to standard output.
# shellcheck disable=SC2086 # one argument per file and per option
clang-tidy --quiet -p "$top/build/native" --extra-arg=-Wthread-safety $core 2>/dev/null ||
    status=1
# shellcheck disable=SC2086
clang-tidy --quiet -p "$top/build/win32" --extra-arg=--target=i686-w64-mingw32 $mingw_includes \
    $win32 2>/dev/null || status=1
# shellcheck disable=SC2086
clang-tidy --quiet -p "$top/build/linux" $ppdev 2>/dev/null || status=1
# What winegcc -m32 hands its compiler, less the calling-convention macros
# that clang knows for this target by itself.
# shellcheck disable=SC2086
clang-tidy --quiet $winelib -- -std=c++17 --target=i686-linux-gnu -fshort-wchar -D__WINE__ \
    -DWIN32 -D_WIN32 -D_REENTRANT -DWINE_UNICODE_NATIVE -isystem /usr/include/wine/wine/windows \
    -idirafter /usr/include/wine -I"$top" 2>/dev/null || status=1
# shellcheck disable=SC2086
clang-format --dry-run --Werror $shipped || status=1

if [ $status -eq 0 ]; then
    echo "lint: $(echo "$shipped" | wc -l) files, no findings"
else
    echo "!! lint: findings above"
fi
exit $status
