#include "ppdev_port.h"

#include <linux/parport.h>
#include <linux/ppdev.h>

#include <dirent.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <utility>

#include "ppdev_system.h"

namespace ppdev {
namespace {

constexpr unsigned kStatusOffset = 1;
constexpr unsigned kControlOffset = 2;
constexpr std::uint8_t kDirectionBit = 0x20;
constexpr std::uint8_t kNoRegister = 0xFF;

// Why a device node could not be opened or claimed, and what to do about it.
const char* LikelyCause(int error)
{
    switch (error) {
    case ENOENT: return "the ppdev module is not loaded (modprobe ppdev)";
    case ENXIO:
    case ENODEV:
        return "no port behind the node: load parport_pc and ppdev (modprobe parport_pc ppdev)";
    case EACCES:
    case EPERM: return "the user is not in group lp (usermod -aG lp USER, then log in again)";
    case EBUSY: return "another program or driver holds the port";
    default: return "see the system log";
    }
}

}  // namespace

Locations Locations::FromEnvironment()
{
    Locations locations;
    if (const char* proc = std::getenv("DORUZEDA_PARPORT_PROC"); proc != nullptr && *proc) {
        locations.procDirectory = proc;
    }
    if (const char* dev = std::getenv("DORUZEDA_PARPORT_DEV"); dev != nullptr && *dev) {
        locations.deviceDirectory = dev;
    }
    return locations;
}

std::vector<ParallelPort> FindPorts(const std::string& procDirectory)
{
    std::vector<ParallelPort> found;
    DIR* directory = ::opendir(procDirectory.c_str());
    if (directory == nullptr) return found;
    while (const dirent* entry = ::readdir(directory)) {
        unsigned number = 0;
        char rest = 0;
        if (std::sscanf(entry->d_name, "parport%u%c", &number, &rest) != 1) continue;
        std::ifstream file(procDirectory + "/" + entry->d_name + "/base-addr");
        unsigned long base = 0;
        unsigned long second = 0;
        if (!(file >> base) || base == 0 || base > 0xFFF8) continue;
        if (!(file >> second) || second > 0xFFF8 || second == base) second = 0;
        ParallelPort port;
        port.number = number;
        port.baseAddress = static_cast<std::uint16_t>(base);
        port.secondBase = static_cast<std::uint16_t>(second);
        found.push_back(port);
    }
    ::closedir(directory);
    std::sort(found.begin(), found.end(),
              [](const ParallelPort& a, const ParallelPort& b) { return a.number < b.number; });
    return found;
}

std::string DevicePath(const std::string& deviceDirectory, unsigned number)
{
    return deviceDirectory + "/parport" + std::to_string(number);
}

PortSpace::PortSpace(const std::vector<ParallelPort>& portList, std::string devices)
    : deviceDirectory(std::move(devices)), warnedAddresses(0x10000, false)
{
    for (const ParallelPort& info : portList) {
        Port port;
        port.info = info;
        ports.push_back(port);
    }
}

PortSpace::~PortSpace()
{
    for (Port& port : ports) {
        if (port.state == State::Ready) {
            ppdev_system::Ioctl(port.fd, PPRELEASE, nullptr);
            ppdev_system::Close(port.fd);
        }
    }
}

PortSpace::Port* PortSpace::Find(std::uint16_t address, unsigned* offset)
{
    for (Port& port : ports) {
        const unsigned distance = static_cast<unsigned>(address - port.info.baseAddress);
        if (address >= port.info.baseAddress && distance <= kControlOffset) {
            *offset = distance;
            return &port;
        }
    }
    return nullptr;
}

bool PortSpace::Ready(Port& port)
{
    if (port.state != State::Closed) return port.state == State::Ready;
    port.state = State::Failed;
    const std::string path = DevicePath(deviceDirectory, port.info.number);
    char line[512];
    const int fd = ppdev_system::Open(path.c_str());
    if (fd < 0) {
        std::snprintf(line, sizeof line,
                      "ppdev: cannot open %s (LPT%u at %X): %s; likely cause: %s. "
                      "Its reads give FF and writes are dropped.",
                      path.c_str(), port.info.number + 1, port.info.baseAddress, std::strerror(-fd),
                      LikelyCause(-fd));
        ppdev_system::Diagnostic(line);
        return false;
    }
    const int claimed = ppdev_system::Ioctl(fd, PPCLAIM, nullptr);
    if (claimed != 0) {
        std::snprintf(line, sizeof line,
                      "ppdev: cannot claim %s (LPT%u at %X): %s; likely cause: %s. "
                      "Its reads give FF and writes are dropped.",
                      path.c_str(), port.info.number + 1, port.info.baseAddress,
                      std::strerror(-claimed), LikelyCause(-claimed));
        ppdev_system::Diagnostic(line);
        ppdev_system::Close(fd);
        return false;
    }
    port.fd = fd;
    port.state = State::Ready;
    return true;
}

bool PortSpace::Call(Port& port, unsigned long request, void* argument, const char* what)
{
    const int result = ppdev_system::Ioctl(port.fd, request, argument);
    if (result == 0) return true;
    if (!port.errorReported) {
        port.errorReported = true;
        char line[256];
        std::snprintf(line, sizeof line, "ppdev: %s on %s failed: %s", what,
                      DevicePath(deviceDirectory, port.info.number).c_str(),
                      std::strerror(-result));
        ppdev_system::Diagnostic(line);
    }
    return false;
}

void PortSpace::WarnAddress(std::uint16_t address)
{
    if (warnedAddresses[address]) return;
    warnedAddresses[address] = true;
    char line[160];
    std::snprintf(line, sizeof line,
                  "ppdev: no parallel port register at I/O address %X: reads give FF, "
                  "writes are dropped",
                  address);
    ppdev_system::Diagnostic(line);
}

std::uint8_t PortSpace::Read(std::uint16_t address)
{
    const std::lock_guard<std::mutex> lock(guard);
    unsigned offset = 0;
    Port* port = Find(address, &offset);
    if (port == nullptr) {
        WarnAddress(address);
        return kNoRegister;
    }
    if (!Ready(*port)) return kNoRegister;
    unsigned char value = kNoRegister;
    switch (offset) {
    case 0: return Call(*port, PPRDATA, &value, "PPRDATA") ? value : kNoRegister;
    case kStatusOffset: return Call(*port, PPRSTATUS, &value, "PPRSTATUS") ? value : kNoRegister;
    default:
        if (!Call(*port, PPRCONTROL, &value, "PPRCONTROL")) return kNoRegister;
        return static_cast<std::uint8_t>((value & ~kDirectionBit) |
                                         (port->reverse ? kDirectionBit : 0));
    }
}

void PortSpace::Write(std::uint16_t address, std::uint8_t value)
{
    const std::lock_guard<std::mutex> lock(guard);
    unsigned offset = 0;
    Port* port = Find(address, &offset);
    if (port == nullptr) {
        WarnAddress(address);
        return;
    }
    if (offset == kStatusOffset || !Ready(*port)) return;
    unsigned char byte = value;
    if (offset == 0) {
        Call(*port, PPWDATA, &byte, "PPWDATA");
        return;
    }
    const bool reverse = (value & kDirectionBit) != 0;
    if (reverse != port->reverse) {
        int direction = reverse ? 1 : 0;
        if (Call(*port, PPDATADIR, &direction, "PPDATADIR")) port->reverse = reverse;
    }
    // Without bit 5: the driver would take a set bit as a request to reverse
    // (and log a complaint), never as one to go forward.
    byte = static_cast<unsigned char>(value & ~kDirectionBit);
    Call(*port, PPWCONTROL, &byte, "PPWCONTROL");
}

}  // namespace ppdev
