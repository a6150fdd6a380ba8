// The Win32 binding of a wait's sleep (platform/win32/wait_sleep_win32.cpp),
// linked into this program on its own: it asks for the high-resolution
// timer, falls back to the ordinary sleep where the system refuses that
// timer (Windows before 10 version 1803), and in both cases sleeps end on
// their own and the end of the waits wakes them.
//
// The system's CreateWaitableTimerExW is replaced at link time: this program
// defines the import's pointer itself, so the binding calls RefusingOrReal,
// which records the flags and refuses them when the test says so.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "port/wait_sleep.h"

namespace {
volatile LONG refuseFineTimer = 0;
DWORD flagsAsked = 0;
}  // namespace

extern "C" HANDLE WINAPI RefusingOrReal(SECURITY_ATTRIBUTES* attributes, const WCHAR* name,
                                        DWORD flags, DWORD access)
{
    flagsAsked = flags;
    if (refuseFineTimer != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    using Create = HANDLE(WINAPI*)(SECURITY_ATTRIBUTES*, const WCHAR*, DWORD, DWORD);
    const auto real = reinterpret_cast<Create>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateWaitableTimerExW")));
    return real != nullptr ? real(attributes, name, flags, access) : nullptr;
}

// The import's pointer, under the name the binding's call goes through.
extern "C" {
void* importedCreateTimer __asm__("__imp__CreateWaitableTimerExW@16") =
    reinterpret_cast<void*>(&RefusingOrReal);
}

namespace {

struct Sleeping {
    bool refused;
    volatile LONG sleeps = 0;
    HANDLE first = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ~Sleeping() { CloseHandle(first); }
};

// Sleeps again and again until the waits are ended.
DWORD WINAPI SleepUntilEnded(void* pointer)
{
    Sleeping& self = *static_cast<Sleeping*>(pointer);
    InterlockedExchange(&refuseFineTimer, self.refused ? 1 : 0);
    WaitSleeper sleeper;
    while (sleeper.Sleep()) {
        if (InterlockedIncrement(&self.sleeps) == 5) SetEvent(self.first);
    }
    return 0;
}

TEST(WaitSleeperOnWindows, FineOrFallingBackSleepsEndAndTheEndOfTheWaitsWakesThem)
{
    Sleeping fine{false};
    Sleeping plain{true};
    HANDLE threads[2] = {};
    for (Sleeping* sleeping : {&fine, &plain}) {
        const char* what = sleeping->refused ? "timer refused" : "timer offered";
        flagsAsked = 0;
        threads[sleeping->refused ? 1 : 0] =
            CreateThread(nullptr, 0, &SleepUntilEnded, sleeping, 0, nullptr);
        ASSERT_NE(threads[sleeping->refused ? 1 : 0], nullptr);
        // Five sleeps, each of which ended on its own.
        EXPECT_EQ(WaitForSingleObject(sleeping->first, 10000), static_cast<DWORD>(WAIT_OBJECT_0))
            << what << ": " << sleeping->sleeps << " sleeps";
        EXPECT_EQ(flagsAsked, 0x00000002u) << what << ": CREATE_WAITABLE_TIMER_HIGH_RESOLUTION";
    }
    // Both sleep on until the waits are ended.
    EXPECT_EQ(WaitForMultipleObjects(2, threads, FALSE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    WaitSleeper::EndAllWaits();
    EXPECT_EQ(WaitForMultipleObjects(2, threads, TRUE, 5000), static_cast<DWORD>(WAIT_OBJECT_0))
        << "a sleep went on after the end of the waits";
    for (HANDLE thread : threads) CloseHandle(thread);

    WaitSleeper later;
    EXPECT_FALSE(later.Sleep()) << "a sleep after the end of the waits";
}

// A wait's sleep between reads is bounded from both sides: one that returns
// at once turns the wait into a busy loop, one of a timer tick (15.6 ms)
// lets a change wait that long to be seen. The median of 21 sleeps, so that
// a busy machine's late wake-up does not decide.
TEST(WaitSleeperOnWindows, ASleepBetweenReadsIsNeitherABusyLoopNorATick)
{
    using Clock = std::chrono::steady_clock;
    WaitSleeper sleeper;
    std::vector<Clock::duration> slept;
    for (int sleep = 0; sleep < 21; ++sleep) {
        const Clock::time_point start = Clock::now();
        ASSERT_TRUE(sleeper.Sleep());
        slept.push_back(Clock::now() - start);
    }
    std::sort(slept.begin(), slept.end());
    const auto median = std::chrono::duration_cast<std::chrono::microseconds>(slept[10]).count();
    EXPECT_GE(median, 100) << "a sleep returns at once";
    EXPECT_LE(median, 10000) << "a sleep lasts a timer tick";
    // A pulse's sleep lasts what it is asked, the timer's due time relative.
    const Clock::time_point start = Clock::now();
    ASSERT_TRUE(sleeper.SleepFor(20000000));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(15))
        << "a sleep of 20 ms ended early";
}

}  // namespace
