// The guard's lock where the standard library's mutex leaves nothing behind:
// the native builds (tests, fuzz targets, benchmarks).
#include "guard.h"

#include <mutex>
#include <new>

namespace {

std::mutex& MutexIn(unsigned char* storage)
{
    return *std::launder(reinterpret_cast<std::mutex*>(storage));
}

}  // namespace

static_assert(sizeof(std::mutex) <= Guard::kStorageBytes, "the guard's room holds a mutex");
static_assert(alignof(std::mutex) <= 16, "the guard's room is aligned for a mutex");

Guard::Guard()
{
    new (storage) std::mutex();
}

Guard::~Guard()
{
    MutexIn(storage).~mutex();
}

void Guard::lock() NO_THREAD_SAFETY_ANALYSIS
{
    MutexIn(storage).lock();
}

void Guard::unlock() NO_THREAD_SAFETY_ANALYSIS
{
    MutexIn(storage).unlock();
}
