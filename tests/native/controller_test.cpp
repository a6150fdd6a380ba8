// The port controller's pin operations against the fake port: result codes,
// the exact register accesses, the log lines and the buffers.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core_fixture.h"

namespace {

class ControllerTest : public CoreTest {};

TEST_F(ControllerTest, SetPinOutputReadsChangesWritesThenLogs)
{
    UsePort(0x378);
    fakes::Port().registers[0x378] = 0x80;
    EXPECT_EQ(controller.SetPinOutput(2, 1), 0);
    EXPECT_EQ(Trace(), "R 378=0080 W 378=0081");
    ASSERT_EQ(Debugger().size(), 1u);
    EXPECT_EQ(Debugger()[0], "SetPinOutput(2, 1) Port=378");
    EXPECT_EQ(LogFile(), FileLine("SetPinOutput(2, 1) Port=378"));
}

TEST_F(ControllerTest, SetPinOutputLogsAfterItsAccessesWithTheGuardLetGo)
{
    UsePort(0x378);
    struct Seen {
        bool isWrite;
        std::size_t debuggerLines;
        std::string file;
    };
    std::vector<Seen> seen;
    fakes::Port().onAccess = [&](const fakes::PortAccess& access) {
        seen.push_back({access.isWrite, Debugger().size(), LogFile()});
    };
    ASSERT_EQ(controller.SetPinOutput(16, 1), 0);
    ASSERT_EQ(seen.size(), 2u) << Trace();
    EXPECT_FALSE(seen[0].isWrite);
    EXPECT_EQ(seen[0].debuggerLines, 0u);
    EXPECT_EQ(seen[0].file, "");
    EXPECT_TRUE(seen[1].isWrite);
    EXPECT_EQ(seen[1].debuggerLines, 0u);
}

// Every operation that needs a port, with pins valid and invalid: -1, and
// nothing reaches the port, the debugger or the file; the buffers, the
// snapshot and the selection stay.
TEST_F(ControllerTest, NoPortSelectedRefusesWithoutSideEffects)
{
    UsePort(0x378);
    fakes::Port().readHighByte = 0x12;
    fakes::Port().registers[0x378] = 0x34;  // pins 4, 6, 7 high
    fakes::Port().registers[0x379] = 0x20;  // pin 12 high, pin 11 high (inverted)
    fakes::Port().registers[0x37A] = 0x78;
    ASSERT_EQ(controller.PrepareOutputBuffer(), 0);
    ASSERT_EQ(controller.GetInputAll(), 0);
    controller.ChooseRow(-1);
    ForgetSetup();
    struct Call {
        const char* what;
        std::function<int()> run;
    };
    const std::vector<Call> calls = {
        {"SetPinOutput(2, 1)", [&] { return controller.SetPinOutput(2, 1); }},
        {"SetPinOutput(1, 0)", [&] { return controller.SetPinOutput(1, 0); }},
        {"SetPinOutput(99, 1)", [&] { return controller.SetPinOutput(99, 1); }},
        {"SetPinOutput(10, 1)", [&] { return controller.SetPinOutput(10, 1); }},
        {"GetPinInput(2)", [&] { return controller.GetPinInput(2); }},
        {"GetPinInput(11)", [&] { return controller.GetPinInput(11); }},
        {"GetPinInput(99)", [&] { return controller.GetPinInput(99); }},
        {"GetPinInput(1)", [&] { return controller.GetPinInput(1); }},
        {"PrepareOutputBuffer()", [&] { return controller.PrepareOutputBuffer(); }},
        {"SetOutputAll()", [&] { return controller.SetOutputAll(); }},
        {"GetInputAll()", [&] { return controller.GetInputAll(); }},
        {"FetchInputPin(2)", [&] { return controller.FetchInputPin(2); }},
        {"FetchInputPin(11)", [&] { return controller.FetchInputPin(11); }},
        {"FetchInputPin(99)", [&] { return controller.FetchInputPin(99); }},
        {"FetchInputPin(INT_MIN)", [&] { return controller.FetchInputPin(INT_MIN); }},
    };
    for (const Call& call : calls) {
        EXPECT_EQ(call.run(), -1) << call.what;
    }
    EXPECT_EQ(Trace(), "");
    EXPECT_TRUE(Debugger().empty());
    EXPECT_EQ(LogFile(), "");
    EXPECT_EQ(controller.SelectedRow(), -1);

    controller.ChooseRow(0);
    fakes::Port().registers[0x378] = 0x00;
    fakes::Port().registers[0x379] = 0x80;
    EXPECT_EQ(controller.FetchInputPin(4), 1);
    EXPECT_EQ(controller.FetchInputPin(11), 1);
    EXPECT_EQ(controller.FetchInputPin(12), 1);
    EXPECT_EQ(controller.FetchInputPin(10), 0);
    EXPECT_EQ(controller.SetOutputAll(), 0);
    EXPECT_EQ(Trace(), "W 378=1234 W 37A=1278");
}

// A selected port whose registers cannot be a parallel port's (base 0, where
// a device list without a parallel port leaves row 0; a base below 100, among
// the system board's chips; a base whose base + 2 wraps past FFFF to 0000)
// counts as no port; from 100 to FFFD a base is used as given.
TEST_F(ControllerTest, PortsThatCannotExistAreRefusedOthersUsedAsGiven)
{
    for (const std::uint16_t base :
         {std::uint16_t{0x0000}, std::uint16_t{0x0001}, std::uint16_t{0x0012},
          std::uint16_t{0x00FF}, std::uint16_t{0xFFFE}, std::uint16_t{0xFFFF}}) {
        SCOPED_TRACE(testing::Message() << "base " << std::hex << base);
        UsePort(base);
        EXPECT_EQ(controller.SetPinOutput(1, 1), -1);
        EXPECT_EQ(controller.SetPinOutput(99, 1), -1);
        EXPECT_EQ(controller.GetPinInput(10), -1);
        EXPECT_EQ(controller.PrepareOutputBuffer(), -1);
        EXPECT_EQ(controller.SetOutputAll(), -1);
        EXPECT_EQ(controller.GetInputAll(), -1);
        EXPECT_EQ(controller.FetchInputPin(10), 0);  // the snapshot needs only a selection
        EXPECT_EQ(Trace(), "");
        EXPECT_TRUE(Debugger().empty());
        EXPECT_EQ(LogFile(), "");
    }

    UsePort(0xFFFD);
    EXPECT_EQ(controller.SetPinOutput(17, 0), 0);
    EXPECT_EQ(controller.GetInputAll(), 0);
    EXPECT_EQ(Trace(), "R FFFF=0000 W FFFF=0008 R FFFD=0000 R FFFE=0000");
    EXPECT_EQ(LogFile(), FileLine("SetPinOutput(17, 0) Port=fffd"));

    fakes::ResetPort();
    UsePort(0x100);
    EXPECT_EQ(controller.SetOutputAll(), 0);
    EXPECT_EQ(Trace(), "W 100=0000 W 102=0000");
}

TEST_F(ControllerTest, PrepareOutputPinNeedsNoPort)
{
    EXPECT_EQ(controller.SelectedRow(), -1);
    EXPECT_EQ(controller.PrepareOutputPin(2, 1), 0);
    EXPECT_EQ(controller.PrepareOutputPin(14, 0), 0);
    EXPECT_EQ(Trace(), "");
    EXPECT_TRUE(Debugger().empty());
    UsePort(0x378);
    EXPECT_EQ(controller.SetOutputAll(), 0);
    EXPECT_EQ(Trace(), "W 378=0001 W 37A=0002");
}

// SetPinOutput at several base addresses: the register read and written
// (high byte carried through from the read), and the log line naming the
// base address and the level as given. Which bit each pin drives is
// pin_registers_test's.
TEST_F(ControllerTest, SetPinOutputTouchesThePinsRegister)
{
    struct Case {
        std::uint16_t base;
        int pin;
        int level;
        std::uint8_t before;  // the register's byte
        const char* trace;    // with the read's high byte 0xAB
        const char* line;
    };
    const Case cases[] = {
        {0x378, 2, 1, 0x80, "R 378=AB80 W 378=AB81", "SetPinOutput(2, 1) Port=378"},
        {0x378, 5, -1, 0x00, "R 378=AB00 W 378=AB08", "SetPinOutput(5, -1) Port=378"},
        {0x3BC, 14, 1, 0x02, "R 3BE=AB02 W 3BE=AB00", "SetPinOutput(14, 1) Port=3bc"},
        {0x278, 16, 0, 0xFF, "R 27A=ABFF W 27A=ABFB", "SetPinOutput(16, 0) Port=278"},
        {0xDEAD, 17, INT_MIN, 0x00, "R DEAF=AB00 W DEAF=AB00",
         "SetPinOutput(17, -2147483648) Port=dead"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.line);
        fakes::ResetPort();
        fakes::ResetLogSink();
        fakes::Port().readHighByte = 0xAB;
        UsePort(test.base);
        const std::uint16_t reg =
            static_cast<std::uint16_t>(test.pin >= 2 && test.pin <= 9 ? test.base : test.base + 2);
        fakes::Port().registers[reg] = test.before;
        EXPECT_EQ(controller.SetPinOutput(test.pin, test.level), 0);
        EXPECT_EQ(Trace(), test.trace);
        ASSERT_EQ(Debugger().size(), 1u);
        EXPECT_EQ(Debugger()[0], test.line);
    }
}

// GetPinInput at another base: the one register read, the level and the
// log line. Which bit each pin is read from is pin_registers_test's.
TEST_F(ControllerTest, GetPinInputReadsOnlyThePinsRegister)
{
    struct Case {
        int pin;
        std::uint8_t dataByte;
        std::uint8_t statusByte;
        int expected;
        const char* trace;
    };
    const Case cases[] = {
        {2, 0x01, 0x00, 1, "R 3BC=FF01"},
        {9, 0x7F, 0xFF, 0, "R 3BC=FF7F"},
        {11, 0xFF, 0x7F, 1, "R 3BD=FF7F"},
        {15, 0x00, 0x08, 1, "R 3BD=FF08"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::Message() << "pin " << test.pin << " data " << int{test.dataByte}
                                        << " status " << int{test.statusByte});
        fakes::ResetPort();
        fakes::ResetLogSink();
        fakes::Port().readHighByte = 0xFF;
        UsePort(0x3BC);
        fakes::Port().registers[0x3BC] = test.dataByte;
        fakes::Port().registers[0x3BD] = test.statusByte;
        EXPECT_EQ(controller.GetPinInput(test.pin), test.expected);
        EXPECT_EQ(Trace(), test.trace);
        ASSERT_EQ(Debugger().size(), 1u);
        EXPECT_EQ(Debugger()[0], "GetPinInput(" + std::to_string(test.pin) + ") Port=3bc");
    }
}

TEST_F(ControllerTest, PinLinesReachTheFileInOrder)
{
    UsePort(0x378);
    ASSERT_EQ(controller.SetPinOutput(3, 1), 0);
    ASSERT_EQ(controller.GetPinInput(3), 1);
    EXPECT_EQ(LogFile(),
              FileLine("SetPinOutput(3, 1) Port=378") + FileLine("GetPinInput(3) Port=378"));
}

// The buffers are read data then control and written back whole, the
// snapshot read data then status; none of it is logged.
TEST_F(ControllerTest, BuffersAndSnapshotAreAccessedWholeUnlogged)
{
    UsePort(0x278);
    fakes::Port().readHighByte = 0x5A;
    fakes::Port().registers[0x278] = 0x12;
    fakes::Port().registers[0x279] = 0x78;
    fakes::Port().registers[0x27A] = 0x34;
    EXPECT_EQ(controller.PrepareOutputBuffer(), 0);
    EXPECT_EQ(controller.SetOutputAll(), 0);
    EXPECT_EQ(controller.GetInputAll(), 0);
    EXPECT_EQ(Trace(), "R 278=5A12 R 27A=5A34 W 278=5A12 W 27A=5A34 R 278=5A12 R 279=5A78");
    EXPECT_TRUE(Debugger().empty());
    EXPECT_EQ(LogFile(), "");
}

TEST_F(ControllerTest, FetchInputPinDecodesTheSnapshotWithoutAccess)
{
    UsePort(0x378);
    fakes::Port().registers[0x378] = 0x05;  // pins 2 and 4 high
    fakes::Port().registers[0x379] = 0xC0;  // pin 10 high, pin 11 low (inverted)
    ASSERT_EQ(controller.GetInputAll(), 0);
    fakes::Port().trace.clear();
    // The port changes after the snapshot; the snapshot does not.
    fakes::Port().registers[0x378] = 0x00;
    fakes::Port().registers[0x379] = 0x00;
    const int expected[][2] = {{2, 1},  {3, 0},  {4, 1},  {9, 0}, {10, 1},
                               {11, 0}, {12, 0}, {13, 0}, {15, 0}};
    for (const auto& [pin, level] : expected) {
        EXPECT_EQ(controller.FetchInputPin(pin), level) << "pin " << pin;
    }
    EXPECT_EQ(Trace(), "");
    EXPECT_TRUE(Debugger().empty());
}

TEST_F(ControllerTest, FetchInputPinBeforeAnySnapshotDecodesZeros)
{
    UsePort(0x378);
    for (int pin : {2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 13, 15}) {
        EXPECT_EQ(controller.FetchInputPin(pin), 0) << "pin " << pin;
    }
    EXPECT_EQ(controller.FetchInputPin(11), 1);
    EXPECT_EQ(Trace(), "");
}

TEST_F(ControllerTest, BufferedWriteChangesSeveralPinsInOneWrite)
{
    UsePort(0x378);
    fakes::Port().registers[0x378] = 0xF0;
    fakes::Port().registers[0x37A] = 0x0B;  // pins 1, 14, 17 low, 16 low
    ASSERT_EQ(controller.PrepareOutputBuffer(), 0);
    for (const auto& [pin, level] : {std::pair{2, 1}, {9, 0}, {1, 1}, {16, 1}, {17, 1}}) {
        ASSERT_EQ(controller.PrepareOutputPin(pin, level), 0) << "pin " << pin;
    }
    EXPECT_EQ(Trace(), "R 378=00F0 R 37A=000B");
    ASSERT_EQ(controller.SetOutputAll(), 0);
    EXPECT_EQ(Trace(), "R 378=00F0 R 37A=000B W 378=0071 W 37A=0006");
    EXPECT_TRUE(Debugger().empty());
}

TEST_F(ControllerTest, BuffersAreKeptAcrossAChangeOfPort)
{
    UseTable({{"LPT1", 0x378}, {"LPT2", 0x278}});
    controller.ChooseRow(0);
    fakes::Port().registers[0x378] = 0x11;
    fakes::Port().registers[0x379] = 0x40;
    fakes::Port().registers[0x37A] = 0x22;
    ASSERT_EQ(controller.PrepareOutputBuffer(), 0);
    ASSERT_EQ(controller.GetInputAll(), 0);
    fakes::Port().trace.clear();

    controller.ChooseRow(1);
    EXPECT_EQ(controller.FetchInputPin(2), 1);
    EXPECT_EQ(controller.FetchInputPin(10), 1);
    EXPECT_EQ(controller.SetOutputAll(), 0);
    EXPECT_EQ(Trace(), "W 278=0011 W 27A=0022");
}

TEST_F(ControllerTest, TheSelectedRowsAddressIsUsed)
{
    UseTable({{"LPT1", 0x378}, {"LPT2", 0x278}, {"LPT3", 0x3BC}});
    controller.ChooseRow(2);
    EXPECT_EQ(controller.SetPinOutput(3, 1), 0);
    EXPECT_EQ(controller.GetPinInput(10), 0);
    EXPECT_EQ(Trace(), "R 3BC=0000 W 3BC=0002 R 3BD=0000");
    EXPECT_EQ(Debugger(), (std::vector<std::string>{"SetPinOutput(3, 1) Port=3bc",
                                                    "GetPinInput(10) Port=3bc"}));
}

}  // namespace
