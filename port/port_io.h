// Port I/O: the two operations of the closed port I/O library (INPOUT32.dll,
// ordinals 1 and 2, stdcall) that the controller and the dialog use.
//
// The Win32 build binds these to the imported functions
// (platform/win32/port_io_win32.cpp); native tests bind them to a fake port.
#pragma once

#include <cstdint>

namespace port_io {

// Reads the byte at I/O port `address` at the moment of the call. The result's
// low byte is the port's byte; its high byte carries no port data. Synchronous,
// reports no error.
std::uint16_t PortRead(std::uint16_t address);

// Writes the low byte of `value` to I/O port `address` before returning.
// Synchronous, reports no error.
void PortWrite(std::uint16_t address, std::uint16_t value);

// The longest one access may take: the first access to a port that another
// program holds waits this long for it (the Linux libraries' claim wait,
// PortSpace::kClaimWait in linux/ppdev_port.h, is this number); the unload's
// wait covers it (app/unload_gate.h).
constexpr unsigned long kLongestAccessMs = 2000;

}  // namespace port_io
