// INPOUT32.dll for Wine on Linux: the port I/O library's ordinals 1
// (PortRead) and 2 (PortWrite), stdcall, over the kernel's ppdev driver, and
// LastPortAccessReached by name.
// A Winelib library: the ELF file itself is placed under the name
// INPOUT32.dll beside the program, and Wine loads it as a builtin DLL.
//
// The I/O space is the machine's parallel ports (see ../ppdev_port.h for the
// register mapping), found at the first call; DORUZEDA_PARPORT_PROC and
// DORUZEDA_PARPORT_DEV point it elsewhere.
#include "../ppdev_port.h"
#include "../ppdev_system.h"

#define NOMINMAX
#include <windows.h>

#include "keep_loaded.h"

#include <string>

namespace {

ppdev::PortSpace& Space()
{
    static ppdev::PortSpace space = [] {
        const ppdev::Locations locations = ppdev::Locations::FromEnvironment();
        std::vector<ppdev::ParallelPort> ports = ppdev::FindPorts(locations.procDirectory);
        if (ports.empty()) {
            const std::string line = "ppdev: no parallel port listed in " +
                                     locations.procDirectory +
                                     "; likely cause: the parport_pc module is not loaded "
                                     "(modprobe -a parport_pc ppdev)";
            ppdev_system::Diagnostic(line.c_str());
        }
        return ppdev::PortSpace(ports, locations);
    }();
    return space;
}

}  // namespace

// Ordinal 1. The byte at I/O port `address` in the low byte; 0xFF where the
// machine has no parallel port register, or the port cannot be used.
extern "C" unsigned short WINAPI PortRead(unsigned short address)
{
    return Space().Read(address);
}

// Ordinal 2. Writes the low byte of `value` to I/O port `address`; dropped
// where there is no register (status registers ignore writes).
extern "C" void WINAPI PortWrite(unsigned short address, unsigned short value)
{
    Space().Write(address, static_cast<unsigned char>(value & 0xFF));
}

// Not an ordinal of the closed library: looked up by name where present.
// Whether the calling thread's last PortRead or PortWrite reached a port
// (see PortSpace::LastAccessReached): a pulse then knows that a port another
// program holds dropped its write.
extern "C" BOOL WINAPI LastPortAccessReached()
{
    return ppdev::PortSpace::LastAccessReached() ? TRUE : FALSE;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) return KeepLoaded(instance);
    return TRUE;
}
