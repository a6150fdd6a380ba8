#!/bin/sh
# The Windows package as a user gets it: made by CPack from this build, unpacked
# into an empty folder, its listing and sums checked, its DLL compared with the
# build's, searched for the build's paths, its header checked against its
# module definition; then, with the stand-ins beside the unpacked DLL, the
# host program loads the DLL from that folder under Wine and makes one call.
#
#   package-test.sh CPACK BUILD_DIR SOURCE_DIR VERSION C_COMPILER SCRATCH
cpack="$1"
build="$2"
source="$3"
version="$4"
cc="$5"
scratch="$6"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

. "$source/tests/package-contents.sh"
make_package "$cpack" "$build" "$scratch" "Doruzeda_DO-$version-win32.zip"
zip="$scratch/Doruzeda_DO-$version-win32.zip"

# Exactly these files, at the top of the zip: no folder, stand-in or program.
expected="Doruzeda_DO.def
Doruzeda_DO.dll
LICENSE
README.txt
SHA256SUMS
doruzeda_do.h"
unpack_and_check "$zip" "$expected" "$source" "$build" "$scratch/unpacked"

cmp Doruzeda_DO.dll "$build/bin/Doruzeda_DO.dll" || fail "the packaged DLL is not the built one"

# The header declares every function that the module definition exports:
# compiled as C, the address of each name must be known.
{
    echo '#include "doruzeda_do.h"'
    echo 'void exported(void);'
    echo 'void exported(void) {'
    sed -n 's/^[[:space:]]*\(fnOrvane_[A-Za-z]*\)[[:space:]]*@[0-9]*.*$/    (void)sizeof(\&\1);/p' \
        Doruzeda_DO.def
    echo '}'
} >"$scratch/declared.c"
# The ten at ordinals 1 to 10, and the four beyond them.
[ "$(grep -c sizeof "$scratch/declared.c")" -eq 14 ] || fail "the module definition does not list the 14 exports"
"$cc" -std=c99 -Wall -Wextra -pedantic -Werror -fsyntax-only -I. "$scratch/declared.c" ||
    fail "the header does not declare every export"

# Loaded from the unpacked folder, beside the stand-ins, by the host program.
cp "$build/bin/INPOUT32.dll" "$build/bin/get_io.dll" "$build/bin/kxmacro.dll" \
   "$build/bin/host.exe" . || fail "copying the stand-ins and the host"
printf 'setParallelOutputPin 2 1\nexpect 0\n' >one-call.macro
output=$("$build/wine-run.sh" host.exe one-call.macro 2>&1)
code=$?
echo "$output"
[ "$code" -eq 0 ] || fail "host.exe exited with $code"
# (Wine's console ends lines with CR LF.)
echo "$output" | tr -d '\r' | grep -qxF 'fnOrvane_setParallelOutputPin(2, 1) = 0' ||
    fail "no call result"
grep -q ' SetPinOutput(2, 1) Port=378' RurSetupDebug.txt 2>/dev/null ||
    fail "the unpacked folder's RurSetupDebug.txt does not log the call"

[ "$failures" -eq 0 ] && echo "the package is as expected"
[ "$failures" -eq 0 ]
