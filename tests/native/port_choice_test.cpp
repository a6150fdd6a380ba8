// Choosing the port: by LPT number, by a manually given address, and how
// both meet the discovery fallback.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "core_fixture.h"

namespace {

class SelectPortByNumberTest : public CoreTest {
protected:
    SelectPortByNumberTest() { controller.SetView(&view); }
    fakes::LoggingView view;
};

TEST_F(SelectPortByNumberTest, FindsTheFirstRowWhoseWholeNameMatches)
{
    UseTable({{"LPT1", 0x378},
              {"LPT2", 0x278},
              {"ECP LPT3", 0x3BC},
              {"LPT4", 0x100},
              {"LPT4", 0x200},
              {"LPT10", 0x300}});
    struct Case {
        int number;
        int result;
        int selected;
    };
    const Case cases[] = {
        {1, 0, 0}, {2, 0, 1}, {3, -2, -1}, {4, 0, 3}, {10, 0, 5}, {5, -2, -1},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::Message() << "LPT" << test.number);
        view.calls.clear();
        controller.ChooseRow(2);
        EXPECT_EQ(controller.SelectPortByNumber(test.number), test.result);
        EXPECT_EQ(controller.SelectedRow(), test.selected);
        if (test.result == 0) {
            EXPECT_EQ(view.calls, std::vector<std::string>{"ShowPortList(" +
                                                           std::to_string(test.selected) + ")"});
        } else {
            EXPECT_TRUE(view.calls.empty());
        }
    }
    EXPECT_EQ(Trace(), "");
    EXPECT_TRUE(Debugger().empty());
    EXPECT_EQ(LogFile(), "");
}

TEST_F(SelectPortByNumberTest, NumbersOutsideOneToTenKeepTheSelection)
{
    UseTable({{"LPT1", 0x378}, {"LPT2", 0x278}});
    for (int number : {0, 11, -1, 100, INT_MIN, INT_MAX}) {
        controller.ChooseRow(1);
        EXPECT_EQ(controller.SelectPortByNumber(number), -1) << number;
        EXPECT_EQ(controller.SelectedRow(), 1) << number;
    }
    EXPECT_TRUE(view.calls.empty());
    EXPECT_TRUE(Debugger().empty());
}

TEST_F(SelectPortByNumberTest, AfterAnAbsentNamePinOperationsHaveNoPort)
{
    UsePort(0x378);
    EXPECT_EQ(controller.SelectPortByNumber(2), -2);
    EXPECT_EQ(controller.SetPinOutput(2, 1), -1);
    EXPECT_EQ(controller.GetPinInput(2), -1);
    EXPECT_EQ(Trace(), "");
    EXPECT_EQ(controller.SelectPortByNumber(1), 0);
    EXPECT_EQ(controller.SetPinOutput(2, 1), 0);
    EXPECT_EQ(Trace(), "R 378=0000 W 378=0001");
}

class SetManualAddressTest : public CoreTest {
protected:
    SetManualAddressTest() { controller.SetView(&view); }
    fakes::LoggingView view;
};

TEST_F(SetManualAddressTest, BuildsTheAddressFromTheFirstCharacters)
{
    constexpr std::uint16_t kBefore = 0x3BC;
    struct Case {
        const char* parts[4];
        const char* text;
        std::uint16_t address;  // kBefore: unchanged
    };
    const Case cases[] = {
        {{"3", "7", "8", ""}, "378", 0x378},
        {{"0", "2", "7", "8"}, "0278", 0x278},
        {{"z", "1", "2", "3"}, "z123", kBefore},
        {{" ", "1", "2", "3"}, " 123", 0x123},
        {{"0", "x", "1", "2"}, "0x12", 0x12},
        {{"37", "8x", "9", "ab"}, "389a", 0x389A},
        {{"a", "B", "c", "D"}, "aBcD", 0xABCD},
        {{"F", "F", "F", "F"}, "FFFF", 0xFFFF},
        {{"1", "2", "3", "g"}, "123g", 0x123},
        {{"-", "1", "2", "3"}, "-123", 0xFEDD},  // %x takes a sign; the low 16 bits stay
        {{"", "7", "8", "9"}, "", kBefore},
        {{"3", "", "8", "9"}, "3", 0x3},
        {{"2", "7", "", "9"}, "27", 0x27},
        {{nullptr, "7", "8", "9"}, "", kBefore},
        {{"3", nullptr, "8", "9"}, "3", 0x3},
        {{"3", "7", "8", nullptr}, "378", 0x378},
        {{"%", "s", "%", "n"}, "%s%n", kBefore},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(std::string("text \"") + test.text + "\"");
        fakes::ResetLogSink();
        view.calls.clear();
        UseTable({{"LPT1", kBefore}, {"LPT2", 0x278}});
        EXPECT_EQ(
            controller.SetManualAddress(test.parts[0], test.parts[1], test.parts[2], test.parts[3]),
            0);
        const PortController::PortRows table = controller.RowsToList();
        EXPECT_EQ(table.rows[0].baseAddress, test.address);
        EXPECT_EQ(controller.SelectedRow(), 0);
        const std::string line =
            std::string("Port is set by setParallelPortAddress() Port=") + test.text;
        EXPECT_EQ(Debugger(), std::vector<std::string>{line});
        EXPECT_EQ(view.calls,
                  std::vector<std::string>{std::string("ShowAddressField(") + test.text + ")"});
        // The table's other contents stay.
        EXPECT_EQ(table.count, 2);
        EXPECT_STREQ(table.rows[0].name, "LPT1");
        EXPECT_STREQ(table.rows[0].label, "LPT1 (3BC-3BF)");
        EXPECT_STREQ(table.rows[1].name, "LPT2");
        EXPECT_EQ(table.rows[1].baseAddress, 0x278);
    }
    EXPECT_EQ(Trace(), "");
}

TEST_F(SetManualAddressTest, WritesOneFileLinePerCall)
{
    controller.SetManualAddress("3", "7", "8", "");
    controller.SetManualAddress("%", "d", "", "");
    EXPECT_EQ(LogFile(), FileLine("Port is set by setParallelPortAddress() Port=378") +
                             FileLine("Port is set by setParallelPortAddress() Port=%d"));
}

TEST_F(SetManualAddressTest, SelectsRowZeroOfAnEmptyTable)
{
    EXPECT_EQ(controller.RowsToList().count, 0);
    EXPECT_EQ(controller.SetManualAddress("0", "2", "7", "8"), 0);
    EXPECT_EQ(controller.SelectedRow(), 0);
    EXPECT_EQ(controller.RowsToList().rows[0].baseAddress, 0x278);
    EXPECT_EQ(controller.RowsToList().count, 0);
    EXPECT_EQ(controller.SetPinOutput(2, 1), 0);
    EXPECT_EQ(Trace(), "R 278=0000 W 278=0001");
}

TEST_F(SetManualAddressTest, EmptyFirstStringSelectsRowZeroAtItsOldAddress)
{
    UseTable({{"LPT1", 0x3BC}});
    EXPECT_EQ(controller.SetManualAddress("", "", "", ""), 0);
    EXPECT_EQ(controller.SelectedRow(), 0);
    EXPECT_EQ(controller.RowsToList().rows[0].baseAddress, 0x3BC);
    EXPECT_EQ(Debugger(),
              std::vector<std::string>{"Port is set by setParallelPortAddress() Port="});
}

TEST_F(SetManualAddressTest, NullPointersEverywhereCountAsEmpty)
{
    EXPECT_EQ(controller.SetManualAddress(nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(controller.SelectedRow(), 0);
    EXPECT_EQ(view.calls, std::vector<std::string>{"ShowAddressField()"});
}

TEST_F(SetManualAddressTest, LaterSelectionOfRowZeroUsesTheManualAddress)
{
    UseTable({{"LPT1", 0x378}, {"LPT2", 0x3BC}});
    ASSERT_EQ(controller.SetManualAddress("2", "7", "8", ""), 0);
    ASSERT_EQ(controller.SelectPortByNumber(2), 0);
    ASSERT_EQ(controller.SelectPortByNumber(1), 0);
    EXPECT_EQ(controller.SelectedRow(), 0);
    EXPECT_EQ(controller.SetPinOutput(2, 1), 0);
    EXPECT_EQ(Trace(), "R 278=0000 W 278=0001");
    EXPECT_EQ(view.calls, (std::vector<std::string>{"ShowAddressField(278)", "ShowPortList(1)",
                                                    "ShowPortList(0)"}));
}

// A controller that never had a view (the window failed to come up, say):
// both ways of choosing still take effect at the port.
class ChoosingWithoutAViewTest : public CoreTest {};

TEST_F(ChoosingWithoutAViewTest, BothWaysOfChoosingStillSteerThePins)
{
    UseTable({{"LPT1", 0x378}, {"LPT2", 0x278}});
    EXPECT_EQ(controller.SelectPortByNumber(2), 0);
    EXPECT_EQ(controller.SetPinOutput(2, 1), 0);
    EXPECT_EQ(controller.SetManualAddress("3", "B", "C", ""), 0);
    EXPECT_EQ(controller.SetPinOutput(3, 1), 0);
    EXPECT_EQ(Trace(), "R 278=0000 W 278=0001 R 3BC=0000 W 3BC=0002");
    EXPECT_EQ(LogFile(), FileLine("SetPinOutput(2, 1) Port=278") +
                             FileLine("Port is set by setParallelPortAddress() Port=3BC") +
                             FileLine("SetPinOutput(3, 1) Port=3bc"));
}

// After the fallback of discovery no row carries a name, so choosing by number
// always fails and leaves no port until an address is set by hand.
TEST_F(SetManualAddressTest, DiscoveryFallbackThenChoosingByNumber)
{
    fakes::Devices().countFails = true;
    ASSERT_FALSE(controller.EnumeratePorts());
    ASSERT_EQ(controller.SelectedRow(), 0);
    ASSERT_EQ(controller.RowsToList().rows[0].baseAddress, 0x378);
    EXPECT_EQ(controller.SetPinOutput(2, 1), 0);
    EXPECT_EQ(Trace(), "R 378=0000 W 378=0001");
    fakes::Port().trace.clear();

    for (int number = 1; number <= 10; ++number) {
        controller.ChooseRow(0);
        EXPECT_EQ(controller.SelectPortByNumber(number), -2) << number;
        EXPECT_EQ(controller.SelectedRow(), -1) << number;
    }
    EXPECT_TRUE(view.calls.empty());
    EXPECT_EQ(controller.SetPinOutput(2, 0), -1);
    EXPECT_EQ(controller.GetPinInput(2), -1);
    EXPECT_EQ(controller.PrepareOutputBuffer(), -1);
    EXPECT_EQ(controller.SetOutputAll(), -1);
    EXPECT_EQ(controller.GetInputAll(), -1);
    EXPECT_EQ(controller.FetchInputPin(2), -1);
    EXPECT_EQ(Trace(), "");

    EXPECT_EQ(controller.SetManualAddress("3", "7", "8", ""), 0);
    EXPECT_EQ(controller.SetPinOutput(2, 0), 0);
    EXPECT_EQ(Trace(), "R 378=0001 W 378=0000");
}

// Without a window (no display), row 0 is selected as the window's
// initialisation selects it, and only when discovery listed a port.
class WithoutWindowTest : public CoreTest {};

TEST_F(WithoutWindowTest, RowZeroOfAListIsSelected)
{
    UseTable({{"LPT2", 0x278}, {"LPT1", 0x378}});
    ASSERT_EQ(controller.SetPinOutput(2, 1), -1);
    controller.SelectFirstListedPortWithoutWindow();
    EXPECT_EQ(controller.SetPinOutput(2, 1), 0);
    EXPECT_EQ(Trace(), "R 278=0000 W 278=0001");
}

TEST_F(WithoutWindowTest, AListWithoutAPortSelectsNothing)
{
    UseTable({{"COM1", 0x3F8}});
    controller.SelectFirstListedPortWithoutWindow();
    EXPECT_EQ(controller.SelectedRow(), -1);
}

}  // namespace
