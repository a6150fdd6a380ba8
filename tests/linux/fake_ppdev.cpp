// A fake ppdev device for tests: a FUSE file system whose files answer the
// ppdev ioctls as the kernel driver does, so that the real libraries make
// real system calls on it.
//
//   fake_ppdev MOUNTPOINT [--ports N] [--deny K]... [--stamps FILE]
//
// runs in the foreground (stop it with fusermount3 -u MOUNTPOINT) and shows,
// for each port K in 0..N-1 (default N = 1):
//   parportK          the device: PPCLAIM, PPRELEASE, PPRDATA, PPWDATA,
//                     PPRSTATUS, PPRCONTROL, PPWCONTROL, PPDATADIR. Register
//                     ioctls need a claim by the same open file (else EINVAL),
//                     as ppdev wants; closing releases. --deny K makes opening
//                     it fail with EACCES, as a node of group lp does.
//   parportK.status   the input lines: write a hex byte to set the status
//                     register (default 7F); reads give it back. "HEX +US"
//                     sets it US microseconds from now instead, on the
//                     device's clock: the first PPRSTATUS from then on reads
//                     it, and no thread of anyone's spins to make the change.
//   parportK.log      every state change in order, one a line: "claim",
//                     "release", "data XX", "control XX", "dir N".
// --stamps FILE appends a line for every PPWDATA, PPWCONTROL and PPRSTATUS as
// it arrives, "SECONDS.NANOSECONDS data XX" (or "control XX", "status XX"),
// and for each change of the status file, "... set XX" as it is written or
// "... change XX" stamped at the moment asked, on the device's own monotonic
// clock: a clock the library under test does not read, for the pulses' and
// the inputs' benchmarks.
// Control reads give the four bits the driver keeps; a control write with
// bit 5 set reverses the data lines, as the driver does; reverse data reads
// give FF (nothing drives the lines).
#define FUSE_USE_VERSION 35
#include <fuse.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

struct Port {
    bool denied = false;
    std::uint64_t claimedBy = 0;  // the open file holding the claim; 0 = none
    unsigned char data = 0;
    unsigned char control = 0x0C;
    unsigned char status = 0x7F;
    unsigned char laterStatus = 0;
    std::int64_t laterAtNs = -1;  // when laterStatus is due; -1: none
    bool reverse = false;
    std::string log;
};

enum class Kind { None, Device, Status, Log };

std::vector<Port> ports;
std::uint64_t nextHandle = 1;

Kind Parse(const char* path, Port** port)
{
    unsigned number = 0;
    char suffix[16] = "";
    int used = 0;
    if (std::sscanf(path, "/parport%u%n", &number, &used) != 1 || number >= ports.size()) {
        return Kind::None;
    }
    std::snprintf(suffix, sizeof suffix, "%s", path + used);
    *port = &ports[number];
    if (suffix[0] == '\0') return Kind::Device;
    if (std::strcmp(suffix, ".status") == 0) return Kind::Status;
    if (std::strcmp(suffix, ".log") == 0) return Kind::Log;
    return Kind::None;
}

void Log(Port& port, const char* what, int value = -1)
{
    char line[32];
    if (value < 0) {
        std::snprintf(line, sizeof line, "%s\n", what);
    } else {
        std::snprintf(line, sizeof line, "%s %02X\n", what, value);
    }
    port.log += line;
}

int GetAttr(const char* path, struct stat* st, fuse_file_info*)
{
    std::memset(st, 0, sizeof *st);
    if (std::strcmp(path, "/") == 0) {
        st->st_mode = S_IFDIR | 0755;
        st->st_nlink = 2;
        return 0;
    }
    Port* port = nullptr;
    const Kind kind = Parse(path, &port);
    if (kind == Kind::None) return -ENOENT;
    st->st_mode = S_IFREG | (kind == Kind::Log ? 0444 : 0666);
    st->st_nlink = 1;
    return 0;
}

int ReadDir(const char*, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
            fuse_readdir_flags)
{
    fill(buffer, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    fill(buffer, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    for (std::size_t i = 0; i < ports.size(); ++i) {
        for (const char* suffix : {"", ".status", ".log"}) {
            const std::string name = "parport" + std::to_string(i) + suffix;
            fill(buffer, name.c_str(), nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
        }
    }
    return 0;
}

int Open(const char* path, fuse_file_info* file)
{
    Port* port = nullptr;
    const Kind kind = Parse(path, &port);
    if (kind == Kind::None) return -ENOENT;
    if (kind == Kind::Device && port->denied) return -EACCES;
    file->direct_io = 1;
    file->fh = nextHandle++;
    return 0;
}

int Release(const char* path, fuse_file_info* file)
{
    Port* port = nullptr;
    if (Parse(path, &port) == Kind::Device && port->claimedBy == file->fh) {
        port->claimedBy = 0;
        Log(*port, "release");
    }
    return 0;
}

int Read(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info*)
{
    Port* port = nullptr;
    const Kind kind = Parse(path, &port);
    std::string text;
    if (kind == Kind::Log) {
        text = port->log;
    } else if (kind == Kind::Status) {
        char line[8];
        std::snprintf(line, sizeof line, "%02X\n", port->status);
        text = line;
    } else {
        return -EINVAL;
    }
    if (offset >= static_cast<off_t>(text.size())) return 0;
    const std::size_t count = std::min(size, text.size() - static_cast<std::size_t>(offset));
    std::memcpy(buffer, text.data() + offset, count);
    return static_cast<int>(count);
}

std::FILE* stamps = nullptr;

std::int64_t NowNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void Stamp(const char* what, unsigned char value, std::int64_t atNs = NowNs())
{
    if (stamps == nullptr) return;
    std::fprintf(stamps, "%lld.%09lld %s %02X\n", static_cast<long long>(atNs / 1000000000),
                 static_cast<long long>(atNs % 1000000000), what, value);
}

int Write(const char* path, const char* buffer, size_t size, off_t, fuse_file_info*)
{
    Port* port = nullptr;
    if (Parse(path, &port) != Kind::Status) return -EINVAL;
    const std::string text(buffer, size);
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 16);
    if (end == text.c_str() || value > 0xFF) return -EINVAL;
    long long microseconds = 0;
    if (std::sscanf(end, " +%lld", &microseconds) == 1) {
        if (microseconds < 0) return -EINVAL;
        port->laterStatus = static_cast<unsigned char>(value);
        port->laterAtNs = NowNs() + microseconds * 1000;
        return static_cast<int>(size);
    }
    port->status = static_cast<unsigned char>(value);
    port->laterAtNs = -1;
    Stamp("set", port->status);
    return static_cast<int>(size);
}

int Truncate(const char*, off_t, fuse_file_info*)
{
    return 0;
}

int Ioctl(const char* path, unsigned int command, void*, fuse_file_info* file, unsigned int,
          void* data)
{
    Port* port = nullptr;
    if (Parse(path, &port) != Kind::Device) return -ENOTTY;
    auto* byte = static_cast<unsigned char*>(data);
    if (command == PPCLAIM) {
        if (port->claimedBy == file->fh) return -EINVAL;  // "you've already got it"
        if (port->claimedBy != 0) return -EBUSY;
        port->claimedBy = file->fh;
        Log(*port, "claim");
        return 0;
    }
    if (port->claimedBy != file->fh) return -EINVAL;  // "claim the port first"
    switch (command) {
    case PPRELEASE:
        port->claimedBy = 0;
        Log(*port, "release");
        return 0;
    case PPRDATA: *byte = port->reverse ? 0xFF : port->data; return 0;
    case PPWDATA:
        Stamp("data", *byte);
        port->data = *byte;
        Log(*port, "data", *byte);
        return 0;
    case PPRSTATUS:
        if (port->laterAtNs >= 0 && NowNs() >= port->laterAtNs) {
            port->status = port->laterStatus;
            Stamp("change", port->status, port->laterAtNs);
            port->laterAtNs = -1;
        }
        Stamp("status", port->status);
        *byte = port->status;
        return 0;
    case PPRCONTROL: *byte = static_cast<unsigned char>(port->control & 0x0F); return 0;
    case PPWCONTROL:
        Stamp("control", *byte);
        port->control = static_cast<unsigned char>(*byte & 0x0F);
        if (*byte & 0x20) port->reverse = true;
        Log(*port, "control", *byte);
        return 0;
    case PPDATADIR:
        port->reverse = *static_cast<int*>(data) != 0;
        Log(*port, "dir", port->reverse ? 1 : 0);
        return 0;
    default: return -ENOTTY;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: fake_ppdev MOUNTPOINT [--ports N] [--deny K]... [--stamps FILE]\n");
        return 2;
    }
    std::size_t count = 1;
    std::set<unsigned long> denied;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--ports") == 0) count = std::strtoul(argv[i + 1], nullptr, 10);
        if (std::strcmp(argv[i], "--deny") == 0)
            denied.insert(std::strtoul(argv[i + 1], nullptr, 10));
        if (std::strcmp(argv[i], "--stamps") == 0) stamps = std::fopen(argv[i + 1], "w");
    }
    ports.resize(count);
    for (unsigned long number : denied) {
        if (number < count) ports[number].denied = true;
    }

    fuse_operations operations{};
    operations.getattr = GetAttr;
    operations.readdir = ReadDir;
    operations.open = Open;
    operations.release = Release;
    operations.read = Read;
    operations.write = Write;
    operations.truncate = Truncate;
    operations.ioctl = Ioctl;
    char program[] = "fake_ppdev";
    char foreground[] = "-f";
    char single[] = "-s";
    char* fuseArguments[] = {program, foreground, single, argv[1], nullptr};
    const int result = fuse_main(4, fuseArguments, &operations, nullptr);
    if (stamps != nullptr) std::fclose(stamps);
    return result;
}
