// Port I/O on Windows: INPOUT32.dll's ordinals 1 and 2 (stdcall), imported by
// ordinal only through the import library made from inpout32_import.def; and
// its optional LastPortAccessReached, by name, where it has it.
#include <windows.h>

#include <cstdint>

#include "../../port/port_io.h"

extern "C" {
__declspec(dllimport) unsigned short __stdcall PortRead(unsigned short address);
__declspec(dllimport) void __stdcall PortWrite(unsigned short address, unsigned short value);
}

namespace {

// BOOL __stdcall LastPortAccessReached(void): whether the calling thread's
// last access reached the port.
using ReachedFunction = BOOL(__stdcall*)();

// Looked up while the library loads (static construction runs inside its
// load, where the loader has bound INPOUT32.dll already), never inside an
// export's call, where a wait for the loader lock could meet an unload
// holding it. The closed INPOUT32.dll has no such export: null.
const ReachedFunction lastAccessReached = [] {
    const HMODULE portLibrary = GetModuleHandleA("INPOUT32.dll");
    if (portLibrary == nullptr) return ReachedFunction{nullptr};
    return reinterpret_cast<ReachedFunction>(
        reinterpret_cast<void*>(GetProcAddress(portLibrary, "LastPortAccessReached")));
}();

}  // namespace

namespace port_io {

std::uint16_t PortRead(std::uint16_t address)
{
    return ::PortRead(address);
}

void PortWrite(std::uint16_t address, std::uint16_t value)
{
    ::PortWrite(address, value);
}

bool LastAccessReached()
{
    return lastAccessReached == nullptr || lastAccessReached() != FALSE;
}

}  // namespace port_io
