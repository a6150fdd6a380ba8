// A DLL of this build whose AskFor(size) asks new (std::nothrow) for size
// bytes: 1 when it gives null, 0 when it gives memory.
#include <cstddef>
#include <new>

extern "C" __declspec(dllexport) int AskFor(std::size_t size)
{
    char* bytes = new (std::nothrow) char[size];
    const int gotNull = bytes == nullptr ? 1 : 0;
    delete[] bytes;
    return gotNull;
}
