// Linked into every DLL of the Win32 build, with the linker told to send the
// start-up code's calls of __register_frame_info and __deregister_frame_info
// here (--wrap, see cmake/win32.cmake).
//
// The static runtime of the toolchain (the posix thread model) registers a
// DLL's unwind tables at load under a lock that starts the thread runtime for
// the loading thread: a record with a duplicate of the thread's handle and an
// event, which only that thread's end frees. A DLL unloaded before then
// leaves both behind, one thread handle and one event handle per load and
// unload, for as long as the host runs. Without the registration nothing is
// made.
//
// What the registration would give: a C++ exception thrown inside the DLL
// unwinding through its frames. Without it a throw ends the program at once,
// caught or not; the DLLs are compiled without exceptions (cmake/win32.cmake),
// so no code of theirs can throw or catch one.
#include <cstdlib>
#include <new>

// new (std::nothrow) as it promises: the runtime's own calls the throwing
// new and catches its bad_alloc, which here would end the host instead of
// giving null. (delete is the runtime's: it frees with free.)
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size == 0 ? 1 : size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size == 0 ? 1 : size);
}

// The names are the linker's: --wrap=NAME sends calls of NAME to __wrap_NAME.
extern "C" {

void __wrap___register_frame_info(const void*, void*)  // NOLINT(bugprone-reserved-identifier)
{
}

void* __wrap___deregister_frame_info(const void*)  // NOLINT(bugprone-reserved-identifier)
{
    return nullptr;
}

}  // extern "C"
