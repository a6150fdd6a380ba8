// The agreement between the processes that append to one log file: which of
// its lock bytes an append holds while it writes, and how long it tries.
//
// Wine appends by taking the file's size and writing there, so two appends
// at once may write over each other: appends are serialised between
// processes with locks on bytes far past any data. A process may stop while
// it holds a byte (a paused debugger, Ctrl-Z) and never let go, so the
// agreement may not depend on any one byte. There are three, and an append
// writes only while it holds two of them: any two pairs share a byte, so two
// appends never write at once, whatever waits ran out where; and a stopped
// holder of any one byte leaves a pair free, which costs the others no wait.
// A pair is taken without waiting for either byte (a byte had alone is let
// go at once), so appenders never wait for one another in a circle; the
// rounds of tries are made again after a pause until the deadline (the
// caller's PollUntil). An append that has no pair by then gives its line
// up: never a write without the lock. Only a file that takes no locks at
// all (a FIFO, say) is written without them.
#pragma once

namespace log_lock {

enum class Try {
    Locked,
    Held,     // by another handle: worth trying again
    Refused,  // this file takes no locks at all
};

constexpr int kLockBytes = 3;

// The system side of one append's locks, on its handle.
class LockBytes {
public:
    // Locks `byte` (0 to kLockBytes - 1) without waiting.
    virtual Try TryByte(int byte) = 0;
    virtual void Release(int byte) = 0;

protected:
    ~LockBytes() = default;
};

enum class PairTry {
    Held,          // `bytes` are held: write, then release both
    FileLockless,  // the file takes no locks: write without them
    NoneFree,      // nothing is held: try again after a pause, or give the line up
};
struct PairAttempt {
    PairTry result;
    int bytes[2];
};

// One round of tries at each pair, none waiting. The caller makes the rounds
// again after a pause until its deadline (PollUntil, port/deadline.h).
inline PairAttempt TryTwoOfThree(LockBytes& lock)
{
    static constexpr int kPairs[kLockBytes][2] = {{0, 1}, {1, 2}, {0, 2}};
    for (const auto& pair : kPairs) {
        const Try first = lock.TryByte(pair[0]);
        if (first == Try::Refused) return PairAttempt{PairTry::FileLockless, {0, 0}};
        if (first == Try::Held) continue;
        const Try second = lock.TryByte(pair[1]);
        if (second == Try::Locked) return PairAttempt{PairTry::Held, {pair[0], pair[1]}};
        lock.Release(pair[0]);
        if (second == Try::Refused) return PairAttempt{PairTry::FileLockless, {0, 0}};
    }
    return PairAttempt{PairTry::NoneFree, {0, 0}};
}

}  // namespace log_lock
