// PinMap: where each signal pin of the 25-pin connector lives.
//
// Data register at base (pins 2 to 9), status register at base + 1 (pins 10 to
// 13 and 15), control register at base + 2 (pins 1, 14, 16 and 17). Pins 18 to
// 25 are ground and have no row. An inverted pin's register bit holds the
// opposite of the pin's level.
//
// These facts, which base addresses a port may have, and each signal's name
// live here once: the controller, the setup dialog, the recording, the ppdev
// library and the simulated port all ask, from pin to address
// (RegisterAddress) and back (RegisterAt).
#pragma once

#include <cstdint>
#include <optional>

enum class PinRegister : std::uint8_t { Data = 0, Status = 1, Control = 2 };

struct PinMapRow {
    int pin;
    PinRegister reg;    // offset from the base address
    std::uint8_t mask;  // the pin's bit
    bool inverted;      // the hardware inverts the line
    bool settable;      // the pin may be driven by the PC
    bool readable;      // the pin may be read back
    const char* name;   // the signal's name on the connector, as the recording names it
};

class PinMap {
public:
    static constexpr int kFirstPin = 1;
    static constexpr int kLastSignalPin = 17;
    // How many rows are settable (pin_map.cpp checks it against the rows).
    static constexpr int kSettablePins = 12;

    // Control register bit 5: while it is set the data lines (pins 2 to 9)
    // are inputs, and the data register reads what they show.
    static constexpr std::uint8_t kDataInputsBit = 0x20;

    // The pin's row, or nullptr for any number that is not a signal pin
    // (ground pins and every number outside 1 to 17).
    static const PinMapRow* Find(int pin);

    // Whether a port at `base` may be accessed: all three of its registers,
    // base to base + 2, must lie in 0x100 to 0xFFFF. I/O addresses 0x000 to
    // 0x0FF belong to the system board on every PC (DMA, interrupt and timer
    // controllers, keyboard controller) and hold no parallel port; a base
    // above 0xFFFD would wrap round to address 0. Base 0 is also what a
    // device list without a parallel port leaves behind.
    static constexpr bool IsUsableBase(std::uint16_t base)
    {
        return base >= 0x100 && base <= 0xFFFD;
    }

    // The I/O address of register `reg` of the port at `base` (a usable base).
    static std::uint16_t RegisterAddress(std::uint16_t base, PinRegister reg)
    {
        return static_cast<std::uint16_t>(base + static_cast<std::uint16_t>(reg));
    }

    // The inverse of RegisterAddress: which register of the port at `base`
    // lies at `address`, or none when `address` is not one of the port's.
    static std::optional<PinRegister> RegisterAt(std::uint16_t address, std::uint16_t base)
    {
        const auto offset = static_cast<std::uint16_t>(address - base);
        if (offset > static_cast<std::uint16_t>(PinRegister::Control)) return std::nullopt;
        return static_cast<PinRegister>(offset);
    }

    // The row's pin level (true: high) in its register's value, the hardware's
    // inversion undone.
    static bool LevelIn(const PinMapRow& row, std::uint16_t registerValue)
    {
        const bool bitSet = (registerValue & row.mask) != 0;
        return row.inverted ? !bitSet : bitSet;
    }

    // The level of a readable row from the data and status registers' values:
    // LevelIn the one that holds its bit.
    static bool LevelIn(const PinMapRow& row, std::uint16_t dataValue, std::uint16_t statusValue)
    {
        return LevelIn(row, row.reg == PinRegister::Data ? dataValue : statusValue);
    }

    // `registerValue` with the row's pin at `high`, the hardware's inversion
    // applied; every other bit, the high byte included, stays.
    static std::uint16_t WithLevel(const PinMapRow& row, std::uint16_t registerValue, bool high)
    {
        const bool bitSet = row.inverted ? !high : high;
        return static_cast<std::uint16_t>(bitSet ? registerValue | row.mask
                                                 : registerValue & ~row.mask);
    }
};
