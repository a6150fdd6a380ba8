// A scripted stand-in for ppdev_system.h: device nodes that answer the ppdev
// ioctls as the driver does (register ioctls need a claim; control reads
// never show bit 5), and a record of every call.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace fake_system {

// Every open, ioctl and close, as "parport0 open", "parport0 PPWDATA 5A",
// "parport0 close": the node's file name, the call, the value in hex.
extern std::vector<std::string> calls;
// Every diagnostic line the library wrote.
extern std::vector<std::string> diagnostics;

// Set before the accesses: a node's open fails with -errno, its claim fails
// with -errno, a node's status lines and data lines.
extern std::map<std::string, int> openError;
extern std::map<std::string, int> claimError;
extern std::map<std::string, unsigned char> status;

void Reset();

}  // namespace fake_system
