// Fuzz target: discovery over a device list described by the input. Checks
// what must hold for any list:
//   - every device opened is closed once, every resource record read is
//     freed once;
//   - each LPT number the table answers to selects a base that the list
//     gave as a range's first port, or the fallback 378 when nothing was
//     recorded;
//   - a pin written on that port touches only its three registers, and only
//     when its base is one a port may have (neither 0 nor above FFFD);
// and the sanitizers judge the rest (names that fill the buffer
// unterminated, a range count with no ranges).
//
// Input layout (front to back; see InputReader): byte device count (0..24,
// 25: counting the devices fails), then the devices (InputReader::Device).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "input_reader.h"
#include "port/port_controller.h"
#include "tests/fakes/controller_setup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::remove("RurSetupDebug.txt");
    fakes::ResetAll();
    InputReader input(data, size);
    const int devices = input.Choice(0, 25);
    fakes::FakeDeviceList& list = fakes::Devices();
    list.countFails = devices == 25;
    std::set<std::uint16_t> listed;
    for (int index = 0; index < devices && devices < 25; ++index) {
        list.devices.push_back(input.Device());
        if (!list.devices.back().ranges.empty())
            listed.insert(list.devices.back().ranges[0].firstPort);
    }

    PortController controller;
    const bool found = controller.EnumeratePorts();
    if (list.opens != list.closes || list.resourceGets != list.resourceFrees) std::abort();
    if (!found) listed = {0x378};

    for (int number = 1; number <= 10; ++number) {
        const int result = controller.SelectPortByNumber(number);
        if (result != 0 && result != -2) std::abort();
        if (result != 0) continue;
        const std::uint16_t base = fakes::SelectedBase(controller);
        if (listed.count(base) == 0) std::abort();  // a base the list never gave
        fakes::Port().trace.clear();
        const int written = controller.SetPinOutput(2, 1);
        const bool usable = base >= 0x100 && base <= 0xFFFD;
        if (written != (usable ? 0 : -1)) std::abort();
        for (const fakes::PortAccess& access : fakes::Port().trace) {
            if (access.address < base || access.address > base + 2) std::abort();
        }
    }
    return 0;
}
