// Stand-in for the closed port I/O library INPOUT32.dll on development
// machines: ordinals 1 (PortRead) and 2 (PortWrite), stdcall, over a simulated
// I/O space shared between processes. See sim_port.h. It also exports
// IsInpOutDriverOpen, by name, answering from DORUZEDA_INPOUT32_DRIVER; the
// build defined INPOUT32_WITHOUT_DRIVER_QUERY leaves it out, as some builds
// of the real library do. And LastPortAccessReached, as our Linux
// INPOUT32.dll has it: an access to an address SimSetNoAnswer marked did not
// reach the port.
#define INPOUT32_STANDIN_BUILD
#include "sim_port.h"

#include "port/pin_map.h"

#include <windows.h>

#include <cstdlib>

namespace {

constexpr unsigned long kTraceCapacity = 8192;
constexpr unsigned short kDefaultPort = 0x378;
const char kSectionName[] = "Local\\DoruzedaSimulatedParallelPort";

struct SharedState {
    volatile LONG lock;  // a spin lock: accesses are short and never block
    volatile LONG initialised;
    unsigned long traceCount;
    unsigned char registers[65536];
    unsigned char isPortBase[65536];
    unsigned char dataInputs[65536];    // what drives a port's data lines from outside
    unsigned char noAnswer[65536];      // 1: nothing answers at the address
    unsigned char noAnswerRead[65536];  // what a read gives there
    SimPortAccess trace[kTraceCapacity];
};

SharedState* state = nullptr;
HANDLE section = nullptr;
// Per thread: non-null when its last access went to an address without an
// answer.
DWORD unreachedSlot = TLS_OUT_OF_INDEXES;

class Guard {
public:
    Guard()
    {
        while (InterlockedCompareExchange(&state->lock, 1, 0) != 0) {
            YieldProcessor();
        }
    }
    ~Guard() { InterlockedExchange(&state->lock, 0); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

void Record(bool isWrite, unsigned short address, unsigned short value)
{
    SimPortAccess& entry = state->trace[state->traceCount % kTraceCapacity];
    entry.sequence = state->traceCount;
    entry.isWrite = isWrite ? 1 : 0;
    entry.reserved = 0;
    entry.address = address;
    entry.value = value;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    entry.counter = now.QuadPart;
    ++state->traceCount;
}

// Whether `address` is register `reg` of a port the section marks. Ports may
// overlap: an address can be one port's data register and another's status.
bool IsRegister(unsigned short address, PinRegister reg)
{
    constexpr int kRegisters = static_cast<int>(PinRegister::Control) + 1;
    for (int below = 0; below < kRegisters; ++below) {
        const auto base = static_cast<unsigned short>(address - below);
        if (state->isPortBase[base] != 0 && PinMap::RegisterAt(address, base) == reg) return true;
    }
    return false;
}

// A port's data register while control bit 5 makes its data lines inputs.
bool ReadsDataInputs(unsigned short address)
{
    return IsRegister(address, PinRegister::Data) &&
           (state->registers[PinMap::RegisterAddress(address, PinRegister::Control)] &
            PinMap::kDataInputsBit) != 0;
}

// How long each access waits before it is made, from DORUZEDA_SIM_ACCESS_MS
// at load (0: none): a driver whose accesses hang.
DWORD accessDelay = 0;

void WaitAsADriverWould()
{
    if (accessDelay != 0) Sleep(accessDelay);
}

bool Attach()
{
    char delay[16] = {};
    const DWORD length = GetEnvironmentVariableA("DORUZEDA_SIM_ACCESS_MS", delay, sizeof delay);
    if (length > 0 && length < sizeof delay) accessDelay = std::strtoul(delay, nullptr, 10);
    section = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                 sizeof(SharedState), kSectionName);
    if (section == nullptr) {
        return false;
    }
    state = static_cast<SharedState*>(
        MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(SharedState)));
    if (state == nullptr) {
        CloseHandle(section);
        section = nullptr;
        return false;
    }
    // A new section is zero-filled; the first process to see it marks the
    // default port.
    if (InterlockedCompareExchange(&state->initialised, 1, 0) == 0) {
        state->isPortBase[kDefaultPort] = 1;
    }
    return true;
}

void Detach()
{
    if (state != nullptr) {
        UnmapViewOfFile(state);
        state = nullptr;
    }
    if (section != nullptr) {
        CloseHandle(section);
        section = nullptr;
    }
}

}  // namespace

extern "C" __declspec(dllexport) unsigned short __stdcall PortRead(unsigned short address)
{
    WaitAsADriverWould();
    Guard guard;
    const unsigned short value = state->noAnswer[address] != 0 ? state->noAnswerRead[address]
                                 : ReadsDataInputs(address)    ? state->dataInputs[address]
                                                               : state->registers[address];
    Record(false, address, value);
    TlsSetValue(unreachedSlot, state->noAnswer[address] != 0 ? state : nullptr);
    return value;
}

extern "C" __declspec(dllexport) void __stdcall PortWrite(unsigned short address,
                                                          unsigned short value)
{
    WaitAsADriverWould();
    Guard guard;
    if (state->noAnswer[address] == 0 && !IsRegister(address, PinRegister::Status)) {
        state->registers[address] = static_cast<unsigned char>(value & 0xFF);
    }
    Record(true, address, value);
    TlsSetValue(unreachedSlot, state->noAnswer[address] != 0 ? state : nullptr);
}

extern "C" __declspec(dllexport) BOOL __stdcall LastPortAccessReached(void)
{
    return TlsGetValue(unreachedSlot) == nullptr ? TRUE : FALSE;
}

SIM_PORT_API unsigned long __cdecl SimTraceCount(void)
{
    Guard guard;
    return state->traceCount;
}

SIM_PORT_API unsigned long __cdecl SimTraceCapacity(void)
{
    return kTraceCapacity;
}

SIM_PORT_API int __cdecl SimTraceGet(unsigned long sequence, SimPortAccess* access)
{
    Guard guard;
    if (access == nullptr || sequence >= state->traceCount ||
        state->traceCount - sequence > kTraceCapacity) {
        return 0;
    }
    *access = state->trace[sequence % kTraceCapacity];
    return 1;
}

SIM_PORT_API void __cdecl SimTraceClear(void)
{
    Guard guard;
    state->traceCount = 0;
}

SIM_PORT_API void __cdecl SimSetInputLines(unsigned short baseAddress, unsigned char status)
{
    Guard guard;
    state->isPortBase[baseAddress] = 1;
    state->registers[PinMap::RegisterAddress(baseAddress, PinRegister::Status)] = status;
}

SIM_PORT_API void __cdecl SimSetDataInputs(unsigned short baseAddress, unsigned char value)
{
    Guard guard;
    state->isPortBase[baseAddress] = 1;
    state->dataInputs[baseAddress] = value;
}

SIM_PORT_API unsigned char __cdecl SimPeek(unsigned short address)
{
    Guard guard;
    return state->registers[address];
}

SIM_PORT_API void __cdecl SimPoke(unsigned short address, unsigned char value)
{
    Guard guard;
    state->registers[address] = value;
}

SIM_PORT_API void __cdecl SimAddPort(unsigned short baseAddress)
{
    Guard guard;
    state->isPortBase[baseAddress] = 1;
}

SIM_PORT_API void __cdecl SimSetNoAnswer(unsigned short baseAddress, unsigned char readValue)
{
    Guard guard;
    for (const PinRegister reg : {PinRegister::Data, PinRegister::Status, PinRegister::Control}) {
        const unsigned short address = PinMap::RegisterAddress(baseAddress, reg);
        state->noAnswer[address] = 1;
        state->noAnswerRead[address] = readValue;
    }
}

#ifndef INPOUT32_WITHOUT_DRIVER_QUERY
// The real library's optional export: whether its kernel driver is open.
// Asked at each call, so that a test sets the answer before a load.
extern "C" __declspec(dllexport) BOOL __stdcall IsInpOutDriverOpen(void)
{
    char answer[4];
    const DWORD length = GetEnvironmentVariableA("DORUZEDA_INPOUT32_DRIVER", answer, sizeof answer);
    return length == 1 && answer[0] == '0' ? FALSE : TRUE;
}
#endif

SIM_PORT_API void __cdecl SimReset(void)
{
    Guard guard;
    ZeroMemory(state->noAnswer, sizeof state->noAnswer);
    ZeroMemory(state->registers, sizeof state->registers);
    ZeroMemory(state->isPortBase, sizeof state->isPortBase);
    ZeroMemory(state->dataInputs, sizeof state->dataInputs);
    state->isPortBase[kDefaultPort] = 1;
    state->traceCount = 0;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        unreachedSlot = TlsAlloc();
        return unreachedSlot != TLS_OUT_OF_INDEXES && Attach() ? TRUE : FALSE;
    }
    if (reason == DLL_PROCESS_DETACH) {
        Detach();
        TlsFree(unreachedSlot);
    }
    return TRUE;
}
