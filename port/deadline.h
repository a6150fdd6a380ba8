// Deadlines, and every bound the library keeps in one place.
//
// A wait on the outside world (a lock another process holds, a file that
// stops taking writes, a port another program has claimed, the calls still
// inside at an unload) starts one Deadline and checks it before every step:
// a retry is counted in time, never in tries, since a system's shortest
// sleep is as long as the system makes it (a Sleep(1) lasts a tick of the
// timer on Windows, 15.6 ms by default). The clock is the wait seam's
// (WaitSleeper::NowNs), which the native tests replace with a fake one: a
// bound is then checked by construction, not by a timed test.
//
// The numbers below are those bounds, each computed from the ones it covers;
// the compiler checks that the unload's wait covers the longest call.
// docs/threads-and-unload.md's table of bounds points here.
#pragma once

#include <cstdint>

#include "../log/log_sink.h"
#include "port_io.h"
#include "wait_sleep.h"

// A moment on a monotonic clock in nanoseconds: `Clock::NowNs()`.
template <typename Clock>
class BasicDeadline {
public:
    // `milliseconds` from now.
    static BasicDeadline AfterMs(unsigned long milliseconds)
    {
        return BasicDeadline(Clock::NowNs() + static_cast<std::int64_t>(milliseconds) * 1000000);
    }
    static BasicDeadline AfterNs(std::int64_t nanoseconds)
    {
        return BasicDeadline(Clock::NowNs() + nanoseconds);
    }
    // At `endNs` on the clock.
    static BasicDeadline At(std::int64_t endNs) { return BasicDeadline(endNs); }

    bool Passed() const { return RemainingNs() == 0; }
    // What is left, 0 once passed.
    std::int64_t RemainingNs() const
    {
        const std::int64_t left = endNs - Clock::NowNs();
        return left > 0 ? left : 0;
    }
    // What is left in whole milliseconds, rounded up (a wait of the system
    // given this never ends before the deadline), 0 once passed.
    unsigned long RemainingMs() const
    {
        return static_cast<unsigned long>((RemainingNs() + 999999) / 1000000);
    }
    std::int64_t EndNs() const { return endNs; }

private:
    explicit BasicDeadline(std::int64_t end) : endNs(end) {}
    std::int64_t endNs;
};

// The wait seam's clock.
struct WaitClock {
    static std::int64_t NowNs() { return WaitSleeper::NowNs(); }
};
using Deadline = BasicDeadline<WaitClock>;

// Tries `attempt` (a callable returning true once it has what it tries for)
// until it succeeds or `deadline` has passed, pausing between tries through
// the wait seam (WaitSleeper::Pause): the deadline, checked before every
// pause, ends the wait, never a count of tries. True when `attempt`
// succeeded; it is tried at least once.
template <typename Attempt>
bool PollUntil(const Deadline& deadline, Attempt attempt)
{
    while (!attempt()) {
        if (deadline.Passed()) return false;
        WaitSleeper::Pause();
    }
    return true;
}

namespace bounds {

// A log line: two of the log file's three lock bytes (log/log_lock.h), then
// its one write, which gives up after kLogWriteWaitMs, its cancel included (a
// file that stops taking lines); a line that cannot be written within that is
// dropped and counted, and the next line written names the count.
constexpr unsigned long kLogLockWaitMs = log_sink::kLockWaitMs;
constexpr unsigned long kLogWriteWaitMs = log_sink::kWriteWaitMs;
constexpr unsigned long kLogLineWaitMs = log_sink::kLineWaitMs;
// After a line given up the log file is not tried again for this long: the
// lines meanwhile are counted at once, so a file that stopped answering costs
// one line's wait in this while, whatever the number of lines.
constexpr unsigned long kLogPauseAfterTimeOutMs = log_sink::kPauseAfterTimeOutMs;
static_assert(kLogPauseAfterTimeOutMs > kLogLineWaitMs,
              "a pause after a line given up must be longer than the wait it saves");

// A port's first access: the claim of a port another program holds
// (port/port_io.h; the Linux libraries' claim wait is this number).
constexpr unsigned long kPortAccessWaitMs = port_io::kLongestAccessMs;

// One writing of a recording's file (a timer's turn, an end, the end of the
// process): the write is cancelled at its deadline and the cancel given
// kRecordingCancelWaitMs; what it could not write is dropped and named.
constexpr unsigned long kRecordingWriteWaitMs = 500;
constexpr unsigned long kRecordingCancelWaitMs = 100;
// A start or an end of a recording: the timer's turn under way, then the
// end's own writing.
constexpr unsigned long kRecordingFileWaitMs = 2 * (kRecordingWriteWaitMs + kRecordingCancelWaitMs);
// The most log lines a start or an end of a recording writes (the end's
// losses, the start's failure).
constexpr unsigned long kRecordingLogLines = 5;
// The longest a start or an end of a recording takes in all.
constexpr unsigned long kRecordingStartOrEndMs =
    kRecordingFileWaitMs + kRecordingLogLines * kLogLineWaitMs;

// A call that accesses a port (it accesses one) waits at most for its first
// access and one log line: the exports of one access, a wait, a check, a
// pulse the unload ends (its second write at once, then its line). It holds
// with any number of calls: the guard is never held while a line is written
// (port/pending_line.h), and a port's claim is one wait for every call
// queued behind it (port/port_io.h), so the calls' waits run side by side.
// (A pulse that puts back pulses of ended threads writes their lines too,
// one line wait each.)
constexpr unsigned long kPortCallMs = kPortAccessWaitMs + kLogLineWaitMs;
constexpr unsigned long kLongestCallMs =
    kPortCallMs > kRecordingStartOrEndMs ? kPortCallMs : kRecordingStartOrEndMs;

// The end of the process during pulses: the controller's guard, which a
// pulsing thread that the end stopped may hold and never give back (the
// restores are then made without it), then for each pulse under way its
// restore (a read and a write of a port it reached) and its line, as a call.
constexpr unsigned long kExitGuardWaitMs = 50;
constexpr unsigned long kExitPulseMs = kPortCallMs;

// How long the unload waits for the calls inside to leave: longer than the
// longest call.
constexpr unsigned long kUnloadWaitMs = 3000;
static_assert(kUnloadWaitMs > kPortCallMs,
              "the unload's wait must cover a port's first access and one log line");
static_assert(kUnloadWaitMs > kRecordingStartOrEndMs,
              "the unload's wait must cover a start or an end of a recording");

// The unload's own end of a recording waits for the lock of the recordings'
// starts and ends and the controller's guard (each held only by a call stuck
// past the unload's wait) within the unload's wait, then for the end itself
// (kRecordingStartOrEndMs).
// The end of the process: the recording's lock, which a thread the end
// stopped may hold, then one writing of the file.
constexpr unsigned long kExitLockWaitMs = 100;
constexpr unsigned long kExitWaitMs = kExitLockWaitMs + kRecordingWriteWaitMs +
                                      kRecordingCancelWaitMs + kRecordingLogLines * kLogLineWaitMs;

}  // namespace bounds
