// The port controller's private state, for tests: they set up states that no
// sequence of operations makes (names in any case, a selection beyond the
// table, buffers of any value) and look at the state after a call.
// PortController names this class its friend; nothing that ships defines it.
//
//   State(controller).selectedIndex = 2;
#pragma once

#include <cstdint>

#include "port/port_controller.h"

class PortControllerProbe {
public:
    explicit PortControllerProbe(const PortController& controller)
        : portTable(Writable(controller).portTable), portCount(Writable(controller).portCount),
          selectedIndex(Writable(controller).selectedIndex), outData(Writable(controller).outData),
          outControl(Writable(controller).outControl), inData(Writable(controller).inData),
          inStatus(Writable(controller).inStatus), guard(Writable(controller).guard)
    {
    }

    PortEntry (&portTable)[PortController::kMaxPorts];
    std::int32_t& portCount;
    std::int32_t& selectedIndex;
    std::uint16_t& outData;
    std::uint16_t& outControl;
    std::uint16_t& inData;
    std::uint16_t& inStatus;
    Guard& guard;

private:
    static PortController& Writable(const PortController& controller)
    {
        return const_cast<PortController&>(controller);
    }
};

inline PortControllerProbe State(const PortController& controller)
{
    return PortControllerProbe(controller);
}

// The base of the selected row, 0 with none.
inline std::uint16_t SelectedBase(const PortController& controller)
{
    const PortControllerProbe state = State(controller);
    return state.selectedIndex < 0 ? 0 : state.portTable[state.selectedIndex].baseAddress;
}
