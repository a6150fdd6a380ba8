#!/usr/bin/env bash
# Writes the hand-made seed inputs into corpus/<target>/. The layouts are
# described at the top of controller_fuzz.cpp and discovery_fuzz.cpp; small
# numbers go through InputReader::Choice (low + byte % span) and
# BiasedInteger (selector byte 0: -3 + next byte, so 05 is 2; selector 02: an
# extreme, 02 02 is INT32_MAX).
set -e
here=$(cd "$(dirname "$0")" && pwd)
controller="$here/corpus/controller_fuzz"
discovery="$here/corpus/discovery_fuzz"
mkdir -p "$controller" "$discovery"

seed() {
    printf "$2" >"$1"
}

# Controller setup that precedes the operations: port seed 0, high byte of
# reads, time 0, append succeeds, four zero buffers.
tail_ab='\x00\x00\xAB\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
tail_00='\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'

# LPT1 at 378, selected, with a view; every pin operation once:
# SetPinOutput(2, 1), GetPinInput(2), PrepareOutputBuffer,
# PrepareOutputPin(17, 1), SetOutputAll, GetInputAll, FetchInputPin(11),
# FetchInputPin(INT32_MAX), SetPinOutput(5, 7).
seed "$controller/lpt1_every_operation" \
"\x01\x00\x00\x78\x03\x01\x01\x01${tail_ab}\
\x02\x00\x05\x00\x04\x03\x00\x05\x04\x05\x00\x14\x00\x04\x06\x07\x08\x00\x0E\x08\x02\x02\
\x02\x00\x08\x00\x0A"

# No port: every operation that needs one is refused; then the address
# 3, 7, 8, "" selects 378 and SetPinOutput(16, 1) goes through.
seed "$controller/no_port_then_manual_address" \
"\x00\x00\x00\x00${tail_00}\
\x02\x00\x05\x00\x04\x03\x00\x05\x04\x06\x07\x08\x00\x05\x05\x00\x04\x00\x04\
\x01\x02\x01\x33\x02\x01\x37\x02\x01\x38\x01\
\x02\x00\x13\x00\x04"

# Rows LPT2, lpt1 (mixed case), a raw "ECP LPT3" and LPT3 beyond portCount;
# select 1, 3, 0, 11, 2, then the dialog picks row 2.
seed "$controller/select_by_number" \
"\x04\x00\x01\x78\x02\x01\x00\x05\x78\x03\x02\x08ECP LPT3\xBC\x03\x00\x02\x00\x02\
\x03\x00\x01${tail_00}\
\x00\x00\x04\x00\x00\x06\x00\x00\x03\x00\x00\x0E\x00\x00\x05\x0A\x03"

# Address strings: " ", an unterminated "1", "2" and a null give " 12"; a
# null first string followed by three pointers that must not be read; "0x12"; an unterminated "FF" followed by an empty string
# and two buffers of no bytes that must not be read; z, 1, 2, 3.
seed "$controller/manual_address_strings" \
"\x00\x00\x00\x01${tail_00}\
\x01\x02\x01 \x03\x00\x31\x02\x01\x32\x00\
\x01\x00\x04\x04\x04\
\x01\x02\x01\x30\x02\x01x\x02\x01\x31\x02\x01\x32\
\x01\x03\x01FF\x01\x04\x04\
\x01\x02\x01z\x02\x01\x31\x02\x01\x32\x02\x01\x33"

# Log messages of 4095 characters (kept) and 4096 (dropped), and an empty one.
seed "$controller/log_message_limits" \
"\x00\x00\x00\x00${tail_00}\
\x0C\x00\x05\x41\x0C\x00\x06\x41\x0C\x02\x00\x00"

# A port at FFFF: its status and control registers wrap to 0000 and 0001.
# SetPinOutput(1, 0), GetPinInput(10), PrepareOutputBuffer,
# PrepareOutputPin(1, -1), SetOutputAll, GetInputAll, FetchInputPin(12),
# new port lines, GetInputAll.
seed "$controller/base_wraps_around" \
"\x01\x00\x00\xFF\xFF\x01\x01\x00${tail_ab}\
\x02\x00\x04\x00\x03\x03\x00\x0D\x04\x05\x00\x04\x00\x02\x06\x07\x08\x00\x0F\x0B\x7F\x34\x12\x07"

# Discovery: one LPT1 at 378-37F.
seed "$discovery/one_lpt1" \
"\x02\x01\x00\x00\x00\x00\x00\x01\x00\x01\x78\x03\x7F\x03"

# The count fails with error 5; the list is empty.
seed "$discovery/count_fails" "\x00\x05\x00\x00\x00"
seed "$discovery/empty_list" "\x01"

# COM1, ECP LPT2, lpt1, LPT2 without ranges, LPT1234567 (10 characters),
# LPT123456 (9), a name that fills the buffer unterminated, LPT3 whose open,
# property and resources fail in turn, one index past the list.
seed "$discovery/mixed_devices" \
"\x02\x0A\x01\x01\
\x00\x00\x03\x00\x00\x01\xF8\x03\xFF\x03\
\x00\x00\x03\x02\x00\x01\x78\x02\x7F\x02\
\x00\x00\x03\x01\x00\x01\x78\x03\x7F\x03\
\x00\x00\x00\x02\x00\x00\
\x00\x00\x03\x05\x00\x01\x00\x01\x07\x01\
\x00\x00\x03\x04\x00\x01\xBC\x03\xBE\x03\
\x10\x00\x04\x41\x41\x01\x78\x03\x7F\x03\
\x01\x00\x00\x03\x00\x01\x00\x10\x07\x10\
\x02\x00\x00\x03\x00\x01\x00\x10\x07\x10\
\x04\x00\x00\x03\x00\x01\x00\x10\x07\x10"

# Twelve qualifying ports: eight LPT1 and four LPT2; only ten fit the table.
seed "$discovery/more_than_ten_ports" \
"\x02\x02\x00\x00\
\x00\x07\x00\x01\x00\x01\x78\x03\x7F\x03\
\x00\x03\x00\x02\x00\x01\x78\x02\x7F\x02"

# Range counts 0xFFFFFFFF (three ranges follow), 0x80000000 with a null
# range pointer, and 1000.
seed "$discovery/huge_range_counts" \
"\x02\x03\x00\x00\
\x00\x00\x00\x01\x00\x07\x78\x03\x7F\x03\x00\x04\x07\x04\x00\x05\x07\x05\
\x08\x00\x00\x02\x00\x06\x78\x02\x7F\x02\x00\x01\x01\x01\x00\x02\x02\x02\
\x00\x00\x00\x03\x00\x05\xBC\x03\xBF\x03\x00\x00\x00\x00\x00\x00\x00\x00"
