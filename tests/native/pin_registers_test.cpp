// What each connector pin does at the port (tests/shared/pin_table.h), through
// the controller's operations over the fake port: which register a pin
// drives or is read from, which bit, and whether the hardware inverts the
// line, now and through the buffers and the snapshot; the numbers that are
// no pin of the operation. The result codes with no port, the log lines and
// the high byte of the operations are controller_test's.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core_fixture.h"
#include "tests/shared/pin_table.h"

namespace {

using pin_table::Call;

class PinRegistersTest : public CoreTest {
protected:
    PinRegistersTest() { UsePort(0x378); }
    // The three registers, the row's own holding its value before.
    static void Prepare(const pin_table::PinAtPort& row)
    {
        fakes::Port().registers[0x378] = 0x5A;
        fakes::Port().registers[0x379] = 0x5A;
        fakes::Port().registers[0x37A] = 0x5A;
        fakes::Port().registers[pin_table::RegisterOf(row)] = row.before;
        fakes::Port().trace.clear();
    }
    static std::string Accesses() { return test_shared::DescribeAccesses(fakes::Port().trace, 2); }
};

TEST_F(PinRegistersTest, EachOutputPinDrivesOneBitOfItsRegisterNowAndBuffered)
{
    for (const pin_table::PinAtPort& row : pin_table::kPins) {
        if (row.call != Call::Set) continue;
        SCOPED_TRACE(testing::Message() << "pin " << row.pin << " level " << row.level);
        Prepare(row);
        EXPECT_EQ(controller.SetPinOutput(row.pin, row.level), 0);
        EXPECT_EQ(Accesses(), row.accesses);

        // Buffered: data and control are read, then both written; only the
        // pin's register has changed.
        Prepare(row);
        ASSERT_EQ(controller.PrepareOutputBuffer(), 0);
        EXPECT_EQ(controller.PrepareOutputPin(row.pin, row.level), 0);
        fakes::Port().trace.clear();
        ASSERT_EQ(controller.SetOutputAll(), 0);
        EXPECT_EQ(Accesses(), row.buffered);
    }
}

TEST_F(PinRegistersTest, EachInputPinIsReadFromOneBitOfItsRegisterNowAndFromTheSnapshot)
{
    for (const pin_table::PinAtPort& row : pin_table::kPins) {
        if (row.call != Call::Get) continue;
        SCOPED_TRACE(testing::Message() << "pin " << row.pin << " register " << int{row.before});
        Prepare(row);
        EXPECT_EQ(controller.GetPinInput(row.pin), row.level);
        EXPECT_EQ(Accesses(), row.accesses);
        ASSERT_EQ(controller.GetInputAll(), 0);
        EXPECT_EQ(controller.FetchInputPin(row.pin), row.level);
    }
}

// Refused with -2 with a port selected: no access, no log line, and the
// output buffers stay as they were.
TEST_F(PinRegistersTest, OtherNumbersAreRefusedWithoutSideEffects)
{
    fakes::Port().registers[0x378] = 0x5A;
    fakes::Port().registers[0x379] = 0x5A;
    fakes::Port().registers[0x37A] = 0x5A;
    ASSERT_EQ(controller.PrepareOutputBuffer(), 0);
    ASSERT_EQ(controller.GetInputAll(), 0);
    fakes::Port().trace.clear();
    for (int pin : pin_table::kNotSettable) {
        for (int level : {0, 1}) {
            EXPECT_EQ(controller.SetPinOutput(pin, level), -2) << pin;
            EXPECT_EQ(controller.PrepareOutputPin(pin, level), -2) << pin;
        }
    }
    for (int pin : pin_table::kNotReadable) {
        EXPECT_EQ(controller.GetPinInput(pin), -2) << pin;
        EXPECT_EQ(controller.FetchInputPin(pin), -2) << pin;
    }
    EXPECT_EQ(Accesses(), "");
    EXPECT_TRUE(Debugger().empty());
    EXPECT_EQ(LogFile(), "");
    ASSERT_EQ(controller.SetOutputAll(), 0);
    EXPECT_EQ(Accesses(), "W 378=5A W 37A=5A");
}

}  // namespace
