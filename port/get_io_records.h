// The records of get_io.dll, the device-enumeration library: each is 32 bytes
// of the caller's storage that the library fills. A device record (ordinal 7)
// belongs to the library, which keeps in it what it needs; a resource record
// (ordinal 9) has two fields its callers read, laid out here. The library's
// stand-ins and every reader of the records take the layout from this file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace get_io_records {

// The size of either record.
constexpr std::size_t kRecordSize = 32;

// One I/O range: its first and last I/O port.
struct IoRange {
    std::uint16_t firstPort;
    std::uint16_t lastPort;
};
static_assert(sizeof(IoRange) == 4, "an I/O range is two 16-bit ports");

// A resource record: the count of I/O ranges at byte 0, the pointer to the
// first of them (the others follow it) at byte 16. The rest is the library's.
struct ResourceRecordLayout {
    std::uint32_t rangeCount;
    std::uint32_t reserved[3];
    const IoRange* firstRange;
    unsigned char unused[kRecordSize - 16 - sizeof(const IoRange*)];
};
static_assert(sizeof(ResourceRecordLayout) == kRecordSize, "a resource record is 32 bytes");
static_assert(offsetof(ResourceRecordLayout, rangeCount) == 0, "the range count is at byte 0");
static_assert(offsetof(ResourceRecordLayout, firstRange) == 16, "the first range is at byte 16");

}  // namespace get_io_records
