// The unload gate (its rules: unload_gate.h).
#include "unload_gate.h"

#include <atomic>
#include <cstdint>

namespace {

// How many calls are inside, and whether the unload has begun.
std::atomic<long> callsInside{0};
std::atomic<bool> unloadBegun{false};

// The threads of calls inside, one a slot (0: a free slot); a call that
// finds none free is counted but not named.
std::atomic<std::uint32_t> insideThreads[kNamedCallsInside];

// This load's mark: the clock when the library loads.
const long long loadMark = WaitSleeper::NowNs();

// A slot for the calling thread, -1 when none is free.
int NameThisThread()
{
    const std::uint32_t thread = WaitSleeper::CurrentThreadId();
    for (int slot = 0; slot < kNamedCallsInside; ++slot) {
        std::uint32_t free = 0;
        if (insideThreads[slot].compare_exchange_strong(free, thread)) return slot;
    }
    return -1;
}

// The calls inside whose thread lives: a slot still naming a thread means its
// call has not counted itself out, so an ended one is taken off the count.
long LiveCallsInside()
{
    long live = callsInside.load();
    for (const std::atomic<std::uint32_t>& named : insideThreads) {
        const std::uint32_t thread = named.load();
        if (thread != 0 && WaitSleeper::ThreadEnded(thread)) --live;
    }
    return live;
}

}  // namespace

Deadline LetCallsInsideLeave()
{
    unloadBegun.store(true);
    WaitSleeper::EndAllWaits();
    const Deadline deadline = Deadline::AfterMs(kUnloadWaitMs);
    PollUntil(deadline, [] { return LiveCallsInside() <= 0; });
    return deadline;
}

ExportCall::ExportCall() : admitted(false), load(loadMark), slot(-1)
{
    callsInside.fetch_add(1);
    slot = NameThisThread();
    admitted = !unloadBegun.load();
}

ExportCall::~ExportCall()
{
    if (load != loadMark) return;
    if (slot >= 0) insideThreads[slot].store(0);
    callsInside.fetch_sub(1);
}
