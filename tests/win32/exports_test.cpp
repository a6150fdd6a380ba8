// The real Doruzeda_DO.dll under Wine with the simulated port: exports by name
// and by ordinal, results, the port accesses they cause, the log file.
#include <gtest/gtest.h>

#include <climits>
#include <regex>
#include <string>

#include "test_support.h"

using namespace test_support;

namespace {

// The simulated port's write (ordinal 2), as the library makes it.
void PortWrite(unsigned short address, unsigned short value)
{
    using Write = void(__stdcall*)(unsigned short, unsigned short);
    const FARPROC write = GetProcAddress(GetModuleHandleA("INPOUT32.dll"), MAKEINTRESOURCEA(2));
    ASSERT_NE(write, nullptr);
    reinterpret_cast<Write>(reinterpret_cast<void*>(write))(address, value);
}

const char* const kNamesByOrdinal[] = {
    "fnOrvane_fetchParallelInputPin",
    "fnOrvane_getParallelInputAll",
    "fnOrvane_getParallelInputPin",
    "fnOrvane_rudAdado",
    "fnOrvane_prepareParallelOutputBuffer",
    "fnOrvane_prepareParallelOutputPin",
    "fnOrvane_setParallelOutputAll",
    "fnOrvane_setParallelOutputPin",
    "fnOrvane_setParallelPort",
    "fnOrvane_setParallelPortAddress",
};

// Each test: a fresh scratch directory, the default device list (LPT1 at
// 378), zeroed simulated registers, and a fresh load of the library.
class ExportsTest : public ::testing::Test {
protected:
    ExportsTest() : devices(), library(), calls(library)
    {
        SimReset();
        // LPT1 at 378, the stand-in's default device.
        selectResult = calls.setParallelPort(1);
        traceStart = SimTraceCount();
    }

    void SetUp() override { ASSERT_EQ(selectResult, 0); }

    std::vector<SimPortAccess> Trace() const { return TraceSince(traceStart); }
    void MarkTrace() { traceStart = SimTraceCount(); }

    ScratchDirectory scratch;
    DeviceDescription devices;
    LoadedLibrary library;
    Exports calls;
    unsigned long traceStart = 0;
    int selectResult = 0;
};

TEST_F(ExportsTest, EveryExportIsFoundByNameAndByItsOrdinal)
{
    ASSERT_NE(library.Handle(), nullptr) << "LoadLibrary error " << library.LoadError();
    for (WORD ordinal = 1; ordinal <= 10; ++ordinal) {
        FARPROC byName = GetProcAddress(library.Handle(), kNamesByOrdinal[ordinal - 1]);
        FARPROC byOrdinal = GetProcAddress(library.Handle(), MAKEINTRESOURCEA(ordinal));
        EXPECT_NE(byName, nullptr) << kNamesByOrdinal[ordinal - 1];
        EXPECT_EQ(byName, byOrdinal) << "ordinal " << ordinal;
    }
    EXPECT_TRUE(calls.AllFound());
}

TEST_F(ExportsTest, SetPinOutputWritesTheRegisterAndALogLine)
{
    ASSERT_EQ(calls.setParallelPortAddress("3", "7", "8", ""), 0);
    SimPoke(0x37A, 0x0F);
    MarkTrace();
    EXPECT_EQ(calls.setParallelOutputPin(1, 1), 0);   // inverted: clears control bit 0
    EXPECT_EQ(calls.setParallelOutputPin(16, 1), 0);  // sets control bit 2 (already set)
    EXPECT_EQ(calls.setParallelOutputPin(5, 7), 0);   // any non-zero level is high
    EXPECT_EQ(Describe(Trace()), "R 37A=0F W 37A=0E R 37A=0E W 37A=0E R 378=00 W 378=08");

    // The call's own line, stamped with the local date month first (the date
    // before or after the call, should midnight fall between them).
    SYSTEMTIME before;
    GetLocalTime(&before);
    ASSERT_EQ(calls.setParallelOutputPin(2, 1), 0);
    SYSTEMTIME after;
    GetLocalTime(&after);
    const std::string log = scratch.LogFile();
    bool stamped = false;
    for (const SYSTEMTIME& day : {before, after}) {
        char date[16];
        snprintf(date, sizeof date, "%02u/%02u/%04u ", day.wMonth, day.wDay, day.wYear);
        const std::regex line("(^|\n)" + std::string(date) +
                              R"(\d\d:\d\d:\d\d\.\d{3} SetPinOutput\(2, 1\) Port=378\r\n)");
        stamped = stamped || std::regex_search(log, line);
    }
    EXPECT_TRUE(stamped) << log;
    const std::regex manual(
        R"((^|\n)\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\.\d{3} Port is set by setParallelPortAddress\(\) Port=378\r\n)");
    EXPECT_TRUE(std::regex_search(log, manual)) << log;
    EXPECT_EQ(log.find("\n\n"), std::string::npos) << "every line ends in CRLF";
    EXPECT_EQ(log.find("\r\r"), std::string::npos) << log;
}

TEST_F(ExportsTest, GetPinInputReadsTheStatusLines)
{
    SimSetInputLines(0x378, 0xC0);  // pin 10 high; pin 11's bit set, so pin 11 low
    PortWrite(0x379, 0x00);         // inputs: a write to them changes nothing
    MarkTrace();
    EXPECT_EQ(calls.getParallelInputPin(10), 1);
    EXPECT_EQ(calls.getParallelInputPin(11), 0);
    EXPECT_EQ(calls.getParallelInputPin(12), 0);
    EXPECT_EQ(Describe(Trace()), "R 379=C0 R 379=C0 R 379=C0");
    EXPECT_NE(scratch.LogFile().find("GetPinInput(11) Port=378\r\n"), std::string::npos);
}

TEST_F(ExportsTest, BufferedPatternWritesDataThenControlOnce)
{
    SimPoke(0x378, 0x81);
    SimPoke(0x37A, 0x00);
    MarkTrace();
    EXPECT_EQ(calls.prepareParallelOutputBuffer(), 0);
    EXPECT_EQ(calls.prepareParallelOutputPin(2, 0), 0);
    EXPECT_EQ(calls.prepareParallelOutputPin(3, 1), 0);
    EXPECT_EQ(calls.prepareParallelOutputPin(17, 1), 0);  // clears bit 3: already clear
    EXPECT_EQ(calls.prepareParallelOutputPin(14, 0), 0);  // inverted: sets bit 1
    EXPECT_EQ(calls.prepareParallelOutputPin(10, 1), -2);
    EXPECT_EQ(calls.setParallelOutputAll(), 0);
    EXPECT_EQ(Describe(Trace()), "R 378=81 R 37A=00 W 378=82 W 37A=02");
    EXPECT_EQ(scratch.LogFile().find("Pin"), std::string::npos)
        << "buffered calls write no log line";
}

TEST_F(ExportsTest, SnapshotIsReadOnceAndFetchedWithoutPortAccess)
{
    SimPoke(0x378, 0x04);
    SimSetInputLines(0x378, 0x28);  // pins 12 and 15 high, pin 11 high (bit clear)
    MarkTrace();
    EXPECT_EQ(calls.getParallelInputAll(), 0);
    EXPECT_EQ(Describe(Trace()), "R 378=04 R 379=28");
    MarkTrace();
    const int expected[] = {-2, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 1, 0, -2, 1, -2, -2};
    for (int pin = 1; pin <= 17; ++pin) {
        EXPECT_EQ(calls.fetchParallelInputPin(pin), expected[pin - 1]) << "pin " << pin;
    }
    EXPECT_TRUE(Trace().empty()) << Describe(Trace());
}

TEST_F(ExportsTest, RefusedCallsTouchNeitherPortNorLog)
{
    const int pins[] = {INT_MIN, -1, 0, 18, 25, 26, INT_MAX};
    MarkTrace();
    for (int pin : pins) {
        EXPECT_EQ(calls.setParallelOutputPin(pin, 1), -2) << pin;
        EXPECT_EQ(calls.setParallelOutputPin(pin, INT_MIN), -2) << pin;
        EXPECT_EQ(calls.getParallelInputPin(pin), -2) << pin;
        EXPECT_EQ(calls.prepareParallelOutputPin(pin, INT_MAX), -2) << pin;
        EXPECT_EQ(calls.fetchParallelInputPin(pin), -2) << pin;
    }
    EXPECT_EQ(calls.setParallelOutputPin(10, 1), -2);  // readable, not settable
    EXPECT_EQ(calls.getParallelInputPin(16), -2);      // settable, not readable
    EXPECT_EQ(calls.setParallelPort(0), -1);
    EXPECT_EQ(calls.setParallelPort(11), -1);
    EXPECT_EQ(calls.setParallelPort(INT_MIN), -1);
    EXPECT_TRUE(Trace().empty()) << Describe(Trace());
    // Discovery's line is the only one.
    EXPECT_EQ(scratch.LogFile().find("Pin"), std::string::npos) << scratch.LogFile();
}

TEST_F(ExportsTest, WithoutASelectionEveryPortCallAnswersMinusOne)
{
    ASSERT_EQ(calls.setParallelPort(3), -2);  // no LPT3: the selection is cleared
    MarkTrace();
    EXPECT_EQ(calls.setParallelOutputPin(99, 1), -1) << "selection is tested before the pin";
    EXPECT_EQ(calls.setParallelOutputPin(2, 1), -1);
    EXPECT_EQ(calls.getParallelInputPin(2), -1);
    EXPECT_EQ(calls.prepareParallelOutputBuffer(), -1);
    EXPECT_EQ(calls.prepareParallelOutputPin(2, 1), 0) << "needs no port";
    EXPECT_EQ(calls.setParallelOutputAll(), -1);
    EXPECT_EQ(calls.getParallelInputAll(), -1);
    EXPECT_EQ(calls.fetchParallelInputPin(2), -1);
    EXPECT_TRUE(Trace().empty()) << Describe(Trace());
    EXPECT_EQ(calls.setParallelPort(1), 0);
    EXPECT_EQ(calls.setParallelOutputAll(), 0);
}

TEST_F(ExportsTest, ManualAddressSelectsTheNewPort)
{
    EXPECT_EQ(calls.setParallelPortAddress("0", "2", "7", "8"), 0);
    MarkTrace();
    EXPECT_EQ(calls.setParallelOutputPin(9, 1), 0);
    EXPECT_EQ(Describe(Trace()), "R 278=00 W 278=80");
    EXPECT_NE(scratch.LogFile().find("SetPinOutput(9, 1) Port=278\r\n"), std::string::npos);
    // Row 0 was LPT1: choosing it by number now addresses the manual address.
    EXPECT_EQ(calls.setParallelPort(1), 0);
    MarkTrace();
    EXPECT_EQ(calls.getParallelInputPin(9), 1);
    EXPECT_EQ(Describe(Trace()), "R 278=80");
}

TEST_F(ExportsTest, NullAddressStringsCountAsEmptyAndDoNotCrash)
{
    EXPECT_EQ(calls.setParallelPortAddress(nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(calls.setParallelPortAddress("2", "7", nullptr, "9"), 0);  // "27"
    // 27 is among the system board's addresses: refused, as any base below 100.
    MarkTrace();
    EXPECT_EQ(calls.setParallelOutputPin(2, 1), -1);
    EXPECT_EQ(Describe(Trace()), "");
    EXPECT_NE(scratch.LogFile().find("Port is set by setParallelPortAddress() Port=27\r\n"),
              std::string::npos);
}

}  // namespace
