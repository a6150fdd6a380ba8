// The exported functions: each forwards to the controller and returns its
// result unchanged.
#define DORUZEDA_DO_BUILD
#include "doruzeda_do.h"

#include "../app/controller_access.h"

DORUZEDA_DO_API int __cdecl fnOrvane_fetchParallelInputPin(int pin)
{
    return TheController().FetchInputPin(pin);
}

DORUZEDA_DO_API int __cdecl fnOrvane_getParallelInputAll(void)
{
    return TheController().GetInputAll();
}

DORUZEDA_DO_API int __cdecl fnOrvane_getParallelInputPin(int pin)
{
    return TheController().GetPinInput(pin);
}

DORUZEDA_DO_API int __cdecl fnOrvane_rudAdado(void)
{
    ShowSetupWindow();
    return 0;
}

DORUZEDA_DO_API int __cdecl fnOrvane_prepareParallelOutputBuffer(void)
{
    return TheController().PrepareOutputBuffer();
}

DORUZEDA_DO_API int __cdecl fnOrvane_prepareParallelOutputPin(int pin, int level)
{
    return TheController().PrepareOutputPin(pin, level);
}

DORUZEDA_DO_API int __cdecl fnOrvane_setParallelOutputAll(void)
{
    return TheController().SetOutputAll();
}

DORUZEDA_DO_API int __cdecl fnOrvane_setParallelOutputPin(int pin, int level)
{
    return TheController().SetPinOutput(pin, level);
}

DORUZEDA_DO_API int __cdecl fnOrvane_setParallelPort(int number)
{
    return TheController().SelectPortByNumber(number);
}

DORUZEDA_DO_API int __cdecl fnOrvane_setParallelPortAddress(const char* digit1, const char* digit2,
                                                            const char* digit3, const char* digit4)
{
    return TheController().SetManualAddress(digit1, digit2, digit3, digit4);
}

DORUZEDA_DO_API int __cdecl fnOrvane_setParallelDataDirection(int input)
{
    return TheController().SetDataDirection(input);
}

DORUZEDA_DO_API int __cdecl fnOrvane_setParallelDataByte(int value)
{
    return TheController().SetDataByte(value);
}

DORUZEDA_DO_API int __cdecl fnOrvane_getParallelDataByte(void)
{
    return TheController().GetDataByte();
}

DORUZEDA_DO_API int __cdecl fnOrvane_waitParallelInputPin(int pin, int level, int timeoutMs)
{
    return TheController().WaitInputPin(pin, level, timeoutMs);
}
