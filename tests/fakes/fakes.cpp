#include "fakes.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>

#include "port/port_io.h"
#include "port/wait_sleep.h"

namespace fakes {

namespace {
FakePort& PortStorage()
{
    static std::unique_ptr<FakePort> port(new FakePort());
    return *port;
}
}  // namespace

FakePort& Port()
{
    return PortStorage();
}

void ResetPort()
{
    FakePort& port = Port();
    std::memset(port.registers, 0, sizeof port.registers);
    port.readHighByte = 0;
    port.trace.clear();
    port.onAccess = nullptr;
    port.keepTrace = true;
    port.reachingAccesses = -1;
}

FakeDeviceList& Devices()
{
    static FakeDeviceList list;
    return list;
}

void ResetDevices()
{
    Devices() = FakeDeviceList{};
}

FakeLogSink& LogSink()
{
    static FakeLogSink sink;
    return sink;
}

void ResetLogSink()
{
    LogSink() = FakeLogSink{};
}

FakeSleeps& Sleeps()
{
    static FakeSleeps sleeps;
    return sleeps;
}

void ResetSleeps()
{
    FakeSleeps& sleeps = Sleeps();
    sleeps.sleeps = 0;
    sleeps.yieldNs = 0;
    sleeps.pauses = 0;
    sleeps.pauseNs = 1000;
    sleeps.ended = false;
    sleeps.fakeClock = false;
    sleeps.nowNs = 0;
    sleeps.stepNs = 1000;
    sleeps.lateNs = 0;
    sleeps.sleepsAsked.clear();
    sleeps.saidLateNs = 0;
    sleeps.longestExactNs = 0;
    sleeps.exactAsked.clear();
    sleeps.duringSleep = nullptr;
}

void ResetAll()
{
    ResetPort();
    ResetLogSink();
    ResetDevices();
    ResetSleeps();
}

}  // namespace fakes

// The seam bindings of the native tests.

WaitSleeper::WaitSleeper() : timer(&fakes::Sleeps())
{
}

WaitSleeper::~WaitSleeper() = default;

bool WaitSleeper::Sleep()
{
    fakes::FakeSleeps& sleeps = *static_cast<fakes::FakeSleeps*>(timer);
    if (sleeps.ended) return false;
    ++sleeps.sleeps;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return !sleeps.ended;
}

bool WaitSleeper::SleepFor(std::int64_t nanoseconds)
{
    fakes::FakeSleeps& sleeps = *static_cast<fakes::FakeSleeps*>(timer);
    if (sleeps.ended) return false;
    ++sleeps.sleeps;
    if (sleeps.fakeClock) {
        sleeps.sleepsAsked.push_back(nanoseconds);
        sleeps.nowNs += nanoseconds + sleeps.lateNs;
        const std::function<void()> during = std::exchange(sleeps.duringSleep, nullptr);
        if (during) during();
    } else {
        std::this_thread::sleep_for(std::chrono::nanoseconds(nanoseconds));
    }
    return !sleeps.ended;
}

std::int64_t WaitSleeper::LateByNs() const
{
    return static_cast<fakes::FakeSleeps*>(timer)->saidLateNs;
}

std::int64_t WaitSleeper::LongestExactSleepNs()
{
    return fakes::Sleeps().longestExactNs;
}

bool WaitSleeper::SleepExactly(std::int64_t nanoseconds)
{
    fakes::FakeSleeps& sleeps = fakes::Sleeps();
    if (sleeps.ended) return false;
    sleeps.exactAsked.push_back(nanoseconds);
    sleeps.nowNs += nanoseconds;
    return true;
}

std::int64_t WaitSleeper::NowNs()
{
    fakes::FakeSleeps& sleeps = fakes::Sleeps();
    if (sleeps.fakeClock) return sleeps.nowNs.fetch_add(sleeps.stepNs);
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool WaitSleeper::WaitsEnded()
{
    return fakes::Sleeps().ended;
}

// With the fake clock a yield moves it by `yieldNs` (0 unless a test sets it):
// no real time passes.
bool WaitSleeper::YieldCore()
{
    fakes::FakeSleeps& sleeps = fakes::Sleeps();
    if (sleeps.fakeClock) sleeps.nowNs += sleeps.yieldNs;
    if (!sleeps.fakeClock) std::this_thread::yield();
    return !sleeps.ended;
}

// With the fake clock a pause moves it by `pauseNs` and sleeps no real time.
void WaitSleeper::Pause()
{
    fakes::FakeSleeps& sleeps = fakes::Sleeps();
    ++sleeps.pauses;
    if (sleeps.fakeClock) {
        sleeps.nowNs += sleeps.pauseNs;
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void WaitSleeper::EndAllWaits()
{
    fakes::Sleeps().ended = true;
}

namespace port_io {

namespace {
thread_local bool lastReached = true;

// Whether this access reaches the fake port, counting it.
bool Reaches(fakes::FakePort& port)
{
    lastReached = port.reachingAccesses != 0;
    if (port.reachingAccesses > 0) --port.reachingAccesses;
    return lastReached;
}
}  // namespace

bool LastAccessReached()
{
    return lastReached;
}

std::uint16_t PortRead(std::uint16_t address)
{
    fakes::FakePort& port = fakes::Port();
    const std::uint16_t value = Reaches(port)
                                    ? static_cast<std::uint16_t>((port.registers[address] & 0xFF) |
                                                                 (port.readHighByte << 8))
                                    : std::uint16_t{0xFF};
    const fakes::PortAccess access{false, address, value};
    if (port.keepTrace) port.trace.push_back(access);
    if (port.onAccess) port.onAccess(access);
    return value;
}

void PortWrite(std::uint16_t address, std::uint16_t value)
{
    fakes::FakePort& port = fakes::Port();
    if (Reaches(port)) port.registers[address] = value;
    const fakes::PortAccess access{true, address, value};
    if (port.keepTrace) port.trace.push_back(access);
    if (port.onAccess) port.onAccess(access);
}

}  // namespace port_io

namespace device_list {

namespace {

struct OpenRecord {
    std::uint32_t magic;
    std::uint32_t index;
};
static_assert(sizeof(OpenRecord) <= get_io_records::kRecordSize, "fits a device record");
constexpr std::uint32_t kOpenMagic = 0x0FE11ED;

const fakes::FakeDevice* DeviceOf(const DeviceRecord* device)
{
    OpenRecord record{};
    std::memcpy(&record, device->bytes, sizeof record);
    if (record.magic != kOpenMagic || record.index >= fakes::Devices().devices.size()) {
        return nullptr;
    }
    return &fakes::Devices().devices[record.index];
}

}  // namespace

std::uint32_t lastErrorValue = 0;

int GetDeviceCount(const char* className, std::uint32_t* count)
{
    fakes::FakeDeviceList& list = fakes::Devices();
    ++list.countCalls;
    list.classesAsked.push_back(className);
    if (list.countFails) {
        lastErrorValue = list.lastError;
        return 0;
    }
    *count = static_cast<std::uint32_t>(list.devices.size());
    return 1;
}

int OpenDevice(const char* className, std::uint32_t index, DeviceRecord* device)
{
    fakes::FakeDeviceList& list = fakes::Devices();
    list.classesAsked.push_back(className);
    if (index >= list.devices.size() || list.devices[index].failOpen) {
        return 0;
    }
    const OpenRecord record{kOpenMagic, index};
    std::memset(device->bytes, 0, sizeof device->bytes);
    std::memcpy(device->bytes, &record, sizeof record);
    ++list.opens;
    return 1;
}

int GetDeviceProperty(DeviceRecord* device, const char* name, char* buffer, std::uint32_t* length)
{
    fakes::FakeDeviceList& list = fakes::Devices();
    list.propertyLengthsPassed.push_back(*length);
    list.propertiesAsked.push_back(name);
    const fakes::FakeDevice* found = DeviceOf(device);
    if (found == nullptr || found->failProperty) {
        return 0;
    }
    if (found->unterminatedName) {
        // The name over and over, to the last byte, with no terminator.
        const std::string pattern = found->name.empty() ? std::string("L") : found->name;
        for (std::uint32_t at = 0; at < *length; ++at) {
            buffer[at] = pattern[at % pattern.size()];
        }
        return 1;
    }
    const std::size_t wanted = found->name.size() + 1;
    std::memcpy(buffer, found->name.c_str(), wanted < *length ? wanted : *length);
    *length = static_cast<std::uint32_t>(wanted);
    return 1;
}

int GetDeviceIoResources(DeviceRecord* device, ResourceRecord* resources)
{
    const fakes::FakeDevice* found = DeviceOf(device);
    if (found == nullptr || found->failResources) {
        return 0;
    }
    get_io_records::ResourceRecordLayout layout{};
    layout.rangeCount = static_cast<std::uint32_t>(found->ranges.size());
    if (!found->ranges.empty() && !found->nullRangePointer) {
        layout.firstRange = found->ranges.data();
    }
    std::memcpy(resources->bytes, &layout, sizeof layout);
    ++fakes::Devices().resourceGets;
    return 1;
}

void FreeDeviceIoResources(ResourceRecord* resources)
{
    std::memset(resources->bytes, 0, sizeof resources->bytes);
    ++fakes::Devices().resourceFrees;
}

void CloseDevice(DeviceRecord* device)
{
    ++fakes::Devices().closeCalls;
    if (DeviceOf(device) != nullptr) {
        ++fakes::Devices().closes;
    }
    std::memset(device->bytes, 0, sizeof device->bytes);
}

std::uint32_t LastError()
{
    return lastErrorValue;
}

}  // namespace device_list

namespace log_sink {

void WriteDebuggerOutput(const char* text)
{
    fakes::FakeLogSink& sink = fakes::LogSink();
    if (sink.keepOutput) sink.debuggerOutput.push_back(text);
}

LocalTime ReadLocalTime()
{
    return fakes::LogSink().now;
}

Append AppendTextLine(const char* fileName, const char* line)
{
    fakes::FakeLogSink& sink = fakes::LogSink();
    if (sink.appendsToDrop > 0) {
        --sink.appendsToDrop;
        return Append::Dropped;
    }
    // The file itself, for real, with C stdio (lines stay "\n" here). The
    // Windows sink's bounded lock and its line start after a cut-off line
    // are its own, and tested with it under Wine.
    std::FILE* file = std::fopen(fileName, "a");
    if (file == nullptr) {
        return Append::Failed;
    }
    const std::size_t length = std::strlen(line);
    const bool written = std::fwrite(line, 1, length, file) == length;
    const bool closed = std::fclose(file) == 0;
    return written && closed ? Append::Written : Append::Failed;
}

}  // namespace log_sink
