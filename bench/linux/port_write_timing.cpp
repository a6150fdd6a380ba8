// Timing of one PortWrite (INPOUT32.dll ordinal 2) as a Windows program calls
// it: loads the INPOUT32.dll beside it (the Wine one over ppdev, or the
// simulated port), writes the data register of the port at 378 CALLS times
// and prints nanoseconds per call. Not a test.
//
//   port_write_timing.exe CALLS
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    const long calls = argc > 1 ? std::atol(argv[1]) : 100000;
    const HMODULE library = LoadLibraryA("INPOUT32.dll");
    if (library == nullptr || calls <= 0) {
        std::fprintf(stderr, "port_write_timing: no INPOUT32.dll (error %lu)\n", GetLastError());
        return 1;
    }
    using PortWriteFunction = void(__stdcall*)(unsigned short, unsigned short);
    const auto portWrite = reinterpret_cast<PortWriteFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(2))));
    if (portWrite == nullptr) return 1;

    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceFrequency(&frequency);
    portWrite(0x378, 0);  // opens and claims the port
    QueryPerformanceCounter(&start);
    for (long i = 0; i < calls; ++i) portWrite(0x378, static_cast<unsigned short>(i & 0xFF));
    QueryPerformanceCounter(&end);
    std::printf("%.0f ns per PortWrite (%ld calls)\n",
                static_cast<double>(end.QuadPart - start.QuadPart) * 1e9 /
                    static_cast<double>(frequency.QuadPart) / static_cast<double>(calls),
                calls);
    return 0;
}
