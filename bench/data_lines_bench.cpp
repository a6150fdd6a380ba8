// Beyond the ten: how fast a wait sees a change that another thread makes,
// and what one byte write costs against the buffered path's eight pins.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>
#include <vector>

#include "port/port_controller.h"
#include "tests/native/fakes.h"

namespace {

using Clock = std::chrono::steady_clock;

void UseQuietPort(PortController& controller)
{
    fakes::ResetPort();
    fakes::Port().keepTrace = false;
    fakes::LogSink().keepOutput = false;
    controller.portTable[0].baseAddress = 0x378;
    controller.portCount = 1;
    controller.selectedIndex = 0;
}

// The log file of the calls that log goes to a scratch folder.
struct ScratchFolder {
    ScratchFolder() : previous(std::filesystem::current_path())
    {
        folder = std::filesystem::temp_directory_path() / "doruzeda-bench-data-lines";
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
    }
    ~ScratchFolder()
    {
        std::filesystem::current_path(previous);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::filesystem::path previous;
    std::filesystem::path folder;
};

// One wait after another on pin 2; another thread raises the pin through the
// controller after 0 to 5 ms, so most changes come while the wait sleeps
// between reads. The reaction time runs from the port write that raises the
// line to the wait's return. Reports the median and the 99th percentile.
void BM_WaitReactionToAnotherThread(benchmark::State& state)
{
    ScratchFolder scratch;
    PortController controller;
    UseQuietPort(controller);
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
    UseQuietPort(controller);
    int value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(controller.SetDataByte(value));
        value = (value + 1) & 0xFF;
    }
}
BENCHMARK(BM_DataByteWrite);

}  // namespace
