#include "debug_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "log_sink.h"

const char kDebugLogFileName[] = "RurSetupDebug.txt";

namespace {

static_assert(kDebugLogStampRoom == sizeof(DebugLogStamp::text), "a stamp and its blank");

// Lines not written since the last one that reached the file, from any
// thread, by what stopped them.
struct DroppedCounts {
    unsigned long timedOut;
    unsigned long refused;
};
std::atomic<unsigned long> timedOutLines{0};
std::atomic<unsigned long> refusedLines{0};

// Until then (on log_sink::NowNs) the file is not tried: a line was given up.
constexpr std::int64_t kNoPause = std::numeric_limits<std::int64_t>::min();
std::atomic<std::int64_t> pauseEndNs{kNoPause};
constexpr std::int64_t kPauseNs = std::int64_t{1000000} * log_sink::kPauseAfterTimeOutMs;

DroppedCounts TakeDroppedCounts()
{
    return DroppedCounts{timedOutLines.exchange(0), refusedLines.exchange(0)};
}

// Counts `counts` again, and one more line lost by `result` (for a line cut
// short, none: the file shows it), after an append that did not get through.
void PutBack(DroppedCounts counts, log_sink::Append result)
{
    timedOutLines += counts.timedOut + (result == log_sink::Append::TimedOut ? 1 : 0);
    refusedLines += counts.refused + (result == log_sink::Append::Refused ? 1 : 0);
    if (result == log_sink::Append::TimedOut) pauseEndNs = log_sink::NowNs() + kPauseNs;
}

// The line naming `count` lines dropped for `cause`, stamped as `stamp`,
// right before `line` (with room for it there). Where the text now starts.
char* PutDroppedLine(char* line, const char* stamp, unsigned long count, const char* cause)
{
    if (count == 0) return line;
    char text[kDebugLogDroppedLineRoom];
    const int length =
        std::snprintf(text, sizeof text, "%s %lu log lines dropped: %s\n", stamp, count, cause);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof text) return line;
    std::memcpy(line - length, text, static_cast<std::size_t>(length));
    return line - length;
}

// The lines naming `counts`, one for each cause, right before `line`.
char* PutDroppedLines(char* line, const char* stamp, DroppedCounts counts)
{
    if (counts.timedOut > 0) {
        char cause[kDebugLogDroppedLineRoom];
        std::snprintf(cause, sizeof cause, "the log file took none within %lu ms",
                      log_sink::kLineWaitMs);
        line = PutDroppedLine(line, stamp, counts.timedOut, cause);
    }
    return PutDroppedLine(line, stamp, counts.refused, "the log file refused them");
}

// Writes `value` as exactly `digits` decimal digits, zero-padded.
char* PutDigits(char* at, int value, int digits)
{
    for (int place = digits - 1; place >= 0; --place) {
        at[place] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return at + digits;
}

bool Within(int value, int last)
{
    return value >= 0 && value <= last;
}

}  // namespace

DebugLogStamp FormatDebugLogStamp(int month, int day, int year, int hour, int minute, int second,
                                  int milliseconds)
{
    DebugLogStamp stamp{};
    // The usual case, digit by digit: every field fits its width. Anything
    // else takes the general route, which writes the same for these.
    if (Within(month, 99) && Within(day, 99) && Within(year, 9999) && Within(hour, 99) &&
        Within(minute, 99) && Within(second, 99) && Within(milliseconds, 999)) {
        char* at = PutDigits(stamp.text, month, 2);
        *at++ = '/';
        at = PutDigits(at, day, 2);
        *at++ = '/';
        at = PutDigits(at, year, 4);
        *at++ = ' ';
        at = PutDigits(at, hour, 2);
        *at++ = ':';
        at = PutDigits(at, minute, 2);
        *at++ = ':';
        at = PutDigits(at, second, 2);
        *at++ = '.';
        at = PutDigits(at, milliseconds, 3);
        *at = '\0';
        return stamp;
    }
    std::snprintf(stamp.text, sizeof stamp.text, "%02d/%02d/%04d %02d:%02d:%02d.%03d", month, day,
                  year, hour, minute, second, milliseconds);
    return stamp;
}

namespace {

// "<stamp> <message>\n" in place, the stamp right before the message (with
// room for it there), the message as far as its first zero, and before it
// the lines naming those dropped; appended, and the counts settled.
void AppendLine(char* message)
{
    const log_sink::LocalTime now = log_sink::ReadLocalTime();
    const DebugLogStamp stamp = FormatDebugLogStamp(now.month, now.day, now.year, now.hour,
                                                    now.minute, now.second, now.milliseconds);
    const std::size_t stampLength = std::strlen(stamp.text);
    char* const line = message - 1 - stampLength;
    std::memcpy(line, stamp.text, stampLength);
    message[-1] = ' ';
    const std::size_t messageLength = std::strlen(message);
    message[messageLength] = '\n';
    message[messageLength + 1] = '\0';
    const DroppedCounts dropped = TakeDroppedCounts();
    const char* const text = PutDroppedLines(line, stamp.text, dropped);
    const log_sink::Append result = log_sink::AppendTextLine(kDebugLogFileName, text);
    if (result != log_sink::Append::Written) {
        PutBack(dropped, result);
    } else if (pauseEndNs.load() != kNoPause) {
        pauseEndNs = kNoPause;  // the file answers: another thread's pause is over
    }
}

}  // namespace

void DebugLog(const char* format, ...)
{
    if (format == nullptr) {
        return;
    }
    // The whole line is built in one buffer: the message is formatted in
    // place after room for the dropped lines' lines and the longest stamp and
    // its blank, and each is put right before it, so the message is formatted
    // once and never copied.
    char buffer[kDebugLogLongestAppend];
    char* const message = buffer + kDebugLogDroppedRoom + kDebugLogStampRoom;
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(message, kDebugLogBufferSize, format, arguments);
    va_end(arguments);
    // A negative result is a formatting error; a result of the buffer's size or
    // more means the text and its terminator did not fit. Either way nothing
    // is written anywhere.
    if (length < 0 || static_cast<std::size_t>(length) >= kDebugLogBufferSize) {
        return;
    }
    log_sink::WriteDebuggerOutput(message);
    const std::int64_t pauseEnd = pauseEndNs.load();
    if (pauseEnd != kNoPause && log_sink::NowNs() < pauseEnd) {
        ++timedOutLines;  // the file rests after a line given up
        return;
    }
    AppendLine(message);
}
