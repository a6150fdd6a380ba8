#!/bin/sh
# Checks the built Doruzeda_DO.dll's export and import tables:
# the library name, the ten names at ordinals 1 to 10 and the later exports
# after them, INPOUT32.dll and
# get_io.dll imported by ordinal only, and no runtime DLL of the toolchain.
objdump="$1"
dll="$2"
dump=$("$objdump" -p "$dll") || { echo "cannot read $dll"; exit 1; }
. "$(dirname "$0")/../checks.sh"

echo "$dump" | grep -q "^Name .* Doruzeda_DO.dll$" || fail "export directory does not name Doruzeda_DO.dll"

# Ordinal table lines read "[   i] name" with i = ordinal - base (base 1).
expected="0 fnOrvane_fetchParallelInputPin
1 fnOrvane_getParallelInputAll
2 fnOrvane_getParallelInputPin
3 fnOrvane_rudAdado
4 fnOrvane_prepareParallelOutputBuffer
5 fnOrvane_prepareParallelOutputPin
6 fnOrvane_setParallelOutputAll
7 fnOrvane_setParallelOutputPin
8 fnOrvane_setParallelPort
9 fnOrvane_setParallelPortAddress
10 fnOrvane_setParallelDataDirection
11 fnOrvane_setParallelDataByte
12 fnOrvane_getParallelDataByte
13 fnOrvane_waitParallelInputPin
14 fnOrvane_recordParallelPins
15 fnOrvane_pulseParallelOutputPin
16 fnOrvane_pulseParallelDataByte
17 fnOrvane_checkParallelPort
18 fnOrvane_timeParallelInputPin
19 fnOrvane_playParallelPins"
echo "$dump" | grep -q "Ordinal Base[[:space:]]*1$" || fail "ordinal base is not 1"
actual=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
         sed -n 's/^[[:space:]]*\[[[:space:]]*\([0-9]*\)\][[:space:]]*\([^[:space:]]*\)$/\1 \2/p' | sort -n)
[ "$actual" = "$expected" ] || fail "exports differ:
$actual"
count=$(echo "$dump" | sed -n 's/^[[:space:]]*Export Address Table[[:space:]]*\([0-9a-f]*\)$/\1/p' | head -1)
[ "$count" = "00000014" ] || fail "export count is $count, not 20"

# Imports: one block per DLL. INPOUT32 and get_io must list ordinals only.
dlls=$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
echo "imports: $dlls"
for required in inpout32.dll get_io.dll; do
    echo " $dlls" | grep -q " $required " || fail "$required is not imported"
done
for dll_name in $dlls; do
    case "$dll_name" in
        kernel32.dll|user32.dll|gdi32.dll|comctl32.dll|msvcrt.dll|advapi32.dll|inpout32.dll|get_io.dll) ;;
        *) fail "unexpected import $dll_name" ;;
    esac
done
by_name_in() {
    echo "$dump" | awk -v want="$1" '
        /DLL Name:/ { name = tolower($3); inside = (name == want); next }
        inside && /^$/ { inside = 0 }
        inside && /^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[A-Za-z_]/ { print }'
}
for closed in inpout32.dll get_io.dll; do
    named=$(by_name_in "$closed")
    [ -z "$named" ] || fail "$closed imported by name: $named"
done
ordinals() {
    echo "$dump" | awk -v want="$1" '
        /DLL Name:/ { name = tolower($3); inside = (name == want); next }
        inside && /^$/ { inside = 0 }
        inside && /<none>/ { print $2 }' | sort -n | tr '\n' ' '
}
[ "$(ordinals inpout32.dll)" = "1 2 " ] || fail "INPOUT32.dll ordinals: $(ordinals inpout32.dll)"
[ "$(ordinals get_io.dll)" = "5 7 9 10 11 14 " ] || fail "get_io.dll ordinals: $(ordinals get_io.dll)"

[ "$failures" -eq 0 ] && echo "export and import tables as expected"
[ "$failures" -eq 0 ]
