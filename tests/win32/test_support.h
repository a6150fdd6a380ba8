// Helpers for the Win32 tests: the DLL under test, the simulated port's trace,
// a scratch current directory for the log file, the debugger output, and
// get_io descriptions.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "standins/inpout32/sim_port.h"
#include "tests/shared/test_helpers.h"

namespace test_support {

// Whether the host's macro module is loaded before the library, as the host
// application has it. Without it the library shows a message box at load,
// which someone must dismiss.
enum class HostModule { Loaded, Absent };

// Loads Doruzeda_DO.dll for the life of the object (and unloads it after), so
// that each test starts from a fresh load.
class LoadedLibrary {
public:
    explicit LoadedLibrary(HostModule hostModule = HostModule::Loaded,
                           const char* name = "Doruzeda_DO.dll");
    ~LoadedLibrary();
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    HMODULE Handle() const { return module; }
    DWORD LoadError() const { return loadError; }
    void Unload();

    template <typename Function>
    Function Get(const char* name) const
    {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }
    template <typename Function>
    Function GetByOrdinal(WORD ordinal) const
    {
        return reinterpret_cast<Function>(
            reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal))));
    }

private:
    HMODULE hostModule;
    HMODULE module;
    DWORD loadError;
};

using Int0 = int(__cdecl*)();
using Int1 = int(__cdecl*)(int);
using Int2 = int(__cdecl*)(int, int);
using Str4 = int(__cdecl*)(const char*, const char*, const char*, const char*);

// The ten exports by name, found in a loaded library.
struct Exports {
    explicit Exports(const LoadedLibrary& library);
    Int1 fetchParallelInputPin;
    Int0 getParallelInputAll;
    Int1 getParallelInputPin;
    Int0 rudAdado;
    Int0 prepareParallelOutputBuffer;
    Int2 prepareParallelOutputPin;
    Int0 setParallelOutputAll;
    Int2 setParallelOutputPin;
    Int1 setParallelPort;
    Str4 setParallelPortAddress;
    bool AllFound() const;
};

// Accesses recorded by the simulated port since `start` (a SimTraceCount()).
std::vector<SimPortAccess> TraceSince(unsigned long start);
// "R 378=01 W 37A=0B": two digits, because the simulated port stores bytes.
inline std::string Describe(const std::vector<SimPortAccess>& accesses)
{
    return test_shared::DescribeAccesses(accesses, 2);
}

using test_shared::ScratchDirectory;

// Writes a get_io description to a file and names it in the environment
// variable the stand-in reads when it loads, for the life of the object.
// An empty `text` with `useDefault` removes the variable (one LPT1 at 378).
class DeviceDescription {
public:
    explicit DeviceDescription(const std::string& text);
    DeviceDescription();  // the stand-in's default list
    ~DeviceDescription();
    DeviceDescription(const DeviceDescription&) = delete;
    DeviceDescription& operator=(const DeviceDescription&) = delete;

private:
    std::string file;
};

// Listens to the debugger output (OutputDebugStringA) of every process through
// the DBWIN buffer protocol, for the life of the object.
class DebuggerOutput {
public:
    DebuggerOutput();
    ~DebuggerOutput();
    DebuggerOutput(const DebuggerOutput&) = delete;
    DebuggerOutput& operator=(const DebuggerOutput&) = delete;
    bool Listening() const { return thread != nullptr; }
    // The strings received so far from this process, in order.
    std::vector<std::string> Messages();

private:
    static DWORD WINAPI Run(void* self);
    HANDLE listening = nullptr;  // set once the thread waits for its first string
    HANDLE bufferReady = nullptr;
    HANDLE dataReady = nullptr;
    HANDLE mapping = nullptr;
    void* view = nullptr;
    HANDLE thread = nullptr;
    volatile LONG stop = 0;
    CRITICAL_SECTION lock;
    std::vector<std::string> received;
};

// The setup window's title.
extern const char kSetupWindowTitle[];

// The top-level windows of this thread with the setup window's title.
std::vector<HWND> SetupWindowsOfThisThread();

// Serves this thread's messages for `milliseconds`, as the host's loop does,
// or until `until` returns true; returns whether it did.
template <typename Condition>
bool Pump(DWORD milliseconds, Condition until)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (until()) return true;
        if (GetTickCount() - start >= milliseconds) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

inline void Pump(DWORD milliseconds)
{
    Pump(milliseconds, [] { return false; });
}

// Serves every message queued for this thread and returns when none is left.
// A message another thread posted before it ended is in the queue already,
// so this handles it without waiting for anything.
inline void ServeQueuedMessages()
{
    Pump(0);
}

// This process's handles counted by the name of their type, and its threads
// (under "threads"), through the system's lists (Wine's GetProcessHandleCount
// gives 0); empty when the handle list cannot be had.
std::map<std::string, int> HandlesByType();

// HandlesByType once it equals `expected`, or after 5 s: the threads of the
// system's pool end a while after their last work. Fewer threads than
// expected count as expected; more never do.
std::map<std::string, int> HandlesSettledTo(const std::map<std::string, int>& expected);

// "type count, type count, ...", for a failure message.
std::string DescribeCounts(const std::map<std::string, int>& counts);

}  // namespace test_support
