// Times COUNT logged calls (fnOrvane_setParallelOutputPin) of Doruzeda_DO.dll
// under Wine, against the simulated port, with the log file
// RurSetupDebug.txt in the current folder as it is there (a regular file, a
// FIFO nobody reads, a folder that no file can be opened as): the load and
// the unload are not timed. Run by bench/win32/log-fifo.sh.
//
//   logged_calls.exe COUNT
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 3000;
    LoadLibraryA("kxmacro.dll");
    const HMODULE library = LoadLibraryA("Doruzeda_DO.dll");
    if (library == nullptr) {
        std::fprintf(stderr, "LoadLibrary(Doruzeda_DO.dll) failed: %lu\n", GetLastError());
        return 1;
    }
    using SetPin = int(__cdecl*)(int, int);
    const auto setPin = reinterpret_cast<SetPin>(
        reinterpret_cast<void*>(GetProcAddress(library, "fnOrvane_setParallelOutputPin")));
    if (setPin == nullptr) return 1;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int call = 0; call < count; ++call) setPin(2, call & 1);
    QueryPerformanceCounter(&end);
    const double ms = static_cast<double>(end.QuadPart - start.QuadPart) * 1e3 /
                      static_cast<double>(frequency.QuadPart);
    std::printf("%d logged calls: %.0f ms (%.1f us a call)\n", count, ms, ms * 1e3 / count);
    FreeLibrary(library);
    return 0;
}
