// The ports the system lists: the parportN entries of procfs, their I/O
// addresses, and the device node of each (ppdev_port.h).
#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "ppdev_port.h"
#include "ppdev_system.h"

namespace ppdev {
namespace {

// N of an entry named parportN: a plain decimal number below 1000.
bool PortNumber(const char* name, unsigned* number)
{
    if (std::strncmp(name, "parport", 7) != 0) return false;
    const char* digits = name + 7;
    const std::size_t length = std::strlen(digits);
    if (length == 0 || length > 3 || (digits[0] == '0' && length > 1)) return false;
    unsigned value = 0;
    for (const char* digit = digits; *digit != '\0'; ++digit) {
        if (*digit < '0' || *digit > '9') return false;
        value = value * 10 + static_cast<unsigned>(*digit - '0');
    }
    *number = value;
    return true;
}

}  // namespace

Locations Locations::FromEnvironment()
{
    Locations locations;
    if (const char* proc = std::getenv("DORUZEDA_PARPORT_PROC"); proc != nullptr && *proc) {
        locations.procDirectory = proc;
    }
    if (const char* dev = std::getenv("DORUZEDA_PARPORT_DEV"); dev != nullptr && *dev) {
        locations.deviceDirectory = dev;
    }
    return locations;
}

std::vector<ParallelPort> FindPorts(const std::string& procDirectory,
                                    std::set<std::string>* reported)
{
    std::vector<ParallelPort> found;
    DIR* directory = ::opendir(procDirectory.c_str());
    if (directory == nullptr) return found;
    while (const dirent* entry = ::readdir(directory)) {
        unsigned number = 0;
        if (!PortNumber(entry->d_name, &number)) continue;
        std::ifstream file(procDirectory + "/" + entry->d_name + "/base-addr");
        unsigned long base = 0;
        unsigned long second = 0;
        if (!(file >> base) || base > 0xFFF8) continue;
        if (base == 0) {
            if (reported != nullptr && reported->insert(entry->d_name).second) {
                const std::string line =
                    std::string("ppdev: ") + entry->d_name +
                    " is not listed: it has no I/O address (base 0, as a USB adapter has), "
                    "so programs that address the port's registers cannot reach it";
                ppdev_system::Diagnostic(line.c_str());
            }
            continue;
        }
        if (!(file >> second) || second > 0xFFF8 || second == base) second = 0;
        ParallelPort port;
        port.number = number;
        port.baseAddress = static_cast<std::uint16_t>(base);
        port.secondBase = static_cast<std::uint16_t>(second);
        found.push_back(port);
    }
    ::closedir(directory);
    std::sort(found.begin(), found.end(),
              [](const ParallelPort& a, const ParallelPort& b) { return a.number < b.number; });
    return found;
}

std::string DevicePath(const std::string& deviceDirectory, unsigned number)
{
    return deviceDirectory + "/parport" + std::to_string(number);
}

}  // namespace ppdev
