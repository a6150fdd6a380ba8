#!/bin/sh
# The round trip of examples/replay.macro under Wine through the host: a
# macro's recording played back while recorded again, and sigrok's demo
# file played while recorded; the host finds the same changes in each pair.
# The tolerance is a second: how close the times come is the benchmark's
# (scripts/bench.sh play), not a test's. The demo file's changes are 20 ms
# apart, so that changes a busy machine made late are not made within one
# microsecond of each other, where the recording keeps a pin's last level.
#
#   play-round-trip.sh RUNNER BIN MACRO SCRATCH
. "$(dirname "$0")/../checks.sh"
fresh_folder "$4" || exit 1
sigrok-cli -d demo:analog_channels=0 --samples 150 --config samplerate=50 -O vcd \
    -o demo.vcd 2>/dev/null || fail "sigrok-cli made no demo.vcd"
sed 's/^\(same-changes [^ ]* [^ ]*\) [0-9]*$/\1 1000000/' "$3" >replay.macro
"$1" "$2/host.exe" replay.macro >host.raw 2>host.err
code=$?
tr -d '\r' <host.raw >host.out
[ "$code" -eq 0 ] || fail "the host's exit code $code, not 0: $(cat host.out host.err)"
for played in 'first.vcd) Port=378 Changes=12 Length=[0-9]* Latest=[0-9]* Skipped=10,11,12,13,15' \
    'demo.vcd) Port=378 Changes=73 Length=2980000 Latest=[0-9]*'; do
    grep -q "log: .* PlayPins($played\$" host.out || fail "no line PlayPins($played: $(cat host.out)"
done
[ "$(grep -c 'same-changes: [0-9]* changes, each within 1000000 us' host.out)" -eq 2 ] ||
    fail "the changes compared: $(grep same-changes host.out)"
[ "$failures" -eq 0 ] || exit 1
echo "played and compared: $(grep -c "same-changes: " host.out) round trips"
