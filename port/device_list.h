// The device list: the six operations of the closed device-enumeration library
// (get_io.dll, ordinals 5, 7, 14, 9, 10, 11, cdecl) that discovery uses, and
// the system's last-error code.
//
// The Win32 build binds these to the imported functions
// (platform/win32/device_list_win32.cpp); native tests bind them to a scripted
// device list.
#pragma once

#include <cstdint>

#include "get_io_records.h"

namespace device_list {

// Caller-provided storage that OpenDevice fills; its contents belong to the
// library. Pass its address to the other device operations.
struct DeviceRecord {
    unsigned char bytes[get_io_records::kRecordSize];
};

// Caller-provided storage that GetDeviceIoResources fills and
// FreeDeviceIoResources releases, laid out as get_io_records.h tells.
struct ResourceRecord {
    unsigned char bytes[get_io_records::kRecordSize];
};

using get_io_records::IoRange;

constexpr std::uint32_t kPropertyBufferSize = 1024;

// Ordinal 5. Counts the devices of class `className`. Non-zero on success; on
// failure (0) the reason is LastError().
int GetDeviceCount(const char* className, std::uint32_t* count);

// Ordinal 7. Opens device `index` (0-based) of `className` into `device`.
// Non-zero on success; a device that failed to open needs no close.
int OpenDevice(const char* className, std::uint32_t index, DeviceRecord* device);

// Ordinal 14. Copies the zero-terminated value of property `name` into
// `buffer`, whose size in bytes `length` gives on entry. Non-zero on success.
// A value that fills the buffer may come back without a terminator.
int GetDeviceProperty(DeviceRecord* device, const char* name, char* buffer, std::uint32_t* length);

// Ordinal 9. Fills `resources` with the device's I/O ranges. Non-zero on
// success; after success the record must be released with
// FreeDeviceIoResources, whatever it holds.
int GetDeviceIoResources(DeviceRecord* device, ResourceRecord* resources);

// Ordinal 10. Releases what GetDeviceIoResources put into `resources`.
void FreeDeviceIoResources(ResourceRecord* resources);

// Ordinal 11. Closes a device that OpenDevice opened.
void CloseDevice(DeviceRecord* device);

// The operating system's last-error code, read right after a failed call.
std::uint32_t LastError();

}  // namespace device_list
