// The simulated parallel port: what the INPOUT32.dll stand-in exports beside
// its two port I/O ordinals, for tests and the host program.
//
// The stand-in keeps the whole 16-bit I/O space as bytes in a named
// shared-memory section, so that every process that loads it sees the same
// registers. A write stores the byte; a read returns it. That is how a
// parallel port's data and control registers behave (their latches read
// back); the status register (base + 1) holds what the input lines show, and
// only SimSetInputLines changes it: writes from the PC to a status register
// are ignored, as the hardware ignores them.
//
// The data lines are outputs whose latch reads back, until control bit 5 makes
// them inputs: a port's data register then reads what SimSetDataInputs set.
//
// Every PortRead and PortWrite is also appended to an access trace, with
// the performance counter's value at the access.
#pragma once

#ifdef INPOUT32_STANDIN_BUILD
#define SIM_PORT_API extern "C" __declspec(dllexport)
#else
#define SIM_PORT_API extern "C" __declspec(dllimport)
#endif

struct SimPortAccess {
    unsigned long sequence;  // 0, 1, 2, ... since the trace was last cleared
    unsigned char isWrite;   // 1 for PortWrite, 0 for PortRead
    unsigned char reserved;
    unsigned short address;
    unsigned short value;  // the value written, or the value returned
    // QueryPerformanceCounter as the access was made: a benchmark learns
    // from it when a read saw a change, with no thread watching the trace.
    long long counter;
};

// Number of accesses recorded since the last clear (may exceed the capacity;
// only the last SimTraceCapacity() are kept).
SIM_PORT_API unsigned long __cdecl SimTraceCount(void);
SIM_PORT_API unsigned long __cdecl SimTraceCapacity(void);
// Copies access `sequence` into *access; 0 when it is no longer (or not yet) kept.
SIM_PORT_API int __cdecl SimTraceGet(unsigned long sequence, SimPortAccess* access);
SIM_PORT_API void __cdecl SimTraceClear(void);

// Sets the input lines of the port at `baseAddress`: the status register's byte.
SIM_PORT_API void __cdecl SimSetInputLines(unsigned short baseAddress, unsigned char status);
// Sets what drives the data lines of the port at `baseAddress` from outside,
// read while its control bit 5 is set.
SIM_PORT_API void __cdecl SimSetDataInputs(unsigned short baseAddress, unsigned char value);
// Reads or sets any register's byte without leaving a trace.
SIM_PORT_API unsigned char __cdecl SimPeek(unsigned short address);
SIM_PORT_API void __cdecl SimPoke(unsigned short address, unsigned char value);
// Marks `baseAddress` as a parallel port whose status register ignores writes
// (the default simulated port at 0x378 is one from the start).
SIM_PORT_API void __cdecl SimAddPort(unsigned short baseAddress);
// Nothing answers at `baseAddress` to `baseAddress` + 2: each register
// reads `readValue` and drops writes, as an absent card (FF) or a system that
// drops every access (00) does. The accesses are traced all the same, and
// the stand-in's LastPortAccessReached tells the accessing thread that they
// did not reach the port.
SIM_PORT_API void __cdecl SimSetNoAnswer(unsigned short baseAddress, unsigned char readValue);
// Zeroes every register, forgets added ports (0x378 stays) and addresses
// without an answer, and clears the trace.
SIM_PORT_API void __cdecl SimReset(void);
