// Fuzz target: the reader of a file to play (record/vcd_reader.h) over the
// input as a file's bytes, fed in chunks of the first byte's length (1 to
// 256) for the port at 378. Checks what must hold for any file:
//   - a refusal names a line of the file ("line N: ", N from 1 to the
//     file's lines);
//   - a schedule read steps through time forward only, each step one
//     register (data or control) setting only lines of it that a play
//     drives, bits only among those it sets; the skipped pins are inputs;
// and the sanitizers judge the rest (words and identifiers at their
// lengths, stamps at 64 bits, every timescale).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "record/vcd_reader.h"

namespace {

// The lines a play drives: data pins 2 to 9, control pins 1, 14, 16, 17;
// the input pins 10 to 13 and 15.
constexpr unsigned kDrivenLines[3] = {0xFF, 0x00, 0x0F};
constexpr std::uint32_t kInputPins = 1u << 10 | 1u << 11 | 1u << 12 | 1u << 13 | 1u << 15;

bool NamesALine(const char* why, int lines)
{
    int line = 0;
    char colon = '\0';
    return std::sscanf(why, "line %d%c", &line, &colon) == 2 && colon == ':' && line >= 1 &&
           line <= lines;
}

bool IsSchedule(const PlaySchedule& schedule)
{
    std::uint64_t before = 0;
    for (std::size_t at = 0; at < schedule.Count(); ++at) {
        const PlayStep& step = schedule.Steps()[at];
        const unsigned lines = kDrivenLines[step.reg < 3 ? step.reg : 1];
        if (step.atNs < before || step.mask == 0 || (step.mask & ~lines) != 0 ||
            (step.bits & ~step.mask) != 0 || (at == 0 && step.atNs != 0)) {
            return false;
        }
        before = step.atNs;
    }
    return (schedule.skippedPins & ~kInputPins) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const std::size_t chunk = std::size_t{data[0]} + 1;
    const char* const file = reinterpret_cast<const char*>(data + 1);
    const std::size_t length = size - 1;
    int lines = 1;
    for (std::size_t at = 0; at < length; ++at) lines += file[at] == '\n';

    PlaySchedule schedule;
    VcdReader reader(0x378, schedule);
    bool good = true;
    for (std::size_t at = 0; at < length && good; at += chunk) {
        good = reader.Feed(file + at, length - at < chunk ? length - at : chunk);
    }
    good = good && reader.Finish();
    if (!good && !NamesALine(reader.Why(), lines)) std::abort();  // a refusal without its line
    if (good && !IsSchedule(schedule)) std::abort();  // a step a play could not make
    return 0;
}
