// DebugLog: the library's one diagnostic channel.
//
// Every call formats one message into a 4096-byte buffer. A message that does
// not fit together with its terminating zero is dropped whole. Otherwise the
// text goes to the debugger output unchanged (no line end), and then one line
// "<MM/DD/YYYY hh:mm:ss.mmm> <message>\n" is appended to "RurSetupDebug.txt"
// in the process's current directory. The file is opened and closed for each
// message, so it may be read, moved or deleted while the library runs.
// Every failure is silent, but for the lines the file did not take: each
// is counted, and the next line that reaches the file comes after a line of
// its own, in the same append, naming them by what stopped them. A line the
// file took not within the append's bound (log/log_sink.h: a FIFO nobody
// reads, a share that stopped answering, the appenders' lock held by a
// stopped process) is named
// "<MM/DD/YYYY hh:mm:ss.mmm> N log lines dropped: the log file took none within 300 ms";
// the file is then not tried for a second (log_sink::kPauseAfterTimeOutMs),
// and the lines of that second are counted at once and named the same way.
// A line the file refused at once (another program holds it open without
// write sharing, say; no pause follows, as the refusal cost no wait) is named
// "<MM/DD/YYYY hh:mm:ss.mmm> N log lines dropped: the log file refused them".
#pragma once

#include <cstddef>

// Size of the one message buffer, terminator included.
constexpr std::size_t kDebugLogBufferSize = 4096;

// The most the debug log hands to one append: the lines naming the lines
// dropped (one for each cause), then the message's line (its stamp, a
// blank, the message and a line feed).
constexpr std::size_t kDebugLogDroppedLineRoom = 128;
constexpr std::size_t kDebugLogDropCauses = 2;  // timed out, refused
constexpr std::size_t kDebugLogDroppedRoom = kDebugLogDropCauses * kDebugLogDroppedLineRoom;
constexpr std::size_t kDebugLogStampRoom = 32;  // the stamp (at most 31) and a blank
constexpr std::size_t kDebugLogLongestAppend =
    kDebugLogDroppedRoom + kDebugLogStampRoom + kDebugLogBufferSize + 1;

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
