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
// released when the PortSpace ends.
//
// A port that cannot be used (no node, no permission, no port behind the
// node, the device gone) reads 0xFF and drops writes, with one message naming
// the device and the likely cause for each failure; an access a second or
// more after the failure tries it again. A system call that a signal
// interrupts (EINTR) is made again.
//
// A port that another program holds: the driver's claim would wait, and while
// it waits the driver holds every ppdev call on the machine (even the other
// program's release). So the claim is made only once the kernel shows the
// port free (parportN/devices/active reads "none"), on a thread of its own
// that checks every 20 ms. An access waits for it at most the claim wait
// (2 s), without the guard of all ports; then it reads 0xFF, one message says
// the port is held, and the thread goes on: the first access after it has
// claimed the port uses it. The wait counts from the claim's start: an
// access while the claim goes on waits what is left of it, and one after it
// fails at once, so callers queued behind a first access (the controller
// makes its accesses one after another) wait one claim wait in all.
//
// Only ppdev_system.h's calls reach the system; FindPorts reads files.
#pragma once

#include "../port/pin_map.h"
#include "../port/port_io.h"
#include "ppdev_system.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
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
// missing (no parport driver loaded) or lists none. Only entries named
// parportN with N a plain decimal number below 1000 count (not parport00).
// A port whose base is 0 has no I/O address (a USB adapter) and is left out;
// when `reported` is given, each such entry not in it yet gets one message
// naming it and is added to it.
std::vector<ParallelPort> FindPorts(const std::string& procDirectory,
                                    std::set<std::string>* reported = nullptr);

// The device node of port `number`: deviceDirectory/parportN.
std::string DevicePath(const std::string& deviceDirectory, unsigned number);

// Register access to a set of ports. Safe to call from several threads; each
// access is one ioctl (two for a control write that changes direction).
class PortSpace {
public:
    static constexpr std::chrono::milliseconds kClaimWait{port_io::kLongestAccessMs};
    static constexpr long long kRetryMilliseconds = 1000;  // after a failure

    PortSpace(const std::vector<ParallelPort>& ports, const Locations& locations,
              std::chrono::milliseconds claimWait = kClaimWait);
    ~PortSpace();  // releases and closes every port it claimed; a claim still
                   // waiting closes its device when it ends
    PortSpace(const PortSpace&) = delete;
    PortSpace& operator=(const PortSpace&) = delete;

    // The register's value now; 0xFF where there is no register or no port.
    std::uint8_t Read(std::uint16_t address);
    // Writes the register; dropped where there is none or the port failed.
    void Write(std::uint16_t address, std::uint8_t value);
    // Whether the calling thread's last Read or Write reached a port: false
    // when it read FF or dropped the write for want of a register or a
    // usable port, or its call failed. A status register's write reaches the
    // port, which ignores it.
    static bool LastAccessReached();

private:
    struct Attempt;  // one open and claim, on a thread of its own
    enum class State { Closed, Claiming, Ready, Failed };
    struct Port {
        ParallelPort info;
        State state = State::Closed;
        int fd = -1;
        bool reverse = false;                   // control bit 5 as last written
        bool errorReported = false;             // one ioctl failure message per port
        std::shared_ptr<Attempt> attempt;       // while Claiming
        ppdev_system::Deadline claimDeadline =  // Claiming: the end of the claim wait
            ppdev_system::Deadline::At(0);
        long long retryAt = 0;  // Failed: the earliest next attempt
        std::string reported;   // the failure last reported; empty when none
    };

    Port* Find(std::uint16_t address, PinRegister* reg);
    bool Usable(Port& port, std::unique_lock<std::mutex>& lock);
    bool StartClaim(Port& port);
    bool AwaitClaim(Port& port, std::unique_lock<std::mutex>& lock);
    std::string Describe(const Port& port) const;
    void Settle(Port& port, const Attempt& attempt);
    void Fail(Port& port, const char* what, int error);
    void Report(Port& port, const std::string& line);
    bool Call(Port& port, unsigned long request, void* argument, const char* what);
    void WarnAddress(std::uint16_t address);

    std::chrono::milliseconds claimWait;
    std::mutex guard;  // held for register ioctls, never while a claim waits
    std::vector<Port> ports;
    std::string deviceDirectory;
    std::string procDirectory;
    std::vector<bool> warnedAddresses;
};

}  // namespace ppdev
