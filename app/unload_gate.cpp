// The unload gate (its rules: unload_gate.h).
#include "unload_gate.h"

#include <windows.h>

#include <atomic>

#include "../port/wait_sleep.h"
#include "../record/recording.h"

// The longest call must fit in the unload's wait. A start or an end of a
// recording waits on its file at most recording::kLongestFileWaitMs and
// writes at most five log lines of about 200 ms each (a log line's bound,
// log/log_sink.h); a first access to a port another program holds waits at
// most 2 s (the Linux libraries' claim wait) and writes one line.
static_assert(kUnloadWaitMs >= recording::kLongestFileWaitMs + 5 * 200,
              "the unload's wait must cover a start or an end of a recording");
static_assert(kUnloadWaitMs >= 2000 + 200, "the unload's wait must cover a port's claim wait");

namespace {

// How many calls are inside, and whether the unload has begun.
std::atomic<long> callsInside{0};
std::atomic<bool> unloadBegun{false};

// This load's mark, from the system's performance counter when the library
// loads.
LONGLONG TakeLoadMark()
{
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}
const LONGLONG loadMark = TakeLoadMark();

}  // namespace

void LetCallsInsideLeave()
{
    unloadBegun.store(true);
    WaitSleeper::EndAllWaits();
    const DWORD start = ::GetTickCount();
    while (callsInside.load() != 0 && ::GetTickCount() - start < kUnloadWaitMs) {
        ::Sleep(1);
    }
}

ExportCall::ExportCall() : admitted(false), load(loadMark)
{
    callsInside.fetch_add(1);
    admitted = !unloadBegun.load();
}

ExportCall::~ExportCall()
{
    if (load == loadMark) callsInside.fetch_sub(1);
}
