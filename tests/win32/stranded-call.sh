#!/bin/sh
# A call stuck in the port driver past the unload's wait (each access of the
# stand-in waits 5 s): the first unload goes on after its wait, the library is
# loaded again, the stuck call returns into that load, and the second unload
# finds no call inside. A stranded call counted out of the later load would
# make that unload wait its whole bound (3 s).
#
#   stranded-call.sh BIN_DIR
. "$(dirname "$0")/../checks.sh"
out=$(cd "$1" && DORUZEDA_SIM_ACCESS_MS=5000 wine unload_during_access.exe | tr -d '\r')
code=$?
[ "$code" -eq 0 ] || fail "exit code $code: $out"
first=$(echo "$out" | sed -n 's/^first unload: \([0-9]*\) ms$/\1/p')
second=$(echo "$out" | sed -n 's/^second unload: \([0-9]*\) ms$/\1/p')
[ -n "$first" ] && [ "$first" -ge 2900 ] || fail "the first unload took ${first:-?} ms, not its wait"
[ -n "$second" ] && [ "$second" -lt 2900 ] ||
    fail "the second unload took ${second:-?} ms: the stranded call was counted out of it"
# With a recording under way the stuck call holds the guard through its
# first access and the three registers read before it (8 s): the unload ends
# the recording without that guard, within its own wait.
out=$(cd "$1" && DORUZEDA_SIM_ACCESS_MS=2000 DORUZEDA_RECORD=stranded.vcd wine unload_during_access.exe)
first=$(echo "$out" | tr -d '\r' | sed -n 's/^first unload: \([0-9]*\) ms$/\1/p')
[ -n "$first" ] && [ "$first" -lt 5000 ] || fail "recording: the first unload took ${first:-?} ms"
rm -f "$1/stranded.vcd" "$1/stranded-2.vcd"
[ "$failures" -eq 0 ] && echo "a call stranded past an unload leaves the next load's count alone"
[ "$failures" -eq 0 ]
