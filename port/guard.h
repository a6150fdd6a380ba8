// Guard: a mutex that clang's thread-safety analysis (-Wthread-safety, run by
// scripts/lint.sh) knows as a capability, and GuardLock, which holds one for
// its scope. With them, GUARDED_BY fields and REQUIRES functions are checked
// to be reached only with the guard held. Other compilers see plain code.
//
// The lock itself is the system's, bound at link time: a slim reader/writer
// lock on Windows (platform/win32/guard_win32.cpp), which needs no handle, no
// clean-up at unload and nothing of the static thread runtime; the standard
// library's mutex elsewhere (platform/std/guard_std.cpp). Either needs nothing done
// when the guard ends.
#pragma once

#if defined(__clang__)
#define THREAD_ANNOTATION(attribute) __attribute__((attribute))
#else
#define THREAD_ANNOTATION(attribute)
#endif

#define CAPABILITY(name) THREAD_ANNOTATION(capability(name))
#define SCOPED_CAPABILITY THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(guard) THREAD_ANNOTATION(guarded_by(guard))
#define REQUIRES(...) THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
// For the bindings' own lock and unlock, which the analysis cannot follow
// into the system's lock.
#define NO_THREAD_SAFETY_ANALYSIS THREAD_ANNOTATION(no_thread_safety_analysis)

template <typename Clock>
class BasicDeadline;
struct WaitClock;

// Not recursive: a thread that holds it must not take it again.
class CAPABILITY("mutex") Guard {
public:
    Guard();
    ~Guard() = default;
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

    void lock() ACQUIRE();
    void unlock() RELEASE();
    // Tries until `deadline` (port/deadline.h), checked before each pause
    // between tries: true when taken. For the end of the process, where a
    // holder may be a thread that the end stopped and that never lets go.
    bool TryLockFor(const BasicDeadline<WaitClock>& deadline) TRY_ACQUIRE(true);

    // Room for the system's lock, which the binding constructs in place.
    static constexpr unsigned kStorageBytes = 64;

private:
    alignas(16) unsigned char storage[kStorageBytes];
};

class SCOPED_CAPABILITY GuardLock {
public:
    explicit GuardLock(Guard& guard) ACQUIRE(guard) : held(guard) { held.lock(); }
    ~GuardLock() RELEASE() { held.unlock(); }
    GuardLock(const GuardLock&) = delete;
    GuardLock& operator=(const GuardLock&) = delete;

private:
    Guard& held;
};
