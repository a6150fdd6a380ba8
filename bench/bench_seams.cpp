// The seams bound for the benchmarks: a port that is an array (as fast as a
// port can be, so the controller's own cost shows), debugger output that goes
// nowhere, and the real local time. The log file is appended for real.
#include <sys/time.h>

#include <cstdint>
#include <ctime>

#include "log/log_sink.h"
#include "port/device_list.h"
#include "port/port_io.h"

namespace {
std::uint16_t registers[65536];
}

namespace port_io {

std::uint16_t PortRead(std::uint16_t address)
{
    return registers[address];
}

void PortWrite(std::uint16_t address, std::uint16_t value)
{
    registers[address] = value;
}

}  // namespace port_io

namespace device_list {

int GetDeviceCount(const char*, std::uint32_t* count)
{
    *count = 0;
    return 1;
}
int OpenDevice(const char*, std::uint32_t, DeviceRecord*) { return 0; }
int GetDeviceProperty(DeviceRecord*, const char*, char*, std::uint32_t*) { return 0; }
int GetDeviceIoResources(DeviceRecord*, ResourceRecord*) { return 0; }
void FreeDeviceIoResources(ResourceRecord*) {}
void CloseDevice(DeviceRecord*) {}
std::uint32_t LastError() { return 0; }

}  // namespace device_list

namespace log_sink {

void WriteDebuggerOutput(const char*) {}

LocalTime ReadLocalTime()
{
    timeval now{};
    gettimeofday(&now, nullptr);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                     local.tm_min,         local.tm_sec,     static_cast<int>(now.tv_usec / 1000)};
}

}  // namespace log_sink
