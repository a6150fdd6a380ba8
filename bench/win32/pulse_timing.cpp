// Timing of the pulses and of a wait under Wine, called as the host calls
// the exports (GetProcAddress by name, cdecl), on whatever INPOUT32.dll lies
// beside the program (the simulated port, or the Linux one over ppdev):
//
//   pulse_timing.exe widths [COUNT]  COUNT (200) data-byte pulses of 10 us,
//       100 us, 1 ms, 10 ms and 100 ms on LPT1, recorded into pulses.vcd:
//       the width error (held - asked) by the library's performance counter
//       (each pulse's log line) and by the recording's time stamps;
//       "widths COUNT unrecorded": the same without the recording
//   pulse_timing.exe cpu             the process's CPU time per 100 ms pulse
//   pulse_timing.exe wait            a wait's reaction to another thread's
//       change of pin 10 (simulated port only): to the read that sees it
//       (the simulated port's trace) and to the wait's return
//   pulse_timing.exe wait10          the process's CPU time of a 10 s wait
//
// Prints microseconds; not a test: the figures depend on the machine.
#include <windows.h>

#include "spin.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Int1 = int(__cdecl*)(int);
using Int2 = int(__cdecl*)(int, int);
using Int3 = int(__cdecl*)(int, int, int);
using Text = int(__cdecl*)(const char*);

template <typename Function>
Function Find(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

void PrintStats(const char* what, int asked, std::vector<double> errors)
{
    if (errors.empty()) return;
    std::sort(errors.begin(), errors.end());
    std::printf("%-26s %7d us: %4zu pulses, error median %7.1f us, p99 %7.1f us, max %7.1f us\n",
                what, asked, errors.size(), errors[errors.size() / 2],
                errors[errors.size() * 99 / 100], errors.back());
}

// Each "PulseDataByte(1, W) ... Width=N" line of the log: N - W by W.
std::map<int, std::vector<double>> LoggedErrors()
{
    std::map<int, std::vector<double>> errors;
    std::ifstream log("RurSetupDebug.txt");
    std::string line;
    while (std::getline(log, line)) {
        int asked = 0;
        const std::size_t call = line.find("PulseDataByte(1, ");
        const std::size_t width = line.find("Width=");
        if (call == std::string::npos || width == std::string::npos) continue;
        asked = std::atoi(line.c_str() + call + 17);
        errors[asked].push_back(std::atoi(line.c_str() + width + 6) - asked);
    }
    return errors;
}

// Pin 2's rises and falls in the recording, in microseconds; each high
// stretch a pulse, taken in the order the pulses were asked.
std::vector<double> RecordedWidths(const char* file)
{
    std::ifstream vcd(file);
    std::string word;
    std::string id;
    double unitUs = 0.001;  // "1ns"
    std::vector<double> widths;
    double now = 0;
    double rose = -1;
    while (vcd >> word) {
        if (word == "$timescale") {
            vcd >> word;
            if (word == "1us") unitUs = 1;
        } else if (word == "$var") {
            std::string type, size, code, name;
            vcd >> type >> size >> code >> name;
            if (name == "lpt378_pin02_d0") id = code;
        } else if (word[0] == '#') {
            now = std::atof(word.c_str() + 1) * unitUs;
        } else if (!id.empty() && word.size() > 1 && word.substr(1) == id) {
            if (word[0] == '1') rose = now;
            if (word[0] == '0' && rose >= 0) widths.push_back(now - rose);
        }
    }
    return widths;
}

int Widths(HMODULE library, int count, bool recording)
{
    const auto pulse = Find<Int2>(library, "fnOrvane_pulseParallelDataByte");
    const auto setByte = Find<Int1>(library, "fnOrvane_setParallelDataByte");
    const auto record = Find<Text>(library, "fnOrvane_recordParallelPins");
    const int asked[] = {10, 100, 1000, 10000, 100000};
    setByte(0);
    DeleteFileA("RurSetupDebug.txt");
    if (recording && record("pulses.vcd") != 0) std::fprintf(stderr, "no recording\n");
    for (const int microseconds : asked) {
        for (int round = 0; round < count; ++round) {
            if (pulse(1, microseconds) != 0) return 1;
            Sleep(round % 3);  // pulses at no fixed phase of the timer's ticks
        }
    }
    record(nullptr);
    std::map<int, std::vector<double>> logged = LoggedErrors();
    const std::vector<double> recorded = RecordedWidths("pulses.vcd");
    for (int index = 0; index < 5; ++index) {
        PrintStats("performance counter", asked[index], logged[asked[index]]);
        std::vector<double> errors;
        for (int round = 0; round < count; ++round) {
            const std::size_t at = static_cast<std::size_t>(index * count + round);
            if (at < recorded.size()) errors.push_back(recorded[at] - asked[index]);
        }
        PrintStats("recording's time stamps", asked[index], errors);
    }
    return 0;
}

double CpuUs()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto us = [](const FILETIME& time) {
        return static_cast<double>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) |
                                   time.dwLowDateTime) /
               10.0;
    };
    return us(kernel) + us(user);
}

int Cpu(HMODULE library)
{
    const auto pulse = Find<Int2>(library, "fnOrvane_pulseParallelDataByte");
    const int pulses = 100;  // the process's times move in steps of 10 ms under Wine
    const double before = CpuUs();
    for (int round = 0; round < pulses; ++round) pulse(1, 100000);
    std::printf("CPU per 100 ms pulse: %.0f us (%d pulses; the process's user and kernel time)\n",
                (CpuUs() - before) / pulses, pulses);
    return 0;
}

using TraceCount = unsigned long(__cdecl*)();
struct SimAccess {
    unsigned long sequence;
    unsigned char isWrite;
    unsigned char reserved;
    unsigned short address;
    unsigned short value;
};
using TraceGet = int(__cdecl*)(unsigned long, SimAccess*);

void PrintReactions(const char* what, std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    std::printf("%s, %zu waits: median %.0f us, p99 %.0f us, max %.0f us\n", what, values.size(),
                values[values.size() / 2], values[values.size() * 99 / 100], values.back());
}

struct InputRaiser {
    void(__cdecl* setInputLines)(unsigned short, unsigned char);
    TraceCount traceCount;
    TraceGet traceGet;
    int delayUs;
    LONGLONG raisedAt;
    LONGLONG seenAt;
};

// The first read of the status register, from access `next` on, that shows
// pin 10 high (bit 6): when the wait saw the change.
LONGLONG WhenSeen(const InputRaiser& raiser, unsigned long next)
{
    LARGE_INTEGER now;
    for (;;) {
        if (raiser.traceCount() <= next) continue;
        SimAccess access{};
        QueryPerformanceCounter(&now);
        if (raiser.traceGet(next, &access) && !access.isWrite && access.address == 0x379 &&
            (access.value & 0x40) != 0) {
            return now.QuadPart;
        }
        ++next;
    }
}

DWORD WINAPI RaiseAfterDelay(void* pointer)
{
    InputRaiser& raiser = *static_cast<InputRaiser*>(pointer);
    SpinMicroseconds(raiser.delayUs);
    const unsigned long next = raiser.traceCount();
    raiser.setInputLines(0x378, 0x40);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    raiser.raisedAt = now.QuadPart;
    raiser.seenAt = WhenSeen(raiser, next);
    return 0;
}

// As bench/win32/timing.cpp measures it: another thread raises pin 10 0 to
// 5 ms after each wait began.
int Wait(HMODULE library)
{
    const auto wait = Find<Int3>(library, "fnOrvane_waitParallelInputPin");
    using SetLines = void(__cdecl*)(unsigned short, unsigned char);
    const auto setInputLines = Find<SetLines>(GetModuleHandleA("INPOUT32.dll"), "SimSetInputLines");
    const HMODULE port = GetModuleHandleA("INPOUT32.dll");
    const auto traceCount = Find<TraceCount>(port, "SimTraceCount");
    const auto traceGet = Find<TraceGet>(port, "SimTraceGet");
    if (setInputLines == nullptr || traceCount == nullptr || traceGet == nullptr) return 1;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const auto us = [&](LONGLONG ticks) {
        return static_cast<double>(ticks) * 1e6 / static_cast<double>(frequency.QuadPart);
    };
    std::vector<double> seenUs;
    std::vector<double> reactionsUs;
    unsigned seed = 7;
    for (int round = 0; round < 300; ++round) {
        seed = seed * 1103515245u + 12345u;
        setInputLines(0x378, 0x00);
        InputRaiser raiser{
            setInputLines, traceCount, traceGet, static_cast<int>((seed >> 8) % 5001), 0, 0};
        const HANDLE thread = CreateThread(nullptr, 0, &RaiseAfterDelay, &raiser, 0, nullptr);
        const int reached = wait(10, 1, 60000);
        LARGE_INTEGER returnedAt;
        QueryPerformanceCounter(&returnedAt);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        if (reached != 1) return 1;
        seenUs.push_back(us(raiser.seenAt - raiser.raisedAt));
        reactionsUs.push_back(us(returnedAt.QuadPart - raiser.raisedAt));
    }
    PrintReactions("wait: change to the read that sees it", seenUs);
    PrintReactions("wait: change to the return (log line included)", reactionsUs);
    return 0;
}

// The CPU of one wait of 10 s that times out (the script adds Wine's server's).
int LongWait(HMODULE library)
{
    const auto wait = Find<Int3>(library, "fnOrvane_waitParallelInputPin");
    const double before = CpuUs();
    wait(12, 1, 10000);  // pin 12 stays low on the simulated port
    std::printf("CPU of a 10 s wait that times out: %.0f ms\n", (CpuUs() - before) / 1000);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "widths";
    const HMODULE library = LoadLibraryA("Doruzeda_DO.dll");
    if (library == nullptr) {
        std::fprintf(stderr, "pulse_timing: no Doruzeda_DO.dll (error %lu)\n", GetLastError());
        return 1;
    }
    Find<Int1>(library, "fnOrvane_setParallelPort")(1);
    int result = 1;
    if (mode == "widths") {
        result = Widths(library, argc > 2 ? std::atoi(argv[2]) : 200,
                        argc <= 3 || std::strcmp(argv[3], "unrecorded") != 0);
    }
    if (mode == "cpu") result = Cpu(library);
    if (mode == "wait") result = Wait(library);
    if (mode == "wait10") result = LongWait(library);
    FreeLibrary(library);
    return result;
}
