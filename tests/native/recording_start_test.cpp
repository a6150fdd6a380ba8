// Starting and ending a recording through the controller: which ports are
// recorded, a start that reads no port, the refusals, and the recording that
// hears of every access from the start to the end and none outside.
#include "core_fixture.h"

#include <string>
#include <thread>
#include <utility>

#include "port/deadline.h"

namespace {

// A recording that keeps what it was told, and the accesses as text.
class ListeningRecording : public PortRecording {
public:
    bool Open(const std::uint16_t* bases, int count) override
    {
        for (int index = 0; index < count; ++index) {
            char text[8];
            std::snprintf(text, sizeof text, "%X ", bases[index]);
            opened += text;
        }
        return accept;
    }
    void Begin() override {}
    void Before(std::uint16_t address) override
    {
        char text[16];
        std::snprintf(text, sizeof text, "B %X=%02X ", address,
                      fakes::Port().registers[address] & 0xFF);
        seen += text;
    }
    void Seen(std::uint16_t address, std::uint8_t value, bool isWrite) override
    {
        char text[16];
        std::snprintf(text, sizeof text, "%c %X=%02X ", isWrite ? 'W' : 'R', address, value);
        seen += text;
    }
    bool accept = true;
    std::string opened, seen;
};

class RecordingStartTest : public CoreTest {
protected:
    ListeningRecording recording;
};

// A start reads no port (a port another program holds would make it wait):
// the recording hears of each access before it is made, and sees it after.
TEST_F(RecordingStartTest, TheListedPortsAndTheSelectedOneAreOpenedAndNoneIsRead)
{
    UseTable({{"LPT1", 0x378}, {"LPT2", 0x278}, {"LPT3", 0x378}, {"LPT4", 0x0}});
    ASSERT_EQ(controller.SetManualAddress("3", "B", "C", ""), 0);  // row 0 now 3BC, selected
    fakes::Port().trace.clear();
    EXPECT_EQ(controller.StartRecording(recording), 0);
    EXPECT_EQ(recording.opened, "3BC 278 378 ");
    EXPECT_EQ(Trace(), "");
    EXPECT_EQ(controller.SetPinOutput(1, 0), 0);
    controller.EndRecording(recording);
    EXPECT_EQ(controller.SetPinOutput(1, 1), 0);
    EXPECT_EQ(recording.seen, "B 3BE=00 R 3BE=00 B 3BE=00 W 3BE=01 ");
}

TEST_F(RecordingStartTest, NoUsablePortOpensNothingAndReadsNothing)
{
    UseTable({{"LPT1", 0x0}});
    EXPECT_EQ(controller.StartRecording(recording), -1);
    EXPECT_EQ(controller.SetManualAddress("F", "F", "F", "F"), 0);  // FFFF: no port can be there
    fakes::Port().trace.clear();
    EXPECT_EQ(controller.StartRecording(recording), -1);
    EXPECT_EQ(recording.opened, "");
    EXPECT_EQ(Trace(), "");
}

TEST_F(RecordingStartTest, ARefusedOpenReadsNothingAndHearsNothing)
{
    UsePort(0x378);
    recording.accept = false;
    EXPECT_EQ(controller.StartRecording(recording), -1);
    EXPECT_EQ(recording.opened, "378 ");
    EXPECT_EQ(controller.SetPinOutput(2, 1), 0);
    EXPECT_EQ(Trace(), "R 378=0000 W 378=0001");
    EXPECT_EQ(recording.seen, "");
}

// The unload's end of a recording while a call holds the guard in the port
// driver gives up at its deadline: on the fake clock, a read past it.
TEST_F(RecordingStartTest, AnEndByADeadlineGivesUpOnAGuardHeldPastIt)
{
    UsePort(0x378);
    ASSERT_EQ(controller.StartRecording(recording), 0);
    fakes::Sleeps().fakeClock = true;
    std::int64_t past = -1;  // how far past its deadline it gave up
    fakes::Port().onAccess = [&, first = true](const fakes::PortAccess&) mutable {
        if (!std::exchange(first, false)) return;
        std::thread([&] {
            const Deadline deadline = Deadline::AfterMs(2);
            if (!controller.EndRecording(recording, deadline)) {
                past = fakes::Sleeps().nowNs - deadline.EndNs();
            }
        }).join();
    };
    EXPECT_EQ(controller.SetPinOutput(2, 1), 0);
    EXPECT_TRUE(past >= 0 && past <= 2000) << past;
    EXPECT_TRUE(controller.EndRecording(recording, Deadline::AfterMs(2)));
}

}  // namespace
