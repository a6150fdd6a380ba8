#!/bin/sh
# The Windows package as a user gets it: made from this build, unpacked into
# an empty folder, its listing, entries and sums checked, its DLL compared
# with the build's, searched for the build's paths, checked for what a
# Windows user's security tools look for and for any time of the build, its
# header checked against its module definition; then, with the stand-ins
# beside the unpacked DLL, the host program loads the DLL from that folder
# under Wine and makes one call.
#
#   package-test.sh CMAKE BUILD_DIR SOURCE_DIR VERSION C_COMPILER OBJDUMP SCRATCH
cmake="$1"
build="$2"
source="$3"
version="$4"
cc="$5"
objdump="$6"
scratch="$7"

. "$(dirname "$0")/../checks.sh"

. "$source/tests/package-contents.sh"
make_package "$cmake" "$source" "$build" "$scratch" "Doruzeda_DO-$version-win32.zip"
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
# README.txt counts the exports the DLL has, wherever it names them.
exports=$("$objdump" -p Doruzeda_DO.dll | grep -c '\] fnOrvane_')
counts=$(grep -o -e '[A-Za-z0-9]* exported functions' -e 'All [A-Za-z0-9]* are' README.txt | sort -u)
[ "$counts" = "$(printf '%s exported functions\nAll %s are' "$exports" "$exports")" ] ||
    fail "README.txt's counts of the DLL's $exports exports: $counts"

# The last second a zip entry can hold (2107) packs; the next: one line
# naming the limit and the time, exit status 2, and the good zip left as it
# was.
mkdir "$scratch/last"
SOURCE_DATE_EPOCH=4354819199 python3 "$source/tools/pack_package.py" --cmake "$cmake" \
    "$build" "$scratch/last" >/dev/null 2>&1 || fail "the last second a zip entry can hold was refused"
rm -rf "$scratch/last"
cp "$zip" "$scratch/good.zip"
message=$(SOURCE_DATE_EPOCH=4354819200 python3 "$source/tools/pack_package.py" --cmake "$cmake" \
          "$build" "$scratch" 2>&1)
code=$?
[ "$code" -eq 2 ] || fail "a release time after 2107: exit status $code, not 2: $message"
[ "$message" = "pack_package.py: the release time 4354819200 is after 2107-12-31 23:59:59 UTC (4354819199), the latest time an entry of Doruzeda_DO-$version-win32.zip can hold" ] ||
    fail "a release time after 2107: $message"
cmp -s "$zip" "$scratch/good.zip" || fail "a release time after 2107 changed the zip"
[ "$(ls -A "$scratch" | grep -c -e '\.partial$' -e '^\.stage-')" -eq 0 ] ||
    fail "a release time after 2107 left: $(ls -A "$scratch")"
# A superscript two passes str.isdigit() but is no number of seconds.
message=$(SOURCE_DATE_EPOCH="²" python3 "$source/tools/pack_package.py" --cmake "$cmake" \
          "$build" "$scratch" 2>&1)
code=$?
[ "$code" -eq 2 ] && [ "$message" = "pack_package.py: SOURCE_DATE_EPOCH is not a number of seconds: '²'" ] ||
    fail "SOURCE_DATE_EPOCH=²: exit status $code: $message"
cmp -s "$zip" "$scratch/good.zip" || fail "SOURCE_DATE_EPOCH=² changed the zip"
rm -f "$scratch/good.zip"

# Address-space layout randomisation and data-execution prevention, and no
# section both writable and executable (objdump: CODE without READONLY).
headers=$(TZ=UTC "$objdump" -p Doruzeda_DO.dll) || fail "objdump cannot read Doruzeda_DO.dll"
for flag in DYNAMIC_BASE NX_COMPAT; do
    echo "$headers" | grep -qx "[[:space:]]*$flag" || fail "Doruzeda_DO.dll is not $flag"
done
writable_code=$("$objdump" -h Doruzeda_DO.dll | awk '
    /^ *[0-9]+ / { section = $2; next }
    section != "" && /CODE/ && !/READONLY/ { print section }
    { section = "" }')
[ -z "$writable_code" ] || fail "sections both writable and executable: $writable_code"
# No time of the build: the PE header's and the export directory's time
# stamps are 0, as are the resource directory's, and there is no debug
# directory (which would carry one more).
echo "$headers" | grep -q "^Time/Date[[:space:]]*Thu Jan  1 00:00:00 1970$" ||
    fail "the PE header's time stamp: $(echo "$headers" | grep '^Time/Date')"
echo "$headers" | grep -q "^Time/Date stamp[[:space:]]*0$" ||
    fail "the export directory's time stamp: $(echo "$headers" | grep '^Time/Date stamp')"
resource_times=$(echo "$headers" | sed -n 's/.* Table: .*Time: \([0-9a-f]*\),.*/\1/p' | sort -u)
[ "$resource_times" = "00000000" ] || fail "the resource directory's time stamps: $resource_times"
echo "$headers" | grep -q "^Entry 6 00000000 00000000 Debug Directory" ||
    fail "a debug directory: $(echo "$headers" | grep '^Entry 6 ')"

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
# The ten at ordinals 1 to 10, and the ten beyond them.
[ "$(grep -c sizeof "$scratch/declared.c")" -eq 20 ] || fail "the module definition does not list the 20 exports"
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
