// Beyond the ten: the data direction, whole bytes and waiting for an input,
// against the fake port: register values, the log, refusals.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core_fixture.h"
#include "port/wait_sleep.h"

namespace {

class DataLinesTest : public CoreTest {};

TEST_F(DataLinesTest, DirectionChangesBitFiveAndWritesTheWholeValueBack)
{
    UsePort(0x378);
    fakes::Port().registers[0x37A] = 0x0C;
    fakes::Port().readHighByte = 0xAB;
    EXPECT_EQ(controller.SetDataDirection(7), 0);
    EXPECT_EQ(controller.SetDataDirection(0), 0);
    EXPECT_EQ(Trace(), "R 37A=AB0C W 37A=AB2C R 37A=AB2C W 37A=AB0C");
    EXPECT_EQ(LogFile(),
              FileLine("SetDataDirection(7) Port=378") + FileLine("SetDataDirection(0) Port=378"));
}

TEST_F(DataLinesTest, BytesAreWrittenAndReadInOneAccessEach)
{
    UsePort(0x278);
    fakes::Port().readHighByte = 0x12;
    EXPECT_EQ(controller.SetDataByte(0xA5), 0);
    EXPECT_EQ(controller.GetDataByte(), 0xA5) << "the high byte is no port data";
    EXPECT_EQ(controller.SetDataByte(0), 0);
    EXPECT_EQ(controller.SetDataByte(255), 0);
    EXPECT_EQ(Trace(), "W 278=00A5 R 278=12A5 W 278=0000 W 278=00FF");
    EXPECT_EQ(LogFile(),
              FileLine("SetDataByte(165) Port=278") + FileLine("GetDataByte() Port=278") +
                  FileLine("SetDataByte(0) Port=278") + FileLine("SetDataByte(255) Port=278"));
}

// The selection is tested first; a refused call touches neither port nor log.
TEST_F(DataLinesTest, RefusedCallsTouchNothing)
{
    const std::vector<std::pair<const char*, std::function<int()>>> needPort = {
        {"SetDataDirection(1)", [&] { return controller.SetDataDirection(1); }},
        {"SetDataByte(1)", [&] { return controller.SetDataByte(1); }},
        {"SetDataByte(256)", [&] { return controller.SetDataByte(256); }},
        {"GetDataByte()", [&] { return controller.GetDataByte(); }},
        {"WaitInputPin(10, 1, 0)", [&] { return controller.WaitInputPin(10, 1, 0); }},
        {"WaitInputPin(1, 1, -5)", [&] { return controller.WaitInputPin(1, 1, -5); }},
    };
    for (const std::uint16_t base :
         {std::uint16_t{0x378}, std::uint16_t{0}, std::uint16_t{0xFFFE}}) {
        UsePort(base);
        if (base == 0x378) controller.ChooseRow(-1);
        for (const auto& [what, call] : needPort) EXPECT_EQ(call(), -1) << what << " base " << base;
    }

    UsePort(0x378);
    const int badBytes[] = {-1, 256, INT_MIN, INT_MAX};
    for (int value : badBytes) EXPECT_EQ(controller.SetDataByte(value), -2) << value;
    const int unreadable[] = {1, 14, 16, 17, 18, 0, -1, INT_MAX};
    for (int pin : unreadable) EXPECT_EQ(controller.WaitInputPin(pin, 1, 10), -2) << pin;
    const int badTimeouts[] = {-1, 60001, INT_MIN, INT_MAX};
    for (int timeout : badTimeouts)
        EXPECT_EQ(controller.WaitInputPin(10, 1, timeout), -2) << timeout;

    EXPECT_EQ(Trace(), "");
    EXPECT_TRUE(Debugger().empty());
    EXPECT_EQ(LogFile(), "");
}

TEST_F(DataLinesTest, WaitEndsWhenTheInputChanges)
{
    UsePort(0x378);
    // Pin 11 is inverted: it reads low while status bit 7 is set. The line
    // goes low after the 150th read, past the first burst of fast reads, and
    // the next read ends the wait.
    fakes::Port().registers[0x379] = 0x00;
    int reads = 0;
    fakes::Port().onAccess = [&](const fakes::PortAccess&) {
        if (++reads == 150) fakes::Port().registers[0x379] = 0x80;
    };
    EXPECT_EQ(controller.WaitInputPin(11, 0, 60000), 1);
    EXPECT_EQ(reads, 151);
    EXPECT_EQ(LogFile(), FileLine("WaitInputPin(11, 0, 60000) Port=378 Result=1"));
    ASSERT_EQ(Debugger().size(), 1u);
}

TEST_F(DataLinesTest, WaitTimesOutAndAZeroTimeoutReadsOnce)
{
    UsePort(0x378);
    fakes::Port().registers[0x378] = 0x01;  // pin 2 high
    EXPECT_EQ(controller.WaitInputPin(2, 0, 30), 0);
    const std::size_t readsIn30ms = fakes::Port().trace.size();
    EXPECT_GT(readsIn30ms, 1u);
    fakes::Port().trace.clear();
    EXPECT_EQ(controller.WaitInputPin(2, 0, 0), 0);
    EXPECT_EQ(controller.WaitInputPin(2, 1, 0), 1);
    EXPECT_EQ(Trace(), "R 378=0001 R 378=0001");
    EXPECT_EQ(LogFile(), FileLine("WaitInputPin(2, 0, 30) Port=378 Result=0") +
                             FileLine("WaitInputPin(2, 0, 0) Port=378 Result=0") +
                             FileLine("WaitInputPin(2, 1, 0) Port=378 Result=1"));
}

// Another thread's call runs between the wait's reads: the guard is not held
// while the wait sleeps.
TEST_F(DataLinesTest, OtherCallsRunWhileAWaitIsUnderWay)
{
    UsePort(0x378);
    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    fakes::Port().onAccess = [&](const fakes::PortAccess&) { ++reads; };
    std::thread other([&] {
        // Sets pin 2 through the controller once the wait sleeps between
        // reads; the wait sees it.
        while (reads < 200) std::this_thread::yield();
        EXPECT_EQ(controller.SetDataByte(0x01), 0);
        done = true;
    });
    EXPECT_EQ(controller.WaitInputPin(2, 1, 5000), 1);
    other.join();
    EXPECT_TRUE(done);
}

// The unload ends a wait that sleeps between reads: it returns 0 with its
// one log line long before its minute is up, and a wait begun after that
// gives up after its fast reads instead of sleeping.
TEST_F(DataLinesTest, EndingTheWaitsEndsOneUnderWayAndEveryLaterOne)
{
    UsePort(0x378);  // pin 2 low, and it stays low
    std::thread unload([] {
        while (fakes::Sleeps().sleeps < 3) std::this_thread::yield();
        WaitSleeper::EndAllWaits();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(controller.WaitInputPin(2, 1, 60000), 0);
    const auto waited = std::chrono::steady_clock::now() - start;
    unload.join();
    EXPECT_LT(waited, std::chrono::seconds(30)) << "it waited for its time to run out";

    fakes::Port().trace.clear();
    EXPECT_EQ(controller.WaitInputPin(2, 1, 60000), 0);
    EXPECT_EQ(fakes::Port().trace.size(), 100u) << "the fast reads, then no sleep";
    EXPECT_EQ(LogFile(), FileLine("WaitInputPin(2, 1, 60000) Port=378 Result=0") +
                             FileLine("WaitInputPin(2, 1, 60000) Port=378 Result=0"));
}

// The time is the fake clock's once the read that saw the level returned,
// counted from the first read's return: reads of 1 us; pin 10 rises after
// the third, and the fourth, which sees it, loses its core for 20 us before
// it returns. No sleep. Then no time and no level from reads that did not
// reach the port (which give FF: pin 10 high).
TEST_F(DataLinesTest, ATimeIsTheClocksOnceItsReadReturnedAndNoneComesFromAReadNotMade)
{
    UsePort(0x378);
    fakes::FakeSleeps& clock = fakes::Sleeps();
    clock.fakeClock = true;
    clock.stepNs = 0;
    int reads = 0;
    fakes::Port().onAccess = [&](const fakes::PortAccess&) {
        clock.nowNs += ++reads == 4 ? 21000 : 1000;
        if (reads == 3) fakes::Port().registers[0x379] = 0x40;  // pin 10 high from read 4
    };
    EXPECT_EQ(controller.TimeInputPin(10, 1, 5000), 23);
    EXPECT_EQ(Trace(), "R 379=0000 R 379=0000 R 379=0000 R 379=0040");
    EXPECT_EQ(clock.sleeps, 0);
    EXPECT_EQ(LogFile(), FileLine("TimeInputPin(10, 1, 5000) Port=378 Time=23"));
    fakes::Port().reachingAccesses = 2;
    EXPECT_EQ(controller.TimeInputPin(10, 0, 5000), -8);  // at its third read
    EXPECT_EQ(controller.WaitInputPin(10, 1, 5000), -8);
    EXPECT_EQ(Debugger().back(),
              "WaitInputPin(10, 1, 5000) Port=378 not reached: the port did "
              "not answer a read of the pin");
}

}  // namespace
