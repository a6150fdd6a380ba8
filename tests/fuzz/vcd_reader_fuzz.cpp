// Fuzz target: the reader of a file to play (record/vcd_reader.h) over the
// input as a file's bytes, for the port at 378. Checks what must hold for
// any file:
//   - a refusal names a line of the file ("line N: ", N from 1 to the
//     file's lines);
//   - a schedule read starts at 0 and steps through time forward only, each
//     step one register (data or control) setting only lines of it that a
//     play drives, bits only among those it sets;
// and the sanitizers judge the rest (words and identifiers at their
// lengths, stamps at 64 bits, every timescale).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "record/vcd_reader.h"

namespace {

// The lines a play drives: data pins 2 to 9, control pins 1, 14, 16, 17.
constexpr unsigned kDrivenLines[4] = {0xFF, 0x00, 0x0F, 0x00};

bool IsSchedule(const PlaySchedule& schedule)
{
    std::uint64_t before = 0;
    for (std::size_t at = 0; at < schedule.Count(); ++at) {
        const PlayStep& step = schedule.Steps()[at];
        if (step.atNs < before || (at == 0 && step.atNs != 0) || step.mask == 0 ||
            (step.mask & ~kDrivenLines[step.reg]) != 0 || (step.bits & ~step.mask) != 0) {
            return false;
        }
        before = step.atNs;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    int lines = 1;
    for (std::size_t at = 0; at < size; ++at) lines += data[at] == '\n';
    PlaySchedule schedule;
    VcdReader reader(0x378, schedule);
    const bool good = reader.Feed(reinterpret_cast<const char*>(data), size) && reader.Finish();
    int line = 0;
    char colon = '\0';
    if (!good && (std::sscanf(reader.Why(), "line %d%c", &line, &colon) != 2 || colon != ':' ||
                  line < 1 || line > lines)) {
        std::abort();  // a refusal without its line
    }
    if (good && !IsSchedule(schedule)) std::abort();  // a step a play could not make
    return 0;
}
