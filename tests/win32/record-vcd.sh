#!/bin/sh
# Recording under Wine, checked with sigrok (sigrok-cli):
#  - the host runs examples/trigger.macro: the recording shows both writes
#    of each pulse;
#  - the host runs examples/strobe-record.macro, which sets the strobe (pin
#    1) high and only then starts recording into strobe.vcd; sigrok reads
#    the file back: the strobe and data pins change exactly as the macro
#    drove them, and sigrok's parallel decoder prints the two bytes the macro
#    strobed out (the first strobe a falling edge, from the levels read
#    just before the port's first access; sigrok shows the unknown levels
#    before it as low);
#  - DORUZEDA_RECORD names a file in a folder that does not exist: one log
#    line naming it and the cause, and the macro runs on;
#  - a file that can no longer be written (a full disk, /dev/full): one log
#    line naming it and the cause, and the macro runs on;
#  - DORUZEDA_RECORD and a host that reloads the library: each load has its
#    own file, and no load empties an earlier one's;
#  - a host that records from the start (DORUZEDA_RECORD) and is killed
#    while it sleeps, 0.6 s after its last write, has that write in the file;
#  - a file that takes no more writes (a FIFO whose reader never reads): the
#    end of the recording and the host's end return, and one log line names
#    what was dropped;
#  - a process that ends while its writer writes into a FIFO read slowly:
#    no line is torn, and whatever is lost is named in the log;
#  - a process that ends while recording into a plain file: the rest is
#    written at its end, the file complete.
#
#   record-vcd.sh RUNNER BIN SOURCE SCRATCH
runner="$1"
bin="$2"
source="$3"
scratch="$4"

. "$(dirname "$0")/../checks.sh"

fresh_folder "$scratch" || exit 1

"$runner" "$bin/host.exe" "$source/examples/strobe-record.macro" >host.out 2>host.err ||
    fail "the host failed on the example: $(cat host.out host.err)"
[ -s strobe.vcd ] || { echo "FAIL: no strobe.vcd"; cat host.out; exit 1; }

# The transitions as sigrok reads them: at each time stamp, strobe (pin 1)
# and the byte on pins 2 to 9.
data="d0=lpt378_pin02_d0:d1=lpt378_pin03_d1:d2=lpt378_pin04_d2:d3=lpt378_pin05_d3"
data="$data:d4=lpt378_pin06_d4:d5=lpt378_pin07_d5:d6=lpt378_pin08_d6:d7=lpt378_pin09_d7"
channels=$(echo "lpt378_pin01_strobe:$data" | sed 's/d[0-7]=//g; s/:/,/g')
transitions_of() {
    (sigrok-cli -I vcd -i "$1" -C "$channels" -O vcd; true) 2>/dev/null | awk '
    /^#[0-9]+ ./ {
        for (i = 2; i <= NF; i++) level[substr($i, 2)] = substr($i, 1, 1)
        byte = 0
        for (bit = 7; bit >= 0; bit--) byte = byte * 2 + level[sprintf("%c", 34 + bit)]
        printf "%s %02x\n", level["!"], byte
    }'
}
transitions=$(transitions_of strobe.vcd)
expected="0 00
1 00
1 a5
0 a5
1 a5
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
    -P "parallel:clk=lpt378_pin01_strobe:$data:clock_edge=falling"; true) 2>/dev/null)
[ "$decoded" = "parallel-1: a5
parallel-1: 5a" ] || fail "the decoder printed: $decoded"

# examples/trigger.macro: both writes of each pulse, the code 37 (25) on the
# data pins and back to 0, then the strobe low and back high (after the
# unknown levels before the port's first access, which sigrok shows as low).
"$runner" "$bin/host.exe" "$source/examples/trigger.macro" >trigger.out 2>&1 ||
    fail "the host failed on the trigger example: $(cat trigger.out)"
transitions=$(transitions_of trigger.vcd | tr '\n' ' ')
[ "$transitions" = "0 00 1 00 1 25 1 00 0 00 1 00 " ] ||
    fail "trigger.vcd's transitions (strobe, byte): $transitions"

# The log lines of a run, without their time stamps.
logged() { sed 's/^[0-9/]* [0-9:.]* //; s/\r$//' RurSetupDebug.txt; }

# A file that cannot be created: one log line, and the macro runs on.
rm -f RurSetupDebug.txt
DORUZEDA_RECORD='no-such-folder\pins.vcd' "$runner" "$bin/host.exe" \
    "$source/examples/blink.macro" >blink.out 2>blink.err ||
    fail "the host failed without its recording: $(cat blink.out)"
[ "$(logged | grep -c '^Recording')" -eq 1 ] &&
    logged | grep -q '^Recording into no-such-folder\\pins.vcd failed: .' ||
    fail "the log was: $(logged)"
grep -q 'expectation(s) failed' blink.out || fail "the macro did not run to its end"

# A file that can no longer be written: the disk is full from the start.
rm -f RurSetupDebug.txt
ln -sf /dev/full full.vcd
printf 'setParallelPort 1\nrecord full.vcd\nsetParallelDataByte 1\nsleep 600\nsetParallelDataByte 2\nexpect 0\n' >full.macro
"$runner" "$bin/host.exe" full.macro >full.out 2>&1 || fail "the host failed: $(cat full.out)"
[ "$(logged | grep -c '^Recording')" -eq 1 ] &&
    logged | grep -q '^Recording into full.vcd stopped: .' ||
    fail "the log was: $(logged)"
grep -q 'SetDataByte(2)' full.out && grep -q '0 expectation(s) failed' full.out ||
    fail "the macro did not run on: $(cat full.out)"

# A host that reloads the library: a file for each load.
printf 'setParallelPort 1\nsetParallelDataByte 1\nreload\nsetParallelPort 1\nsetParallelDataByte 2\nreload\nrecord\nsetParallelPort 1\nsetParallelDataByte 4\n' >reload.macro
DORUZEDA_RECORD=loads.vcd "$runner" "$bin/host.exe" reload.macro >reload.out 2>&1 ||
    fail "the host failed: $(cat reload.out)"
# Pin 2 (d0) rose in the first load, pin 3 (d1) in the second; the third
# ended its recording at once (the data byte written after it is in no file).
for load in "loads.vcd:^1\"$" "loads-2.vcd:^1#$" "loads-3.vcd:"; do
    file=${load%%:*}
    line=${load#*:}
    [ -s "$file" ] && tail -1 "$file" | grep -q '^#[0-9]*$' || fail "$file is not complete"
    [ -z "$line" ] || grep -q "$line" "$file" || fail "$file lacks its load's change"
done
grep -q '^1%$' loads-3.vcd && fail "loads-3.vcd has the write after its end"
[ -e loads-4.vcd ] && fail "a fourth file"

# Recording from the start (DORUZEDA_RECORD), killed while it sleeps, 0.6 s
# after its last write: the file is written every quarter second.
printf 'setParallelPortAddress 3 7 8 ""\nsetParallelDataByte 165\nsleep 20000\n' >killed.macro
DORUZEDA_RECORD=killed.vcd "$runner" "$bin/host.exe" killed.macro >killed.out 2>&1 &
host=$!
waited=0
until grep -q "setParallelDataByte(165)" killed.out 2>/dev/null; do
    waited=$((waited + 1))
    [ "$waited" -lt 300 ] || break
    sleep 0.1
done
sleep 0.6
kill -9 "$host" 2>/dev/null
wait "$host" 2>/dev/null
# Pins 2, 4, 7 and 9 (A5) went high at one time stamp.
grep -q '^1"$' killed.vcd && grep -q '^1)$' killed.vcd ||
    fail "killed.vcd lacks the write before the kill: $(tail -5 killed.vcd)"

# A FIFO whose reader holds it open and never reads: after 64 KiB the file
# takes no write. Each end waits its bound; the host ends.
mkfifo stalled.fifo
sleep 60 <stalled.fifo &
reader=$!
{ echo "setParallelPort 1"; echo "record stalled.fifo"
  i=0; while [ $i -lt 1500 ]; do echo "setParallelDataByte 255"; echo "setParallelDataByte 0"
  i=$((i + 1)); done; echo "sleep 300"; echo "record"; } >stalled.macro
rm -f RurSetupDebug.txt
timeout 60 "$runner" "$bin/host.exe" stalled.macro >stalled.out 2>&1 ||
    fail "the host did not end over a stalled file: $(tail -3 stalled.out)"
kill "$reader" 2>/dev/null
logged | grep -q '^Recording into stalled.fifo: [0-9]* bytes dropped, the file took no write within 500 ms$' ||
    fail "no log line names what was dropped: $(logged | grep Recording)"

# A process that ends (without unloading the library) while its writer waits
# for a reader that takes 4 KiB every 20 ms.
mkfifo slow.fifo
python3 -c 'import sys, time
with open(sys.argv[1], "rb") as source, open(sys.argv[2], "wb") as copy:
    while True:
        block = source.read(4096)
        if not block: break
        copy.write(block); time.sleep(0.02)' slow.fifo slow.vcd &
reader=$!
rm -f RurSetupDebug.txt
timeout 60 "$runner" "$bin/recording_test.exe" --exit-while-recording slow.fifo 20000 400 \
    >slow.out 2>&1 || fail "the process did not end: $(cat slow.out)"
wait "$reader"
torn=$(grep -v -E '^(#[0-9]+|[01x][!-~]{1,3}|\$.*\$end|\$dumpvars|\$end)$' slow.vcd | head -3)
[ -z "$torn" ] || fail "slow.vcd has torn lines: $torn"
[ "$(tail -c 1 slow.vcd | od -An -c | tr -d ' ')" = '\n' ] || fail "slow.vcd ends mid-line"
lines=$(grep -c '^[01][!-~]*$' slow.vcd)
[ "$lines" -ge 160000 ] || logged | grep -q '^Recording into slow.fifo: [0-9]* bytes dropped at the end of the process$' ||
    fail "slow.vcd lost changes ($lines of 160000 lines) and the log names none: $(logged)"

# The same end of the process into a plain file, at once after its last
# change (pin 9 high at last): the rest is written then, and nothing is lost.
rm -f RurSetupDebug.txt
timeout 60 "$runner" "$bin/recording_test.exe" --exit-while-recording plain.vcd 2000 0 \
    >plain.out 2>&1 || fail "the process did not end: $(cat plain.out)"
tail -1 plain.vcd | grep -q '^#[0-9]*$' && grep -q '^1)$' plain.vcd ||
    fail "plain.vcd is not complete: $(tail -3 plain.vcd)"
logged | grep -q dropped && fail "plain.vcd lost changes: $(logged)"

[ "$failures" -eq 0 ] || exit 1
echo "recorded, read back by sigrok-cli and decoded: $(echo "$decoded" | tr '\n' ' ')"
