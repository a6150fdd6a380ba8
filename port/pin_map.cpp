#include "pin_map.h"

namespace {

constexpr PinMapRow kRows[] = {
    {1, PinRegister::Control, 0x01, true, true, false, "strobe"},
    {2, PinRegister::Data, 0x01, false, true, true, "d0"},
    {3, PinRegister::Data, 0x02, false, true, true, "d1"},
    {4, PinRegister::Data, 0x04, false, true, true, "d2"},
    {5, PinRegister::Data, 0x08, false, true, true, "d3"},
    {6, PinRegister::Data, 0x10, false, true, true, "d4"},
    {7, PinRegister::Data, 0x20, false, true, true, "d5"},
    {8, PinRegister::Data, 0x40, false, true, true, "d6"},
    {9, PinRegister::Data, 0x80, false, true, true, "d7"},
    {10, PinRegister::Status, 0x40, false, false, true, "ack"},
    {11, PinRegister::Status, 0x80, true, false, true, "busy"},
    {12, PinRegister::Status, 0x20, false, false, true, "paper"},
    {13, PinRegister::Status, 0x10, false, false, true, "select"},
    {14, PinRegister::Control, 0x02, true, true, false, "autofeed"},
    {15, PinRegister::Status, 0x08, false, false, true, "error"},
    {16, PinRegister::Control, 0x04, false, true, false, "init"},
    {17, PinRegister::Control, 0x08, true, true, false, "select_in"},
};

constexpr int CountSettable()
{
    int count = 0;
    for (const PinMapRow& row : kRows) count += row.settable ? 1 : 0;
    return count;
}
static_assert(CountSettable() == PinMap::kSettablePins, "kSettablePins counts the settable rows");

}  // namespace

const PinMapRow* PinMap::Find(int pin)
{
    if (pin < kFirstPin || pin > kLastSignalPin) {
        return nullptr;
    }
    return &kRows[pin - kFirstPin];
}
