// The exports beyond the ten, in the real library under Wine over the
// simulated port: found by name and by ordinal, bytes, the data lines as
// inputs, and a wait that another thread ends.
#include <gtest/gtest.h>

#include "test_support.h"  // windows.h first

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

TEST(BeyondTheTen, NamesOrdinalsBytesDirectionAndWait)
{
    ScratchDirectory scratch;
    DeviceDescription devices;  // LPT1 at 378
    LoadedLibrary library;
    ASSERT_NE(library.Handle(), nullptr) << "LoadLibrary error " << library.LoadError();
    SimReset();

    const char* const names[] = {"fnOrvane_setParallelDataDirection",
                                 "fnOrvane_setParallelDataByte", "fnOrvane_getParallelDataByte",
                                 "fnOrvane_waitParallelInputPin"};
    for (WORD ordinal = 11; ordinal <= 14; ++ordinal) {
        const FARPROC byName = GetProcAddress(library.Handle(), names[ordinal - 11]);
        EXPECT_NE(byName, nullptr) << names[ordinal - 11];
        EXPECT_EQ(byName, GetProcAddress(library.Handle(), MAKEINTRESOURCEA(ordinal)))
            << "ordinal " << ordinal;
    }
    // Ordinal 15 records the pins (recording_test); nothing after it.
    EXPECT_EQ(GetProcAddress(library.Handle(), "fnOrvane_recordParallelPins"),
              GetProcAddress(library.Handle(), MAKEINTRESOURCEA(15)));
    EXPECT_NE(GetProcAddress(library.Handle(), MAKEINTRESOURCEA(15)), nullptr);
    EXPECT_EQ(GetProcAddress(library.Handle(), MAKEINTRESOURCEA(16)), nullptr);

    const auto setDirection = library.GetByOrdinal<Int1>(11);
    const auto setByte = library.Get<Int1>("fnOrvane_setParallelDataByte");
    const auto getByte = library.GetByOrdinal<Int0>(13);
    const auto wait = library.Get<Int3>("fnOrvane_waitParallelInputPin");
    const Exports calls(library);
    ASSERT_TRUE(setDirection && setByte && getByte && wait && calls.AllFound());

    // No port yet: LPT3 is not in the list, so the selection is cleared.
    ASSERT_EQ(calls.setParallelPort(3), -2);
    unsigned long start = SimTraceCount();
    EXPECT_EQ(setDirection(1), -1);
    EXPECT_EQ(setByte(300), -1);
    EXPECT_EQ(getByte(), -1);
    EXPECT_EQ(wait(1, 1, 99999), -1);
    EXPECT_EQ(Describe(TraceSince(start)), "");

    ASSERT_EQ(calls.setParallelPort(1), 0);
    start = SimTraceCount();
    EXPECT_EQ(setByte(0xA5), 0);
    EXPECT_EQ(setByte(256), -2);
    SimSetDataInputs(0x378, 0x3C);
    EXPECT_EQ(getByte(), 0xA5) << "outputs read back their latch";
    EXPECT_EQ(setDirection(1), 0);
    EXPECT_EQ(getByte(), 0x3C) << "inputs read what drives them";
    EXPECT_EQ(calls.getParallelInputPin(4), 1);
    EXPECT_EQ(setDirection(0), 0);
    EXPECT_EQ(Describe(TraceSince(start)),
              "W 378=A5 R 378=A5 R 37A=00 W 37A=20 R 378=3C R 378=3C R 37A=20 W 37A=00");

    InputChange change{SimTraceCount(), 0};
    const HANDLE raiser = CreateThread(nullptr, 0, &RaisePin10, &change, 0, nullptr);
    ASSERT_NE(raiser, nullptr);
    EXPECT_EQ(wait(10, 1, 60000), 1);
    EXPECT_EQ(change.done, 1) << "the wait ended before the line changed";
    WaitForSingleObject(raiser, INFINITE);
    CloseHandle(raiser);
    EXPECT_EQ(wait(12, 1, 20), 0);

    const std::string log = scratch.LogFile();
    for (const char* line : {"SetDataByte(165) Port=378\r\n", "GetDataByte() Port=378\r\n",
                             "SetDataDirection(1) Port=378\r\n", "SetDataDirection(0) Port=378\r\n",
                             "WaitInputPin(10, 1, 60000) Port=378 Result=1\r\n",
                             "WaitInputPin(12, 1, 20) Port=378 Result=0\r\n"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line << "in:\n" << log;
    }
    EXPECT_EQ(log.find("SetDataByte(256)"), std::string::npos);
}

}  // namespace
