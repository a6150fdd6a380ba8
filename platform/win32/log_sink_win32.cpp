// The debug log's debugger output, local time and file append on Windows.
#include <windows.h>

#include <string>

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
    return LocalTime{now.wYear,   now.wMonth,  now.wDay,         now.wHour,
                     now.wMinute, now.wSecond, now.wMilliseconds};
}

bool AppendTextLine(const char* fileName, const char* line)
{
    // A text file, as the C runtime's text mode writes it: CR LF line ends.
    std::string text;
    for (const char* at = line; *at != '\0'; ++at) {
        if (*at == '\n') text += '\r';
        text += *at;
    }

    // Append-only access: every write goes to the end of the file, whatever
    // other handles write meanwhile.
    const HANDLE file =
        ::CreateFileA(fileName, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;

    // Windows makes one append-only write atomic; Wine appends by taking the
    // file's size and writing there, so another process could slip in
    // between. Appends of this library are therefore serialised between
    // processes with a lock on one byte far past any data, which Wine grants
    // on an append-only handle. Where the lock cannot be had (Windows may
    // refuse it on such a handle, and needs none), the line is written all
    // the same.
    OVERLAPPED lockedByte{};
    lockedByte.Offset = 0xFFFFFFFEu;
    lockedByte.OffsetHigh = 0x7FFFFFFFu;
    const BOOL locked = ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockedByte);

    DWORD written = 0;
    const BOOL wrote =
        ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    if (locked) ::UnlockFileEx(file, 0, 1, 0, &lockedByte);
    ::CloseHandle(file);
    return wrote && written == text.size();
}

}  // namespace log_sink
