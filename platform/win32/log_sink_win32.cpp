// The debug log's debugger output, local time and file append on Windows.
#include "bounded_file_win32.h"  // windows.h first

#include <cstddef>
#include <new>

#include "../../log/debug_log.h"
#include "../../log/log_lock.h"
#include "../../log/log_sink.h"
#include "../../port/deadline.h"

namespace log_sink {

namespace {

// The appenders' three lock bytes (log/log_lock.h), far past any data: the
// agreement between the processes that append, so never moved.
constexpr DWORD kLockBytesLow[log_lock::kLockBytes] = {0xFFFFFFFEu, 0xFFFFFFFDu, 0xFFFFFFFCu};
constexpr DWORD kLockBytesHigh = 0x7FFFFFFFu;

class FileLockBytes final : public log_lock::LockBytes {
public:
    explicit FileLockBytes(HANDLE handle) : file(handle)
    {
        for (int byte = 0; byte < log_lock::kLockBytes; ++byte) {
            at[byte].Offset = kLockBytesLow[byte];
            at[byte].OffsetHigh = kLockBytesHigh;
        }
    }
    log_lock::Try TryByte(int byte) override
    {
        if (::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                         &at[byte])) {
            return log_lock::Try::Locked;
        }
        // A handle that takes no locks at all refuses with another error.
        return ::GetLastError() == ERROR_LOCK_VIOLATION ? log_lock::Try::Held
                                                        : log_lock::Try::Refused;
    }
    void Release(int byte) override { ::UnlockFileEx(file, 0, 1, 0, &at[byte]); }

private:
    HANDLE file;
    OVERLAPPED at[log_lock::kLockBytes]{};
};

// The longest text the debug log appends (its lines, each character a line
// feed made CR LF) and a line end before it.
struct FileText {
    char bytes[2 + 2 * kDebugLogLongestAppend];
    std::size_t length;
};

// One append's file and text, on the heap: a cancel that does not finish
// leaves both with the system (BoundedFile), never to be freed. Built off
// the stack for that, with no allocation that could throw: an exception
// could only end the host here.
struct LineAppend {
    BoundedFile file{kCancelWaitMs};
    FileText text;
};

// What must come before a line so that it starts a line of its own: nothing
// after a line end or in an empty file, "\n" after a CR alone, "\r\n" after
// anything else (a line cut short, by a full disk for instance). Nothing
// when the end cannot be read.
struct LineStart {
    bool answered;      // false: the read took no answer by its deadline; give the line up
    const char* bytes;  // what comes first
};
LineStart LineStartAfter(BoundedFile& file, const Deadline& deadline)
{
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Handle(), &size) || size.QuadPart <= 0) return {true, ""};
    char lastByte = '\n';
    const BoundedFile::ReadOutcome read =
        file.ReadByte(static_cast<std::uint64_t>(size.QuadPart) - 1, deadline, lastByte);
    if (read == BoundedFile::ReadOutcome::TimedOut) return {false, ""};
    if (read != BoundedFile::ReadOutcome::Read || lastByte == '\n') return {true, ""};
    return {true, lastByte == '\r' ? "\n" : "\r\n"};
}

// `line` as a text file holds it, as the C runtime's text mode writes it: CR
// LF line ends, after `start`. False when it is longer than any text of the
// debug log.
bool TextFileLine(const char* start, const char* line, FileText& text)
{
    text.length = 0;
    for (const char* at = start; *at != '\0'; ++at) text.bytes[text.length++] = *at;
    for (const char* at = line; *at != '\0'; ++at) {
        if (text.length + 2 > sizeof text.bytes) return false;
        if (*at == '\n') text.bytes[text.length++] = '\r';
        text.bytes[text.length++] = *at;
    }
    return true;
}

// The line's write, once it may: its start read and its text written by one
// deadline, each cancelled at it.
Append WriteLine(LineAppend& append, bool canRead, const char* line)
{
    const Deadline deadline = Deadline::AfterMs(kWriteWaitMs - kCancelWaitMs);
    const LineStart start = canRead ? LineStartAfter(append.file, deadline) : LineStart{true, ""};
    if (!start.answered) return Append::TimedOut;
    if (!TextFileLine(start.bytes, line, append.text)) return Append::Refused;
    std::size_t written = 0;
    DWORD error = 0;
    switch (append.file.Write(append.text.bytes, append.text.length, deadline, written, error)) {
    case BoundedFile::Outcome::Written: return Append::Written;
    case BoundedFile::Outcome::TimedOut: return Append::TimedOut;
    case BoundedFile::Outcome::Failed: break;
    }
    return written > 0 ? Append::CutShort : Append::Refused;
}

// The line written under two of the appenders' three lock bytes, tried
// until kLockWaitMs; where the file takes no locks at all (Windows may
// refuse them on such a handle, and needs none), without them.
Append WriteLocked(LineAppend& append, bool canRead, const char* line)
{
    FileLockBytes lock(append.file.Handle());
    log_lock::PairAttempt pair{};
    const bool taken = PollUntil(Deadline::AfterMs(kLockWaitMs), [&] {
        pair = log_lock::TryTwoOfThree(lock);
        return pair.result != log_lock::PairTry::NoneFree;
    });
    if (!taken) return Append::TimedOut;
    const Append result = WriteLine(append, canRead, line);
    if (pair.result == log_lock::PairTry::Held) {
        lock.Release(pair.bytes[1]);
        lock.Release(pair.bytes[0]);
    }
    return result;
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

std::int64_t NowNs()
{
    return WaitSleeper::NowNs();
}

Append AppendTextLine(const char* fileName, const char* line)
{
    auto* const append = new (std::nothrow) LineAppend;
    if (append == nullptr) return Append::Refused;
    bool canRead = true;
    if (!append->file.OpenForAppend(fileName, canRead)) {
        delete append;
        return Append::Refused;
    }
    // Windows makes one append-only write atomic; Wine does not (see
    // log/log_lock.h), hence the locks.
    const Append result = WriteLocked(*append, canRead, line);
    // A write whose cancel did not end keeps its file and text with the
    // system; its locks are let go all the same, or every later line would
    // wait its whole while and be given up.
    if (append->file.Abandoned()) return result;
    delete append;
    return result;
}

}  // namespace log_sink
