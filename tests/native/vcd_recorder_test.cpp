// VcdRecorder: the levels a port's first access brings, the value changes a
// sequence of register accesses gives, in ticks of a microsecond and in
// order, the scopes and names of two ports, the accesses of no recorded
// port, and a buffer that stays bounded when nobody takes it and ends with
// the pins' own levels.
#include "record/vcd_recorder.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// A clock that gives the time the test sets, and counts how often it is asked.
std::uint64_t now = 0;
int clockReadings = 0;
std::uint64_t TestClock()
{
    ++clockReadings;
    return now;
}

// The text once the clock has passed the tick of the last change (at most
// one ahead of it), so that its lines are in.
std::uint64_t TwoTicksLater()
{
    return now + 2;
}

std::string Text(VcdRecorder& recorder)
{
    VcdText text;
    recorder.TakeText(text, &TwoTicksLater);
    return std::string(text.Data() == nullptr ? "" : text.Data(), text.Size());
}

// A recorder of `ports`, started at `now` (in microseconds), each port's
// levels brought by its first access at once: `registers` as read then.
void Begin(VcdRecorder& recorder, const std::vector<RecordedRegisters>& registers)
{
    std::vector<std::uint16_t> bases;
    for (const RecordedRegisters& port : registers) bases.push_back(port.base);
    ASSERT_TRUE(recorder.Start(bases.data(), static_cast<int>(bases.size()), &TestClock));
    for (const RecordedRegisters& port : registers) recorder.Levels(port, &TestClock);
}

struct Step {
    std::uint64_t time;
    std::uint16_t address;
    std::uint8_t value;
    bool isWrite;
};

// Port 378 at the start: data 00, status 78 (ack, paper, select, error high;
// busy's bit clear, so high), control 04 (strobe, autofeed, init and
// select-in high).
const RecordedRegisters kIdle378 = {0x378, 0x00, 0x78, 0x04};

TEST(VcdRecorderTest, APortsLevelsComeBeforeItsFirstAccessSoTheFirstStrobeIsAFallingEdge)
{
    now = 1000;
    VcdRecorder recorder;
    const std::uint16_t base = 0x378;
    ASSERT_TRUE(recorder.Start(&base, 1, &TestClock));
    const std::string header = Text(recorder);
    EXPECT_NE(header.find("$timescale 1us $end\n"), std::string::npos) << header;
    EXPECT_NE(header.find("#0\n$dumpvars\nx!\nx\"\nx#\n"), std::string::npos) << header;
    std::uint16_t awaiting = 0;
    EXPECT_TRUE(recorder.AwaitsLevels(0x37A, &awaiting));
    EXPECT_EQ(awaiting, 0x378);
    now = 1200;  // the levels, then the access in the same microsecond
    recorder.Levels(kIdle378, &TestClock);
    EXPECT_FALSE(recorder.AwaitsLevels(0x378, &awaiting));
    recorder.Access(0x37A, 0x05, true, &TestClock);  // strobe low
    EXPECT_EQ(Text(recorder),
              "#200\n1!\n1.\n10\n11\n0\"\n0#\n0$\n0%\n0&\n0'\n0(\n0)\n"
              "1*\n1+\n1,\n1-\n1/\n#201\n0!\n");
}

TEST(VcdRecorderTest, ASequenceOfAccessesGivesTheseChangesInOrderOneTickApartAtLeast)
{
    now = 1000;
    VcdRecorder recorder;
    Begin(recorder, {kIdle378});
    Text(recorder);
    const Step steps[] = {
        {1500, 0x378, 0xA5, true},   // the data pins
        {1700, 0x378, 0xA5, true},   // the same again: nothing
        {2000, 0x37A, 0x05, true},   // strobe low (inverted)
        {2000, 0x37A, 0x04, true},   // strobe high in the same microsecond: a tick later
        {2001, 0x37A, 0x0C, false},  // select-in low, read: it shares that tick, not ahead
        {3500, 0x37A, 0x24, true},   // bit 5: the data lines become inputs; select-in high
        {4000, 0x378, 0x0F, false},  // read while inputs: the lines show it
        {4500, 0x378, 0x00, true},   // written while inputs: nothing shows
        {5000, 0x37A, 0x04, true},   // outputs again: the latch's 00 shows
        {5500, 0x379, 0xFF, true},   // a write to the status lines: nothing
        {6000, 0x379, 0xF8, false},  // busy's bit set: busy low
        {6500, 0x27A, 0x00, true},   // not a recorded port
    };
    for (const Step& step : steps) {
        now = step.time;
        recorder.Access(step.address, step.value, step.isWrite, &TestClock);
    }
    now = 7000;
    recorder.End(&TestClock);
    EXPECT_EQ(Text(recorder),
              "#500\n1\"\n1$\n1'\n1)\n"
              "#1000\n0!\n"
              "#1001\n1!\n01\n"
              "#2500\n11\n"
              "#3000\n1#\n1%\n0'\n0)\n"
              "#4000\n0\"\n0#\n0$\n0%\n"
              "#5000\n0+\n"
              "#6000\n");
    ASSERT_EQ(recorder.UnrecordedCount(), 1u);
    EXPECT_EQ(recorder.UnrecordedAddresses()[0].address, 0x27A);
    EXPECT_EQ(recorder.UnrecordedAddresses()[0].count, 1u);
}

TEST(VcdRecorderTest, AccessesThatChangeNoPinReadNoClock)
{
    now = 0;
    VcdRecorder recorder;
    Begin(recorder, {kIdle378});
    now = 100;
    recorder.Access(0x378, 0x55, true, &TestClock);
    clockReadings = 0;
    for (int i = 0; i < 1000; ++i) {
        recorder.Access(0x378, 0x55, true, &TestClock);   // unchanged latch
        recorder.Access(0x379, 0x00, true, &TestClock);   // status write
        recorder.Access(0x37A, 0x04, false, &TestClock);  // control read, unchanged
        recorder.Access(0x3BC, 0x12, true, &TestClock);   // another port
    }
    EXPECT_EQ(clockReadings, 0);
    ASSERT_EQ(recorder.UnrecordedCount(), 1u);
    EXPECT_EQ(recorder.UnrecordedAddresses()[0].count, 1000u);
}

TEST(VcdRecorderTest, EachPortHasItsScopeAndNamesThatCarryThePort)
{
    now = 0;
    VcdRecorder recorder;
    Begin(recorder, {{0x278, 0x00, 0x78, 0x04}, kIdle378});
    const std::string text = Text(recorder);
    EXPECT_NE(text.find("$scope module lpt_278 $end\n$var wire 1 ! lpt278_pin01_strobe $end\n"
                        "$var wire 1 \" lpt278_pin02_d0 $end\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("$scope module lpt_378 $end\n$var wire 1 2 lpt378_pin01_strobe $end\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("$var wire 1 B lpt378_pin17_select_in $end\n$upscope $end\n"),
              std::string::npos)
        << text;
    now = 50;
    recorder.Access(0x37A, 0x05, true, &TestClock);
    EXPECT_EQ(Text(recorder), "#50\n02\n");
}

TEST(VcdRecorderTest, ABufferNobodyTakesStaysBoundedAndTheEndShowsThePinsOwnLevels)
{
    now = 0;
    VcdRecorder recorder;
    Begin(recorder, {kIdle378});
    for (int i = 0; i < 1000000; ++i) {
        now = static_cast<std::uint64_t>(i);
        recorder.Access(0x378, (i & 1) != 0 ? 0xFF : 0x00, true, &TestClock);
        ASSERT_LE(recorder.Pending(), VcdRecorder::kBufferLimit + 64);
    }
    EXPECT_GT(recorder.Dropped(), 0u);
    // Every data pin is high now (the last write was FF), whatever the file
    // holds: the end says so, then stamps after it.
    now = 1000000;
    recorder.End(&TestClock);
    const std::string text = Text(recorder);
    const std::string end =
        "\n#1000000\n1!\n1\"\n1#\n1$\n1%\n1&\n1'\n1(\n1)\n1*\n1+\n1,\n1-\n1.\n1/\n10\n11\n"
        "#1000001\n";
    ASSERT_GT(text.size(), end.size());
    EXPECT_EQ(text.substr(text.size() - end.size()), end);
    // Within the cap with the end's lines, and every change in the text or
    // counted: 17 levels first, 999,999 times 8 changes, 17 levels at the end.
    EXPECT_LE(text.size(), 4194304u);
    std::uint64_t lines = 0;
    for (std::size_t at = 0; (at = text.find('\n', at) + 1) + 2 < text.size();) {
        lines += text[at + 2] == '\n' && (text[at] == '0' || text[at] == '1') ? 1 : 0;
    }
    EXPECT_EQ(lines + recorder.Dropped(), 8000026u);
}

TEST(VcdRecorderTest, AfterALossTheLevelsComeBackWithTheNextChange)
{
    now = 0;
    VcdRecorder recorder;
    Begin(recorder, {kIdle378});
    Text(recorder);
    now = 10;
    recorder.Access(0x378, 0xFF, true, &TestClock);
    recorder.TextLost();  // the text taken could not all reach the file
    Text(recorder);
    now = 20;
    recorder.Access(0x378, 0x00, true, &TestClock);
    EXPECT_EQ(Text(recorder),
              "#20\n1!\n0\"\n0#\n0$\n0%\n0&\n0'\n0(\n0)\n1*\n1+\n1,\n1-\n1.\n1/\n10\n11\n");
}

// The recording's faults, a row each (the cap and the drops above). The
// stamps after a burst: 100,000
// changes in 3 ms, then a 5 ms pulse of the strobe, as long in the file, and
// one within a microsecond one tick wide.
TEST(VcdRecorderTest, StampsStayWithinATickOfTheClockSoAPulseAfterABurstKeepsItsWidth)
{
    now = 0;
    VcdRecorder recorder;
    Begin(recorder, {kIdle378});
    for (int change = 0; change < 100000; ++change) {
        now = static_cast<std::uint64_t>(change) * 3 / 100;
        recorder.Access(0x378, (change & 1) != 0 ? 0xFF : 0x00, true, &TestClock);
    }
    const std::pair<std::uint64_t, std::uint8_t> strobe[] = {
        {10000, 0x05}, {15000, 0x04}, {20000, 0x05}, {20000, 0x04}};
    for (const auto& [time, control] : strobe) {
        now = time;
        recorder.Access(0x37A, control, true, &TestClock);
    }
    const std::string text = Text(recorder);
    EXPECT_EQ(text.substr(text.size() - 41), "\n#10000\n0!\n#15000\n1!\n#20000\n0!\n#20001\n1!\n");
}

}  // namespace
