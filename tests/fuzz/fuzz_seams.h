// The core's platform seams as the fuzz targets bind them: a simulated port
// whose every access is recorded, a device list driven by the fuzz input that
// checks how discovery uses it, and a log sink that records the debugger
// output and the file lines instead of writing a file.
//
// Every observable effect lands in one ordered list of events, so a target can
// compare what an operation did, in order, with what it should have done.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "log/log_sink.h"
#include "port/device_list.h"
#include "port/port_view.h"

namespace fuzz_seams {

// Reports a broken invariant on standard error and aborts, which libFuzzer
// records as a crash together with the input that caused it.
[[noreturn]] __attribute__((format(printf, 1, 2))) void Fail(const char* format, ...);

// Printable form of arbitrary bytes for failure messages: "\xNN" for anything
// outside printable ASCII.
std::string Escape(const std::string& bytes);

enum class EventKind {
    PortRead,
    PortWrite,
    DebuggerOutput,    // text: what the debugger received
    FileLine,          // text: the line handed to AppendTextLine; file: its name
    ShowPortList,      // index
    ShowAddressField,  // text
};

struct Event {
    EventKind kind;
    std::uint16_t address = 0;
    std::uint16_t value = 0;
    int index = 0;
    std::string text;
    std::string file;

    bool operator==(const Event& other) const
    {
        return kind == other.kind && address == other.address && value == other.value &&
               index == other.index && text == other.text && file == other.file;
    }
    bool operator!=(const Event& other) const { return !(*this == other); }
};

std::string Describe(const Event& event);
std::string Describe(const std::vector<Event>& events);

std::vector<Event>& Events();

// The simulated port. A register that was never written reads a byte derived
// from `backgroundSeed` and its address; a written register reads back the low
// byte last written. Every read carries `readHighByte` in its high byte, which
// no real port data fills, so a caller that keeps the 16-bit value whole can
// be told from one that does not.
struct SimulatedPort {
    std::uint16_t backgroundSeed = 0;
    std::uint8_t readHighByte = 0;
    // Registers written since the last reset, latest value last. An operation
    // touches at most three registers, so a short list beats a 64 KiB table
    // that every input would have to clear.
    struct Latch {
        std::uint16_t address;
        std::uint8_t byte;
    };
    std::vector<Latch> written;
};
SimulatedPort& Port();

// The local time the log reads, and whether appending the file line succeeds.
struct LogSettings {
    log_sink::LocalTime now{2024, 12, 3, 9, 5, 7, 42};
    bool appendSucceeds = true;
};
LogSettings& Log();

// The line the log file gets for `message` at Log().now: the time stamp from
// the log's own formatter (FormatDebugLogStamp), a blank, the message, a line
// feed. The stamp's text is debug_log_test's; the fuzz targets check that
// every message gets its line, stamped with the time the sink gave.
std::string ExpectedFileLine(const std::string& message);

// One device of the "port" class as the device list reports it.
struct ScriptedDevice {
    std::string nameBytes;    // the PORTNAME value; may hold zero bytes
    bool terminated = true;   // false: the value fills the whole buffer, no terminator
    std::uint8_t filler = 0;  // what fills the buffer after an unterminated name
    bool failOpen = false;
    bool failProperty = false;
    bool failResources = false;
    bool nullRangePointer = false;
    std::uint32_t rangeCount = 0;              // as written into the record
    std::vector<device_list::IoRange> ranges;  // what the range pointer points at
};

struct ScriptedDeviceList {
    bool countFails = false;
    std::uint32_t lastError = 0;
    std::uint32_t reportedCount = 0;  // may exceed devices.size(): those fail to open
    std::vector<ScriptedDevice> devices;

    // What discovery did with it.
    int countCalls = 0;
    int openCalls = 0;
    int propertyCalls = 0;
    int resourceCalls = 0;
    std::vector<std::uint32_t> propertyLengthsOnEntry;
    std::vector<int> closesPerOpen;  // per successful open, in order
    std::vector<std::uint32_t> openedIndices;
    std::vector<int> freesPerResourceGet;  // per successful resource get, in order
    std::vector<std::string> misuses;      // broken calling rules, as text
    int openNow = 0;
    int resourcesHeldNow = 0;
    // Range arrays handed out, released at their free so that a read after it
    // is caught by AddressSanitizer.
    std::vector<std::unique_ptr<device_list::IoRange[]>> rangeStorage;
};
ScriptedDeviceList& DeviceList();

// Clears every event, the port, the log settings and the device list.
void ResetAll();

// A view that records its calls as events, in order with everything else.
class RecordingView : public PortView {
public:
    void ShowPortList(int index) override
    {
        Events().push_back({EventKind::ShowPortList, 0, 0, index, {}, {}});
    }
    void ShowAddressField(const char* text) override
    {
        Events().push_back({EventKind::ShowAddressField, 0, 0, 0, text, {}});
    }
};

}  // namespace fuzz_seams
