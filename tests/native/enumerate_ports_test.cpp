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
        std::vector<std::string> names;
        for (int row = 0; row < State(controller).portCount && row < PortController::kMaxPorts;
             ++row) {
            names.push_back(State(controller).portTable[row].name);
        }
        return names;
    }

    void TearDown() override
    {
        const fakes::FakeDeviceList& list = fakes::Devices();
        EXPECT_EQ(list.opens, list.closes) << "devices opened and closed";
        EXPECT_EQ(list.closeCalls, list.closes) << "closes of devices never opened";
        EXPECT_EQ(list.resourceGets, list.resourceFrees) << "resource records got and freed";
        for (const std::string& name : list.classesAsked) EXPECT_EQ(name, "port");
        for (const std::string& name : list.propertiesAsked) EXPECT_EQ(name, "PORTNAME");
        for (std::uint32_t length : list.propertyLengthsPassed) EXPECT_EQ(length, 1024u);
        EXPECT_LE(State(controller).portCount, PortController::kMaxPorts);
    }
};

TEST_F(EnumeratePortsTest, RecordsLptPortsWithLabelsAndAddresses)
{
    EXPECT_TRUE(Enumerate(
        {Port("COM1", 0x3F8, 0x3FF), Port("LPT1", 0x378, 0x37F), Port("ECP LPT2", 0x278, 0x27F)}));
    ASSERT_EQ(State(controller).portCount, 2);
    EXPECT_STREQ(State(controller).portTable[0].name, "LPT1");
    EXPECT_STREQ(State(controller).portTable[0].label, "LPT1 (378-37F)");
    EXPECT_EQ(State(controller).portTable[0].baseAddress, 0x378);
    EXPECT_STREQ(State(controller).portTable[1].name, "ECP LPT2");
    EXPECT_STREQ(State(controller).portTable[1].label, "ECP LPT2 (278-27F)");
    EXPECT_EQ(State(controller).portTable[1].baseAddress, 0x278);
    EXPECT_EQ(State(controller).selectedIndex, -1);
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
    EXPECT_STREQ(State(controller).portTable[0].label, "LPT1 (3BC-3BE)");
    EXPECT_STREQ(State(controller).portTable[1].label, "LPT2 (A0-AF)");
    EXPECT_STREQ(State(controller).portTable[2].label, "LPT3 (E800-FFFF)");
    EXPECT_STREQ(State(controller).portTable[3].label, "LPT4 (0-7)");
    EXPECT_EQ(State(controller).portTable[2].baseAddress, 0xE800);
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
        EXPECT_EQ(State(controller).portCount, test.recorded ? 1 : 0);
        if (test.recorded) {
            EXPECT_STREQ(State(controller).portTable[0].name, test.name);
        }
        EXPECT_EQ(Debugger().size(), test.recorded ? 1u : 0u);
    }
}

TEST_F(EnumeratePortsTest, KeepsTheDeviceListsOrder)
{
    EXPECT_TRUE(Enumerate({Port("LPT2", 0x278, 0x27F), Port("LPT1", 0x378, 0x37F)}));
    EXPECT_EQ(Names(), (std::vector<std::string>{"LPT2", "LPT1"}));
    EXPECT_EQ(controller.SelectPortByNumber(1), 0);
    EXPECT_EQ(State(controller).selectedIndex, 1);
}

TEST_F(EnumeratePortsTest, PortWithoutRangesIsSkippedAndItsRecordFreed)
{
    FakeDevice bare;
    bare.name = "LPT1";
    EXPECT_FALSE(Enumerate({bare}));
    EXPECT_EQ(State(controller).portCount, 0);
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
    fakes::Devices().countFails = true;
    fakes::Devices().lastError = 1168;
    State(controller).portCount = 3;
    EXPECT_FALSE(controller.EnumeratePorts());
    EXPECT_EQ(State(controller).portCount, 0);
    EXPECT_EQ(State(controller).selectedIndex, 0);
    EXPECT_EQ(State(controller).portTable[0].baseAddress, 0x378);
    EXPECT_EQ(Debugger(), std::vector<std::string>{"Failed to get number of devices error=1168"});
    EXPECT_EQ(LogFile(), FileLine("Failed to get number of devices error=1168"));
    EXPECT_EQ(fakes::Devices().opens, 0);
}

TEST_F(EnumeratePortsTest, EmptyListFallsBackTo378)
{
    EXPECT_FALSE(Enumerate({}));
    EXPECT_EQ(State(controller).portCount, 0);
    EXPECT_EQ(State(controller).selectedIndex, 0);
    EXPECT_EQ(State(controller).portTable[0].baseAddress, 0x378);
    EXPECT_EQ(Debugger(), std::vector<std::string>{"No I/O devices found"});
    EXPECT_EQ(fakes::Devices().countCalls, 1);
}

TEST_F(EnumeratePortsTest, DevicesOfWhichNoneQualifiesLeaveNoPort)
{
    FakeDevice bare;
    bare.name = "LPT1";
    EXPECT_FALSE(Enumerate({Port("COM1", 0x3F8, 0x3FF), bare, Port("lpt2", 0x278, 0x27F)}));
    EXPECT_EQ(State(controller).portCount, 0);
    EXPECT_EQ(State(controller).selectedIndex, -1);
    EXPECT_EQ(State(controller).portTable[0].baseAddress, 0);
    EXPECT_TRUE(Debugger().empty());
    EXPECT_EQ(LogFile(), "");
}

TEST_F(EnumeratePortsTest, SuccessLeavesTheSelectionAlone)
{
    State(controller).selectedIndex = 4;
    EXPECT_TRUE(Enumerate({Port("LPT1", 0x378, 0x37F)}));
    EXPECT_EQ(State(controller).selectedIndex, 4);
}

// The fields after the table would be the first to be overwritten by an
// eleventh row; AddressSanitizer cannot see a write that stays inside the
// object, so they are checked by value.
TEST_F(EnumeratePortsTest, NoMoreThanTenRows)
{
    for (int devices : {11, 15}) {
        SCOPED_TRACE(devices);
        fakes::ResetDevices();
        FreshController();
        State(controller).outData = 0x1111;
        State(controller).outControl = 0x2222;
        State(controller).inData = 0x3333;
        State(controller).inStatus = 0x4444;
        std::vector<FakeDevice> list;
        for (int index = 1; index <= devices; ++index) {
            list.push_back(Port("LPT" + std::to_string(index),
                                static_cast<std::uint16_t>(0x100 * index), 0xFFFF));
        }
        EXPECT_TRUE(Enumerate(list));
        EXPECT_EQ(State(controller).portCount, 10);
        EXPECT_EQ(State(controller).selectedIndex, -1);
        EXPECT_EQ(State(controller).outData, 0x1111);
        EXPECT_EQ(State(controller).outControl, 0x2222);
        EXPECT_EQ(State(controller).inData, 0x3333);
        EXPECT_EQ(State(controller).inStatus, 0x4444);
        EXPECT_STREQ(State(controller).portTable[9].name, "LPT10");
        EXPECT_EQ(State(controller).portTable[9].baseAddress, 0xA00);
        EXPECT_EQ(fakes::Devices().opens, devices);
        EXPECT_EQ(fakes::Devices().closes, devices);
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
