// VcdRecorder: turns the register accesses of parallel ports into a value
// change dump (VCD), the timeline format that logic-analyser tools open.
//
// The recorder starts from the levels the pins have: its owner reads each
// recorded port's three registers once when the recording starts, and those
// levels stand at time 0. Times are nanoseconds from that start. It is then
// fed every read and write of the library, in the order they reached the
// port, and writes one one-bit signal per connector pin, 1 to 17, at the
// level the pin has on the connector (the hardware's inversions applied, as
// port/pin_map.h gives them). One scope per port (lpt_378), and each signal's
// name carries its port (lpt378_pin01_strobe), so that names stay apart in a
// tool that flattens the scopes. Outputs change when a write, or a read of
// the control register, shows them; inputs when a read sees them change. The
// data pins 2 to 9 are outputs while control bit 5 is clear, inputs (read
// from the data register) while it is set.
//
// The text collects in a buffer that its owner takes away (TakeText) and
// writes elsewhere. Past kBufferLimit the recorder drops changes, counting
// them, and writes every pin's level again once there is room, so its memory
// stays bounded however long it records. Accesses at an address of no
// recorded port are counted by address. It is not thread-safe: its owner
// serialises the calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "port/port_recording.h"

// A recorded port's registers as read when the recording starts.
using RecordedRegisters = PortRecording::Registers;

class VcdRecorder {
public:
    // Past this the buffer takes no more changes until its owner takes it.
    static constexpr std::size_t kBufferLimit = 4 * 1024 * 1024;
    // How many different unrecorded addresses are counted one by one; the
    // rest are counted together.
    static constexpr std::size_t kUnrecordedAddresses = 16;

    // A monotonic clock in nanoseconds, asked only when an access changes a
    // pin, so that accesses that change nothing cost no clock reading.
    using Clock = std::uint64_t (*)();

    // The header (a scope for each port) and the pins' levels at time 0,
    // from each port's registers; `now` is asked once, for time 0.
    VcdRecorder(const std::vector<RecordedRegisters>& ports, Clock now);

    // One access of I/O address `address`: the value written, or the value a
    // read returned.
    void Access(std::uint16_t address, std::uint8_t value, bool isWrite, Clock now);

    // Marks the end of the recording with a last time stamp, after the last
    // change, so that tools show the pins' levels up to then (sigrok takes
    // the last stamp as the end, and drops the changes at it).
    void End(Clock now);

    // Swaps the text gathered so far with `into` (which its caller has
    // emptied): the caller writes it out, without holding up the accesses.
    void TakeText(std::string& into);
    std::size_t Pending() const { return buffer.size(); }

    // Changes dropped while the buffer was full.
    std::uint64_t Dropped() const { return dropped; }
    // Accesses at addresses of no recorded port: each address with its
    // count, in the order first seen; then the count of any further ones.
    const std::vector<std::pair<std::uint16_t, std::uint64_t>>& Unrecorded() const
    {
        return unrecorded;
    }
    std::uint64_t UnrecordedOthers() const { return unrecordedOthers; }

private:
    struct Port {
        std::uint16_t base;
        int control = -1;             // the control latch as last seen; -1 unknown
        int dataWritten = -1;         // the data latch as last seen; -1 unknown
        int shown[3] = {-1, -1, -1};  // each register's value as its pins show it
        char levels[17];              // '0', '1' or 'x' for pins 1 to 17
        std::string identifiers[17];  // the signals' short codes in the file
    };
    // A pin of a register, as PinMap gives it.
    struct Line {
        int pin;
        std::uint8_t mask;
        bool inverted;
    };

    void Change(Port& port, int pin, char level);
    void ApplyRegister(Port& port, int reg, std::uint8_t value);
    void ApplyControl(Port& port, std::uint8_t value);
    void CountUnrecorded(std::uint16_t address);
    void AppendAllLevels();
    void DeclarePorts(const std::vector<RecordedRegisters>& start);
    void ShowStartLevels(const std::vector<RecordedRegisters>& start);

    Line lines[3][8] = {};  // each register's pins
    int lineCount[3] = {};

    std::vector<Port> ports;
    std::string buffer;
    std::uint64_t origin = 0;
    Clock clock = nullptr;  // the current access's clock
    bool timed = false;     // whether `time` holds the current access's time
    bool initialising = false;
    std::uint64_t time = 0;
    std::uint64_t lastStamp = 0;
    std::uint64_t dropped = 0;
    bool lostChanges = false;  // changes were dropped: all levels go out again
    std::vector<std::pair<std::uint16_t, std::uint64_t>> unrecorded;
    std::uint64_t unrecordedOthers = 0;
};
