// INPOUT32.dll's optional IsInpOutDriverOpen, asked at load (port/port_driver.h).
#include "../../port/port_driver.h"

#include <windows.h>

#include <atomic>

#include "../../log/debug_log.h"

namespace {

// BOOL __stdcall IsInpOutDriverOpen(void): non-zero while the driver is open.
using DriverOpenFunction = BOOL(__stdcall*)();

// Written once at load, before any export can run; read by the exports.
std::atomic<bool> driverOpen{true};

}  // namespace

void CheckPortDriverAtLoad()
{
    // The loader has bound this library to the module of that name: asked
    // here, inside the load, and never inside an export's call, where a
    // wait for the loader lock could meet an unload holding it.
    const HMODULE portLibrary = GetModuleHandleA("INPOUT32.dll");
    if (portLibrary == nullptr) return;
    const auto isOpen = reinterpret_cast<DriverOpenFunction>(
        reinterpret_cast<void*>(GetProcAddress(portLibrary, "IsInpOutDriverOpen")));
    if (isOpen == nullptr || isOpen() != FALSE) return;
    driverOpen.store(false);
    DebugLog(
        "The INPOUT32 driver is not open: port accesses have no effect. Install or start "
        "it: run a program that loads INPOUT32.dll once with administrator rights");
}

bool PortDriverOpen()
{
    return driverOpen.load();
}
