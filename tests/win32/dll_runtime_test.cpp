// The runtime of the DLLs of this build (platform/win32/dll_runtime_win32.cpp).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstddef>

TEST(DllRuntime, NothrowNewGivesNullInsteadOfEndingTheHost)
{
    const HMODULE probe = LoadLibraryA("nothrow_probe.dll");
    ASSERT_NE(probe, nullptr) << GetLastError();
    const auto askFor = reinterpret_cast<int (*)(std::size_t)>(
        reinterpret_cast<void (*)()>(GetProcAddress(probe, "AskFor")));
    ASSERT_NE(askFor, nullptr);
    EXPECT_EQ(askFor(16), 0);
    // More than a 32-bit process can have; broken, the process ends here (exit 3).
    EXPECT_EQ(askFor(0x7FFFFFF0u), 1);
    FreeLibrary(probe);
}
