// The core's time on Windows. The clock is the performance counter. A wait's
// and a pulse's sleep is a high-resolution waitable timer
// (CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, Windows 10 version 1803 and later),
// which ticks in about a millisecond without changing the timer resolution of
// the whole machine, as timeBeginPeriod would. Where the system refuses that
// flag the sleep is one tick of the system's timer (15.6 ms unless a program
// of the machine asked for finer). Either way the sleep also waits on one
// manual-reset event, which the unload sets to end every wait at once.
// Under Wine, whose timers fire on its server's millisecond, a wait's sleep
// is slept in the process instead (see kWaitSleepInProcessNs), and so may a
// pulse's last few milliseconds (SleepExactly). How long a pulse sleeps on
// which, the core decides from what these say of their lateness. Nothing
// here takes the loader lock.
#include <windows.h>

#include <atomic>
#include <cstdint>

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

constexpr LONGLONG kWaitSleep100ns = 10000;  // 1 ms
// Under Wine a wait sleeps this long in the process itself instead: Wine's
// timer objects fire on its server's millisecond tick (measured with Wine
// 8.0: a 0.1 ms due time sleeps 1.1 ms), too coarse for a wait to see a
// change within a millisecond, while its NtDelayExecution sleeps in the
// process to the microsecond, with no call to the server. No event ends such
// a sleep: the end of the waits is seen when it returns.
constexpr std::int64_t kWaitSleepInProcessNs = 500000;
// Under Wine the timer fires up to about 1.2 ms late, past the core's
// watched last millisecond: it is said to be this late, so that a pulse
// sleeps this last part in the process (SleepExactly), which is also the
// longest sleep there: an unload waits for at most one.
constexpr std::int64_t kInProcessPartNs = 3000000;
// Should the timer never fire, a sleep still ends this long after its due time.
constexpr DWORD kTimerBackstopMs = 50;
// A tick of the ordinary timer, rounded up: how late its sleep may end
// (Windows' default tick is 15.6 ms).
constexpr std::int64_t kOrdinaryTickNs = 16000000;

// Read at load rather than in a function's static: a static's guard would
// start the runtime's thread support (a thread and an event per load).
LONGLONG ReadCounterFrequency()
{
    LARGE_INTEGER frequency;
    return ::QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0 ? frequency.QuadPart
                                                                             : 1;
}
const LONGLONG counterFrequency = ReadCounterFrequency();

using DelayFunction = LONG(WINAPI*)(BOOLEAN alertable, const LARGE_INTEGER* interval);

// NtDelayExecution where the system is Wine (its ntdll exports
// wine_get_version); null on Windows, whose own sleeps keep to the timer's
// tick. Looked up at load, when ntdll is loaded already.
DelayFunction InProcessSleepOfWine()
{
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr || ::GetProcAddress(ntdll, "wine_get_version") == nullptr) return nullptr;
    return reinterpret_cast<DelayFunction>(
        reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtDelayExecution")));
}
const DelayFunction inProcessSleep = InProcessSleepOfWine();

// Sleeps `nanoseconds` in the process (Wine's NtDelayExecution); false when
// the waits ended meanwhile.
bool SleepInProcess(DelayFunction delay, std::int64_t nanoseconds)
{
    LARGE_INTEGER interval;
    interval.QuadPart = -(nanoseconds / 100 > 0 ? nanoseconds / 100 : 1);
    delay(FALSE, &interval);
    return !waitsEnded.load();
}

bool SleepOnEvent(DWORD milliseconds)
{
    if (endEvent.handle == nullptr) {
        ::Sleep(milliseconds);
        return !waitsEnded.load();
    }
    return ::WaitForSingleObject(endEvent.handle, milliseconds) != WAIT_OBJECT_0 &&
           !waitsEnded.load();
}

// Sleeps `hundredNs` (relative) on the fine timer, or until the end event.
bool SleepOnTimer(HANDLE timer, LONGLONG hundredNs)
{
    LARGE_INTEGER due;
    due.QuadPart = -hundredNs;
    if (endEvent.handle == nullptr ||
        !::SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) {
        return SleepOnEvent(1);
    }
    const HANDLE objects[] = {endEvent.handle, timer};
    const DWORD backstop = static_cast<DWORD>(hundredNs / 10000) + kTimerBackstopMs;
    return ::WaitForMultipleObjects(2, objects, FALSE, backstop) != WAIT_OBJECT_0 &&
           !waitsEnded.load();
}

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
    if (inProcessSleep != nullptr) return SleepInProcess(inProcessSleep, kWaitSleepInProcessNs);
    if (timer == nullptr) return SleepOnEvent(1);
    return SleepOnTimer(static_cast<HANDLE>(timer), kWaitSleep100ns);
}

bool WaitSleeper::SleepFor(std::int64_t nanoseconds)
{
    if (waitsEnded.load()) return false;
    if (timer != nullptr) {
        const LONGLONG hundredNs = nanoseconds / 100;
        return SleepOnTimer(static_cast<HANDLE>(timer), hundredNs > 0 ? hundredNs : 1);
    }
    return SleepOnEvent(static_cast<DWORD>(nanoseconds / 1000000));
}

std::int64_t WaitSleeper::LateByNs() const
{
    if (timer == nullptr) return kOrdinaryTickNs;
    return inProcessSleep != nullptr ? kInProcessPartNs : 0;
}

std::int64_t WaitSleeper::LongestExactSleepNs()
{
    return inProcessSleep != nullptr ? kInProcessPartNs : 0;
}

bool WaitSleeper::SleepExactly(std::int64_t nanoseconds)
{
    if (waitsEnded.load() || inProcessSleep == nullptr) return false;
    return SleepInProcess(inProcessSleep, nanoseconds);
}

std::int64_t WaitSleeper::NowNs()
{
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    const LONGLONG seconds = counter.QuadPart / counterFrequency;
    const LONGLONG rest = counter.QuadPart % counterFrequency;
    return seconds * 1000000000LL + rest * 1000000000LL / counterFrequency;
}

bool WaitSleeper::WaitsEnded()
{
    return waitsEnded.load();
}

// SwitchToThread hands the rest of the slice to a thread ready on this
// processor and returns at once when there is none. Under Wine it is a
// sched_yield in the process, which hands the core to any process ready
// for it: the time of an input yields once every 10 ms of reading
// (docs/benchmarks.md).
bool WaitSleeper::YieldCore()
{
    if (waitsEnded.load()) return false;
    ::SwitchToThread();
    return !waitsEnded.load();
}

// A Sleep(1) lasts up to a tick of the system's timer (15.6 ms by default):
// PollUntil counts its wait in time, not in pauses.
void WaitSleeper::Pause()
{
    ::Sleep(1);
}

void WaitSleeper::EndAllWaits()
{
    waitsEnded.store(true);
    if (endEvent.handle != nullptr) ::SetEvent(endEvent.handle);
}

std::uint32_t WaitSleeper::CurrentThreadId()
{
    return ::GetCurrentThreadId();
}

bool WaitSleeper::ThreadEnded(std::uint32_t id)
{
    const HANDLE thread = ::OpenThread(SYNCHRONIZE, FALSE, id);
    // No such thread: its id is free (access refused: a thread that lives).
    if (thread == nullptr) return ::GetLastError() == ERROR_INVALID_PARAMETER;
    const bool ended = ::WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
    ::CloseHandle(thread);
    return ended;
}
