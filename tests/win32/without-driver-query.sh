#!/bin/sh
# An INPOUT32.dll without IsInpOutDriverOpen (the stand-in built without it)
# beside the host program and the library, in a folder of their own: the
# library loads, takes the driver as open, and the check and a pin work as
# today. The variable that makes the full stand-in answer 0 is set, so a
# library that asked some other way, or a stand-in that kept the export,
# would give -4 here.
#
#   without-driver-query.sh RUNNER BIN SCRATCH
runner="$1"
bin="$2"
scratch="$3"

. "$(dirname "$0")/../checks.sh"

fresh_folder "$scratch" || exit 1
cp "$bin/host.exe" "$bin/Doruzeda_DO.dll" "$bin/get_io.dll" "$bin/kxmacro.dll" \
   "$bin/without-driver-query/INPOUT32.dll" . || exit 1
printf '%s\n' 'checkParallelPort' 'expect 0' 'setParallelOutputPin 2 1' 'expect 0' \
    'getParallelDataByte' 'expect 1' >check.macro
DORUZEDA_INPOUT32_DRIVER=0 "$runner" ./host.exe check.macro >check.raw 2>&1
code=$?
tr -d '\r' <check.raw >check.out
[ $code -eq 0 ] || fail "host exit code $code: $(cat check.out)"
grep -q ' CheckPort() Port=378 answers: 55 and AA read back$' check.out ||
    fail "no answer from the port: $(cat check.out)"
! grep -q 'driver is not open' check.out || fail "the driver taken as closed: $(cat check.out)"

[ "$failures" -eq 0 ] && echo "a library without IsInpOutDriverOpen loads and works"
[ "$failures" -eq 0 ]
