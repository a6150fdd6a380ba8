// Port discovery over scripted device lists. Every scenario also checks that
// each opened device was closed once and each resource record freed once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core_fixture.h"

namespace {

using fakes::FakeDevice;

FakeDevice Port(const std::string& name, std::uint16_t first, std::uint16_t last)
{
    FakeDevice device;
    device.name = name;
    device.ranges = {{first, last}};
    return device;
}

class EnumeratePortsTest : public CoreTest {
protected:
    bool Enumerate(std::vector<FakeDevice> devices)
    {
        fakes::Devices().devices = std::move(devices);
        return controller.EnumeratePorts();
    }

    std::vector<std::string> Names() const
    {
        const PortController::PortRows table = controller.RowsToList();
        std::vector<std::string> names;
        for (int row = 0; row < table.count && row < PortController::kMaxPorts; ++row) {
            names.push_back(table.rows[row].name);
        }
        return names;
    }
    int Count() const { return controller.RowsToList().count; }
    PortEntry Row(int row) const { return controller.RowsToList().rows[row]; }

    void TearDown() override
    {
        const fakes::FakeDeviceList& list = fakes::Devices();
        EXPECT_EQ(list.opens, list.closes) << "devices opened and closed";
        EXPECT_EQ(list.closeCalls, list.closes) << "closes of devices never opened";
        EXPECT_EQ(list.resourceGets, list.resourceFrees) << "resource records got and freed";
        for (const std::string& name : list.classesAsked) EXPECT_EQ(name, "port");
        for (const std::string& name : list.propertiesAsked) EXPECT_EQ(name, "PORTNAME");
        for (std::uint32_t length : list.propertyLengthsPassed) EXPECT_EQ(length, 1024u);
        EXPECT_LE(Count(), PortController::kMaxPorts);
    }
};

TEST_F(EnumeratePortsTest, RecordsLptPortsWithLabelsAndAddresses)
{
    EXPECT_TRUE(Enumerate(
        {Port("COM1", 0x3F8, 0x3FF), Port("LPT1", 0x378, 0x37F), Port("ECP LPT2", 0x278, 0x27F)}));
    ASSERT_EQ(Count(), 2);
    EXPECT_STREQ(Row(0).name, "LPT1");
    EXPECT_STREQ(Row(0).label, "LPT1 (378-37F)");
    EXPECT_EQ(Row(0).baseAddress, 0x378);
    EXPECT_STREQ(Row(1).name, "ECP LPT2");
    EXPECT_STREQ(Row(1).label, "ECP LPT2 (278-27F)");
    EXPECT_EQ(Row(1).baseAddress, 0x278);
    EXPECT_EQ(controller.SelectedRow(), -1);
    EXPECT_EQ(Debugger(), (std::vector<std::string>{"LPT1 (378-37F)", "ECP LPT2 (278-27F)"}));
    EXPECT_EQ(LogFile(), FileLine("LPT1 (378-37F)") + FileLine("ECP LPT2 (278-27F)"));
    EXPECT_EQ(fakes::Devices().opens, 3);
    EXPECT_EQ(controller.SelectPortByNumber(2), -2);
    EXPECT_EQ(controller.SelectPortByNumber(1), 0);
}

TEST_F(EnumeratePortsTest, LabelsUseUpperCaseHexWithoutLeadingZeros)
{
    EXPECT_TRUE(Enumerate({Port("LPT1", 0x3BC, 0x3BE), Port("LPT2", 0x00A0, 0x00AF),
                           Port("LPT3", 0xE800, 0xFFFF), Port("LPT4", 0, 7)}));
    EXPECT_STREQ(Row(0).label, "LPT1 (3BC-3BE)");
    EXPECT_STREQ(Row(1).label, "LPT2 (A0-AF)");
    EXPECT_STREQ(Row(2).label, "LPT3 (E800-FFFF)");
    EXPECT_STREQ(Row(3).label, "LPT4 (0-7)");
    EXPECT_EQ(Row(2).baseAddress, 0xE800);
}

TEST_F(EnumeratePortsTest, WhichNamesQualify)
{
    struct Case {
        const char* name;
        bool recorded;
    };
    const Case cases[] = {
        {"LPT1", true},  {"ECP LPT2", true},    {"LPT123456", true},   {"LPT", true},
        {"xLPTx", true}, {"LPT1234567", false}, {"ECP LPT 12", false}, {"lpt1", false},
        {"Lpt1", false}, {"LPt1", false},       {"COM1", false},       {"", false},
        {"PRN", false},  {"L P T", false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        fakes::ResetDevices();
        fakes::ResetLogSink();
        FreshController();
        EXPECT_EQ(Enumerate({Port(test.name, 0x378, 0x37F)}), test.recorded);
        EXPECT_EQ(Count(), test.recorded ? 1 : 0);
        if (test.recorded) {
            EXPECT_STREQ(Row(0).name, test.name);
        }
        EXPECT_EQ(Debugger().size(), test.recorded ? 1u : 0u);
    }
}

TEST_F(EnumeratePortsTest, KeepsTheDeviceListsOrder)
{
    EXPECT_TRUE(Enumerate({Port("LPT2", 0x278, 0x27F), Port("LPT1", 0x378, 0x37F)}));
    EXPECT_EQ(Names(), (std::vector<std::string>{"LPT2", "LPT1"}));
    EXPECT_EQ(controller.SelectPortByNumber(1), 0);
    EXPECT_EQ(controller.SelectedRow(), 1);
}

TEST_F(EnumeratePortsTest, PortWithoutRangesIsSkippedAndItsRecordFreed)
{
    FakeDevice bare;
    bare.name = "LPT1";
    EXPECT_FALSE(Enumerate({bare}));
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(fakes::Devices().resourceGets, 1);
    EXPECT_EQ(fakes::Devices().resourceFrees, 1);
    EXPECT_TRUE(Debugger().empty());
}

TEST_F(EnumeratePortsTest, RangeCountWithoutRangePointerIsSkipped)
{
    FakeDevice broken = Port("LPT1", 0x378, 0x37F);
    broken.nullRangePointer = true;
    EXPECT_TRUE(Enumerate({broken, Port("LPT2", 0x278, 0x27F)}));
    EXPECT_EQ(Names(), std::vector<std::string>{"LPT2"});
    EXPECT_EQ(fakes::Devices().resourceFrees, 2);
}

TEST_F(EnumeratePortsTest, EachFailingStepSkipsOnlyItsDevice)
{
    FakeDevice noOpen = Port("LPT1", 0x100, 0x107);
    noOpen.failOpen = true;
    FakeDevice noName = Port("LPT2", 0x200, 0x207);
    noName.failProperty = true;
    FakeDevice noResources = Port("LPT3", 0x300, 0x307);
    noResources.failResources = true;
    EXPECT_TRUE(Enumerate(
        {noOpen, Port("LPT4", 0x378, 0x37F), noName, noResources, Port("LPT5", 0x278, 0x27F)}));
    EXPECT_EQ(Names(), (std::vector<std::string>{"LPT4", "LPT5"}));
    const fakes::FakeDeviceList& list = fakes::Devices();
    EXPECT_EQ(list.opens, 4);
    EXPECT_EQ(list.propertyLengthsPassed.size(), 4u);
    EXPECT_EQ(list.resourceGets, 2);
    EXPECT_EQ(Debugger(), (std::vector<std::string>{"LPT4 (378-37F)", "LPT5 (278-27F)"}));
}

TEST_F(EnumeratePortsTest, ResourcesAreNotAskedForDevicesThatAreNoLptPort)
{
    EXPECT_FALSE(Enumerate({Port("COM1", 0x3F8, 0x3FF), Port("LPT1234567", 0x378, 0x37F)}));
    EXPECT_EQ(fakes::Devices().resourceGets, 0);
    EXPECT_EQ(fakes::Devices().closes, 2);
}

TEST_F(EnumeratePortsTest, CountFailureFallsBackTo378)
{
    ASSERT_TRUE(fakes::Discover(controller, {{"LPT1", 0x3BC}, {"LPT2", 0x278}, {"LPT3", 0x100}}));
    ForgetSetup();
    fakes::Devices().countFails = true;
    fakes::Devices().lastError = 1168;
    EXPECT_FALSE(controller.EnumeratePorts());
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(controller.SelectedRow(), 0);
    EXPECT_EQ(Row(0).baseAddress, 0x378);
    EXPECT_EQ(Debugger(), std::vector<std::string>{"Failed to get number of devices error=1168"});
    EXPECT_EQ(LogFile(), FileLine("Failed to get number of devices error=1168"));
    EXPECT_EQ(fakes::Devices().opens, 0);
}

TEST_F(EnumeratePortsTest, EmptyListFallsBackTo378)
{
    EXPECT_FALSE(Enumerate({}));
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(controller.SelectedRow(), 0);
    EXPECT_EQ(Row(0).baseAddress, 0x378);
    EXPECT_EQ(Debugger(), std::vector<std::string>{"No I/O devices found"});
    EXPECT_EQ(fakes::Devices().countCalls, 1);
}

TEST_F(EnumeratePortsTest, DevicesOfWhichNoneQualifiesLeaveNoPort)
{
    FakeDevice bare;
    bare.name = "LPT1";
    EXPECT_FALSE(Enumerate({Port("COM1", 0x3F8, 0x3FF), bare, Port("lpt2", 0x278, 0x27F)}));
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(controller.SelectedRow(), -1);
    EXPECT_EQ(Row(0).baseAddress, 0);
    EXPECT_TRUE(Debugger().empty());
    EXPECT_EQ(LogFile(), "");
}

TEST_F(EnumeratePortsTest, SuccessLeavesTheSelectionAlone)
{
    controller.ChooseRow(4);
    EXPECT_TRUE(Enumerate({Port("LPT1", 0x378, 0x37F)}));
    EXPECT_EQ(controller.SelectedRow(), 4);
}

// The fields after the table (the count, the selection, the buffers, the
// snapshot) would be the first to be overwritten by an eleventh row;
// AddressSanitizer cannot see a write that stays inside the object, so they
// are checked by what the operations give.
TEST_F(EnumeratePortsTest, NoMoreThanTenRows)
{
    for (int devices : {11, 15}) {
        SCOPED_TRACE(devices);
        fakes::ResetAll();
        FreshController();
        ASSERT_EQ(controller.SetManualAddress("3", "7", "8", ""), 0);
        fakes::Port().readHighByte = 0x11;
        fakes::Port().registers[0x378] = 0x11;  // pins 2 and 6 high
        fakes::Port().registers[0x379] = 0x44;  // pins 10 and 11 high
        fakes::Port().registers[0x37A] = 0x22;
        ASSERT_EQ(controller.PrepareOutputBuffer(), 0);
        ASSERT_EQ(controller.GetInputAll(), 0);
        ForgetSetup();
        std::vector<FakeDevice> list;
        for (int index = 1; index <= devices; ++index) {
            list.push_back(Port("LPT" + std::to_string(index),
                                static_cast<std::uint16_t>(0x100 * index), 0xFFFF));
        }
        EXPECT_TRUE(Enumerate(list));
        EXPECT_EQ(Count(), 10);
        EXPECT_STREQ(Row(9).name, "LPT10");
        EXPECT_EQ(Row(9).baseAddress, 0xA00);
        EXPECT_EQ(fakes::Devices().opens, devices);
        EXPECT_EQ(fakes::Devices().closes, devices);
        EXPECT_EQ(controller.SelectedRow(), 0);
        for (const auto& [pin, level] : {std::pair{2, 1}, {3, 0}, {6, 1}, {10, 1}, {11, 1}, {12, 0}}) {
            EXPECT_EQ(controller.FetchInputPin(pin), level) << "pin " << pin;
        }
        fakes::Port().trace.clear();
        EXPECT_EQ(controller.SetOutputAll(), 0);
        EXPECT_EQ(Trace(), "W 100=1111 W 102=1122");
    }
}

// "LPT1LPT1..." over all 1024 bytes: it holds "LPT", so only its length can
// reject it, and reading it must stop inside the buffer.
TEST_F(EnumeratePortsTest, UnterminatedNameFillingTheBufferIsSkippedAsTooLong)
{
    FakeDevice endless = Port("LPT1", 0x378, 0x37F);
    endless.unterminatedName = true;
    EXPECT_TRUE(Enumerate({endless, Port("LPT2", 0x278, 0x27F)}));
    EXPECT_EQ(Names(), std::vector<std::string>{"LPT2"});
    EXPECT_EQ(fakes::Devices().resourceGets, 1);
}

}  // namespace
