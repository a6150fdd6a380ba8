// The system calls the ppdev port library makes: opening a device node, its
// ioctls, closing it, one line of diagnostics on standard error, the clock,
// and the thread a claim waits on.
//
// Bound at link time: ppdev_system_linux.cpp makes the real calls; the native
// tests (tests/linux/) bind a scripted fake that records every call.
#pragma once

#include "../port/deadline.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace ppdev_system {

// Opens the device node `path` for reading and writing. Returns the file
// descriptor (>= 0), or -errno when the node cannot be opened (ENOENT: no
// node, EACCES: no permission, ENXIO/ENODEV: no driver behind the node).
int Open(const char* path);

// Issues the ppdev ioctl `request` on `fd` with `argument` (the value the
// request's size encodes, or null for PPCLAIM/PPRELEASE). Returns 0, or
// -errno on failure. Synchronous; never blocks for the ioctls this library
// uses except PPCLAIM, which waits while another program or kernel driver
// holds the port. Any call may give -EINTR when a signal interrupts it.
int Ioctl(int fd, unsigned long request, void* argument);

// Whether the port whose "devices/active" file (in the port listing's
// parportN folder) is `activePath` is claimed now by a program or driver:
// the file names the device that holds it, or "none". False when the file
// cannot be read.
bool Held(const char* activePath);

// Closes a descriptor Open returned.
void Close(int fd);

// Milliseconds on a clock that only goes forward (the retry pace).
long long Milliseconds();

// Deadlines on that clock: the claim wait's.
struct Clock {
    static std::int64_t NowNs() { return Milliseconds() * 1000000; }
};
using Deadline = BasicDeadline<Clock>;

// Waits `milliseconds`.
void Sleep(int milliseconds);

// Waits on `changed` until `done` gives true or `deadline` passes, whichever
// comes first, and returns `done`'s last answer. `done` is asked with `lock`
// held; whoever changes its answer notifies `changed`.
bool WaitUntil(std::condition_variable& changed, std::unique_lock<std::mutex>& lock,
               const Deadline& deadline, const std::function<bool()>& done);

// Runs `work` on a new detached thread that takes no signals (a claim that
// waits in the kernel is not interrupted, and the host's signal handlers
// never run on a thread they do not know). False when no thread can be made.
bool StartThread(std::function<void()> work);

// Writes `line` and a newline to standard error (file descriptor 2, never
// stdio: inside a Wine library the program's stdio is not glibc's).
void Diagnostic(const char* line);

}  // namespace ppdev_system
