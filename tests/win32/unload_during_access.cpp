// Unloads Doruzeda_DO.dll while another thread is inside its first port
// access, loads it again, and unloads it once more; run by the Wine
// fake-device test (tests/linux/wine-fake-ppdev.sh) on a port that another
// program holds, where that first access waits for the port.
//
//   unload_during_access.exe
//
// Prints what the access returned and how long each unload took:
//   access: N
//   first unload: N ms
//   second unload: N ms
// Exit code 0 when everything loaded and the thread ended, 1 otherwise. A
// crash is Wine's to report (and ends the program with another code).
#include <windows.h>

#include <cstdio>

namespace {

using GetDataByte = int(__cdecl*)();

struct Access {
    GetDataByte call;
    int result;
};

DWORD WINAPI MakeAccess(void* argument)
{
    Access* access = static_cast<Access*>(argument);
    access->result = access->call();
    return 0;
}

HMODULE Load()
{
    return LoadLibraryA("Doruzeda_DO.dll");
}

DWORD TimedUnload(HMODULE library)
{
    const DWORD start = GetTickCount();
    FreeLibrary(library);
    return GetTickCount() - start;
}

}  // namespace

int main()
{
    // The host's macro module first, as the host has it: no message box.
    const HMODULE host = LoadLibraryA("kxmacro.dll");
    HMODULE library = Load();
    if (host == nullptr || library == nullptr) {
        std::printf("cannot load: error %lu\n", GetLastError());
        return 1;
    }
    Access access{reinterpret_cast<GetDataByte>(reinterpret_cast<void*>(
                      GetProcAddress(library, "fnOrvane_getParallelDataByte"))),
                  -2};
    if (access.call == nullptr) {
        std::printf("no fnOrvane_getParallelDataByte\n");
        return 1;
    }
    const HANDLE thread = CreateThread(nullptr, 0, &MakeAccess, &access, 0, nullptr);
    if (thread == nullptr) return 1;
    Sleep(200);
    const DWORD firstUnload = TimedUnload(library);
    library = Load();
    if (library == nullptr) {
        std::printf("cannot load again: error %lu\n", GetLastError());
        return 1;
    }
    const bool ended = WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0;
    CloseHandle(thread);
    const DWORD secondUnload = TimedUnload(library);
    FreeLibrary(host);
    std::printf("access: %d\nfirst unload: %lu ms\nsecond unload: %lu ms\n", access.result,
                firstUnload, secondUnload);
    std::fflush(stdout);
    if (!ended) std::printf("the accessing thread did not end\n");
    return ended ? 0 : 1;
}
