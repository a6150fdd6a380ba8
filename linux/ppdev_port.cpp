#include "ppdev_port.h"

#include <linux/parport.h>
#include <linux/ppdev.h>

#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "ppdev_system.h"

namespace ppdev {
namespace {

constexpr std::uint8_t kDirectionBit = PinMap::kDataInputsBit;
constexpr std::uint8_t kNoRegister = 0xFF;

// Why a device node could not be opened, claimed or used, and what to do.
const char* LikelyCause(int error)
{
    switch (error) {
    case ENOENT: return "the ppdev module is not loaded (modprobe ppdev)";
    case ENXIO:
    case ENODEV:
        return "no port behind the node: load parport_pc and ppdev (modprobe -a parport_pc ppdev), "
               "or plug the adapter in again";
    case EIO: return "the device is gone (an adapter unplugged?)";
    case EACCES:
    case EPERM: return "the user is not in group lp (usermod -aG lp USER, then log in again)";
    case EBUSY: return "another program or driver holds the port";
    default: return "see the system log";
    }
}

// A device that is gone: the port is closed and tried again later.
bool Vanished(int error)
{
    return error == ENODEV || error == ENXIO || error == EIO;
}

// Makes `call` again while a signal interrupts it.
template <typename Call>
int Retrying(Call call)
{
    int result = 0;
    do {
        result = call();
    } while (result == -EINTR);
    return result;
}

}  // namespace

// One open and claim of a port's node, made on a thread of its own so that a
// port another program holds never holds up the caller beyond the claim wait.
// Shared by the thread and the port: whichever ends last frees it.
struct PortSpace::Attempt {
    static constexpr int kHeldCheckMilliseconds = 20;

    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool abandoned = false;     // nobody takes the result: the thread closes the device
    const char* what = "open";  // the call that failed
    int error = 0;              // errno of that call; 0 when the port is claimed
    int fd = -1;                // the claimed device when error is 0

    bool Abandoned()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return abandoned;
    }

    static void Run(const std::shared_ptr<Attempt>& attempt, const std::string& path,
                    const std::string& activePath)
    {
        const char* what = "open";
        int fd = Retrying([&] { return ppdev_system::Open(path.c_str()); });
        int error = fd < 0 ? -fd : 0;
        if (fd >= 0) {
            // PPCLAIM on a held port would wait in the driver with every ppdev
            // call of the machine held up behind it: claim once it is free.
            // (Another program that claims it between the check and the
            // claim still makes this claim wait; the caller waits no longer
            // than the claim wait all the same.)
            while (ppdev_system::Held(activePath.c_str()) && !attempt->Abandoned()) {
                ppdev_system::Sleep(kHeldCheckMilliseconds);
            }
            if (attempt->Abandoned()) {
                ppdev_system::Close(fd);
                return;
            }
            what = "claim";
            error = -Retrying([&] { return ppdev_system::Ioctl(fd, PPCLAIM, nullptr); });
            if (error != 0) {
                ppdev_system::Close(fd);
                fd = -1;
            }
        }
        const std::lock_guard<std::mutex> lock(attempt->mutex);
        if (attempt->abandoned) {
            if (fd >= 0) {
                ppdev_system::Ioctl(fd, PPRELEASE, nullptr);
                ppdev_system::Close(fd);
            }
            return;
        }
        attempt->what = what;
        attempt->error = error;
        attempt->fd = fd;
        attempt->done = true;
        attempt->finished.notify_all();
    }
};

PortSpace::PortSpace(const std::vector<ParallelPort>& portList, const Locations& locations,
                     std::chrono::milliseconds wait)
    : claimWait(wait), deviceDirectory(locations.deviceDirectory),
      procDirectory(locations.procDirectory), warnedAddresses(0x10000, false)
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
        if (port.state == State::Claiming) {
            const std::lock_guard<std::mutex> lock(port.attempt->mutex);
            port.attempt->abandoned = true;
            if (port.attempt->done && port.attempt->fd >= 0) {
                port.fd = port.attempt->fd;
                port.state = State::Ready;
            }
        }
        if (port.state == State::Ready) {
            ppdev_system::Ioctl(port.fd, PPRELEASE, nullptr);
            ppdev_system::Close(port.fd);
        }
    }
}

// The port whose register `address` is, and that register; null, the
// address warned of once, when no port has it.
PortSpace::Port* PortSpace::Find(std::uint16_t address, PinRegister* reg)
{
    for (Port& port : ports) {
        if (const auto found = PinMap::RegisterAt(address, port.info.baseAddress)) {
            *reg = *found;
            return &port;
        }
    }
    WarnAddress(address);
    return nullptr;
}

// Whether the port can be used now: claimed, or claimed within the claim wait.
bool PortSpace::Usable(Port& port, std::unique_lock<std::mutex>& lock)
{
    if (port.state == State::Ready) return true;
    if (port.state == State::Failed && ppdev_system::Milliseconds() < port.retryAt) return false;
    if (port.state != State::Claiming && !StartClaim(port)) return false;
    return AwaitClaim(port, lock);
}

// Opens and claims the port on a thread of its own; the claim wait starts now.
bool PortSpace::StartClaim(Port& port)
{
    auto attempt = std::make_shared<Attempt>();
    const auto deadline =
        ppdev_system::Deadline::AfterMs(static_cast<unsigned long>(claimWait.count()));
    const std::string path = DevicePath(deviceDirectory, port.info.number);
    const std::string activePath =
        procDirectory + "/parport" + std::to_string(port.info.number) + "/devices/active";
    if (!ppdev_system::StartThread(
            [attempt, path, activePath] { Attempt::Run(attempt, path, activePath); })) {
        Fail(port, "claim", EAGAIN);
        return false;
    }
    port.state = State::Claiming;
    port.attempt = attempt;
    port.claimDeadline = deadline;
    return true;
}

// Waits for the claim under way, up to the end of its claim wait, without the
// guard: other ports, and this one's other callers, go on.
bool PortSpace::AwaitClaim(Port& port, std::unique_lock<std::mutex>& lock)
{
    const std::shared_ptr<Attempt> attempt = port.attempt;
    const ppdev_system::Deadline deadline = port.claimDeadline;
    lock.unlock();
    bool done = false;
    {
        std::unique_lock<std::mutex> waiting(attempt->mutex);
        done = ppdev_system::WaitUntil(attempt->finished, waiting, deadline,
                                       [&] { return attempt->done; });
    }
    lock.lock();
    if (port.attempt != attempt) return port.state == State::Ready;  // settled meanwhile
    if (done) {
        Settle(port, *attempt);
        return port.state == State::Ready;
    }
    char line[512];
    std::snprintf(line, sizeof line,
                  "ppdev: cannot claim %s within %lld s: held by another program. "
                  "Its reads give FF and writes are dropped until that program releases it.",
                  Describe(port).c_str(), static_cast<long long>((claimWait.count() + 999) / 1000));
    Report(port, line);
    return false;
}

// The port as the messages name it: "/dev/parport0 (LPT1 at 378)".
std::string PortSpace::Describe(const Port& port) const
{
    char text[64];
    std::snprintf(text, sizeof text, " (LPT%u at %X)", port.info.number + 1, port.info.baseAddress);
    return DevicePath(deviceDirectory, port.info.number) + text;
}

void PortSpace::Settle(Port& port, const Attempt& attempt)
{
    port.attempt.reset();
    if (attempt.error != 0) {
        Fail(port, attempt.what, attempt.error);
        return;
    }
    port.fd = attempt.fd;
    port.state = State::Ready;
    port.reverse = false;
    port.errorReported = false;
    if (!port.reported.empty()) {
        port.reported.clear();
        char line[256];
        std::snprintf(line, sizeof line, "ppdev: %s can be used again.", Describe(port).c_str());
        ppdev_system::Diagnostic(line);
    }
}

void PortSpace::Fail(Port& port, const char* what, int error)
{
    port.state = State::Failed;
    port.fd = -1;
    port.retryAt = ppdev_system::Milliseconds() + kRetryMilliseconds;
    char line[512];
    std::snprintf(line, sizeof line,
                  "ppdev: cannot %s %s: %s; likely cause: %s. "
                  "Its reads give FF and writes are dropped; tried again at most once a second.",
                  what, Describe(port).c_str(), std::strerror(error), LikelyCause(error));
    Report(port, line);
}

void PortSpace::Report(Port& port, const std::string& line)
{
    if (line == port.reported) return;  // the same failure again: said once
    port.reported = line;
    ppdev_system::Diagnostic(line.c_str());
}

bool PortSpace::Call(Port& port, unsigned long request, void* argument, const char* what)
{
    const int result = Retrying([&] { return ppdev_system::Ioctl(port.fd, request, argument); });
    if (result == 0) return true;
    if (Vanished(-result)) {
        ppdev_system::Close(port.fd);  // closing gives up the claim
        Fail(port, "use", -result);
        return false;
    }
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

namespace {
// Each thread's last access; set by every Read and Write before it returns.
thread_local bool lastReached = true;
}  // namespace

bool PortSpace::LastAccessReached()
{
    return lastReached;
}

std::uint8_t PortSpace::Read(std::uint16_t address)
{
    lastReached = false;
    std::unique_lock<std::mutex> lock(guard);
    PinRegister reg = PinRegister::Data;
    Port* port = Find(address, &reg);
    if (port == nullptr) return kNoRegister;
    if (!Usable(*port, lock)) return kNoRegister;
    unsigned char value = kNoRegister;
    const auto reached = [&](unsigned long request, const char* what) {
        lastReached = Call(*port, request, &value, what);
        return lastReached;
    };
    switch (reg) {
    case PinRegister::Data: return reached(PPRDATA, "PPRDATA") ? value : kNoRegister;
    case PinRegister::Status: return reached(PPRSTATUS, "PPRSTATUS") ? value : kNoRegister;
    case PinRegister::Control: break;
    }
    if (!reached(PPRCONTROL, "PPRCONTROL")) return kNoRegister;
    return static_cast<std::uint8_t>((value & ~kDirectionBit) |
                                     (port->reverse ? kDirectionBit : 0));
}

void PortSpace::Write(std::uint16_t address, std::uint8_t value)
{
    lastReached = false;
    std::unique_lock<std::mutex> lock(guard);
    PinRegister reg = PinRegister::Data;
    Port* port = Find(address, &reg);
    if (port == nullptr) return;
    // A status register ignores writes, as the hardware does: nothing lost.
    lastReached = reg == PinRegister::Status;
    if (reg == PinRegister::Status || !Usable(*port, lock)) return;
    unsigned char byte = value;
    if (reg == PinRegister::Data) {
        lastReached = Call(*port, PPWDATA, &byte, "PPWDATA");
        return;
    }
    const bool reverse = (value & kDirectionBit) != 0;
    if (reverse != port->reverse) {
        int direction = reverse ? 1 : 0;
        if (Call(*port, PPDATADIR, &direction, "PPDATADIR")) {
            port->reverse = reverse;
        } else if (port->state != State::Ready) {
            return;
        }
    }
    // Without bit 5: the driver would take a set bit as a request to reverse
    // (and log a complaint), never as one to go forward.
    byte = static_cast<unsigned char>(value & ~kDirectionBit);
    lastReached = Call(*port, PPWCONTROL, &byte, "PPWCONTROL");
}

}  // namespace ppdev
