// A wait's sleep on Windows: a high-resolution waitable timer
// (CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, Windows 10 version 1803 and later)
// ticks in about a millisecond without changing the timer resolution of the
// whole machine, as timeBeginPeriod would. Where the system refuses that flag
// the sleep is one tick of the system's timer (15.6 ms unless a program of
// the machine asked for finer). Either way the sleep also waits on one
// manual-reset event, which the unload sets to end every wait at once.
// Nothing here takes the loader lock.
#include <windows.h>

#include <atomic>

#include "../../port/wait_sleep.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

// Made when the library loads (its static objects are constructed before
// DllMain runs), closed when it unloads.
class EndEvent {
public:
    EndEvent() : handle(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~EndEvent()
    {
        if (handle != nullptr) ::CloseHandle(handle);
    }
    EndEvent(const EndEvent&) = delete;
    EndEvent& operator=(const EndEvent&) = delete;
    HANDLE handle;
};

EndEvent endEvent;
std::atomic<bool> waitsEnded{false};

constexpr LONGLONG kSleep100ns = -10000;  // 1 ms, relative
// Should the timer never fire, a sleep still ends after this.
constexpr DWORD kTimerBackstopMs = 50;

}  // namespace

WaitSleeper::WaitSleeper()
    : timer(::CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                     TIMER_ALL_ACCESS))
{
}

WaitSleeper::~WaitSleeper()
{
    if (timer != nullptr) ::CloseHandle(static_cast<HANDLE>(timer));
}

bool WaitSleeper::Sleep()
{
    if (waitsEnded.load()) return false;
    if (endEvent.handle == nullptr) {
        ::Sleep(1);
        return !waitsEnded.load();
    }
    DWORD woken = WAIT_TIMEOUT;
    LARGE_INTEGER due;
    due.QuadPart = kSleep100ns;
    if (timer != nullptr && ::SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) {
        const HANDLE objects[] = {endEvent.handle, static_cast<HANDLE>(timer)};
        woken = ::WaitForMultipleObjects(2, objects, FALSE, kTimerBackstopMs);
    } else {
        woken = ::WaitForSingleObject(endEvent.handle, 1);
    }
    return woken != WAIT_OBJECT_0 && !waitsEnded.load();
}

void WaitSleeper::EndAllWaits()
{
    waitsEnded.store(true);
    if (endEvent.handle != nullptr) ::SetEvent(endEvent.handle);
}
