// The platform operations the debug log needs, and nothing else.
//
// The Win32 build binds these to the system (platform/win32/log_sink_win32.cpp);
// the native tests bind them to a recording double and a plain file append.
#pragma once

#include <cstdint>

namespace log_sink {

// Sends text to the debugger output as it stands: no line end is added.
// Never blocks for long, never fails visibly.
void WriteDebuggerOutput(const char* text);

// The local wall-clock time, as the system's local time service reports it.
struct LocalTime {
    int year;
    int month;  // 1 to 12
    int day;    // 1 to 31
    int hour;   // 0 to 23
    int minute;
    int second;
    int milliseconds;
};
LocalTime ReadLocalTime();

// Monotonic time in nanoseconds from an arbitrary start: the wait seam's
// clock (WaitSleeper::NowNs), which the native tests make a fake one.
std::int64_t NowNs();

enum class Append {
    Written,
    CutShort,  // the file took part of the line, then refused the rest (a full disk)
    Refused,   // the file took none of it, at once: it could not be opened
               // (another program holds it without write sharing, no access)
               // or refused the write
    TimedOut,  // the file took nothing within kLineWaitMs: the line was given up
};

// Opens fileName for appending, writes line, closes the file. On Windows the
// file is a text file: every "\n" becomes "\r\n". The line goes in whole, in
// one append, even while other threads or processes append to the same file.
// On Windows it also starts a line of its own: when the file ends without a
// line end (a line cut short by a full disk, say), the append begins with
// one. Returns within kLineWaitMs whatever the file does, but for what no
// system call can bound (a creation of the file on a share that stopped
// answering; under Wine, a write of a regular file that blocks in the
// kernel): the appenders' lock is waited for at most kLockWaitMs (a stopped
// process that holds it cannot stop the caller), the write at most
// kWriteWaitMs, its cancel included (a FIFO nobody reads, a share that
// stopped answering). A regular file under Wine, where no cancel reaches,
// is written the plain way (no overlapped handle, no event, no wait); every
// other file (a pipe, a FIFO, any file on Windows) the bounded way.
// Nothing stays open either way.
Append AppendTextLine(const char* fileName, const char* line);
// The lock: two of the appenders' three lock bytes (log/log_lock.h).
constexpr unsigned long kLockWaitMs = 200;
// The write, and within it the share its cancel is given.
constexpr unsigned long kWriteWaitMs = 100;
constexpr unsigned long kCancelWaitMs = 20;
constexpr unsigned long kLineWaitMs = kLockWaitMs + kWriteWaitMs;
// After a line given up (Append::TimedOut) the file is not tried again for
// this long: the lines meanwhile are counted at once, without a try, so a
// file that stopped answering costs one wait in this while, not one a line.
constexpr unsigned long kPauseAfterTimeOutMs = 1000;

}  // namespace log_sink

namespace bounds {
// A log line: its lock bytes, then its one write, which gives up after its
// wait, its cancel included; a line that cannot be written within that is
// dropped and counted, and the next line written names the count.
constexpr unsigned long kLogLineWaitMs = log_sink::kLineWaitMs;
// After a line given up the log file is not tried again for this long: a
// file that stopped answering costs one line's wait in this while.
constexpr unsigned long kLogPauseAfterTimeOutMs = log_sink::kPauseAfterTimeOutMs;
static_assert(kLogPauseAfterTimeOutMs > kLogLineWaitMs,
              "a pause after a line given up must be longer than the wait it saves");
}  // namespace bounds
