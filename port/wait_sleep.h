// Time for the core: the clock, the sleep between a wait's reads, the sleep
// of a pulse, and the end of every wait and pulse at unload: the platform
// operations that WaitInputPin, TimeInputPin and the pulses need, and nothing
// else. The core reads no other clock.
//
// The Win32 build binds these to the performance counter, a waitable timer
// and an event (platform/win32/wait_sleep_win32.cpp); the native tests bind
// them to a double that sleeps and counts, with a fake clock a test can
// switch on (tests/fakes/fakes.cpp).
#pragma once

#include <cstdint>

// One wait's sleeper, made and used by the waiting thread only, for the
// length of one wait.
class WaitSleeper {
public:
    // Prepares the finest sleep the system offers. Never fails: without a fine
    // timer the sleeper falls back to the system's ordinary sleep.
    WaitSleeper();
    ~WaitSleeper();
    WaitSleeper(const WaitSleeper&) = delete;
    WaitSleeper& operator=(const WaitSleeper&) = delete;

    // Sleeps about a millisecond where the system offers a timer that fine
    // (half a millisecond under Wine), else one tick of the system's timer. True after the sleep;
    // false, at once or as soon as EndAllWaits is called during the sleep, once the waits have been
    // ended: the wait then gives up.
    bool Sleep();

    // Sleeps about `nanoseconds` (at least 1) on the system's fine timer, or
    // where it has none on its ordinary one (whole milliseconds, rounded
    // down): never noticeably shorter, and later by at most LateByNs(). How
    // long to sleep, and when to watch the clock instead, the core decides
    // (a pulse's hold, port/timed_operations.cpp). True after the sleep;
    // false as Sleep.
    bool SleepFor(std::int64_t nanoseconds);
    // How much later than asked SleepFor may wake, beyond the last
    // millisecond that the core watches on the clock after any sleep: 0 for
    // a timer that fires within it, a tick of the ordinary timer without
    // the fine one.
    std::int64_t LateByNs() const;

    // The longest sleep the process can make on its own, exact to the
    // microsecond and never late (under Wine, which sleeps it without a
    // call to its server); 0 where there is none (Windows). EndAllWaits does
    // not cut it short: the unload waits for at most one.
    static std::int64_t LongestExactSleepNs();
    // Sleeps `nanoseconds` (1 to LongestExactSleepNs()) that way. True after
    // the sleep; false, at once or after it, once the waits have been ended.
    static bool SleepExactly(std::int64_t nanoseconds);

    // Monotonic time in nanoseconds from an arbitrary start (the system's
    // performance counter); any thread, never blocks.
    static std::int64_t NowNs();

    // EndAllWaits has been called: a pulse that watches the clock, and a
    // time of an input between its yields, check it.
    static bool WaitsEnded();

    // Gives the rest of the thread's time slice to another thread ready on
    // the same core, if there is one, and returns at once otherwise: never a
    // sleep, so a loop of reads that yields now and then holds its core but
    // keeps another thread from it only until its next yield. True after the yield; false, at once,
    // once the waits have been ended. Named for what it gives up: Windows'
    // headers take the name Yield for a macro.
    static bool YieldCore();

    // Pauses between two tries of something another thread or process holds
    // (a lock, the calls inside at an unload): about a millisecond, a tick of
    // the system's timer at most. Not ended by EndAllWaits, so that the
    // unload's own wait can use it: PollUntil's deadline ends that wait.
    static void Pause();

    // Ends every sleep under way and makes every later sleep return false at
    // once, for the rest of this load. For the unload, on any thread, also
    // while the system's loader lock is held: it never blocks.
    static void EndAllWaits();

    // The calling thread, as ThreadEnded knows it: the system's thread id,
    // never 0. Any thread, never blocks.
    static std::uint32_t CurrentThreadId();
    // Whether thread `id` has ended (a host's TerminateThread in the middle
    // of a pulse; the system has freed the id, or its thread object is
    // signalled). A live thread is never said to have ended; a freed id
    // the system has given to a new thread counts as that thread's. Never
    // blocks, takes no loader lock: for a call under the controller's guard
    // and for the unload.
    static bool ThreadEnded(std::uint32_t id);

private:
    void* timer;  // the system's fine timer, or null: the ordinary sleep
};
