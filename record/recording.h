// The recording of the pins inside Doruzeda_DO.dll: a VCD file (see
// vcd_recorder.h) of every access the library makes, switched on by
// fnOrvane_recordParallelPins or, for a whole load, by DORUZEDA_RECORD.
// Declared here for the exports and the unload, bound on Windows in
// platform/win32/recording_win32.cpp (the starts and ends) and
// recording_session_win32.cpp (one recording's file, buffer and timer).
//
// The controller hands the recording every access it makes
// (port/port_recording.h), under its guard, in the order they reached the
// port. A write failure ends the recording on the timer's thread, without
// that guard: the session then ignores the accesses still handed to it
// until the recording is ended. They fill a buffer under a short lock; a thread-pool timer takes
// the buffer every quarter second, and while there is much of it at once, and writes it to the file
// outside any lock the accesses take. A process killed outright loses at most the last quarter
// second (and what the timer was writing).
//
// Nothing here waits on the outside world beyond a stated bound (the rule of
// docs/threads-and-unload.md), but for one wait: every write of the file is
// overlapped and waited for at most kWriteWaitMs, then cancelled, and what
// it could not write is dropped and named in one log line at the end. So a
// start or an end of a recording, an unload and the end of the process each
// return within their bounds, also over a pipe or a FIFO that takes no more
// writes. The wait it does not bound: a write of a regular file that blocks
// in the kernel (a FUSE file system or a share that stopped answering),
// which no cancel reaches under Wine; the ends of that recording wait as long
// as the system's write. Nothing here waits for the loader lock or for a
// thread's end: the end of a recording waits only for a timer callback under
// way, itself bounded, which needs no loader lock.
#pragma once

#include "../log/log_sink.h"
#include "../port/deadline.h"

class PortController;

namespace bounds {

// One writing of a recording's file (a timer's turn, an end, the end of the
// process): the write is cancelled at its deadline and the cancel given
// kRecordingCancelWaitMs; what it could not write is dropped and named.
constexpr unsigned long kRecordingWriteWaitMs = 500;
constexpr unsigned long kRecordingCancelWaitMs = 100;
// An end's file: the timer's turn under way, then the end's own writing.
constexpr unsigned long kRecordingFileWaitMs = 2 * (kRecordingWriteWaitMs + kRecordingCancelWaitMs);
// An end's wait for the controller's guard, held by another call through its
// port access (the end is then made all the same, its session never freed).
constexpr unsigned long kRecordingGuardWaitMs = 250;
// The most log lines an end writes (its file's write stopped, the changes
// dropped, the bytes dropped, the accesses of no recorded port: each once),
// and a start after it (its refusal): recording_session_win32.cpp and
// recording_win32.cpp count theirs against these.
constexpr unsigned long kRecordingEndLogLines = 4;
constexpr unsigned long kRecordingStartLogLines = 1;
constexpr unsigned long kRecordingLogLines = kRecordingEndLogLines + kRecordingStartLogLines;
// A start or an end of a recording, in all: one Deadline, from which the
// guard's wait, then the file's, each end early enough for what follows.
constexpr unsigned long kRecordingStartOrEndMs =
    kRecordingGuardWaitMs + kRecordingFileWaitMs + kRecordingLogLines * kLogLineWaitMs;
// The end of the process: the recording's lock, which a thread the end
// stopped may hold, then one writing of the file, then the end's lines.
constexpr unsigned long kExitLockWaitMs = 100;
constexpr unsigned long kExitWaitMs = kExitLockWaitMs + kRecordingWriteWaitMs +
                                      kRecordingCancelWaitMs + kRecordingLogLines * kLogLineWaitMs;

}  // namespace bounds

namespace recording {

// How long one writing of the file (a timer's turn, the end of a recording,
// the end of the process) waits for the file before it cancels the write,
// and how long a cancelled write is given to finish.
constexpr unsigned long kWriteWaitMs = bounds::kRecordingWriteWaitMs;
constexpr unsigned long kCancelWaitMs = bounds::kRecordingCancelWaitMs;

// Ends the recording under way (its file complete), then, when `path` is
// neither null nor empty, starts one into the file at `path` (created, or
// emptied). DORUZEDA_OK when recording, or ended; DORUZEDA_NOT_RECORDING when
// no port can be recorded, the name is too long or names the library's own
// log, or the file cannot be created, each with one line in the debug log
// naming the file and the cause.
int RecordInto(PortController& controller, const char* path);

// At load: records the whole load into the file DORUZEDA_RECORD names, if it
// names one. The process's first load records into that file, each later
// load of the same process into the name with "-2", "-3", ... before its
// extension (pins.vcd, pins-2.vcd), so that no load empties an earlier one's
// file. The count lives in the process's environment, which outlives the
// library. Reads no port.
void StartFromEnvironment(PortController& controller);

// At unload, once no call is inside: ends the recording, its file complete.
// Waits for the recordings' lock and the controller's guard (each held only
// by a call stuck past the unload's wait) until `deadline`, the unload's own
// (so that the unload keeps one bound with or without a recording; once its
// wait for the calls has run out, each is tried once); without them it still
// stops the recording's timer and waits for its turn under way, and finishes
// the file.
void EndAtUnload(PortController& controller, const Deadline& deadline);

// At the end of the process (other threads gone, perhaps in the middle of a
// write or holding a lock): what is buffered goes to the file, a write that
// the end cut short is made again where the file allows it, and it is
// closed. Takes no lock another thread could hold forever, and waits at most
// the bound of a write.
void EndAtProcessExit();

}  // namespace recording
