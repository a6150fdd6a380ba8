// Keeps the Winelib library it is linked into loaded until the process ends.
//
// Wine cannot map a Winelib library again once it has unloaded it: a host
// that unloads Doruzeda_DO.dll (and with it the last reference to
// INPOUT32.dll and get_io.dll) and loads it again would fail with error 126
// ("import_dll Loading library get_io.dll ... failed"), and loading
// INPOUT32.dll itself a second time fails with error 998. Pinned at its first
// load, the library stays mapped, so later loads find it loaded; its state
// (the claimed ports) lives until the process ends, when the kernel releases
// them.
#include "keep_loaded.h"

BOOL KeepLoaded(HINSTANCE instance)
{
    HMODULE pinned = nullptr;
    return GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
        reinterpret_cast<LPCWSTR>(instance), &pinned);
}
