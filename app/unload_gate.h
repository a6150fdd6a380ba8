// The unload gate: what a call of an export meets when the library is
// unloaded (FreeLibrary, not the end of the process) while other threads call
// it. Its rules, told here once:
//
// - Every export runs inside an ExportCall. Once the unload has begun, a call
//   is refused: it gives DORUZEDA_REFUSED_AT_UNLOAD (-1) and touches nothing.
// - The unload (LetCallsInsideLeave) closes the gate, ends every wait for an
//   input under way (it gives 0) and every pulse's hold, and waits, up to
//   kUnloadWaitMs, until no admitted call is left inside whose thread lives;
//   past that it goes on regardless. A call whose thread has ended (a host's
//   TerminateThread) never leaves: the gate names each call's thread (up to
//   kNamedCallsInside calls at once; one beyond them counts as living) and
//   does not wait for one whose thread has ended (WaitSleeper::ThreadEnded).
// - Why the wait holds with any number of calls inside: once the waits are
//   ended, a call inside waits on nothing but its port accesses and its
//   log lines. The controller holds its guard for accesses and its state
//   only, never while a line is written (port/pending_line.h); a port's
//   first access waits for one claim (port/port_io.h), counted from the
//   claim's start, however many calls are behind it. So the calls' lines
//   are written side by side, each within its own bound: every call inside
//   leaves within one access wait and one line wait (bounds::kPortCallMs),
//   with a recording's start or end (bounds::kRecordingStartOrEndMs) the
//   longest, never the sum of them.
// - A call counts itself in before it looks at the gate, and the unload closes
//   the gate before it looks at the count: either the call sees the gate
//   closed or the unload sees the call.
// - A call counts itself out only of the load it counted itself into (each
//   load has a mark no other load of the process shares): a thread that
//   outlived an unload, stuck in the system past the wait, and returns into a
//   later load of the library at the same address leaves that load's count
//   alone.
// - Not covered: a thread that has entered an export but not yet its
//   ExportCall, or has left its ExportCall but not yet returned (a few
//   instructions each), when the unload finds no call inside and the system
//   unmaps the library before that thread runs on. The unload's other work
//   (the window, the static objects, the loader's own) takes far longer than
//   those instructions, but nothing guarantees it. A caller stops calling when
//   a call unexpectedly gives -1.
// - Nor a thread ended in the few instructions between counting itself in
//   and naming itself, or between its name's removal and counting itself
//   out: the unload then waits its whole kUnloadWaitMs for it, as before.
#pragma once

#include "../port/deadline.h"
#include "../port/port_controller.h"
#include "../record/recording.h"

// Every bound's sum, checked where the unload that relies on them is kept
// (the constants are each beside the code that keeps it: port/deadline.h).
namespace bounds {

// How long the unload waits for the calls inside to leave: longer than the
// longest call.
constexpr unsigned long kUnloadWaitMs = 3000;
static_assert(kUnloadWaitMs > kPortCallMs,
              "the unload's wait must cover a port's first access and one log line");
static_assert(kUnloadWaitMs > kRecordingStartOrEndMs,
              "the unload's wait must cover a start or an end of a recording");
static_assert(
    kRecordingStartOrEndMs >=
        kRecordingGuardWaitMs + kRecordingFileWaitMs + kRecordingLogLines * kLogLineWaitMs,
    "a start or an end of a recording must hold its guard's wait, its file and its lines");
static_assert(kRecordingFileWaitMs >= 2 * (kRecordingWriteWaitMs + kRecordingCancelWaitMs),
              "an end's file must hold the timer's turn under way and the end's own writing");
static_assert(kExitWaitMs >= kExitLockWaitMs + kRecordingWriteWaitMs + kRecordingCancelWaitMs +
                                 kRecordingEndLogLines * kLogLineWaitMs,
              "the end of the process must hold the recording's lock, one writing and its lines");
static_assert(kPortCallMs >= kPortAccessWaitMs + kLogLineWaitMs,
              "a call must hold its port's first access and its line");

}  // namespace bounds

// Marks a call of an export as inside the library for its life.
class ExportCall {
public:
    ExportCall();
    ~ExportCall();
    ExportCall(const ExportCall&) = delete;
    ExportCall& operator=(const ExportCall&) = delete;
    // False once the unload has begun: the call then does nothing.
    bool Admitted() const { return admitted; }

private:
    bool admitted;
    long long load;  // the mark of the load the call counted itself into
    int slot;        // where its thread is named; -1: not named
};

// How many calls at once the gate names by their thread: more than the
// threads a host runs macros on.
constexpr int kNamedCallsInside = 64;

using bounds::kUnloadWaitMs;

// Closes the gate, ends every wait, and waits (bounded) until no call is
// inside. Runs in DllMain under the loader lock: the calls inside need
// nothing that takes it (no library loads, no threads started or ended), and
// this waits by polling, needing nothing from them.
// Returns the unload's deadline, kUnloadWaitMs from its start, for what the
// unload still waits for once the calls have left (a recording's locks, the
// guard for the pulses of ended threads).
Deadline LetCallsInsideLeave();
