// PlaySchedule: the changes a play makes on a port's registers, read whole
// from a file before the first write, and PlayReader, the seam that reads it
// (the VCD reader in record/ implements it; the controller plays it,
// port/play_operation.cpp).
//
// A step is one write: the changes of one time stamp to one register, as
// the bits of the register it sets (the hardware's inversions applied) and
// their values. Eight bytes a step; the schedule holds kMaxSteps of them
// (32 MiB): a minute of the library's own recording of a port that a busy
// macro changes with every call (a logged call takes 80 us at the least
// under Wine, so 12,500 changes a second, 750,000 a minute) is under a fifth
// of it. Its memory grows as the file is read, nothing throws, and a step
// the limit or the memory cannot take refuses the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

struct PlayStep {
    std::uint64_t atNs : 44;  // from the first step (4.8 hours at most)
    std::uint64_t reg : 2;    // PinRegister: Data or Control
    std::uint64_t mask : 8;   // the register's bits the step sets
    std::uint64_t bits : 8;   // their values
};
static_assert(sizeof(PlayStep) == 8, "a step is eight bytes");

class PlaySchedule {
public:
    static constexpr std::size_t kMaxSteps = std::size_t{1} << 22;
    static constexpr std::uint64_t kLongestNs = (std::uint64_t{1} << 44) - 1;

    PlaySchedule() = default;
    ~PlaySchedule() { std::free(steps); }
    PlaySchedule(const PlaySchedule&) = delete;
    PlaySchedule& operator=(const PlaySchedule&) = delete;

    // False when the limit or the memory cannot take it (the schedule as it was).
    bool Append(const PlayStep& step)
    {
        if (count == capacity && !Grow()) return false;
        steps[count++] = step;
        return true;
    }
    const PlayStep* Steps() const { return steps; }
    std::size_t Count() const { return count; }
    // The last step's time: the play's length.
    std::uint64_t LengthNs() const { return count == 0 ? 0 : steps[count - 1].atNs; }
    // Every bit of register `reg` that some step sets.
    std::uint8_t Lines(std::uint8_t reg) const
    {
        unsigned lines = 0;
        for (std::size_t at = 0; at < count; ++at) {
            if (steps[at].reg == reg) lines |= static_cast<unsigned>(steps[at].mask);
        }
        return static_cast<std::uint8_t>(lines);
    }

    // The input pins (10 to 13, 15) whose signals the file has and the play
    // skips: bit `pin`.
    std::uint32_t skippedPins = 0;

private:
    bool Grow()
    {
        const std::size_t wanted = capacity == 0 ? 4096 : capacity * 2;
        if (wanted > kMaxSteps) return false;
        void* grown = std::realloc(steps, wanted * sizeof(PlayStep));
        if (grown == nullptr) return false;
        steps = static_cast<PlayStep*>(grown);
        capacity = wanted;
        return true;
    }

    PlayStep* steps = nullptr;
    std::size_t count = 0;
    std::size_t capacity = 0;
};

// Reads a play's file whole into a schedule for the port at `base`. Called
// with no lock held: it may wait on the file.
class PlayReader {
public:
    // Room for `why`, the refusal's line number and text.
    static constexpr std::size_t kWhySize = 192;
    // True with `schedule` filled; false with `why` (a line number first,
    // where a line is to blame: "line 12: ...").
    virtual bool Read(const char* file, std::uint16_t base, PlaySchedule& schedule, char* why,
                      std::size_t whySize) = 0;

protected:
    ~PlayReader() = default;
};
