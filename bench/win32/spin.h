// What both timing programs share: a thread that must act at an exact
// moment spins on the performance counter rather than sleep.
#pragma once

#include <windows.h>

// Spins for `microseconds` from now; gives the counter when it ends.
inline LONGLONG SpinMicroseconds(int microseconds)
{
    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    const LONGLONG due = now.QuadPart + frequency.QuadPart * microseconds / 1000000;
    while (now.QuadPart < due) QueryPerformanceCounter(&now);
    return now.QuadPart;
}
