#!/bin/sh
# The host program's reading of scripts, and the simulated port across a
# reload, under Wine with the stand-ins:
#  - a table of lines it must refuse: each named in one error, and nothing
#    run, not even the good line before them; exit code 2;
#  - a Ctrl-Z byte is an error, not the script's end;
#  - line ends CR alone, CR LF, a byte-order mark, tabs, quotes, the ends of
#    the integers' range: each line runs as written;
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

# Each bad line, and the error it must give. The script starts with a good
# call, which must not run either.
table=$(cat <<'TABLE'
setParallelOutputPin 2 high => LEVEL "high" is not a decimal number
setParallelOutputPin 4294967298 1 => PIN 4294967298 is outside -2147483648 to 2147483647
setParallelOutputPin 2 0x7fffffff => LEVEL "0x7fffffff" is not a decimal number
setParallelOutputPin 2 1.5 => LEVEL "1.5" is not a decimal number
setParallelDataByte 0xFF => VALUE "0xFF" is not a decimal number
waitParallelInputPin 10 1 4294967296 => TIMEOUT 4294967296 is outside -2147483648 to 2147483647
expect zero => N "zero" is not a decimal number
expect 2147483648 => N 2147483648 is outside -2147483648 to 2147483647
setParallelOutputPin 2 => setParallelOutputPin takes 2 arguments (PIN LEVEL), not 1
setParallelPortAddress => setParallelPortAddress takes 4 arguments (DIGIT1 DIGIT2 DIGIT3 DIGIT4), not 0
setParallelOutputPin 2 1 1 => setParallelOutputPin takes 2 arguments (PIN LEVEL), not 3
fnOrvane_getParallelDataByte 1 => fnOrvane_getParallelDataByte takes no arguments, not 1
expect => expect takes 1 argument (N), not 0
setParallelPortAddress "a\"b" "7" "8" "" => a quote in the middle of a word
setParallelPortAddress 3 7 8" "" => a quote in the middle of a word
setParallelPortAddress "3" "7" "8 => a quote is not closed
show -1 => MS -1 is outside 0 to 3600000
show abc => MS "abc" is not a decimal number
sleep -1 => MS -1 is outside 0 to 3600000
sleep 4294967295 => MS 4294967295 is outside 0 to 3600000
sleep => sleep takes 1 argument (MS), not 0
pins 10378 => BASE 10378 is outside 100 to FFFD
pins FFFE => BASE FFFE is outside 100 to FFFD
pins 378 379 => pins takes 0 or 1 argument (BASE), not 2
inputs 10378 1FF => BASE 10378 is outside 100 to FFFD
inputs 378 1FF => HEX 1FF is outside 00 to FF
data-inputs 378 -1 => HEX "-1" is not a hexadecimal number
inputs 378 => inputs takes 2 arguments (BASE HEX), not 1
reload now => reload takes no arguments, not 1
record a.vcd b.vcd => record takes 0 or 1 argument (FILE), not 2
fnOrvane_expect 0 => no statement or export named "fnOrvane_expect"
blink 2 => no statement or export named "blink"
TABLE
)
{
    echo 'setParallelOutputPin 2 1'
    printf '%s\n' "$table" | sed 's/ => .*//'
} >bad.macro
expected=$(printf '%s\n' "$table" | sed 's/.* => //' | awk '{ printf "line %d: %s\n", NR + 1, $0 }'
           echo "host: 32 line(s) cannot be read; nothing was run")
run bad
[ "$code" -eq 2 ] || fail "bad lines: exit code $code, not 2"
same bad "$expected"
[ ! -e RurSetupDebug.txt ] || fail "bad lines: the library was loaded and logged: $(cat RurSetupDebug.txt)"

# Ctrl-Z (Windows' old end of a text file) is a byte like any other control byte.
printf 'setParallelOutputPin 2 1\n\032\nsetParallelOutputPin 2 0\n' >ctrl-z.macro
run ctrl-z
[ "$code" -eq 2 ] || fail "Ctrl-Z: exit code $code, not 2"
same ctrl-z "line 2: control byte 0x1A
host: 1 line(s) cannot be read; nothing was run"

# CR alone ends a line: the expectation on line 3 is checked, and fails.
printf 'setParallelOutputPin 2 1\rexpect 0\rexpect 5\r' >cr.macro
run cr
[ "$code" -eq 1 ] || fail "CR line ends: exit code $code, not 1"
calls cr "fnOrvane_setParallelOutputPin(2, 1) = 0
line 3: expected 5, got 0
host: unloaded Doruzeda_DO.dll; 1 expectation(s) failed"

# A byte-order mark, CR LF, a tab, quoted and bare digits, an empty string,
# a comment after the arguments, the integers' ends, a recording ended that
# never began (a null file name).
printf '\357\273\277setParallelPortAddress\t"3" 7 "8" ""\r\n# a comment\r\n' >good.macro
printf 'setParallelOutputPin -1 -2147483648\r\nexpect -2\r\n' >>good.macro
printf 'fnOrvane_setParallelOutputPin 9 2147483647 # pin 9 high\r\nexpect 0\r\n' >>good.macro
printf 'inputs 378 c0\r\ngetParallelInputPin 10\r\nexpect 1\r\nsleep 0\r\n' >>good.macro
run good
[ "$code" -eq 0 ] || fail "good lines: exit code $code, not 0: $(cat good.out)"
calls good 'fnOrvane_setParallelPortAddress("3", "7", "8", "") = 0
fnOrvane_setParallelOutputPin(-1, -2147483648) = -2
fnOrvane_setParallelOutputPin(9, 2147483647) = 0
fnOrvane_getParallelInputPin(10) = 1
host: unloaded Doruzeda_DO.dll; 0 expectation(s) failed'

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
