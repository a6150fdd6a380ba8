// VcdReader: reads a value change dump (VCD) into a play's schedule
// (port/play_schedule.h) for the port at one base address, a chunk at a
// time, so that the file is read once, front to back, and nothing but the
// schedule grows with it: a word longer than kLongestWord, more than
// kMaxSignals signals, or more steps than the schedule holds refuse the
// file. Portable; no Windows header.
//
// Which signals drive which pins: the library's own recording's names
// (lpt378_pin02_d0: pin 2 of the port at 378; a signal of another port is
// not played, and a file with none of the selected port's says so), and a
// logic analyser's first eight channels as sigrok names them, D0 to D7: the
// data lines, pins 2 to 9. A signal of an input pin (10 to 13, 15) is
// skipped (PlaySchedule::skippedPins); any other name refuses the file, as
// does a signal wider than a bit. Levels 0 and 1 drive a pin; x and z leave
// it. Both layouts of a change list are read: a stamp, then a change a line
// (the recording's), and a stamp with its changes on one line (sigrok's
// "#12 1! 0""), since words are read whatever the line ends between them.
// Every timescale VCD allows: 1, 10 or 100 of s, ms, us, ns, ps, fs. Time
// stamps never go back; changes of one stamp to one register are one step,
// the last level of a pin in it counting; times count from the first step,
// in nanoseconds, rounded down.
//
// A refusal names the line to blame ("line 12: ...") and ends the reading.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../port/play_schedule.h"

class VcdReader {
public:
    static constexpr std::size_t kLongestWord = 255;
    static constexpr int kMaxSignals = 256;
    static constexpr std::size_t kLongestIdentifier = 15;

    VcdReader(std::uint16_t base, PlaySchedule& schedule);
    VcdReader(const VcdReader&) = delete;
    VcdReader& operator=(const VcdReader&) = delete;

    // The file's next `count` bytes. False once the file is refused.
    bool Feed(const char* bytes, std::size_t count);
    // The file's end. False when it is refused.
    bool Finish();
    // Why the file is refused: "line 12: ...".
    const char* Why() const { return why; }

private:
    enum class Mode { Header, Skip, Timescale, Scope, Var, Body };
    struct Signal {
        char identifier[kLongestIdentifier + 1];
        int pin;  // 0: another port's; an input pin's is skipped
    };

    bool Word();
    bool HeaderWord();
    bool BodyWord();
    bool Refuse(const char* text, const char* detail = "");
    bool EndTimescale();
    bool EndVar();
    bool MapName(const char* name, int* pin);
    bool AddSignal(const char* identifier, int pin);
    const Signal* FindSignal(const char* identifier) const;
    bool EndDefinitions();
    bool Stamp(const char* digits);
    bool Change(char level, const char* identifier);
    bool FlushStamp();

    std::uint16_t base;
    PlaySchedule& schedule;
    char word[kLongestWord + 1] = {};
    std::size_t wordLength = 0;
    bool wordTooLong = false;
    int line = 1;
    int wordLine = 1;
    bool refused = false;
    char why[PlayReader::kWhySize] = {};

    Mode mode = Mode::Header;
    Mode afterSkip = Mode::Header;             // where a skipped command's $end leads
    char collected[4][kLongestWord + 1] = {};  // a $timescale's or $var's words
    int collectedCount = 0;
    std::uint64_t tickMultiplier = 0;  // nanoseconds a tick: times this,
    std::uint64_t tickDivisor = 1;     // divided by this
    Signal signals[kMaxSignals] = {};  // sorted by identifier
    int signalCount = 0;
    std::uint16_t otherPort = 0;  // a port whose signals the file has, not the selected one

    bool stamped = false;
    std::uint64_t stampNs = 0;
    bool started = false;  // the first step is in
    std::uint64_t firstNs = 0;
    std::uint8_t pendingMask[3] = {};
    std::uint8_t pendingBits[3] = {};
};

// The play's reader of VCD files: a regular file, read in chunks through
// the C library. `why` "cannot open the file", "not a regular file" (a
// FIFO or a device, whose reads may never end), "the file cannot be read",
// or the reader's refusal. `endedBy`, where given, is asked before each chunk:
// true gives up ("the unload began").
class VcdFileReader : public PlayReader {
public:
    explicit VcdFileReader(bool (*endedBy)() = nullptr) : ended(endedBy) {}
    bool Read(const char* file, std::uint16_t base, PlaySchedule& schedule, char* why,
              std::size_t whySize) override;

private:
    bool (*ended)();
};
