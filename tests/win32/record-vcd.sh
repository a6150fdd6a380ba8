#!/bin/sh
# Recording under Wine, checked with sigrok (sigrok-cli):
#  - the host runs examples/strobe-record.macro, whose "record" statement
#    writes strobe.vcd; sigrok reads the file back: the strobe and data pins
#    change exactly as the macro drove them, and sigrok's parallel decoder
#    prints exactly the four bytes the macro strobed out;
#  - DORUZEDA_RECORD names a file in a folder that does not exist: one
#    message naming it on standard error, and the macro runs on;
#  - a host that records from the start (DORUZEDA_RECORD) and is killed
#    while it sleeps after its writes leaves them in the file.
#
#   record-vcd.sh RUNNER BIN SOURCE SCRATCH
runner="$1"
bin="$2"
source="$3"
scratch="$4"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -rf "$scratch" && mkdir -p "$scratch" && cd "$scratch" || exit 1

"$runner" "$bin/host.exe" "$source/examples/strobe-record.macro" >host.out 2>host.err ||
    fail "the host failed on the example: $(cat host.out host.err)"
[ -s strobe.vcd ] || { echo "FAIL: no strobe.vcd"; exit 1; }

# The transitions as sigrok reads them: at each time stamp, strobe (pin 1)
# and the byte on pins 2 to 9.
data="d0=pin02_d0:d1=pin03_d1:d2=pin04_d2:d3=pin05_d3:d4=pin06_d4:d5=pin07_d5:d6=pin08_d6:d7=pin09_d7"
channels=$(echo "pin01_strobe:$data" | sed 's/d[0-7]=//g; s/:/,/g')
transitions=$( (sigrok-cli -I vcd -i strobe.vcd -C "$channels" -O vcd; true) 2>/dev/null | awk '
    /^#[0-9]+ ./ {
        for (i = 2; i <= NF; i++) level[substr($i, 2)] = substr($i, 1, 1)
        byte = 0
        for (bit = 7; bit >= 0; bit--) byte = byte * 2 + level[sprintf("%c", 34 + bit)]
        printf "%s %02x\n", level["!"], byte
    }')
expected="0 00
1 00
1 a5
0 a5
1 a5
1 3c
0 3c
1 3c
1 c3
0 c3
1 c3
1 5a
0 5a
1 5a
1 00
0 00
1 00"
[ "$transitions" = "$expected" ] ||
    fail "transitions (strobe, byte) differ:
$(printf '%s\n' "$transitions" | diff -u - /dev/fd/3 3<<END
$expected
END
)"

# sigrok's decoder reports each word at the strobe after the one that
# latched it, and sigrok-cli aborts at its exit after printing everything:
# its output is judged, not its exit code.
decoded=$( (sigrok-cli -I vcd -i strobe.vcd \
    -P "parallel:clk=pin01_strobe:$data:clock_edge=falling"; true) 2>/dev/null)
[ "$decoded" = "parallel-1: a5
parallel-1: 3c
parallel-1: c3
parallel-1: 5a" ] || fail "the decoder printed: $decoded"

# A file that cannot be created: one message, and the macro runs on.
DORUZEDA_RECORD='no-such-folder\pins.vcd' "$runner" "$bin/host.exe" \
    "$source/examples/blink.macro" >blink.out 2>blink.err ||
    fail "the host failed without its recording: $(cat blink.out)"
messages=$(grep -c . blink.err)
grep -q '^INPOUT32.dll: cannot record into no-such-folder\\pins.vcd: .*; going on without recording' \
    blink.err && [ "$messages" -eq 1 ] || fail "standard error was: $(cat blink.err)"
grep -q 'expectation(s) failed' blink.out || fail "the macro did not run to its end"

# Recording from the start (DORUZEDA_RECORD), killed while it sleeps, a
# second and a half after its last write.
printf 'setParallelPortAddress 3 7 8 ""\nsetParallelDataByte 165\nsleep 20000\n' >killed.macro
DORUZEDA_RECORD=killed.vcd "$runner" "$bin/host.exe" killed.macro >killed.out 2>&1 &
host=$!
waited=0
until grep -q 'setParallelDataByte(165)' killed.out; do
    waited=$((waited + 1))
    [ "$waited" -lt 300 ] || break
    sleep 0.1
done
sleep 1.5
kill -9 "$host" 2>/dev/null
wait "$host" 2>/dev/null
# Pins 2, 4, 7 and 9 (A5) went high at one time stamp.
grep -q '^1"$' killed.vcd && grep -q '^1)$' killed.vcd ||
    fail "killed.vcd lacks the write before the kill: $(tail -5 killed.vcd)"

[ "$failures" -eq 0 ] || exit 1
echo "recorded, read back by sigrok-cli and decoded: $(echo "$decoded" | tr '\n' ' ')"
