// PortRecording: what PortController::StartRecording and EndRecording call,
// with the controller's guard held, so that no access of another thread
// comes between the start and the first access recorded, nor after the end.
// The recorder (record/) implements it. Starting reads no port: a port's
// levels are read by the recording just before its first access (see
// record/access_tap.h), so a start waits on no port, whatever the number of
// ports and whoever holds them.
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
    // No access is recorded from here on.
    virtual void End() = 0;

protected:
    ~PortRecording() = default;
};
