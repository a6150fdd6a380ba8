// Parallel port registers over Linux's ppdev driver (/dev/parportN).
//
// A program that was written for direct port I/O names registers by I/O
// address. This library finds the machine's parallel ports and their base
// addresses, and maps each register access onto the port's ppdev device:
//
//   base       data      PPRDATA / PPWDATA
//   base + 1   status    PPRSTATUS; writes are ignored, as the hardware ignores them
//   base + 2   control   PPRCONTROL / PPWCONTROL. Bit 5 (data direction) is
//                        kept here and applied with PPDATADIR: the driver
//                        neither shows it on reads nor takes it on writes.
//
// Values pass raw, as the hardware has them (inverted lines stay inverted).
// Any other address reads 0xFF and drops writes, with one warning per address
// on standard error. A port is opened and claimed at its first access and
// released when the PortSpace ends. A port that cannot be opened or claimed
// gives one message naming the device and the likely cause; its registers
// then read 0xFF and drop writes.
//
// Only ppdev_system.h's calls reach the system; FindPorts reads files.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace ppdev {

// One parallel port as the kernel lists it: parportN is LPT(N+1).
struct ParallelPort {
    unsigned number = 0;            // N of parportN
    std::uint16_t baseAddress = 0;  // the data register's I/O address
    std::uint16_t secondBase = 0;   // the extended (ECP) registers' base; 0 when none
};

// Where the kernel shows its ports. Both can be pointed elsewhere (at a fake
// device, for instance) through the environment:
//   DORUZEDA_PARPORT_PROC   the folder of parportN/base-addr entries
//                           (default /proc/sys/dev/parport)
//   DORUZEDA_PARPORT_DEV    the folder of the parportN device nodes (default /dev)
struct Locations {
    std::string procDirectory = "/proc/sys/dev/parport";
    std::string deviceDirectory = "/dev";

    static Locations FromEnvironment();
};

// The ports listed in `procDirectory` (each parportN/base-addr holds the base
// and the second base in decimal), ordered by N. Empty when the folder is
// missing (no parport driver loaded) or lists none.
std::vector<ParallelPort> FindPorts(const std::string& procDirectory);

// The device node of port `number`: deviceDirectory/parportN.
std::string DevicePath(const std::string& deviceDirectory, unsigned number);

// Register access to a set of ports. Safe to call from several threads; each
// access is one ioctl (two for a control write that changes direction).
class PortSpace {
public:
    PortSpace(const std::vector<ParallelPort>& ports, std::string deviceDirectory);
    ~PortSpace();  // releases and closes every port it claimed
    PortSpace(const PortSpace&) = delete;
    PortSpace& operator=(const PortSpace&) = delete;

    // The register's value now; 0xFF where there is no register or no port.
    std::uint8_t Read(std::uint16_t address);
    // Writes the register; dropped where there is none or the port failed.
    void Write(std::uint16_t address, std::uint8_t value);

private:
    enum class State { Closed, Ready, Failed };
    struct Port {
        ParallelPort info;
        State state = State::Closed;
        int fd = -1;
        bool reverse = false;        // control bit 5 as last written
        bool errorReported = false;  // one ioctl failure message per port
    };

    Port* Find(std::uint16_t address, unsigned* offset);
    bool Ready(Port& port);
    bool Call(Port& port, unsigned long request, void* argument, const char* what);
    void WarnAddress(std::uint16_t address);

    std::mutex guard;
    std::vector<Port> ports;
    std::string deviceDirectory;
    std::vector<bool> warnedAddresses;
};

}  // namespace ppdev
