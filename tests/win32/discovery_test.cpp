// Discovery at load under Wine, with the get_io.dll stand-in describing the
// device list: what the exports then find, and that every device opened at
// load was closed and every resource record released.
#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>

#include "test_support.h"

using namespace test_support;

namespace {

struct StandInStats {
    long devicesOpen = -1;
    long resourcesHeld = -1;
};

StandInStats ReadStats()
{
    using StatsFunction = void(__cdecl*)(long*, long*);
    StandInStats stats;
    HMODULE module = GetModuleHandleA("get_io.dll");
    auto function = module == nullptr ? nullptr
                                      : reinterpret_cast<StatsFunction>(reinterpret_cast<void*>(
                                            GetProcAddress(module, "GetIoStandInStats")));
    if (function != nullptr) function(&stats.devicesOpen, &stats.resourcesHeld);
    return stats;
}

struct Scenario {
    const char* name;
    const char* description;  // the get_io stand-in's device list
    // fnOrvane_setParallelPort(1..4)
    int selectResults[4];
    // Base address that LPT1 addresses when found, else 0.
    unsigned short lpt1Base;
    // Log lines discovery must leave (each followed by CRLF), "|"-separated.
    const char* logLines;
};

const Scenario kScenarios[] = {
    {"default list", nullptr, {0, -2, -2, -2}, 0x378, "LPT1 (378-37F)"},
    {"two ports, LPT2 first",
     "device LPT2\nrange 278 27F\ndevice LPT1\nrange 3BC 3BF\n",
     {0, 0, -2, -2},
     0x3BC,
     "LPT2 (278-27F)|LPT1 (3BC-3BF)"},
    {"count fails",
     "count-error 1168\n",
     {-2, -2, -2, -2},
     0,
     "Failed to get number of devices error=1168"},
    {"empty list", "# no devices\n", {-2, -2, -2, -2}, 0, "No I/O devices found"},
    {"none parallel",
     "device COM1\nrange 3F8 3FF\ndevice COM2\nrange 2F8 2FF\n",
     {-2, -2, -2, -2},
     0,
     ""},
    {"every failure",
     "device LPT1\nrange 378 37F\nfail open\n"
     "device LPT2\nrange 278 27F\nfail property\n"
     "device LPT3\nrange 3BC 3BF\nfail resources\n"
     "device LPT4\n"
     "device-fill L\n"
     "device lpt5\nrange 100 107\n"
     "device ECP LPT6\nrange 2BC 2BF\n",
     {-2, -2, -2, -2},
     0,
     "ECP LPT6 (2BC-2BF)"},
};

class DiscoveryTest : public ::testing::TestWithParam<Scenario> {};

TEST_P(DiscoveryTest, PortsFoundAtLoadAreSelectableByNumber)
{
    const Scenario& scenario = GetParam();
    ScratchDirectory scratch;
    std::unique_ptr<DeviceDescription> devices =
        scenario.description == nullptr ? std::make_unique<DeviceDescription>()
                                        : std::make_unique<DeviceDescription>(scenario.description);
    {
        LoadedLibrary library;
        ASSERT_NE(library.Handle(), nullptr) << library.LoadError();
        Exports calls(library);

        const StandInStats stats = ReadStats();
        EXPECT_EQ(stats.devicesOpen, 0) << "devices left open by discovery";
        EXPECT_EQ(stats.resourcesHeld, 0) << "resource records left unreleased";

        for (int number = 1; number <= 4; ++number) {
            EXPECT_EQ(calls.setParallelPort(number), scenario.selectResults[number - 1])
                << "LPT" << number;
        }
        if (scenario.lpt1Base != 0) {
            ASSERT_EQ(calls.setParallelPort(1), 0);
            SimReset();
            const unsigned long start = SimTraceCount();
            EXPECT_EQ(calls.setParallelOutputPin(3, 1), 0);
            const std::vector<SimPortAccess> trace = TraceSince(start);
            ASSERT_EQ(trace.size(), 2u) << Describe(trace);
            EXPECT_EQ(trace[0].address, scenario.lpt1Base);
            EXPECT_EQ(trace[1].address, scenario.lpt1Base);
            EXPECT_EQ(trace[1].value, 0x02);
        } else {
            // No LPT1 in the table: after a failed choice nothing is selected.
            EXPECT_EQ(calls.setParallelOutputPin(3, 1), -1);
        }
    }
    devices.reset();

    std::string expected;
    for (std::string lines = scenario.logLines; !lines.empty();) {
        const std::size_t bar = lines.find('|');
        expected += "|" + lines.substr(0, bar);
        lines = bar == std::string::npos ? std::string() : lines.substr(bar + 1);
    }
    // The log's messages in order, each stripped of its time stamp.
    std::string actual;
    const std::string log = scratch.LogFile();
    for (std::size_t at = 0; at < log.size();) {
        const std::size_t end = log.find("\r\n", at);
        const std::string line = log.substr(at, end - at);
        at = end == std::string::npos ? log.size() : end + 2;
        if (line.size() > 24 && line.find("Pin") == std::string::npos &&
            line.find("Port is set") == std::string::npos) {
            actual += "|" + line.substr(24);
        }
    }
    EXPECT_EQ(actual.substr(0, expected.size()), expected) << log;
}

INSTANTIATE_TEST_SUITE_P(DeviceLists, DiscoveryTest, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& parameter) {
                             std::string name;
                             for (const char* c = parameter.param.name; *c; ++c) {
                                 if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                             }
                             return name;
                         });

TEST(DiscoveryFallback, PinCallsUseTheFallbackAddressUntilAPortIsChosen)
{
    ScratchDirectory scratch;
    DeviceDescription devices("# nothing listed\n");
    LoadedLibrary library;
    Exports calls(library);
    SimReset();
    unsigned long start = SimTraceCount();
    EXPECT_EQ(calls.setParallelOutputPin(2, 1), 0);
    EXPECT_EQ(Describe(TraceSince(start)), "R 378=00 W 378=01");
    // Row 0 carries the fallback address but no name: choosing by number fails
    // and clears the selection, until an address is set.
    EXPECT_EQ(calls.setParallelPort(1), -2);
    EXPECT_EQ(calls.setParallelOutputPin(2, 1), -1);
    EXPECT_EQ(calls.setParallelPortAddress("2", "7", "8", ""), 0);
    start = SimTraceCount();
    EXPECT_EQ(calls.setParallelOutputPin(2, 1), 0);
    EXPECT_EQ(Describe(TraceSince(start)), "R 278=00 W 278=01");
}

}  // namespace
