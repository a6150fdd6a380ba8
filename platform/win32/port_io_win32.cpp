// Port I/O on Windows: INPOUT32.dll's ordinals 1 and 2 (stdcall), imported by
// ordinal only through the import library made from inpout32_import.def.
// Every access of the library passes here, under the controller's guard, and
// goes to the recording's tap when one is set (record/access_tap.h).
#include <cstdint>

#include "../../port/port_io.h"
#include "../../record/access_tap.h"

extern "C" {
__declspec(dllimport) unsigned short __stdcall PortRead(unsigned short address);
__declspec(dllimport) void __stdcall PortWrite(unsigned short address, unsigned short value);
}

namespace {
std::uint16_t UntappedRead(std::uint16_t address)
{
    return ::PortRead(address);
}
}  // namespace

namespace port_io {

std::uint16_t PortRead(std::uint16_t address)
{
    recording::TapBefore(address, &UntappedRead);
    const std::uint16_t value = ::PortRead(address);
    recording::TapAccess(address, value, false);
    return value;
}

void PortWrite(std::uint16_t address, std::uint16_t value)
{
    recording::TapBefore(address, &UntappedRead);
    ::PortWrite(address, value);
    recording::TapAccess(address, value, true);
}

}  // namespace port_io
