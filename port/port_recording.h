// PortRecording: the recording a PortController feeds. The controller holds
// it under its guard from StartRecording until EndRecording and hands it every
// port access it makes meanwhile, from its two access helpers, so that no
// access of another thread comes between the start and the first access
// recorded, nor after the end, and the recording sees the accesses in the
// order they reached the port. The recorder (record/) implements it.
//
// Starting reads no port: a port's levels are read by the recording just
// before its first access (Before), so a start waits on no port, whatever
// the number of ports and whoever holds them. Every call comes with the
// controller's guard held: a recording must never wait for another thread
// that may need the controller, nor call it.
#pragma once

#include <cstdint>

class PortRecording {
public:
    // One recorded port's registers.
    struct Registers {
        std::uint16_t base;
        std::uint8_t data;
        std::uint8_t status;
        std::uint8_t control;
    };

    // The ports to record (at least one, each a usable base, each once).
    // False refuses the recording.
    virtual bool Open(const std::uint16_t* bases, int count) = 0;
    // Every access from here on is to be recorded.
    virtual void Begin() = 0;
    // Before an access to `address`: a port not yet seen may have its
    // registers read first with port_io::PortRead (which no recording
    // sees), so that its levels before the access are known.
    virtual void Before(std::uint16_t address) = 0;
    // One access, just made: the value written, or the value a read
    // returned (its low byte).
    virtual void Seen(std::uint16_t address, std::uint8_t value, bool isWrite) = 0;

protected:
    ~PortRecording() = default;
};
