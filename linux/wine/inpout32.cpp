// INPOUT32.dll for Wine on Linux: the port I/O library's ordinals 1
// (PortRead) and 2 (PortWrite), stdcall, over the kernel's ppdev driver.
// A Winelib library: the ELF file itself is placed under the name
// INPOUT32.dll beside the program, and Wine loads it as a builtin DLL.
//
// The I/O space is the machine's parallel ports (see ../ppdev_port.h for the
// register mapping), found at the first call; DORUZEDA_PARPORT_PROC and
// DORUZEDA_PARPORT_DEV point it elsewhere.
#include "../ppdev_port.h"
#include "../ppdev_system.h"
#include "record/recording.h"

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

// The ports' bases, for a recording.
std::vector<std::uint16_t> PortBases()
{
    std::vector<std::uint16_t> bases;
    for (const ppdev::ParallelPort& port :
         ppdev::FindPorts(ppdev::Locations::FromEnvironment().procDirectory)) {
        bases.push_back(port.baseAddress);
    }
    return bases;
}

// At the first access: recording when DORUZEDA_RECORD names a file, unless
// the program has started or stopped a recording itself.
volatile LONG environmentLooked = 0;
void RecordFromEnvironmentOnce()
{
    if (environmentLooked == 0 && InterlockedExchange(&environmentLooked, 1) == 0) {
        recording::StartFromEnvironment(PortBases());
    }
}

}  // namespace

// Ordinal 1. The byte at I/O port `address` in the low byte; 0xFF where the
// machine has no parallel port register, or the port cannot be used.
extern "C" unsigned short WINAPI PortRead(unsigned short address)
{
    RecordFromEnvironmentOnce();
    const std::uint8_t value = Space().Read(address);
    if (recording::Running()) recording::Access(address, value, false);
    return value;
}

// Ordinal 2. Writes the low byte of `value` to I/O port `address`; dropped
// where there is no register (status registers ignore writes).
extern "C" void WINAPI PortWrite(unsigned short address, unsigned short value)
{
    RecordFromEnvironmentOnce();
    Space().Write(address, static_cast<unsigned char>(value & 0xFF));
    if (recording::Running()) {
        recording::Access(address, static_cast<std::uint8_t>(value & 0xFF), true);
    }
}

// Not an ordinal: records the ports' accesses into the VCD file at `path`
// (see record/recording.h); a null or empty path ends the recording. 1 when
// recording, 0 otherwise (a file that cannot be created is named on standard
// error).
extern "C" int __cdecl DoruzedaRecord(const char* path)
{
    InterlockedExchange(&environmentLooked, 1);
    if (path == nullptr || *path == '\0') {
        recording::Stop();
        return 0;
    }
    return recording::Start(path, PortBases()) ? 1 : 0;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) return KeepLoaded(instance);
    // Pinned, the library is detached only when the process ends.
    if (reason == DLL_PROCESS_DETACH) recording::ProcessEnding();
    return TRUE;
}
