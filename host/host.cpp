// A small host: loads Doruzeda_DO.dll as the host application does (LoadLibrary,
// GetProcAddress by name, cdecl calls) and runs a macro script against it.
//
//   host.exe [--no-kxmacro] SCRIPT
//
// By default the host first loads its macro module stand-in, kxmacro.dll, as
// the host application has its own loaded; --no-kxmacro leaves it out, and
// the library then shows its "Can't locate kxmacro.dll" box at load.
//
// A script has one statement a line, read as host/script_reader.h tells:
//
//   setParallelPortAddress 3 7 8 ""     strings may be quoted; "" is empty
//   setParallelOutputPin 2 1            integers: decimal, -2147483648 to 2147483647
//
// and the host prints the call and its result. Host statements:
//
//   expect N          the last call's result must be N (decimal; else exit code 1)
//   pins [BASE]       prints the simulated port's pins (default: 378)
//   inputs BASE HEX   sets the simulated input lines (status register)
//   data-inputs BASE HEX  sets what drives the simulated data lines while
//                     they are inputs
//   inputs-after MS BASE HEX  sets the simulated input lines MS milliseconds
//                     from now, on a thread of the host's, while the script
//                     goes on: a call that waits meanwhile sees the change
//   sleep MS          waits, serving the window's messages meanwhile
//   show [MS]         shows the setup window and serves it for MS
//                     milliseconds, or until it is hidden when MS is 0 or absent
//   reload            unloads Doruzeda_DO.dll and loads it again, as a host
//                     that reloads its extensions does (exit code 3 when the
//                     load fails)
//   record FILE       calls fnOrvane_recordParallelPins("FILE"): records every
//                     port access from here on into the VCD file FILE
//   record            calls fnOrvane_recordParallelPins(NULL): ends the recording
//   same-changes FILE1 FILE2 US  compares two VCD files' changes of port 378's
//                     pins (host/same_changes.h): each pin's changes the same,
//                     in the same order, each within US microseconds (0 to 1000000) of
//                     the other's time counted from each file's first change;
//                     else a failed expectation
//
// BASE is hexadecimal, 100 to FFFD (a port's three registers within the I/O
// space above the system board's); HEX is hexadecimal, 00 to FF; MS is
// decimal, 0 to 3600000 (an hour).
//
// The whole script is read before anything runs. A line that cannot be read
// is named in one error, "line N: ...", and then nothing is loaded or called:
// exit code 2. While the script runs, a call whose export the loaded library
// lacks is named the same way and stops the script: exit code 2.
//
// The simulated port (the stand-in INPOUT32.dll) keeps its registers for the
// host's whole run: the host holds its own reference on INPOUT32.dll, so a
// reload does not unload the port with the library.
//
// After the load and after each call, the host prints the lines the library
// added to its log file ("RurSetupDebug.txt" in the current directory),
// marked "log:": the ports discovery found, and each logged call.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/same_changes.h"
#include "host/script_reader.h"
#include "port/pin_map.h"

namespace {

using script::Argument;
using script::ExportName;
using script::Line;

const char kLibraryName[] = "Doruzeda_DO.dll";
constexpr unsigned short kDefaultBase = 0x378;

class Host;
// Runs one line; false stops the script (the function has named the error).
bool RunLine(Host& host, const Line& line);

bool ReadFileBytes(const char* path, std::string& bytes)
{
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    char buffer[4096];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, count);
    const bool read = std::ferror(file) == 0;
    std::fclose(file);
    return read;
}

// Reads the script at `path`; false, with why printed, when a line cannot be read.
bool ReadScriptFile(const char* path, std::vector<Line>& lines)
{
    std::string bytes;
    if (!ReadFileBytes(path, bytes)) {
        std::fprintf(stderr, "host: cannot read %s\n", path);
        return false;
    }
    std::vector<std::string> errors;
    if (script::ReadScript(bytes, lines, errors)) return true;
    for (const std::string& error : errors) std::printf("%s\n", error.c_str());
    std::printf("host: %d line(s) cannot be read; nothing was run\n",
                static_cast<int>(errors.size()));
    return false;
}

// ---------------------------------------------------------------------------
// The library, its window and its log

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

template <typename Function>
Function Lookup(HMODULE module, const char* name)
{
    return module == nullptr
               ? nullptr
               : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The simulated port's extra functions, when INPOUT32.dll is the stand-in;
// with the real library they are absent and "pins" and "inputs" say so.
using SimPeekFunction = unsigned char(__cdecl*)(unsigned short);
using SimSetLinesFunction = void(__cdecl*)(unsigned short, unsigned char);

class Host {
public:
    Host() = default;
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;
    ~Host()
    {
        // A change still to come is made before the port library goes.
        for (const HANDLE change : pendingChanges) {
            WaitForSingleObject(change, INFINITE);
            CloseHandle(change);
        }
        if (library != nullptr) FreeLibrary(library);
        if (portLibrary != nullptr) FreeLibrary(portLibrary);
    }

    // Loads the library; false (with its error printed) when it does not load.
    bool Load()
    {
        library = LoadLibraryA(kLibraryName);
        if (library == nullptr) {
            std::fprintf(stderr, "host: LoadLibrary(%s) failed, error %lu\n", kLibraryName,
                         GetLastError());
            return false;
        }
        std::printf("host: loaded %s%s\n", kLibraryName,
                    FindSetupWindow() != nullptr ? " (setup window created, hidden)" : "");
        log.PrintNewLines();
        // The host's own reference keeps the port library, and the simulated
        // port's registers with it, loaded across reloads.
        if (portLibrary == nullptr && GetModuleHandleExA(0, "INPOUT32.dll", &portLibrary)) {
            simPeek = Lookup<SimPeekFunction>(portLibrary, "SimPeek");
            simSetInputLines = Lookup<SimSetLinesFunction>(portLibrary, "SimSetInputLines");
            simSetDataInputs = Lookup<SimSetLinesFunction>(portLibrary, "SimSetDataInputs");
        }
        return true;
    }

    void Unload()
    {
        FreeLibrary(library);
        library = nullptr;
        std::printf("host: unloaded %s\n", kLibraryName);
    }

    // Runs the lines in order; the exit code.
    int Run(const std::vector<Line>& lines)
    {
        for (const Line& line : lines) {
            if (!RunLine(*this, line)) return Stop(line);
            std::fflush(stdout);
            if (library == nullptr) return 3;  // a reload that did not load
        }
        FreeLibrary(library);
        library = nullptr;
        std::printf("host: unloaded %s; %d expectation(s) failed\n", kLibraryName, failures);
        return failures == 0 ? 0 : 1;
    }

    // The line's export in the loaded library, or nullptr with the error printed.
    void* Export(const Line& line)
    {
        const char* name = ExportName(*line.statement);
        void* function = reinterpret_cast<void*>(GetProcAddress(library, name));
        if (function == nullptr)
            std::printf("line %d: %s has no export %s\n", line.number, kLibraryName, name);
        return function;
    }

    // Prints a call's result and what it logged.
    void Called(const Line& line, const std::string& arguments, int result)
    {
        lastResult = result;
        std::printf("%s(%s) = %d\n", ExportName(*line.statement), arguments.c_str(), result);
        log.PrintNewLines();
    }

    HMODULE library = nullptr;
    int lastResult = 0;
    int failures = 0;
    SimPeekFunction simPeek = nullptr;
    SimSetLinesFunction simSetInputLines = nullptr;
    SimSetLinesFunction simSetDataInputs = nullptr;
    std::vector<HANDLE> pendingChanges;  // inputs-after's threads

private:
    int Stop(const Line& line)
    {
        Unload();
        std::printf("host: the script stopped at line %d\n", line.number);
        return 2;
    }

    HMODULE portLibrary = nullptr;
    LogFollower log;
};

// ---------------------------------------------------------------------------
// Running a line: one function for each host statement, two for the exports

int IntegerAt(const Line& line, std::size_t index)
{
    return static_cast<int>(line.arguments[index].number);
}

bool RunExpect(Host& host, const Line& line)
{
    const int wanted = IntegerAt(line, 0);
    if (host.lastResult != wanted) {
        std::printf("line %d: expected %d, got %d\n", line.number, wanted, host.lastResult);
        ++host.failures;
    }
    return true;
}

bool HasSimulatedPort(const Host& host, const Line& line)
{
    if (host.simPeek != nullptr) return true;
    std::printf("  (%s: INPOUT32.dll is not the simulated port)\n", line.statement->name);
    return false;
}

bool RunPins(Host& host, const Line& line)
{
    if (!HasSimulatedPort(host, line)) return true;
    const auto base = static_cast<unsigned short>(
        line.arguments.empty() ? kDefaultBase : line.arguments[0].number);
    const unsigned data = host.simPeek(base);
    const unsigned status = host.simPeek(PinMap::RegisterAddress(base, PinRegister::Status));
    const unsigned control = host.simPeek(PinMap::RegisterAddress(base, PinRegister::Control));
    std::printf("  port %X: data=%02X status=%02X control=%02X\n", base, data, status, control);
    // The levels on the connector, as the pin map reads them from the
    // registers: the pins the PC drives, then those it reads from status.
    const unsigned registers[3] = {data, status, control};
    const auto printPins = [&registers](const char* title, bool output) {
        std::printf("  %s", title);
        for (int pin = PinMap::kFirstPin; pin <= PinMap::kLastSignalPin; ++pin) {
            const PinMapRow* row = PinMap::Find(pin);
            const bool shown =
                output ? row->settable : row->readable && row->reg == PinRegister::Status;
            if (!shown) continue;
            const auto value = static_cast<std::uint16_t>(registers[static_cast<int>(row->reg)]);
            std::printf(" %d:%d", pin, PinMap::LevelIn(*row, value) ? 1 : 0);
        }
        std::printf("\n");
    };
    printPins("out pins ", true);
    printPins("in pins ", false);
    return true;
}

void SetLines(SimSetLinesFunction set, const char* what, const Line& line)
{
    const auto base = static_cast<unsigned short>(line.arguments[0].number);
    const auto value = static_cast<unsigned char>(line.arguments[1].number);
    set(base, value);
    std::printf("  %s of %X set to %02X\n", what, base, value);
}

bool RunInputs(Host& host, const Line& line)
{
    if (HasSimulatedPort(host, line)) SetLines(host.simSetInputLines, "input lines", line);
    return true;
}

bool RunDataInputs(Host& host, const Line& line)
{
    if (HasSimulatedPort(host, line)) SetLines(host.simSetDataInputs, "data inputs", line);
    return true;
}

// A change of the input lines, made later on a thread of its own.
struct DelayedInputs {
    SimSetLinesFunction set;
    DWORD milliseconds;
    unsigned short base;
    unsigned char value;
};

DWORD WINAPI SetInputsAfterDelay(void* pointer)
{
    const DelayedInputs* change = static_cast<DelayedInputs*>(pointer);
    Sleep(change->milliseconds);
    change->set(change->base, change->value);
    delete change;
    return 0;
}

bool RunInputsAfter(Host& host, const Line& line)
{
    if (!HasSimulatedPort(host, line)) return true;
    auto* change =
        new DelayedInputs{host.simSetInputLines, static_cast<DWORD>(line.arguments[0].number),
                          static_cast<unsigned short>(line.arguments[1].number),
                          static_cast<unsigned char>(line.arguments[2].number)};
    std::printf("  input lines of %X to be set to %02X in %d ms\n", change->base, change->value,
                IntegerAt(line, 0));
    // The thread owns `change` from here on.
    const HANDLE thread = CreateThread(nullptr, 0, &SetInputsAfterDelay, change, 0, nullptr);
    if (thread == nullptr) {
        delete change;
        std::printf("line %d: no thread for the change (error %lu)\n", line.number, GetLastError());
        return false;
    }
    host.pendingChanges.push_back(thread);
    return true;
}

bool RunSleep(Host&, const Line& line)
{
    ServeMessages(static_cast<DWORD>(line.arguments[0].number) + 1, FindSetupWindow());
    return true;
}

bool RunShow(Host& host, const Line& line)
{
    using ShowFunction = int(__cdecl*)();
    const auto rudAdado = reinterpret_cast<ShowFunction>(
        reinterpret_cast<void*>(GetProcAddress(host.library, "fnOrvane_rudAdado")));
    if (rudAdado == nullptr) {
        std::printf("line %d: %s has no export fnOrvane_rudAdado\n", line.number, kLibraryName);
        return false;
    }
    host.lastResult = rudAdado();
    std::printf("fnOrvane_rudAdado() = %d\n", host.lastResult);
    const long long milliseconds = line.arguments.empty() ? 0 : line.arguments[0].number;
    ServeMessages(static_cast<DWORD>(milliseconds), FindSetupWindow());
    return true;
}

bool RunSameChanges(Host& host, const Line& line)
{
    std::string report;
    const bool same =
        same_changes::Compare(line.arguments[0].text.c_str(), line.arguments[1].text.c_str(),
                              line.arguments[2].number, report);
    std::printf("  same-changes: %s\n", report.c_str());
    if (!same) {
        std::printf("line %d: the changes differ\n", line.number);
        ++host.failures;
    }
    return true;
}

bool RunReload(Host& host, const Line&)
{
    host.Unload();
    host.Load();  // Run ends with exit code 3 when it fails
    return true;
}

// The exports that take 0 to 3 integers.
bool CallWithIntegers(Host& host, const Line& line)
{
    void* function = host.Export(line);
    if (function == nullptr) return false;
    std::string shown;
    for (const Argument& argument : line.arguments)
        shown += (shown.empty() ? "" : ", ") + std::to_string(argument.number);
    int result = 0;
    switch (line.arguments.size()) {
    case 0: result = reinterpret_cast<int(__cdecl*)()>(function)(); break;
    case 1: result = reinterpret_cast<int(__cdecl*)(int)>(function)(IntegerAt(line, 0)); break;
    case 2:
        result = reinterpret_cast<int(__cdecl*)(int, int)>(function)(IntegerAt(line, 0),
                                                                     IntegerAt(line, 1));
        break;
    default:
        result = reinterpret_cast<int(__cdecl*)(int, int, int)>(function)(
            IntegerAt(line, 0), IntegerAt(line, 1), IntegerAt(line, 2));
        break;
    }
    host.Called(line, shown, result);
    return true;
}

// The exports that take strings: the address's four digits, or a recording's
// file (null when the line gives none).
bool CallWithTexts(Host& host, const Line& line)
{
    void* function = host.Export(line);
    if (function == nullptr) return false;
    std::string shown;
    for (const Argument& argument : line.arguments)
        shown += (shown.empty() ? "\"" : ", \"") + argument.text + "\"";
    const auto text = [&line](std::size_t index) { return line.arguments[index].text.c_str(); };
    int result = 0;
    if (line.statement->parameters.size() == 4) {
        using Function = int(__cdecl*)(const char*, const char*, const char*, const char*);
        result = reinterpret_cast<Function>(function)(text(0), text(1), text(2), text(3));
    } else {
        using Function = int(__cdecl*)(const char*);
        result = reinterpret_cast<Function>(function)(line.arguments.empty() ? nullptr : text(0));
        if (line.arguments.empty()) shown = "NULL";
    }
    host.Called(line, shown, result);
    return true;
}

bool RunLine(Host& host, const Line& line)
{
    switch (line.statement->action) {
    case script::Action::Expect: return RunExpect(host, line);
    case script::Action::Pins: return RunPins(host, line);
    case script::Action::Inputs: return RunInputs(host, line);
    case script::Action::DataInputs: return RunDataInputs(host, line);
    case script::Action::InputsAfter: return RunInputsAfter(host, line);
    case script::Action::Sleep: return RunSleep(host, line);
    case script::Action::Show: return RunShow(host, line);
    case script::Action::Reload: return RunReload(host, line);
    case script::Action::SameChanges: return RunSameChanges(host, line);
    case script::Action::CallWithIntegers: return CallWithIntegers(host, line);
    case script::Action::CallWithTexts: return CallWithTexts(host, line);
    }
    return false;
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
    std::vector<Line> lines;
    if (!ReadScriptFile(scriptPath, lines)) return 2;

    // The host application has its macro module loaded before any extension.
    if (loadHostModule) {
        std::fputs(LoadLibraryA("kxmacro.dll") != nullptr
                       ? "host: loaded the host's macro module kxmacro.dll\n"
                       : "host: no kxmacro.dll beside the host; going on without it\n",
                   stdout);
    }
    Host host;
    if (!host.Load()) return 3;
    return host.Run(lines);
}
