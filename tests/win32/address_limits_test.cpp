// Addresses no parallel port can have, through the exports and through the
// setup window: address 0 (what a device list without a parallel port
// leaves) and bases above FFFD (whose registers would wrap round to I/O
// addresses 0 to 2, the DMA controller's). Neither the exports nor the
// window's buttons may touch the port there; base FFFD still reaches its
// three registers, FFFD to FFFF.
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

TEST(AddressLimits, ManualAddressesAboveFFFDAreNeverAccessed)
{
    const char* const lastDigits[] = {"E", "F"};
    for (const char* last : lastDigits) {
        // The device list cannot be read: no list rows, the window uses row 0.
        Load load("count-error 2\n");
        ASSERT_NE(load.dialog, nullptr);
        EXPECT_EQ(load.calls.setParallelPortAddress("F", "F", "F", last), 0);
        EXPECT_EQ(ResultsOfThePortCalls(load.calls), kAllRefused) << "FFF" << last;
        UseEveryPortButton(load);
        EXPECT_EQ(load.Trace(), "") << "FFF" << last;
        EXPECT_NE(load.scratch.LogFile().find("I/O Addr = FFF" + std::string(last) + "\r\n"),
                  std::string::npos)
            << load.scratch.LogFile();
    }
}

TEST(AddressLimits, AListedPortAtFFFEIsNeverAccessed)
{
    Load load("device LPT1\nrange FFFE FFFF\n");
    ASSERT_NE(load.dialog, nullptr);
    const HWND list = GetDlgItem(load.dialog, IDC_PORT_LIST);
    ASSERT_EQ(SendMessageA(list, CB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(SendMessageA(list, CB_GETITEMDATA, 0, 0), 0xFFFE);
    EXPECT_EQ(load.calls.setParallelPort(1), 0);
    EXPECT_EQ(ResultsOfThePortCalls(load.calls), kAllRefused);
    UseEveryPortButton(load);
    EXPECT_EQ(load.Trace(), "");
}

TEST(AddressLimits, BaseFFFDReachesItsThreeRegistersAndNothingBelow)
{
    {
        Load load("count-error 2\n");
        ASSERT_EQ(load.calls.setParallelPortAddress("F", "F", "F", "D"), 0);
        EXPECT_EQ(ResultsOfThePortCalls(load.calls), "0 0 0 0 1 0 0 0");
        EXPECT_EQ(load.Trace(),
                  "R FFFD=00 W FFFD=01 R FFFF=00 W FFFF=00 R FFFF=00 W FFFF=00 R FFFE=00 "
                  "R FFFD=01 R FFFD=01 R FFFF=00 W FFFD=01 W FFFF=00 R FFFD=01 R FFFE=00");
    }
    {
        Load load("device LPT1\nrange FFFD FFFF\n");
        ASSERT_NE(load.dialog, nullptr);
        load.Click(IDC_LEVEL_PIN16);
        load.Click(IDC_LEVEL_PIN2);
        load.Click(IDC_READ_INPUTS);
        EXPECT_EQ(load.Trace(), "R FFFF=00 W FFFF=00 R FFFD=00 W FFFD=00 R FFFD=00 R FFFE=00");
    }
}

}  // namespace
