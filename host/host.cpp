// A small host: loads Doruzeda_DO.dll as the host application does (LoadLibrary,
// GetProcAddress by name, cdecl calls) and runs a macro script against it.
//
//   host.exe [--no-kxmacro] SCRIPT
//
// By default the host first loads its macro module stand-in, kxmacro.dll, as
// the host application has its own loaded; --no-kxmacro leaves it out, and
// the library then shows its "Can't locate kxmacro.dll" box at load.
//
// A script has one statement a line; CR, LF and CR LF each end a line, and a
// UTF-8 byte-order mark at its start is skipped. Words are separated by
// spaces or tabs; a word that starts with '#' starts a comment. A call names
// an export, with or without its "fnOrvane_" prefix, and exactly the
// arguments the export takes:
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
//   sleep MS          waits, serving the window's messages meanwhile
//   show [MS]         shows the setup window and serves it for MS
//                     milliseconds, or until it is hidden when MS is 0 or absent
//   reload            unloads Doruzeda_DO.dll and loads it again, as a host
//                     that reloads its extensions does (exit code 3 when the
//                     load fails)
//   record FILE       calls fnOrvane_recordParallelPins("FILE"): records every
//                     port access from here on into the VCD file FILE
//   record            calls fnOrvane_recordParallelPins(NULL): ends the recording
//
// BASE is hexadecimal, 100 to FFFD (a port's three registers within the I/O
// space above the system board's); HEX is hexadecimal, 00 to FF; MS is
// decimal, 0 to 3600000 (an hour).
//
// The whole script is read before anything runs. A line that cannot be read
// (a control byte other than CR, LF and tab, a quote left open or in the
// middle of a word, an unknown statement, too few or too many arguments, a
// number that is not read whole or is out of its range) is named in one
// error, "line N: ...", and then nothing is loaded or called: exit code 2.
// While the script runs, a call whose export the loaded library lacks is
// named the same way and stops the script: exit code 2.
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

#include "port/pin_map.h"

namespace {

const char kLibraryName[] = "Doruzeda_DO.dll";
const char kExportPrefix[] = "fnOrvane_";
constexpr long long kLongestMilliseconds = 3600000;
constexpr unsigned short kDefaultBase = 0x378;

// ---------------------------------------------------------------------------
// A script's statements

// How an argument's word is read, and the values it may take.
enum class Kind {
    Integer,       // decimal, a 32-bit signed integer
    Milliseconds,  // decimal, 0 to kLongestMilliseconds
    Base,          // hexadecimal, a base the library accepts
    Byte,          // hexadecimal, 00 to FF
    Text,          // any word
};

struct Parameter {
    const char* name;
    Kind kind;
};

struct Argument {
    long long number = 0;
    std::string text;
};

struct Statement;

// One line of the script, read and checked: its statement and arguments.
struct Line {
    int number = 0;
    const Statement* statement = nullptr;
    std::vector<Argument> arguments;
};

class Host;
// Runs one line; false stops the script (the function has named the error).
using RunFunction = bool (*)(Host&, const Line&);

struct Statement {
    const char* name;        // as a script writes it (an export: its name)
    const char* exportName;  // the export a host statement calls, or nullptr
    std::vector<Parameter> parameters;
    std::size_t required;  // the leading parameters that must be given
    RunFunction run;
};

bool RunExpect(Host& host, const Line& line);
bool RunPins(Host& host, const Line& line);
bool RunInputs(Host& host, const Line& line);
bool RunDataInputs(Host& host, const Line& line);
bool RunSleep(Host& host, const Line& line);
bool RunShow(Host& host, const Line& line);
bool RunReload(Host& host, const Line& line);
bool CallWithIntegers(Host& host, const Line& line);
bool CallWithTexts(Host& host, const Line& line);

const Parameter kPin{"PIN", Kind::Integer};
const Parameter kLevel{"LEVEL", Kind::Integer};
const Parameter kBase{"BASE", Kind::Base};
const Parameter kHex{"HEX", Kind::Byte};
const Parameter kMilliseconds{"MS", Kind::Milliseconds};
const Parameter kFile{"FILE", Kind::Text};

const Statement kHostStatements[] = {
    {"expect", nullptr, {{"N", Kind::Integer}}, 1, &RunExpect},
    {"pins", nullptr, {kBase}, 0, &RunPins},
    {"inputs", nullptr, {kBase, kHex}, 2, &RunInputs},
    {"data-inputs", nullptr, {kBase, kHex}, 2, &RunDataInputs},
    {"sleep", nullptr, {kMilliseconds}, 1, &RunSleep},
    {"show", nullptr, {kMilliseconds}, 0, &RunShow},
    {"reload", nullptr, {}, 0, &RunReload},
    {"record", "fnOrvane_recordParallelPins", {kFile}, 0, &CallWithTexts},
};

// The exports, with the parameters each takes; a script may leave out the
// names' prefix.
const Statement kExports[] = {
    {"fnOrvane_fetchParallelInputPin", nullptr, {kPin}, 1, &CallWithIntegers},
    {"fnOrvane_getParallelInputAll", nullptr, {}, 0, &CallWithIntegers},
    {"fnOrvane_getParallelInputPin", nullptr, {kPin}, 1, &CallWithIntegers},
    {"fnOrvane_rudAdado", nullptr, {}, 0, &CallWithIntegers},
    {"fnOrvane_prepareParallelOutputBuffer", nullptr, {}, 0, &CallWithIntegers},
    {"fnOrvane_prepareParallelOutputPin", nullptr, {kPin, kLevel}, 2, &CallWithIntegers},
    {"fnOrvane_setParallelOutputAll", nullptr, {}, 0, &CallWithIntegers},
    {"fnOrvane_setParallelOutputPin", nullptr, {kPin, kLevel}, 2, &CallWithIntegers},
    {"fnOrvane_setParallelPort", nullptr, {{"NUMBER", Kind::Integer}}, 1, &CallWithIntegers},
    {"fnOrvane_setParallelPortAddress",
     nullptr,
     {{"DIGIT1", Kind::Text},
      {"DIGIT2", Kind::Text},
      {"DIGIT3", Kind::Text},
      {"DIGIT4", Kind::Text}},
     4,
     &CallWithTexts},
    {"fnOrvane_setParallelDataDirection",
     nullptr,
     {{"INPUT", Kind::Integer}},
     1,
     &CallWithIntegers},
    {"fnOrvane_setParallelDataByte", nullptr, {{"VALUE", Kind::Integer}}, 1, &CallWithIntegers},
    {"fnOrvane_getParallelDataByte", nullptr, {}, 0, &CallWithIntegers},
    {"fnOrvane_waitParallelInputPin",
     nullptr,
     {kPin, kLevel, {"TIMEOUT", Kind::Integer}},
     3,
     &CallWithIntegers},
    {"fnOrvane_recordParallelPins", nullptr, {kFile}, 0, &CallWithTexts},
    {"fnOrvane_pulseParallelOutputPin",
     nullptr,
     {kPin, kLevel, {"MICROSECONDS", Kind::Integer}},
     3,
     &CallWithIntegers},
    {"fnOrvane_pulseParallelDataByte",
     nullptr,
     {{"VALUE", Kind::Integer}, {"MICROSECONDS", Kind::Integer}},
     2,
     &CallWithIntegers},
};

const Statement* FindStatement(const std::string& word)
{
    for (const Statement& statement : kExports) {
        if (word == statement.name || kExportPrefix + word == statement.name) return &statement;
    }
    for (const Statement& statement : kHostStatements) {
        if (word == statement.name) return &statement;
    }
    return nullptr;
}

const char* ExportName(const Statement& statement)
{
    return statement.exportName != nullptr ? statement.exportName : statement.name;
}

// ---------------------------------------------------------------------------
// Reading a script

// A script's line as it stands in the file, without its line end.
struct SourceLine {
    int number;
    std::string text;
};

std::vector<SourceLine> SplitLines(const std::string& bytes)
{
    std::vector<SourceLine> lines;
    std::size_t at = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    std::string text;
    int number = 1;
    for (; at < bytes.size(); ++at) {
        const char byte = bytes[at];
        if (byte != '\r' && byte != '\n') {
            text += byte;
            continue;
        }
        if (byte == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n') ++at;
        lines.push_back({number++, text});
        text.clear();
    }
    if (!text.empty()) lines.push_back({number, text});
    return lines;
}

bool IsBlank(char byte)
{
    return byte == ' ' || byte == '\t';
}

// Splits a line into words; false, with `error`, when it cannot.
bool SplitWords(const std::string& text, std::vector<std::string>& words, std::string& error)
{
    for (const char byte : text) {
        const auto code = static_cast<unsigned char>(byte);
        if ((code < 0x20 && byte != '\t') || code == 0x7F) {
            char message[32];
            std::snprintf(message, sizeof message, "control byte 0x%02X", code);
            error = message;
            return false;
        }
    }
    std::size_t at = 0;
    for (;;) {
        while (at < text.size() && IsBlank(text[at])) ++at;
        if (at >= text.size() || text[at] == '#') return true;
        std::size_t end = at;
        if (text[at] == '"') {
            end = text.find('"', at + 1);
            if (end == std::string::npos) {
                error = "a quote is not closed";
                return false;
            }
            words.push_back(text.substr(at + 1, end - at - 1));
            ++end;
        } else {
            while (end < text.size() && !IsBlank(text[end]) && text[end] != '"') ++end;
            words.push_back(text.substr(at, end - at));
        }
        if (end < text.size() && !IsBlank(text[end])) {
            error = "a quote in the middle of a word";
            return false;
        }
        at = end;
    }
}

// Reads a whole word as a number: an optional '-' and decimal digits, or
// hexadecimal digits. Values too large for any parameter stay too large.
bool ReadNumber(const std::string& word, bool hexadecimal, long long& value)
{
    const bool negative = !hexadecimal && !word.empty() && word[0] == '-';
    const std::size_t first = negative ? 1 : 0;
    if (word.size() == first) return false;
    const unsigned long long radix = hexadecimal ? 16 : 10;
    unsigned long long magnitude = 0;
    for (std::size_t at = first; at < word.size(); ++at) {
        const char c = word[at];
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (hexadecimal && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else if (hexadecimal && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else {
            return false;
        }
        magnitude = magnitude * radix + digit;
        if (magnitude > 0xFFFFFFFFFFull) magnitude = 0xFFFFFFFFFFull;
    }
    value = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    return true;
}

// Reads one argument; false, with `error`, when its word is not a value of its kind.
bool ReadArgument(const Parameter& parameter, const std::string& word, Argument& argument,
                  std::string& error)
{
    argument.text = word;
    if (parameter.kind == Kind::Text) return true;
    const bool hexadecimal = parameter.kind == Kind::Base || parameter.kind == Kind::Byte;
    long long& value = argument.number;
    const char* range = nullptr;
    if (!ReadNumber(word, hexadecimal, value)) {
        error = std::string(parameter.name) + " \"" + word + "\" is not a " +
                (hexadecimal ? "hexadecimal" : "decimal") + " number";
        return false;
    }
    switch (parameter.kind) {
    case Kind::Integer:
        if (value < INT32_MIN || value > INT32_MAX) range = "-2147483648 to 2147483647";
        break;
    case Kind::Milliseconds:
        if (value < 0 || value > kLongestMilliseconds) range = "0 to 3600000";
        break;
    case Kind::Base:
        if (value > 0xFFFF || !PinMap::IsUsableBase(static_cast<std::uint16_t>(value)))
            range = "100 to FFFD";
        break;
    case Kind::Byte:
        if (value > 0xFF) range = "00 to FF";
        break;
    case Kind::Text: break;
    }
    if (range == nullptr) return true;
    error = std::string(parameter.name) + " " + word + " is outside " + range;
    return false;
}

std::string Usage(const Statement& statement)
{
    const std::size_t count = statement.parameters.size();
    if (count == 0) return "no arguments";
    std::string names;
    for (const Parameter& parameter : statement.parameters) {
        names += (names.empty() ? "" : " ") + std::string(parameter.name);
    }
    const std::string counted = statement.required == count ? std::to_string(count)
                                                            : std::to_string(statement.required) +
                                                                  " or " + std::to_string(count);
    return counted + (count == 1 ? " argument (" : " arguments (") + names + ")";
}

// Reads one line into `line`; false, with `error`, when it cannot. A line of
// no statement (blank, or a comment) reads as one with no statement.
bool ReadLine(const SourceLine& source, Line& line, std::string& error)
{
    line.number = source.number;
    std::vector<std::string> words;
    if (!SplitWords(source.text, words, error)) return false;
    if (words.empty()) return true;
    line.statement = FindStatement(words[0]);
    if (line.statement == nullptr) {
        error = "no statement or export named \"" + words[0] + "\"";
        return false;
    }
    const std::vector<Parameter>& parameters = line.statement->parameters;
    const std::size_t given = words.size() - 1;
    if (given < line.statement->required || given > parameters.size()) {
        error = words[0] + " takes " + Usage(*line.statement) + ", not " + std::to_string(given);
        return false;
    }
    line.arguments.resize(given);
    for (std::size_t index = 0; index < given; ++index) {
        if (!ReadArgument(parameters[index], words[index + 1], line.arguments[index], error))
            return false;
    }
    return true;
}

// Reads the whole script; prints one error for each line that cannot be read.
bool ReadScript(const std::string& bytes, std::vector<Line>& lines)
{
    int errors = 0;
    for (const SourceLine& source : SplitLines(bytes)) {
        Line line;
        std::string error;
        if (!ReadLine(source, line, error)) {
            std::printf("line %d: %s\n", source.number, error.c_str());
            ++errors;
        } else if (line.statement != nullptr) {
            lines.push_back(line);
        }
    }
    if (errors == 0) return true;
    std::printf("host: %d line(s) cannot be read; nothing was run\n", errors);
    return false;
}

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
            if (!line.statement->run(*this, line)) return Stop(line);
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
    std::string bytes;
    if (!ReadFileBytes(scriptPath, bytes)) {
        std::fprintf(stderr, "host: cannot read %s\n", scriptPath);
        return 2;
    }
    std::vector<Line> lines;
    if (!ReadScript(bytes, lines)) return 2;

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
