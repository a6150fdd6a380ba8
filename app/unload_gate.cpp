// The unload gate (its rules: unload_gate.h).
#include "unload_gate.h"

#include <windows.h>

#include <atomic>

namespace {

// How many calls are inside, and whether the unload has begun.
std::atomic<long> callsInside{0};
std::atomic<bool> unloadBegun{false};

// This load's mark: the clock when the library loads.
const long long loadMark = WaitSleeper::NowNs();

}  // namespace

Deadline LetCallsInsideLeave()
{
    unloadBegun.store(true);
    WaitSleeper::EndAllWaits();
    const Deadline deadline = Deadline::AfterMs(kUnloadWaitMs);
    PollUntil(deadline, [] { return callsInside.load() == 0; });
    return deadline;
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
