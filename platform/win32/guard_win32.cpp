// The guard's lock on Windows: a slim reader/writer lock, taken exclusively.
// It needs no handle and no clean-up, so loading and unloading the library
// leaves nothing behind, and taking it never waits for the loader lock.
#include <windows.h>

#include <new>

#include "../../port/deadline.h"
#include "../../port/guard.h"

namespace {

SRWLOCK* LockIn(unsigned char* storage)
{
    return std::launder(reinterpret_cast<SRWLOCK*>(storage));
}

}  // namespace

static_assert(sizeof(SRWLOCK) <= Guard::kStorageBytes, "the guard's room holds the lock");

Guard::Guard()
{
    ::InitializeSRWLock(new (storage) SRWLOCK);
}

void Guard::lock() NO_THREAD_SAFETY_ANALYSIS
{
    ::AcquireSRWLockExclusive(LockIn(storage));
}

void Guard::unlock() NO_THREAD_SAFETY_ANALYSIS
{
    ::ReleaseSRWLockExclusive(LockIn(storage));
}

bool Guard::TryLockUntil(const Deadline& deadline) NO_THREAD_SAFETY_ANALYSIS
{
    return PollUntil(deadline,
                     [this] { return ::TryAcquireSRWLockExclusive(LockIn(storage)) != 0; });
}
