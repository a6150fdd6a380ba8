// An empty DLL: the baseline for what loading Doruzeda_DO.dll adds.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
