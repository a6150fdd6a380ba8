// Timing of Doruzeda_DO.dll's exports under Wine, called as the host calls
// them (GetProcAddress by name, cdecl), against the simulated port:
//  - each export's cost;
//  - the logged fnOrvane_setParallelOutputPin against its floor: the
//    debugger output of its message and the append of its line, done by
//    hand the way the library appends (append-only handle, a lock on one
//    byte, one write);
//  - the buffered path against direct calls of INPOUT32's PortRead/PortWrite;
//  - loading and unloading the library against an empty DLL;
//  - a wait's reaction to an input line that another thread changes, and
//    whether the system offers the fine timer the wait sleeps on.
//  - calls while the library records the pins (fnOrvane_recordParallelPins)
//    against the same calls without, in turns.
// Prints a table of nanoseconds per call and the ratios. Not a test: the
// figures depend on the machine.
#include <windows.h>

#include "spin.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using Int0 = int(__cdecl*)();
using Int1 = int(__cdecl*)(int);
using Int2 = int(__cdecl*)(int, int);
using Str4 = int(__cdecl*)(const char*, const char*, const char*, const char*);
using PortReadFunction = unsigned short(__stdcall*)(unsigned short);
using PortWriteFunction = void(__stdcall*)(unsigned short, unsigned short);

double NanosecondsPerCall(int calls, const std::function<void()>& body)
{
    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceFrequency(&frequency);
    body();  // warm up
    QueryPerformanceCounter(&start);
    for (int i = 0; i < calls; ++i) body();
    QueryPerformanceCounter(&end);
    return static_cast<double>(end.QuadPart - start.QuadPart) * 1e9 /
           static_cast<double>(frequency.QuadPart) / calls;
}

// Times `first` and `second` in turns, `rounds` times `calls` each (which
// goes first alternates, so neither always follows the other), and gives the
// median time per call of each.
void MediansInTurns(int rounds, int calls, const std::function<void()>& first,
                    const std::function<void()>& second, double& firstMedian, double& secondMedian)
{
    std::vector<double> firstTimes;
    std::vector<double> secondTimes;
    for (int round = 0; round < rounds; ++round) {
        if (round % 2 == 0) {
            firstTimes.push_back(NanosecondsPerCall(calls, first));
            secondTimes.push_back(NanosecondsPerCall(calls, second));
        } else {
            secondTimes.push_back(NanosecondsPerCall(calls, second));
            firstTimes.push_back(NanosecondsPerCall(calls, first));
        }
    }
    std::sort(firstTimes.begin(), firstTimes.end());
    std::sort(secondTimes.begin(), secondTimes.end());
    firstMedian = firstTimes[firstTimes.size() / 2];
    secondMedian = secondTimes[secondTimes.size() / 2];
}

template <typename Function>
Function Find(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// What a logged call cannot avoid: the message to the debugger, and its line
// appended as the library appends it (see platform/win32/log_sink_win32.cpp).
void LogLineByHand()
{
    OutputDebugStringA("SetPinOutput(2, 1) Port=378");
    const char line[] = "12/03/2024 09:05:07.042 SetPinOutput(2, 1) Port=378\r\n";
    const HANDLE file = CreateFileA("RurSetupDebug.txt", FILE_APPEND_DATA | FILE_READ_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    // The appenders' two lock bytes, the first and then the second.
    OVERLAPPED lockedBytes[2] = {};
    BOOL locked[2] = {};
    for (int byte = 0; byte < 2; ++byte) {
        lockedBytes[byte].Offset = byte == 0 ? 0xFFFFFFFEu : 0xFFFFFFFDu;
        lockedBytes[byte].OffsetHigh = 0x7FFFFFFFu;
        locked[byte] = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1,
                                  0, &lockedBytes[byte]);
    }
    // How the file ends: its last byte.
    LARGE_INTEGER size{};
    char lastByte = 0;
    DWORD read = 0;
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
        OVERLAPPED lastByteAt{};
        lastByteAt.Offset = static_cast<DWORD>(size.QuadPart - 1);
        lastByteAt.OffsetHigh = static_cast<DWORD>((size.QuadPart - 1) >> 32);
        ReadFile(file, &lastByte, 1, &read, &lastByteAt);
    }
    DWORD written = 0;
    WriteFile(file, line, sizeof line - 1, &written, nullptr);
    if (locked[1]) UnlockFileEx(file, 0, 1, 0, &lockedBytes[1]);
    if (locked[0]) UnlockFileEx(file, 0, 1, 0, &lockedBytes[0]);
    CloseHandle(file);
}

// Raises pin 10 (status bit 6) `delayUs` microseconds after it starts, and
// notes when.
struct InputRaiser {
    void(__cdecl* setInputLines)(unsigned short, unsigned char);
    int delayUs;
    LONGLONG raisedAt;
};

DWORD WINAPI RaiseAfterDelay(void* pointer)
{
    InputRaiser& raiser = *static_cast<InputRaiser*>(pointer);
    raiser.raisedAt = SpinMicroseconds(raiser.delayUs);
    raiser.setInputLines(0x378, 0x40);
    return 0;
}

// Times `body` without and with a recording into `path`, in turns (which goes
// first alternates), and gives the medians.
void WithoutAndWithRecording(int rounds, int calls, const std::function<void()>& body,
                             int(__cdecl* record)(const char*), const char* path, double& without,
                             double& with)
{
    std::vector<double> withoutTimes;
    std::vector<double> withTimes;
    for (int round = 0; round < rounds; ++round) {
        if (round % 2 == 0) withoutTimes.push_back(NanosecondsPerCall(calls, body));
        record(path);
        withTimes.push_back(NanosecondsPerCall(calls, body));
        record(nullptr);
        if (round % 2 != 0) withoutTimes.push_back(NanosecondsPerCall(calls, body));
    }
    std::sort(withoutTimes.begin(), withoutTimes.end());
    std::sort(withTimes.begin(), withTimes.end());
    without = withoutTimes[withoutTimes.size() / 2];
    with = withTimes[withTimes.size() / 2];
}

void Row(const char* what, double nanoseconds)
{
    std::printf("%-52s %12.1f ns\n", what, nanoseconds);
}

}  // namespace

int main(int argc, char** argv)
{
    const int scale = argc > 1 ? atoi(argv[1]) : 1;
    const int fast = 200000 * scale;
    const int slow = 2000 * scale;
    const int loads = 20 * scale;

    // The log goes to a scratch folder, not the caller's.
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    lstrcatA(folder, "doruzeda-timing");
    CreateDirectoryA(folder, nullptr);
    SetCurrentDirectoryA(folder);

    // The host's macro module is loaded first, as in the host application.
    LoadLibraryA("kxmacro.dll");
    HMODULE library = LoadLibraryA("Doruzeda_DO.dll");
    if (library == nullptr) {
        std::fprintf(stderr, "LoadLibrary(Doruzeda_DO.dll) failed: %lu\n", GetLastError());
        return 1;
    }
    HMODULE port = GetModuleHandleA("INPOUT32.dll");
    auto portRead = reinterpret_cast<PortReadFunction>(
        reinterpret_cast<void*>(GetProcAddress(port, MAKEINTRESOURCEA(1))));
    auto portWrite = reinterpret_cast<PortWriteFunction>(
        reinterpret_cast<void*>(GetProcAddress(port, MAKEINTRESOURCEA(2))));

    auto setAddress = Find<Str4>(library, "fnOrvane_setParallelPortAddress");
    auto setPin = Find<Int2>(library, "fnOrvane_setParallelOutputPin");
    auto getPin = Find<Int1>(library, "fnOrvane_getParallelInputPin");
    auto prepareBuffer = Find<Int0>(library, "fnOrvane_prepareParallelOutputBuffer");
    auto preparePin = Find<Int2>(library, "fnOrvane_prepareParallelOutputPin");
    auto setAll = Find<Int0>(library, "fnOrvane_setParallelOutputAll");
    auto getAll = Find<Int0>(library, "fnOrvane_getParallelInputAll");
    auto fetchPin = Find<Int1>(library, "fnOrvane_fetchParallelInputPin");
    auto selectPort = Find<Int1>(library, "fnOrvane_setParallelPort");
    if (!setAddress || !setPin || !getPin || !prepareBuffer || !preparePin || !setAll || !getAll ||
        !fetchPin || !selectPort || !portRead || !portWrite) {
        std::fprintf(stderr, "an export is missing\n");
        return 1;
    }
    setAddress("3", "7", "8", "");

    std::printf("%-52s %15s\n", "call (under Wine, simulated port)", "time per call");
    const double portReadTime = NanosecondsPerCall(fast, [&] { portRead(0x378); });
    const double portWriteTime = NanosecondsPerCall(fast, [&] { portWrite(0x378, 0x55); });
    Row("INPOUT32 PortRead (direct)", portReadTime);
    Row("INPOUT32 PortWrite (direct)", portWriteTime);
    const double prepareBufferTime = NanosecondsPerCall(fast, [&] { prepareBuffer(); });
    const double preparePinTime = NanosecondsPerCall(fast, [&] { preparePin(3, 1); });
    const double setAllTime = NanosecondsPerCall(fast, [&] { setAll(); });
    const double getAllTime = NanosecondsPerCall(fast, [&] { getAll(); });
    const double fetchPinTime = NanosecondsPerCall(fast, [&] { fetchPin(10); });
    const double refusedTime = NanosecondsPerCall(fast, [&] { setPin(25, 1); });
    const double selectTime = NanosecondsPerCall(fast, [&] { selectPort(11); });
    Row("fnOrvane_prepareParallelOutputBuffer", prepareBufferTime);
    Row("fnOrvane_prepareParallelOutputPin", preparePinTime);
    Row("fnOrvane_setParallelOutputAll", setAllTime);
    Row("fnOrvane_getParallelInputAll", getAllTime);
    Row("fnOrvane_fetchParallelInputPin", fetchPinTime);
    Row("fnOrvane_setParallelOutputPin refused (pin 25)", refusedTime);
    Row("fnOrvane_setParallelPort refused (11)", selectTime);

    const double bufferedPath = NanosecondsPerCall(fast, [&] {
        prepareBuffer();
        preparePin(2, 1);
        preparePin(3, 0);
        setAll();
    });
    const double directPath = NanosecondsPerCall(fast, [&] {
        unsigned short data = portRead(0x378);
        unsigned short control = portRead(0x37A);
        data = static_cast<unsigned short>((data | 0x01) & ~0x02);
        portWrite(0x378, data);
        portWrite(0x37A, control);
    });
    Row("buffered path: buffer, 2 pins, write all", bufferedPath);
    Row("same accesses by direct PortRead/PortWrite", directPath);

    // The logged call and its floor in turns, so that both meet the same
    // state of the machine and of the growing file; the median of the turns.
    double setPinTime = 0;
    double logFloor = 0;
    MediansInTurns(
        10, slow / 4, [&] { setPin(2, 1); }, [&] { LogLineByHand(); }, setPinTime, logFloor);
    const double getPinTime = NanosecondsPerCall(slow, [&] { getPin(10); });
    Row("fnOrvane_setParallelOutputPin (logged)", setPinTime);
    Row("fnOrvane_getParallelInputPin (logged)", getPinTime);
    Row("floor: its debugger output and line append by hand", logFloor);

    // A wait's reaction: one wait after another on pin 10, which another
    // thread raises 0 to 5 ms after the wait began (most waits are past their
    // fast reads by then, and sleep between reads), measured from the change
    // of the line to the wait's return.
    using Int3 = int(__cdecl*)(int, int, int);
    using SetLines = void(__cdecl*)(unsigned short, unsigned char);
    auto wait = Find<Int3>(library, "fnOrvane_waitParallelInputPin");
    auto setInputLines = Find<SetLines>(port, "SimSetInputLines");
    const HANDLE fineTimer = CreateWaitableTimerExW(nullptr, nullptr, 0x00000002, TIMER_ALL_ACCESS);
    std::printf("\nthe fine waitable timer (CREATE_WAITABLE_TIMER_HIGH_RESOLUTION): %s\n",
                fineTimer != nullptr ? "offered" : "refused");
    // What one sleep of a millisecond lasts: on the fine timer (the wait's
    // sleep where the system offers it), on an event's timeout (its sleep
    // elsewhere) and by Sleep(1).
    const HANDLE neverSet = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const int sleeps = 200 * scale;
    if (fineTimer != nullptr) {
        Row("one 1 ms sleep on the fine timer", NanosecondsPerCall(sleeps, [&] {
                LARGE_INTEGER due;
                due.QuadPart = -10000;
                SetWaitableTimer(fineTimer, &due, 0, nullptr, nullptr, FALSE);
                const HANDLE objects[] = {neverSet, fineTimer};
                WaitForMultipleObjects(2, objects, FALSE, 50);
            }));
        CloseHandle(fineTimer);
    }
    Row("one 1 ms sleep on an event's timeout",
        NanosecondsPerCall(sleeps, [&] { WaitForSingleObject(neverSet, 1); }));
    Row("one Sleep(1)", NanosecondsPerCall(sleeps, [&] { Sleep(1); }));
    CloseHandle(neverSet);
    if (wait != nullptr && setInputLines != nullptr) {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        std::vector<double> reactionsUs;
        unsigned seed = 7;
        const int waits = 150 * scale;
        for (int round = 0; round < waits; ++round) {
            seed = seed * 1103515245u + 12345u;
            setInputLines(0x378, 0x00);
            InputRaiser raiser{setInputLines, static_cast<int>((seed >> 8) % 5001), 0};
            const HANDLE thread = CreateThread(nullptr, 0, &RaiseAfterDelay, &raiser, 0, nullptr);
            if (thread == nullptr) break;
            const int reached = wait(10, 1, 60000);
            LARGE_INTEGER returnedAt;
            QueryPerformanceCounter(&returnedAt);
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
            if (reached != 1) {
                std::fprintf(stderr, "a wait did not see the change\n");
                return 1;
            }
            reactionsUs.push_back(static_cast<double>(returnedAt.QuadPart - raiser.raisedAt) * 1e6 /
                                  static_cast<double>(frequency.QuadPart));
        }
        std::sort(reactionsUs.begin(), reactionsUs.end());
        if (!reactionsUs.empty()) {
            std::printf(
                "a wait's reaction to another thread's change, %zu waits: median %.0f us,"
                " 99th percentile %.0f us, longest %.0f us\n\n",
                reactionsUs.size(), reactionsUs[reactionsUs.size() / 2],
                reactionsUs[reactionsUs.size() * 99 / 100], reactionsUs.back());
        }
    }

    // Recording: every call below changes pins, so every access that
    // records costs a change (a clock reading and its lines of text).
    using RecordFunction = int(__cdecl*)(const char*);
    const auto record = Find<RecordFunction>(library, "fnOrvane_recordParallelPins");
    double bufferedWithout = 0, bufferedWith = 0;
    double loggedWithout = 0, loggedWith = 0;
    if (record != nullptr) {
        int level = 0;
        WithoutAndWithRecording(
            10, fast / 4,
            [&] {
                level ^= 1;
                prepareBuffer();
                preparePin(2, level);
                preparePin(3, level);
                setAll();
            },
            record, "timing.vcd", bufferedWithout, bufferedWith);
        WithoutAndWithRecording(
            10, slow / 4, [&] { setPin(2, level ^= 1); }, record, "timing.vcd", loggedWithout,
            loggedWith);
        Row("buffered path, 2 pins changing", bufferedWithout);
        Row("  the same, recording", bufferedWith);
        Row("fnOrvane_setParallelOutputPin (logged), changing", loggedWithout);
        Row("  the same, recording", loggedWith);
        DeleteFileA("timing.vcd");
    }
    FreeLibrary(library);

    const double loadLibrary = NanosecondsPerCall(loads, [&] {
        HMODULE module = LoadLibraryA("Doruzeda_DO.dll");
        FreeLibrary(module);
    });
    const double loadEmpty = NanosecondsPerCall(loads, [&] {
        HMODULE module = LoadLibraryA("empty_dll.dll");
        FreeLibrary(module);
    });
    Row("load + unload Doruzeda_DO.dll", loadLibrary);
    Row("load + unload an empty DLL", loadEmpty);

    std::printf("\nratios\n");
    std::printf("  buffered path / direct port calls          %6.2f\n", bufferedPath / directPath);
    std::printf("  logged setParallelOutputPin / its floor     %6.2f\n", setPinTime / logFloor);
    std::printf("  load Doruzeda_DO.dll / load empty DLL       %6.2f\n", loadLibrary / loadEmpty);
    if (record != nullptr) {
        std::printf("  recording / not: buffered path              %6.2f\n",
                    bufferedWith / bufferedWithout);
        std::printf("  recording / not: logged setParallelOutputPin %5.2f\n",
                    loggedWith / loggedWithout);
    }

    DeleteFileA("RurSetupDebug.txt");
    SetCurrentDirectoryA("..");
    RemoveDirectoryA(folder);
    return 0;
}
