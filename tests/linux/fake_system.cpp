#include "fake_system.h"

#include <linux/ppdev.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <set>
#include <thread>

#include "linux/ppdev_system.h"

namespace fake_system {

std::vector<std::string> calls;
std::vector<std::string> diagnostics;
std::map<std::string, int> openError;
std::map<std::string, int> claimError;
std::map<std::string, int> registerError;
std::map<std::string, int> interruptedClaims;
std::map<std::string, unsigned char> status;
long long now = 0;
std::mutex lock;

namespace {

struct Node {
    std::string name;
    bool claimed = false;
    unsigned char data = 0;
    unsigned char control = 0x0C;
};

std::map<int, Node> nodes;
int nextFd = 10;
std::set<std::string> held;
std::condition_variable released;

void Record(const Node& node, const char* what, int value = -1)
{
    char text[80];
    if (value < 0) {
        std::snprintf(text, sizeof text, "%s %s", node.name.c_str(), what);
    } else {
        std::snprintf(text, sizeof text, "%s %s %02X", node.name.c_str(), what, value);
    }
    calls.push_back(text);
}

}  // namespace

void Hold(const std::string& node, bool hold)
{
    const std::lock_guard<std::mutex> guard(lock);
    if (hold) {
        held.insert(node);
    } else {
        held.erase(node);
        released.notify_all();
    }
}

void Reset()
{
    const std::lock_guard<std::mutex> guard(lock);
    calls.clear();
    diagnostics.clear();
    openError.clear();
    claimError.clear();
    registerError.clear();
    interruptedClaims.clear();
    status.clear();
    nodes.clear();
    held.clear();
    now = 0;
}

}  // namespace fake_system

namespace ppdev_system {

using namespace fake_system;

int Open(const char* path)
{
    const std::lock_guard<std::mutex> guard(lock);
    const std::string full(path);
    Node node;
    node.name = full.substr(full.rfind('/') + 1);
    Record(node, "open");
    if (openError.count(node.name) != 0) return openError[node.name];
    nodes[nextFd] = node;
    return nextFd++;
}

int Ioctl(int fd, unsigned long request, void* argument)
{
    std::unique_lock<std::mutex> guard(lock);
    if (nodes.count(fd) == 0) return -EBADF;
    Node& node = nodes[fd];
    auto* byte = static_cast<unsigned char*>(argument);
    switch (request) {
    case PPCLAIM:
        Record(node, "PPCLAIM");
        if (interruptedClaims[node.name] > 0) {
            --interruptedClaims[node.name];
            return -EINTR;
        }
        if (held.count(node.name) != 0) {
            // The driver makes the claim wait, and every ppdev call with it.
            Record(node, "PPCLAIM while held");
            released.wait(guard, [&] { return held.count(node.name) == 0; });
        }
        if (claimError.count(node.name) != 0) return claimError[node.name];
        if (node.claimed) return -22;  // EINVAL, as the driver answers a second claim
        node.claimed = true;
        return 0;
    case PPRELEASE:
        Record(node, "PPRELEASE");
        node.claimed = false;
        return 0;
    default: break;
    }
    if (!node.claimed) return -22;
    if (registerError.count(node.name) != 0) return registerError[node.name];
    switch (request) {
    case PPRDATA:
        *byte = node.data;
        Record(node, "PPRDATA");
        return 0;
    case PPWDATA:
        node.data = *byte;
        Record(node, "PPWDATA", *byte);
        return 0;
    case PPRSTATUS:
        *byte = status.count(node.name) != 0 ? status[node.name] : 0x7F;
        Record(node, "PPRSTATUS");
        return 0;
    case PPRCONTROL:
        *byte = node.control;
        Record(node, "PPRCONTROL");
        return 0;
    case PPWCONTROL:
        node.control = static_cast<unsigned char>(*byte & 0x0F);  // the bits the driver keeps
        Record(node, "PPWCONTROL", *byte);
        return 0;
    case PPDATADIR: Record(node, "PPDATADIR", *static_cast<int*>(argument)); return 0;
    default: return -25;  // ENOTTY
    }
}

void Close(int fd)
{
    const std::lock_guard<std::mutex> guard(lock);
    if (nodes.count(fd) == 0) return;
    Record(nodes[fd], "close");
    nodes.erase(fd);
}

bool Held(const char* activePath)
{
    const std::lock_guard<std::mutex> guard(lock);
    std::string folder(activePath);
    folder = folder.substr(0, folder.rfind("/devices/active"));
    return held.count(folder.substr(folder.rfind('/') + 1)) != 0;
}

void Sleep(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

long long Milliseconds()
{
    const std::lock_guard<std::mutex> guard(lock);
    return now;
}

// The clock moves only when the test moves it. `done` is asked again only
// when `changed` is notified, never on a pace of its own, so that a change
// nobody notifies is never seen; the deadline is looked at every 100 ms (a
// wake-up that reports a time-out after a notification would take a wake-up
// later than that).
bool WaitUntil(std::condition_variable& changed, std::unique_lock<std::mutex>& waiting,
               const Deadline& deadline, const std::function<bool()>& done)
{
    while (!done()) {
        do {
            if (deadline.Passed()) return false;
        } while (changed.wait_for(waiting, std::chrono::milliseconds(100)) ==
                 std::cv_status::timeout);
    }
    return true;
}

bool StartThread(std::function<void()> work)
{
    std::thread(std::move(work)).detach();
    return true;
}

void Diagnostic(const char* line)
{
    const std::lock_guard<std::mutex> guard(lock);
    diagnostics.push_back(line);
}

}  // namespace ppdev_system
