// What each connector pin does at the port, seen through the controller's
// operations over the fake port: which register a pin drives or is read
// from, which bit, and whether the hardware inverts the line. The result
// codes, log lines and buffers of the operations are controller_test's.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "core_fixture.h"

namespace {

constexpr std::uint16_t kBase = 0x378;  // data at +0, status at +1, control at +2

struct Wire {
    int pin;
    std::uint16_t offset;  // of the register from the base address
    std::uint8_t bit;
    bool inverted;  // the register bit holds the opposite of the line's level
};

// The lines the PC drives: pin 1, 14, 16, 17 on the control register, the
// data lines 2 to 9 on the data register.
std::vector<Wire> Outputs()
{
    std::vector<Wire> wires = {
        {1, 2, 0x01, true}, {14, 2, 0x02, true}, {16, 2, 0x04, false}, {17, 2, 0x08, true}};
    for (int pin = 2; pin <= 9; ++pin) {
        wires.push_back({pin, 0, static_cast<std::uint8_t>(1u << (pin - 2)), false});
    }
    return wires;
}

// The lines the PC reads: the data lines back, and the status register's five.
std::vector<Wire> Inputs()
{
    std::vector<Wire> wires = {{10, 1, 0x40, false},
                               {11, 1, 0x80, true},
                               {12, 1, 0x20, false},
                               {13, 1, 0x10, false},
                               {15, 1, 0x08, false}};
    for (int pin = 2; pin <= 9; ++pin) {
        wires.push_back({pin, 0, static_cast<std::uint8_t>(1u << (pin - 2)), false});
    }
    return wires;
}

const Wire* Find(const std::vector<Wire>& wires, int pin)
{
    for (const Wire& wire : wires) {
        if (wire.pin == pin) return &wire;
    }
    return nullptr;
}

// Every pin of the connector, the ground pins 18 to 25, and numbers that are
// no pin at all.
std::vector<int> EveryNumber()
{
    std::vector<int> numbers = {INT_MIN, -1, 0, 26, 99, INT_MAX};
    for (int pin = 1; pin <= 25; ++pin) numbers.push_back(pin);
    return numbers;
}

constexpr int kLevels[] = {0, 1, -1, 7, INT_MIN, INT_MAX};  // non-zero is high

class PinMapTest : public CoreTest {
protected:
    PinMapTest()
    {
        UsePort(kBase);
        fakes::Port().readHighByte = 0xC3;  // must come back whole in every write
    }
    // The three registers' bytes, each a different pattern.
    static void FillRegisters()
    {
        fakes::Port().registers[kBase] = 0x5A;
        fakes::Port().registers[kBase + 1] = 0xA5;
        fakes::Port().registers[kBase + 2] = 0x3C;
        fakes::Port().trace.clear();
    }
    // The one write `bit` of the register at `address` should get for `level`.
    static std::string ChangedWrite(std::uint16_t address, std::uint8_t bit, bool inverted,
                                    int level)
    {
        const std::uint16_t before =
            static_cast<std::uint16_t>(0xC300 | fakes::Port().registers[address]);
        const bool bitSet = (level != 0) != inverted;
        const std::uint16_t after =
            static_cast<std::uint16_t>(bitSet ? before | bit : before & ~bit);
        return fakes::Describe({{false, address, before}}) + " " +
               fakes::Describe({{true, address, after}});
    }
};

// The immediate and the buffered path change the same bit of the same
// register, and nothing else; every other number is refused untouched.
TEST_F(PinMapTest, EachOutputPinDrivesOneBitOfItsRegister)
{
    const std::vector<Wire> outputs = Outputs();
    for (int pin : EveryNumber()) {
        const Wire* wire = Find(outputs, pin);
        for (int level : kLevels) {
            SCOPED_TRACE(testing::Message() << "pin " << pin << " level " << level);
            FillRegisters();
            if (wire == nullptr) {
                EXPECT_EQ(controller.SetPinOutput(pin, level), -2);
                EXPECT_EQ(controller.PrepareOutputPin(pin, level), -2);
                EXPECT_EQ(Trace(), "");
                continue;
            }
            const std::uint16_t address = static_cast<std::uint16_t>(kBase + wire->offset);
            const std::string expected = ChangedWrite(address, wire->bit, wire->inverted, level);
            EXPECT_EQ(controller.SetPinOutput(pin, level), 0);
            EXPECT_EQ(Trace(), expected) << "immediately";

            FillRegisters();
            ASSERT_EQ(controller.PrepareOutputBuffer(), 0);
            EXPECT_EQ(controller.PrepareOutputPin(pin, level), 0);
            fakes::Port().trace.clear();
            ASSERT_EQ(controller.SetOutputAll(), 0);
            // Both registers are written; only the pin's has changed.
            const std::string other = fakes::Describe(
                {{true, static_cast<std::uint16_t>(kBase + 2 - wire->offset),
                  static_cast<std::uint16_t>(0xC300 |
                                             fakes::Port().registers[kBase + 2 - wire->offset])}});
            const std::string written = expected.substr(expected.find('W'));
            EXPECT_EQ(Trace(), wire->offset == 0 ? written + " " + other : other + " " + written)
                << "buffered";
        }
    }
}

// A read gives the line's level from the pin's bit alone, whatever the other
// bits and registers hold, now (GetPinInput) and from the snapshot
// (FetchInputPin). The control lines and every other number cannot be read.
TEST_F(PinMapTest, EachInputPinIsReadFromOneBitOfItsRegister)
{
    const std::vector<Wire> inputs = Inputs();
    for (int pin : EveryNumber()) {
        SCOPED_TRACE(testing::Message() << "pin " << pin);
        const Wire* wire = Find(inputs, pin);
        if (wire == nullptr) {
            EXPECT_EQ(controller.GetPinInput(pin), -2);
            EXPECT_EQ(controller.FetchInputPin(pin), -2);
            EXPECT_EQ(Trace(), "");
            continue;
        }
        const std::uint16_t address = static_cast<std::uint16_t>(kBase + wire->offset);
        const std::uint16_t other = static_cast<std::uint16_t>(kBase + 1 - wire->offset);
        // The pin's bit alone, then every bit but the pin's (the other
        // register full, then empty).
        const struct {
            std::uint8_t own;
            std::uint8_t otherRegister;
            bool bitSet;
        } states[] = {{wire->bit, 0x00, true},
                      {static_cast<std::uint8_t>(~wire->bit), 0xFF, false},
                      {0x00, 0xFF, false}};
        for (const auto& state : states) {
            fakes::Port().registers[address] = state.own;
            fakes::Port().registers[other] = state.otherRegister;
            const int level = state.bitSet != wire->inverted ? 1 : 0;
            fakes::Port().trace.clear();
            EXPECT_EQ(controller.GetPinInput(pin), level) << "register " << int{state.own};
            EXPECT_EQ(Trace(), fakes::Describe({{false, address,
                                                 static_cast<std::uint16_t>(0xC300 | state.own)}}));
            ASSERT_EQ(controller.GetInputAll(), 0);
            EXPECT_EQ(controller.FetchInputPin(pin), level) << "register " << int{state.own};
        }
        fakes::Port().trace.clear();
    }
}

}  // namespace
