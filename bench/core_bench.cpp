// What each controller operation costs with a port that costs nothing, and
// what the debug log adds to the immediate operations, how fast a wait sees
// a change, and what a byte write costs.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <string>
#include <vector>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "log/debug_log.h"
#include "record/vcd_recorder.h"
#include "log/log_sink.h"
#include "port/port_controller.h"
#include "tests/fakes/controller_setup.h"
#include "tests/fakes/fakes.h"

namespace {

using Clock = std::chrono::steady_clock;

// A fresh, quiet fake port (no trace, no recorded debugger output, no hook)
// with LPT1 at 378 listed and selected.
void SelectPort(PortController& controller)
{
    fakes::ResetPort();
    fakes::Port().keepTrace = false;
    fakes::LogSink().keepOutput = false;
    {
        // Discovery logs the port it lists: that line goes to a scratch folder.
        const fakes::ScratchDirectory quiet;
        fakes::Discover(controller, {{"LPT1", 0x378}});
    }
    controller.ChooseRow(0);
}

// The log-writing benchmarks run in a scratch directory, so that
// "RurSetupDebug.txt" does not grow in the caller's folder.
using ScratchFolder = fakes::ScratchDirectory;

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

// Beyond the ten: how fast a wait sees a change that another thread makes,
// and what one byte write costs against the buffered path's eight pins.

// One wait after another on pin 2; another thread raises the pin through the
// controller after 0 to 5 ms, so most changes come while the wait sleeps
// between reads. The reaction time runs from the port write that raises the
// line to the wait's return. Reports the median and the 99th percentile.
void BM_WaitReactionToAnotherThread(benchmark::State& state)
{
    ScratchFolder scratch;
    PortController controller;
    SelectPort(controller);
    std::atomic<std::int64_t> raisedAt{0};
    fakes::Port().onAccess = [&](const fakes::PortAccess& access) {
        if (access.isWrite) raisedAt = Clock::now().time_since_epoch().count();
    };
    std::mt19937 random(7);
    std::vector<double> microseconds;
    for (auto _ : state) {
        controller.SetDataByte(0);
        const int delayUs = std::uniform_int_distribution<int>(0, 5000)(random);
        std::thread raiser([&] {
            std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
            controller.SetDataByte(1);
        });
        const int reached = controller.WaitInputPin(2, 1, 60000);
        const std::int64_t returnedAt = Clock::now().time_since_epoch().count();
        raiser.join();
        if (reached != 1) state.SkipWithError("the wait did not see the change");
        microseconds.push_back(static_cast<double>(returnedAt - raisedAt.load()) / 1000.0);
    }
    fakes::Port().onAccess = nullptr;
    std::sort(microseconds.begin(), microseconds.end());
    state.counters["median_us"] = microseconds[microseconds.size() / 2];
    state.counters["p99_us"] = microseconds[microseconds.size() * 99 / 100];
}
BENCHMARK(BM_WaitReactionToAnotherThread)->Iterations(300)->Unit(benchmark::kMillisecond);

// Eight data pins in one logged call; compare BM_BufferedPatternEightPins.
void BM_DataByteWrite(benchmark::State& state)
{
    ScratchFolder scratch;
    PortController controller;
    SelectPort(controller);
    int value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(controller.SetDataByte(value));
        value = (value + 1) & 0xFF;
    }
}
BENCHMARK(BM_DataByteWrite);

// Recording: the buffered path (two writes a call) with a recording under
// way, every write changing pins (the dearest case: a clock reading and
// lines of text each), over the real clock. The recording takes a lock as
// the library's does (one atomic exchange and one store), and the text is
// taken away as the library's writer does, without writing it anywhere.
// Compare with BM_SetOutputAllChanging, where nothing records: the cost of a
// recorded access is half the difference.
class BenchRecording : public PortRecording {
public:
    BenchRecording()
    {
        const std::uint16_t base = 0x378;
        recorder.Start(&base, 1, &Now);
        recorder.Levels({0x378, 0x00, 0x78, 0x04}, &Now);
    }
    bool Open(const std::uint16_t*, int) override { return true; }
    void Begin() override {}
    void Before(std::uint16_t) override {}
    void Seen(std::uint16_t address, std::uint8_t value, bool isWrite) override
    {
        while (locked.exchange(true, std::memory_order_acquire)) {
        }
        recorder.Access(address, value, isWrite, &Now);
        if (recorder.Pending() >= 256 * 1024) {
            recorder.TakeText(taken, &Now);
            taken.Clear();
        }
        locked.store(false, std::memory_order_release);
    }
    static std::uint64_t Now()
    {
        return static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
                .count());
    }

private:
    std::atomic<bool> locked{false};
    VcdRecorder recorder;
    VcdText taken;
};

// The buffered path with two pins changing at every call, fed to `recording`
// (none: the recording off).
void SetOutputAllChanging(benchmark::State& state, BenchRecording* recording)
{
    PortController controller;
    SelectPort(controller);
    if (recording != nullptr) controller.StartRecording(*recording);
    int level = 0;
    for (auto _ : state) {
        controller.PrepareOutputPin(2, level ^= 1);
        controller.PrepareOutputPin(1, level);
        benchmark::DoNotOptimize(controller.SetOutputAll());
    }
    if (recording != nullptr) controller.EndRecording(*recording);
}

void BM_SetOutputAllRecording(benchmark::State& state)
{
    BenchRecording recording;
    SetOutputAllChanging(state, &recording);
}
BENCHMARK(BM_SetOutputAllRecording);

// The same calls with nothing recording: the baseline of the one above.
void BM_SetOutputAllChanging(benchmark::State& state)
{
    SetOutputAllChanging(state, nullptr);
}
BENCHMARK(BM_SetOutputAllChanging);

}  // namespace

BENCHMARK_MAIN();
