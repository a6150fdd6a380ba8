// Stand-in for the closed device-enumeration library get_io.dll on development
// machines: ordinals 5, 7, 14, 9, 10 and 11 (cdecl) over a described device
// list. Only the class "port" and the property "PORTNAME" are known.
//
// The description is a text file named by the environment variable
// DORUZEDA_GET_IO_DEVICES, read once when the library loads. Without the
// variable the list holds one device, LPT1 at 378-37F. One statement a line;
// '#' starts a comment line:
//
//   count-error <code>      GetDeviceCount fails, with <code> as the last error
//   device <name>           a new device; the rest of the line is its name
//                           (spaces kept). "device-fill <char>" instead gives a
//                           name of 1024 such characters, filling the buffer
//                           without a terminator
//   range <first> <last>    an I/O range of the last device (hexadecimal)
//   fail <step>             the last device fails at <step>: open, property
//                           or resources
//
// A description with no device lines lists no device (count 0). A file that
// cannot be read counts as an empty description.
#include <windows.h>

#include "../../port/get_io_records.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr unsigned long kMagic = 0x6F696567;  // marks an open device record
constexpr unsigned long kPropertyMax = 1024;

struct Device {
    std::string name;
    std::vector<get_io_records::IoRange> ranges;
    bool failOpen = false;
    bool failProperty = false;
    bool failResources = false;
};

struct Description {
    bool countFails = false;
    DWORD countError = 0;
    std::vector<Device> devices;
};

Description description;

// What the library's callers leave open: opens minus closes, gets minus frees.
LONG openDevices = 0;
LONG heldResources = 0;

using get_io_records::ResourceRecordLayout;

struct DeviceRecordLayout {  // in the caller's storage
    unsigned long magic;
    unsigned long index;
};
static_assert(sizeof(DeviceRecordLayout) <= get_io_records::kRecordSize, "fits a device record");

std::string Trim(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return std::string();
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

void ParseLine(const std::string& raw)
{
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') return;
    const std::size_t space = line.find_first_of(" \t");
    const std::string keyword = line.substr(0, space);
    const std::string rest = space == std::string::npos ? std::string() : Trim(line.substr(space));
    if (keyword == "count-error") {
        description.countFails = true;
        description.countError = static_cast<DWORD>(std::strtoul(rest.c_str(), nullptr, 10));
    } else if (keyword == "device") {
        description.devices.push_back(Device{});
        description.devices.back().name = rest;
    } else if (keyword == "device-fill") {
        description.devices.push_back(Device{});
        description.devices.back().name.assign(kPropertyMax, rest.empty() ? 'L' : rest[0]);
    } else if (!description.devices.empty()) {
        Device& device = description.devices.back();
        if (keyword == "range") {
            char* end = nullptr;
            const unsigned long first = std::strtoul(rest.c_str(), &end, 16);
            const unsigned long last = std::strtoul(end, nullptr, 16);
            device.ranges.push_back(
                {static_cast<std::uint16_t>(first), static_cast<std::uint16_t>(last)});
        } else if (keyword == "fail") {
            device.failOpen = device.failOpen || rest == "open";
            device.failProperty = device.failProperty || rest == "property";
            device.failResources = device.failResources || rest == "resources";
        }
    }
}

void LoadDescription()
{
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("DORUZEDA_GET_IO_DEVICES", path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        Device lpt1;
        lpt1.name = "LPT1";
        lpt1.ranges = {{0x378, 0x37F}};
        description.devices.push_back(lpt1);
        return;
    }
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) return;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, file) != nullptr) {
        ParseLine(buffer);
    }
    std::fclose(file);
}

const Device* DeviceOf(void* record)
{
    if (record == nullptr) return nullptr;
    const DeviceRecordLayout* layout = static_cast<const DeviceRecordLayout*>(record);
    if (layout->magic != kMagic || layout->index >= description.devices.size()) return nullptr;
    return &description.devices[layout->index];
}

bool IsPortClass(const char* className)
{
    return className != nullptr && std::strcmp(className, "port") == 0;
}

}  // namespace

extern "C" __declspec(dllexport) int __cdecl GetIoDeviceCount(const char* className, DWORD* count)
{
    if (count == nullptr) return 0;
    if (description.countFails) {
        SetLastError(description.countError);
        return 0;
    }
    *count = IsPortClass(className) ? static_cast<DWORD>(description.devices.size()) : 0;
    return 1;
}

extern "C" __declspec(dllexport) int __cdecl GetIoOpenDevice(const char* className, DWORD index,
                                                             void* device)
{
    if (device == nullptr || !IsPortClass(className) || index >= description.devices.size() ||
        description.devices[index].failOpen) {
        return 0;
    }
    ZeroMemory(device, get_io_records::kRecordSize);
    DeviceRecordLayout* layout = static_cast<DeviceRecordLayout*>(device);
    layout->magic = kMagic;
    layout->index = index;
    InterlockedIncrement(&openDevices);
    return 1;
}

extern "C" __declspec(dllexport) int __cdecl GetIoDeviceProperty(void* device, const char* name,
                                                                 char* buffer, DWORD* length)
{
    const Device* found = DeviceOf(device);
    if (found == nullptr || found->failProperty || name == nullptr ||
        std::strcmp(name, "PORTNAME") != 0 || buffer == nullptr || length == nullptr) {
        return 0;
    }
    // Copies the name and its terminator as far as the buffer reaches: a name
    // of the buffer's size or more comes back unterminated, as the system's
    // property calls may leave it.
    const DWORD wanted = static_cast<DWORD>(found->name.size() + 1);
    const DWORD copied = wanted < *length ? wanted : *length;
    std::memcpy(buffer, found->name.c_str(), copied);
    *length = wanted;
    return 1;
}

extern "C" __declspec(dllexport) int __cdecl GetIoDeviceResources(void* device, void* resources)
{
    const Device* found = DeviceOf(device);
    if (found == nullptr || found->failResources || resources == nullptr) return 0;
    ResourceRecordLayout* layout = static_cast<ResourceRecordLayout*>(resources);
    ZeroMemory(layout, sizeof *layout);
    layout->rangeCount = static_cast<std::uint32_t>(found->ranges.size());
    if (!found->ranges.empty()) {
        auto* ranges = new get_io_records::IoRange[found->ranges.size()];
        std::copy(found->ranges.begin(), found->ranges.end(), ranges);
        layout->firstRange = ranges;
    }
    InterlockedIncrement(&heldResources);
    return 1;
}

extern "C" __declspec(dllexport) int __cdecl GetIoFreeDeviceResources(void* resources)
{
    if (resources == nullptr) return 0;
    ResourceRecordLayout* layout = static_cast<ResourceRecordLayout*>(resources);
    delete[] layout->firstRange;
    layout->firstRange = nullptr;
    layout->rangeCount = 0;
    InterlockedDecrement(&heldResources);
    return 1;
}

extern "C" __declspec(dllexport) int __cdecl GetIoCloseDevice(void* device)
{
    if (DeviceOf(device) == nullptr) return 0;
    static_cast<DeviceRecordLayout*>(device)->magic = 0;
    InterlockedDecrement(&openDevices);
    return 1;
}

// For tests: devices left open and resource records left unreleased.
extern "C" __declspec(dllexport) void __cdecl GetIoStandInStats(long* devicesOpen,
                                                                long* resourcesHeld)
{
    if (devicesOpen != nullptr) *devicesOpen = openDevices;
    if (resourcesHeld != nullptr) *resourcesHeld = heldResources;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        LoadDescription();
    }
    return TRUE;
}
