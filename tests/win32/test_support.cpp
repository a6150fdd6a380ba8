#include "test_support.h"

#include <tlhelp32.h>

#include <cstdio>
#include <cstring>

namespace test_support {

namespace {

template <typename Function>
Function SimFunction(const char* name)
{
    HMODULE port = GetModuleHandleA("INPOUT32.dll");
    if (port == nullptr) port = LoadLibraryA("INPOUT32.dll");
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(port, name)));
}

}  // namespace

LoadedLibrary::LoadedLibrary(HostModule host, const char* name)
    : hostModule(host == HostModule::Loaded ? LoadLibraryA("kxmacro.dll") : nullptr),
      module(LoadLibraryA(name)), loadError(0)
{
    if (module == nullptr) loadError = GetLastError();
}

LoadedLibrary::~LoadedLibrary()
{
    Unload();
}

void LoadedLibrary::Unload()
{
    if (module != nullptr) {
        FreeLibrary(module);
        module = nullptr;
    }
    if (hostModule != nullptr) {
        FreeLibrary(hostModule);
        hostModule = nullptr;
    }
}

Exports::Exports(const LoadedLibrary& library)
    : fetchParallelInputPin(library.Get<Int1>("fnOrvane_fetchParallelInputPin")),
      getParallelInputAll(library.Get<Int0>("fnOrvane_getParallelInputAll")),
      getParallelInputPin(library.Get<Int1>("fnOrvane_getParallelInputPin")),
      rudAdado(library.Get<Int0>("fnOrvane_rudAdado")),
      prepareParallelOutputBuffer(library.Get<Int0>("fnOrvane_prepareParallelOutputBuffer")),
      prepareParallelOutputPin(library.Get<Int2>("fnOrvane_prepareParallelOutputPin")),
      setParallelOutputAll(library.Get<Int0>("fnOrvane_setParallelOutputAll")),
      setParallelOutputPin(library.Get<Int2>("fnOrvane_setParallelOutputPin")),
      setParallelPort(library.Get<Int1>("fnOrvane_setParallelPort")),
      setParallelPortAddress(library.Get<Str4>("fnOrvane_setParallelPortAddress"))
{
}

bool Exports::AllFound() const
{
    return fetchParallelInputPin && getParallelInputAll && getParallelInputPin && rudAdado &&
           prepareParallelOutputBuffer && prepareParallelOutputPin && setParallelOutputAll &&
           setParallelOutputPin && setParallelPort && setParallelPortAddress;
}

std::vector<SimPortAccess> TraceSince(unsigned long start)
{
    using CountFunction = unsigned long(__cdecl*)();
    using GetFunction = int(__cdecl*)(unsigned long, SimPortAccess*);
    static const CountFunction count = SimFunction<CountFunction>("SimTraceCount");
    static const GetFunction get = SimFunction<GetFunction>("SimTraceGet");
    std::vector<SimPortAccess> accesses;
    const unsigned long end = count();
    for (unsigned long sequence = start; sequence < end; ++sequence) {
        SimPortAccess access{};
        if (get(sequence, &access)) accesses.push_back(access);
    }
    return accesses;
}

DeviceDescription::DeviceDescription(const std::string& text)
{
    char base[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, base);
    char name[MAX_PATH] = {};
    GetTempFileNameA(base, "gio", 0, name);
    file = name;
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (out != nullptr) {
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
    }
    SetEnvironmentVariableA("DORUZEDA_GET_IO_DEVICES", file.c_str());
}

DeviceDescription::DeviceDescription()
{
    SetEnvironmentVariableA("DORUZEDA_GET_IO_DEVICES", nullptr);
}

DeviceDescription::~DeviceDescription()
{
    SetEnvironmentVariableA("DORUZEDA_GET_IO_DEVICES", nullptr);
    if (!file.empty()) DeleteFileA(file.c_str());
}

DebuggerOutput::DebuggerOutput()
{
    InitializeCriticalSection(&lock);
    bufferReady = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY");
    dataReady = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY");
    mapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, "DBWIN_BUFFER");
    if (bufferReady && dataReady && mapping) {
        view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 4096);
    }
    listening = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (view != nullptr && listening != nullptr) {
        thread = CreateThread(nullptr, 0, &DebuggerOutput::Run, this, 0, nullptr);
    }
    // A string sent before the thread listens would wait for it (Wine waits
    // 10 s for the buffer), so the listener is ready before this returns.
    if (thread != nullptr) WaitForSingleObject(listening, 5000);
}

DebuggerOutput::~DebuggerOutput()
{
    if (thread != nullptr) {
        InterlockedExchange(&stop, 1);
        SetEvent(dataReady);
        WaitForSingleObject(thread, 5000);
        CloseHandle(thread);
    }
    if (view != nullptr) UnmapViewOfFile(view);
    if (mapping != nullptr) CloseHandle(mapping);
    if (dataReady != nullptr) CloseHandle(dataReady);
    if (bufferReady != nullptr) CloseHandle(bufferReady);
    if (listening != nullptr) CloseHandle(listening);
    DeleteCriticalSection(&lock);
}

DWORD WINAPI DebuggerOutput::Run(void* self)
{
    DebuggerOutput* listener = static_cast<DebuggerOutput*>(self);
    const DWORD ownProcess = GetCurrentProcessId();
    for (;;) {
        SetEvent(listener->bufferReady);
        SetEvent(listener->listening);
        WaitForSingleObject(listener->dataReady, INFINITE);
        if (listener->stop) return 0;
        const char* buffer = static_cast<const char*>(listener->view);
        DWORD process = 0;
        std::memcpy(&process, buffer, sizeof process);
        if (process == ownProcess) {
            const char* text = buffer + sizeof(DWORD);
            const std::string message(text, strnlen(text, 4096 - sizeof(DWORD)));
            EnterCriticalSection(&listener->lock);
            listener->received.push_back(message);
            LeaveCriticalSection(&listener->lock);
        }
    }
}

std::vector<std::string> DebuggerOutput::Messages()
{
    EnterCriticalSection(&lock);
    std::vector<std::string> copy = received;
    LeaveCriticalSection(&lock);
    return copy;
}

const char kSetupWindowTitle[] = "Printer Port Parallel I/O Configuration";

namespace {

BOOL CALLBACK CollectSetupWindow(HWND window, LPARAM list)
{
    char title[128] = {};
    GetWindowTextA(window, title, sizeof title);
    if (std::strcmp(title, kSetupWindowTitle) == 0) {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    }
    return TRUE;
}

}  // namespace

std::vector<HWND> SetupWindowsOfThisThread()
{
    std::vector<HWND> found;
    EnumThreadWindows(GetCurrentThreadId(), &CollectSetupWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}


namespace {

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

int ThreadsOfThisProcess()
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

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

}  // namespace

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
    counts["threads"] = ThreadsOfThisProcess();
    const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
    const ULONG self = GetCurrentProcessId();
    for (ULONG at = 0; at < list->count; ++at) {
        const HandleEntry& entry = list->entries[at];
        if (entry.process != self) continue;
        ++counts[TypeName(queryObject, entry.value, entry.type)];
    }
    return counts;
}

std::map<std::string, int> HandlesSettledTo(const std::map<std::string, int>& expected)
{
    // Threads may end meanwhile (the system pool's, once idle), never be
    // added: fewer than expected count as expected.
    const auto now = [&expected] {
        std::map<std::string, int> counts = HandlesByType();
        const auto threads = expected.find("threads");
        if (threads != expected.end() && counts["threads"] < threads->second) {
            counts["threads"] = threads->second;
        }
        return counts;
    };
    std::map<std::string, int> counts = now();
    for (int waited = 0; waited < 50 && counts != expected; ++waited) {
        Sleep(100);
        counts = now();
    }
    return counts;
}

std::string DescribeCounts(const std::map<std::string, int>& counts)
{
    std::string text;
    for (const auto& [type, count] : counts) text += type + " " + std::to_string(count) + ", ";
    return text;
}

}  // namespace test_support
