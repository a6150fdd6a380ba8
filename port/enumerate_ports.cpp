// Port discovery: fills the port table from the system's device list.
#include <cstdio>
#include <cstring>
#include <optional>

#include "../log/debug_log.h"
#include "device_list.h"
#include "port_controller.h"

namespace {

const char kPortClass[] = "port";
const char kPortNameProperty[] = "PORTNAME";

using device_list::DeviceRecord;
using device_list::IoRange;
using device_list::kPropertyBufferSize;

// The property buffer, with one byte beyond what the library may fill: a
// value that fills the whole buffer stays terminated.
using NameBuffer = char[kPropertyBufferSize + 1];

// Reads the device's port name into `name`: true when it names a parallel
// port the table can hold.
bool ReadPortName(DeviceRecord& device, NameBuffer& name)
{
    std::uint32_t length = kPropertyBufferSize;
    const bool named =
        device_list::GetDeviceProperty(&device, kPortNameProperty, name, &length) != 0;
    name[kPropertyBufferSize] = '\0';
    return named && std::strlen(name) < PortEntry::kMaxNameLength &&
           std::strstr(name, "LPT") != nullptr;
}

// The device's first I/O range; none when its resources cannot be read or
// hold no range.
std::optional<IoRange> FirstRange(DeviceRecord& device)
{
    device_list::ResourceRecord resources{};
    if (device_list::GetDeviceIoResources(&device, &resources) == 0) {
        return std::nullopt;
    }
    get_io_records::ResourceRecordLayout layout{};
    static_assert(sizeof layout == sizeof resources.bytes, "the layout is the whole record");
    std::memcpy(&layout, resources.bytes, sizeof layout);
    std::optional<IoRange> first;
    if (layout.rangeCount != 0 && layout.firstRange != nullptr) {
        first = *layout.firstRange;
    }
    device_list::FreeDeviceIoResources(&resources);
    return first;
}

}  // namespace

bool PortController::AddPortRow(const char* name, std::uint16_t firstPort, std::uint16_t lastPort)
{
    if (portCount >= kMaxPorts) {
        DebugLog("Port table full, %s ignored", name);
        return false;
    }
    PortEntry& entry = portTable[portCount];
    std::snprintf(entry.name, sizeof entry.name, "%s", name);
    std::snprintf(entry.label, sizeof entry.label, "%s (%X-%X)", name, firstPort, lastPort);
    entry.baseAddress = firstPort;
    ++portCount;
    DebugLog("%s", entry.label);
    return true;
}

bool PortController::EnumeratePorts()
{
    using namespace device_list;
    const GuardLock lock(guard);

    std::uint32_t count = 0;
    if (GetDeviceCount(kPortClass, &count) == 0) {
        DebugLog("Failed to get number of devices error=%d", static_cast<int>(LastError()));
        count = 0;
    } else if (count == 0) {
        DebugLog("No I/O devices found");
    }
    if (count == 0) {
        portCount = 0;
        selectedIndex = 0;
        portTable[0].baseAddress = kFallbackAddress;
        return false;
    }

    portCount = 0;
    bool found = false;
    for (std::uint32_t index = 0; index < count; ++index) {
        DeviceRecord device{};
        if (OpenDevice(kPortClass, index, &device) == 0) {
            continue;
        }
        NameBuffer name = {};
        if (ReadPortName(device, name)) {
            if (const std::optional<IoRange> range = FirstRange(device)) {
                found = AddPortRow(name, range->firstPort, range->lastPort) || found;
            }
        }
        CloseDevice(&device);
    }
    return found;
}
