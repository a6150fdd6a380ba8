// Handles across load/unload cycles: a host that unloads and loads its
// extensions again and again must not see its handle count grow. Counted by
// type through the system's handle list, filtered to this process (Wine's
// GetProcessHandleCount gives 0). The first cycle may leave what stays for
// the process's life (the loader's and the window system's own); from the
// second on, each cycle must leave nothing.
#include <gtest/gtest.h>

#include "test_support.h"  // windows.h first

#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace test_support;

namespace {

constexpr int kCycles = 50;

// The system's handle list (information class 16), as ntdll returns it.
struct HandleEntry {
    ULONG process;
    UCHAR type;
    UCHAR flags;
    USHORT value;
    void* object;
    ACCESS_MASK access;
};
struct HandleList {
    ULONG count;
    HandleEntry entries[1];
};
struct TypeInformation {  // the start of what information class 2 returns
    USHORT length;        // of the name, in bytes
    USHORT maximumLength;
    const WCHAR* name;
    ULONG rest[32];
};

using QuerySystem = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
using QueryObject = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
constexpr ULONG kSystemHandleInformation = 16;
constexpr ULONG kObjectTypeInformation = 2;
constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004);

std::string TypeName(QueryObject queryObject, USHORT value, UCHAR type)
{
    std::vector<unsigned char> buffer(sizeof(TypeInformation) + 512);
    HANDLE handle = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(value));
    if (queryObject(handle, kObjectTypeInformation, buffer.data(),
                    static_cast<ULONG>(buffer.size()), nullptr) == 0) {
        const auto* info = reinterpret_cast<const TypeInformation*>(buffer.data());
        std::string name;
        for (USHORT at = 0; at < info->length / 2; ++at) {
            name += static_cast<char>(info->name[at]);
        }
        if (!name.empty()) return name;
    }
    return "type " + std::to_string(type);
}

// This process's handles, counted by type; empty when the list cannot be had.
std::map<std::string, int> HandlesByType()
{
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const auto querySystem = reinterpret_cast<QuerySystem>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQuerySystemInformation")));
    const auto queryObject = reinterpret_cast<QueryObject>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryObject")));
    std::map<std::string, int> counts;
    if (querySystem == nullptr || queryObject == nullptr) return counts;
    std::vector<unsigned char> buffer(1 << 16);
    LONG status = kLengthMismatch;
    while ((status = querySystem(kSystemHandleInformation, buffer.data(),
                                 static_cast<ULONG>(buffer.size()), nullptr)) == kLengthMismatch &&
           buffer.size() < (64u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0) return counts;
    const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
    const ULONG self = GetCurrentProcessId();
    for (ULONG at = 0; at < list->count; ++at) {
        const HandleEntry& entry = list->entries[at];
        if (entry.process != self) continue;
        ++counts[TypeName(queryObject, entry.value, entry.type)];
    }
    return counts;
}

std::string Describe(const std::map<std::string, int>& counts)
{
    std::ostringstream text;
    for (const auto& [type, count] : counts) text << type << " " << count << ", ";
    return text.str();
}

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
    const std::map<std::string, int> after = HandlesByType();
    EXPECT_EQ(before, after) << "before the second cycle: " << Describe(before)
                             << "\nafter the last: " << Describe(after);
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
