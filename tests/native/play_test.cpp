// A play of a VCD file on the fake port and the fake clock: each result, the
// port's accesses in order and the log's first line, exactly.
#include <gtest/gtest.h>

#include <fstream>

#include "core_fixture.h"
#include "port/wait_sleep.h"
#include "record/vcd_reader.h"

namespace {

// D0 and the strobe (control bit 0, inverted) high at once, low 5 ms later:
// two lines of two registers, each read before it is written.
const char kTwoRegisters[] =
    "$timescale 1 ms $end $var wire 1 a D0 $end $var wire 1 b lpt378_pin01_strobe $end "
    "$enddefinitions $end #0 1a 1b #5 0a 0b";
// All eight data lines: written whole, never read.
const char kDataByte[] =
    "$timescale 1 us $end $var wire 1 a D0 $end $var wire 1 b D1 $end $var wire 1 c D2 $end "
    "$var wire 1 d D3 $end $var wire 1 e D4 $end $var wire 1 f D5 $end $var wire 1 g D6 $end "
    "$var wire 1 h D7 $end $enddefinitions $end #0 1a 0b 0c 0d 0e 0f 0g 1h #3 0a";

enum class Call { None, Play, Pulse, Unload, Exit };

struct Row {
    std::uint16_t base;
    std::uint8_t control;
    long reaching;
    const char* file;
    Call call, during;
    const char* expected;
};

class PlayTest : public CoreTest {
protected:
    // The call's result and a space; nothing for none.
    std::string Run(Call call)
    {
        VcdFileReader reader;
        switch (call) {
        case Call::Play: return std::to_string(controller.PlayPins("f.vcd", reader)) + " ";
        case Call::Pulse: return std::to_string(controller.PulseOutputPin(2, 1, 5000)) + " ";
        case Call::Unload: return WaitSleeper::EndAllWaits(), "";
        case Call::Exit: return controller.EndPulsesAtProcessExit(), "";
        default: return "";
        }
    }
};

// clang-format off
const Row kRows[] = {
    // First, while the scratch folder has no f.vcd yet.
    {0x378, 0x04, -1, nullptr, Call::Play, Call::None, "-9 |  | PlayPins(f.vcd) Port=378 "
     "refused: cannot open the file"},
    {0x378, 0x04, -1, kTwoRegisters, Call::Play, Call::Pulse, "0 -6 | R 37A=04 R 378=00 W 378=01 "
     "R 37A=04 W 37A=04 R 378=01 W 378=00 R 37A=04 W 37A=05 | PlayPins(f.vcd) Port=378 Changes=4 "
     "Length=5000 Latest=3"},
    {0x378, 0x04, -1, kTwoRegisters, Call::Pulse, Call::Play, "0 -6 | R 37A=04 R 378=00 W 378=01 "
     "R 378=01 W 378=00 | PulseOutputPin(2, 1, 5000) Port=378 Width=5001"},
    {0x378, 0x04, -1, kDataByte, Call::Play, Call::None, "0 | R 37A=04 W 378=81 W 378=80 | "
     "PlayPins(f.vcd) Port=378 Changes=2 Length=3 Latest=1"},
    {0x378, 0x24, -1, kTwoRegisters, Call::Play, Call::None, "-7 | R 37A=24 | PlayPins(f.vcd) "
     "Port=378 Changes=0 Length=5000 Latest=0 refused: the data lines are inputs"},
    {0x378, 0x04, 2, kTwoRegisters, Call::Play, Call::None, "-8 | R 37A=04 R 378=00 W 378=01 | "
     "PlayPins(f.vcd) Port=378 Changes=0 Length=5000 Latest=0 not reached: the port did not take change 1"},
    {0x378, 0x04, -1, kTwoRegisters, Call::Play, Call::Unload, "-1 | R 37A=04 R 378=00 W 378=01 "
     "R 37A=04 W 37A=04 | PlayPins(f.vcd) Port=378 Changes=2 Length=5000 Latest=2 ended by the "
     "unload after change 2 of 4"},
    {0x378, 0x04, -1, kTwoRegisters, Call::Play, Call::Exit, "0 | R 37A=04 R 378=00 W 378=01 "
     "R 37A=04 W 37A=04 R 378=01 W 378=00 R 37A=04 W 37A=05 | PlayPins(f.vcd) Port=378 Changes=2 "
     "ended by the end of the process"},
    {0xFFFE, 0x04, -1, kTwoRegisters, Call::Play, Call::None, "-1 |  | "},
};
// clang-format on

TEST_F(PlayTest, EachResultWithItsAccessesAndLine)
{
    for (const Row& row : kRows) {
        fakes::ResetAll();
        fakes::Sleeps().fakeClock = true;
        UsePort(row.base);
        if (row.file != nullptr) std::ofstream("f.vcd") << row.file;
        fakes::Port().registers[0x37A] = row.control;
        fakes::Port().reachingAccesses = row.reaching;
        std::string during;
        fakes::Sleeps().duringSleep = [&] { during = Run(row.during); };
        const std::string results = Run(row.call) + during;
        const std::string line = Debugger().empty() ? "" : Debugger().front();
        EXPECT_EQ(
            results + "| " + test_shared::DescribeAccesses(fakes::Port().trace, 2) + " | " + line,
            row.expected);
    }
}

}  // namespace
