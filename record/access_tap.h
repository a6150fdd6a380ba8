// AccessTap: where the port I/O bindings hand each access while a recording
// runs. Every binding of port_io (the Win32 one, and the native tests' fake
// port) calls TapAccess after each read and write: with nothing recording
// that is one load and one predictable branch, and no other work.
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

class AccessTap {
public:
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

inline void TapAccess(std::uint16_t address, std::uint16_t value, bool isWrite)
{
    AccessTap* const tap = activeTap.load(std::memory_order_relaxed);
#if defined(__GNUC__)
    if (__builtin_expect(tap != nullptr, 0)) TapSeen(tap, address, value, isWrite);
#else
    if (tap != nullptr) TapSeen(tap, address, value, isWrite);
#endif
}

}  // namespace recording
