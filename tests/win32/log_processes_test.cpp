// Two processes logging into one RurSetupDebug.txt at once: every line must
// arrive whole, once, in its process's order. The test program starts itself
// twice with "--log-child"; each child loads the library, waits until both
// are ready, then makes its logged calls.
#include <gtest/gtest.h>

#include "test_support.h"  // windows.h first

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

using namespace test_support;

namespace {

constexpr int kCallsPerProcess = 3000;
constexpr int kChildren = 2;

std::string ObjectName(DWORD parent, const char* what)
{
    return "DoruzedaLogTest-" + std::to_string(parent) + "-" + what;
}

// The child: "--log-child PARENT PIN". Logs kCallsPerProcess calls of
// fnOrvane_setParallelOutputPin(PIN, level), the level alternating 1, 0, ...
int RunChild(DWORD parent, int pin)
{
    const HANDLE ready =
        OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, ObjectName(parent, "ready").c_str());
    const HANDLE start = OpenEventA(SYNCHRONIZE, FALSE, ObjectName(parent, "start").c_str());
    if (ready == nullptr || start == nullptr) return 2;
    LoadedLibrary library;
    Exports calls(library);
    if (!calls.AllFound()) return 3;
    ReleaseSemaphore(ready, 1, nullptr);
    if (WaitForSingleObject(start, 60000) != WAIT_OBJECT_0) return 4;
    for (int call = 0; call < kCallsPerProcess; ++call) {
        if (calls.setParallelOutputPin(pin, (call + 1) % 2) != 0) return 5;
    }
    return 0;
}

struct Child {
    PROCESS_INFORMATION process{};
    bool started = false;
};

Child StartChild(int pin)
{
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string command = "\"" + std::string(program) + "\" --log-child " +
                          std::to_string(GetCurrentProcessId()) + " " + std::to_string(pin);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    Child child;
    // The current directory (the scratch folder) is inherited.
    child.started = CreateProcessA(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &child.process) != FALSE;
    return child;
}

TEST(LogFileFromTwoProcesses, EveryLineArrivesWholeOnceAndInOrder)
{
    ScratchDirectory scratch;
    DeviceDescription devices;  // LPT1 at 378, selected at load
    const DWORD self = GetCurrentProcessId();
    const HANDLE ready = CreateSemaphoreA(nullptr, 0, kChildren, ObjectName(self, "ready").c_str());
    const HANDLE start = CreateEventA(nullptr, TRUE, FALSE, ObjectName(self, "start").c_str());
    ASSERT_NE(ready, nullptr);
    ASSERT_NE(start, nullptr);

    const int pins[kChildren] = {2, 3};
    std::vector<Child> children;
    for (int pin : pins) {
        children.push_back(StartChild(pin));
        ASSERT_TRUE(children.back().started) << GetLastError();
    }
    // Both have loaded the library before either logs a call.
    for (int child = 0; child < kChildren; ++child) {
        ASSERT_EQ(WaitForSingleObject(ready, 60000), WAIT_OBJECT_0) << "child " << child;
    }
    SetEvent(start);
    for (int child = 0; child < kChildren; ++child) {
        const HANDLE process = children[child].process.hProcess;
        ASSERT_EQ(WaitForSingleObject(process, 300000), WAIT_OBJECT_0) << "child " << child;
        DWORD code = 99;
        GetExitCodeProcess(process, &code);
        EXPECT_EQ(code, 0u) << "child " << child;
        CloseHandle(children[child].process.hProcess);
        CloseHandle(children[child].process.hThread);
    }
    CloseHandle(ready);
    CloseHandle(start);

    // Each line: the stamp, a blank, one message, CR LF.
    const std::string log = scratch.LogFile();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.substr(log.size() - 2), "\r\n") << "the file ends with a whole line";
    const std::regex stamp(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\.\d{3} )");
    int loadLines = 0;
    int lines = 0;
    int faults = 0;
    std::vector<std::string> examples;
    auto fault = [&](const std::string& what) {
        ++faults;
        if (examples.size() < 3) examples.push_back(what);
    };
    int nextLevel[kChildren] = {1, 1};
    int callLines[kChildren] = {0, 0};
    std::size_t at = 0;
    while (at < log.size()) {
        const std::size_t end = log.find("\r\n", at);
        if (end == std::string::npos) {
            fault("no line end: " + log.substr(at, 80));
            break;
        }
        const std::string line = log.substr(at, end - at);
        at = end + 2;
        ++lines;
        const std::string where = "line " + std::to_string(lines) + ": ";
        if (line.size() < 24 || !std::regex_match(line.substr(0, 24), stamp)) {
            fault(where + line);
            continue;
        }
        const std::string message = line.substr(24);
        if (message == "LPT1 (378-37F)") {
            ++loadLines;
            continue;
        }
        bool known = false;
        for (int child = 0; child < kChildren; ++child) {
            for (int level = 0; level < 2; ++level) {
                if (message != "SetPinOutput(" + std::to_string(pins[child]) + ", " +
                                   std::to_string(level) + ") Port=378") {
                    continue;
                }
                known = true;
                ++callLines[child];
                // A process's levels alternate: a repeat means a line of it was lost.
                if (level != nextLevel[child]) fault(where + line + " (one before it lost)");
                nextLevel[child] = level ^ 1;
            }
        }
        if (!known) fault(where + line);
    }
    EXPECT_EQ(faults, 0) << "torn, lost or stray lines, such as\n"
                         << examples.front() << (examples.size() > 1 ? "\n" + examples[1] : "");
    EXPECT_EQ(loadLines, kChildren) << "discovery's line, once per load";
    for (int child = 0; child < kChildren; ++child) {
        EXPECT_EQ(callLines[child], kCallsPerProcess) << "pin " << pins[child];
    }
    EXPECT_EQ(lines, kChildren * (kCallsPerProcess + 1));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--log-child") == 0) {
        return RunChild(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)), std::atoi(argv[3]));
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
