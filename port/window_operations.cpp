// The setup window's operations on the controller (port_controller.h): they
// address the port through the window's list rather than the selection.
#include <cstring>
#include <optional>

#include "pin_map.h"
#include "port_controller.h"

std::uint16_t PortController::ListAddress(ListPosition position) const
{
    return position.row < 0 ? portTable[0].baseAddress : position.address;
}

void PortController::SetPinFromList(ListPosition position, int pin, int level)
{
    // The guard keeps the register's read-modify-write whole against an
    // exported call on another thread; the line is written once it is let go.
    PendingLine line;
    const GuardLock lock(guard);
    const std::uint16_t address = ListAddress(position);
    if (position.row < 0) {
        line.Format("OnClickedHiLo() no LPT selection I/O Addr = %X",
                    static_cast<unsigned>(address));
    } else {
        line.Format("OnClickedHiLo() LPT (%d) selected I/O Addr = %X", position.row,
                    static_cast<unsigned>(address));
    }
    const PinMapRow* row = PinWith(pin, &PinMapRow::settable);
    if (!PinMap::IsUsableBase(address) || row == nullptr) {
        return;
    }
    const std::uint16_t reg = PinMap::RegisterAddress(address, row->reg);
    const std::uint16_t value = PinMap::WithLevel(*row, Read(reg), level != 0);
    Write(reg, value);
}

std::optional<PortController::InputRegisters> PortController::ReadInputsFromList(
    ListPosition position)
{
    const GuardLock lock(guard);
    const std::uint16_t address = ListAddress(position);
    if (!PinMap::IsUsableBase(address)) {
        return std::nullopt;
    }
    InputRegisters values{};
    values.data = Read(PinMap::RegisterAddress(address, PinRegister::Data));
    values.status = Read(PinMap::RegisterAddress(address, PinRegister::Status));
    return values;
}

void PortController::ChooseRow(int row)
{
    const GuardLock lock(guard);
    selectedIndex = row;
}

int PortController::SelectedRow() const
{
    const GuardLock lock(guard);
    return selectedIndex;
}

PortController::PortRows PortController::RowsToList() const
{
    const GuardLock lock(guard);
    PortRows list{};
    std::memcpy(list.rows, portTable, sizeof list.rows);
    list.count = portCount;
    return list;
}

void PortController::SelectFirstListedPortWithoutWindow()
{
    const GuardLock lock(guard);
    if (portCount > 0) {
        selectedIndex = 0;
    }
}
