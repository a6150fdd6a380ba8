// The exports beyond the ten, in the real library under Wine over the
// simulated port, one case per concern: refusals with no port, bytes, the
// data lines as inputs, and a wait that another thread's change ends or that
// times out; pulses over a port that drops accesses, and the end of the
// process during a pulse (the program is also that process:
// "--end-during-pulse"). Their names and ordinals are check-dll-tables.sh's.
#include <gtest/gtest.h>

#include "test_support.h"  // windows.h first

#include <process.h>

#include <algorithm>
#include <cstring>
#include <string>

using namespace test_support;

namespace {

using Int3 = int(__cdecl*)(int, int, int);

struct InputChange {
    unsigned long readsBefore;
    volatile LONG done;
};

// Once the wait has read the port a few hundred times (and so sleeps between
// reads), raises pin 10.
DWORD WINAPI RaisePin10(void* argument)
{
    auto* change = static_cast<InputChange*>(argument);
    while (SimTraceCount() < change->readsBefore + 300) Sleep(1);
    InterlockedExchange(&change->done, 1);
    SimSetInputLines(0x378, 0x40);
    return 0;
}

// The library loaded over a list of one port, LPT1 at 378, and the four
// exports found by name; the port is chosen by each case.
class BeyondTheTen : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(library.Handle(), nullptr) << "LoadLibrary error " << library.LoadError();
        ASSERT_TRUE(setDirection && setByte && getByte && wait && time && pulsePin && pulseByte &&
                    calls.AllFound());
        SimReset();
    }
    // Whether the log file holds `line` (without its time stamp).
    bool Logged(const std::string& line) const
    {
        return scratch.LogFile().find(" " + line + "\r\n") != std::string::npos;
    }

    ScratchDirectory scratch;
    DeviceDescription devices;
    LoadedLibrary library;
    const Int1 setDirection = library.Get<Int1>("fnOrvane_setParallelDataDirection");
    const Int1 setByte = library.Get<Int1>("fnOrvane_setParallelDataByte");
    const Int0 getByte = library.Get<Int0>("fnOrvane_getParallelDataByte");
    const Int3 wait = library.Get<Int3>("fnOrvane_waitParallelInputPin");
    const Int3 time = library.Get<Int3>("fnOrvane_timeParallelInputPin");
    const Int3 pulsePin = library.Get<Int3>("fnOrvane_pulseParallelOutputPin");
    const Int2 pulseByte = library.Get<Int2>("fnOrvane_pulseParallelDataByte");
    const Exports calls{library};
};

// The selection is tested first: -1 whatever the argument, and no access.
TEST_F(BeyondTheTen, WithNoPortEachIsRefused)
{
    ASSERT_EQ(calls.setParallelPort(3), -2);  // not in the list: the selection is cleared
    const unsigned long start = SimTraceCount();
    EXPECT_EQ(setDirection(1), -1);
    EXPECT_EQ(setByte(300), -1);
    EXPECT_EQ(getByte(), -1);
    EXPECT_EQ(wait(1, 1, 99999), -1);
    EXPECT_EQ(pulsePin(10, 1, 0), -1);
    EXPECT_EQ(pulseByte(300, 0), -1);
    EXPECT_EQ(Describe(TraceSince(start)), "");
}

// Through the exports as the host calls them: each pulse's two writes and
// its line, and a refusal with a port that touches nothing.
TEST_F(BeyondTheTen, PulsesPutTheByteAndThePinBack)
{
    ASSERT_EQ(calls.setParallelPort(1), 0);
    ASSERT_EQ(setByte(0x0F), 0);
    const unsigned long start = SimTraceCount();
    EXPECT_EQ(pulseByte(0xF0, 1500), 0);
    EXPECT_EQ(pulsePin(16, -1, 100), 0);
    EXPECT_EQ(pulseByte(256, 10), -2);
    EXPECT_EQ(Describe(TraceSince(start)),
              "R 37A=00 R 378=0F W 378=F0 W 378=0F R 37A=00 W 37A=04 R 37A=04 W 37A=00");
    EXPECT_NE(scratch.LogFile().find(" PulseOutputPin(16, -1, 100) Port=378 Width="),
              std::string::npos)
        << scratch.LogFile();
    // [3] INPOUT32.dll's LastPortAccessReached, looked up by name: the
    // stand-in says an address without an answer dropped the read; nothing
    // is written.
    SimSetNoAnswer(0x378, 0xFF);
    const unsigned long dropped = SimTraceCount();
    EXPECT_EQ(pulsePin(16, 1, 100), -8);
    EXPECT_EQ(Describe(TraceSince(dropped)), "R 37A=FF");
}

TEST_F(BeyondTheTen, AByteIsWrittenWholeAndReadBackFromItsLatch)
{
    ASSERT_EQ(calls.setParallelPort(1), 0);
    const unsigned long start = SimTraceCount();
    EXPECT_EQ(setByte(0xA5), 0);
    EXPECT_EQ(setByte(256), -2);
    SimSetDataInputs(0x378, 0x3C);
    EXPECT_EQ(getByte(), 0xA5) << "outputs read back their latch";
    EXPECT_EQ(Describe(TraceSince(start)), "W 378=A5 R 378=A5");
    EXPECT_TRUE(Logged("SetDataByte(165) Port=378")) << scratch.LogFile();
    EXPECT_TRUE(Logged("GetDataByte() Port=378")) << scratch.LogFile();
    EXPECT_EQ(scratch.LogFile().find("SetDataByte(256)"), std::string::npos);
}

TEST_F(BeyondTheTen, DataLinesAsInputsReadWhatDrivesThem)
{
    ASSERT_EQ(calls.setParallelPort(1), 0);
    ASSERT_EQ(setByte(0xA5), 0);
    SimSetDataInputs(0x378, 0x3C);
    const unsigned long start = SimTraceCount();
    EXPECT_EQ(setDirection(1), 0);
    EXPECT_EQ(getByte(), 0x3C);
    EXPECT_EQ(calls.getParallelInputPin(4), 1);
    EXPECT_EQ(setDirection(0), 0);
    EXPECT_EQ(Describe(TraceSince(start)), "R 37A=00 W 37A=20 R 378=3C R 378=3C R 37A=20 W 37A=00");
    EXPECT_TRUE(Logged("SetDataDirection(1) Port=378")) << scratch.LogFile();
    EXPECT_TRUE(Logged("SetDataDirection(0) Port=378")) << scratch.LogFile();
}

// A wait ends when another thread changes the input, or at its time.
TEST_F(BeyondTheTen, AWaitEndsAtTheChangeOrAtItsTime)
{
    ASSERT_EQ(calls.setParallelPort(1), 0);
    InputChange change{SimTraceCount(), 0};
    const HANDLE raiser = CreateThread(nullptr, 0, &RaisePin10, &change, 0, nullptr);
    ASSERT_NE(raiser, nullptr);
    EXPECT_EQ(wait(10, 1, 60000), 1);
    EXPECT_EQ(change.done, 1) << "the wait ended before the line changed";
    WaitForSingleObject(raiser, INFINITE);
    CloseHandle(raiser);
    EXPECT_EQ(wait(12, 1, 20), 0);
    EXPECT_TRUE(Logged("WaitInputPin(10, 1, 60000) Port=378 Result=1")) << scratch.LogFile();
    EXPECT_TRUE(Logged("WaitInputPin(12, 1, 20) Port=378 Result=0")) << scratch.LogFile();
}

// The child of the case below: main returns 300 ms into a pulse of 10 s on
// another thread, the library still loaded.
int EndDuringPulse()
{
    const auto* library = new LoadedLibrary;  // never unloaded: the process's end comes first
    if (Exports{*library}.setParallelPort(1) != 0) return 3;
    const auto pulse = library->Get<Int3>("fnOrvane_pulseParallelOutputPin");
    const auto pulse2 = [](void* call) WINAPI -> DWORD {
        return static_cast<DWORD>(reinterpret_cast<Int3>(call)(2, 1, 10000000));
    };
    CreateThread(nullptr, 0, pulse2, reinterpret_cast<void*>(pulse), 0, nullptr);
    Sleep(300);
    return 0;
}

// [5] The end of the process during a pulse puts the pin back, with the line.
TEST_F(BeyondTheTen, TheEndOfTheProcessDuringAPulsePutsThePinBack)
{
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    const unsigned long start = SimTraceCount();
    EXPECT_EQ(_spawnl(_P_WAIT, program, program, "--end-during-pulse", nullptr), 0);
    EXPECT_EQ(Describe(TraceSince(start)), "R 37A=00 R 378=00 W 378=01 R 378=01 W 378=00");
    EXPECT_NE(scratch.LogFile().find(" PulseOutputPin(2, 1, 10000000) Port=378 Width="),
              std::string::npos)
        << scratch.LogFile();
    EXPECT_NE(scratch.LogFile().find(" ended by the end of the process\r\n"), std::string::npos);
}

// Ordinal 19, pin 10 high and pin 12 low: each result with its port accesses
// and its log line (none for a refusal), past the line's time stamp.
TEST_F(BeyondTheTen, ATimeReadsUntilTheLevelOrItsTime)
{
    struct Case {
        int port, pin, timeoutMs;
        const char* expected;  // the result | the accesses | the line
    };
    const Case cases[] = {
        {1, 10, 5000, "0 | R 379=40 | TimeInputPin(10, 1, 5000) Port=378 Time=0\r\n"},
        {1, 12, 0, "-5 | R 379=40 | TimeInputPin(12, 1, 0) Port=378 Time=timed out\r\n"},
        {3, 10, 5000, "-1 |  | "},
        {1, 1, 5000, "-2 |  | "},
        {1, 14, 5000, "-2 |  | "},
        {1, 10, 60001, "-2 |  | "},
    };
    SimSetInputLines(0x378, 0x40);
    for (const Case& test : cases) {
        calls.setParallelPort(test.port);
        const unsigned long start = SimTraceCount();
        const std::size_t logged = scratch.LogFile().size();
        const int result = time(test.pin, 1, test.timeoutMs);
        const std::string added = scratch.LogFile().substr(logged);
        EXPECT_EQ(std::to_string(result) + " | " + Describe(TraceSince(start)) + " | " +
                      added.substr(std::min<std::size_t>(added.size(), 24)),
                  test.expected);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--end-during-pulse") == 0) return EndDuringPulse();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
