// Port discovery: fills the port table from the system's device list.
#include <cstdio>
#include <cstring>

#include "../log/debug_log.h"
#include "device_list.h"
#include "port_controller.h"

namespace {

const char kPortClass[] = "port";
const char kPortNameProperty[] = "PORTNAME";

// Names of this length or more are not port names the table can hold.
constexpr std::size_t kMaxNameLength = 10;

using device_list::IoRange;
using device_list::ResourceRecord;

// The two fields of a resource record that discovery reads.
std::uint32_t RangeCount(const ResourceRecord& resources)
{
    std::uint32_t count = 0;
    std::memcpy(&count, resources.bytes, sizeof count);
    return count;
}

const IoRange* FirstRange(const ResourceRecord& resources)
{
    const IoRange* first = nullptr;
    static_assert(16 + sizeof first <= sizeof resources.bytes, "pointer field fits the record");
    std::memcpy(&first, resources.bytes + 16, sizeof first);
    return first;
}

}  // namespace

bool PortController::RecordPort(const char* name, std::uint16_t firstPort, std::uint16_t lastPort)
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
        // One byte beyond what the library may fill keeps a value that fills
        // the whole buffer terminated.
        char name[kPropertyBufferSize + 1] = {};
        std::uint32_t length = kPropertyBufferSize;
        const bool named = GetDeviceProperty(&device, kPortNameProperty, name, &length) != 0;
        name[kPropertyBufferSize] = '\0';
        if (named && std::strlen(name) < kMaxNameLength && std::strstr(name, "LPT") != nullptr) {
            ResourceRecord resources{};
            if (GetDeviceIoResources(&device, &resources) != 0) {
                const IoRange* range = FirstRange(resources);
                if (RangeCount(resources) != 0 && range != nullptr) {
                    found = RecordPort(name, range->firstPort, range->lastPort) || found;
                }
                FreeDeviceIoResources(&resources);
            }
        }
        CloseDevice(&device);
    }
    return found;
}
