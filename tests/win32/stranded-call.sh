#!/bin/sh
# A call stuck in the port driver past the unload's wait (each access of the
# stand-in waits): the first unload goes on after its wait, the library is
# loaded again, the stuck call returns into that load, and the second unload
# finds no call inside. A stranded call counted out of the later load would
# make that unload wait its whole bound (3 s). With a recording under way,
# the stuck call holds the controller's guard for its first access and the
# three registers read before it (8 s): the unload ends the recording without
# that guard, within its own wait.
#
#   stranded-call.sh BIN_DIR
. "$(dirname "$0")/../checks.sh"

# run ACCESS_MS RECORDING FIRST_UNLOAD_MS_AT_MOST: one stranded call, and the
# first unload's time checked against its bounds.
run() {
    out=$(cd "$bin" && DORUZEDA_SIM_ACCESS_MS=$1 DORUZEDA_RECORD=$2 wine unload_during_access.exe |
        tr -d '\r')
    code=$?
    [ "$code" -eq 0 ] || fail "exit code $code: $out"
    first=$(echo "$out" | sed -n 's/^first unload: \([0-9]*\) ms$/\1/p')
    second=$(echo "$out" | sed -n 's/^second unload: \([0-9]*\) ms$/\1/p')
    [ -n "$first" ] && [ "$first" -ge 2900 ] && [ "$first" -le "$3" ] ||
        fail "${2:+recording: }the first unload took ${first:-?} ms, not its wait"
    [ -n "$second" ] && [ "$second" -lt 2900 ] ||
        fail "the second unload took ${second:-?} ms: the stranded call was counted out of it"
}
bin=$1
run 5000 "" 5000
run 2000 stranded.vcd 5000
rm -f "$bin/stranded.vcd" "$bin/stranded-2.vcd"
[ "$failures" -eq 0 ] && echo "a call stranded past an unload leaves the next load's count alone"
[ "$failures" -eq 0 ]
