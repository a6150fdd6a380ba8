// A scripted stand-in for ppdev_system.h: device nodes that answer the ppdev
// ioctls as the driver does (register ioctls need a claim; control reads
// never show bit 5), and a record of every call.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace fake_system {

// Claims run on threads of their own: the fake's calls take this lock, and a
// test reads `calls` under it while a claim may still run.
extern std::mutex lock;

// Every open, ioctl and close, as "parport0 open", "parport0 PPWDATA 5A",
// "parport0 close": the node's file name, the call, the value in hex.
extern std::vector<std::string> calls;
// Every diagnostic line the library wrote.
extern std::vector<std::string> diagnostics;

// Set before the accesses: a node's open fails with -errno, its claim fails
// with -errno, its register ioctls fail with -errno, how many of its next
// claims a signal interrupts (EINTR), a node's status lines.
extern std::map<std::string, int> openError;
extern std::map<std::string, int> claimError;
extern std::map<std::string, int> registerError;
extern std::map<std::string, int> interruptedClaims;
extern std::map<std::string, unsigned char> status;
// The clock Milliseconds gives; only the test moves it (under `lock` while
// another thread may be waiting on it).
extern long long now;

// While a node is held (by another program), the port listing shows it held
// and a claim of it waits in the driver (recorded as "PPCLAIM while held").
void Hold(const std::string& node, bool held);

void Reset();

}  // namespace fake_system
