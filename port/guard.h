// Guard: a mutex that clang's thread-safety analysis (-Wthread-safety, run by
// scripts/lint.sh) knows as a capability, and GuardLock, which holds one for
// its scope. With them, GUARDED_BY fields and REQUIRES functions are checked
// to be reached only with the guard held. Other compilers see plain code.
#pragma once

#include <mutex>

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

// Not recursive: a thread that holds it must not take it again.
class CAPABILITY("mutex") Guard {
public:
    void lock() ACQUIRE() { mutex.lock(); }
    void unlock() RELEASE() { mutex.unlock(); }

private:
    std::mutex mutex;
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
