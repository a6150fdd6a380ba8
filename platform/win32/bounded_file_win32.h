// A file whose every write, and every read, waits at most until a deadline:
// it is then cancelled (CancelIoEx) and the cancel given its own wait. The
// recording's file and the log file's lines both go through it. But for a
// file opened for appending that no cancel could reach anyway (a regular
// file under Wine, below): that one is written and read the plain way, on a
// handle without overlapped transfers, its event or its waits, which cost a
// logged call as much again as its append.
//
// What no cancel reaches is named where the bounds are told
// (docs/threads-and-unload.md): the calls on the file that are not
// transfers (its creation, its size, its locks, on a share that stopped
// answering), and under Wine a write or a read of a regular file, which the
// system makes at once, blocking in the kernel (a FUSE file system, a
// network mount that went away). A FIFO's or a pipe's write, the case of a
// reader that stopped reading, is cancelled.
#pragma once

#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0600
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600  // CancelIoEx
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "../../log/bounded_write.h"
#include "../../port/deadline.h"

// A cancel that does not finish within its wait leaves the transfer's
// OVERLAPPED and bytes in use by the system: the file is then `Abandoned`,
// and its owner never frees it, nor the bytes it was writing.
class BoundedFile {
public:
    using Outcome = bounded_write::Outcome;
    enum class ReadOutcome { Read, TimedOut, Failed };

    explicit BoundedFile(unsigned long cancelWait) : cancelWaitMs(cancelWait) {}
    ~BoundedFile() { Close(); }
    BoundedFile(const BoundedFile&) = delete;
    BoundedFile& operator=(const BoundedFile&) = delete;

    // Creates `path`, or empties it, for writing; `error` is the system's
    // code of a failure.
    bool Open(const char* path, DWORD& error);
    // Opens `path` (made when missing) for appending: every write goes to the
    // file's end, whatever other handles write meanwhile. With read access
    // too where the file allows it (`canRead`; another program's sharing
    // mode, an append-only permission may refuse it). A regular file under
    // Wine is opened for plain transfers: each returns when the system's
    // does, as the system makes it at once, where no cancel reaches.
    bool OpenForAppend(const char* path, bool& canRead);
    // Writes bytes[written, length) in whole lines (log/bounded_write.h),
    // each write waited for until `deadline`: returns by then, plus one
    // cancel's wait.
    Outcome Write(const char* bytes, std::size_t length, const Deadline& deadline,
                  std::size_t& written, DWORD& error);
    // Reads the byte at `at` into `value`, by `deadline` plus one cancel's
    // wait.
    ReadOutcome ReadByte(std::uint64_t at, const Deadline& deadline, char& value);
    void Close();

    HANDLE Handle() const { return file; }
    bool OnDisk() const { return onDisk; }
    bool Abandoned() const { return abandoned; }

private:
    // How one transfer ended.
    enum class Completion { Done, TimedOut, Failed };

    bool Prepare(DWORD& error);
    bool UseWriterOfPipe(const char* path);
    void StartAt(std::uint64_t at);
    Outcome WriteOnce(const char* bytes, DWORD length, const Deadline& deadline, DWORD& done,
                      DWORD& error);
    Completion Transfer(bool write, char* bytes, DWORD length, std::uint64_t at,
                        const Deadline& deadline, DWORD& done, DWORD& error);
    Completion Await(const Deadline& deadline, DWORD& done, DWORD& error);

    const unsigned long cancelWaitMs;
    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE event = nullptr;
    OVERLAPPED pending{};
    char readByte = 0;         // ReadByte's, which the system may write late
    std::uint64_t offset = 0;  // where the next write goes (on a disk, not appending)
    bool onDisk = false;
    bool plain = false;  // no overlapped transfers: no event, no wait, no cancel
    bool appends = false;
    bool abandoned = false;
};
