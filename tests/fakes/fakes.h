// Test doubles for the core's platform seams, the only ones: the native
// tests, the fuzz targets and the benchmarks all use them. A fake port (every
// 16-bit I/O address a byte, with an access trace), a scripted device list
// that counts opens against closes and resource gets against frees, and a log
// sink that records the debugger output at a fixed local time. The log file
// itself is written for real in the current directory.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "log/log_sink.h"
#include "port/device_list.h"
#include "port/port_view.h"
#include "tests/shared/test_helpers.h"

namespace fakes {

struct PortAccess {
    bool isWrite;
    std::uint16_t address;
    std::uint16_t value;
    bool operator==(const PortAccess& other) const
    {
        return isWrite == other.isWrite && address == other.address && value == other.value;
    }
};

// The fake port: PortRead returns registers[address] | readHighByte << 8, so
// tests can prove the high byte is carried through; PortWrite stores value
// whole (16 bits) and the trace keeps both. onAccess, when set, runs after
// each access has been traced, so a test can look at other outputs (the log)
// at the moment of a particular read or write.
//
// A port that stops answering: once `reachingAccesses` is down to 0 every
// access is dropped (a read gives FF, a write changes nothing; both are
// traced) and port_io::LastAccessReached says so; each access that reaches
// the port counts it down. Negative: every access reaches the port.
struct FakePort {
    std::uint16_t registers[65536];
    std::uint16_t readHighByte;
    std::vector<PortAccess> trace;
    std::function<void(const PortAccess&)> onAccess;
    bool keepTrace = true;  // off in benchmarks, so the port costs nothing
    long reachingAccesses = -1;
};
FakePort& Port();
void ResetPort();
// "R 378=0001 W 37A=000B ..." for readable failure messages: four digits,
// because the fake port keeps 16-bit values and a carried high byte must show.
inline std::string Describe(const std::vector<PortAccess>& accesses)
{
    return test_shared::DescribeAccesses(accesses, 4);
}

// One scripted device of the "port" class.
struct FakeDevice {
    std::string name;                          // the PORTNAME value
    std::vector<device_list::IoRange> ranges;  // none: a record with count 0
    bool failOpen = false;
    bool failProperty = false;
    bool failResources = false;
    bool nullRangePointer = false;  // count > 0 but no range pointer
    bool unterminatedName = false;  // name repeated to fill the buffer, no terminator
};

struct FakeDeviceList {
    bool countFails = false;
    std::uint32_t lastError = 0;
    std::vector<FakeDevice> devices;
    // Observations.
    int countCalls = 0;
    int opens = 0;
    int closes = 0;      // closes of devices that OpenDevice opened
    int closeCalls = 0;  // every CloseDevice call, opened or not
    int resourceGets = 0;
    int resourceFrees = 0;
    std::vector<std::uint32_t> propertyLengthsPassed;  // the length on entry, per call
    std::vector<std::string> classesAsked;
    std::vector<std::string> propertiesAsked;
};
FakeDeviceList& Devices();
void ResetDevices();

// Everything the debug log sent to the debugger, and the time it reads.
struct FakeLogSink {
    std::vector<std::string> debuggerOutput;
    log_sink::LocalTime now{2024, 12, 3, 9, 5, 7, 42};
    bool keepOutput = true;  // off in benchmarks
    int appendsToDrop = 0;   // so many appends take nothing: Append::Dropped
};
FakeLogSink& LogSink();
void ResetLogSink();

// The double of a wait's sleep: each Sleep sleeps a millisecond and counts;
// EndAllWaits sets `ended`, which ends the sleep under way (within its
// millisecond) and every later one.
//
// The clock is the steady clock unless `fakeClock` is set: then NowNs gives
// `nowNs` and moves it on by `stepNs` (the counter moves while it is
// watched), and SleepFor sleeps no real time but moves `nowNs` on by the time
// asked plus `lateNs` (a timer that fires late), recording each ask. The
// platform's word on its sleeps: SleepFor is said to be `saidLateNs` late at
// most; an exact sleep up to `longestExactNs` (0: none), which moves the fake
// clock by the time asked, each ask recorded.
struct FakeSleeps {
    std::atomic<int> sleeps{0};
    std::int64_t yieldNs = 0;  // what a yield moves the fake clock
    std::atomic<int> pauses{0};
    std::int64_t pauseNs = 1000;  // what a pause moves the fake clock
    std::atomic<bool> ended{false};
    std::atomic<bool> fakeClock{false};
    std::atomic<std::int64_t> nowNs{0};
    std::int64_t stepNs = 1000;
    std::int64_t lateNs = 0;
    std::vector<std::int64_t> sleepsAsked;  // SleepFor's asks, fake clock only
    std::int64_t saidLateNs = 0;
    std::int64_t longestExactNs = 0;
    std::vector<std::int64_t> exactAsked;
    // Run once, at the next SleepFor on the fake clock (a pulse's hold, the
    // guard not held), then cleared.
    std::function<void()> duringSleep;
};
FakeSleeps& Sleeps();
void ResetSleeps();

// Every fake back to its start: the port, the log, the devices, the sleeps.
void ResetAll();

// A view that logs its calls.
class LoggingView : public PortView {
public:
    void ShowPortList(int index) override
    {
        calls.push_back("ShowPortList(" + std::to_string(index) + ")");
    }
    void ShowAddressField(const char* text) override
    {
        calls.push_back(std::string("ShowAddressField(") + text + ")");
    }
    std::vector<std::string> calls;
};

using test_shared::ScratchDirectory;

}  // namespace fakes
