#include "record/recording.h"

#include "record/vcd_recorder.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace recording {
namespace {

class FileSink : public VcdSink {
public:
    explicit FileSink(HANDLE opened) : file(opened) {}
    ~FileSink() override { CloseHandle(file); }
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    bool Write(const char* bytes, std::size_t size, std::string& reason) override;

private:
    HANDLE file;
};

// The system's text for an error code, without its line end.
std::string Reason(DWORD code)
{
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof text, nullptr);
    std::string reason(text, length);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == ' ' || reason.back() == '.')) {
        reason.pop_back();
    }
    return reason.empty() ? "error " + std::to_string(code) : reason;
}

bool FileSink::Write(const char* bytes, std::size_t size, std::string& reason)
{
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
        if (!WriteFile(file, bytes, chunk, &written, nullptr) || written == 0) {
            reason = Reason(GetLastError());
            return false;
        }
        bytes += written;
        size -= written;
    }
    return true;
}

void Message(const std::string& line)
{
    std::fprintf(stderr, "INPOUT32.dll: %s\n", line.c_str());
    std::fflush(stderr);
}

std::uint64_t Nanoseconds()
{
    static const std::uint64_t frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return static_cast<std::uint64_t>(value.QuadPart);
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    const auto ticks = static_cast<std::uint64_t>(counter.QuadPart);
    return ticks / frequency * 1000000000u + ticks % frequency * 1000000000u / frequency;
}

// The one recording of the process, under a spin lock: accesses are short,
// and the lock must be usable at process end, when a thread that held it may
// have been stopped.
volatile LONG lock = 0;
volatile LONG running = 0;
FileSink* sink = nullptr;
VcdRecorder* recorder = nullptr;
std::string recordingPath;
HANDLE stopFlushing = nullptr;  // set to end the flushing thread

void Lock()
{
    while (InterlockedCompareExchange(&lock, 1, 0) != 0) YieldProcessor();
}
void Unlock()
{
    InterlockedExchange(&lock, 0);
}

// Under the lock: no recording any more; the file is closed.
void DiscardLocked()
{
    InterlockedExchange(&running, 0);
    delete recorder;
    recorder = nullptr;
    delete sink;
    sink = nullptr;
}

// Under the lock: the buffer to the file; on a write failure, one message and
// the recording ends.
void FlushLocked()
{
    if (recorder == nullptr || recorder->Flush()) return;
    Message("recording into " + recordingPath + " stopped: " + recorder->Failure());
    DiscardLocked();
}

// Under the lock: ends the recording; the flushing thread ends by itself.
void StopLocked()
{
    if (recorder != nullptr) recorder->End(&Nanoseconds);
    FlushLocked();
    DiscardLocked();
    if (stopFlushing != nullptr) {
        SetEvent(stopFlushing);  // the thread closes it
        stopFlushing = nullptr;
    }
}

struct FlusherStart {
    HANDLE stop;
    HMODULE self;
};

// Hands the buffer to the file every half second until told to stop. It holds
// a reference to the library, so that the library stays loaded while it runs.
DWORD WINAPI FlushEveryHalfSecond(LPVOID parameter)
{
    const FlusherStart start = *static_cast<FlusherStart*>(parameter);
    delete static_cast<FlusherStart*>(parameter);
    while (WaitForSingleObject(start.stop, 500) == WAIT_TIMEOUT) {
        Lock();
        FlushLocked();
        Unlock();
    }
    CloseHandle(start.stop);
    FreeLibraryAndExitThread(start.self, 0);
    return 0;
}

}  // namespace

bool Start(const char* path, const std::vector<std::uint16_t>& bases)
{
    Lock();
    StopLocked();
    Unlock();
    if (path == nullptr || *path == '\0') return false;
    const HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Message(std::string("cannot record into ") + path + ": " + Reason(GetLastError()) +
                "; going on without recording");
        return false;
    }
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(&FlushEveryHalfSecond), &self);
    auto* start = new FlusherStart{CreateEventA(nullptr, TRUE, FALSE, nullptr), self};
    HANDLE stop = start->stop;
    const HANDLE thread = stop == nullptr
                              ? nullptr
                              : CreateThread(nullptr, 0, FlushEveryHalfSecond, start, 0, nullptr);
    if (thread == nullptr) {
        if (stop != nullptr) CloseHandle(stop);
        if (self != nullptr) FreeLibrary(self);
        delete start;
        stop = nullptr;  // flushed when full and when recording ends only
    } else {
        CloseHandle(thread);
    }

    Lock();
    sink = new FileSink(file);
    recorder = new VcdRecorder(bases, *sink);
    recordingPath = path;
    stopFlushing = stop;
    InterlockedExchange(&running, 1);
    FlushLocked();  // the header is in the file at once
    Unlock();
    return true;
}

void Stop()
{
    Lock();
    StopLocked();
    Unlock();
}

void StartFromEnvironment(const std::vector<std::uint16_t>& bases)
{
    const char* path = std::getenv("DORUZEDA_RECORD");
    if (path != nullptr && *path != '\0') Start(path, bases);
}

bool Running()
{
    return running != 0;
}

void Access(std::uint16_t address, std::uint8_t value, bool isWrite)
{
    Lock();
    if (recorder != nullptr) recorder->Access(address, value, isWrite, &Nanoseconds);
    Unlock();
}

void ProcessEnding()
{
    // Other threads are gone; one may have left the lock taken.
    for (int tries = 0; InterlockedCompareExchange(&lock, 1, 0) != 0; ++tries) {
        if (tries > 100000) return;
        YieldProcessor();
    }
    if (recorder != nullptr) {
        recorder->End(&Nanoseconds);
        FlushLocked();
    }
    DiscardLocked();
    Unlock();
}

}  // namespace recording
