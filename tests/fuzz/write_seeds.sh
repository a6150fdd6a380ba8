#!/usr/bin/env bash
# Writes the hand-made seed inputs into corpus/<target>/ and the kept
# regression inputs into regressions/<target>/. The layouts are described at
# the top of controller_fuzz.cpp (each controller input begins with the high
# byte of port reads, AB here), discovery_fuzz.cpp and input_reader.h; an
# integer is a selector byte and a value (00 05 is 2: -3 + 5; 01 01 is
# INT32_MAX), a device is flags, name length, name, first and last port.
set -e
here=$(cd "$(dirname "$0")" && pwd)
controller="$here/corpus/controller_fuzz"
discovery="$here/corpus/discovery_fuzz"
mkdir -p "$controller" "$discovery" "$here/regressions/controller_fuzz" \
    "$here/regressions/discovery_fuzz"

seed() {
    printf "$2" >"$1"
}

lpt1_378='\x00\x04LPT1\x78\x03\x7F\x03'
# Every operation once, in a line: SelectPortByNumber(1), SetPinOutput(2, 1),
# GetPinInput(10), PrepareOutputBuffer, PrepareOutputPin(17, 1),
# SetOutputAll, GetInputAll, FetchInputPin(11), SetDataDirection(1),
# SetDataByte(INT32_MAX), GetDataByte, WaitInputPin(10, 1, 0), new lines.
every_operation='\x00\x00\x04\x02\x00\x05\x00\x04\x03\x00\x0D\x04\x05\x00\x14\x00\x04\x06\x07\x08\x00\x0E\x09\x00\x04\x0A\x01\x01\x0B\x0C\x00\x0D\x00\x04\x00\x00\x0D\x55\x78\x07'

seed "$controller/lpt1_every_operation" "\xAB\x01${lpt1_378}${every_operation}"

# Pulses on LPT1 at 378 (a byte pulse's level unused): PulseOutputPin(2, 1,
# 5), PulseDataByte(20, 5),
# CheckPort with the driver open, then a port that takes one more access
# (the byte pulse's control read) and drops the rest: PulseDataByte(20, 5)
# gives NOT_REACHED; PulseOutputPin(2, 1, INT32_MAX) is refused.
seed "$controller/lpt1_pulses" "\xAB\x01${lpt1_378}\x00\x00\x04\x0E\x00\x05\x00\x04\x00\x08\
\x0F\x00\x17\x00\x00\x00\x08\x10\x00\x11\x02\x0F\x00\x17\x00\x00\x00\x08\x0E\x00\x05\x00\x04\x01\x01"

# Only COM1 listed (no parallel port): every operation is refused; then the
# address 3, 7, 8, "" and SetPinOutput(16, 1) goes through.
seed "$controller/no_port_then_manual_address" \
"\xAB\x01\x00\x04COM1\xF8\x03\xFF\x03${every_operation}\
\x01\x02\x33\x02\x37\x02\x38\x01\x00\x02\x00\x13\x00\x04"

# The address strings: an unterminated "F" three times and "E" (FFFE, which
# no port may have); a null first string followed by three pointers that
# must not be read; "0", "x", "1", "2".
seed "$controller/manual_address_strings" \
"\xAB\x00\x01\x03F\x03F\x03F\x02E${every_operation}\
\x01\x00\x00\x04\x00\x04\x00\x04\x00\x01\x02\x30\x02x\x02\x31\x02\x32"

# A regression: LPT1 listed at FFFE, whose control register would wrap round
# to 0000; every operation must refuse it.
seed "$here/regressions/controller_fuzz/unusable-base-fffe" \
"\xAB\x01\x00\x04LPT1\xFE\xFF\xFF\xFF${every_operation}"

# A regression of the target itself: a data register holding 63 (99) read
# by GetDataByte, a result the target once took for its undocumented mark.
seed "$here/regressions/controller_fuzz/data-byte-63" \
"\x00\x01${lpt1_378}\x00\x00\x04\x0D\x63\x00\x0B"

seed "$discovery/one_lpt1" "\x01${lpt1_378}"
seed "$discovery/count_fails" "\x19"
seed "$discovery/empty_list" "\x00"
# COM1; LPT2 whose name fills the buffer unterminated; LPT3 that cannot be
# opened; LPT4 without a range; LPT5 with a range count but no ranges; LPT6
# at 0 and LPT7 at FFFF.
seed "$discovery/mixed_devices" \
"\x07\x00\x04COM1\xF8\x03\xFF\x03\x10\x04LPT2\x78\x02\x7F\x02\x01\x04LPT3\xBC\x03\xBF\x03\
\x20\x04LPT4\x00\x00\x00\x00\x08\x04LPT5\x78\x03\x7F\x03\x00\x04LPT6\x00\x00\x07\x00\
\x00\x04LPT7\xFF\xFF\xFF\xFF"
