#include "system_error_win32.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

void SystemErrorText(unsigned long code, char* text, std::size_t size)
{
    const DWORD capacity = static_cast<DWORD>(size);
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, capacity, nullptr);
    while (length > 0 && std::strchr("\r\n .", text[length - 1]) != nullptr) --length;
    text[length] = '\0';
    if (length == 0) std::snprintf(text, size, "error %lu", code);
}
