// Addresses no parallel port can have, through the exports and through the
// setup window: address 0 (what a device list without a parallel port
// leaves), bases below 100 (the system board's DMA, interrupt and timer
// controllers and keyboard controller on every PC) and bases above FFFD
// (whose registers would wrap round to I/O addresses 0 to 2). Neither the
// exports nor the window's buttons may touch the port there, nor may the
// exports log; bases 100 and FFFD still reach their three registers.
#include <gtest/gtest.h>

#include "test_support.h"  // windows.h first

#include <string>
#include <vector>

#include "dialog/resource.h"

using namespace test_support;

namespace {

constexpr WPARAM kPollTimer = 123;

// A fresh load with a described device list; the simulated port zeroed.
struct Load {
    explicit Load(const char* description) : devices(description), library(), calls(library)
    {
        const std::vector<HWND> windows = SetupWindowsOfThisThread();
        dialog = windows.size() == 1 ? windows.front() : nullptr;
        SimReset();
        Mark();
    }
    void Mark() { traceStart = SimTraceCount(); }
    std::string Trace() const { return Describe(TraceSince(traceStart)); }
    void Click(int id) const { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

    ScratchDirectory scratch;
    DeviceDescription devices;
    LoadedLibrary library;
    Exports calls;
    HWND dialog = nullptr;
    unsigned long traceStart = 0;
};

// Every export that reaches the port, with valid pins: each result in order.
std::string ResultsOfThePortCalls(const Exports& calls)
{
    const int results[] = {
        calls.setParallelOutputPin(2, 1), calls.setParallelOutputPin(16, 0),
        calls.setParallelOutputPin(1, 1), calls.getParallelInputPin(10),
        calls.getParallelInputPin(2),     calls.prepareParallelOutputBuffer(),
        calls.setParallelOutputAll(),     calls.getParallelInputAll(),
    };
    std::string text;
    for (int result : results) text += (text.empty() ? "" : " ") + std::to_string(result);
    return text;
}

const char kAllRefused[] = "-1 -1 -1 -1 -1 -1 -1 -1";

// Presses and releases every level box, reads the inputs and takes one
// polling tick: everything in the window that can reach the port.
void UseEveryPortButton(const Load& load)
{
    const int levelBoxes[] = {IDC_LEVEL_PIN1,     IDC_LEVEL_PIN2,     IDC_LEVEL_PIN2 + 1,
                              IDC_LEVEL_PIN2 + 2, IDC_LEVEL_PIN2 + 3, IDC_LEVEL_PIN2 + 4,
                              IDC_LEVEL_PIN2 + 5, IDC_LEVEL_PIN2 + 6, IDC_LEVEL_PIN9,
                              IDC_LEVEL_PIN14,    IDC_LEVEL_PIN16,    IDC_LEVEL_PIN17};
    for (int id : levelBoxes) {
        load.Click(id);
        load.Click(id);
    }
    load.Click(IDC_READ_INPUTS);
    load.Click(IDC_POLL_INPUTS);
    SendMessageA(load.dialog, WM_TIMER, kPollTimer, 0);
    load.Click(IDC_POLL_INPUTS);
}

TEST(AddressLimits, DevicesWithoutAParallelPortLeaveAddressZeroThatNothingTouches)
{
    Load load("device COM1\nrange 3F8 3FF\n");
    ASSERT_TRUE(load.calls.AllFound());
    ASSERT_NE(load.dialog, nullptr);
    // An empty first digit: row 0 is selected and keeps its address 0.
    EXPECT_EQ(load.calls.setParallelPortAddress("", "3", "7", "8"), 0);
    EXPECT_EQ(ResultsOfThePortCalls(load.calls), kAllRefused);
    UseEveryPortButton(load);
    EXPECT_EQ(load.Trace(), "");
    EXPECT_NE(load.scratch.LogFile().find("OnClickedHiLo() no LPT selection I/O Addr = 0\r\n"),
              std::string::npos)
        << "the window used row 0's address\n"
        << load.scratch.LogFile();

    // A real address afterwards works for both.
    ASSERT_EQ(load.calls.setParallelPortAddress("3", "7", "8", ""), 0);
    EXPECT_EQ(load.calls.setParallelOutputPin(2, 1), 0);
    load.Click(IDC_LEVEL_PIN16);
    EXPECT_EQ(load.Trace(), "R 378=00 W 378=01 R 37A=00 W 37A=00");
}

TEST(AddressLimits, ManualAddressesBelow100OrAboveFFFDAreNeverAccessed)
{
    struct Case {
        const char* digits[4];
        const char* logged;  // as the window logs it
    };
    const Case cases[] = {
        {{"1", "", "", ""}, "1"},        // DMA controller
        {{"1", "2", "", ""}, "12"},      // DMA controller
        {{"F", "F", "", ""}, "FF"},      // the last address below 100
        {{"F", "F", "F", "E"}, "FFFE"},  // FFFE to 0000
        {{"F", "F", "F", "F"}, "FFFF"},  // FFFF to 0001
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.logged);
        // The device list cannot be read: no list rows, the window uses row 0.
        Load load("count-error 2\n");
        ASSERT_NE(load.dialog, nullptr);
        EXPECT_EQ(load.calls.setParallelPortAddress(test.digits[0], test.digits[1], test.digits[2],
                                                    test.digits[3]),
                  0);
        const std::string logBefore = load.scratch.LogFile();
        EXPECT_EQ(ResultsOfThePortCalls(load.calls), kAllRefused);
        EXPECT_EQ(load.scratch.LogFile(), logBefore) << "a refused call logged";
        UseEveryPortButton(load);
        EXPECT_EQ(load.Trace(), "");
        EXPECT_NE(load.scratch.LogFile().find("OnClickedHiLo() no LPT selection I/O Addr = " +
                                              std::string(test.logged) + "\r\n"),
                  std::string::npos)
            << load.scratch.LogFile();
    }
}

TEST(AddressLimits, ListedPortsBelow100OrAboveFFFDAreNeverAccessed)
{
    struct Case {
        const char* description;
        LRESULT base;
    };
    const Case cases[] = {
        {"device LPT1\nrange 12 19\n", 0x12},
        {"device LPT1\nrange FFFE FFFF\n", 0xFFFE},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.description);
        Load load(test.description);
        ASSERT_NE(load.dialog, nullptr);
        const HWND list = GetDlgItem(load.dialog, IDC_PORT_LIST);
        ASSERT_EQ(SendMessageA(list, CB_GETCOUNT, 0, 0), 1);
        EXPECT_EQ(SendMessageA(list, CB_GETITEMDATA, 0, 0), test.base);
        EXPECT_EQ(load.calls.setParallelPort(1), 0);
        const std::string logBefore = load.scratch.LogFile();
        EXPECT_EQ(ResultsOfThePortCalls(load.calls), kAllRefused);
        EXPECT_EQ(load.scratch.LogFile(), logBefore) << "a refused call logged";
        UseEveryPortButton(load);
        EXPECT_EQ(load.Trace(), "");
    }
}

TEST(AddressLimits, Bases100AndFFFDReachTheirThreeRegistersAndNothingElse)
{
    struct Case {
        const char* digits[4];
        const char* description;  // a listed port at the same base
        const char* exportsTrace;
        const char* windowTrace;
    };
    const Case cases[] = {
        {{"1", "0", "0", ""},
         "device LPT1\nrange 100 107\n",
         "R 100=00 W 100=01 R 102=00 W 102=00 R 102=00 W 102=00 R 101=00 "
         "R 100=01 R 100=01 R 102=00 W 100=01 W 102=00 R 100=01 R 101=00",
         "R 102=00 W 102=00 R 100=00 W 100=00 R 100=00 R 101=00"},
        {{"F", "F", "F", "D"},
         "device LPT1\nrange FFFD FFFF\n",
         "R FFFD=00 W FFFD=01 R FFFF=00 W FFFF=00 R FFFF=00 W FFFF=00 R FFFE=00 "
         "R FFFD=01 R FFFD=01 R FFFF=00 W FFFD=01 W FFFF=00 R FFFD=01 R FFFE=00",
         "R FFFF=00 W FFFF=00 R FFFD=00 W FFFD=00 R FFFD=00 R FFFE=00"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.description);
        {
            Load load("count-error 2\n");
            ASSERT_EQ(load.calls.setParallelPortAddress(test.digits[0], test.digits[1],
                                                        test.digits[2], test.digits[3]),
                      0);
            EXPECT_EQ(ResultsOfThePortCalls(load.calls), "0 0 0 0 1 0 0 0");
            EXPECT_EQ(load.Trace(), test.exportsTrace);
        }
        {
            Load load(test.description);
            ASSERT_NE(load.dialog, nullptr);
            load.Click(IDC_LEVEL_PIN16);
            load.Click(IDC_LEVEL_PIN2);
            load.Click(IDC_READ_INPUTS);
            EXPECT_EQ(load.Trace(), test.windowTrace);
        }
    }
}

}  // namespace
