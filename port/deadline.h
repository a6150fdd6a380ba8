// The deadline type and the one wait on it (PollUntil).
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
// Where the bounds live: each number in `namespace bounds`, in the header of
// the code that keeps it (log/log_sink.h a log line, port/port_io.h a port's
// first access, port/pending_line.h a call, port/port_controller.h the
// pulses at the end of the process, record/recording.h a recording's starts
// and ends and its end at the end of the process, app/unload_gate.h the
// unload). app/unload_gate.h static_asserts every sum; the table of bounds in
// docs/threads-and-unload.md states each, checked by scripts/bounds-table.sh.
#pragma once

#include <cstdint>

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
    // `milliseconds` before or after this one.
    BasicDeadline EarlierByMs(unsigned long milliseconds) const
    {
        return BasicDeadline(endNs - static_cast<std::int64_t>(milliseconds) * 1000000);
    }
    BasicDeadline LaterByMs(unsigned long milliseconds) const
    {
        return BasicDeadline(endNs + static_cast<std::int64_t>(milliseconds) * 1000000);
    }
    // The earlier of two.
    static BasicDeadline Earliest(const BasicDeadline& one, const BasicDeadline& other)
    {
        return one.endNs < other.endNs ? one : other;
    }

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
