#!/bin/sh
# The Wine libraries on the fake ppdev device, as a user runs them: host.exe
# with Doruzeda_DO.dll and kxmacro.dll from the Win32 build, INPOUT32.dll and
# get_io.dll from the Linux build, in one fresh folder under Wine, with the
# port listing (DORUZEDA_PARPORT_PROC) and the device nodes
# (DORUZEDA_PARPORT_DEV) pointed at a fake. Checks the values the macros read
# (their expect lines), every write that reached the device, the ports that
# discovery logged, the messages on standard error, that the host can
# unload and load the library again (also while a thread waits for a port
# that another program holds), and a recording of the pins
# (fnOrvane_recordParallelPins) read back by sigrok-cli.
#
#   wine-fake-ppdev.sh WIN32_BIN DIST FAKE_PPDEV WORK_DIR
set -u
win32_bin=$1 dist=$2 fake=$3 work=$4
here=$(cd "$(dirname "$0")" && pwd)
. "$(dirname "$0")/../checks.sh"

. "$here/../../scripts/env.sh"
wine_prefix "${WINEPREFIX:-$(wine_prefix_in "$win32_bin/..")}" >/dev/null

if mountpoint -q "$work/dev" 2>/dev/null; then fusermount3 -u "$work/dev"; fi
rm -rf "$work"
mkdir -p "$work/app" "$work/dev" "$work/nodev"
cp "$win32_bin/host.exe" "$win32_bin/Doruzeda_DO.dll" "$win32_bin/kxmacro.dll" \
   "$win32_bin/unload_during_access.exe" "$win32_bin/handles_test.exe" \
   "$dist/INPOUT32.dll" "$dist/get_io.dll" "$work/app/" || exit 1

# ports BASE...: the port listing, parport0 at the first base, and so on.
ports() {
    rm -rf "$work/proc"
    number=0
    for base in "$@"; do
        mkdir -p "$work/proc/parport$number"
        printf '%s\t%s\n' "$base" "$((base + 0x400))" >"$work/proc/parport$number/base-addr"
        number=$((number + 1))
    done
}

fake_pid=""
start_fake() {
    "$fake" "$work/dev" "$@" &
    fake_pid=$!
    tries=0
    until [ -e "$work/dev/parport0" ]; do
        tries=$((tries + 1))
        [ $tries -gt 100 ] && { echo "the fake device did not come up"; exit 1; }
        sleep 0.05
    done
}
stop_fake() {
    fusermount3 -u "$work/dev"
    wait "$fake_pid"
}
trap 'mountpoint -q "$work/dev" && fusermount3 -u "$work/dev"' EXIT

# run NAME: runs host.exe on the macro on standard input; output in NAME.out
# and NAME.err, exit code in $code.
run() {
    cat >"$work/app/$1.macro"
    (cd "$work/app" && DORUZEDA_PARPORT_PROC="$work/proc" \
        DORUZEDA_PARPORT_DEV="${device_dir:-$work/dev}" wine host.exe "$1.macro") \
        >"$work/$1.out" 2>"$work/$1.err"
    code=$?
    tr -d '\r' <"$work/$1.out" >"$work/$1.tmp" && mv "$work/$1.tmp" "$work/$1.out"
}

# expect_file FILE TEXT: FILE holds exactly TEXT.
expect_file() {
    if [ "$(cat "$1")" != "$2" ]; then
        fail "$1 holds:"; sed 's/^/    /' "$1"; echo "  wanted:"; echo "$2" | sed 's/^/    /'
    fi
}
expect_line() {  # FILE TEXT: some line of FILE contains TEXT
    grep -qF -- "$2" "$1" || { fail "no line '$2' in $1:"; sed 's/^/    /' "$1"; }
}

wineserver -k 2>/dev/null

echo "== one port: pins set, read, and through the buffers"
ports 888
start_fake
echo 68 >"$work/dev/parport0.status"   # pins 10, 11, 12 and 15 high, 13 low
run pins <<'MACRO'
setParallelPort 1
expect 0
setParallelOutputPin 2 1
setParallelOutputPin 9 1
setParallelOutputPin 2 0
setParallelOutputPin 1 1
setParallelOutputPin 16 0
expect 0
getParallelInputPin 10
expect 1
getParallelInputPin 11
expect 1
getParallelInputPin 13
expect 0
getParallelInputPin 9
expect 1
prepareParallelOutputBuffer
prepareParallelOutputPin 3 1
prepareParallelOutputPin 14 0
setParallelOutputAll
expect 0
getParallelInputAll
fetchParallelInputPin 12
expect 1
fetchParallelInputPin 13
expect 0
fetchParallelInputPin 3
expect 1
MACRO
[ $code -eq 0 ] || { fail "host exit code $code"; cat "$work/pins.out"; }
expect_line "$work/pins.out" "LPT1 (378-37F)"
expect_file "$work/dev/parport0.log" "claim
data 01
data 81
data 80
control 0C
control 08
data 82
control 0A
release"
expect_file "$work/pins.err" ""
stop_fake

echo "== two ports: LPT2 is parport1"
ports 888 632
start_fake --ports 2
run two <<'MACRO'
setParallelPort 2
expect 0
setParallelOutputPin 5 1
expect 0
MACRO
[ $code -eq 0 ] || { fail "host exit code $code"; cat "$work/two.out"; }
expect_line "$work/two.out" "LPT1 (378-37F)"
expect_line "$work/two.out" "LPT2 (278-27F)"
expect_file "$work/dev/parport1.log" "claim
data 08
release"
expect_file "$work/dev/parport0.log" ""
stop_fake

# A port that cannot be used: one message, reads of FF (pin 10 high, pin 11
# low: its line is inverted), writes dropped, and the macro runs to its end;
# the port check says nothing answers.
unusable_macro='setParallelPort 1
checkParallelPort
expect -3
setParallelOutputPin 2 1
expect 0
getParallelInputPin 10
expect 1
getParallelInputPin 11
expect 0
setParallelOutputPin 3 1
expect 0'

echo "== unloaded and loaded again, three times in one process"
ports 888
start_fake
run reload <<'MACRO'
setParallelPort 1
expect 0
setParallelOutputPin 2 1
expect 0
reload
setParallelPort 1
expect 0
setParallelOutputPin 3 1
expect 0
reload
setParallelPort 1
expect 0
setParallelOutputPin 4 1
expect 0
MACRO
[ $code -eq 0 ] || { fail "host exit code $code"; cat "$work/reload.out" "$work/reload.err"; }
[ "$(grep -c '^host: loaded Doruzeda_DO.dll' "$work/reload.out")" -eq 3 ] ||
    fail "Doruzeda_DO.dll was not loaded three times: $(cat "$work/reload.out")"
expect_file "$work/dev/parport0.log" "claim
data 01
data 03
data 07
release"
expect_file "$work/reload.err" ""
stop_fake

# The port held by another program (its devices/active names the holder): a
# thread's first access waits for the claim, and the library is unloaded
# 200 ms into that wait, loaded again and unloaded again. The unload waits
# for the access to leave (nothing runs on in an unloaded library), and the
# second load starts with no call inside, so its unload is quick.
echo "== unloaded while a first access waits for a held port"
ports 888
mkdir -p "$work/proc/parport0/devices"
echo lp >"$work/proc/parport0/devices/active"
start_fake
(cd "$work/app" && DORUZEDA_PARPORT_PROC="$work/proc" DORUZEDA_PARPORT_DEV="$work/dev" \
    wine unload_during_access.exe) >"$work/held.out" 2>"$work/held.err"
code=$?
tr -d '\r' <"$work/held.out" >"$work/held.tmp" && mv "$work/held.tmp" "$work/held.out"
[ $code -eq 0 ] || { fail "exit code $code"; cat "$work/held.out" "$work/held.err"; }
expect_line "$work/held.out" "access: 255"
first=$(sed -n 's/^first unload: \([0-9]*\) ms$/\1/p' "$work/held.out")
second=$(sed -n 's/^second unload: \([0-9]*\) ms$/\1/p' "$work/held.out")
# The first waits for the claim wait's end (2 s from the access).
[ -n "$first" ] && [ "$first" -ge 1500 ] && [ "$first" -le 3000 ] ||
    fail "the first unload took ${first:-?} ms, not the rest of the claim wait (about 1800 ms)"
# Nothing is inside: a few milliseconds, a few tens on a busy machine. A count
# of calls inside that an old thread spoiled would make it wait its whole
# bound (seconds).
[ -n "$second" ] && [ "$second" -le 300 ] ||
    fail "the second unload took ${second:-?} ms, not a few tens"
expect_file "$work/held.err" "ppdev: cannot claim $work/dev/parport0 (LPT1 at 378) within 2 s: \
held by another program. Its reads give FF and writes are dropped until that program releases it."
expect_file "$work/dev/parport0.log" ""
stop_fake

# A pulse over a port another program holds: its first access (the control
# register's read) waits the claim wait and reads FF, and INPOUT32.dll's
# LastPortAccessReached tells the library so: nothing is written, -8, and the
# line names the access.
echo "== a pulse over a held port writes nothing"
ports 888
mkdir -p "$work/proc/parport0/devices"
echo lp >"$work/proc/parport0/devices/active"
start_fake
rm -f "$work/app/RurSetupDebug.txt"
run heldpulse <<'MACRO'
setParallelPort 1
expect 0
pulseParallelOutputPin 2 1 5000
expect -8
MACRO
[ $code -eq 0 ] || { fail "host exit code $code"; cat "$work/heldpulse.out"; }
expect_line "$work/app/RurSetupDebug.txt" "PulseOutputPin(2, 1, 5000) Port=378 not reached: \
the port did not answer the read of the control register"
expect_file "$work/dev/parport0.log" ""
stop_fake

# Three ports, each held by another program: a load that records
# (DORUZEDA_RECORD) and a macro's start and end of a recording touch no port,
# so none waits for a claim (once 2 s a port, one after another).
echo "== recording over three held ports waits on none"
ports 888 632 956
for number in 0 1 2; do
    mkdir -p "$work/proc/parport$number/devices"
    echo lp >"$work/proc/parport$number/devices/active"
done
start_fake --ports 3
started=$(date +%s%N)
export DORUZEDA_RECORD=load.vcd
run heldrecord <<'MACRO'
record h.vcd
expect 0
record
expect 0
MACRO
unset DORUZEDA_RECORD
took=$((($(date +%s%N) - started) / 1000000))
[ $code -eq 0 ] || { fail "host exit code $code"; cat "$work/heldrecord.out"; }
expect_file "$work/heldrecord.err" ""
[ "$took" -lt 4000 ] || fail "the load and the recording took $took ms: they waited for ports"
tail -1 "$work/app/h.vcd" | grep -q '^#[0-9]*$' || fail "h.vcd is not complete"
stop_fake

# Only Doruzeda_DO.dll cycles here (the Linux libraries stay loaded once
# loaded): 50 loads and unloads, each with a pin write that reaches the port,
# and the process's handles by type the same after the last as before the
# second.
echo "== no handle left per load and unload"
ports 888
start_fake
(cd "$work/app" && DORUZEDA_PARPORT_PROC="$work/proc" DORUZEDA_PARPORT_DEV="$work/dev" \
    wine handles_test.exe --gtest_filter=HandlesAcrossCycles.TheLibraryLeavesNone) \
    >"$work/handles.out" 2>&1 || { fail "handles_test:"; tr -d '\r' <"$work/handles.out"; }
[ "$(grep -c '^data 01$' "$work/dev/parport0.log")" -eq 50 ] ||
    fail "the pin writes did not reach the device: $(cat "$work/dev/parport0.log")"
stop_fake

echo "== no permission"
ports 888
start_fake --deny 0
echo "$unusable_macro" | run denied
[ $code -eq 0 ] || { fail "host exit code $code"; cat "$work/denied.out"; }
expect_line "$work/denied.out" "CheckPort() Port=378 does not answer: wrote 55 read FF, wrote AA read FF"
expect_file "$work/denied.err" "ppdev: cannot open $work/dev/parport0 (LPT1 at 378): \
Permission denied; likely cause: the user is not in group lp (usermod -aG lp USER, then \
log in again). Its reads give FF and writes are dropped; tried again at most once a second."
expect_file "$work/dev/parport0.log" ""
stop_fake

echo "== no device node"
echo "$unusable_macro" | device_dir="$work/nodev" run missing
[ $code -eq 0 ] || { fail "host exit code $code"; cat "$work/missing.out"; }
expect_file "$work/missing.err" "ppdev: cannot open $work/nodev/parport0 (LPT1 at 378): \
No such file or directory; likely cause: the ppdev module is not loaded (modprobe ppdev). \
Its reads give FF and writes are dropped; tried again at most once a second."

echo "== recording (fnOrvane_recordParallelPins): the example's bytes, as sigrok decodes them"
ports 888
start_fake
run strobe <"$here/../../examples/strobe-record.macro"
[ $code -eq 0 ] || { fail "host exit code $code"; cat "$work/strobe.out"; }
decoded=$( (sigrok-cli -I vcd -i "$work/app/strobe.vcd" -P parallel:clk=lpt378_pin01_strobe:\
d0=lpt378_pin02_d0:d1=lpt378_pin03_d1:d2=lpt378_pin04_d2:d3=lpt378_pin05_d3:\
d4=lpt378_pin06_d4:d5=lpt378_pin07_d5:d6=lpt378_pin08_d6:d7=lpt378_pin09_d7:\
clock_edge=falling; true) 2>/dev/null)
[ "$decoded" = "parallel-1: a5
parallel-1: 5a" ] || fail "sigrok decoded: $decoded"
stop_fake

wineserver -k 2>/dev/null
[ $failures -eq 0 ] && echo "all passed"
exit $failures
