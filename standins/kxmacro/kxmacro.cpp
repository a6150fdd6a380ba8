// Stand-in for the host application's macro module on development machines.
// The library only checks that "kxmacro" is loaded and exports
// "Kx_Block_Commands"; it never calls it. This one does nothing and says so.
#include <windows.h>

extern "C" __declspec(dllexport) int __cdecl Kx_Block_Commands(void)
{
    return 0;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
