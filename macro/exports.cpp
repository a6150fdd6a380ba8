// The exported functions: each forwards to the controller and returns its
// result unchanged, through the unload gate (app/unload_gate.h).
#define DORUZEDA_DO_BUILD
#include "../include/doruzeda_do.h"

#include "../app/controller_access.h"
#include "../app/unload_gate.h"
#include "../port/port_driver.h"

namespace {

// Runs `call` unless the unload has begun.
template <typename Call>
int WhileLoaded(Call call)
{
    const ExportCall inside;
    return inside.Admitted() ? call() : DORUZEDA_REFUSED_AT_UNLOAD;
}

}  // namespace

DORUZEDA_DO_API int __cdecl fnOrvane_fetchParallelInputPin(int pin)
{
    return WhileLoaded([&] { return TheController().FetchInputPin(pin); });
}

DORUZEDA_DO_API int __cdecl fnOrvane_getParallelInputAll(void)
{
    return WhileLoaded([&] { return TheController().GetInputAll(); });
}

DORUZEDA_DO_API int __cdecl fnOrvane_getParallelInputPin(int pin)
{
    return WhileLoaded([&] { return TheController().GetPinInput(pin); });
}

DORUZEDA_DO_API int __cdecl fnOrvane_rudAdado(void)
{
    return WhileLoaded([] {
        ShowSetupWindow();
        return DORUZEDA_OK;
    });
}

DORUZEDA_DO_API int __cdecl fnOrvane_prepareParallelOutputBuffer(void)
{
    return WhileLoaded([&] { return TheController().PrepareOutputBuffer(); });
}

DORUZEDA_DO_API int __cdecl fnOrvane_prepareParallelOutputPin(int pin, int level)
{
    return WhileLoaded([&] { return TheController().PrepareOutputPin(pin, level); });
}

DORUZEDA_DO_API int __cdecl fnOrvane_setParallelOutputAll(void)
{
    return WhileLoaded([&] { return TheController().SetOutputAll(); });
}

DORUZEDA_DO_API int __cdecl fnOrvane_setParallelOutputPin(int pin, int level)
{
    return WhileLoaded([&] { return TheController().SetPinOutput(pin, level); });
}

DORUZEDA_DO_API int __cdecl fnOrvane_setParallelPort(int number)
{
    return WhileLoaded([&] { return TheController().SelectPortByNumber(number); });
}

DORUZEDA_DO_API int __cdecl fnOrvane_setParallelPortAddress(const char* digit1, const char* digit2,
                                                            const char* digit3, const char* digit4)
{
    return WhileLoaded(
        [&] { return TheController().SetManualAddress(digit1, digit2, digit3, digit4); });
}

DORUZEDA_DO_API int __cdecl fnOrvane_setParallelDataDirection(int input)
{
    return WhileLoaded([&] { return TheController().SetDataDirection(input); });
}

DORUZEDA_DO_API int __cdecl fnOrvane_setParallelDataByte(int value)
{
    return WhileLoaded([&] { return TheController().SetDataByte(value); });
}

DORUZEDA_DO_API int __cdecl fnOrvane_getParallelDataByte(void)
{
    return WhileLoaded([&] { return TheController().GetDataByte(); });
}

DORUZEDA_DO_API int __cdecl fnOrvane_waitParallelInputPin(int pin, int level, int timeoutMs)
{
    return WhileLoaded([&] { return TheController().WaitInputPin(pin, level, timeoutMs); });
}

DORUZEDA_DO_API int __cdecl fnOrvane_recordParallelPins(const char* file)
{
    return WhileLoaded([&] { return RecordPins(file); });
}

DORUZEDA_DO_API int __cdecl fnOrvane_pulseParallelOutputPin(int pin, int level, int microseconds)
{
    return WhileLoaded([&] { return TheController().PulseOutputPin(pin, level, microseconds); });
}

DORUZEDA_DO_API int __cdecl fnOrvane_pulseParallelDataByte(int value, int microseconds)
{
    return WhileLoaded([&] { return TheController().PulseDataByte(value, microseconds); });
}

DORUZEDA_DO_API int __cdecl fnOrvane_checkParallelPort(void)
{
    return WhileLoaded([] { return TheController().CheckPort(PortDriverOpen()); });
}

DORUZEDA_DO_API int __cdecl fnOrvane_playParallelPins(const char* file)
{
    return WhileLoaded([&] { return PlayPins(file); });
}

DORUZEDA_DO_API int __cdecl fnOrvane_timeParallelInputPin(int pin, int level, int timeoutMs)
{
    return WhileLoaded([&] { return TheController().TimeInputPin(pin, level, timeoutMs); });
}
