// The chunk loop of a write that must end by a deadline: the log file's
// lines and the recording's file (platform/win32/bounded_file_win32.h). Each
// chunk is one write of the system, waited for until the deadline and then
// cancelled; the deadline is checked before every chunk, so that a cancel
// that let part of a chunk through starts no other: the whole write ends by
// the deadline plus one cancel's wait.
#pragma once

#include <cstddef>

namespace bounded_write {

enum class Outcome { Written, TimedOut, Failed };

// The most of `bytes` that one write takes: up to `chunk`, ending at a line
// end (a line longer than that, which no writer here makes, whole), so that
// a file that takes a write whole or not at all (a pipe) never tears a line.
inline std::size_t ChunkOf(const char* bytes, std::size_t length, std::size_t chunk)
{
    if (length <= chunk) return length;
    for (std::size_t end = chunk; end > 0; --end) {
        if (bytes[end - 1] == '\n') return end;
    }
    return chunk;
}

// Writes bytes[written, length) with `writeOnce(bytes, size, done)`, one
// chunk at a time; `written` counts on with each chunk's `done`, so that a
// writer ended between two chunks leaves it true.
template <typename Deadline, typename WriteOnce>
Outcome WriteInChunks(const char* bytes, std::size_t length, std::size_t chunk,
                      const Deadline& deadline, std::size_t& written, WriteOnce&& writeOnce)
{
    while (written < length) {
        if (deadline.Passed()) return Outcome::TimedOut;
        const std::size_t size = ChunkOf(bytes + written, length - written, chunk);
        std::size_t done = 0;
        const Outcome outcome = writeOnce(bytes + written, size, done);
        written += done;
        if (outcome != Outcome::Written) return outcome;
    }
    return Outcome::Written;
}

}  // namespace bounded_write
