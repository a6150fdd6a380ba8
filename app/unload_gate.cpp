// The unload gate (its rules: unload_gate.h).
#include "unload_gate.h"

#include <windows.h>

#include <atomic>

#include "../port/wait_sleep.h"

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
