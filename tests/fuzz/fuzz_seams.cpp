#include "fuzz_seams.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "log/debug_log.h"
#include "port/port_io.h"
#include "port/wait_sleep.h"

namespace fuzz_seams {

void Fail(const char* format, ...)
{
    std::fputs("invariant broken: ", stderr);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputs("\n", stderr);
    std::fflush(stderr);
    std::abort();
}

std::string Escape(const std::string& bytes)
{
    std::string text;
    for (const char character : bytes) {
        const unsigned char code = static_cast<unsigned char>(character);
        if (code >= 0x20 && code < 0x7F && code != '\\') {
            text += character;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", code);
            text += escaped;
        }
    }
    return text;
}

namespace {

// Long texts (log messages near the size limit) shown by their ends and size.
std::string Shortened(const std::string& text)
{
    if (text.size() <= 120) {
        return Escape(text);
    }
    return Escape(text.substr(0, 40)) + "...(" + std::to_string(text.size()) + " characters)..." +
           Escape(text.substr(text.size() - 40));
}

}  // namespace

std::string Describe(const Event& event)
{
    char head[64];
    switch (event.kind) {
    case EventKind::PortRead:
        std::snprintf(head, sizeof head, "R %X=%04X", event.address, event.value);
        return head;
    case EventKind::PortWrite:
        std::snprintf(head, sizeof head, "W %X=%04X", event.address, event.value);
        return head;
    case EventKind::DebuggerOutput: return "debugger \"" + Shortened(event.text) + "\"";
    case EventKind::FileLine: return "file " + event.file + " \"" + Shortened(event.text) + "\"";
    case EventKind::ShowPortList: return "ShowPortList(" + std::to_string(event.index) + ")";
    case EventKind::ShowAddressField: return "ShowAddressField(\"" + Escape(event.text) + "\")";
    }
    return "?";
}

std::string Describe(const std::vector<Event>& events)
{
    std::string text = "[";
    for (std::size_t position = 0; position < events.size(); ++position) {
        text += (position == 0 ? "" : ", ") + Describe(events[position]);
    }
    return text + "]";
}

std::string ExpectedFileLine(const std::string& message)
{
    const log_sink::LocalTime& now = Log().now;
    return std::string(FormatDebugLogStamp(now.month, now.day, now.year, now.hour, now.minute,
                                           now.second, now.milliseconds)
                           .text) +
           " " + message + "\n";
}

std::vector<Event>& Events()
{
    static std::vector<Event> events;
    return events;
}

SimulatedPort& Port()
{
    static SimulatedPort port;
    return port;
}

LogSettings& Log()
{
    static LogSettings settings;
    return settings;
}

ScriptedDeviceList& DeviceList()
{
    static ScriptedDeviceList list;
    return list;
}

void ResetAll()
{
    Events().clear();
    Port().backgroundSeed = 0;
    Port().readHighByte = 0;
    Port().written.clear();
    Log() = LogSettings{};
    DeviceList() = ScriptedDeviceList{};
}

}  // namespace fuzz_seams

namespace port_io {

std::uint16_t PortRead(std::uint16_t address)
{
    fuzz_seams::SimulatedPort& port = fuzz_seams::Port();
    std::uint32_t byte = ((address * 40503u) ^ (port.backgroundSeed * 2654435761u)) >> 11;
    for (auto latch = port.written.rbegin(); latch != port.written.rend(); ++latch) {
        if (latch->address == address) {
            byte = latch->byte;
            break;
        }
    }
    const std::uint16_t value = static_cast<std::uint16_t>(
        (byte & 0xFFu) | (static_cast<unsigned>(port.readHighByte) << 8));
    fuzz_seams::Events().push_back({fuzz_seams::EventKind::PortRead, address, value, 0, {}, {}});
    return value;
}

void PortWrite(std::uint16_t address, std::uint16_t value)
{
    fuzz_seams::Port().written.push_back({address, static_cast<std::uint8_t>(value & 0xFF)});
    fuzz_seams::Events().push_back({fuzz_seams::EventKind::PortWrite, address, value, 0, {}, {}});
}

}  // namespace port_io

namespace log_sink {

void WriteDebuggerOutput(const char* text)
{
    fuzz_seams::Events().push_back({fuzz_seams::EventKind::DebuggerOutput, 0, 0, 0, text, {}});
}

LocalTime ReadLocalTime()
{
    return fuzz_seams::Log().now;
}

// Stands in for the file append so that fuzzing writes no file; the line and
// the file name go to the event list instead.
bool AppendTextLine(const char* fileName, const char* line)
{
    fuzz_seams::Events().push_back({fuzz_seams::EventKind::FileLine, 0, 0, 0, line, fileName});
    return fuzz_seams::Log().appendSucceeds;
}

}  // namespace log_sink

namespace device_list {

namespace {

constexpr std::uint32_t kDeviceMagic = 0xDE71CE00;
constexpr std::uint32_t kResourceMagic = 0x5E5001CE;
// Bytes of a record that the library owns and the caller must not interpret.
constexpr unsigned char kLibraryFiller = 0x5A;
// What the library leaves in the property buffer behind a terminator.
constexpr unsigned char kPastTerminator = 0xA5;

struct DeviceHeader {
    std::uint32_t magic;
    std::uint32_t openSerial;
    std::uint32_t deviceIndex;
};

struct ResourceHeader {
    std::uint32_t magic;
    std::uint32_t getSerial;
};

void Misuse(const std::string& what)
{
    fuzz_seams::DeviceList().misuses.push_back(what);
}

// The open device a record stands for, or null (and a misuse) when the record
// was not filled by OpenDevice or its device is closed already.
const fuzz_seams::ScriptedDevice* OpenDeviceOf(const DeviceRecord* device, const char* caller)
{
    fuzz_seams::ScriptedDeviceList& list = fuzz_seams::DeviceList();
    if (device == nullptr) {
        Misuse(std::string(caller) + " with a null device record");
        return nullptr;
    }
    DeviceHeader header{};
    std::memcpy(&header, device->bytes, sizeof header);
    if (header.magic != kDeviceMagic || header.openSerial >= list.closesPerOpen.size() ||
        header.deviceIndex >= list.devices.size()) {
        Misuse(std::string(caller) + " with a record OpenDevice did not fill");
        return nullptr;
    }
    if (list.closesPerOpen[header.openSerial] != 0) {
        Misuse(std::string(caller) + " on a closed device");
        return nullptr;
    }
    return &list.devices[header.deviceIndex];
}

}  // namespace

int GetDeviceCount(const char* className, std::uint32_t* count)
{
    fuzz_seams::ScriptedDeviceList& list = fuzz_seams::DeviceList();
    ++list.countCalls;
    if (className == nullptr || std::strcmp(className, "port") != 0) {
        Misuse("GetDeviceCount for a class other than \"port\"");
    }
    if (list.countFails) {
        return 0;
    }
    *count = list.reportedCount;
    return 1;
}

int OpenDevice(const char* className, std::uint32_t index, DeviceRecord* device)
{
    fuzz_seams::ScriptedDeviceList& list = fuzz_seams::DeviceList();
    ++list.openCalls;
    if (className == nullptr || std::strcmp(className, "port") != 0) {
        Misuse("OpenDevice for a class other than \"port\"");
    }
    if (list.openNow != 0) {
        Misuse("OpenDevice while another device is still open");
    }
    std::memset(device->bytes, kLibraryFiller, sizeof device->bytes);
    if (index >= list.devices.size() || list.devices[index].failOpen) {
        return 0;
    }
    const DeviceHeader header{kDeviceMagic, static_cast<std::uint32_t>(list.closesPerOpen.size()),
                              index};
    std::memcpy(device->bytes, &header, sizeof header);
    list.closesPerOpen.push_back(0);
    list.openedIndices.push_back(index);
    ++list.openNow;
    return 1;
}

int GetDeviceProperty(DeviceRecord* device, const char* name, char* buffer, std::uint32_t* length)
{
    fuzz_seams::ScriptedDeviceList& list = fuzz_seams::DeviceList();
    ++list.propertyCalls;
    list.propertyLengthsOnEntry.push_back(*length);
    if (name == nullptr || std::strcmp(name, "PORTNAME") != 0) {
        Misuse("GetDeviceProperty for a property other than \"PORTNAME\"");
    }
    const fuzz_seams::ScriptedDevice* found = OpenDeviceOf(device, "GetDeviceProperty");
    if (found == nullptr || found->failProperty || *length == 0) {
        return 0;
    }
    const std::size_t capacity = *length;
    if (found->terminated) {
        const std::size_t nameLength =
            found->nameBytes.size() < capacity ? found->nameBytes.size() : capacity - 1;
        std::memcpy(buffer, found->nameBytes.data(), nameLength);
        buffer[nameLength] = '\0';
        // A library may leave anything behind the terminator.
        std::memset(buffer + nameLength + 1, kPastTerminator, capacity - nameLength - 1);
        *length = static_cast<std::uint32_t>(nameLength + 1);
    } else {
        // The value fills the whole buffer and carries no terminator.
        const std::size_t nameLength =
            found->nameBytes.size() < capacity ? found->nameBytes.size() : capacity;
        std::memcpy(buffer, found->nameBytes.data(), nameLength);
        std::memset(buffer + nameLength, found->filler, capacity - nameLength);
        *length = static_cast<std::uint32_t>(capacity);
    }
    return 1;
}

int GetDeviceIoResources(DeviceRecord* device, ResourceRecord* resources)
{
    fuzz_seams::ScriptedDeviceList& list = fuzz_seams::DeviceList();
    ++list.resourceCalls;
    if (list.resourcesHeldNow != 0) {
        Misuse("GetDeviceIoResources before the previous record was freed");
    }
    const fuzz_seams::ScriptedDevice* found = OpenDeviceOf(device, "GetDeviceIoResources");
    std::memset(resources->bytes, kLibraryFiller, sizeof resources->bytes);
    if (found == nullptr || found->failResources) {
        return 0;
    }
    const ResourceHeader header{kResourceMagic,
                                static_cast<std::uint32_t>(list.freesPerResourceGet.size())};
    std::memcpy(resources->bytes, &found->rangeCount, sizeof found->rangeCount);
    std::memcpy(resources->bytes + 4, &header, sizeof header);
    IoRange* first = nullptr;
    if (!found->nullRangePointer) {
        // Exactly as many ranges as described, so that reading a range the
        // record does not promise is caught. With none, the pointer lies just
        // past a one-range allocation: AddressSanitizer would let the first
        // bytes of a zero-size allocation be read without complaint.
        const std::size_t described = found->ranges.size();
        list.rangeStorage.emplace_back(new IoRange[described == 0 ? 1 : described]);
        first = list.rangeStorage.back().get() + (described == 0 ? 1 : 0);
        for (std::size_t position = 0; position < described; ++position) {
            first[position] = found->ranges[position];
        }
    } else {
        list.rangeStorage.emplace_back();
    }
    std::memcpy(resources->bytes + 16, &first, sizeof first);
    list.freesPerResourceGet.push_back(0);
    ++list.resourcesHeldNow;
    return 1;
}

void FreeDeviceIoResources(ResourceRecord* resources)
{
    fuzz_seams::ScriptedDeviceList& list = fuzz_seams::DeviceList();
    ResourceHeader header{};
    std::memcpy(&header, resources->bytes + 4, sizeof header);
    if (header.magic != kResourceMagic || header.getSerial >= list.freesPerResourceGet.size()) {
        Misuse("FreeDeviceIoResources with a record GetDeviceIoResources did not fill");
        return;
    }
    if (++list.freesPerResourceGet[header.getSerial] == 1) {
        --list.resourcesHeldNow;
        list.rangeStorage[header.getSerial].reset();
    }
}

void CloseDevice(DeviceRecord* device)
{
    fuzz_seams::ScriptedDeviceList& list = fuzz_seams::DeviceList();
    DeviceHeader header{};
    std::memcpy(&header, device->bytes, sizeof header);
    if (header.magic != kDeviceMagic || header.openSerial >= list.closesPerOpen.size()) {
        Misuse("CloseDevice with a record OpenDevice did not fill");
        return;
    }
    if (list.resourcesHeldNow != 0) {
        Misuse("CloseDevice before the device's resources were freed");
    }
    if (++list.closesPerOpen[header.openSerial] == 1) {
        --list.openNow;
    }
}

std::uint32_t LastError()
{
    return fuzz_seams::DeviceList().lastError;
}

}  // namespace device_list

// A fuzzed wait reads once (a timeout of 0) or is refused: it never sleeps.
WaitSleeper::WaitSleeper() : timer(nullptr)
{
}

WaitSleeper::~WaitSleeper() = default;

bool WaitSleeper::Sleep()
{
    fuzz_seams::Fail("a wait slept (sleeper %p): a fuzzed wait reads once", timer);
}

void WaitSleeper::EndAllWaits()
{
}
