// Timing of one bare PPWDATA ioctl on a ppdev device file: opens and claims
// DEVICE, writes the data register CALLS times and prints nanoseconds per
// ioctl. Not a test.
//
//   ioctl_timing DEVICE CALLS
#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: ioctl_timing DEVICE CALLS\n");
        return 2;
    }
    const long calls = std::atol(argv[2]);
    const int fd = ::open(argv[1], O_RDWR);
    if (fd < 0 || ::ioctl(fd, PPCLAIM) != 0 || calls <= 0) {
        std::perror(argv[1]);
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < calls; ++i) {
        unsigned char value = static_cast<unsigned char>(i & 0xFF);
        if (::ioctl(fd, PPWDATA, &value) != 0) {
            std::perror("PPWDATA");
            return 1;
        }
    }
    const auto end = std::chrono::steady_clock::now();
    std::printf(
        "%.0f ns per PPWDATA ioctl (%ld calls)\n",
        std::chrono::duration<double, std::nano>(end - start).count() / static_cast<double>(calls),
        calls);
    ::ioctl(fd, PPRELEASE);
    ::close(fd);
    return 0;
}
