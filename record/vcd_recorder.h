// VcdRecorder: turns the register accesses of parallel ports into a value
// change dump (VCD), the timeline format that logic-analyser tools open.
//
// Every pin starts unknown ('x') at time 0. A port's levels come when the
// port is first accessed: its owner reads the port's three registers just
// before that access (Levels), so the start costs no port access, and a port
// another program holds costs its wait only to the call that uses it. The
// tick is a microsecond, about the time a port access takes: tools that turn
// a file into samples (sigrok, PulseView) then hold a million samples per
// second recorded, not a billion. A stamp never runs ahead of the clock by
// more than one tick: changes denser than the tick share a tick, each pin
// with its last level in it, and a pin that changes again in the microsecond
// it already changed in goes one tick later, so that a pulse shorter than a
// tick is one tick wide and anything held longer is as long in the file. A
// tick's lines go into the text once a later tick begins, once the clock has
// passed it when the text is taken, or at the end. The recorder is fed
// every read and write of the library, in the order they reached the port,
// and writes one one-bit signal per connector pin, 1 to 17, at the level the
// pin has on the connector (the hardware's inversions applied, as
// port/pin_map.h gives them). One scope per port (lpt_378), and each
// signal's name carries its port (lpt378_pin01_strobe), so that names stay
// apart in a tool that flattens the scopes; the pin's name comes from its
// row of the pin map. Outputs change when a write, or a read of the control
// register, shows them; inputs when a read sees them change. The data pins 2
// to 9 are outputs while control bit 5 is clear, inputs (read from the data
// register) while it is set.
//
// The text collects in a buffer that its owner takes away (TakeText) and
// writes elsewhere. The buffer keeps room for the lines of a tick and of the
// end; once that room cannot be had within kBufferLimit, or the memory for it
// cannot be had (asked once until the text is next taken, never again for
// every change), the recorder drops changes, counting each, and writes every
// pin's level again once there is room, and at the end, so the file's last
// levels are the pins' own and its memory stays bounded however long it
// records. Nothing here throws. Accesses at an address of no recorded port are
// counted by address. It is not thread-safe: its owner serialises the calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

#include "../port/pin_map.h"
#include "../port/port_controller.h"
#include "../port/port_recording.h"

// A recorded port's registers, read just before its first access.
using RecordedRegisters = PortRecording::Registers;

// Text that grows without throwing: an append that cannot get the memory
// returns false and leaves the text as it was.
class VcdText {
public:
    VcdText() = default;
    ~VcdText();
    VcdText(const VcdText&) = delete;
    VcdText& operator=(const VcdText&) = delete;

    bool Reserve(std::size_t wanted);
    bool Append(const char* text, std::size_t length);
    void Clear() { length = 0; }
    // Lets go of the bytes without freeing them (something else still reads
    // them): empty from here on.
    void Forget()
    {
        bytes = nullptr;
        length = 0;
        capacity = 0;
    }
    void Swap(VcdText& other);
    const char* Data() const { return bytes; }
    std::size_t Size() const { return length; }
    std::size_t Capacity() const { return capacity; }

private:
    char* bytes = nullptr;
    std::size_t length = 0;
    std::size_t capacity = 0;
};

class VcdRecorder {
public:
    // Past this the buffer takes no more changes until its owner takes it.
    static constexpr std::size_t kBufferLimit = std::size_t{4} * 1024 * 1024;
    // How many different unrecorded addresses are counted one by one; the
    // rest are counted together.
    static constexpr std::size_t kUnrecordedAddresses = 16;
    // The ports of the table and a chosen one.
    static constexpr int kMaxPorts = PortController::kMaxPorts + 1;
    // The connector's signal pins, each a signal of the file.
    static constexpr int kPins = PinMap::kLastSignalPin - PinMap::kFirstPin + 1;
    // A port's registers, as the pin map names them, and the most lines one
    // register carries (a bit each).
    static constexpr int kRegisters = static_cast<int>(PinRegister::Control) + 1;
    static constexpr int kRegisterLines = std::numeric_limits<decltype(PinMapRow::mask)>::digits;
    // The buffer's first size; it grows as it must, up to kBufferLimit.
    static constexpr std::size_t kFirstBufferBytes = std::size_t{64} * 1024;
    // The most one tick writes: its stamp ('#', 20 digits, line end) and a
    // line for every signal (a level, a code of up to three, a line end).
    static constexpr std::size_t kTickBytes = 22 + std::size_t{kMaxPorts} * kPins * 5;
    // Kept free below the limit: the open tick's lines, every level after a
    // loss, and the end's (every level and its last stamp).
    static constexpr std::size_t kRoomKept = 4 * kTickBytes;

    // A monotonic clock in microseconds (the file's tick), asked only when
    // an access changes a pin, so that accesses that change nothing cost no
    // clock reading.
    using Clock = std::uint64_t (*)();

    VcdRecorder() = default;
    VcdRecorder(const VcdRecorder&) = delete;
    VcdRecorder& operator=(const VcdRecorder&) = delete;

    // The header (a scope for each port, at most kMaxPorts) and every pin
    // unknown at time 0; `now` is asked once, for time 0. False when the
    // buffer cannot be had.
    bool Start(const std::uint16_t* bases, int count, Clock now);

    // Whether `address` is a register of a recorded port whose levels have
    // not come yet; that port's base in `base`.
    bool AwaitsLevels(std::uint16_t address, std::uint16_t* base) const;
    // The port's registers, read just now, before its first access.
    void Levels(const RecordedRegisters& registers, Clock now);

    // One access of I/O address `address`: the value written, or the value a
    // read returned.
    void Access(std::uint16_t address, std::uint8_t value, bool isWrite, Clock now);

    // Marks the end of the recording: every pin's level again when changes
    // were lost, then a last time stamp after every change, so that tools
    // show the pins' levels up to then (sigrok takes the last stamp as the
    // end, and drops the changes at it).
    void End(Clock now);

    // Swaps the text gathered so far with `into` (which its caller has
    // emptied): the caller writes it out, without holding up the accesses.
    // The open tick's lines go with it once `now` has passed that tick.
    void TakeText(VcdText& into, Clock now);
    std::size_t Pending() const { return buffer.Size(); }
    // The text taken could not all reach the file: every pin's level goes
    // out again with the next change (or the end).
    void TextLost() { lostChanges = true; }

    // Changes dropped while the buffer was full or could not grow.
    std::uint64_t Dropped() const { return dropped; }
    // Accesses at addresses of no recorded port: each address with its
    // count, in the order first seen; then the count of any further ones.
    struct Unrecorded {
        std::uint16_t address;
        std::uint64_t count;
    };
    const Unrecorded* UnrecordedAddresses() const { return unrecorded; }
    std::size_t UnrecordedCount() const { return unrecordedCount; }
    std::uint64_t UnrecordedOthers() const { return unrecordedOthers; }

private:
    // A set of a port's pins, a bit each (pin 1 in the lowest).
    using PinSet = std::uint32_t;
    static_assert(kPins <= std::numeric_limits<PinSet>::digits, "a bit for every pin");

    struct Port {
        std::uint16_t base = 0;
        bool levelsKnown = false;         // Levels came, or an access came first
        int control = -1;                 // the control latch as last seen; -1 unknown
        int dataWritten = -1;             // the data latch as last seen; -1 unknown
        int shown[kRegisters] = {};       // each register's value as its pins show it; -1 unknown
        char levels[kPins] = {};          // '0', '1' or 'x' for pins 1 to 17
        char filed[kPins] = {};           // each pin's level as the text last gave it
        PinSet inTick = 0;                // the pins that changed in the open tick
        char identifiers[kPins][4] = {};  // the signals' short codes in the file
    };
    // A pin of a register, as PinMap gives it.
    struct Line {
        int pin;
        std::uint8_t mask;
        bool inverted;
    };

    Port* Find(std::uint16_t address, PinRegister* reg);
    std::uint64_t Now();
    bool Room();
    void Stamp(std::uint64_t time);
    void CloseTick();
    void Change(Port& port, int pin, char level);
    void ApplyRegister(Port& port, int reg, std::uint8_t value);
    void ApplyControl(Port& port, std::uint8_t value);
    void CountUnrecorded(std::uint16_t address);
    void AppendAllLevels();
    void Append(const char* text);
    void Append(const char* text, std::size_t length);
    void DeclarePort(Port& port, std::size_t firstSignal);

    Line lines[kRegisters][kRegisterLines] = {};  // each register's pins
    int lineCount[kRegisters] = {};

    Port ports[kMaxPorts];
    int portCount = 0;
    VcdText buffer;
    std::uint64_t origin = 0;
    Clock clock = nullptr;         // the current access's clock
    bool timed = false;            // the current access has its time stamp
    std::uint64_t accessTime = 0;  // the current access's time, once `timed`
    std::uint64_t lastStamp = 0;
    bool tickOpen = false;       // changes wait in the tick at tickStamp
    bool tickAllLevels = false;  // the open tick gives every level (after a loss)
    std::uint64_t tickStamp = 0;
    std::uint16_t tickPins[kMaxPorts * kPins] = {};  // port * kPins + pin - 1, in order
    int tickCount = 0;
    bool cannotGrow = false;  // the buffer could not grow: full until taken
    std::uint64_t dropped = 0;
    bool lostChanges = false;  // changes were dropped: all levels go out again
    Unrecorded unrecorded[kUnrecordedAddresses] = {};
    std::size_t unrecordedCount = 0;
    std::uint64_t unrecordedOthers = 0;
};
