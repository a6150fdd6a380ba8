// Port I/O on Windows: INPOUT32.dll's ordinals 1 and 2 (stdcall), imported by
// ordinal only through the import library made from inpout32_import.def.
#include <cstdint>

#include "../../port/port_io.h"

extern "C" {
__declspec(dllimport) unsigned short __stdcall PortRead(unsigned short address);
__declspec(dllimport) void __stdcall PortWrite(unsigned short address, unsigned short value);
}

namespace port_io {

std::uint16_t PortRead(std::uint16_t address)
{
    return ::PortRead(address);
}

void PortWrite(std::uint16_t address, std::uint16_t value)
{
    ::PortWrite(address, value);
}

}  // namespace port_io
