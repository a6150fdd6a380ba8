// The guard's lock where the standard library's mutex leaves nothing behind:
// the native builds (tests, fuzz targets, benchmarks).
#include <mutex>
#include <new>
#include <type_traits>

#include "../../port/deadline.h"
#include "../../port/guard.h"

namespace {

std::mutex& MutexIn(unsigned char* storage)
{
    return *std::launder(reinterpret_cast<std::mutex*>(storage));
}

}  // namespace

static_assert(sizeof(std::mutex) <= Guard::kStorageBytes, "the guard's room holds a mutex");
static_assert(alignof(std::mutex) <= 16, "the guard's room is aligned for a mutex");
// The guard's end does not end the mutex.
static_assert(std::is_trivially_destructible_v<std::mutex>, "a mutex needs no clean-up here");

Guard::Guard()
{
    new (storage) std::mutex();
}

void Guard::lock() NO_THREAD_SAFETY_ANALYSIS
{
    MutexIn(storage).lock();
}

void Guard::unlock() NO_THREAD_SAFETY_ANALYSIS
{
    MutexIn(storage).unlock();
}

bool Guard::TryLockUntil(const Deadline& deadline) NO_THREAD_SAFETY_ANALYSIS
{
    return PollUntil(deadline, [this] { return MutexIn(storage).try_lock(); });
}
