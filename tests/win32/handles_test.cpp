// Handles across load/unload cycles: a host that unloads and loads its
// extensions again and again must not see its handle or thread count grow
// (test_support's HandlesByType). The first cycle may leave what stays for
// the process's life (the loader's and the window system's own, the system
// pool's threads); from the second on, each cycle must leave nothing.
#include <gtest/gtest.h>

#include "test_support.h"  // windows.h first

#include <map>
#include <string>

using namespace test_support;

namespace {

constexpr int kCycles = 50;

// Runs `cycle` kCycles times; the handle counts by type before the second
// and after the last must be equal.
template <typename Cycle>
void ExpectNoHandleGrows(Cycle cycle)
{
    ASSERT_TRUE(cycle());
    const std::map<std::string, int> before = HandlesByType();
    ASSERT_FALSE(before.empty()) << "the process's handles cannot be listed";
    for (int round = 1; round < kCycles; ++round) {
        ASSERT_TRUE(cycle()) << "cycle " << round + 1;
    }
    const std::map<std::string, int> after = HandlesSettledTo(before);
    EXPECT_EQ(before, after) << "before the second cycle: " << DescribeCounts(before)
                             << "\nafter the last: " << DescribeCounts(after);
}

// Loads `name`, calls its function of ordinal `ordinal` (when not 0) with
// `call`, unloads it. False when it does not load.
template <typename Call>
bool LoadCallUnload(const char* name, WORD ordinal, Call call)
{
    const HMODULE module = LoadLibraryA(name);
    if (module == nullptr) return false;
    if (ordinal != 0) {
        FARPROC function = GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
        if (function == nullptr) return false;
        call(function);
    }
    return FreeLibrary(module) != FALSE;
}

// With whatever INPOUT32.dll and get_io.dll lie beside the program: the
// stand-ins in the Win32 build's folder, the Linux libraries in the Wine
// fake-device test (tests/linux/wine-fake-ppdev.sh).
TEST(HandlesAcrossCycles, TheLibraryLeavesNone)
{
    ScratchDirectory scratch;   // the log file
    DeviceDescription devices;  // LPT1 at 378, selected at load
    ExpectNoHandleGrows([] {
        LoadedLibrary library;
        Exports calls(library);
        // A call that takes the controller's guard, accesses the port and logs.
        return calls.AllFound() && calls.setParallelOutputPin(2, 1) == 0;
    });
}

// DORUZEDA_RECORD: every load records, from its load to its unload, each
// into a file of its own.
TEST(HandlesAcrossCycles, TheLibraryRecordingEveryLoadLeavesNone)
{
    ScratchDirectory scratch;
    DeviceDescription devices;
    SetEnvironmentVariableA("DORUZEDA_RECORD", "cycle.vcd");
    ExpectNoHandleGrows([] {
        LoadedLibrary library;
        Exports calls(library);
        return calls.AllFound() && calls.setParallelOutputPin(1, 0) == 0;
    });
    SetEnvironmentVariableA("DORUZEDA_RECORD", nullptr);
}

TEST(HandlesAcrossCycles, ThePortStandInAloneLeavesNone)
{
    ExpectNoHandleGrows([] {
        return LoadCallUnload("INPOUT32.dll", 2, [](FARPROC function) {
            reinterpret_cast<void(__stdcall*)(unsigned short, unsigned short)>(
                reinterpret_cast<void*>(function))(0x378, 0x55);
        });
    });
}

TEST(HandlesAcrossCycles, TheDeviceListStandInAloneLeavesNone)
{
    ExpectNoHandleGrows([] {
        return LoadCallUnload("get_io.dll", 5, [](FARPROC function) {
            DWORD count = 0;
            reinterpret_cast<int(__cdecl*)(const char*, DWORD*)>(reinterpret_cast<void*>(function))(
                "port", &count);
        });
    });
}

TEST(HandlesAcrossCycles, TheHostModuleStandInAloneLeavesNone)
{
    ExpectNoHandleGrows([] { return LoadCallUnload("kxmacro.dll", 0, [](FARPROC) {}); });
}

}  // namespace
