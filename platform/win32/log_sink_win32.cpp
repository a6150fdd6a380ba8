// The debug log's debugger output, local time and file append on Windows.
#include <windows.h>

#include <cstddef>

#include "../../log/debug_log.h"
#include "../../log/log_sink.h"

namespace log_sink {

namespace {

// How long an append waits for each of the appenders' two lock bytes. The
// holder may be stopped (a paused debugger, a stopped process) and the caller
// may hold the loader lock, so each wait must end.
constexpr DWORD kLockPatienceMilliseconds = kLockWaitMs;
// How long an appender that holds the first byte waits for the second. Only
// an appender that could not have the first (its holder stopped, or slow)
// takes the second without it, for the one write it then makes: a few
// milliseconds at most. A holder stopped on the second must not keep the
// first from the others for long, or their waits for it run out too.
constexpr DWORD kSecondLockPatienceWithFirstMilliseconds = 10;

// The two lock bytes, far past any data: the agreement between the processes
// that append. Every appender takes the first, then the second; one that
// cannot have the first within its wait still takes the second, so that
// appenders kept from the first by a stopped holder still append one at a
// time; one that has the first writes under it alone when the second is not
// had soon, so that a stopped holder of the second keeps them one at a time
// under the first.
constexpr DWORD kFirstLockByteLow = 0xFFFFFFFEu;
constexpr DWORD kSecondLockByteLow = 0xFFFFFFFDu;
constexpr DWORD kLockBytesHigh = 0x7FFFFFFFu;

// Takes the lock on `lockedByte`, trying again for at most `patience`
// milliseconds while another handle holds it. False when the lock was not
// had: the caller writes all the same.
bool TryLock(HANDLE file, OVERLAPPED& lockedByte, DWORD patience)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                         &lockedByte)) {
            return true;
        }
        // Only a lock held elsewhere is worth waiting for; a handle that
        // takes no locks at all refuses with another error.
        if (::GetLastError() != ERROR_LOCK_VIOLATION) return false;
        if (::GetTickCount() - start >= patience) return false;
        ::Sleep(1);
    }
}

// What must come before a line so that it starts a line of its own: nothing
// after a line end or in an empty file, "\n" after a CR alone, "\r\n" after
// anything else (a line cut short, by a full disk for instance). Nothing
// when the end cannot be read.
const char* LineStartAfter(HANDLE file)
{
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size) || size.QuadPart <= 0) return "";
    OVERLAPPED lastByteAt{};
    const ULONGLONG last = static_cast<ULONGLONG>(size.QuadPart) - 1;
    lastByteAt.Offset = static_cast<DWORD>(last);
    lastByteAt.OffsetHigh = static_cast<DWORD>(last >> 32);
    char lastByte = '\n';
    DWORD read = 0;
    if (!::ReadFile(file, &lastByte, 1, &read, &lastByteAt) || read != 1) return "";
    if (lastByte == '\n') return "";
    return lastByte == '\r' ? "\n" : "\r\n";
}

// Opens `fileName` (made when missing) for appending. Append-only access:
// every write goes to the end of the file, whatever other handles write
// meanwhile. Read access too, to see how the file ends (*canRead); a file
// that cannot be opened for reading (another program's sharing mode, an
// append-only permission) is appended to all the same.
HANDLE OpenForAppend(const char* fileName, bool* canRead)
{
    *canRead = true;
    HANDLE file = ::CreateFileA(fileName, FILE_APPEND_DATA | FILE_READ_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *canRead = false;
        file = ::CreateFileA(fileName, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    return file;
}

// The longest line the debug log appends (its stamp, a blank, its message
// and a line feed), and the text it makes at most: a line end before it, and
// every character a line feed made CR LF. The text is built on the stack: an
// allocation that fails could only end the host here, where no exception
// can be caught.
constexpr std::size_t kLongestLine = sizeof(DebugLogStamp::text) + kDebugLogBufferSize;
struct FileText {
    char bytes[2 + 2 * kLongestLine];
    std::size_t length;
};

// `line` as a text file holds it, as the C runtime's text mode writes it: CR
// LF line ends, from a line's start. False when it is longer than any line
// of the debug log.
bool TextFileLine(HANDLE file, bool canRead, const char* line, FileText& text)
{
    const char* start = canRead ? LineStartAfter(file) : "";
    text.length = 0;
    for (const char* at = start; *at != '\0'; ++at) text.bytes[text.length++] = *at;
    for (const char* at = line; *at != '\0'; ++at) {
        if (text.length + 2 > sizeof text.bytes) return false;
        if (*at == '\n') text.bytes[text.length++] = '\r';
        text.bytes[text.length++] = *at;
    }
    return true;
}

}  // namespace

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
    bool canRead = true;
    const HANDLE file = OpenForAppend(fileName, &canRead);
    if (file == INVALID_HANDLE_VALUE) return false;

    // Windows makes one append-only write atomic; Wine appends by taking the
    // file's size and writing there, so another process could slip in
    // between. Appends of this library are therefore serialised between
    // processes with locks on bytes far past any data, which Wine grants on
    // an append-only handle: the first byte, then the second. A holder
    // stopped on either alone keeps the others one at a time under the other:
    // under the second when the first is held, under the first when the
    // second is (each holder of the first gives up on the second soon). Only a
    // holder stopped while it holds both (in the middle of its own append)
    // leaves the others writing without a lock, after both waits.
    // Where no lock can be had at all (Windows may refuse it on such a
    // handle, and needs none), the line is written all the same.
    OVERLAPPED firstByte{};
    firstByte.Offset = kFirstLockByteLow;
    firstByte.OffsetHigh = kLockBytesHigh;
    OVERLAPPED secondByte{};
    secondByte.Offset = kSecondLockByteLow;
    secondByte.OffsetHigh = kLockBytesHigh;
    const bool firstLocked = TryLock(file, firstByte, kLockPatienceMilliseconds);
    const bool secondLocked =
        TryLock(file, secondByte,
                firstLocked ? kSecondLockPatienceWithFirstMilliseconds : kLockPatienceMilliseconds);

    // All in one write.
    FileText text;  // not cleared: TextFileLine writes what is sent
    DWORD written = 0;
    const BOOL wrote =
        TextFileLine(file, canRead, line, text) &&
        ::WriteFile(file, text.bytes, static_cast<DWORD>(text.length), &written, nullptr);
    if (secondLocked) ::UnlockFileEx(file, 0, 1, 0, &secondByte);
    if (firstLocked) ::UnlockFileEx(file, 0, 1, 0, &firstByte);
    ::CloseHandle(file);
    return wrote && written == text.length;
}

}  // namespace log_sink
