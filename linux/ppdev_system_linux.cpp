// The ppdev port library's system calls on Linux.
#include "ppdev_system.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

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

bool Held(const char* activePath)
{
    const int fd = ::open(activePath, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char text[64] = "";
    ssize_t length = 0;
    do {
        length = ::read(fd, text, sizeof text - 1);
    } while (length < 0 && errno == EINTR);
    ::close(fd);
    return length > 0 && std::strncmp(text, "none\n", 5) != 0;
}

void Close(int fd)
{
    ::close(fd);
}

long long Milliseconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void Sleep(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool WaitUntil(std::condition_variable& changed, std::unique_lock<std::mutex>& lock,
               const Deadline& deadline, const std::function<bool()>& done)
{
    // steady_clock is CLOCK_MONOTONIC, the clock of Milliseconds.
    return changed.wait_for(lock, std::chrono::milliseconds(deadline.RemainingMs()), done);
}

bool StartThread(std::function<void()> work)
{
    // A new thread starts with its creator's signal mask.
    sigset_t all;
    sigset_t previous;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    bool started = true;
    try {
        std::thread(std::move(work)).detach();
    } catch (const std::system_error&) {
        started = false;
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return started;
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
