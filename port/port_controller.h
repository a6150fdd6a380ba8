// PortController: the port table, the selected port, the buffered outputs and
// the input snapshot, and every pin operation the exported functions offer.
//
// Results: the exports' result codes (include/doruzeda_do.h, DORUZEDA_OK and
// the rest; named below without the prefix), which the exports return
// unchanged. Pin reads return 1 (high) or 0 (low). Every operation that
// tests the selection does so before it looks at the pin (BaseOrRefusal).
// A refused call touches neither the port nor the log. A selected port whose
// base address no port can have (PinMap::IsUsableBase) counts as no port for
// every operation that would access it.
//
// Threads: every operation holds the controller's guard for its port
// accesses and its state only, so a pin's read-modify-write cannot lose
// another thread's change, and the buffers and the snapshot are never seen
// half-updated. Nothing outside is waited for with the guard held: a line is
// formatted under it and written once it is let go (pending_line.h), so
// different threads' lines wait on the log file side by side; a port's first
// access waits for one claim however many calls are behind it (port_io.h).
// The view is called with the guard held, so that it learns of the changes
// in order; a view must never wait for another thread, nor call the
// controller. The state and its guard stay inside: the setup window, too,
// calls operations (its own ones, at the end).
//
// A level is high when non-zero. Register values are kept as 16-bit values of
// which only the low byte reaches the hardware; whatever 16-bit value was read
// is written back whole.
//
// The immediate operations are in port_controller.cpp, the waits and the
// pulses in timed_operations.cpp, the play of a file in play_operation.cpp,
// the setup window's in window_operations.cpp: one class, whose every
// operation on the selected port opens with BaseOrRefusal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "../include/doruzeda_do.h"
#include "guard.h"
#include "pending_line.h"
#include "pin_map.h"
#include "port_recording.h"
#include "port_view.h"

class PlayReader;

namespace bounds {
// The end of the process's wait for the guard (EndPulsesAtProcessExit).
constexpr unsigned long kExitGuardWaitMs = 50;
}  // namespace bounds

struct PortEntry {
    // A port's name as the system reports it (such as LPT1) is shorter than
    // this; discovery leaves out the others.
    static constexpr std::size_t kMaxNameLength = 10;
    char name[kMaxNameLength];
    char label[91];             // "%s (%X-%X)": name, first and last I/O port
    std::uint16_t baseAddress;  // I/O address of the data register
};

class PortController {
public:
    static constexpr int kMaxPorts = 10;
    static constexpr std::uint16_t kFallbackAddress = 0x378;

    PortController();
    PortController(const PortController&) = delete;
    PortController& operator=(const PortController&) = delete;

    // The view that shows the chosen port; null means none (nothing is called).
    void SetView(PortView* newView) { view = newView; }

    // Fills the port table from the system's device list; true when at least
    // one port was recorded. Falls back to 0x378 in row 0 (selected) when the
    // list cannot be read or is empty.
    bool EnumeratePorts();

    int SelectPortByNumber(int number);
    // The address as four one-digit hexadecimal strings, most significant
    // first; the first empty (or null) one ends it.
    int SetManualAddress(const char* digit1, const char* digit2, const char* digit3,
                         const char* digit4);
    int SetPinOutput(int pin, int level);
    int GetPinInput(int pin);
    int PrepareOutputBuffer();
    int PrepareOutputPin(int pin, int level);
    int SetOutputAll();
    int GetInputAll();
    int FetchInputPin(int pin);

    // Beyond the ten: same codes and refusal rules as the operations above.
    // Non-zero makes the data lines inputs, 0 outputs: control bit 5, read,
    // changed and written back whole. Logged. OK; NO_PORT.
    int SetDataDirection(int input);
    // Writes `value` to the data register in one write. Logged.
    // OK; NO_PORT; BAD_PIN: value outside 0 to 255.
    int SetDataByte(int value);
    // Reads the data register (the input lines when the data lines are
    // inputs). Logged. 0 to 255; NO_PORT.
    int GetDataByte();
    // The waits, the time, the pulses and the play keep the contract of
    // their exports (include/doruzeda_do.h: results, log lines, timing); what
    // follows is how they keep it here.
    //
    // WaitInputPin and TimeInputPin: the guard is taken for each read only,
    // never held between reads; a read that did not reach the port
    // (port_io::LastAccessReached) ends the call with NOT_REACHED, no level
    // or time taken from it; WaitSleeper::EndAllWaits (the unload) ends
    // either. Their one log line is written with the guard released.
    // The wait reads back to back at first, then after each of the shortest
    // sleeps the system gives.
    int WaitInputPin(int pin, int level, int timeoutMs);
    // The time stamps each read on the seam's clock under the guard once it
    // has returned, so the time never comes before the change that read saw;
    // it never sleeps, and yields the core (WaitSleeper::YieldCore) once
    // every kTimeReadingBetweenYieldsNs of reading: IT HOLDS A CORE WHILE IT
    // WAITS.
    int TimeInputPin(int pin, int level, int timeoutMs);

    // Pulses: the guard is held for each write only, never while holding
    // (HoldUntil, port/hold.h: the seam's fine timer while more than about a
    // millisecond remains, then the clock); the hold counts from the first
    // write's return, the width to the second write's start. A pulse takes a
    // slot with the lines it drives (kMaxPulses at once); one that meets
    // another's lines is refused before any access. A pin of the data
    // register goes back into the latch as the controller last wrote it,
    // never as a read shows it (a read while the data lines are inputs gives
    // the outside's levels). A pulse whose thread has ended (a host's
    // TerminateThread) is put back, its line written ("Width=700000 ended by
    // the end of its thread") and its slot freed by the next pulse or play
    // that meets it (on its lines, or with no slot free), and by the unload
    // (EndPulsesOfEndedThreads).
    int PulseOutputPin(int pin, int level, int microseconds);
    int PulseDataByte(int value, int microseconds);
    static constexpr int kMaxPulseUs = 10000000;
    // Every settable line of two ports at once.
    static constexpr int kMaxPulses = 2 * PinMap::kSettablePins;
    // At the end of the process, which stopped the pulsing threads: each
    // pulse under way gets its second write, to the port only, and its line
    // ("ended by the end of the process"). The guard is tried for
    // bounds::kExitGuardWaitMs; past it the restores are made without it.
    void EndPulsesAtProcessExit();
    // For the unload, once the calls inside have left or its wait has run
    // out: every pulse whose thread has ended (WaitSleeper::ThreadEnded) put
    // back, with its line, the guard tried until `deadline`. A pulse whose
    // thread lives on is its thread's to end (the unload has ended its
    // hold).
    void EndPulsesOfEndedThreads(const Deadline& deadline);
    // Plays `file` onto the selected port (port/play_operation.cpp):
    // `reader` reads it whole into a schedule outside the guard, then each
    // step is written at its time, held for as the pulses hold, the guard
    // taken for each write only. The lines the file drives take pulse slots
    // meanwhile, so a pulse or a play that meets them gets PULSE_BUSY.
    int PlayPins(const char* file, PlayReader& reader);
    // Whether something answers at the selected port (ordinal 18's contract,
    // include/doruzeda_do.h): the data register read, 55 and AA each written
    // and read back, the byte read first written back; with the data lines
    // as inputs nothing is written. `driverOpen` false gives DRIVER_NOT_OPEN
    // with no access. One log line for each result but NO_PORT.
    int CheckPort(bool driverOpen);

    // When the setup window cannot be made (no display): selects row 0 as
    // the window's initialisation would have, when discovery listed a port;
    // changes nothing otherwise.
    void SelectFirstListedPortWithoutWindow();

    // --- Recording the pins ---
    //
    // Starts `recording` over the ports listed in the table and the selected
    // one (usable bases only, each once, in the table's order), with the
    // guard held throughout: recording.Open with their bases and, when it
    // accepts, recording.Begin; from then on every port access goes to it
    // too, in the order made (port_recording.h), in place of any recording
    // before it. No port is accessed. Not logged. OK started; NO_PORT no
    // usable port (Open not called); NOT_RECORDING when Open refused.
    int StartRecording(PortRecording& recording);
    // When `recording` is the one fed: no access reaches it from here on.
    void EndRecording(PortRecording& recording);
    // The same within `deadline` (a call stuck in the port driver may hold
    // the guard): false when it did not come free (the recording may then
    // still be fed).
    bool EndRecording(PortRecording& recording, const Deadline& deadline);

    static constexpr int kMaxWaitMs = 60000;
    // TimeInputPin's reading between two yields of its core: a yield under
    // Wine (a sched_yield) may hand the core to a busy process for a whole
    // slice of the scheduler; a thread of the host ready on the same core
    // waits at most this long for one (docs/benchmarks.md).
    static constexpr std::int64_t kTimeReadingBetweenYieldsNs = 10000000;

    // --- The setup window's operations ---
    //
    // The window addresses the port through its list, not through the
    // selection: where it works on the port it passes the list's position,
    // its current row and the address that row shows. With no current row
    // (-1) the address is table row 0's, the one the address field shows.
    // At an address no port can have (PinMap::IsUsableBase) they touch no
    // port. They log the window's own lines, not the exports'.
    struct ListPosition {
        int row;                // the list's current row; -1: none
        std::uint16_t address;  // that row's base address (its item data)
    };

    // A level box pressed in (`level` 0) or released (non-zero) for settable
    // `pin`: logs "OnClickedHiLo() ...", then reads the pin's register at the
    // list's address, changes the pin's bit and writes the value back whole.
    void SetPinFromList(ListPosition position, int pin, int level);

    struct InputRegisters {
        std::uint16_t data;
        std::uint16_t status;
    };
    // Reads the data register, then the status register, at the list's
    // address; nothing (and no access) where no port can be. Not logged.
    std::optional<InputRegisters> ReadInputsFromList(ListPosition position);

    // The user chose `row` of the list (-1: none): the exports address that
    // row from now on.
    void ChooseRow(int row);
    // The selected row; -1: none.
    int SelectedRow() const;

    // The table as the window lists it: `count` rows (0 when no port was
    // found; row 0 then holds the address the address field shows).
    struct PortRows {
        PortEntry rows[kMaxPorts];
        int count;
    };
    PortRows RowsToList() const;

private:
    // A row is selected; an index outside the table counts as none.
    bool HasSelection() const REQUIRES(guard);

    // Which port an operation needs: one it may access, or only a selected
    // row (the snapshot's reads, which access none).
    enum class Needs { UsablePort, Selection };
    // Every operation on the selected port opens with this, under the guard:
    // the port is tested before the pin, value or time (`argumentsValid`),
    // so a call with neither gives NO_PORT.
    struct Opening {
        int result;          // OK, NO_PORT or BAD_PIN
        std::uint16_t base;  // the selected row's base address, with OK
    };
    Opening BaseOrRefusal(bool argumentsValid = true, Needs needs = Needs::UsablePort) const
        REQUIRES(guard);
    // An immediate operation on the selected port, for its whole length: the
    // guard taken and BaseOrRefusal made; its line formatted into `line`
    // under the guard, written once the guard is let go.
    class SCOPED_CAPABILITY OpenedCall {
    public:
        explicit OpenedCall(PortController& controller, bool argumentsValid = true,
                            Needs needs = Needs::UsablePort) ACQUIRE(controller.guard);
        ~OpenedCall() RELEASE();
        OpenedCall(const OpenedCall&) = delete;
        OpenedCall& operator=(const OpenedCall&) = delete;
        bool Refused() const { return opening.result != DORUZEDA_OK; }
        int Result() const { return opening.result; }
        std::uint16_t Base() const { return opening.base; }

        PendingLine line;  // first: it goes last, after the guard

    private:
        Guard& held;
        Opening opening;
    };
    // The same for the waits, which hold the guard for their opening only:
    // `row` readable (null: not) and `timeoutMs` 0 to kMaxWaitMs.
    Opening WaitOpening(const PinMapRow* row, int timeoutMs) const EXCLUDES(guard);
    // `pin`'s row when the pin has `ability` (settable, readable); null
    // otherwise.
    static const PinMapRow* PinWith(int pin, bool PinMapRow::*ability);

    // Every port access, so that the recording fed (if any) sees each one:
    // with none, one load and one branch on the way to the port.
    std::uint16_t Read(std::uint16_t address) REQUIRES(guard);
    void Write(std::uint16_t address, std::uint16_t value) REQUIRES(guard);
    // The same with a recording, out of the access path.
    std::uint16_t RecordedRead(PortRecording& feeding, std::uint16_t address) REQUIRES(guard);
    void RecordedWrite(PortRecording& feeding, std::uint16_t address, std::uint16_t value)
        REQUIRES(guard);

    // The address the window works on: its row's, or with no current row
    // table row 0's, the one the address field shows.
    std::uint16_t ListAddress(ListPosition position) const REQUIRES(guard);

    bool AddPortRow(const char* name, std::uint16_t firstPort, std::uint16_t lastPort)
        REQUIRES(guard);

    // CheckPort with the data lines as outputs: the two patterns at `base`.
    int CheckDataLatch(std::uint16_t base, PendingLines& line) REQUIRES(guard);
    // Reads the register at `base` and then the one at `second` of that port.
    void ReadTwo(std::uint16_t base, PinRegister second, std::uint16_t& first,
                 std::uint16_t& secondValue) REQUIRES(guard);

    // Both waits for an input: the opening, AwaitLevel's or TimeLevel's
    // reads, the line.
    enum class InputWatch { Wait, Time };
    int WatchInput(InputWatch watch, int pin, int level, int timeoutMs) EXCLUDES(guard);
    // Its line: the call and port, then the result, the time or the read
    // not reached.
    static void LogInputWatch(InputWatch watch, int pin, int level, int timeoutMs,
                              std::uint16_t base, int result);
    // One read of an input's register under the guard: the value, whether it
    // reached the port, and the clock once it returned.
    struct InputRead {
        std::uint16_t value;
        bool reached;
        std::int64_t stampNs;
    };
    InputRead ReadInput(std::uint16_t reg) EXCLUDES(guard);
    // Reads register `reg` until `row`'s pin shows `wantHigh` (1) or the time
    // runs out or an unload ends the wait (0), or a read does not reach the
    // port (NOT_REACHED).
    int AwaitLevel(std::uint16_t reg, const PinMapRow& row, bool wantHigh, int timeoutMs)
        EXCLUDES(guard);
    // TimeInputPin's reads: the microseconds to the read that saw `wantHigh`,
    // TIMED_OUT or NOT_REACHED.
    int TimeLevel(std::uint16_t reg, const PinMapRow& row, bool wantHigh, int timeoutMs)
        EXCLUDES(guard);

    // A pulse under way, from the claim of its lines to its second write:
    // what its thread, and the end of the process, need to put it back.
    struct Pulse {
        int pin;    // 0: the data byte
        int level;  // the pin's level asked, or the byte
        int microseconds;
        std::uint16_t base;
        std::uint16_t reg;
        std::uint16_t lines;      // the register's bits pulsed; 0: a free slot
        std::uint16_t before;     // the register before the first write
        std::uint16_t latch;      // the register as the controller last wrote it
        std::uint32_t thread;     // the pulsing thread (WaitSleeper::CurrentThreadId)
        std::int64_t heldFromNs;  // the clock once the first write returned
        // A play's file, null for a pulse; `level` is then the play's changes
        // made, or -1 in the slot of its second register.
        const char* play;
    };
    // A pulse's own line, and one for each pulse of an ended thread that
    // its start puts back.
    using PulseLines = PendingLinesOf<kMaxPulses + 1>;
    // Both pulses: the opening under the guard, the hold, the second write.
    int RunPulse(Pulse pulse, const PinMapRow* row, bool argumentsValid) EXCLUDES(guard);
    // The opening: refusals, lines under pulse, the data lines' direction,
    // the level before, the first write. OK with `pulse` filled and in slot
    // `*slot`, or the result to give.
    int StartPulse(Pulse& pulse, const PinMapRow* row, bool argumentsValid, int* slot,
                   PendingLines& lines) REQUIRES(guard);
    // A pulse on the data lines: NOT_REACHED or DATA_LINES_INPUTS with its
    // line when the control register's read says so, else OK.
    int DataLinesRefusal(const Pulse& pulse, PendingLines& lines) REQUIRES(guard);
    // A free slot for a pulse of `lines` of the register at `reg`; -1 when
    // they meet a pulse under way, or none is free. A pulse met whose thread
    // has ended is put back first, its line in `ended`.
    int PulseSlotFor(std::uint16_t reg, std::uint16_t lines, PendingLines& ended) REQUIRES(guard);
    // Whether the pulse in `slot` keeps another from starting: false once
    // it is put back because its thread has ended.
    bool StillPulsing(int slot, PendingLines& ended) REQUIRES(guard);
    // Who ends a pulse: its own thread, the next call after its thread has
    // ended, the end of the process (to the port only).
    enum class PulseEnd { ByItsThread, ThreadEnded, ProcessExit };
    // The pulse in `slot` put back (a pin: its register read now, the pin
    // changed, written), its slot freed, its line formatted; through Read
    // and Write, or at the end of the process to the port only. False when
    // the port did not take it.
    bool EndPulse(int slot, PulseEnd end, PendingLines& line) REQUIRES(guard);
    // The value a pin pulse's register goes back to: the register as read
    // now (`now`), or for the data register the latch as last written, with
    // the pulsed pin as before.
    static std::uint16_t RestoredValue(const Pulse& pulse, std::uint16_t now);
    // A write by the controller to a register a pulse holds: its latch.
    void KeepLatches(std::uint16_t address, std::uint16_t value) REQUIRES(guard);
    // The pulse's line: its call and port, then `outcome`.
    static void LogPulse(const Pulse& pulse, const char* outcome, PendingLines& line);

    // A play under way (port/play_operation.cpp): its opening under the
    // guard, each step's write, its end and its line.
    struct Play;
    int OpenPlay(Play& play, PendingLines& ended) REQUIRES(guard);
    // A play's slots when its thread has ended, with its line.
    void EndPlayOfEndedThread(int slot, PendingLines& line) REQUIRES(guard);
    bool WriteStep(Play& play, std::size_t at) REQUIRES(guard);
    int RunPlay(Play& play) EXCLUDES(guard);
    void ClosePlay(const Play& play) REQUIRES(guard);
    static void LogPlay(const Play& play, int result);
    static void LogPlayAtExit(const Pulse& slot);

    mutable Guard guard;
    PortEntry portTable[kMaxPorts] GUARDED_BY(guard);
    std::int32_t portCount GUARDED_BY(guard);
    std::int32_t selectedIndex GUARDED_BY(guard);  // -1: no port
    std::uint16_t outData GUARDED_BY(guard);
    std::uint16_t outControl GUARDED_BY(guard);
    std::uint16_t inData GUARDED_BY(guard);
    std::uint16_t inStatus GUARDED_BY(guard);
    PortRecording* recording GUARDED_BY(guard);  // the one fed; null: none
    Pulse pulses[kMaxPulses] GUARDED_BY(guard);
    int pulsesUnderWay GUARDED_BY(guard);  // slots in use: Write keeps latches while any
    PortView* view;
};
