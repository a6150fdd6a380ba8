// fnOrvane_checkParallelPort (ordinal 18) and the load's question to
// INPOUT32.dll, in the real library under Wine: each result with its log line
// and its exact port accesses, over a port that answers, one that does not
// (an absent card, a system that drops writes) and a closed driver.
#include <gtest/gtest.h>

#include "test_support.h"  // windows.h first

#include <string>

using namespace test_support;

namespace {

const char kDriverLine[] =
    "The INPOUT32 driver is not open: port accesses have no effect. Install or start it: run a "
    "program that loads INPOUT32.dll once with administrator rights";

// The stand-in's IsInpOutDriverOpen answers 0 while it is set: from before
// the load to the end of the object.
struct ClosedDriver {
    ClosedDriver() { SetEnvironmentVariableA("DORUZEDA_INPOUT32_DRIVER", "0"); }
    ~ClosedDriver() { SetEnvironmentVariableA("DORUZEDA_INPOUT32_DRIVER", nullptr); }
};

class PortCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(library.Handle(), nullptr) << "LoadLibrary error " << library.LoadError();
        ASSERT_TRUE(check && calls.AllFound());
        SimReset();
    }
    // How often the log file holds `line` (after its time stamp).
    int Logged(const std::string& line) const
    {
        const std::string log = scratch.LogFile();
        int count = 0;
        for (auto at = log.find(" " + line + "\r\n"); at != std::string::npos;
             at = log.find(" " + line + "\r\n", at + 1)) {
            ++count;
        }
        return count;
    }

    ScratchDirectory scratch;
    DeviceDescription devices;  // LPT1 at 378
    LoadedLibrary library;
    const Int0 check = library.Get<Int0>("fnOrvane_checkParallelPort");
    const Exports calls{library};
};

// Outputs: the two patterns, and the byte before them back on the lines.
// Inputs: one read of the control register, nothing written.
TEST_F(PortCheck, APortThatAnswersKeepsItsBytes)
{
    ASSERT_EQ(calls.setParallelPort(1), 0);
    SimPoke(0x378, 0x3C);
    unsigned long start = SimTraceCount();
    EXPECT_EQ(check(), 0);
    EXPECT_EQ(Describe(TraceSince(start)),
              "R 37A=00 R 378=3C W 378=55 R 378=55 W 378=AA R 378=AA W 378=3C");
    EXPECT_EQ(SimPeek(0x378), 0x3C);
    EXPECT_EQ(Logged("CheckPort() Port=378 answers: 55 and AA read back"), 1) << scratch.LogFile();

    SimPoke(0x37A, 0x24);
    SimSetDataInputs(0x378, 0x96);
    start = SimTraceCount();
    EXPECT_EQ(check(), 0);
    EXPECT_EQ(Describe(TraceSince(start)), "R 37A=24");
    EXPECT_EQ(SimPeek(0x378), 0x3C) << "the latch behind the inputs";
    EXPECT_EQ(Logged("CheckPort() Port=378 answers: data lines are inputs, control reads 24"), 1);
    EXPECT_EQ(Logged(kDriverLine), 0);
}

// An absent card reads FF everywhere, a system that drops writes 00.
TEST_F(PortCheck, APortThatDoesNotAnswerGivesMinus3)
{
    struct Case {
        unsigned char reads;
        const char* accesses;
        const char* line;
    };
    const Case cases[] = {
        {0xFF, "R 27A=FF R 278=FF W 278=55 R 278=FF W 278=AA R 278=FF W 278=FF",
         "CheckPort() Port=278 does not answer: wrote 55 read FF, wrote AA read FF"},
        {0x00, "R 27A=00 R 278=00 W 278=55 R 278=00 W 278=AA R 278=00 W 278=00",
         "CheckPort() Port=278 does not answer: wrote 55 read 00, wrote AA read 00"},
    };
    ASSERT_EQ(calls.setParallelPortAddress("2", "7", "8", ""), 0);
    for (const Case& item : cases) {
        SimSetNoAnswer(0x278, item.reads);
        const unsigned long start = SimTraceCount();
        EXPECT_EQ(check(), -3) << int{item.reads};
        EXPECT_EQ(Describe(TraceSince(start)), item.accesses);
        EXPECT_EQ(Logged(item.line), 1) << scratch.LogFile();
    }
}

// No selection, and an address no port can have (50: the system board's).
TEST_F(PortCheck, NoPortGivesMinus1WithNoAccessAndNoLine)
{
    ASSERT_EQ(calls.setParallelPort(3), -2);
    const unsigned long start = SimTraceCount();
    EXPECT_EQ(check(), -1);
    ASSERT_EQ(calls.setParallelPortAddress("5", "0", "", ""), 0);
    EXPECT_EQ(check(), -1);
    EXPECT_EQ(Describe(TraceSince(start)), "");
    EXPECT_EQ(scratch.LogFile().find("CheckPort"), std::string::npos) << scratch.LogFile();
}

// A closed driver: the load says so once; the check then touches nothing,
// and the other exports make their accesses as before.
TEST(PortCheckClosedDriver, TheLoadSaysSoOnceAndTheCheckGivesMinus4)
{
    ScratchDirectory scratch;
    DeviceDescription devices;
    const ClosedDriver closed;
    LoadedLibrary library;
    ASSERT_NE(library.Handle(), nullptr) << "LoadLibrary error " << library.LoadError();
    const auto check = library.Get<Int0>("fnOrvane_checkParallelPort");
    const Exports calls{library};
    ASSERT_TRUE(check && calls.AllFound());
    SimReset();
    ASSERT_EQ(calls.setParallelPort(1), 0);
    unsigned long start = SimTraceCount();
    EXPECT_EQ(check(), -4);
    EXPECT_EQ(check(), -4);
    EXPECT_EQ(Describe(TraceSince(start)), "");
    start = SimTraceCount();
    EXPECT_EQ(calls.setParallelOutputPin(2, 1), 0);
    EXPECT_EQ(Describe(TraceSince(start)), "R 378=00 W 378=01");

    const std::string log = scratch.LogFile();
    const std::string line = std::string(" ") + kDriverLine + "\r\n";
    const auto first = log.find(line);
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(line, first + 1), std::string::npos) << "once: " << log;
    EXPECT_NE(log.find(" CheckPort() Port=378 not checked: the INPOUT32 driver is not open\r\n"),
              std::string::npos)
        << log;
}

}  // namespace
