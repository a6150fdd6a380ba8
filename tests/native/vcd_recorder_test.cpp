// VcdRecorder: the value changes a sequence of register accesses gives, the
// scopes of two ports, a sink that fails (a full disk), and the buffer that
// never grows past its limit however long the recording.
#include "record/vcd_recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

class TextSink : public VcdSink {
public:
    bool Write(const char* bytes, std::size_t size, std::string& reason) override
    {
        ++writes;
        largestWrite = std::max(largestWrite, size);
        if (failWith != nullptr) {
            reason = failWith;
            return false;
        }
        text.append(bytes, size);
        return true;
    }
    std::string text;
    const char* failWith = nullptr;
    int writes = 0;
    std::size_t largestWrite = 0;
};

// A clock that gives the time the test sets, and counts how often it is asked.
std::uint64_t now = 0;
int clockReadings = 0;
std::uint64_t TestClock()
{
    ++clockReadings;
    return now;
}

// What follows the header's "$dumpvars ... $end".
std::string Body(const std::string& text)
{
    const std::size_t at = text.find("$end\n", text.find("$dumpvars"));
    return at == std::string::npos ? "(no $dumpvars)" : text.substr(at + 5);
}

struct Step {
    std::uint64_t time;
    std::uint16_t address;
    std::uint8_t value;
    bool isWrite;
};

TEST(VcdRecorderTest, ASequenceOfAccessesGivesTheseChangesAtTheseTimes)
{
    TextSink sink;
    VcdRecorder recorder({0x378}, sink);
    const Step steps[] = {
        {1000, 0x37A, 0x00, false},  // time 0; a read of the control latch shows nothing
        {1500, 0x37A, 0x04, true},   // control pins: 1, 14 and 17 inverted, 16 not
        {2000, 0x378, 0xA5, true},   // the data pins
        {2500, 0x378, 0xA5, true},   // the same again: nothing
        {3000, 0x379, 0xFF, true},   // a write to the status lines: nothing
        {3500, 0x379, 0xC0, false},  // the status pins as read; 11 inverted
        {4000, 0x37A, 0x24, true},   // bit 5: the data lines become inputs
        {4500, 0x378, 0x00, true},   // written while inputs: nothing shows
        {5000, 0x378, 0x0F, false},  // read while inputs: the lines show it
        {5500, 0x37A, 0x04, true},   // outputs again: the latch's 00 shows
        {6000, 0x27A, 0x00, true},   // not a recorded port
    };
    for (const Step& step : steps) {
        now = step.time;
        recorder.Access(step.address, step.value, step.isWrite, &TestClock);
    }
    now = 7000;
    recorder.End(&TestClock);
    ASSERT_TRUE(recorder.Flush());

    EXPECT_NE(sink.text.find("$timescale 1ns $end\n$scope module lpt_378 $end\n"
                             "$var wire 1 ! pin01_strobe $end\n$var wire 1 \" pin02_d0 $end\n"),
              std::string::npos)
        << sink.text;
    EXPECT_NE(sink.text.find("$var wire 1 1 pin17_select_in $end\n$upscope $end\n"
                             "$enddefinitions $end\n#0\n$dumpvars\nx!\n"),
              std::string::npos)
        << sink.text;
    EXPECT_EQ(Body(sink.text),
              "#500\n1!\n1.\n10\n11\n"
              "#1000\n1\"\n0#\n1$\n0%\n0&\n1'\n0(\n1)\n"
              "#2500\n1*\n0+\n0,\n0-\n0/\n"
              "#4000\n1#\n1%\n0'\n0)\n"
              "#4500\n0\"\n0#\n0$\n0%\n"
              "#6000\n");
}

TEST(VcdRecorderTest, AccessesThatChangeNoPinReadNoClock)
{
    TextSink sink;
    VcdRecorder recorder({0x378}, sink);
    now = 100;
    recorder.Access(0x378, 0x55, true, &TestClock);
    clockReadings = 0;
    for (int i = 0; i < 1000; ++i) {
        recorder.Access(0x378, 0x55, true, &TestClock);   // unchanged latch
        recorder.Access(0x379, 0x00, true, &TestClock);   // status write
        recorder.Access(0x37A, 0x00, false, &TestClock);  // control read
        recorder.Access(0x3BC, 0x12, true, &TestClock);   // another port
    }
    EXPECT_EQ(clockReadings, 0);
}

TEST(VcdRecorderTest, TwoPortsHaveTheirOwnScopesAndSignals)
{
    TextSink sink;
    VcdRecorder recorder({0x278, 0x378}, sink);
    now = 50;
    recorder.Access(0x27A, 0x00, true, &TestClock);
    ASSERT_TRUE(recorder.Flush());
    EXPECT_NE(sink.text.find("$scope module lpt_278 $end\n$var wire 1 ! pin01_strobe $end\n"),
              std::string::npos);
    EXPECT_NE(sink.text.find("$scope module lpt_378 $end\n$var wire 1 2 pin01_strobe $end\n"),
              std::string::npos);
    // At time 0, without a second "#0": pins 1, 14, 16 and 17 of port 278.
    EXPECT_EQ(Body(sink.text), "1!\n1.\n00\n11\n");
}

TEST(VcdRecorderTest, ASinkThatFailsEndsTheRecordingWithItsReason)
{
    TextSink sink;
    sink.failWith = "There is not enough space on the disk";
    VcdRecorder recorder({0x378}, sink);
    now = 10;
    recorder.Access(0x378, 0x01, true, &TestClock);
    EXPECT_FALSE(recorder.Flush());
    EXPECT_EQ(recorder.Failure(), "There is not enough space on the disk");
    EXPECT_EQ(sink.writes, 1);
    // From then on nothing is buffered or written.
    sink.failWith = nullptr;
    for (int i = 0; i < 100000; ++i) {
        recorder.Access(0x378, static_cast<std::uint8_t>(i), true, &TestClock);
    }
    EXPECT_FALSE(recorder.Flush());
    EXPECT_EQ(sink.writes, 1);
    EXPECT_EQ(sink.text, "");
}

TEST(VcdRecorderTest, ALongRecordingGoesToTheSinkInPiecesOfAtMostTheBuffer)
{
    TextSink sink;
    VcdRecorder recorder({0x378}, sink);
    for (int i = 0; i < 300000; ++i) {
        now = static_cast<std::uint64_t>(i) * 1000;
        recorder.Access(0x378, static_cast<std::uint8_t>(i), true, &TestClock);
    }
    // Every byte changes at least one pin: 300,000 stamps went out, in pieces
    // no bigger than the buffer's limit and one access's changes.
    EXPECT_GT(sink.writes, 100);
    EXPECT_LE(sink.largestWrite, VcdRecorder::kBufferLimit + 200);
    ASSERT_TRUE(recorder.Flush());
    EXPECT_NE(sink.text.find("\n#299999000\n"), std::string::npos);
}

}  // namespace
