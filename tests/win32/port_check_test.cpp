// fnOrvane_checkParallelPort (ordinal 18) under Wine: each result, its log
// line and its exact port accesses; a closed INPOUT32 driver at load.
#include <gtest/gtest.h>

#include "test_support.h"  // windows.h first

#include <string>

using namespace test_support;

// The number of lines of `log` that contain `text`.
int LinesWith(const std::string& log, const std::string& text)
{
    int lines = 0;
    for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++lines;
    return lines;
}

// A closed driver first: the load says so once, the check touches nothing,
// a pin call works as before. Then, open: 378 answers, with its data lines as
// outputs and as inputs (one read); nothing at 278 (an absent card) nor at
// 3BC (writes dropped); 50 cannot be a port. The data lines keep their bytes.
TEST(PortCheck, EachResultWithItsLineAndAccesses)
{
    const ScratchDirectory scratch;
    const DeviceDescription devices;
    const struct {
        bool closed;
        const char* digits;
        unsigned char control;  // at 37A
        int result;
        const char* accesses;
        const char* line;
    } cases[] = {
        {true, "378", 0, -4, "R 378=3C W 378=3D",
         "CheckPort() Port=378 not checked: the INPOUT32 driver is not open"},
        {false, "278", 0, -3, "R 27A=FF R 278=FF W 278=55 R 278=FF W 278=AA R 278=FF W 278=FF",
         "CheckPort() Port=278 does not answer: wrote 55 read FF, wrote AA read FF"},
        {false, "3BC", 0, -3, "R 3BE=00 R 3BC=00 W 3BC=55 R 3BC=00 W 3BC=AA R 3BC=00 W 3BC=00",
         "CheckPort() Port=3bc does not answer: wrote 55 read 00, wrote AA read 00"},
        {false, "50", 0, -1, "", "CheckPort() Port=50"},
        {false, "378", 0, 0, "R 37A=00 R 378=3C W 378=55 R 378=55 W 378=AA R 378=AA W 378=3C",
         "CheckPort() Port=378 answers: 55 and AA read back"},
        {false, "378", 0x24, 0, "R 37A=24",
         "CheckPort() Port=378 answers: data lines are inputs, control reads 24"},
    };
    for (const auto& item : cases) {
        SetEnvironmentVariableA("DORUZEDA_INPOUT32_DRIVER", item.closed ? "0" : nullptr);
        const LoadedLibrary library;
        SetEnvironmentVariableA("DORUZEDA_INPOUT32_DRIVER", nullptr);
        const Exports calls{library};
        const auto check = library.Get<Int0>("fnOrvane_checkParallelPort");
        ASSERT_TRUE(check && calls.AllFound());
        SimReset();
        SimPoke(0x378, 0x3C);
        SimPoke(0x37A, item.control);
        SimSetNoAnswer(0x278, 0xFF);
        SimSetNoAnswer(0x3BC, 0x00);
        calls.setParallelPortAddress(std::string(1, item.digits[0]).c_str(),
                                     std::string(1, item.digits[1]).c_str(),
                                     std::string(1, item.digits[2]).c_str(), "");
        const unsigned long start = SimTraceCount();
        EXPECT_EQ(check(), item.result) << item.line;
        EXPECT_EQ(item.closed ? calls.setParallelOutputPin(2, 1) : 0, 0) << "a pin call";
        EXPECT_EQ(Describe(TraceSince(start)), item.accesses) << item.line;
        EXPECT_EQ(LinesWith(scratch.LogFile(), item.line), item.result == -1 ? 0 : 1)
            << item.line << "\n"
            << scratch.LogFile();
    }
    const std::string log = scratch.LogFile();
    EXPECT_EQ(LinesWith(log, "The INPOUT32 driver is not open: port accesses have no effect"), 1)
        << log;
}
