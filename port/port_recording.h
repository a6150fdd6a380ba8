// PortRecording: what PortController::StartRecording and EndRecording call,
// with the controller's guard held, so that no access of another thread
// comes between the registers read at the start and the first access
// recorded, nor after the end. The recorder (record/) implements it.
#pragma once

#include <cstdint>

class PortRecording {
public:
    // One recorded port's registers as read at the start.
    struct Registers {
        std::uint16_t base;
        std::uint8_t data;
        std::uint8_t status;
        std::uint8_t control;
    };

    // The ports to record (at least one, each a usable base, each once).
    // False refuses the recording: then nothing is read.
    virtual bool Open(const std::uint16_t* bases, int count) = 0;
    // Each port's registers, read just now; every access from here on is to
    // be recorded.
    virtual void Begin(const Registers* ports, int count) = 0;
    // No access is recorded from here on.
    virtual void End() = 0;

protected:
    ~PortRecording() = default;
};
