// A small host: loads Doruzeda_DO.dll as the host application does (LoadLibrary,
// GetProcAddress by name, cdecl calls) and runs a macro script against it.
//
//   host.exe [--no-kxmacro] SCRIPT
//
// By default the host first loads its macro module stand-in, kxmacro.dll, as
// the host application has its own loaded; --no-kxmacro leaves it out, and
// the library then shows its "Can't locate kxmacro.dll" box at load.
//
// A script has one statement a line; '#' starts a comment. A call names an
// export, with or without its "fnOrvane_" prefix, and its arguments:
//
//   setParallelPortAddress 3 7 8 ""     strings may be quoted; "" is empty
//   setParallelOutputPin 2 1
//
// and the host prints the call and its result. Host statements:
//
//   expect N          the last call's result must be N (else exit code 1)
//   pins [BASE]       prints the simulated port's pins (default: 378)
//   inputs BASE HEX   sets the simulated input lines (status register)
//   data-inputs BASE HEX  sets what drives the simulated data lines while
//                     they are inputs
//   sleep MS          waits, serving the window's messages meanwhile
//   show [MS]         shows the setup window and serves it for MS
//                     milliseconds, or until it is hidden when MS is 0
//   reload            unloads Doruzeda_DO.dll and loads it again, as a host
//                     that reloads its extensions does (exit code 3 when the
//                     load fails)
//   record FILE       records every port access from here on into the VCD
//                     file FILE (Doruzeda_DO.dll's fnOrvane_recordParallelPins);
//   record            alone, ends the recording
//
// After the load and after each call, the host prints the lines the library
// added to its log file ("RurSetupDebug.txt" in the current directory),
// marked "log:": the ports discovery found, and each logged call.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The simulated port's extra functions, when INPOUT32.dll is the stand-in;
// with the real library they are absent and "pins" and "inputs" say so.
using SimPeekFunction = unsigned char(__cdecl*)(unsigned short);
using SimSetInputLinesFunction = void(__cdecl*)(unsigned short, unsigned char);
SimPeekFunction SimPeek = nullptr;
SimSetInputLinesFunction SimSetInputLines = nullptr;
SimSetInputLinesFunction SimSetDataInputs = nullptr;
// Starts (a file's path) or ends (null) the library's recording.
using RecordFunction = int(__cdecl*)(const char*);
RecordFunction DoruzedaRecord = nullptr;

template <typename Function>
Function Lookup(HMODULE module, const char* name)
{
    return module == nullptr
               ? nullptr
               : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

using Function0 = int(__cdecl*)();
using Function1 = int(__cdecl*)(int);
using Function2 = int(__cdecl*)(int, int);
using Function3 = int(__cdecl*)(int, int, int);
using Function4s = int(__cdecl*)(const char*, const char*, const char*, const char*);

enum class Shape { None, Int1, Int2, Int3, Str4 };

struct ExportInfo {
    const char* name;
    Shape shape;
};

const ExportInfo kExports[] = {
    {"fnOrvane_fetchParallelInputPin", Shape::Int1},
    {"fnOrvane_getParallelInputAll", Shape::None},
    {"fnOrvane_getParallelInputPin", Shape::Int1},
    {"fnOrvane_rudAdado", Shape::None},
    {"fnOrvane_prepareParallelOutputBuffer", Shape::None},
    {"fnOrvane_prepareParallelOutputPin", Shape::Int2},
    {"fnOrvane_setParallelOutputAll", Shape::None},
    {"fnOrvane_setParallelOutputPin", Shape::Int2},
    {"fnOrvane_setParallelPort", Shape::Int1},
    {"fnOrvane_setParallelPortAddress", Shape::Str4},
    {"fnOrvane_setParallelDataDirection", Shape::Int1},
    {"fnOrvane_setParallelDataByte", Shape::Int1},
    {"fnOrvane_getParallelDataByte", Shape::None},
    {"fnOrvane_waitParallelInputPin", Shape::Int3},
};

std::vector<std::string> Split(const std::string& line)
{
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at]))) ++at;
        if (at >= line.size() || line[at] == '#') break;
        std::string word;
        if (line[at] == '"') {
            const std::size_t end = line.find('"', at + 1);
            word = line.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
            at = end == std::string::npos ? line.size() : end + 1;
        } else {
            const std::size_t start = at;
            while (at < line.size() && !std::isspace(static_cast<unsigned char>(line[at]))) ++at;
            word = line.substr(start, at - start);
        }
        words.push_back(word);
    }
    return words;
}

// Serves the thread's messages, as the host application's loop does, for
// `milliseconds`; with 0, until `window` is hidden.
void ServeMessages(DWORD milliseconds, HWND window)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (window == nullptr || !IsDialogMessageA(window, &message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
        if (milliseconds == 0) {
            if (window == nullptr || !IsWindowVisible(window)) return;
        } else if (GetTickCount() - start >= milliseconds) {
            return;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

// Prints what the library appended to its log file since the last look.
class LogFollower {
public:
    LogFollower() : offset(Size()) {}
    void PrintNewLines()
    {
        std::FILE* file = std::fopen("RurSetupDebug.txt", "rb");
        if (file == nullptr) return;
        if (std::fseek(file, offset, SEEK_SET) == 0) {
            char line[4200];
            while (std::fgets(line, sizeof line, file) != nullptr) {
                std::string text(line);
                while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
                    text.pop_back();
                std::printf("  log: %s\n", text.c_str());
            }
            offset = std::ftell(file);
        }
        std::fclose(file);
    }

private:
    static long Size()
    {
        std::FILE* file = std::fopen("RurSetupDebug.txt", "rb");
        if (file == nullptr) return 0;
        std::fseek(file, 0, SEEK_END);
        const long size = std::ftell(file);
        std::fclose(file);
        return size;
    }
    long offset;
};

BOOL CALLBACK MatchSetupWindow(HWND window, LPARAM found)
{
    char title[64] = {};
    GetWindowTextA(window, title, sizeof title);
    if (std::strcmp(title, "Printer Port Parallel I/O Configuration") != 0) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// The library's window, which it created on this thread when it loaded.
HWND FindSetupWindow()
{
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &MatchSetupWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

void PrintPins(unsigned short base)
{
    const unsigned data = SimPeek(base);
    const unsigned status = SimPeek(static_cast<unsigned short>(base + 1));
    const unsigned control = SimPeek(static_cast<unsigned short>(base + 2));
    std::printf("  port %X: data=%02X status=%02X control=%02X\n", base, data, status, control);
    std::printf("  out pins  1:%d", (control & 0x01) ? 0 : 1);
    for (int pin = 2; pin <= 9; ++pin) std::printf(" %d:%d", pin, (data >> (pin - 2)) & 1);
    std::printf(" 14:%d 16:%d 17:%d\n", (control & 0x02) ? 0 : 1, (control & 0x04) ? 1 : 0,
                (control & 0x08) ? 0 : 1);
    std::printf("  in pins  10:%d 11:%d 12:%d 13:%d 15:%d\n", (status & 0x40) ? 1 : 0,
                (status & 0x80) ? 0 : 1, (status & 0x20) ? 1 : 0, (status & 0x10) ? 1 : 0,
                (status & 0x08) ? 1 : 0);
}

}  // namespace

int main(int argc, char** argv)
{
    bool loadHostModule = true;
    const char* scriptPath = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-kxmacro") == 0) {
            loadHostModule = false;
        } else {
            scriptPath = argv[i];
        }
    }
    if (scriptPath == nullptr) {
        std::fprintf(stderr, "usage: host.exe [--no-kxmacro] SCRIPT\n");
        return 2;
    }
    std::ifstream script(scriptPath);
    if (!script) {
        std::fprintf(stderr, "host: cannot read %s\n", scriptPath);
        return 2;
    }

    // The host application has its macro module loaded before any extension.
    if (loadHostModule) {
        if (LoadLibraryA("kxmacro.dll") != nullptr) {
            std::printf("host: loaded the host's macro module kxmacro.dll\n");
        } else {
            std::printf("host: no kxmacro.dll beside the host; going on without it\n");
        }
    }

    LogFollower log;
    HMODULE library = LoadLibraryA("Doruzeda_DO.dll");
    if (library == nullptr) {
        std::fprintf(stderr, "host: LoadLibrary(Doruzeda_DO.dll) failed, error %lu\n",
                     GetLastError());
        return 3;
    }
    const auto loaded = [&log] {
        std::printf("host: loaded Doruzeda_DO.dll%s\n",
                    FindSetupWindow() != nullptr ? " (setup window created, hidden)" : "");
        log.PrintNewLines();
        const HMODULE portLibrary = GetModuleHandleA("INPOUT32.dll");
        SimPeek = Lookup<SimPeekFunction>(portLibrary, "SimPeek");
        SimSetInputLines = Lookup<SimSetInputLinesFunction>(portLibrary, "SimSetInputLines");
        SimSetDataInputs = Lookup<SimSetInputLinesFunction>(portLibrary, "SimSetDataInputs");
        DoruzedaRecord = Lookup<RecordFunction>(GetModuleHandleA("Doruzeda_DO.dll"),
                                                "fnOrvane_recordParallelPins");
    };
    loaded();

    int lastResult = 0;
    int failures = 0;
    std::string line;
    int lineNumber = 0;
    while (std::getline(script, line)) {
        ++lineNumber;
        const std::vector<std::string> words = Split(line);
        if (words.empty()) continue;
        const std::string& verb = words[0];

        if (verb == "expect") {
            const int wanted = words.size() > 1 ? std::atoi(words[1].c_str()) : 0;
            if (lastResult != wanted) {
                std::printf("line %d: expected %d, got %d\n", lineNumber, wanted, lastResult);
                ++failures;
            }
            continue;
        }
        if ((verb == "pins" || verb == "inputs" || verb == "data-inputs") && SimPeek == nullptr) {
            std::printf("  (%s: INPOUT32.dll is not the simulated port)\n", verb.c_str());
            continue;
        }
        if (verb == "record") {
            if (DoruzedaRecord == nullptr) {
                std::printf("  (record: this Doruzeda_DO.dll cannot record)\n");
            } else if (words.size() > 1) {
                // The library logs why it cannot record.
                if (DoruzedaRecord(words[1].c_str()) == 0) {
                    std::printf("  recording into %s\n", words[1].c_str());
                }
            } else {
                DoruzedaRecord(nullptr);
                std::printf("  recording ended\n");
            }
            log.PrintNewLines();
            std::fflush(stdout);
            continue;
        }
        if (verb == "pins") {
            const unsigned long base =
                words.size() > 1 ? std::strtoul(words[1].c_str(), nullptr, 16) : 0x378;
            PrintPins(static_cast<unsigned short>(base));
            continue;
        }
        if (verb == "inputs" || verb == "data-inputs") {
            if (words.size() != 3) {
                std::printf("line %d: %s takes BASE and HEX\n", lineNumber, verb.c_str());
                ++failures;
                continue;
            }
            const unsigned long base = std::strtoul(words[1].c_str(), nullptr, 16);
            const unsigned long value = std::strtoul(words[2].c_str(), nullptr, 16);
            const bool dataLines = verb == "data-inputs";
            (dataLines ? SimSetDataInputs : SimSetInputLines)(static_cast<unsigned short>(base),
                                                              static_cast<unsigned char>(value));
            std::printf("  %s of %lX set to %02lX\n", dataLines ? "data inputs" : "input lines",
                        base, value);
            continue;
        }
        if (verb == "reload") {
            FreeLibrary(library);
            std::printf("host: unloaded Doruzeda_DO.dll\n");
            library = LoadLibraryA("Doruzeda_DO.dll");
            if (library == nullptr) {
                std::fprintf(stderr, "host: LoadLibrary(Doruzeda_DO.dll) failed, error %lu\n",
                             GetLastError());
                return 3;
            }
            loaded();
            continue;
        }
        if (verb == "sleep") {
            const int milliseconds = words.size() > 1 ? std::atoi(words[1].c_str()) : 0;
            ServeMessages(static_cast<DWORD>(milliseconds > 0 ? milliseconds : 0) + 1,
                          FindSetupWindow());
            continue;
        }
        if (verb == "show") {
            const int requested = words.size() > 1 ? std::atoi(words[1].c_str()) : 0;
            const DWORD milliseconds = static_cast<DWORD>(requested > 0 ? requested : 0);
            auto rudAdado = reinterpret_cast<Function0>(
                reinterpret_cast<void*>(GetProcAddress(library, "fnOrvane_rudAdado")));
            if (rudAdado == nullptr) {
                std::printf("line %d: no export fnOrvane_rudAdado\n", lineNumber);
                ++failures;
                continue;
            }
            lastResult = rudAdado();
            std::printf("fnOrvane_rudAdado() = %d\n", lastResult);
            ServeMessages(milliseconds, FindSetupWindow());
            log.PrintNewLines();
            continue;
        }

        const std::string name = verb.rfind("fnOrvane_", 0) == 0 ? verb : "fnOrvane_" + verb;
        const ExportInfo* info = nullptr;
        for (const ExportInfo& candidate : kExports) {
            if (name == candidate.name) info = &candidate;
        }
        FARPROC address = GetProcAddress(library, name.c_str());
        if (info == nullptr || address == nullptr) {
            std::printf("line %d: no export %s\n", lineNumber, name.c_str());
            ++failures;
            continue;
        }
        void* function = reinterpret_cast<void*>(address);
        auto intArg = [&](std::size_t index) {
            return index < words.size() ? std::atoi(words[index].c_str()) : 0;
        };
        auto strArg = [&](std::size_t index) {
            return index < words.size() ? words[index].c_str() : "";
        };
        switch (info->shape) {
        case Shape::None:
            lastResult = reinterpret_cast<Function0>(function)();
            std::printf("%s() = %d\n", name.c_str(), lastResult);
            break;
        case Shape::Int1:
            lastResult = reinterpret_cast<Function1>(function)(intArg(1));
            std::printf("%s(%d) = %d\n", name.c_str(), intArg(1), lastResult);
            break;
        case Shape::Int2:
            lastResult = reinterpret_cast<Function2>(function)(intArg(1), intArg(2));
            std::printf("%s(%d, %d) = %d\n", name.c_str(), intArg(1), intArg(2), lastResult);
            break;
        case Shape::Int3:
            lastResult = reinterpret_cast<Function3>(function)(intArg(1), intArg(2), intArg(3));
            std::printf("%s(%d, %d, %d) = %d\n", name.c_str(), intArg(1), intArg(2), intArg(3),
                        lastResult);
            break;
        case Shape::Str4:
            lastResult =
                reinterpret_cast<Function4s>(function)(strArg(1), strArg(2), strArg(3), strArg(4));
            std::printf("%s(\"%s\", \"%s\", \"%s\", \"%s\") = %d\n", name.c_str(), strArg(1),
                        strArg(2), strArg(3), strArg(4), lastResult);
            break;
        }
        log.PrintNewLines();
        std::fflush(stdout);
    }

    FreeLibrary(library);
    std::printf("host: unloaded Doruzeda_DO.dll; %d expectation(s) failed\n", failures);
    return failures == 0 ? 0 : 1;
}
