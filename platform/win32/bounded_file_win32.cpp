#include "bounded_file_win32.h"

namespace {

// One write of a file on a disk, and of anything else (a pipe, a FIFO), which
// takes a write of at most this many bytes whole or not at all.
constexpr std::size_t kDiskChunk = std::size_t{64} * 1024;
constexpr std::size_t kPipeChunk = 4096;

// The offset that makes an overlapped write go to the file's end.
constexpr std::uint64_t kEndOfFile = ~std::uint64_t{0};

}  // namespace

bool BoundedFile::Prepare(DWORD& error)
{
    if (file == INVALID_HANDLE_VALUE || event == nullptr) {
        error = GetLastError();
        Close();
        return false;
    }
    onDisk = GetFileType(file) == FILE_TYPE_DISK;
    return true;
}

bool BoundedFile::Open(const char* path, DWORD& error)
{
    event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    return Prepare(error);
}

bool BoundedFile::OpenForAppend(const char* path, bool& canRead)
{
    appends = true;
    canRead = true;
    event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED;
    file = CreateFileA(path, FILE_APPEND_DATA | FILE_READ_DATA, share, nullptr, OPEN_ALWAYS, flags,
                       nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        canRead = false;
        file = CreateFileA(path, FILE_APPEND_DATA, share, nullptr, OPEN_ALWAYS, flags, nullptr);
    }
    // Wine lets a write wait (a FIFO's full buffer) only on a handle that
    // may write anywhere: an append-only one is refused at once, and what
    // the file took in time could not be told from what it refused. A pipe
    // has no place but its end, so it is written through such a handle,
    // opened while the first still holds the FIFO's other end.
    if (file != INVALID_HANDLE_VALUE && GetFileType(file) != FILE_TYPE_DISK) {
        const HANDLE writer =
            CreateFileA(path, GENERIC_WRITE, share, nullptr, OPEN_EXISTING, flags, nullptr);
        if (writer != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            file = writer;
            canRead = false;
        }
    }
    DWORD error = 0;
    return Prepare(error);
}

void BoundedFile::Close()
{
    if (abandoned) return;  // the system may still use `pending`
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (event != nullptr) CloseHandle(event);
    file = INVALID_HANDLE_VALUE;
    event = nullptr;
}

void BoundedFile::StartAt(std::uint64_t at)
{
    pending = OVERLAPPED{};
    pending.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
    pending.OffsetHigh = static_cast<DWORD>(at >> 32);
    pending.hEvent = event;
    ResetEvent(event);
}

BoundedFile::Outcome BoundedFile::Await(const Deadline& deadline, DWORD& done, DWORD& error)
{
    if (WaitForSingleObject(event, deadline.RemainingMs()) != WAIT_OBJECT_0) {
        CancelIoEx(file, &pending);
        if (WaitForSingleObject(event, cancelWaitMs) != WAIT_OBJECT_0) {
            abandoned = true;
            return Outcome::TimedOut;
        }
        // Finished all the same, or cancelled: whatever it moved counts.
        GetOverlappedResult(file, &pending, &done, FALSE);
        return done > 0 ? Outcome::Written : Outcome::TimedOut;
    }
    if (!GetOverlappedResult(file, &pending, &done, FALSE)) {
        error = GetLastError();
        return Outcome::Failed;
    }
    return Outcome::Written;
}

BoundedFile::Outcome BoundedFile::WriteOnce(const char* bytes, DWORD length,
                                            const Deadline& deadline, DWORD& done, DWORD& error)
{
    StartAt(appends ? kEndOfFile : offset);
    done = 0;
    if (!WriteFile(file, bytes, length, nullptr, &pending) && GetLastError() != ERROR_IO_PENDING) {
        error = GetLastError();
        return Outcome::Failed;
    }
    const Outcome outcome = Await(deadline, done, error);
    if (outcome == Outcome::Written && done == 0) {
        error = ERROR_WRITE_FAULT;
        return Outcome::Failed;
    }
    offset += done;
    return outcome;
}

BoundedFile::Outcome BoundedFile::Write(const char* bytes, std::size_t length,
                                        const Deadline& deadline, std::size_t& written,
                                        DWORD& error)
{
    return bounded_write::WriteInChunks(
        bytes, length, onDisk ? kDiskChunk : kPipeChunk, deadline, written,
        [&](const char* chunk, std::size_t size, std::size_t& taken) {
            DWORD done = 0;
            const Outcome outcome =
                WriteOnce(chunk, static_cast<DWORD>(size), deadline, done, error);
            taken = done;
            return outcome;
        });
}

BoundedFile::Outcome BoundedFile::ReadByte(std::uint64_t at, const Deadline& deadline, char& value)
{
    StartAt(at);
    DWORD done = 0;
    DWORD error = 0;
    if (!ReadFile(file, &readByte, 1, nullptr, &pending) && GetLastError() != ERROR_IO_PENDING) {
        return Outcome::Failed;
    }
    const Outcome outcome = Await(deadline, done, error);
    if (outcome != Outcome::Written) return outcome;
    if (done != 1) return Outcome::Failed;
    value = readByte;
    return Outcome::Written;
}
