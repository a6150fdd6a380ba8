// A controller's state made and read through its own operations, over the
// fake device list: the native tests, the fuzz targets and the benchmarks
// share these, and none of them reaches into the controller.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <utility>

#include "fakes.h"
#include "port/port_controller.h"

namespace fakes {

// Discovery over a device list of these ports, in this order: each a name
// and a base, listed as the range from the base to the end of its eight. The table then holds
// exactly the rows whose names discovery accepts; the selection is left as it
// was. The discovery's log lines and device-list counts stay for the caller
// to look at or clear.
inline bool Discover(PortController& controller,
                     std::initializer_list<std::pair<const char*, std::uint16_t>> ports)
{
    ResetDevices();
    for (const auto& [name, base] : ports) {
        FakeDevice device;
        device.name = name;
        device.ranges = {{base, static_cast<std::uint16_t>(base | 7)}};
        Devices().devices.push_back(device);
    }
    return controller.EnumeratePorts();
}

// The base address of the selected row as the list shows it; 0 with no row
// selected or a selection outside the table's ten rows.
inline std::uint16_t SelectedBase(const PortController& controller)
{
    const int row = controller.SelectedRow();
    if (row < 0 || row >= PortController::kMaxPorts) return 0;
    return controller.RowsToList().rows[row].baseAddress;
}

}  // namespace fakes
