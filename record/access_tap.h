// AccessTap: where the port I/O bindings hand each access while a recording
// runs. Every binding of port_io (the Win32 one, and the native tests' fake
// port) calls TapBefore before each read and write, and TapAccess after it:
// with nothing recording that is one load and one predictable branch each,
// and no other work.
//
// The tap is set and cleared only with the port controller's guard held
// (PortController::StartRecording and EndRecording), and every access is made
// with that guard held, so a tap that an access sees lives until the access
// has left it, and the taps see the accesses in the order they reached the
// port.
#pragma once

#include <atomic>
#include <cstdint>

namespace recording {

// A read of a register that no tap sees (the binding's own access).
using UntappedRead = std::uint16_t (*)(std::uint16_t address);

class AccessTap {
public:
    // Before an access: a port not yet seen may have its registers read
    // through `read` first, so that its levels before the access are known.
    virtual void Before(std::uint16_t address, UntappedRead read) = 0;
    // One access: the value written, or the value a read returned (its low
    // byte).
    virtual void Seen(std::uint16_t address, std::uint8_t value, bool isWrite) = 0;

protected:
    ~AccessTap() = default;
};

// The tap of the recording under way; null while nothing records.
extern std::atomic<AccessTap*> activeTap;

// The recording's work, out of line, so that the access path keeps only the
// load and the branch.
void TapSeen(AccessTap* tap, std::uint16_t address, std::uint16_t value, bool isWrite);
void TapBeforeSeen(AccessTap* tap, std::uint16_t address, UntappedRead read);

#if defined(__GNUC__)
#define DORUZEDA_RARELY(condition) __builtin_expect((condition), 0)
#else
#define DORUZEDA_RARELY(condition) (condition)
#endif

inline void TapBefore(std::uint16_t address, UntappedRead read)
{
    AccessTap* const tap = activeTap.load(std::memory_order_relaxed);
    if (DORUZEDA_RARELY(tap != nullptr)) TapBeforeSeen(tap, address, read);
}

inline void TapAccess(std::uint16_t address, std::uint16_t value, bool isWrite)
{
    AccessTap* const tap = activeTap.load(std::memory_order_relaxed);
    if (DORUZEDA_RARELY(tap != nullptr)) TapSeen(tap, address, value, isWrite);
}

}  // namespace recording
