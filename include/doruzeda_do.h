// Doruzeda_DO.dll: the functions that a host's macros call: the ten at
// ordinals 1 to 10, and those beyond them from ordinal 11 on.
//
// All are cdecl, take 32-bit arguments and return a signed 32-bit result:
// one of the result codes below, or what the call reads. Pin reads return 1
// (high) or 0 (low). A level is high when non-zero. A refused call neither
// touches the port nor writes a log line.
//
// Settable pins: 1 to 9, 14, 16, 17. Readable pins: 2 to 13, 15. Pins 18 to 25
// are ground.
//
// Unloading the library while other threads call it: a call from then on
// gives -1 and touches nothing, so stop calling when one unexpectedly gives -1
// (the rules: app/unload_gate.h in the sources).
#pragma once

// The result codes. Each function's comment below says which it gives; the
// numbers are fixed, and several share one.

// Success.
#define DORUZEDA_OK 0
// No port selected, or the one selected is at an address no port can have;
// fnOrvane_setParallelPort: the number is not 1 to 10.
#define DORUZEDA_NO_PORT (-1)
// The pin is not valid for the call (not settable, not readable, not a
// pin), or another argument (a byte, a time) is outside its range.
#define DORUZEDA_BAD_PIN (-2)
// fnOrvane_setParallelPort: no discovered port has that name.
#define DORUZEDA_NO_SUCH_PORT (-2)
// fnOrvane_checkParallelPort: a pattern read back differs.
#define DORUZEDA_NO_ANSWER (-3)
// fnOrvane_checkParallelPort: INPOUT32.dll's driver is not open.
#define DORUZEDA_DRIVER_NOT_OPEN (-4)
// fnOrvane_recordParallelPins: nothing records (the file cannot be created,
// or no port can be recorded).
#define DORUZEDA_NOT_RECORDING (-1)
// Any call made once the unload of the library has begun: it touches
// nothing.
#define DORUZEDA_REFUSED_AT_UNLOAD (-1)
// A pulse that the unload ended early, its second write made at once.
#define DORUZEDA_ENDED_BY_UNLOAD (-1)
// fnOrvane_timeParallelInputPin: the time ran out, or the unload ended the
// call, before the pin read the level.
#define DORUZEDA_TIMED_OUT (-5)
// A pulse refused at once: another pulse under way holds one of its lines
// (or as many pulses as the library keeps are under way). Nothing touched.
#define DORUZEDA_PULSE_BUSY (-6)
// A pulse on the data lines refused while they are inputs (control bit 5):
// the control register was read, nothing written, one log line.
#define DORUZEDA_DATA_LINES_INPUTS (-7)
// A pulse, a wait or a time of an input whose access did not reach the
// port (a port another program holds, a device gone), as INPOUT32.dll tells
// where it can: nothing more is written or read, no level or time is taken
// from it, and the log line names the access.
#define DORUZEDA_NOT_REACHED (-8)
// fnOrvane_playParallelPins: the file cannot be played (not found, not VCD,
// a line it cannot read, a signal that names no output pin, more than a
// play holds). Nothing touched; one log line naming the cause.
#define DORUZEDA_CANNOT_PLAY (-9)

// Usable from C and from C++; the names are C names in both.
#ifdef __cplusplus
#define DORUZEDA_DO_LINKAGE extern "C"
#else
#define DORUZEDA_DO_LINKAGE extern
#endif

#if !defined(_WIN32)
// Elsewhere (the library's portable core) only the result codes are used.
#define DORUZEDA_DO_API DORUZEDA_DO_LINKAGE
#define DORUZEDA_DO_CALL
#elif defined(DORUZEDA_DO_BUILD)
// The module definition file exports the names, undecorated, at fixed ordinals.
#define DORUZEDA_DO_API DORUZEDA_DO_LINKAGE
#define DORUZEDA_DO_CALL __cdecl
#else
#define DORUZEDA_DO_API DORUZEDA_DO_LINKAGE __declspec(dllimport)
#define DORUZEDA_DO_CALL __cdecl
#endif

// Ordinal 1. Reads `pin` from the snapshot taken by the last
// fnOrvane_getParallelInputAll (all zero before the first); no port access.
// 1 high, 0 low; DORUZEDA_NO_PORT; DORUZEDA_BAD_PIN (not readable).
DORUZEDA_DO_API int DORUZEDA_DO_CALL fnOrvane_fetchParallelInputPin(int pin);

// Ordinal 2. Snapshots the data and status registers of the selected port for
// fnOrvane_fetchParallelInputPin. DORUZEDA_OK; DORUZEDA_NO_PORT.
DORUZEDA_DO_API int DORUZEDA_DO_CALL fnOrvane_getParallelInputAll(void);

// Ordinal 3. Reads `pin` from the port now and logs the call.
// 1 high, 0 low; DORUZEDA_NO_PORT; DORUZEDA_BAD_PIN (not readable).
DORUZEDA_DO_API int DORUZEDA_DO_CALL fnOrvane_getParallelInputPin(int pin);

// Ordinal 4. Shows the setup window (modeless) and returns at once. Always
// DORUZEDA_OK.
DORUZEDA_DO_API int DORUZEDA_DO_CALL fnOrvane_rudAdado(void);

// Ordinal 5. Loads the output buffers from the selected port's data and
// control registers. DORUZEDA_OK; DORUZEDA_NO_PORT.
DORUZEDA_DO_API int DORUZEDA_DO_CALL fnOrvane_prepareParallelOutputBuffer(void);

// Ordinal 6. Sets `pin` to `level` in the output buffers only; needs no port.
// DORUZEDA_OK; DORUZEDA_BAD_PIN (not settable).
DORUZEDA_DO_API int DORUZEDA_DO_CALL fnOrvane_prepareParallelOutputPin(int pin, int level);

// Ordinal 7. Writes the output buffers to the selected port's data and then
// control register. DORUZEDA_OK; DORUZEDA_NO_PORT.
DORUZEDA_DO_API int DORUZEDA_DO_CALL fnOrvane_setParallelOutputAll(void);

// Ordinal 8. Sets `pin` to `level` on the port now and logs the call.
// DORUZEDA_OK; DORUZEDA_NO_PORT; DORUZEDA_BAD_PIN (not settable).
DORUZEDA_DO_API int DORUZEDA_DO_CALL fnOrvane_setParallelOutputPin(int pin, int level);

// Ordinal 9. Selects the discovered port named LPT<number>.
// DORUZEDA_OK; DORUZEDA_NO_PORT: number not in 1 to 10 (selection kept);
// DORUZEDA_NO_SUCH_PORT (selection cleared).
DORUZEDA_DO_API int DORUZEDA_DO_CALL fnOrvane_setParallelPort(int number);

// Ordinal 10. Sets and selects a port address given as four one-digit
// hexadecimal strings, most significant first: "3", "7", "8", "" is 0x378.
// Only each string's first character counts; an empty (or null) string ends
// the address. Text that is not hexadecimal keeps the previous address but
// still selects it. An address outside 0x100 to 0xFFFD (the system board's
// below 0x100; registers past 0xFFFF) is selected all the same but counts as
// no port: the calls that need one give DORUZEDA_NO_PORT. Always
// DORUZEDA_OK.
DORUZEDA_DO_API int DORUZEDA_DO_CALL fnOrvane_setParallelPortAddress(const char* digit1,
                                                                     const char* digit2,
                                                                     const char* digit3,
                                                                     const char* digit4);

// Beyond the ten: the data lines as inputs, whole bytes, and waiting for an
// input. The same rules: the selection is tested first, and a refused call
// touches neither the port nor the log.

// Ordinal 11. Non-zero makes the data lines (pins 2 to 9) inputs, 0 outputs,
// by bit 5 of the control register. While they are inputs, reads of the data
// register (fnOrvane_getParallelDataByte, pins 2 to 9) give what drives the
// lines from outside. Logged. DORUZEDA_OK; DORUZEDA_NO_PORT.
DORUZEDA_DO_API int DORUZEDA_DO_CALL fnOrvane_setParallelDataDirection(int input);

// Ordinal 12. Writes `value` (0 to 255) to the data register in one write:
// bit 0 is pin 2, bit 7 pin 9. Logged. DORUZEDA_OK; DORUZEDA_NO_PORT;
// DORUZEDA_BAD_PIN (value outside 0 to 255).
DORUZEDA_DO_API int DORUZEDA_DO_CALL fnOrvane_setParallelDataByte(int value);

// Ordinal 13. Reads the data register: bit 0 is pin 2, bit 7 pin 9. Logged.
// 0 to 255; DORUZEDA_NO_PORT.
DORUZEDA_DO_API int DORUZEDA_DO_CALL fnOrvane_getParallelDataByte(void);

// Ordinal 14. Waits until readable `pin` is at `level` (non-zero: high) or
// `timeoutMs` milliseconds (0 to 60000) have passed. Reads at once, a hundred
// times back to back, then after each sleep of a millisecond on a
// high-resolution waitable timer (Windows 10 version 1803 and later), of half
// a millisecond under Wine (whose timers keep to its server's millisecond),
// or of one tick of the system's timer where the system refuses that timer
// (older Windows: 15.6 ms by default). Blocks the calling thread meanwhile (a
// wait on the thread that serves the setup window keeps the window from
// responding). One log line for the whole wait: "WaitInputPin(10, 1, 1000)
// Port=378 Result=1". 1 reached; 0 timed out, or the library is being
// unloaded; DORUZEDA_NOT_REACHED: a read did not reach the port, and the
// wait ended there, its line "WaitInputPin(10, 1, 1000) Port=378 not
// reached: the port did not answer a read of the pin"; DORUZEDA_NO_PORT;
// DORUZEDA_BAD_PIN (pin not readable or timeout outside 0 to 60000).
DORUZEDA_DO_API int DORUZEDA_DO_CALL fnOrvane_waitParallelInputPin(int pin, int level,
                                                                   int timeoutMs);

// Ordinal 15. Records every port access of the library into the VCD file
// `file` (created, or emptied), a timeline that logic-analyser tools open; a
// recording under way ends first, its file complete. NULL or "" ends the
// recording. Starting reads no port: a recorded port's pins are unknown
// until the library's first access to it, just before which its data,
// status and control registers are read once. The ports recorded are those
// listed at load and the one in use now. The pins and the port accesses of
// every other call are the same with or without a recording. The file is
// written every quarter second, each write waiting at most half a second
// (what a stalled file does not take is dropped and named in one log line),
// but for a regular file whose write blocks in the kernel (a share that
// stopped answering), which the ends of the recording wait for as long as
// the system's write lasts; a write failure (a full disk, a removed folder)
// ends the recording with one log line, and the macro runs on. Unloading
// the library ends the recording, its file complete. DORUZEDA_OK recording,
// or ended; DORUZEDA_NOT_RECORDING (the file cannot be created, its name is
// longer than 259 characters, it is the library's own log, or no port can be
// recorded), with one log line naming the file and the cause.
DORUZEDA_DO_API int DORUZEDA_DO_CALL fnOrvane_recordParallelPins(const char* file);

// Pulses: a pin or the data byte held for a time, then put back, for
// triggers and strobes. The hold counts from the moment the first write has
// returned (the line has changed by then), so no pulse is shorter than
// asked: the thread sleeps on the high-resolution waitable timer while more
// than about a millisecond remains, then watches the performance counter to
// the end (without that timer, as on Windows before 10 version 1803, it
// watches the counter for the last tick of the system's timer, 16 ms); the
// second write's own time is all it is longer by on the wire. Other threads'
// calls and the setup window go on meanwhile. Blocks the calling thread; one
// log line after the second write, never inside the pulse, with the width
// held (from the first write's return to the second write's start) in
// microseconds:
//   PulseOutputPin(1, 1, 500) Port=378 Width=500
//   PulseDataByte(200, 500) Port=378 Width=500
// A pulse that meets another under way on any of its lines (the same pin, or
// a data pin and a byte pulse, on the same port) is refused at once with
// DORUZEDA_PULSE_BUSY, touching neither port nor log: once every pulse has
// ended, each line is at the level it had before the first. A pulse on the
// data lines (a byte, or pins 2 to 9) first reads the control register and,
// while the data lines are inputs, writes nothing and gives
// DORUZEDA_DATA_LINES_INPUTS, with one line ("... refused: the data lines
// are inputs"). An access that did not reach the port ends the pulse there
// with DORUZEDA_NOT_REACHED: nothing more is written, and the line names the
// access ("... not reached: the port did not take the first write", "...
// Width=500 not put back: the port did not take the second write"); never a
// pulse reported that did not happen. An unload during a pulse ends it at
// once with its second write and its log line; the call then gives
// DORUZEDA_ENDED_BY_UNLOAD. The end of the process during a pulse makes its
// second write and its line ("... Width=300000 ended by the end of the
// process"); the recording does not show that write.

// Ordinal 16. Drives settable `pin` to `level` (non-zero: high), holds it
// for `microseconds` (1 to 10,000,000), then drives it back to the level it
// had before the call. Only that pin goes back: a pin of the same register
// that another thread changed meanwhile keeps its change. DORUZEDA_OK the
// pulse was made; DORUZEDA_NO_PORT; DORUZEDA_ENDED_BY_UNLOAD;
// DORUZEDA_BAD_PIN (pin not settable or time outside 1 to 10,000,000);
// DORUZEDA_PULSE_BUSY; DORUZEDA_DATA_LINES_INPUTS (pins 2 to 9);
// DORUZEDA_NOT_REACHED.
DORUZEDA_DO_API int DORUZEDA_DO_CALL fnOrvane_pulseParallelOutputPin(int pin, int level,
                                                                     int microseconds);

// Ordinal 17. Writes `value` (0 to 255) to the data register in one write,
// holds it for `microseconds` (1 to 10,000,000), then writes back the value
// the register held before the call: a trigger code on pins 2 to 9.
// DORUZEDA_OK the pulse was made; DORUZEDA_NO_PORT; DORUZEDA_ENDED_BY_UNLOAD;
// DORUZEDA_BAD_PIN (value outside 0 to 255 or time outside 1 to 10,000,000);
// DORUZEDA_PULSE_BUSY; DORUZEDA_DATA_LINES_INPUTS; DORUZEDA_NOT_REACHED.
DORUZEDA_DO_API int DORUZEDA_DO_CALL fnOrvane_pulseParallelDataByte(int value, int microseconds);

// Ordinal 18. Puts 55 and then AA on the data lines, about a microsecond
// each, when they are outputs, to tell whether something answers at the
// selected port (a macro's set-up step): it reads each pattern back from the
// data register, then writes back the byte that was there before. With the
// data lines as inputs (fnOrvane_setParallelDataDirection) it writes
// nothing: it reads the control register, whose direction bit a port keeps
// (one that reads FF, as all of an absent card's do, is checked as outputs).
// One log line naming the port for each result but DORUZEDA_NO_PORT.
// DORUZEDA_OK the port answers; DORUZEDA_NO_PORT; DORUZEDA_NO_ANSWER: nothing
// answers at the port's address (an absent card reads FF, a write the system
// dropped 00), and the line gives what was written and read;
// DORUZEDA_DRIVER_NOT_OPEN (the load logged it too): no port access is made.
DORUZEDA_DO_API int DORUZEDA_DO_CALL fnOrvane_checkParallelPort(void);

// Ordinal 19. The time of an input's change, for reaction times: waits, as
// ordinal 14 does, until readable `pin` is at `level` (non-zero: high), and
// gives the microseconds from the return of the call's first read of the
// port (just after its checks) to the return of the read that first saw the
// level, so never a moment before the line changed: 0 when the level is
// there already, at most `timeoutMs` (0 to 60000) times 1000 (a level seen
// only by a read that returned past that is DORUZEDA_TIMED_OUT). For that
// time to be exact to a few microseconds it reads back to back, never
// sleeping, and gives up the core (SwitchToThread) only once every 10 ms of
// reading: IT HOLDS A CORE WHILE IT WAITS, a whole core's time for the
// call's length less what the system's scheduler gives to others (a 10 s
// call that timed out took 8.0 s of the process's CPU under Wine on a
// 2-core machine at load 4; see docs/threads-and-unload.md). Other threads'
// calls and the setup window go on meanwhile; an unload ends it at once.
// One log line after it ends:
//   TimeInputPin(10, 1, 5000) Port=378 Time=1234
//   TimeInputPin(10, 1, 5000) Port=378 Time=timed out
//   TimeInputPin(10, 1, 5000) Port=378 not reached: the port did not answer a read of the pin
// The microseconds; DORUZEDA_TIMED_OUT the time ran out or the library is
// being unloaded; DORUZEDA_NOT_REACHED a read did not reach the port, and
// the call ended there; DORUZEDA_NO_PORT; DORUZEDA_BAD_PIN (pin not
// readable or timeout outside 0 to 60000).
DORUZEDA_DO_API int DORUZEDA_DO_CALL fnOrvane_timeParallelInputPin(int pin, int level,
                                                                   int timeoutMs);

// Ordinal 20. Plays the VCD file `file` onto the selected port's pins and
// returns once its last change has been made (it blocks, as the pulses do).
// The whole file is read and checked first; nothing is driven unless it is
// good. Signals: the library's own recording's names (lpt378_pin02_d0 drives
// pin 2 of the port at 378; another port's signals are not played, and a
// file with none of the selected port's cannot be played), and sigrok's D0
// to D7, the data lines, pins 2 to 9. An input pin's signal (10 to 13, 15)
// is skipped and named in the log line; any other name, or a signal wider
// than a bit, makes the file one that cannot be played. Levels 0 and 1
// drive a pin, x and z leave it. Both layouts of a change list (a stamp then
// a change a line; "#12 1! 0"" on one line) and every timescale VCD allows
// (1, 10 or 100 of s to fs). At most 4,194,304 writes and 4.8 hours.
// Timing: the file's first change is the call's first write, made at once;
// every later one at its time from it, on the pulses' clock and as they hold
// (never early; the changes of one time stamp to one register are one
// write; changes closer than the port can take are made as soon as it can,
// none dropped, and the play never runs ahead to catch up). The pins the
// file does not drive keep what other calls do to them. One log line after
// the call: the writes made, the file's length from its first change to its
// last and the latest any write was made against its time, both in
// microseconds ("Skipped=" names input pins skipped):
//   PlayPins(rig.vcd) Port=378 Changes=1204 Length=2500000 Latest=3
//   PlayPins(rig.vcd) Port=378 refused: line 12: a signal that names no pin: CLK
// DORUZEDA_OK played; DORUZEDA_NO_PORT (no log line); DORUZEDA_CANNOT_PLAY;
// DORUZEDA_PULSE_BUSY: a pulse or another play holds one of its lines
// (nothing touched, no log line; a pulse meeting a play gets it likewise);
// DORUZEDA_DATA_LINES_INPUTS: the file drives a data line while they are
// inputs (the control register read, nothing written); DORUZEDA_NOT_REACHED:
// an access did not reach the port, and nothing more was written;
// DORUZEDA_ENDED_BY_UNLOAD: the unload ended the play, the pins at its last
// change, the line saying after which change.
DORUZEDA_DO_API int DORUZEDA_DO_CALL fnOrvane_playParallelPins(const char* file);
