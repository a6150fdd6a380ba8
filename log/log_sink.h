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

// Opens fileName for appending, writes line, closes the file. On Windows the
// file is a text file: every "\n" becomes "\r\n". The line goes in whole, in
// one append, even while other threads or processes append to the same file.
// On Windows it also starts a line of its own: when the file ends without a
// line end (a line cut short by a full disk, say), the append begins with
// one. Waits for other appenders for at most kLineWaitMs in all
// (kLockWaitMs for each of two locks), then writes regardless, so a stopped
// process that holds the file cannot stop the caller. Returns false when the
// file could not be opened or fully written; nothing stays open either way.
bool AppendTextLine(const char* fileName, const char* line);
constexpr unsigned long kLockWaitMs = 100;
// How long the line's one write may take, its cancel included, before the
// line is given up (a file that stops taking lines: a FIFO nobody reads, a
// share that stopped answering).
constexpr unsigned long kWriteWaitMs = 100;
constexpr unsigned long kLineWaitMs = 2 * kLockWaitMs + kWriteWaitMs;

}  // namespace log_sink
