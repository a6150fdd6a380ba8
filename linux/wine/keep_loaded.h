// Keeps the Winelib library it is linked into loaded until the process ends:
// each library's DllMain calls it at DLL_PROCESS_ATTACH and fails the load
// when it fails (see keep_loaded.cpp for why).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

BOOL KeepLoaded(HINSTANCE instance);
