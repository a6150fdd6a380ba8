// Whether INPOUT32.dll's kernel driver is open, asked once at load.
//
// The driver is installed only when a program first loads INPOUT32.dll with
// administrator rights; without it every write is dropped and no read gives
// the pins, though every call reports success. The widely used builds of
// INPOUT32.dll tell it through their export IsInpOutDriverOpen; one without
// that export is taken as open. The ordinals the library imports stay as
// they are: the function is looked up by name, in the module already loaded.
//
// Declared here, below its users (the application object, which asks at load,
// and the exports, which read the answer); bound in
// platform/win32/port_driver_win32.cpp. It includes no Windows header.
#pragma once

// At load (InitInstance): asks INPOUT32.dll and, when the driver is not
// open, writes the one log line that says so and what to do. Touches no pin.
void CheckPortDriverAtLoad();

// The answer CheckPortDriverAtLoad had; true before it. Waits for nothing,
// so an export may ask it.
bool PortDriverOpen();
