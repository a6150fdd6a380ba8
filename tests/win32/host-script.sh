#!/bin/sh
# The host program's reading of scripts, and the simulated port across a
# reload, under Wine with the stand-ins (the reader's every bad line is the
# native tests/native/script_reader_test.cpp's):
#  - lines it must refuse, a Ctrl-Z among them (an error, not the script's
#    end): each named in one error, and nothing run, not even the good line
#    before them; exit code 2;
#  - line ends CR alone, CR LF, a byte-order mark, tabs, quotes, the ends of
#    the integers' range: each line runs as written; a failed expectation
#    is named by its line;
#  - after a reload, the simulated port still shows the pins set before it;
#  - a library without an export: the line naming it is an error and stops
#    the script.
#
#   host-script.sh RUNNER BIN SCRATCH
runner="$1"
bin="$2"
scratch="$3"

. "$(dirname "$0")/../checks.sh"

fresh_folder "$scratch" || exit 1

# run NAME [OPTION]: runs the host on NAME.macro; standard output without
# Wine's CRs in NAME.out, the exit code in $code.
run() {
    "$runner" "${host:-$bin/host.exe}" $2 "$1.macro" >"$1.raw" 2>"$1.err"
    code=$?
    tr -d '\r' <"$1.raw" >"$1.out"
}
# same NAME EXPECTED: NAME.out holds exactly EXPECTED.
same() {
    [ "$(cat "$1.out")" = "$2" ] || fail "$1: the host printed (-), not (+):
$(printf '%s\n' "$2" | diff -u "$1.out" - | sed 1,2d)"
}
# calls NAME EXPECTED: the calls and failed expectations of NAME.out are EXPECTED.
calls() {
    grep -e '^fnOrvane_' -e '^line ' -e '^host: unloaded' "$1.out" >"$1.calls"
    [ "$(cat "$1.calls")" = "$2" ] || fail "$1: the calls (-), not (+):
$(printf '%s\n' "$2" | diff -u "$1.calls" - | sed 1,2d)"
}

# Bad lines (each kind of them, and its error: the native
# tests/native/script_reader_test.cpp): each named in one error, and nothing
# run, not even the good line before them. Ctrl-Z (Windows' old end of a text
# file) is a byte like any other control byte: the file is read whole.
printf 'setParallelOutputPin 2 1\nsetParallelOutputPin 2 high\n\032\nblink 2\n' >bad.macro
run bad
[ "$code" -eq 2 ] || fail "bad lines: exit code $code, not 2"
same bad 'line 2: LEVEL "high" is not a decimal number
line 3: control byte 0x1A
line 4: no statement or export named "blink"
host: 3 line(s) cannot be read; nothing was run'
[ ! -e RurSetupDebug.txt ] || fail "bad lines: the library was loaded and logged: $(cat RurSetupDebug.txt)"

# A byte-order mark, CR LF, CR alone, a tab, quoted and bare digits, an
# empty string, a comment after the arguments, the integers' ends, a
# recording ended that never began (a null file name); a failed expectation,
# named by its line: exit code 1.
printf '\357\273\277setParallelPortAddress\t"3" 7 "8" ""\r\n# a comment\r\n' >good.macro
printf 'setParallelOutputPin -1 -2147483648\r\nexpect -2\r\n' >>good.macro
printf 'fnOrvane_setParallelOutputPin 9 2147483647 # pin 9 high\r\nexpect 0\r\n' >>good.macro
printf 'inputs 378 c0\r\ngetParallelInputPin 10\r\nexpect 1\r\nsleep 0\r\n' >>good.macro
printf 'record\rexpect 0\rexpect 5\r' >>good.macro
run good
[ "$code" -eq 1 ] || fail "good lines: exit code $code, not 1: $(cat good.out)"
calls good 'fnOrvane_setParallelPortAddress("3", "7", "8", "") = 0
fnOrvane_setParallelOutputPin(-1, -2147483648) = -2
fnOrvane_setParallelOutputPin(9, 2147483647) = 0
fnOrvane_getParallelInputPin(10) = 1
fnOrvane_recordParallelPins(NULL) = 0
line 13: expected 5, got 0
host: unloaded Doruzeda_DO.dll; 1 expectation(s) failed'

# The simulated port keeps its registers while the host runs, across a reload.
printf 'setParallelOutputPin 2 1\nreload\npins\n' >reload.macro
run reload
[ "$code" -eq 0 ] || fail "reload: exit code $code, not 0"
grep -qxF '  port 378: data=01 status=00 control=00' reload.out ||
    fail "reload: the port after the reload: $(grep 'port 378' reload.out)"

# A library without the recording's export (the macro module stand-in under
# the library's name): the line that calls it names it, and the script stops.
mkdir lacking
cp "$bin/host.exe" lacking/ && cp "$bin/kxmacro.dll" lacking/Doruzeda_DO.dll || exit 1
printf 'record pins.vcd\nsetParallelOutputPin 2 1\n' >lacking.macro
host=lacking/host.exe run lacking --no-kxmacro
[ "$code" -eq 2 ] || fail "an export missing: exit code $code, not 2"
same lacking "host: loaded Doruzeda_DO.dll
line 1: Doruzeda_DO.dll has no export fnOrvane_recordParallelPins
host: unloaded Doruzeda_DO.dll
host: the script stopped at line 1"

[ "$failures" -eq 0 ] || exit 1
echo "the host read every line as expected"
