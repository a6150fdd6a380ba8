#include "debug_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "log_sink.h"

const char kDebugLogFileName[] = "RurSetupDebug.txt";

namespace {

static_assert(kDebugLogStampRoom == sizeof(DebugLogStamp::text), "a stamp and its blank");

// Lines given up since the last one that reached the file, from any thread.
std::atomic<unsigned long> droppedLines{0};

// The line naming `dropped` lines, stamped as `stamp`, right before `line`
// (with room for it there). Where the line now starts.
char* PutDroppedLine(char* line, const char* stamp, unsigned long dropped)
{
    char text[kDebugLogDroppedRoom];
    const int length = std::snprintf(
        text, sizeof text, "%s %lu log lines dropped: the log file took none within %lu ms\n",
        stamp, dropped, log_sink::kLineWaitMs);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof text) return line;
    std::memcpy(line - length, text, static_cast<std::size_t>(length));
    return line - length;
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

void DebugLog(const char* format, ...)
{
    if (format == nullptr) {
        return;
    }
    // The whole line is built in one buffer: the message is formatted in
    // place after room for the dropped lines' line and the longest stamp and
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

    const log_sink::LocalTime now = log_sink::ReadLocalTime();
    const DebugLogStamp stamp = FormatDebugLogStamp(now.month, now.day, now.year, now.hour,
                                                    now.minute, now.second, now.milliseconds);
    // "<stamp> <message>\n", the message as far as its first zero.
    const std::size_t stampLength = std::strlen(stamp.text);
    char* const line = message - 1 - stampLength;
    std::memcpy(line, stamp.text, stampLength);
    message[-1] = ' ';
    const std::size_t messageLength = std::strlen(message);
    message[messageLength] = '\n';
    message[messageLength + 1] = '\0';
    const unsigned long dropped = droppedLines.exchange(0);
    const char* const text = dropped > 0 ? PutDroppedLine(line, stamp.text, dropped) : line;
    switch (log_sink::AppendTextLine(kDebugLogFileName, text)) {
    case log_sink::Append::Written: break;
    case log_sink::Append::Dropped: droppedLines += dropped + 1; break;
    case log_sink::Append::Failed:
        droppedLines += dropped;  // still to be named
        break;
    }
}
