// VcdRecorder: turns the register accesses of parallel ports into a value
// change dump (VCD), the timeline format that logic-analyser tools open.
//
// The recorder is fed every read and write of a port I/O library with its
// time, and writes one one-bit signal per connector pin, 1 to 17, at the
// level the pin has on the connector (the hardware's inversions applied, as
// port/pin_map.h gives them). Outputs change when a write changes them;
// inputs when a read sees them change. The data pins 2 to 9 are outputs
// while control bit 5 is clear, inputs (read from the data register) while it
// is set. A pin's level is x (unknown) until an access shows it.
//
// It keeps only the last level of each pin and a buffer of text that goes to
// its sink when it grows past kBufferLimit and whenever its owner flushes, so
// its memory stays the same however long it records. It is not thread-safe:
// its owner serialises the calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class VcdSink {
public:
    virtual ~VcdSink() = default;
    // Writes all of `size` bytes; false when they could not be written (a full
    // disk, for instance), with `reason` saying why.
    virtual bool Write(const char* bytes, std::size_t size, std::string& reason) = 0;
};

class VcdRecorder {
public:
    static constexpr std::size_t kBufferLimit = 32 * 1024;

    // Records the ports at `bases` (each a usable base: data register at the
    // base, status at base + 1, control at base + 2) into `sink`. The header
    // (one scope per port, named lpt_BASE in hexadecimal) goes to the sink with
    // the first flush.
    VcdRecorder(const std::vector<std::uint16_t>& bases, VcdSink& sink);

    // A monotonic clock in nanoseconds, asked only when an access changes a
    // pin (and at the first access), so that accesses that change nothing
    // cost no clock reading.
    using Clock = std::uint64_t (*)();

    // One access of I/O address `address`: the value written, or the value a
    // read returned. The file's time 0 is the first access of a recorded
    // port. Other addresses are ignored.
    void Access(std::uint16_t address, std::uint8_t value, bool isWrite, Clock now);

    // Marks the end of the recording with a last time stamp, when time has
    // passed since the last change, so that tools show the pins' levels up to
    // then (sigrok takes the last stamp as the end, and drops the changes at
    // it). Call Flush after.
    void End(Clock now);

    // Hands what is buffered to the sink. False once the sink has failed: the
    // recorder then drops everything, and `Failure()` says why.
    bool Flush();
    const std::string& Failure() const { return failure; }

private:
    struct Port {
        std::uint16_t base;
        int control = -1;             // the control register as last written; -1 unknown
        int dataWritten = -1;         // the data register as last written; -1 unknown
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

    Line lines[3][8] = {};  // each register's pins
    int lineCount[3] = {};

    std::vector<Port> ports;
    VcdSink& sink;
    std::string buffer;
    std::string failure;
    bool started = false;
    std::uint64_t origin = 0;
    Clock clock = nullptr;  // the current access's clock
    bool timed = false;     // whether `time` holds the current access's time
    std::uint64_t time = 0;
    std::uint64_t lastStamp = 0;
};
