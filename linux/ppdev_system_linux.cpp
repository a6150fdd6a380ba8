// The ppdev port library's system calls on Linux.
#include "ppdev_system.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace ppdev_system {

int Open(const char* path)
{
    const int fd = ::open(path, O_RDWR | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
}

int Ioctl(int fd, unsigned long request, void* argument)
{
    return ::ioctl(fd, request, argument) == 0 ? 0 : -errno;
}

void Close(int fd)
{
    ::close(fd);
}

void Diagnostic(const char* line)
{
    std::string text(line);
    text += '\n';
    const char* next = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(2, next, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        next += written;
        left -= static_cast<std::size_t>(written);
    }
}

}  // namespace ppdev_system
