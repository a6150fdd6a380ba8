// PendingLines: log lines an operation formats while it holds the
// controller's guard and writes once it has let the guard go, so that no
// call waits on the log file (its lock bytes, a FIFO nobody reads) while it
// holds the guard or keeps another call waiting for it. Each thread's lines
// keep their order; the lines of different threads then wait side by side,
// each on its own bound (log/log_sink.h), never in turn.
//
// Declared before the GuardLock (or the opening) whose scope it shares: the
// lock goes first when the scope ends, then the lines are written, in the
// order formatted. Nothing is allocated: the text lives on the caller's
// stack.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>

#include "../log/debug_log.h"
#include "../log/log_sink.h"
#include "port_io.h"

namespace bounds {
// A call that accesses a port (it accesses one) waits at most for its first
// access and one log line, whatever the number of calls: the guard is never
// held while a line is written (below), and a port's claim is one wait for
// every call queued behind it (port/port_io.h). (A pulse that puts back
// pulses of ended threads writes their lines too, one line wait each; the
// end of the process puts back each pulse under way as such a call.)
constexpr unsigned long kPortCallMs = kPortAccessWaitMs + kLogLineWaitMs;
}  // namespace bounds

// Room for the longest line the controller writes (a pulse's, with its
// outcome, about 140 characters) and its terminating zero.
constexpr std::size_t kPendingLineSize = 192;
static_assert(kPendingLineSize <= kDebugLogBufferSize, "a pending line fits the log's buffer");

// Where an operation's lines go: a function that logs takes this, whatever
// the number of lines its caller has room for (PendingLinesOf).
class PendingLines {
public:
    PendingLines(const PendingLines&) = delete;
    PendingLines& operator=(const PendingLines&) = delete;

    // Formats one more line; a line past the room is not kept.
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    void
    Format(const char* format, ...)
    {
        if (count == capacity) return;
        va_list arguments;
        va_start(arguments, format);
        std::vsnprintf(lines[count++], kPendingLineSize, format, arguments);
        va_end(arguments);
    }

protected:
    PendingLines(char (*room)[kPendingLineSize], int lineCount) : lines(room), capacity(lineCount)
    {
    }
    ~PendingLines() = default;
    // Each line, in the order formatted.
    void WriteAll()
    {
        for (int index = 0; index < count; ++index) DebugLog("%s", lines[index]);
    }

private:
    char (*lines)[kPendingLineSize];
    int capacity;
    int count = 0;
};

// Room for `Capacity` lines, written when it goes out of scope.
template <int Capacity>
class PendingLinesOf : public PendingLines {
public:
    PendingLinesOf() : PendingLines(text, Capacity) {}
    ~PendingLinesOf() { WriteAll(); }
    PendingLinesOf(const PendingLinesOf&) = delete;
    PendingLinesOf& operator=(const PendingLinesOf&) = delete;

private:
    char text[Capacity][kPendingLineSize];
};

// An operation's one line.
using PendingLine = PendingLinesOf<1>;
