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

// Whether the calling thread's last PortRead or PortWrite reached the port:
// false when the port library knows it did not (a port another program
// holds, a device gone; the read then gave no port data, the write changed
// nothing). Optional: a port library that cannot tell (the closed
// INPOUT32.dll) counts as always reached, so true is no proof. The Win32
// binding asks INPOUT32.dll's export LastPortAccessReached, looked up by
// name at load where present (our Linux INPOUT32.dll and the stand-in have
// it). Never blocks.
bool LastAccessReached();

// The longest one access may take: the first access to a port that another
// program holds waits this long for it (the Linux libraries' claim wait,
// PortSpace::kClaimWait in linux/ppdev_port.h, is this number); the unload's
// wait covers it (app/unload_gate.h). The controller makes its accesses
// under its guard, so the rule that keeps calls from waiting in turn is the
// library's: a port has one claim under way at a time, its wait counted
// from the claim's start; an access that finds it under way waits only for
// what is left of it, and one that finds it passed fails at once (not
// reached: the pulses' NOT_REACHED) until the claim ends; a failed claim is
// started again at most once a second. So the calls queued behind a first
// access wait for one claim's wait, whatever their number.
constexpr unsigned long kLongestAccessMs = 2000;

}  // namespace port_io

namespace bounds {
// A port's first access: the claim of a port another program holds.
constexpr unsigned long kPortAccessWaitMs = port_io::kLongestAccessMs;
}  // namespace bounds
