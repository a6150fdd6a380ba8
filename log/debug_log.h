// DebugLog: the library's one diagnostic channel.
//
// Every call formats one message into a 4096-byte buffer. A message that does
// not fit together with its terminating zero is dropped whole. Otherwise the
// text goes to the debugger output unchanged (no line end), and then one line
// "<MM/DD/YYYY hh:mm:ss.mmm> <message>\n" is appended to "RurSetupDebug.txt"
// in the process's current directory. The file is opened and closed for each
// message, so it may be read, moved or deleted while the library runs.
// Every failure is silent.
#pragma once

#include <cstddef>

// Size of the one message buffer, terminator included.
constexpr std::size_t kDebugLogBufferSize = 4096;

// The log file's name, relative to the current directory.
extern const char kDebugLogFileName[];

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void DebugLog(const char* format, ...);

// The time stamp "MM/DD/YYYY hh:mm:ss.mmm", month first, as the log file's
// lines begin. Exposed for tests.
struct DebugLogStamp {
    char text[32];
};
DebugLogStamp FormatDebugLogStamp(int month, int day, int year, int hour, int minute, int second,
                                  int milliseconds);
