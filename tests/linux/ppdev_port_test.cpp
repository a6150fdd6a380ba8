// The register mapping of linux/ppdev_port over a fake of its system calls:
// which ioctl each access makes, the direction bit, one claim per port, and
// what a caller sees when a port cannot be used, is held by another program,
// vanishes or comes back, or when a signal interrupts its claim.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "fake_system.h"
#include "linux/ppdev_port.h"

namespace {

using Calls = std::vector<std::string>;

class PpdevPortTest : public ::testing::Test {
protected:
    void SetUp() override { fake_system::Reset(); }

    // LPT1 at 378 (parport0) and LPT2 at 278 (parport1).
    std::unique_ptr<ppdev::PortSpace> TwoPorts(
        std::chrono::milliseconds claimWait = ppdev::PortSpace::kClaimWait)
    {
        std::vector<ppdev::ParallelPort> ports(2);
        ports[0].number = 0;
        ports[0].baseAddress = 0x378;
        ports[1].number = 1;
        ports[1].baseAddress = 0x278;
        return std::make_unique<ppdev::PortSpace>(ports, ppdev::Locations(), claimWait);
    }

    // Waits (up to 5 s) until some thread has made `call`.
    static void WaitForCall(const std::string& call)
    {
        for (int i = 0; i < 500; ++i) {
            {
                const std::lock_guard<std::mutex> lock(fake_system::lock);
                for (const std::string& made : fake_system::calls) {
                    if (made == call) return;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        FAIL() << "no call " << call;
    }

    // Moves the fake clock while another thread may be asking it.
    static void SetClock(long long milliseconds)
    {
        const std::lock_guard<std::mutex> lock(fake_system::lock);
        fake_system::now = milliseconds;
    }

    // The calls made since the last Take.
    Calls Take()
    {
        Calls taken = fake_system::calls;
        fake_system::calls.clear();
        return taken;
    }
};

TEST_F(PpdevPortTest, EachRegisterMapsToItsIoctlWithRawValues)
{
    auto space = TwoPorts();
    fake_system::status["parport0"] = 0x78;

    space->Write(0x378, 0x5A);
    EXPECT_EQ(Take(), (Calls{"parport0 open", "parport0 PPCLAIM", "parport0 PPWDATA 5A"}));
    EXPECT_EQ(space->Read(0x378), 0x5A);
    EXPECT_EQ(Take(), Calls{"parport0 PPRDATA"});
    EXPECT_EQ(space->Read(0x379), 0x78);
    EXPECT_EQ(Take(), Calls{"parport0 PPRSTATUS"});
    space->Write(0x379, 0x12);  // the status register ignores writes
    EXPECT_EQ(Take(), Calls{});
    space->Write(0x37A, 0x0B);
    EXPECT_EQ(Take(), Calls{"parport0 PPWCONTROL 0B"});
    EXPECT_TRUE(ppdev::PortSpace::LastAccessReached());
    EXPECT_EQ(space->Read(0x37A), 0x0B);
    EXPECT_EQ(Take(), Calls{"parport0 PPRCONTROL"});
    EXPECT_EQ(fake_system::diagnostics, Calls{});
    std::thread([&] { space->Read(0x300); }).join();  // another thread's, reaching no port
    EXPECT_TRUE(ppdev::PortSpace::LastAccessReached()) << "another thread's access decided it";
}

TEST_F(PpdevPortTest, DirectionBitIsKeptAndAppliedWithDatadirOnChange)
{
    auto space = TwoPorts();
    space->Write(0x37A, 0x2C);
    EXPECT_EQ(Take(), (Calls{"parport0 open", "parport0 PPCLAIM", "parport0 PPDATADIR 01",
                             "parport0 PPWCONTROL 0C"}));
    EXPECT_EQ(space->Read(0x37A), 0x2C) << "the driver never shows bit 5; the library does";
    space->Write(0x37A, 0x24);  // still reverse: no second PPDATADIR
    EXPECT_EQ(Take(), (Calls{"parport0 PPRCONTROL", "parport0 PPWCONTROL 04"}));
    space->Write(0x37A, 0x04);
    EXPECT_EQ(Take(), (Calls{"parport0 PPDATADIR 00", "parport0 PPWCONTROL 04"}));
    EXPECT_EQ(space->Read(0x37A), 0x04);
}

TEST_F(PpdevPortTest, EachPortIsClaimedOnceAndReleasedAtTheEnd)
{
    auto space = TwoPorts();
    for (int i = 0; i < 3; ++i) {
        space->Write(0x278, static_cast<std::uint8_t>(i));
        space->Read(0x379);
    }
    space.reset();
    EXPECT_EQ(
        fake_system::calls,
        (Calls{"parport1 open", "parport1 PPCLAIM", "parport1 PPWDATA 00", "parport0 open",
               "parport0 PPCLAIM", "parport0 PPRSTATUS", "parport1 PPWDATA 01",
               "parport0 PPRSTATUS", "parport1 PPWDATA 02", "parport0 PPRSTATUS",
               "parport0 PPRELEASE", "parport0 close", "parport1 PPRELEASE", "parport1 close"}));
}

TEST_F(PpdevPortTest, OtherAddressesReadFFDropWritesAndWarnOncePerAddress)
{
    auto space = TwoPorts();
    EXPECT_EQ(space->Read(0x37B), 0xFF);
    EXPECT_EQ(space->Read(0x37B), 0xFF);
    space->Write(0x3BC, 0x01);
    space->Write(0x3BC, 0x02);
    EXPECT_EQ(space->Read(0x377), 0xFF);
    EXPECT_EQ(Take(), Calls{}) << "no port is opened for an address that is not its register";
    ASSERT_EQ(fake_system::diagnostics.size(), 3u);
    EXPECT_NE(fake_system::diagnostics[0].find("I/O address 37B"), std::string::npos)
        << fake_system::diagnostics[0];
    EXPECT_NE(fake_system::diagnostics[1].find("I/O address 3BC"), std::string::npos)
        << fake_system::diagnostics[1];
}

struct FailureCase {
    const char* title;
    int openError;
    int claimError;
    const char* cause;  // part of the one message
    Calls calls;        // everything the accesses make
};

TEST_F(PpdevPortTest, UnusablePortGivesOneMessageFFAndDroppedWrites)
{
    const FailureCase cases[] = {
        {"no node", -ENOENT, 0, "ppdev module is not loaded", {"parport0 open"}},
        {"no permission", -EACCES, 0, "not in group lp", {"parport0 open"}},
        {"busy",
         0,
         -EBUSY,
         "holds the port",
         {"parport0 open", "parport0 PPCLAIM", "parport0 close"}},
    };
    for (const FailureCase& failure : cases) {
        SCOPED_TRACE(failure.title);
        fake_system::Reset();
        if (failure.openError != 0) fake_system::openError["parport0"] = failure.openError;
        if (failure.claimError != 0) fake_system::claimError["parport0"] = failure.claimError;
        auto space = TwoPorts();
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(space->Read(0x378), 0xFF);
            EXPECT_EQ(space->Read(0x379), 0xFF);
            EXPECT_EQ(space->Read(0x37A), 0xFF);
            space->Write(0x378, 0x55);
            space->Write(0x37A, 0x2C);
            EXPECT_FALSE(ppdev::PortSpace::LastAccessReached());
        }
        space.reset();
        EXPECT_EQ(fake_system::calls, failure.calls);
        ASSERT_EQ(fake_system::diagnostics.size(), 1u);
        const std::string& message = fake_system::diagnostics[0];
        EXPECT_NE(message.find("/dev/parport0"), std::string::npos) << message;
        EXPECT_NE(message.find(failure.cause), std::string::npos) << message;
    }
}

TEST_F(PpdevPortTest, ClaimInterruptedBySignalIsMadeAgain)
{
    fake_system::interruptedClaims["parport0"] = 1;
    auto space = TwoPorts();
    space->Write(0x378, 0x5A);
    EXPECT_EQ(space->Read(0x378), 0x5A);
    EXPECT_EQ(Take(), (Calls{"parport0 open", "parport0 PPCLAIM", "parport0 PPCLAIM",
                             "parport0 PPWDATA 5A", "parport0 PPRDATA"}));
    EXPECT_EQ(fake_system::diagnostics, Calls{});
}

TEST_F(PpdevPortTest, VanishedPortIsTriedAgainAtMostOnceASecondAndWorksAgain)
{
    auto space = TwoPorts();
    EXPECT_EQ(space->Read(0x379), 0x7F);
    Take();
    fake_system::registerError["parport0"] = -ENODEV;  // the adapter unplugged
    EXPECT_EQ(space->Read(0x379), 0xFF);
    EXPECT_EQ(Take(), Calls{"parport0 close"});
    fake_system::registerError.clear();
    fake_system::openError["parport0"] = -ENXIO;  // no port behind the node now
    fake_system::now = 999;
    EXPECT_EQ(space->Read(0x379), 0xFF);
    space->Write(0x378, 0x01);
    EXPECT_EQ(Take(), Calls{}) << "tried again within a second";
    fake_system::now = 1000;
    EXPECT_EQ(space->Read(0x379), 0xFF);
    EXPECT_EQ(space->Read(0x379), 0xFF);
    EXPECT_EQ(Take(), Calls{"parport0 open"});
    fake_system::now = 2000;
    EXPECT_EQ(space->Read(0x379), 0xFF);
    EXPECT_EQ(Take(), Calls{"parport0 open"});
    fake_system::openError.clear();  // plugged in again
    fake_system::now = 2999;
    EXPECT_EQ(space->Read(0x379), 0xFF);
    fake_system::now = 3000;
    EXPECT_EQ(space->Read(0x379), 0x7F);
    EXPECT_EQ(Take(), (Calls{"parport0 open", "parport0 PPCLAIM", "parport0 PPRSTATUS"}));
    EXPECT_EQ(fake_system::diagnostics,
              (Calls{"ppdev: cannot use /dev/parport0 (LPT1 at 378): No such device; likely "
                     "cause: no port behind the node: load parport_pc and ppdev (modprobe -a "
                     "parport_pc ppdev), or plug the adapter in again. Its reads give FF and "
                     "writes are dropped; tried again at most once a second.",
                     "ppdev: cannot open /dev/parport0 (LPT1 at 378): No such device or address; "
                     "likely cause: no port behind the node: load parport_pc and ppdev "
                     "(modprobe -a parport_pc ppdev), or plug the adapter in again. Its reads "
                     "give FF and writes are dropped; tried again at most once a second.",
                     "ppdev: /dev/parport0 (LPT1 at 378) can be used again."}));
}

TEST_F(PpdevPortTest, PortHeldByAnotherProgramWaitsBoundedWithoutHoldingUpOtherPorts)
{
    fake_system::Hold("parport0", true);
    {
        auto space = TwoPorts();  // the fake clock stands still: the claim wait never ends
        std::atomic<int> lpt1{-1};
        std::thread reader([&] { lpt1 = space->Read(0x379); });
        WaitForCall("parport0 open");
        EXPECT_EQ(space->Read(0x279), 0x7F);
        EXPECT_EQ(lpt1, -1) << "LPT2's read waited for LPT1's claim";
        fake_system::Hold("parport0", false);
        reader.join();
        EXPECT_EQ(lpt1, 0x7F) << "the claim succeeded within the wait";
        EXPECT_EQ(Take(), (Calls{"parport0 open", "parport1 open", "parport1 PPCLAIM",
                                 "parport1 PPRSTATUS", "parport0 PPCLAIM", "parport0 PPRSTATUS"}));
    }
    fake_system::Reset();
    fake_system::Hold("parport0", true);
    auto space = TwoPorts(std::chrono::milliseconds(20500));
    std::atomic<int> waited{-1};
    std::thread reader([&] { waited = space->Read(0x379); });
    WaitForCall("parport0 open");
    SetClock(20500);  // the claim wait ends on the system's clock, not on a clock of its own
    for (int i = 0; i < 500 && waited == -1; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(waited, 0xFF) << "the claim wait did not end with the clock";
    reader.join();
    space->Write(0x378, 0x55);
    EXPECT_EQ(space->Read(0x379), 0xFF);
    ASSERT_EQ(fake_system::diagnostics.size(), 1u);
    EXPECT_EQ(fake_system::diagnostics[0],
              "ppdev: cannot claim /dev/parport0 (LPT1 at 378) within 21 s: held by another "
              "program. Its reads give FF and writes are dropped until that program releases it.");
    fake_system::Hold("parport0", false);
    int value = 0xFF;
    for (int i = 0; i < 500 && value == 0xFF; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        value = space->Read(0x379);
    }
    EXPECT_EQ(value, 0x7F) << "the claim that went on waiting got the port";
    EXPECT_EQ(Take(), (Calls{"parport0 open", "parport0 PPCLAIM", "parport0 PPRSTATUS"}));
    EXPECT_EQ(fake_system::diagnostics.size(), 2u);
}

TEST(FindPortsTest, ListsParportEntriesByNumberWithBothBases)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "ppdev-proc-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::string root(pattern);
    const auto entry = [&](const std::string& name, const char* contents) {
        ASSERT_EQ(std::system(("mkdir -p " + root + "/" + name).c_str()), 0);
        if (contents != nullptr) std::ofstream(root + "/" + name + "/base-addr") << contents;
    };
    entry("parport10", "956\t0\n");
    entry("parport0", "888\t1912\n");
    entry("parport1", "632\n");
    entry("default", nullptr);   // the kernel's settings folder, not a port
    entry("parport2", nullptr);  // no base address
    entry("parportx", "888\t1912\n");
    entry("parport00", "888\t1912\n");  // another spelling of LPT1
    entry("parport01", "888\t1912\n");
    entry("parport4294967296", "888\t1912\n");  // LPT1 again, were N to wrap
    entry("parport3", "0\t0\n");                // a USB adapter: no I/O address

    fake_system::Reset();
    std::set<std::string> reported;
    ppdev::FindPorts(root, &reported);
    const std::vector<ppdev::ParallelPort> ports = ppdev::FindPorts(root, &reported);
    EXPECT_EQ(fake_system::diagnostics,
              Calls{"ppdev: parport3 is not listed: it has no I/O address (base 0, as a USB "
                    "adapter has), so programs that address the port's registers cannot reach "
                    "it"});
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].number, 0u);
    EXPECT_EQ(ports[0].baseAddress, 0x378);
    EXPECT_EQ(ports[0].secondBase, 0x778);
    EXPECT_EQ(ports[1].number, 1u);
    EXPECT_EQ(ports[1].baseAddress, 0x278);
    EXPECT_EQ(ports[1].secondBase, 0);
    EXPECT_EQ(ports[2].number, 10u);
    EXPECT_EQ(ports[2].baseAddress, 0x3BC);

    EXPECT_TRUE(ppdev::FindPorts(root + "/missing").empty());
    std::system(("rm -rf " + root).c_str());
}

}  // namespace
