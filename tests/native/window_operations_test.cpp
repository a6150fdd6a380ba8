// The controller's operations for the setup window: the window works on the
// address its list shows, not on the exports' selection, and logs its own
// lines; at an address no port can have it touches nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core_fixture.h"

namespace {

class WindowOperationsTest : public CoreTest {
protected:
    WindowOperationsTest() { UseTable({{"LPT1", 0x378}, {"LPT2", 0x278}}); }
};

TEST_F(WindowOperationsTest, ALevelBoxWorksOnTheListsRowNotOnTheSelection)
{
    controller.ChooseRow(0);
    fakes::Port().registers[0x27A] = 0x10;
    controller.SetPinFromList({1, 0x278}, 17, 0);
    EXPECT_EQ(Trace(), "R 27A=0010 W 27A=0018");
    EXPECT_EQ(LogFile(), FileLine("OnClickedHiLo() LPT (1) selected I/O Addr = 278"));
}

TEST_F(WindowOperationsTest, WithNoRowInTheListRowZerosAddressIsUsed)
{
    ASSERT_EQ(controller.SetManualAddress("3", "B", "C", ""), 0);
    fakes::ResetLogSink();
    controller.SetPinFromList({-1, 0}, 2, 1);
    EXPECT_EQ(Trace(), "R 3BC=0000 W 3BC=0001");
    ASSERT_EQ(Debugger().size(), 1u);
    EXPECT_EQ(Debugger()[0], "OnClickedHiLo() no LPT selection I/O Addr = 3BC");
}

TEST_F(WindowOperationsTest, TheLineIsLoggedOnlyAfterThePortAccesses)
{
    std::size_t linesAtFirstAccess = 99;
    fakes::Port().onAccess = [&](const fakes::PortAccess&) {
        if (linesAtFirstAccess == 99) linesAtFirstAccess = Debugger().size();
    };
    controller.SetPinFromList({0, 0x378}, 16, 1);
    EXPECT_EQ(linesAtFirstAccess, 0u);
}

TEST_F(WindowOperationsTest, WhereNoPortCanBeTheBoxLogsAndTouchesNothing)
{
    for (const std::uint16_t address : {std::uint16_t{0}, std::uint16_t{0xFFFE}}) {
        controller.SetPinFromList({1, address}, 2, 1);
        EXPECT_FALSE(controller.ReadInputsFromList({1, address}).has_value()) << address;
    }
    EXPECT_EQ(Trace(), "");
    EXPECT_EQ(Debugger(), (std::vector<std::string>{
                              "OnClickedHiLo() LPT (1) selected I/O Addr = 0",
                              "OnClickedHiLo() LPT (1) selected I/O Addr = FFFE",
                          }));
}

TEST_F(WindowOperationsTest, InputsAreReadDataFirstAtTheListsAddressUnlogged)
{
    fakes::Port().registers[0x278] = 0xA5;
    fakes::Port().registers[0x279] = 0x78;
    const std::optional<PortController::InputRegisters> inputs =
        controller.ReadInputsFromList({1, 0x278});
    ASSERT_TRUE(inputs.has_value());
    EXPECT_EQ(inputs->data, 0xA5);
    EXPECT_EQ(inputs->status, 0x78);
    EXPECT_EQ(Trace(), "R 278=00A5 R 279=0078");
    EXPECT_TRUE(Debugger().empty());
}

TEST_F(WindowOperationsTest, AChosenRowIsTheOneTheExportsAddress)
{
    controller.ChooseRow(1);
    EXPECT_EQ(controller.SelectedRow(), 1);
    EXPECT_EQ(controller.SetPinOutput(2, 1), 0);
    EXPECT_EQ(Trace(), "R 278=0000 W 278=0001");
    controller.ChooseRow(-1);
    EXPECT_EQ(controller.SetPinOutput(2, 1), -1);
}

TEST_F(WindowOperationsTest, TheRowsToListAreTheTablesOrRowZerosFallback)
{
    const PortController::PortRows listed = controller.RowsToList();
    ASSERT_EQ(listed.count, 2);
    EXPECT_STREQ(listed.rows[1].name, "LPT2");
    EXPECT_EQ(listed.rows[1].baseAddress, 0x278);

    fakes::Devices().countFails = true;
    controller.EnumeratePorts();
    const PortController::PortRows none = controller.RowsToList();
    EXPECT_EQ(none.count, 0);
    EXPECT_EQ(none.rows[0].baseAddress, 0x378);
}

}  // namespace
