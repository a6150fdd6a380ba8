#include "test_support.h"

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

}  // namespace test_support
