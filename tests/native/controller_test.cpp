// The port controller's operations against the fake port.
#include <gtest/gtest.h>

#include "fakes.h"
#include "port/port_controller.h"

namespace {

class ControllerTest : public ::testing::Test {
protected:
    ControllerTest()
    {
        fakes::ResetPort();
        fakes::ResetLogSink();
    }
    fakes::ScratchDirectory scratch;
    PortController controller;
};

TEST_F(ControllerTest, SetPinOutputReadsChangesLogsThenWrites)
{
    controller.portTable[0].baseAddress = 0x378;
    controller.selectedIndex = 0;
    fakes::Port().registers[0x378] = 0x80;
    EXPECT_EQ(controller.SetPinOutput(2, 1), 0);
    EXPECT_EQ(fakes::Describe(fakes::Port().trace), "R 378=0080 W 378=0081");
    ASSERT_EQ(fakes::LogSink().debuggerOutput.size(), 1u);
    EXPECT_EQ(fakes::LogSink().debuggerOutput[0], "SetPinOutput(2, 1) Port=378");
    EXPECT_EQ(scratch.LogFile(), "12/03/2024 09:05:07.042 SetPinOutput(2, 1) Port=378\n");
}

}  // namespace
