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
//   pulse_timing.exe wait [high]     a wait's reaction to another thread's
//       change of pin 10 (simulated port only): to the read that saw it
//       (the simulated port's stamped trace) and to the wait's return; with
//       "high", the waiting thread at time-critical priority
//   pulse_timing.exe time [high]     the same for ordinal 19, and its time's
//       error against the stamps
//   pulse_timing.exe sleeps          the lateness of the wait's sleep
//   pulse_timing.exe ppdev-time FILE the time of an input on the fake ppdev
//       device, FILE its status file (bench/win32/inputs.sh)
//   pulse_timing.exe wait10, time10  the process's CPU time of a 10 s call
//
// Prints microseconds; not a test: the figures depend on the machine.
#include <windows.h>

#include "standins/inpout32/sim_port.h"

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
using TraceGet = int(__cdecl*)(unsigned long, SimPortAccess*);
using SetLines = void(__cdecl*)(unsigned short, unsigned char);

void PrintSpread(const char* what, std::vector<double> values)
{
    if (values.empty()) return;
    std::sort(values.begin(), values.end());
    std::printf("%-52s %3zu: median %7.1f us, p99 %7.1f us, max %7.1f us\n", what, values.size(),
                values[values.size() / 2], values[values.size() * 99 / 100], values.back());
}

// The simulated port's exports the benchmark reads its stamps from.
struct SimulatedPort {
    SetLines setInputLines;
    TraceCount traceCount;
    TraceGet traceGet;
    unsigned long capacity;
};

// Sleeps until about `delayUs` after it started, then raises pin 10 and
// reads the counter: the change's moment. It never spins, so the code it
// measures has the machine's cores to itself.
struct InputRaiser {
    SetLines setInputLines;
    int delayUs;
    LONGLONG before;  // the counter just before the change
    LONGLONG raised;  // and just after: the change's moment
};

DWORD WINAPI RaiseAfterSleep(void* pointer)
{
    InputRaiser& raiser = *static_cast<InputRaiser*>(pointer);
    Sleep(static_cast<DWORD>(1 + raiser.delayUs / 1000));
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    raiser.before = now.QuadPart;
    raiser.setInputLines(0x378, 0x40);
    QueryPerformanceCounter(&now);
    raiser.raised = now.QuadPart;
    return 0;
}

// The stamps of the call's reads of the status register after access
// `start`: the first read (0 when the trace no longer keeps it) and the
// first that shows pin 10 high (0 when there is none).
struct ReadStamps {
    LONGLONG first = 0;
    LONGLONG before = 0;  // the read before the one that saw it
    LONGLONG seen = 0;
};

ReadStamps StampsSince(const SimulatedPort& port, unsigned long start)
{
    ReadStamps stamps;
    const unsigned long end = port.traceCount();
    const unsigned long kept = end - start > port.capacity ? end - port.capacity : start;
    for (unsigned long sequence = kept; sequence < end; ++sequence) {
        SimPortAccess access{};
        if (!port.traceGet(sequence, &access) || access.isWrite || access.address != 0x379)
            continue;
        if (sequence == start) stamps.first = access.counter;
        if ((access.value & 0x40) != 0) {
            stamps.seen = access.counter;
            break;
        }
        stamps.before = access.counter;
    }
    return stamps;
}

SimulatedPort FindSimulatedPort()
{
    const HMODULE port = GetModuleHandleA("INPOUT32.dll");
    return {Find<SetLines>(port, "SimSetInputLines"), Find<TraceCount>(port, "SimTraceCount"),
            Find<TraceGet>(port, "SimTraceGet"),
            Find<TraceCount>(port, "SimTraceCapacity") != nullptr
                ? Find<TraceCount>(port, "SimTraceCapacity")()
                : 0};
}

// 300 calls of `name` (the wait, ordinal 14, or the time, ordinal 19) on pin
// 10, another thread raising it 1 to 6 ms after each call began (a sleep of
// a whole number of milliseconds, at no fixed phase of the wait's reads); with
// "high", the calling thread at the highest priority. From the simulated
// port's stamps: the change to the read that saw it, and to the call's
// return (its log line included), and that read to the return; for the time, its error against the
// stamps (the time returned minus the time from the call's first read to
// the read that saw the change).
int Reactions(HMODULE library, const char* name, bool high)
{
    const auto call = Find<Int3>(library, name);
    const SimulatedPort port = FindSimulatedPort();
    if (call == nullptr || port.setInputLines == nullptr || port.traceGet == nullptr) return 1;
    if (high) SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const auto us = [&](LONGLONG ticks) {
        return static_cast<double>(ticks) * 1e6 / static_cast<double>(frequency.QuadPart);
    };
    const bool timed = std::strcmp(name, "fnOrvane_timeParallelInputPin") == 0;
    std::vector<double> seenUs, returnedUs, seenToReturnUs, errorUs, gapUs, changeErrorUs;
    int unsure = 0;
    int firstLost = 0;
    unsigned seed = 7;
    for (int round = 0; round < 300; ++round) {
        seed = seed * 1103515245u + 12345u;
        port.setInputLines(0x378, 0x00);
        InputRaiser raiser{port.setInputLines, static_cast<int>((seed >> 8) % 5001), 0, 0};
        const unsigned long start = port.traceCount();
        const HANDLE thread = CreateThread(nullptr, 0, &RaiseAfterSleep, &raiser, 0, nullptr);
        const int result = call(10, 1, 60000);
        LARGE_INTEGER returned;
        QueryPerformanceCounter(&returned);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        if (result < 0 || (!timed && result != 1)) return 1;
        const ReadStamps stamps = StampsSince(port, start);
        if (stamps.seen == 0) return 1;
        // A raiser preempted between the change and its counter read.
        if (us(raiser.raised - raiser.before) > 20) ++unsure;
        seenUs.push_back(us(stamps.seen - raiser.raised));
        returnedUs.push_back(us(returned.QuadPart - raiser.raised));
        seenToReturnUs.push_back(us(returned.QuadPart - stamps.seen));
        if (timed && stamps.first == 0) ++firstLost;
        if (stamps.before != 0) gapUs.push_back(us(stamps.seen - stamps.before));
        if (timed && stamps.first != 0) {
            errorUs.push_back(result - us(stamps.seen - stamps.first));
            changeErrorUs.push_back(result - us(raiser.raised - stamps.first));
        }
    }
    std::printf("%s%s, 300 calls, pin 10 raised 1 to 6 ms after each began:\n", name,
                high ? " (time-critical thread)" : "");
    PrintSpread("  change to the read that saw it (stamps)", seenUs);
    PrintSpread("  change to the return (log line included)", returnedUs);
    PrintSpread("  the seeing read to the return (stamps)", seenToReturnUs);
    PrintSpread("  the reads' gap around the change (stamps)", gapUs);
    PrintSpread("  time returned - the seeing read's time by stamps", errorUs);
    PrintSpread("  time returned - the change's time by stamps", changeErrorUs);
    std::printf("  (%d changes with over 20 us between the counter's reads around them%s)\n",
                unsure, firstLost > 0 ? "; some first reads out of the trace" : "");
    return 0;
}

// Writes `text` to the fake ppdev device's status file.
bool WriteStatus(const char* file, const char* text)
{
    const HANDLE handle =
        CreateFileA(file, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool done =
        WriteFile(handle, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr) != 0;
    CloseHandle(handle);
    return done;
}

// On the fake ppdev device: 300 times, pin 10 low, the device asked to raise
// it 1 to 6 ms later by its own clock, and ordinal 19 called; prints each
// time returned, which bench/win32/inputs.sh sets against the device's
// stamps of the call's reads.
int PpdevTimes(HMODULE library, const char* statusFile)
{
    const auto call = Find<Int3>(library, "fnOrvane_timeParallelInputPin");
    if (call == nullptr) return 1;
    unsigned seed = 7;
    for (int round = 0; round < 300; ++round) {
        seed = seed * 1103515245u + 12345u;
        char later[32];
        std::snprintf(later, sizeof later, "40 +%u", 1000 + (seed >> 8) % 5001);
        if (!WriteStatus(statusFile, "00") || !WriteStatus(statusFile, later)) return 1;
        std::printf("time %d\n", call(10, 1, 60000));
    }
    return 0;
}

// How late the wait's sleep between reads ends under Wine (NtDelayExecution,
// 0.5 ms in the process), 2000 sleeps: the wait's tail when the change comes
// while it sleeps.
int SleepLateness()
{
    using Delay = LONG(WINAPI*)(BOOLEAN, const LARGE_INTEGER*);
    const auto delay = Find<Delay>(GetModuleHandleA("ntdll.dll"), "NtDelayExecution");
    if (delay == nullptr) return 1;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> lateUs;
    for (int round = 0; round < 2000; ++round) {
        LARGE_INTEGER before, after, interval;
        interval.QuadPart = -5000;  // 0.5 ms
        QueryPerformanceCounter(&before);
        delay(FALSE, &interval);
        QueryPerformanceCounter(&after);
        lateUs.push_back(static_cast<double>(after.QuadPart - before.QuadPart) * 1e6 /
                             static_cast<double>(frequency.QuadPart) -
                         500);
    }
    PrintSpread("lateness of a 0.5 ms sleep in the process", lateUs);
    return 0;
}

// The CPU of one call of 10 s that times out (the script adds Wine's
// server's): the wait, or with "time" ordinal 19.
int LongCall(HMODULE library, bool timed)
{
    const auto call = Find<Int3>(
        library, timed ? "fnOrvane_timeParallelInputPin" : "fnOrvane_waitParallelInputPin");
    const double before = CpuUs();
    call(12, 1, 10000);  // pin 12 stays low on the simulated port
    std::printf("CPU of a 10 s %s that times out: %.0f ms\n", timed ? "time" : "wait",
                (CpuUs() - before) / 1000);
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
    const bool high = argc > 2 && std::strcmp(argv[2], "high") == 0;
    if (mode == "wait") result = Reactions(library, "fnOrvane_waitParallelInputPin", high);
    if (mode == "time") result = Reactions(library, "fnOrvane_timeParallelInputPin", high);
    if (mode == "sleeps") result = SleepLateness();
    if (mode == "ppdev-time" && argc > 2) result = PpdevTimes(library, argv[2]);
    if (mode == "wait10") result = LongCall(library, false);
    if (mode == "time10") result = LongCall(library, true);
    FreeLibrary(library);
    return result;
}
