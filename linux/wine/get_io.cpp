// get_io.dll for Wine on Linux: the device-enumeration library's ordinals 5,
// 7, 14, 9, 10 and 11 (cdecl), listing the machine's parallel ports as
// devices of class "port": parportN is "LPT(N+1)", with the I/O range base to
// base + 7, and the extended registers' range when the kernel gives a second
// base. Other classes have no devices. A Winelib library (see inpout32.cpp).
//
// The ports are read again at each count (DORUZEDA_PARPORT_PROC points the
// listing elsewhere); an open device carries what it needs in the caller's
// record, so later calls never depend on the list. A port without an I/O
// address (a USB adapter) is left out, with one message for it per process.
#include "../ppdev_port.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "../../port/get_io_records.h"
#include "keep_loaded.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr DWORD kMagic = 0x7070646Bu;  // marks a record that GetIoOpenDevice filled

using get_io_records::IoRange;
using get_io_records::ResourceRecordLayout;

struct DeviceRecordLayout {  // in the caller's storage
    DWORD magic;
    DWORD number;
    unsigned short baseAddress;
    unsigned short secondBase;
};
static_assert(sizeof(DeviceRecordLayout) <= get_io_records::kRecordSize, "fits a device record");

std::mutex guard;
std::vector<ppdev::ParallelPort> listed;
bool everListed = false;
std::set<std::string> reportedUnlisted;

void ListPorts()
{
    listed = ppdev::FindPorts(ppdev::Locations::FromEnvironment().procDirectory, &reportedUnlisted);
    everListed = true;
}

bool IsPortClass(const char* className)
{
    return className != nullptr && std::strcmp(className, "port") == 0;
}

const DeviceRecordLayout* OpenRecord(const void* device)
{
    const auto* record = static_cast<const DeviceRecordLayout*>(device);
    return record != nullptr && record->magic == kMagic ? record : nullptr;
}

}  // namespace

// Ordinal 5. Counts the devices of `className` (the parallel ports for
// "port", none for any other). 1 on success; 0 when `count` is null.
extern "C" int __cdecl GetIoDeviceCount(const char* className, DWORD* count)
{
    if (count == nullptr) return 0;
    const std::lock_guard<std::mutex> lock(guard);
    ListPorts();
    *count = IsPortClass(className) ? static_cast<DWORD>(listed.size()) : 0;
    return 1;
}

// Ordinal 7. Opens device `index` of the last count into the caller's record.
// 1 on success; 0 for another class, an index beyond the list or no record.
extern "C" int __cdecl GetIoOpenDevice(const char* className, DWORD index, void* device)
{
    if (device == nullptr || !IsPortClass(className)) return 0;
    const std::lock_guard<std::mutex> lock(guard);
    if (!everListed) ListPorts();
    if (index >= listed.size()) return 0;
    std::memset(device, 0, get_io_records::kRecordSize);
    auto* record = static_cast<DeviceRecordLayout*>(device);
    record->magic = kMagic;
    record->number = listed[index].number;
    record->baseAddress = listed[index].baseAddress;
    record->secondBase = listed[index].secondBase;
    return 1;
}

// Ordinal 14. Copies property "PORTNAME" ("LPTn") with its terminator into
// `buffer` as far as *length bytes reach, and sets *length to the size the
// whole value needs. 0 for another property or a device not open.
extern "C" int __cdecl GetIoDeviceProperty(void* device, const char* name, char* buffer,
                                           DWORD* length)
{
    const DeviceRecordLayout* record = OpenRecord(device);
    if (record == nullptr || name == nullptr || std::strcmp(name, "PORTNAME") != 0 ||
        buffer == nullptr || length == nullptr) {
        return 0;
    }
    char value[16];
    std::snprintf(value, sizeof value, "LPT%lu", static_cast<unsigned long>(record->number + 1));
    const DWORD wanted = static_cast<DWORD>(std::strlen(value)) + 1;
    std::memcpy(buffer, value, wanted < *length ? wanted : *length);
    *length = wanted;
    return 1;
}

// Ordinal 9. Fills `resources` with the device's I/O ranges: base to base + 7,
// then the second base's eight when there is one. Release with ordinal 10.
extern "C" int __cdecl GetIoDeviceResources(void* device, void* resources)
{
    const DeviceRecordLayout* record = OpenRecord(device);
    if (record == nullptr || resources == nullptr) return 0;
    auto* layout = static_cast<ResourceRecordLayout*>(resources);
    std::memset(layout, 0, sizeof *layout);
    const DWORD count = record->secondBase != 0 ? 2 : 1;
    auto* ranges = new (std::nothrow) IoRange[count];
    if (ranges == nullptr) return 0;
    ranges[0] = {record->baseAddress, static_cast<unsigned short>(record->baseAddress + 7)};
    if (count == 2) {
        ranges[1] = {record->secondBase, static_cast<unsigned short>(record->secondBase + 7)};
    }
    layout->firstRange = ranges;
    layout->rangeCount = count;
    return 1;
}

// Ordinal 10. Releases what ordinal 9 put into `resources`.
extern "C" int __cdecl GetIoFreeDeviceResources(void* resources)
{
    if (resources == nullptr) return 0;
    auto* layout = static_cast<ResourceRecordLayout*>(resources);
    delete[] layout->firstRange;
    layout->firstRange = nullptr;
    layout->rangeCount = 0;
    return 1;
}

// Ordinal 11. Closes a device that ordinal 7 opened.
extern "C" int __cdecl GetIoCloseDevice(void* device)
{
    if (OpenRecord(device) == nullptr) return 0;
    static_cast<DeviceRecordLayout*>(device)->magic = 0;
    return 1;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    return reason == DLL_PROCESS_ATTACH ? KeepLoaded(instance) : TRUE;
}
