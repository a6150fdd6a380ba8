// Fuzz target: port discovery over device lists described by the input,
// checked against what the list should have produced.
//
// Input layout (front to back; see InputReader):
//   byte  count: 0 the count fails (then a double word: last-error code),
//         1 the list is empty, 2..7 the devices below
//   byte  device descriptions (0..24)   byte  indices past the list (0..2)
//   byte  bit 0: a view that records its calls
//   then per description:
//   byte  flags: 1 open fails, 2 property fails, 4 resources fail,
//         8 null range pointer, 16 the name fills the buffer unterminated
//   byte  copies of this device (1..8)
//   name  byte kind, then 0 "LPTn" (byte n, 0..12), 1 bytes "LPT" bytes (two
//         byte lengths 0..8 with their bytes), 2 raw (word length 0..1024,
//         bytes), 3 one of a fixed list, 4 "LPT" and 1021 copies of a byte,
//         5 "LPT" and up to 8 bytes
//   byte  what fills the buffer behind an unterminated name
//   byte  range count: 0..3 as given, then 4, 1000, 0x80000000, 0xFFFFFFFF
//   then as many ranges as the count says, at most 3: word first, word last.
//
// With FUZZ_TRACE set in the environment the outcome is printed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_seams.h"
#include "input_reader.h"
#include "log/debug_log.h"
#include "port/port_controller.h"
#include "tests/native/controller_probe.h"

using fuzz_seams::Event;
using fuzz_seams::EventKind;
using fuzz_seams::Fail;
using fuzz_seams::ScriptedDevice;

namespace {

constexpr std::size_t kBufferSize = 1024;

std::string ReadDeviceName(InputReader& input)
{
    static const char* const kFixedNames[] = {
        "COM1", "lpt1", "ECP LPT2", "LPT", "LPT123456", "LPT1234567", "", "PRN",
    };
    switch (input.Choice(0, 5)) {
    case 0: return "LPT" + std::to_string(input.Choice(0, 12));
    case 1: {
        const std::string prefix = input.Bytes(static_cast<std::size_t>(input.Choice(0, 8)));
        const std::string suffix = input.Bytes(static_cast<std::size_t>(input.Choice(0, 8)));
        return prefix + "LPT" + suffix;
    }
    case 2: return input.Bytes(input.Word() % (kBufferSize + 1));
    case 3: return kFixedNames[input.Choice(0, 7)];
    case 4: return "LPT" + std::string(kBufferSize - 3, static_cast<char>(input.Byte()));
    default: return "LPT" + input.Bytes(static_cast<std::size_t>(input.Choice(0, 8)));
    }
}

ScriptedDevice ReadDevice(InputReader& input, int& copies)
{
    ScriptedDevice device;
    const std::uint8_t flags = input.Byte();
    device.failOpen = (flags & 1) != 0;
    device.failProperty = (flags & 2) != 0;
    device.failResources = (flags & 4) != 0;
    device.nullRangePointer = (flags & 8) != 0;
    device.terminated = (flags & 16) == 0;
    copies = input.Choice(1, 8);
    device.nameBytes = ReadDeviceName(input);
    if (device.terminated && device.nameBytes.size() >= kBufferSize) {
        // A terminated value needs its terminator inside the buffer.
        device.nameBytes.resize(kBufferSize - 1);
    }
    device.filler = input.Byte();
    static constexpr std::uint32_t kLargeCounts[] = {4, 1000, 0x80000000u, 0xFFFFFFFFu};
    const int countKind = input.Choice(0, 7);
    device.rangeCount =
        countKind < 4 ? static_cast<std::uint32_t>(countKind) : kLargeCounts[countKind - 4];
    const std::uint32_t described = device.rangeCount < 3 ? device.rangeCount : 3;
    for (std::uint32_t range = 0; range < described; ++range) {
        const std::uint16_t first = input.Word();
        const std::uint16_t last = input.Word();
        device.ranges.push_back({first, last});
    }
    return device;
}

// The name as discovery sees it: the buffer's text up to its first zero byte,
// all of it when the value filled the buffer without one.
std::string SeenName(const ScriptedDevice& device)
{
    std::string buffer = device.nameBytes.substr(0, kBufferSize);
    if (!device.terminated) {
        buffer.append(kBufferSize - buffer.size(), static_cast<char>(device.filler));
    }
    const std::size_t end = buffer.find('\0');
    return end == std::string::npos ? buffer : buffer.substr(0, end);
}

bool Qualifies(const std::string& name)
{
    return name.size() < 10 && name.find("LPT") != std::string::npos;
}

struct ExpectedRow {
    std::string name;
    std::string label;
    std::uint16_t baseAddress;
};

// Every debugger message is short enough and followed by its file line;
// returns the messages in order. Discovery touches neither port nor view.
std::vector<std::string> LogMessages()
{
    const std::vector<Event>& events = fuzz_seams::Events();
    std::vector<std::string> messages;
    // Messages come in pairs: the debugger output, then its file line.
    for (std::size_t position = 0; position < events.size(); position += 2) {
        const Event& event = events[position];
        if (event.kind != EventKind::DebuggerOutput) {
            Fail("discovery did %s, which is neither log output nor its file line",
                 fuzz_seams::Describe(event).c_str());
        }
        if (event.text.size() >= kDebugLogBufferSize) {
            Fail("a log message of %zu characters reached the debugger", event.text.size());
        }
        const std::string line = fuzz_seams::ExpectedFileLine(event.text);
        if (position + 1 >= events.size() || events[position + 1].kind != EventKind::FileLine ||
            events[position + 1].text != line || events[position + 1].file != "RurSetupDebug.txt") {
            Fail("log message \"%s\" without its file line: %s",
                 fuzz_seams::Escape(event.text).c_str(), fuzz_seams::Describe(events).c_str());
        }
        messages.push_back(event.text);
    }
    return messages;
}

bool AllZero(const void* bytes, std::size_t size)
{
    const unsigned char* begin = static_cast<const unsigned char*>(bytes);
    for (std::size_t position = 0; position < size; ++position) {
        if (begin[position] != 0) {
            return false;
        }
    }
    return true;
}

void CheckUntouchedRows(const PortController& controller, int firstRow)
{
    for (int row = firstRow; row < PortController::kMaxPorts; ++row) {
        if (!AllZero(&State(controller).portTable[row], sizeof State(controller).portTable[row])) {
            Fail("row %d was written although only %d rows were recorded", row, firstRow);
        }
    }
}

void CheckFallback(const PortController& controller, bool result,
                   const fuzz_seams::ScriptedDeviceList& list)
{
    const std::vector<std::string> messages = LogMessages();
    const std::string expectedMessage =
        list.countFails ? "Failed to get number of devices error=" +
                              std::to_string(static_cast<std::int32_t>(list.lastError))
                        : "No I/O devices found";
    if (messages.size() != 1 || messages[0] != expectedMessage) {
        Fail("fallback logged %s, expected \"%s\"",
             fuzz_seams::Describe(fuzz_seams::Events()).c_str(), expectedMessage.c_str());
    }
    if (result || State(controller).portCount != 0 || State(controller).selectedIndex != 0 ||
        State(controller).portTable[0].baseAddress != PortController::kFallbackAddress) {
        Fail("fallback gave result %d, portCount %d, selectedIndex %d, row 0 address %X", result,
             State(controller).portCount, State(controller).selectedIndex,
             State(controller).portTable[0].baseAddress);
    }
    if (list.openCalls != 0) {
        Fail("fallback opened %d devices", list.openCalls);
    }
    if (!AllZero(State(controller).portTable[0].name, sizeof State(controller).portTable[0].name) ||
        !AllZero(State(controller).portTable[0].label,
                 sizeof State(controller).portTable[0].label)) {
        Fail("fallback wrote row 0's name or label");
    }
    CheckUntouchedRows(controller, 1);
}

void CheckDeviceUse(const fuzz_seams::ScriptedDeviceList& list, std::size_t& qualifyingNames)
{
    if (list.openCalls != static_cast<int>(list.reportedCount)) {
        Fail("%d opens tried for %u listed devices", list.openCalls, list.reportedCount);
    }
    std::vector<std::uint32_t> openable;
    std::size_t resourceGets = 0;
    qualifyingNames = 0;
    for (std::uint32_t index = 0; index < list.devices.size(); ++index) {
        const ScriptedDevice& device = list.devices[index];
        if (device.failOpen) {
            continue;
        }
        openable.push_back(index);
        if (!device.failProperty && Qualifies(SeenName(device))) {
            ++qualifyingNames;
            resourceGets += device.failResources ? 0 : 1;
        }
    }
    if (list.openedIndices != openable) {
        Fail("%zu devices opened, expected %zu", list.openedIndices.size(), openable.size());
    }
    for (std::size_t open = 0; open < list.closesPerOpen.size(); ++open) {
        if (list.closesPerOpen[open] != 1) {
            Fail("opened device %zu (index %u) closed %d times", open, list.openedIndices[open],
                 list.closesPerOpen[open]);
        }
    }
    if (list.propertyCalls != static_cast<int>(openable.size())) {
        Fail("%d property reads for %zu open devices", list.propertyCalls, openable.size());
    }
    for (const std::uint32_t length : list.propertyLengthsOnEntry) {
        if (length != kBufferSize) {
            Fail("property read with length %u on entry, expected %zu", length, kBufferSize);
        }
    }
    if (list.resourceCalls != static_cast<int>(qualifyingNames)) {
        Fail("%d resource gets tried for %zu devices with a port name", list.resourceCalls,
             qualifyingNames);
    }
    if (list.freesPerResourceGet.size() != resourceGets) {
        Fail("%zu resource gets succeeded, expected %zu", list.freesPerResourceGet.size(),
             resourceGets);
    }
    for (std::size_t get = 0; get < list.freesPerResourceGet.size(); ++get) {
        if (list.freesPerResourceGet[get] != 1) {
            Fail("resource record %zu freed %d times", get, list.freesPerResourceGet[get]);
        }
    }
}

void CheckDiscovered(const PortController& controller, bool result,
                     const fuzz_seams::ScriptedDeviceList& list)
{
    std::size_t qualifyingNames = 0;
    CheckDeviceUse(list, qualifyingNames);

    std::vector<ExpectedRow> recordable;
    for (const ScriptedDevice& device : list.devices) {
        const std::string name = SeenName(device);
        if (device.failOpen || device.failProperty || !Qualifies(name) || device.failResources ||
            device.rangeCount == 0 || device.nullRangePointer) {
            continue;
        }
        char label[128];
        std::snprintf(label, sizeof label, "%s (%X-%X)", name.c_str(), device.ranges[0].firstPort,
                      device.ranges[0].lastPort);
        recordable.push_back({name, label, device.ranges[0].firstPort});
    }
    const int expectedCount = static_cast<int>(recordable.size() < 10 ? recordable.size() : 10);
    if (State(controller).portCount != expectedCount || State(controller).selectedIndex != -1 ||
        result != (expectedCount > 0)) {
        Fail("result %d, portCount %d, selectedIndex %d; expected %d, %d, -1", result,
             State(controller).portCount, State(controller).selectedIndex, expectedCount > 0,
             expectedCount);
    }
    const std::vector<std::string> messages = LogMessages();
    for (int row = 0; row < expectedCount; ++row) {
        const PortEntry& entry = State(controller).portTable[row];
        const ExpectedRow& expected = recordable[static_cast<std::size_t>(row)];
        const std::size_t nameLength = strnlen(entry.name, sizeof entry.name);
        const std::size_t labelLength = strnlen(entry.label, sizeof entry.label);
        if (nameLength == sizeof entry.name || labelLength == sizeof entry.label) {
            Fail("row %d's name or label is not terminated", row);
        }
        if (std::string(entry.name, nameLength) != expected.name ||
            std::string(entry.label, labelLength) != expected.label ||
            entry.baseAddress != expected.baseAddress) {
            Fail("row %d is \"%s\" \"%s\" %X, expected \"%s\" \"%s\" %X", row,
                 fuzz_seams::Escape(std::string(entry.name, nameLength)).c_str(),
                 fuzz_seams::Escape(std::string(entry.label, labelLength)).c_str(),
                 entry.baseAddress, fuzz_seams::Escape(expected.name).c_str(),
                 fuzz_seams::Escape(expected.label).c_str(), expected.baseAddress);
        }
        const std::size_t message = static_cast<std::size_t>(row);
        if (message >= messages.size() || messages[message] != expected.label) {
            Fail("log message %d is not row %d's label \"%s\": %s", row, row,
                 fuzz_seams::Escape(expected.label).c_str(),
                 fuzz_seams::Describe(fuzz_seams::Events()).c_str());
        }
    }
    // Qualifying devices beyond the tenth may be logged or ignored; nothing
    // else is logged.
    if (recordable.size() <= 10 && messages.size() != static_cast<std::size_t>(expectedCount)) {
        Fail("%zu log messages for %d recorded rows: %s", messages.size(), expectedCount,
             fuzz_seams::Describe(fuzz_seams::Events()).c_str());
    }
    CheckUntouchedRows(controller, expectedCount);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz_seams::ResetAll();
    InputReader input(data, size);
    fuzz_seams::ScriptedDeviceList& list = fuzz_seams::DeviceList();

    const int countKind = input.Choice(0, 7);
    list.countFails = countKind == 0;
    if (list.countFails) {
        list.lastError = input.DoubleWord();
    }
    const int descriptions = input.Choice(0, 24);
    const int pastTheList = input.Choice(0, 2);
    const bool withView = input.Flag();
    for (int description = 0; description < descriptions; ++description) {
        int copies = 1;
        const ScriptedDevice device = ReadDevice(input, copies);
        for (int copy = 0; copy < copies; ++copy) {
            list.devices.push_back(device);
        }
    }
    if (countKind == 1) {
        list.devices.clear();
    }
    list.reportedCount = countKind == 1 ? 0
                                        : static_cast<std::uint32_t>(list.devices.size()) +
                                              static_cast<std::uint32_t>(pastTheList);

    PortController controller;
    fuzz_seams::RecordingView view;
    if (withView) {
        controller.SetView(&view);
    }
    const bool result = controller.EnumeratePorts();
    if (std::getenv("FUZZ_TRACE") != nullptr) {
        std::fprintf(stderr, "%zu devices, %u listed: result %d, portCount %d, selectedIndex %d\n",
                     list.devices.size(), list.reportedCount, result, State(controller).portCount,
                     State(controller).selectedIndex);
        for (int row = 0; row < PortController::kMaxPorts; ++row) {
            const PortEntry& entry = State(controller).portTable[row];
            std::fprintf(
                stderr, "  row %d \"%s\" \"%s\" %X\n", row,
                fuzz_seams::Escape(std::string(entry.name, strnlen(entry.name, sizeof entry.name)))
                    .c_str(),
                fuzz_seams::Escape(
                    std::string(entry.label, strnlen(entry.label, sizeof entry.label)))
                    .c_str(),
                entry.baseAddress);
        }
        std::fprintf(stderr, "  opens %zu, resource gets %zu, %s\n", list.closesPerOpen.size(),
                     list.freesPerResourceGet.size(),
                     fuzz_seams::Describe(fuzz_seams::Events()).c_str());
    }

    if (!list.misuses.empty()) {
        Fail("device list misused: %s", list.misuses.front().c_str());
    }
    if (list.countCalls != 1 || list.openNow != 0 || list.resourcesHeldNow != 0) {
        Fail("%d count calls, %d devices left open, %d resource records left held", list.countCalls,
             list.openNow, list.resourcesHeldNow);
    }
    if (State(controller).outData != 0 || State(controller).outControl != 0 ||
        State(controller).inData != 0 || State(controller).inStatus != 0) {
        Fail("discovery changed the buffers");
    }
    if (list.countFails || list.reportedCount == 0) {
        CheckFallback(controller, result, list);
    } else {
        CheckDiscovered(controller, result, list);
    }
    return 0;
}
