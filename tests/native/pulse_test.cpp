// Pulses against the fake port and the fake clock: what comes back after a
// pulse, where its log line falls, how long it holds, what it refuses.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "core_fixture.h"
#include "tests/shared/pin_table.h"

namespace {

class PulseTest : public CoreTest {
protected:
    PulseTest() { fakes::Sleeps().fakeClock = true; }
    static std::string Accesses() { return test_shared::DescribeAccesses(fakes::Port().trace, 2); }
};

// Every settable pin, to each level from the other: the first write is the
// table's, the second gives the register back its value from before.
TEST_F(PulseTest, EveryPinAtBothLevelsComesBackAsItWas)
{
    for (const pin_table::PinAtPort& row : pin_table::kPins) {
        if (row.call != pin_table::Call::Set) continue;
        for (const int level : {row.level, row.level == 0 ? 0 : (row.pin % 2 == 0 ? 2 : -1)}) {
            UsePort(0x378);
            const std::string set(row.accesses);  // "R 37A=DF W 37A=DE"
            const bool dataPin = set[4] == '8';   // the data lines as outputs: control 00
            fakes::Port().registers[0x378] = row.before;
            fakes::Port().registers[0x37A] = dataPin ? 0 : row.before;
            ASSERT_EQ(controller.PulseOutputPin(row.pin, level, 40), 0) << row.accesses;
            EXPECT_EQ(Accesses(), (dataPin ? "R 37A=00 " : "") + set + " R " + set.substr(11, 6) +
                                      " W " + set.substr(2, 6))
                << "pin " << row.pin << " level " << level;
        }
    }
}

// The timer fires 0.7 ms late at every sleep: the clock, not the sleeps, ends
// each pulse (the width logged is the clock's between the writes), and most
// of it is slept rather than watched. The line follows the second write; a
// byte comes back whole, its high byte too.
TEST_F(PulseTest, EachEndsWhenTheClockSaysWithALateTimerAndThenLogs)
{
    UsePort(0x278);
    fakes::Port().registers[0x278] = 0x5A;
    fakes::Port().readHighByte = 0xAB;
    fakes::Sleeps().lateNs = 700000;
    fakes::Sleeps().nowNs = 1000000000;
    std::vector<std::string> logAtWrites;
    fakes::Port().onAccess = [&](const fakes::PortAccess& access) {
        if (access.isWrite) logAtWrites.push_back(LogFile());
    };
    EXPECT_EQ(controller.PulseOutputPin(2, 1, 5000), 0);
    EXPECT_EQ(controller.PulseDataByte(200, 5000), 0);
    EXPECT_EQ(Trace(),
              "R 27A=AB00 R 278=AB5A W 278=AB5B R 278=AB5B W 278=AB5A R 27A=AB00 R 278=AB5A "
              "W 278=00C8 W 278=AB5A");
    const std::string pin = FileLine("PulseOutputPin(2, 1, 5000) Port=278 Width=5001");
    EXPECT_EQ(logAtWrites, (std::vector<std::string>{"", "", pin, pin})) << "a line in a pulse";
    EXPECT_EQ(LogFile(), pin + FileLine("PulseDataByte(200, 5000) Port=278 Width=5001"));
    std::int64_t slept = 0;
    for (const std::int64_t asked : fakes::Sleeps().sleepsAsked) slept += asked;
    EXPECT_GE(slept, 6000000) << "the pulses watched the clock instead of sleeping";
}

// What the core sleeps, from what the platform says of its sleeps: a timer
// said 3 ms late (Wine's, 1.2 ms late here) sleeps to 4 ms before the end,
// an exact sleep to the last millisecond, which is watched; without the fine
// timer (a tick late) a pulse under a tick and the watch is watched whole.
TEST_F(PulseTest, TheCoreSleepsWhatThePlatformSaysItsSleepsAllow)
{
    struct Row {
        std::int64_t saidLateNs, longestExactNs, lateNs;
        int microseconds;
        std::vector<std::int64_t> onTimer, exact;
        const char* line;
    } const rows[] = {
        {3000000, 3000000, 1200000, 10000, {5999000}, {1799000}, "Width=10001"},
        {16000000, 0, 0, 10000, {}, {}, "Width=10001"},
        {16000000, 0, 15600000, 30000, {12999000}, {}, "Width=30001"},
    };
    for (const Row& row : rows) {
        fakes::ResetSleeps();
        fakes::Sleeps().fakeClock = true;
        fakes::Sleeps().saidLateNs = row.saidLateNs;
        fakes::Sleeps().longestExactNs = row.longestExactNs;
        fakes::Sleeps().lateNs = row.lateNs;
        UsePort(0x378);
        EXPECT_EQ(controller.PulseOutputPin(1, 1, row.microseconds), 0);
        EXPECT_EQ(fakes::Sleeps().sleepsAsked, row.onTimer) << row.line;
        EXPECT_EQ(fakes::Sleeps().exactAsked, row.exact) << row.line;
        EXPECT_NE(LogFile().find(row.line), std::string::npos) << LogFile();
    }
}

// Another thread sets pin 16 while pin 14 is held high (real time): pin 14
// goes back low, pin 16 stays set.
TEST_F(PulseTest, APinChangedByAnotherThreadDuringThePulseKeepsItsChange)
{
    fakes::Sleeps().fakeClock = false;
    UsePort(0x378);
    fakes::Port().registers[0x37A] = 0x02;  // pin 14 low (inverted bit 1 set)
    std::atomic<int> writes{0};
    fakes::Port().onAccess = [&](const fakes::PortAccess& access) { writes += access.isWrite; };
    std::thread pulse([&] { EXPECT_EQ(controller.PulseOutputPin(14, 1, 300000), 0); });
    while (writes == 0) std::this_thread::yield();
    EXPECT_EQ(controller.SetPinOutput(16, 1), 0) << "the pulse held the guard";
    pulse.join();
    EXPECT_EQ(Trace(), "R 37A=0002 W 37A=0000 R 37A=0000 W 37A=0004 R 37A=0004 W 37A=0006");
}

// Pins, values and times out of range (-2 with a port, -1 without): no
// access, no line. A byte pulse is marked by pin -1.
TEST_F(PulseTest, RefusalsTouchNeitherPortNorLog)
{
    const int calls[][3] = {{10, 0, 100}, {0, 0, 100},      {18, 0, 100},   {1, 0, 0},
                            {1, 0, -1},   {1, 0, 10000001}, {-1, 256, 100}, {-1, -1, 100},
                            {-1, 5, 0},   {-1, 5, 10000001}};
    for (const std::uint16_t base : {std::uint16_t{0x378}, std::uint16_t{0xFFFE}}) {
        UsePort(base);
        for (const auto& call : calls) {
            EXPECT_EQ(call[0] >= 0 ? controller.PulseOutputPin(call[0], 1, call[2])
                                   : controller.PulseDataByte(call[1], call[2]),
                      base == 0x378 ? -2 : -1)
                << call[0] << " " << call[1] << " " << call[2];
        }
        EXPECT_EQ(Trace() + LogFile(), "");
    }
    UsePort(0x378);
    fakes::Port().registers[0x379] = 0x40;  // pin 10 high: a wait, too, takes 2 and -1 for high
    EXPECT_EQ(controller.WaitInputPin(10, 2, 0) + controller.WaitInputPin(10, -1, 0), 2);
}

// Pulse faults, a row each: a call on LPT1 at 378 (LPT2 at 37A listed too;
// pin 0: a byte pulse, its value as the level) over the control register
// given, with the accesses the port takes before it drops every other;
// during its hold another call (pin -1: none; -2: the end of the process;
// -3: LPT2 chosen, then pin 2 pulsed; -4: the pulsing thread ends, then pin
// 2 pulsed; -5: the data lines made inputs, the outside driving A0). Results,
// the port's accesses and the first log line, exactly.
struct PulseFaultRow {
    std::uint8_t control;
    long reaching;
    int call[3], during[3];
    const char* expected;
};

// The call's result and a space; nothing for no call.
std::string Pulse(PortController& controller, const int (&call)[3])
{
    if (call[0] == -1) return "";
    if (call[0] == -2) return controller.EndPulsesAtProcessExit(), "1 ";
    if (call[0] == -5)
        return controller.SetDataDirection(1), fakes::Port().registers[0x378] = 0xA0, "";
    if (call[0] == -3) controller.SelectPortByNumber(2);
    if (call[0] == -4) fakes::Sleeps().threadsEnded = true;
    if (call[0] <= -3) return Pulse(controller, {2, 1, 5000});
    const int result = call[0] > 0 ? controller.PulseOutputPin(call[0], call[1], call[2])
                                   : controller.PulseDataByte(call[1], call[2]);
    return std::to_string(result) + " ";
}

// clang-format off
constexpr PulseFaultRow kPulseFaults[] = {
    // one pin twice
    {0, -1, {2, 1, 5000}, {2, 1, 5000}, "0 -6 | R 37A=00 R 378=00 W 378=01 R 378=01 "
     "W 378=00 | PulseOutputPin(2, 1, 5000) Port=378 Width=5001"},
    // a data pin in a byte
    {0, -1, {0, 37, 5000}, {3, 1, 5000}, "0 -6 | R 37A=00 R 378=00 W 378=25 "
     "W 378=00 | PulseDataByte(37, 5000) Port=378 Width=5001"},
    // a port's control register is another port's data register
    {0, -1, {1, 0, 5000}, {-3}, "0 -6 | R 37A=00 W 37A=01 R 37A=01 W 37A=00 | "
     "PulseOutputPin(1, 0, 5000) Port=378 Width=5001"},
    // the data lines made inputs by another thread: the latch put back, not the lines
    {0, -1, {2, 1, 5000}, {-5}, "0 | R 37A=00 R 378=00 W 378=01 R 37A=00 W 37A=20 R 378=A0 W 378=00 | "
     "SetDataDirection(1) Port=378"},
    // the pulsing thread ended
    {0, -1, {2, 1, 2000000}, {-4}, "0 0 | R 37A=00 R 378=00 W 378=01 R 378=01 W 378=00 R 37A=00 "
     "R 378=00 W 378=01 R 378=01 W 378=00 | PulseOutputPin(2, 1, 2000000) Port=378 Width=1999001 ended by the end of its thread"},
    // the first write
    {0, 1, {16, 1, 500}, {-1}, "-8 | R 37A=00 W 37A=04 | PulseOutputPin(16, 1, 500) "
     "Port=378 not reached: the port did not take the first write"},
    // the second write
    {0, 3, {0, 85, 5000}, {-1}, "-8 | R 37A=00 R 378=00 W 378=55 W 378=00 | "
     "PulseDataByte(85, 5000) Port=378 Width=5001 not put back: the port did not take the second write"},
    // the data lines inputs
    {0x2F, -1, {3, 1, 1000}, {-1}, "-7 | R 37A=2F | PulseOutputPin(3, 1, 1000) "
     "Port=378 refused: the data lines are inputs"},
    // the end of the process
    {0, -1, {2, 1, 10000000}, {-2}, "0 1 | R 37A=00 R 378=00 W 378=01 "
     "R 378=01 W 378=00 | PulseOutputPin(2, 1, 10000000) Port=378 Width=9999002 ended by the end of the process"},
};
// clang-format on

TEST_F(PulseTest, EachFaultGivesItsResultAccessesAndLine)
{
    for (const PulseFaultRow& row : kPulseFaults) {
        fakes::ResetPort();
        fakes::Sleeps().threadsEnded = false;
        UseTable({{"LPT1", 0x378}, {"LPT2", 0x37A}});
        controller.ChooseRow(0);
        fakes::Port().registers[0x37A] = row.control;
        fakes::Port().reachingAccesses = row.reaching;
        std::string during;
        fakes::Sleeps().duringSleep = [&] { during = Pulse(controller, row.during); };
        const std::string results = Pulse(controller, row.call) + during;
        EXPECT_EQ(results + "| " + Accesses() + " | " + Debugger().at(0), row.expected);
    }
    fakes::Sleeps().duringSleep = nullptr;
}

// The hold counts from the first write's return, on a clock of 300 ns
// steps: a pulse of 1 us, then a byte whose first write takes 400 us.
TEST_F(PulseTest, NoPulseIsShorterThanAskedOnAnyClock)
{
    UsePort(0x378);
    fakes::Sleeps().stepNs = 300;
    std::vector<std::int64_t> writesAt;
    fakes::Port().onAccess = [&](const fakes::PortAccess& access) {
        if (!access.isWrite) return;
        if (writesAt.size() == 2) fakes::Sleeps().nowNs += 400000;
        writesAt.push_back(fakes::Sleeps().nowNs);
    };
    EXPECT_EQ(controller.PulseOutputPin(2, 1, 1), 0);
    EXPECT_EQ(controller.PulseDataByte(37, 1000), 0);
    EXPECT_EQ(writesAt, (std::vector<std::int64_t>{0, 1800, 401800, 1402600}));
    EXPECT_EQ(LogFile(), FileLine("PulseOutputPin(2, 1, 1) Port=378 Width=2") +
                             FileLine("PulseDataByte(37, 1000) Port=378 Width=1001"));
}

}  // namespace
