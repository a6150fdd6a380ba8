// The sleep between a wait's reads, and the end of every wait at unload: the
// platform operations that WaitInputPin needs, and nothing else.
//
// The Win32 build binds these to a waitable timer and an event
// (platform/win32/wait_sleep_win32.cpp); the native tests bind them to a
// double that sleeps a millisecond and counts (tests/fakes/fakes.cpp).
#pragma once

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

    // Sleeps about a millisecond where the system offers a timer that fine,
    // else one tick of the system's timer. True after the sleep; false, at
    // once or as soon as EndAllWaits is called during the sleep, once the
    // waits have been ended: the wait then gives up.
    bool Sleep();

    // Ends every sleep under way and makes every later Sleep return false at
    // once, for the rest of this load. For the unload, on any thread, also
    // while the system's loader lock is held: it never blocks.
    static void EndAllWaits();

private:
    void* timer;  // the system's fine timer, or null: the ordinary sleep
};
