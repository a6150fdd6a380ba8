#include "bounded_file_win32.h"

#include <initializer_list>

namespace {

// One write of a file on a disk, and of anything else (a pipe, a FIFO), which
// takes a write of at most this many bytes whole or not at all.
constexpr std::size_t kDiskChunk = std::size_t{64} * 1024;
constexpr std::size_t kPipeChunk = 4096;

// The offset that makes an overlapped write go to the file's end.
constexpr std::uint64_t kEndOfFile = ~std::uint64_t{0};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kOverlapped = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED;

// Wine (its ntdll exports wine_get_version) makes a transfer of a regular
// file at once, blocking in the kernel, where no cancel reaches: the bounded
// way would cost its event and waits and bound nothing. Looked up at load,
// when ntdll is loaded already and no call waits for the loader lock.
bool DiskTransfersUncancellable()
{
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
const bool diskTransfersUncancellable = DiskTransfersUncancellable();

// `path` opened for appending with `flags`, with read access too where the
// file allows it (`canRead`).
HANDLE OpenAppending(const char* path, DWORD flags, bool& canRead)
{
    canRead = true;
    const HANDLE file = CreateFileA(path, FILE_APPEND_DATA | FILE_READ_DATA, kShareAll, nullptr,
                                    OPEN_ALWAYS, flags, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    canRead = false;
    return CreateFileA(path, FILE_APPEND_DATA, kShareAll, nullptr, OPEN_ALWAYS, flags, nullptr);
}

}  // namespace

bool BoundedFile::Prepare(DWORD& error)
{
    if (file == INVALID_HANDLE_VALUE || event == nullptr) {
        error = GetLastError();
        Close();
        return false;
    }
    return true;
}

bool BoundedFile::Open(const char* path, DWORD& error)
{
    event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, kOverlapped,
                       nullptr);
    onDisk = file != INVALID_HANDLE_VALUE && GetFileType(file) == FILE_TYPE_DISK;
    return Prepare(error);
}

// Wine lets a write wait (a FIFO's full buffer) only on a handle that may
// write anywhere: an append-only one is refused at once, and what the file
// took in time could not be told from what it refused. A pipe has no place
// but its end, so it is written through such a handle, overlapped, opened
// while the first still holds the FIFO's other end; else through an
// append-only overlapped one.
bool BoundedFile::UseWriterOfPipe(const char* path)
{
    for (const DWORD access : {DWORD{GENERIC_WRITE}, DWORD{FILE_APPEND_DATA}}) {
        const HANDLE writer =
            CreateFileA(path, access, kShareAll, nullptr, OPEN_EXISTING, kOverlapped, nullptr);
        if (writer == INVALID_HANDLE_VALUE) continue;
        CloseHandle(file);
        file = writer;
        return true;
    }
    return false;
}

bool BoundedFile::OpenForAppend(const char* path, bool& canRead)
{
    appends = true;
    file = OpenAppending(
        path, diskTransfersUncancellable ? DWORD{FILE_ATTRIBUTE_NORMAL} : kOverlapped, canRead);
    if (file == INVALID_HANDLE_VALUE) return false;
    onDisk = GetFileType(file) == FILE_TYPE_DISK;
    plain = onDisk && diskTransfersUncancellable;
    if (plain) return true;
    if (!onDisk) {
        canRead = false;
        if (!UseWriterOfPipe(path) && diskTransfersUncancellable) {
            Close();  // not overlapped: a write could wait for good
            return false;
        }
    }
    event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
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
    if (event != nullptr) ResetEvent(event);
}

BoundedFile::Completion BoundedFile::Await(const Deadline& deadline, DWORD& done, DWORD& error)
{
    if (WaitForSingleObject(event, deadline.RemainingMs()) != WAIT_OBJECT_0) {
        CancelIoEx(file, &pending);
        if (WaitForSingleObject(event, cancelWaitMs) != WAIT_OBJECT_0) {
            abandoned = true;
            return Completion::TimedOut;
        }
        // Finished all the same, or cancelled: whatever it moved counts.
        GetOverlappedResult(file, &pending, &done, FALSE);
        return done > 0 ? Completion::Done : Completion::TimedOut;
    }
    if (!GetOverlappedResult(file, &pending, &done, FALSE)) {
        error = GetLastError();
        return Completion::Failed;
    }
    return Completion::Done;
}

// One write (`write`) or read of `length` bytes at `at`: plain, made before
// the system returns (an append's write without a place: the file's end);
// else overlapped, awaited until `deadline` and then cancelled.
BoundedFile::Completion BoundedFile::Transfer(bool write, char* bytes, DWORD length,
                                              std::uint64_t at, const Deadline& deadline,
                                              DWORD& done, DWORD& error)
{
    StartAt(at);
    done = 0;
    OVERLAPPED* const place = plain && write ? nullptr : &pending;
    DWORD* const moved = plain ? &done : nullptr;
    const BOOL started = write ? WriteFile(file, bytes, length, moved, place)
                               : ReadFile(file, bytes, length, moved, place);
    if (started && plain) return Completion::Done;
    if (!started && (plain || GetLastError() != ERROR_IO_PENDING)) {
        error = GetLastError();
        return Completion::Failed;
    }
    return Await(deadline, done, error);
}

BoundedFile::Outcome BoundedFile::WriteOnce(const char* bytes, DWORD length,
                                            const Deadline& deadline, DWORD& done, DWORD& error)
{
    const Completion completion = Transfer(true, const_cast<char*>(bytes), length,
                                           appends ? kEndOfFile : offset, deadline, done, error);
    if (completion == Completion::Failed) return Outcome::Failed;
    if (completion == Completion::Done && done == 0) {
        error = ERROR_WRITE_FAULT;
        return Outcome::Failed;
    }
    offset += done;
    return completion == Completion::Done ? Outcome::Written : Outcome::TimedOut;
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

BoundedFile::ReadOutcome BoundedFile::ReadByte(std::uint64_t at, const Deadline& deadline,
                                               char& value)
{
    DWORD done = 0;
    DWORD error = 0;
    const Completion completion = Transfer(false, &readByte, 1, at, deadline, done, error);
    if (completion == Completion::TimedOut) return ReadOutcome::TimedOut;
    if (completion == Completion::Failed || done != 1) return ReadOutcome::Failed;
    value = readByte;
    return ReadOutcome::Read;
}
