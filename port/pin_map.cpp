#include "pin_map.h"

namespace {

constexpr PinMapRow kRows[] = {
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

}  // namespace

const PinMapRow* PinMap::Find(int pin)
{
    if (pin < kFirstPin || pin > kLastSignalPin) {
        return nullptr;
    }
    return &kRows[pin - kFirstPin];
}
