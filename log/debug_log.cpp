#include "debug_log.h"

#include <cstdarg>
#include <cstdio>

#include "log_sink.h"

const char kDebugLogFileName[] = "RurSetupDebug.txt";

DebugLogStamp FormatDebugLogStamp(int month, int day, int year, int hour, int minute,
                                  int second, int milliseconds)
{
    DebugLogStamp stamp{};
    std::snprintf(stamp.text, sizeof stamp.text, "%02d/%02d/%04d %02d:%02d:%02d.%03d", month,
                  day, year, hour, minute, second, milliseconds);
    return stamp;
}

void DebugLog(const char* format, ...)
{
    if (format == nullptr) {
        return;
    }
    char message[kDebugLogBufferSize];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(message, sizeof message, format, arguments);
    va_end(arguments);
    // A negative result is a formatting error; a result of the buffer's size or
    // more means the text and its terminator did not fit. Either way nothing
    // is written anywhere.
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof message) {
        return;
    }

    log_sink::WriteDebuggerOutput(message);

    const log_sink::LocalTime now = log_sink::ReadLocalTime();
    const DebugLogStamp stamp = FormatDebugLogStamp(now.month, now.day, now.year, now.hour,
                                                    now.minute, now.second, now.milliseconds);
    // Stamp (23) + blank + message (at most 4095) + line feed + terminator.
    char line[sizeof stamp.text + 1 + kDebugLogBufferSize + 1];
    std::snprintf(line, sizeof line, "%s %s\n", stamp.text, message);
    log_sink::AppendTextLine(kDebugLogFileName, line);
}
