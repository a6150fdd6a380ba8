// The port controller called from several threads at once, as the exports
// are: pins of one register changed by different threads never lose a
// change, and the output buffers and the input snapshot are never seen
// half-written. The test command runs this program twice: with
// AddressSanitizer and UndefinedBehaviorSanitizer (build/native) and with
// ThreadSanitizer (build/tsan), which also reports any unguarded access to
// the controller's fields or the port.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core_fixture.h"
#include "port/deadline.h"

namespace {

void RunThreads(int count, const std::function<void(int)>& body)
{
    std::vector<std::thread> threads;
    for (int index = 0; index < count; ++index) threads.emplace_back(body, index);
    for (std::thread& thread : threads) thread.join();
}

// One thread per settable pin of both writable registers: every control
// register pin and four data pins. Each toggles its pin and ends at the level
// given here; the registers start with every pin at the other level.
struct PinJob {
    int pin;
    int finalLevel;
};
const PinJob kPinJobs[] = {
    {1, 0}, {14, 1}, {16, 0}, {17, 1},  // control: 1, 14 and 17 inverted
    {2, 1}, {3, 0},  {4, 1},  {5, 0},   // data
};
constexpr int kJobs = static_cast<int>(sizeof kPinJobs / sizeof kPinJobs[0]);

// Bits 4 to 7 of the control register and 6, 7 of the data register belong
// to no thread and must stay set.
constexpr std::uint16_t kDataBefore = 0xCA;     // pins 3 and 5 high, 2 and 4 low
constexpr std::uint16_t kControlBefore = 0xFE;  // pin 1 high; 14, 17 low; 16 high
constexpr std::uint16_t kDataAfter = 0xC5;      // pins 2 and 4 high, 3 and 5 low
constexpr std::uint16_t kControlAfter = 0xF1;   // pin 1 low; 14, 17 high; 16 low

int LevelOfRound(const PinJob& job, int round, int rounds)
{
    return round == rounds - 1 ? job.finalLevel : round & 1;
}

class ControllerThreadsTest : public CoreTest {};

TEST_F(ControllerThreadsTest, ImmediatePinChangesFromSeveralThreadsAreNeverLost)
{
    UsePort(0x378);
    fakes::Port().registers[0x378] = kDataBefore;
    fakes::Port().registers[0x37A] = kControlBefore;
    constexpr int kRounds = 300;
    std::atomic<int> refused{0};
    RunThreads(kJobs, [&](int index) {
        for (int round = 0; round < kRounds; ++round) {
            const PinJob& job = kPinJobs[index];
            if (controller.SetPinOutput(job.pin, LevelOfRound(job, round, kRounds)) != 0) {
                ++refused;
            }
        }
    });
    EXPECT_EQ(refused.load(), 0);
    EXPECT_EQ(fakes::Port().registers[0x378], kDataAfter);
    EXPECT_EQ(fakes::Port().registers[0x37A], kControlAfter);

    // Every call logged one whole line.
    const std::regex kLine(
        R"(12/03/2024 09:05:07\.042 SetPinOutput\((1|14|16|17|[2-5]), [01]\) Port=378)");
    std::istringstream log(LogFile());
    std::string line;
    int lines = 0;
    while (std::getline(log, line)) {
        ++lines;
        EXPECT_TRUE(std::regex_match(line, kLine)) << line;
    }
    EXPECT_EQ(lines, kJobs * kRounds);
    EXPECT_EQ(Debugger().size(), static_cast<std::size_t>(kJobs * kRounds));
}

TEST_F(ControllerThreadsTest, BufferedPinChangesFromSeveralThreadsAreNeverLost)
{
    UsePort(0x378);
    fakes::Port().registers[0x378] = kDataBefore;
    fakes::Port().registers[0x37A] = kControlBefore;
    ASSERT_EQ(controller.PrepareOutputBuffer(), 0);
    constexpr int kRounds = 5000;
    std::atomic<int> refused{0};
    RunThreads(kJobs, [&](int index) {
        for (int round = 0; round < kRounds; ++round) {
            const PinJob& job = kPinJobs[index];
            if (controller.PrepareOutputPin(job.pin, LevelOfRound(job, round, kRounds)) != 0) {
                ++refused;
            }
        }
    });
    EXPECT_EQ(refused.load(), 0);
    fakes::Port().trace.clear();
    ASSERT_EQ(controller.SetOutputAll(), 0);
    EXPECT_EQ(Trace(), "W 378=00C5 W 37A=00F1");
}

// The port hands out a new value at every data register read, and sets the
// control and status registers to the value just read: an output buffer
// loaded whole (data, then control) holds the same value twice, and so does
// a snapshot (data, then status). The port sees every access under the
// controller's guard: each read of the data register must be followed at
// once by the read of control or status, and each write of the data
// register by the write of control with the same value.
TEST_F(ControllerThreadsTest, BuffersAndSnapshotAreNeverSeenHalfWritten)
{
    UsePort(0x378);
    std::uint16_t nextValue = 1;
    const fakes::PortAccess* pending = nullptr;  // a data access awaiting its partner
    fakes::PortAccess pendingAccess{};
    int torn = 0;
    std::vector<std::string> tornExamples;
    fakes::Port().onAccess = [&](const fakes::PortAccess& access) {
        std::uint16_t* registers = fakes::Port().registers;
        bool partnered = false;
        if (pending != nullptr) {
            partnered = access.isWrite == pendingAccess.isWrite &&
                        access.value == pendingAccess.value &&
                        (access.address == 0x37A || (!access.isWrite && access.address == 0x379));
        }
        const bool lone = pending == nullptr && access.address != 0x378;
        if ((pending != nullptr && !partnered) || lone) {
            ++torn;
            if (tornExamples.size() < 5) {
                tornExamples.push_back(pending == nullptr
                                           ? fakes::Describe({access})
                                           : fakes::Describe({pendingAccess, access}));
            }
        }
        pending = nullptr;
        if (access.address == 0x378 && !partnered) {
            pendingAccess = access;
            pending = &pendingAccess;
            if (!access.isWrite) {
                registers[0x379] = access.value;
                registers[0x37A] = access.value;
            }
            registers[0x378] = nextValue;
            nextValue = static_cast<std::uint16_t>(nextValue % 255 + 1);
        }
    };
    fakes::LogSink().keepOutput = false;

    constexpr int kRounds = 20000;
    std::atomic<int> failedCalls{0};
    // Two threads of each kind: loading the buffers, writing them, and
    // reading the inputs into the snapshot.
    RunThreads(6, [&](int index) {
        for (int round = 0; round < kRounds; ++round) {
            int result = 0;
            switch (index % 3) {
            case 0: result = controller.PrepareOutputBuffer(); break;
            case 1: result = controller.SetOutputAll(); break;
            default: result = controller.GetInputAll(); break;
            }
            if (result != 0) ++failedCalls;
        }
    });
    EXPECT_EQ(failedCalls.load(), 0);
    EXPECT_EQ(torn, 0) << "a data access not followed at once by its partner, such as "
                       << (tornExamples.empty() ? "" : tornExamples.front());
    EXPECT_EQ(pending, nullptr) << "the last data access had no partner";
    // The hook saw every access: the port was really exercised.
    EXPECT_EQ(fakes::Port().trace.size(), static_cast<std::size_t>(2 * 6 * kRounds));
}

// Two threads choosing ports at once, a third setting a pin at whichever
// port is chosen. The view is told of each choice with the controller's
// guard held: no access happens while it is being told (it lingers a little
// to give one the chance), and every access goes to the port of the row it
// last heard of (row 1 is LPT1 at 378, row 0 the manual address 278).
TEST_F(ControllerThreadsTest, TheViewHearsOfChoicesInTheOrderTheyWereMade)
{
    UseTable({{"LPT2", 0x278}, {"LPT1", 0x378}});
    controller.ChooseRow(1);
    struct Watcher : PortView {
        void ShowPortList(int index) override { Hear(index); }
        void ShowAddressField(const char*) override { Hear(0); }
        void Hear(int row)
        {
            Telling(true, row);
            std::this_thread::sleep_for(std::chrono::microseconds(20));
            Telling(false, row);
        }
        void Telling(bool now, int row)
        {
            const std::lock_guard<std::mutex> lock(guard);
            telling = now;
            heardRow = row;
            if (now) ++heard;
        }
        std::mutex guard;
        bool telling = false;
        int heardRow = 1;
        int heard = 0;
        int stray = 0;
        std::string example;
    } view;
    fakes::Port().onAccess = [&view](const fakes::PortAccess& access) {
        const std::lock_guard<std::mutex> lock(view.guard);
        if (view.telling || access.address != (view.heardRow == 1 ? 0x378 : 0x278)) {
            if (view.stray++ == 0) {
                view.example = fakes::Describe({access}) + (view.telling ? " while" : " after") +
                               " the view heard of row " + std::to_string(view.heardRow);
            }
        }
    };
    fakes::LogSink().keepOutput = false;
    controller.SetView(&view);

    constexpr int kRounds = 500;
    std::atomic<bool> choosing{true};
    std::thread pins([&] {
        while (choosing) controller.SetPinOutput(2, 1);
    });
    RunThreads(2, [&](int index) {
        for (int round = 0; round < kRounds; ++round) {
            if (index == 0) {
                controller.SelectPortByNumber(1);
            } else {
                controller.SetManualAddress("2", "7", "8", "");
            }
        }
    });
    choosing = false;
    pins.join();
    controller.SetView(nullptr);
    EXPECT_EQ(view.heard, 2 * kRounds);
    EXPECT_EQ(view.stray, 0) << "for one, " << view.example;
    EXPECT_EQ(view.heardRow, controller.SelectedRow());
}

// The unload has ended the holds of a pulse on each settable pin, and each
// line then takes the log's whole line wait (a stopped holder of its lock):
// the restores are made at once and the lines wait side by side, so one line
// wait on the clock ends every call, not one a call.
TEST_F(ControllerThreadsTest, PulsesEndedByTheUnloadWaitForTheirLinesSideBySide)
{
    UsePort(0x378);
    fakes::Sleeps().fakeClock = true;
    fakes::Sleeps().stepNs = 0;
    fakes::Sleeps().ended = true;
    std::atomic<int> inAppend{0}, ended{0};
    std::atomic<bool> giveUp{false};
    fakes::LogSink().duringAppend = [&] {
        const Deadline line = Deadline::AfterMs(300);
        ++inAppend;
        while (!line.Passed() && !giveUp) std::this_thread::yield();
    };
    constexpr int kEnd = DORUZEDA_ENDED_BY_UNLOAD, kPin[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 14, 16, 17};
    RunThreads(13, [&](int index) {
        if (index < 12 && controller.PulseOutputPin(kPin[index], 1, 10000000) == kEnd) ++ended;
        if (index < 12) return;
        // Only a failure waits this long: the lines then come one at a time.
        const auto failure = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (inAppend < 12 && std::chrono::steady_clock::now() < failure) {
        }
        giveUp = inAppend < 12;
        fakes::Sleeps().nowNs += 300000000;  // one line wait
    });
    EXPECT_FALSE(giveUp) << "lines written one after another";
    EXPECT_EQ(ended, 12);
    EXPECT_EQ(fakes::Port().registers[0x378] + fakes::Port().registers[0x37A], 0);
}

}  // namespace
