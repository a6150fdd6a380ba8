// What each controller operation costs with a port that costs nothing, and
// what the debug log adds to the immediate operations.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "log/debug_log.h"
#include "log/log_sink.h"
#include "port/port_controller.h"
#include "tests/native/fakes.h"

namespace {

void SelectPort(PortController& controller)
{
    fakes::Port().keepTrace = false;
    fakes::LogSink().keepOutput = false;
    controller.portTable[0].baseAddress = 0x378;
    controller.portCount = 1;
    controller.selectedIndex = 0;
}

// Runs the log-writing benchmarks in a scratch directory, so that
// "RurSetupDebug.txt" does not grow in the caller's folder.
class ScratchFolder {
public:
    ScratchFolder()
    {
        previous = std::filesystem::current_path();
        folder = std::filesystem::temp_directory_path() / "doruzeda-bench";
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
    }
    ~ScratchFolder()
    {
        std::filesystem::current_path(previous);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

private:
    std::filesystem::path previous;
    std::filesystem::path folder;
};

void BM_PrepareOutputBuffer(benchmark::State& state)
{
    PortController controller;
    SelectPort(controller);
    for (auto _ : state) benchmark::DoNotOptimize(controller.PrepareOutputBuffer());
}
BENCHMARK(BM_PrepareOutputBuffer);

void BM_PrepareOutputPin(benchmark::State& state)
{
    PortController controller;
    SelectPort(controller);
    int pin = 2;
    for (auto _ : state) {
        benchmark::DoNotOptimize(controller.PrepareOutputPin(pin, pin & 1));
        pin = pin == 9 ? 2 : pin + 1;
    }
}
BENCHMARK(BM_PrepareOutputPin);

void BM_SetOutputAll(benchmark::State& state)
{
    PortController controller;
    SelectPort(controller);
    for (auto _ : state) benchmark::DoNotOptimize(controller.SetOutputAll());
}
BENCHMARK(BM_SetOutputAll);

void BM_GetInputAll(benchmark::State& state)
{
    PortController controller;
    SelectPort(controller);
    for (auto _ : state) benchmark::DoNotOptimize(controller.GetInputAll());
}
BENCHMARK(BM_GetInputAll);

void BM_FetchInputPin(benchmark::State& state)
{
    PortController controller;
    SelectPort(controller);
    int pin = 2;
    for (auto _ : state) {
        benchmark::DoNotOptimize(controller.FetchInputPin(pin));
        pin = pin == 15 ? 2 : pin + 1;
    }
}
BENCHMARK(BM_FetchInputPin);

// The whole buffered pattern: load, change eight pins, write once.
void BM_BufferedPatternEightPins(benchmark::State& state)
{
    PortController controller;
    SelectPort(controller);
    for (auto _ : state) {
        controller.PrepareOutputBuffer();
        for (int pin = 2; pin <= 9; ++pin) controller.PrepareOutputPin(pin, pin & 1);
        benchmark::DoNotOptimize(controller.SetOutputAll());
    }
}
BENCHMARK(BM_BufferedPatternEightPins);

void BM_RefusedSetPinOutput(benchmark::State& state)
{
    PortController controller;
    SelectPort(controller);
    for (auto _ : state) benchmark::DoNotOptimize(controller.SetPinOutput(25, 1));
}
BENCHMARK(BM_RefusedSetPinOutput);

// The immediate operation, log line included (open, append, close each call).
void BM_SetPinOutputLogged(benchmark::State& state)
{
    ScratchFolder scratch;
    PortController controller;
    SelectPort(controller);
    for (auto _ : state) benchmark::DoNotOptimize(controller.SetPinOutput(2, 1));
}
BENCHMARK(BM_SetPinOutputLogged);

// The floor of a logged call: what the debug log cannot avoid, the debugger
// output of the message and the append of its line, done by hand.
void BM_LogLineFloor(benchmark::State& state)
{
    ScratchFolder scratch;
    fakes::LogSink().keepOutput = false;
    const char message[] = "SetPinOutput(2, 1) Port=378";
    const char line[] = "12/03/2024 09:05:07.042 SetPinOutput(2, 1) Port=378\n";
    for (auto _ : state) {
        log_sink::WriteDebuggerOutput(message);
        benchmark::DoNotOptimize(log_sink::AppendTextLine("RurSetupDebug.txt", line));
    }
}
BENCHMARK(BM_LogLineFloor);

}  // namespace

BENCHMARK_MAIN();
