// PinMap: where each signal pin of the 25-pin connector lives.
//
// Data register at base (pins 2 to 9), status register at base + 1 (pins 10 to
// 13 and 15), control register at base + 2 (pins 1, 14, 16 and 17). Pins 18 to
// 25 are ground and have no row. An inverted pin's register bit holds the
// opposite of the pin's level.
#pragma once

#include <cstdint>

enum class PinRegister : std::uint8_t { Data = 0, Status = 1, Control = 2 };

struct PinMapRow {
    int pin;
    PinRegister reg;       // offset from the base address
    std::uint8_t mask;     // the pin's bit
    bool inverted;         // the hardware inverts the line
    bool settable;         // the pin may be driven by the PC
    bool readable;         // the pin may be read back
};

class PinMap {
public:
    static constexpr int kFirstPin = 1;
    static constexpr int kLastSignalPin = 17;

    // The pin's row, or nullptr for any number that is not a signal pin
    // (ground pins and every number outside 1 to 17).
    static const PinMapRow* Find(int pin);
};
