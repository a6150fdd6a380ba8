// fnOrvane_checkParallelPort (ordinal 18) under Wine: each result, its log
// line and its exact port accesses; a closed INPOUT32 driver at load.
#include <gtest/gtest.h>

#include "test_support.h"  // windows.h first

#include <string>

using namespace test_support;

// 378 answers; nothing at 278 (an absent card) nor at 3BC (writes dropped);
// 50 cannot be a port. The bytes on the data lines stay as they were.
TEST(PortCheck, EachResultWithItsLineAndAccesses)
{
    const ScratchDirectory scratch;
    const DeviceDescription devices;
    const LoadedLibrary library;
    const Exports calls{library};
    const auto check = library.Get<Int0>("fnOrvane_checkParallelPort");
    ASSERT_TRUE(check && calls.AllFound());
    SimReset();
    SimPoke(0x378, 0x3C);
    SimSetNoAnswer(0x278, 0xFF);
    SimSetNoAnswer(0x3BC, 0x00);
    const struct {
        const char* digits[3];
        int result;
        const char* accesses;
        const char* line;
    } cases[] = {
        {{"2", "7", "8"},
         -3,
         "R 27A=FF R 278=FF W 278=55 R 278=FF W 278=AA R 278=FF W 278=FF",
         "CheckPort() Port=278 does not answer: wrote 55 read FF, wrote AA read FF"},
        {{"3", "B", "C"},
         -3,
         "R 3BE=00 R 3BC=00 W 3BC=55 R 3BC=00 W 3BC=AA R 3BC=00 W 3BC=00",
         "CheckPort() Port=3bc does not answer: wrote 55 read 00, wrote AA read 00"},
        {{"5", "0", ""}, -1, "", "CheckPort() Port=50"},
        {{"3", "7", "8"},
         0,
         "R 37A=00 R 378=3C W 378=55 R 378=55 W 378=AA R 378=AA W 378=3C",
         "CheckPort() Port=378 answers: 55 and AA read back"},
    };
    for (const auto& item : cases) {
        calls.setParallelPortAddress(item.digits[0], item.digits[1], item.digits[2], "");
        const unsigned long start = SimTraceCount();
        EXPECT_EQ(check(), item.result) << item.line;
        EXPECT_EQ(Describe(TraceSince(start)), item.accesses);
        const bool logged = scratch.LogFile().find(item.line) != std::string::npos;
        EXPECT_EQ(logged, item.result != -1) << item.line << "\n" << scratch.LogFile();
    }
    EXPECT_EQ(SimPeek(0x378), 0x3C);
    // Data lines as inputs: one read of the control register.
    SimPoke(0x37A, 0x24);
    const unsigned long start = SimTraceCount();
    EXPECT_EQ(check(), 0);
    EXPECT_EQ(Describe(TraceSince(start)), "R 37A=24");
    EXPECT_NE(scratch.LogFile().find("Port=378 answers: data lines are inputs, control reads 24"),
              std::string::npos);
}

// The load says so once; the check touches nothing; a pin call as before.
TEST(PortCheck, AClosedDriverGivesMinus4)
{
    const ScratchDirectory scratch;
    const DeviceDescription devices;
    SetEnvironmentVariableA("DORUZEDA_INPOUT32_DRIVER", "0");
    const LoadedLibrary library;
    SetEnvironmentVariableA("DORUZEDA_INPOUT32_DRIVER", nullptr);
    const Exports calls{library};
    const auto check = library.Get<Int0>("fnOrvane_checkParallelPort");
    ASSERT_TRUE(check && calls.AllFound());
    SimReset();
    const unsigned long start = SimTraceCount();
    EXPECT_EQ(check(), -4);
    EXPECT_EQ(calls.setParallelOutputPin(2, 1), 0);
    EXPECT_EQ(Describe(TraceSince(start)), "R 378=00 W 378=01");
    const std::string log = scratch.LogFile();
    const std::string line = "The INPOUT32 driver is not open: port accesses have no effect";
    const auto first = log.find(line);
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(line, first + 1), std::string::npos) << log;
    EXPECT_NE(log.find("CheckPort() Port=378 not checked: the INPOUT32 driver is not open"),
              std::string::npos);
}
