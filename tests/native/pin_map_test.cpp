// The pin map and the two helpers that apply and decode pin levels by it.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "core_fixture.h"
#include "port/pin_map.h"

namespace {

// The connector as the hardware wires it, written out independently of the
// map under test.
struct ExpectedPin {
    int pin;
    PinRegister reg;
    std::uint8_t mask;
    bool inverted;
    bool settable;
    bool readable;
};

constexpr ExpectedPin kConnector[] = {
    {1, PinRegister::Control, 0x01, true, true, false},
    {2, PinRegister::Data, 0x01, false, true, true},
    {3, PinRegister::Data, 0x02, false, true, true},
    {4, PinRegister::Data, 0x04, false, true, true},
    {5, PinRegister::Data, 0x08, false, true, true},
    {6, PinRegister::Data, 0x10, false, true, true},
    {7, PinRegister::Data, 0x20, false, true, true},
    {8, PinRegister::Data, 0x40, false, true, true},
    {9, PinRegister::Data, 0x80, false, true, true},
    {10, PinRegister::Status, 0x40, false, false, true},
    {11, PinRegister::Status, 0x80, true, false, true},
    {12, PinRegister::Status, 0x20, false, false, true},
    {13, PinRegister::Status, 0x10, false, false, true},
    {14, PinRegister::Control, 0x02, true, true, false},
    {15, PinRegister::Status, 0x08, false, false, true},
    {16, PinRegister::Control, 0x04, false, true, false},
    {17, PinRegister::Control, 0x08, true, true, false},
};

// Ground pins and numbers that are no pin at all.
constexpr int kNoSignalPins[] = {0, 18, 19, 25, 26, -1, -17, 99, INT_MIN, INT_MAX};

constexpr int kLevels[] = {0, 1, 7, -1, 255, INT_MIN, INT_MAX};

// Register contents before a change; the high byte must survive every change.
constexpr std::uint16_t kStartValues[] = {0x0000, 0xFFFF, 0xA55A, 0x5AA5, 0x7E00, 0x00FF};

TEST(PinMapTest, EverySignalPinHasItsRegisterBitAndDirections)
{
    for (const ExpectedPin& expected : kConnector) {
        SCOPED_TRACE(testing::Message() << "pin " << expected.pin);
        const PinMapRow* row = PinMap::Find(expected.pin);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->pin, expected.pin);
        EXPECT_EQ(row->reg, expected.reg);
        EXPECT_EQ(row->mask, expected.mask);
        EXPECT_EQ(row->inverted, expected.inverted);
        EXPECT_EQ(row->settable, expected.settable);
        EXPECT_EQ(row->readable, expected.readable);
    }
}

TEST(PinMapTest, NumbersOutsideTheSignalPinsHaveNoRow)
{
    for (int pin : kNoSignalPins) {
        SCOPED_TRACE(testing::Message() << "pin " << pin);
        EXPECT_EQ(PinMap::Find(pin), nullptr);
    }
}

TEST(ApplyPinLevelTest, SettablePinsChangeOnlyTheirBitForEveryLevel)
{
    for (const ExpectedPin& expected : kConnector) {
        if (!expected.settable) continue;
        for (int level : kLevels) {
            for (std::uint16_t start : kStartValues) {
                SCOPED_TRACE(testing::Message() << "pin " << expected.pin << " level " << level
                                                << " start 0x" << std::hex << start);
                std::uint16_t value = start;
                ASSERT_EQ(PortController::ApplyPinLevel(value, expected.pin, level), 0);
                // An inverted line is high when its bit is clear.
                const bool bitWanted = (level != 0) != expected.inverted;
                EXPECT_EQ((value & expected.mask) != 0, bitWanted);
                EXPECT_EQ(value & ~expected.mask, start & ~expected.mask);
            }
        }
    }
}

TEST(ApplyPinLevelTest, KnownValues)
{
    struct Case {
        int pin;
        int level;
        std::uint16_t start;
        std::uint16_t expected;
    };
    const Case cases[] = {
        {1, 1, 0x0001, 0x0000},  {1, 0, 0x0000, 0x0001},   {14, 1, 0xFFFF, 0xFFFD},
        {14, 0, 0x1200, 0x1202}, {17, 1, 0x000F, 0x0007},  {17, 0, 0x0000, 0x0008},
        {16, 1, 0x0000, 0x0004}, {16, 0, 0xFFFF, 0xFFFB},  {2, 1, 0xAB80, 0xAB81},
        {9, 0, 0xFFFF, 0xFF7F},  {5, 7, 0x0000, 0x0008},   {5, -1, 0x0000, 0x0008},
        {5, INT_MIN, 0x0000, 0x0008},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::Message() << "pin " << test.pin << " level " << test.level);
        std::uint16_t value = test.start;
        EXPECT_EQ(PortController::ApplyPinLevel(value, test.pin, test.level), 0);
        EXPECT_EQ(value, test.expected);
    }
}

TEST(ApplyPinLevelTest, PinsThatCannotBeSetLeaveTheValueAlone)
{
    std::vector<int> pins(std::begin(kNoSignalPins), std::end(kNoSignalPins));
    for (const ExpectedPin& expected : kConnector) {
        if (!expected.settable) pins.push_back(expected.pin);
    }
    for (int pin : pins) {
        for (int level : kLevels) {
            SCOPED_TRACE(testing::Message() << "pin " << pin << " level " << level);
            std::uint16_t value = 0xA55A;
            EXPECT_EQ(PortController::ApplyPinLevel(value, pin, level), -2);
            EXPECT_EQ(value, 0xA55A);
        }
    }
}

class DecodePinLevelTest : public CoreTest {};

TEST_F(DecodePinLevelTest, ReadablePinsDecodeTheirBitOfTheirRegisterOnly)
{
    UsePort(0x378);
    for (const ExpectedPin& expected : kConnector) {
        if (!expected.readable) continue;
        SCOPED_TRACE(testing::Message() << "pin " << expected.pin);
        const bool fromData = expected.reg == PinRegister::Data;
        const std::uint16_t onlyBit = expected.mask;
        const std::uint16_t allButBit = static_cast<std::uint16_t>(~expected.mask);
        const int whenSet = expected.inverted ? 0 : 1;
        const int whenClear = expected.inverted ? 1 : 0;
        // The pin's bit alone, and every other bit (the high byte included).
        EXPECT_EQ(controller.DecodePinLevel(expected.pin, fromData ? onlyBit : 0,
                                            fromData ? 0 : onlyBit), whenSet);
        EXPECT_EQ(controller.DecodePinLevel(expected.pin, fromData ? allButBit : 0xFFFF,
                                            fromData ? 0xFFFF : allButBit), whenClear);
        // The other register's bits do not count.
        EXPECT_EQ(controller.DecodePinLevel(expected.pin, fromData ? 0 : 0xFFFF,
                                            fromData ? 0xFFFF : 0), whenClear);
    }
}

TEST_F(DecodePinLevelTest, PinsThatCannotBeReadGiveMinusTwo)
{
    UsePort(0x378);
    std::vector<int> pins(std::begin(kNoSignalPins), std::end(kNoSignalPins));
    for (const ExpectedPin& expected : kConnector) {
        if (!expected.readable) pins.push_back(expected.pin);
    }
    for (int pin : pins) {
        SCOPED_TRACE(testing::Message() << "pin " << pin);
        EXPECT_EQ(controller.DecodePinLevel(pin, 0xFFFF, 0xFFFF), -2);
        EXPECT_EQ(controller.DecodePinLevel(pin, 0, 0), -2);
    }
}

TEST_F(DecodePinLevelTest, NoPortSelectedIsTestedBeforeThePin)
{
    UsePort(0x378);
    controller.selectedIndex = -1;
    for (int pin = -1; pin <= 26; ++pin) {
        EXPECT_EQ(controller.DecodePinLevel(pin, 0xFFFF, 0), -1) << "pin " << pin;
    }
    EXPECT_EQ(controller.DecodePinLevel(INT_MIN, 0, 0), -1);
    EXPECT_EQ(controller.DecodePinLevel(INT_MAX, 0, 0), -1);
}

}  // namespace
