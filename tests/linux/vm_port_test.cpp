// The ppdev library against the kernel's own driver, run as the only program
// of a small virtual machine whose parallel port is QEMU's model (see
// vm-kernel-ppdev.sh). Prints one line per check; exits with the number of
// failed checks.
//
// What QEMU's port model does: a data byte goes to the port's character
// device when strobe (control bit 0) rises while control bits 2 and 3 are
// set; data and control read back; status reads D8 when idle, and after a
// strobe pulse the next reads play its handshake (58, 18, then D8 again);
// reverse data reads FF. It has no extended registers, so the kernel lists
// no second base. The kernel shows which device holds a port in
// parportN/devices/active.
#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "linux/ppdev_port.h"

namespace {

int failures = 0;

void Check(bool passed, const char* what, unsigned actual, unsigned expected)
{
    std::printf("vm_port_test: %s %s (got %02X, want %02X)\n", passed ? "ok  " : "FAIL", what,
                actual, expected);
    if (!passed) ++failures;
}

void CheckEqual(unsigned actual, unsigned expected, const char* what)
{
    Check(actual == expected, what, actual, expected);
}

}  // namespace

int main()
{
    const ppdev::Locations locations;  // the kernel's own /proc and /dev
    const std::vector<ppdev::ParallelPort> ports = ppdev::FindPorts(locations.procDirectory);
    CheckEqual(static_cast<unsigned>(ports.size()), 1, "one port listed");
    if (ports.empty()) return failures;
    CheckEqual(ports[0].baseAddress, 0x378, "parport0 base 378");
    CheckEqual(ports[0].secondBase, 0, "parport0 without a second base");

    // Another program holds the port: the driver makes the claim wait. The
    // first access gives up after the claim wait; the claim goes on and gets
    // the port once the other lets it go.
    const int other = ::open("/dev/parport0", O_RDWR);
    CheckEqual(other >= 0 && ::ioctl(other, PPCLAIM) == 0, 1, "another program claims the port");
    ppdev::PortSpace space(ports, locations);
    const std::uint16_t data = 0x378;
    const std::uint16_t status = 0x379;
    const std::uint16_t control = 0x37A;
    CheckEqual(space.Read(status), 0xFF, "status while another program holds the port");
    ::ioctl(other, PPRELEASE);
    ::close(other);
    unsigned value = 0xFF;
    for (int i = 0; i < 200 && value == 0xFF; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        value = space.Read(status);
    }
    CheckEqual(value, 0xD8, "status once the other program let go");

    CheckEqual(space.Read(status), 0xD8, "idle status");
    space.Write(status, 0x00);
    CheckEqual(space.Read(status), 0xD8, "status ignores writes");

    // Printed bytes: data, then a strobe pulse with bits 2 and 3 set.
    for (const char byte : std::string("ppdev\n")) {
        space.Write(data, static_cast<std::uint8_t>(byte));
        space.Write(control, 0x0D);
        space.Write(control, 0x0C);
    }
    const unsigned handshake[] = {0x58, 0x18, 0xD8, 0xD8};
    for (const unsigned expected : handshake) {
        CheckEqual(space.Read(status), expected, "status handshake after a strobe");
    }

    space.Write(data, 0xA5);
    CheckEqual(space.Read(data), 0xA5, "data reads back");
    space.Write(control, 0x0A);
    CheckEqual(space.Read(control), 0x0A, "control reads back");
    space.Write(control, 0x2C);
    CheckEqual(space.Read(control), 0x2C, "control shows the direction bit");
    CheckEqual(space.Read(data), 0xFF, "reverse data reads FF");
    space.Write(control, 0x0C);
    CheckEqual(space.Read(control), 0x0C, "forward again");
    CheckEqual(space.Read(data), 0xA5, "forward data reads the latch");

    std::printf("vm_port_test: %d failure(s)\n", failures);
    return failures;
}
