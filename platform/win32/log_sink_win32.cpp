// The debug log's debugger output and local time on Windows.
#include <windows.h>

#include "../../log/log_sink.h"

namespace log_sink {

void WriteDebuggerOutput(const char* text)
{
    OutputDebugStringA(text);
}

LocalTime ReadLocalTime()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                     now.wMilliseconds};
}

}  // namespace log_sink
