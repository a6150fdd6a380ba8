#!/bin/sh
# The stand-in built without IsInpOutDriverOpen, beside the host and the
# library: the load takes the driver as open (the variable that would make
# the full stand-in answer 0 is set) and the check and a pin work as before.
#   without-driver-query.sh RUNNER BIN SCRATCH
. "$(dirname "$0")/../checks.sh"
fresh_folder "$3" || exit 1
cp "$2/host.exe" "$2/Doruzeda_DO.dll" "$2/get_io.dll" "$2/kxmacro.dll" \
   "$2/without-driver-query/INPOUT32.dll" . || exit 1
printf '%s\n' checkParallelPort 'expect 0' 'setParallelOutputPin 2 1' 'expect 0' >check.macro
DORUZEDA_INPOUT32_DRIVER=0 "$1" ./host.exe check.macro >check.out 2>&1 || fail "$(cat check.out)"
grep -q 'CheckPort() Port=378 answers' check.out || fail "no answer: $(cat check.out)"
[ "$failures" -eq 0 ]
