// The log file under stress from outside: three processes logging into one
// RurSetupDebug.txt at once, also while a fourth holds one of the appenders'
// three lock bytes and never lets go (every line must arrive whole, once, in
// its process's order; the test program starts itself three times with
// "--log-child", and each child loads the library, waits until all are
// ready, then makes its logged calls); a holder of the appenders' lock that
// never lets go; a file that ends in the middle of a line; a FIFO that takes
// nothing.
#include <gtest/gtest.h>

#include "test_support.h"  // windows.h first

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <regex>
#include <string>
#include <vector>

using namespace test_support;

namespace {

constexpr int kChildren = 3;

std::string ObjectName(DWORD parent, const char* what)
{
    return "DoruzedaLogTest-" + std::to_string(parent) + "-" + what;
}

// The child: "--log-child PARENT PIN CALLS". Logs CALLS calls of
// fnOrvane_setParallelOutputPin(PIN, level), the level alternating 1, 0, ...
int RunChild(DWORD parent, int pin, int callCount)
{
    const HANDLE ready =
        OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, ObjectName(parent, "ready").c_str());
    const HANDLE start = OpenEventA(SYNCHRONIZE, FALSE, ObjectName(parent, "start").c_str());
    if (ready == nullptr || start == nullptr) return 2;
    LoadedLibrary library;
    Exports exports(library);
    if (!exports.AllFound()) return 3;
    ReleaseSemaphore(ready, 1, nullptr);
    if (WaitForSingleObject(start, 60000) != WAIT_OBJECT_0) return 4;
    for (int call = 0; call < callCount; ++call) {
        if (exports.setParallelOutputPin(pin, (call + 1) % 2) != 0) return 5;
    }
    return 0;
}

// The lock bytes the library's appenders take, two of the three, far past
// any data: the processes' agreement, so written out here.
constexpr DWORD kFirstLockByteLow = 0xFFFFFFFEu;
constexpr DWORD kSecondLockByteLow = 0xFFFFFFFDu;
constexpr DWORD kThirdLockByteLow = 0xFFFFFFFCu;
constexpr DWORD kLockByteHigh = 0x7FFFFFFFu;

// A handle of its own on the log file that holds one of the appenders' lock
// bytes until Release, as a stopped process (Ctrl-Z, a paused debugger)
// holding it would. Locks belong to handles: the library's own handle
// conflicts with it.
class HeldLockByte {
public:
    explicit HeldLockByte(DWORD byteLow = kFirstLockByteLow)
    {
        file = CreateFileA("RurSetupDebug.txt", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return;
        byte.Offset = byteLow;
        byte.OffsetHigh = kLockByteHigh;
        held = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                          &byte) != FALSE;
    }
    ~HeldLockByte() { Release(); }
    HeldLockByte(const HeldLockByte&) = delete;
    HeldLockByte& operator=(const HeldLockByte&) = delete;
    bool Held() const { return held; }
    void Release()
    {
        if (held) UnlockFileEx(file, 0, 1, 0, &byte);
        held = false;
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE file = INVALID_HANDLE_VALUE;
    OVERLAPPED byte{};
    bool held = false;
};

struct Child {
    PROCESS_INFORMATION process{};
    bool started = false;
};

Child StartChild(int pin, int calls)
{
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string command = "\"" + std::string(program) + "\" --log-child " +
                          std::to_string(GetCurrentProcessId()) + " " + std::to_string(pin) + " " +
                          std::to_string(calls);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    Child child;
    // The current directory (the scratch folder) is inherited.
    child.started = CreateProcessA(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &child.process) != FALSE;
    return child;
}

// The children each log `calls` lines into the scratch folder's log file;
// every line must arrive whole, once, and in its process's order.
void ExpectEveryLineWholeOnceAndInOrder(const ScratchDirectory& scratch, int calls)
{
    const DWORD self = GetCurrentProcessId();
    const HANDLE ready = CreateSemaphoreA(nullptr, 0, kChildren, ObjectName(self, "ready").c_str());
    const HANDLE start = CreateEventA(nullptr, TRUE, FALSE, ObjectName(self, "start").c_str());
    ASSERT_NE(ready, nullptr);
    ASSERT_NE(start, nullptr);

    const int pins[kChildren] = {2, 3, 4};
    std::vector<Child> children;
    for (int pin : pins) {
        children.push_back(StartChild(pin, calls));
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
    int nextLevel[kChildren] = {1, 1, 1};
    int callLines[kChildren] = {0, 0, 0};
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
        EXPECT_EQ(callLines[child], calls) << "pin " << pins[child];
    }
    EXPECT_EQ(lines, kChildren * (calls + 1));
}

TEST(LogFileFromThreeProcesses, EveryLineArrivesWholeOnceAndInOrder)
{
    ScratchDirectory scratch;
    DeviceDescription devices;  // LPT1 at 378, selected at load
    ExpectEveryLineWholeOnceAndInOrder(scratch, 3000);
}

// A fourth process (here the test itself) holds the lock byte at `byteLow`
// and never lets go: the three still append one at a time, never over each
// other.
void ExpectEveryLineWholeWhileAHolderKeeps(DWORD byteLow)
{
    ScratchDirectory scratch;
    DeviceDescription devices;  // LPT1 at 378, selected at load
    HeldLockByte holder(byteLow);
    ASSERT_TRUE(holder.Held()) << GetLastError();
    ExpectEveryLineWholeOnceAndInOrder(scratch, 300);
}

TEST(LogFileFromThreeProcesses, EveryLineArrivesWholeWhileAHolderNeverLetsGo)
{
    ExpectEveryLineWholeWhileAHolderKeeps(kFirstLockByteLow);
}

TEST(LogFileFromThreeProcesses, EveryLineArrivesWholeWhileAHolderOfTheSecondByteNeverLetsGo)
{
    ExpectEveryLineWholeWhileAHolderKeeps(kSecondLockByteLow);
}

TEST(LogFileFromThreeProcesses, EveryLineArrivesWholeWhileAHolderOfTheThirdByteNeverLetsGo)
{
    ExpectEveryLineWholeWhileAHolderKeeps(kThirdLockByteLow);
}

// On its own thread: loads the library (discovery logs its port while the
// system holds the loader lock), makes one logged call, unloads. Its exit
// code: the call's result + 100, or 1 when the library did not load.
DWORD WINAPI LoadCallAndUnload(void*)
{
    LoadedLibrary library;
    Exports calls(library);
    if (!calls.AllFound()) return 1;
    return static_cast<DWORD>(calls.setParallelOutputPin(2, 1) + 100);
}

TEST(LogFileLock, AHolderThatNeverLetsGoDelaysTheLogButNeverStopsIt)
{
    ScratchDirectory scratch;
    DeviceDescription devices;  // LPT1 at 378, selected at load
    HeldLockByte holder;
    ASSERT_TRUE(holder.Held()) << GetLastError();

    const HANDLE thread = CreateThread(nullptr, 0, &LoadCallAndUnload, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    // Generous: the load and the two lines take well under a second even
    // when each line waits its while for the lock; a wait without end never
    // returns.
    const DWORD waited = WaitForSingleObject(thread, 20000);
    if (waited != WAIT_OBJECT_0) {
        // Let it go so that the thread, and the process, can end.
        holder.Release();
        WaitForSingleObject(thread, INFINITE);
    }
    EXPECT_TRUE(waited == WAIT_OBJECT_0)
        << "the load and the call waited for the lock until it was let go (" << waited << ")";
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(code, 100u);

    const std::regex twoLines(
        R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\.\d{3} LPT1 \(378-37F\)\r\n)"
        R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\.\d{3} SetPinOutput\(2, 1\) Port=378\r\n)");
    EXPECT_TRUE(std::regex_match(scratch.LogFile(), twoLines)) << scratch.LogFile();
}

TEST(LogFileLineStart, ALineCutShortIsEndedBeforeTheNextLine)
{
    ScratchDirectory scratch;
    DeviceDescription devices;  // LPT1 at 378, selected at load
    LoadedLibrary library;
    Exports calls(library);
    ASSERT_TRUE(calls.AllFound());
    struct Case {
        const char* left;      // what an earlier run left in the file
        const char* expected;  // what must stand before the next line
    };
    const Case cases[] = {
        // A disk full in the middle of a line.
        {"12/08/2026 01:50:45.", "12/08/2026 01:50:45.\r\n"},
        // A disk full between the line's CR and its LF.
        {"12/08/2026 01:50:45.201 LPT1 (378-37F)\r", "12/08/2026 01:50:45.201 LPT1 (378-37F)\r\n"},
        {"12/08/2026 01:50:45.201 LPT1 (378-37F)\r\n",
         "12/08/2026 01:50:45.201 LPT1 (378-37F)\r\n"},
        {"", ""},
    };
    const std::regex nextLine(
        R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\.\d{3} SetPinOutput\(2, 1\) Port=378\r\n)");
    for (const Case& test : cases) {
        SCOPED_TRACE(std::string("left: \"") + test.left + "\"");
        {
            std::FILE* file = std::fopen("RurSetupDebug.txt", "wb");
            ASSERT_NE(file, nullptr);
            std::fputs(test.left, file);
            std::fclose(file);
        }
        ASSERT_EQ(calls.setParallelOutputPin(2, 1), 0);
        const std::string log = scratch.LogFile();
        const std::size_t expectedLength = std::strlen(test.expected);
        EXPECT_EQ(log.substr(0, expectedLength), test.expected);
        EXPECT_TRUE(std::regex_match(log.substr(std::min(expectedLength, log.size())), nextLine))
            << log;
    }
}

// A real full disk: DORUZEDA_FULL_DISK names an empty folder on a file
// system of 64 KiB (the test "log_full_disk" mounts one and names it through
// Wine's drive Z:); without it the case is skipped. The log file is made to
// end just short of a 4 KiB page and the rest of the file system filled, so
// that the next line is written only in part, as a full disk writes it.
TEST(LogFileFullDisk, TheLineAfterOneCutShortStartsALine)
{
    const char* folder = std::getenv("DORUZEDA_FULL_DISK");
    if (folder == nullptr || *folder == '\0') GTEST_SKIP() << "DORUZEDA_FULL_DISK is not set";
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(folder)) << folder << ": " << GetLastError();
    struct Restore {
        const char* path;
        ~Restore()
        {
            DeleteFileA("RurSetupDebug.txt");
            DeleteFileA("filler");
            SetCurrentDirectoryA(path);
        }
    } restore{previous};

    DeviceDescription devices;  // LPT1 at 378, selected at load
    LoadedLibrary library;
    Exports calls(library);
    ASSERT_TRUE(calls.AllFound());

    // 4076 bytes of whole lines: 20 bytes left in the file's last page.
    const std::string earlier = std::string(4074, 'x') + "\r\n";
    {
        std::FILE* file = std::fopen("RurSetupDebug.txt", "wb");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(std::fwrite(earlier.data(), 1, earlier.size(), file), earlier.size());
        ASSERT_EQ(std::fclose(file), 0);
    }
    const HANDLE filler = CreateFileA("filler", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(filler, INVALID_HANDLE_VALUE);
    const std::string block(4096, 'f');
    DWORD written = 0;
    int blocks = 0;
    while (blocks < 64 && WriteFile(filler, block.data(), 4096, &written, nullptr) &&
           written == 4096) {
        ++blocks;
    }
    const DWORD fillError = GetLastError();
    CloseHandle(filler);
    ASSERT_LT(blocks, 64) << "the file system did not fill up";
    EXPECT_EQ(fillError, static_cast<DWORD>(ERROR_DISK_FULL));

    EXPECT_EQ(calls.setParallelOutputPin(2, 1), 0);  // the log's failure is silent
    const std::string cut = test_shared::ReadFile("RurSetupDebug.txt");
    ASSERT_GT(cut.size(), earlier.size()) << "nothing of the line was written";
    ASSERT_LT(cut.size(), earlier.size() + 53) << "the whole line (53 bytes) was written";
    EXPECT_EQ(cut.substr(0, earlier.size()), earlier);

    ASSERT_TRUE(DeleteFileA("filler")) << GetLastError();
    EXPECT_EQ(calls.setParallelOutputPin(2, 0), 0);
    const std::string log = test_shared::ReadFile("RurSetupDebug.txt");
    ASSERT_GE(log.size(), cut.size());
    EXPECT_EQ(log.substr(0, cut.size()), cut);
    const std::regex nextLine(
        R"(\r\n\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\.\d{3} SetPinOutput\(2, 0\) Port=378\r\n)");
    EXPECT_TRUE(std::regex_match(log.substr(cut.size()), nextLine)) << log.substr(earlier.size());
}

// The log file a FIFO whose buffer is full and which nobody reads, as a
// share that stopped answering: the load's line given up after its 300 ms,
// a logged call's counted at once, and the unload return; once the FIFO is
// read again and the second's pause is over, the next line comes after one
// naming the two lines lost.
// DORUZEDA_LOG_FIFO names a folder holding such a FIFO, RurSetupDebug.txt
// (the test "log_fifo" makes one); without it the case is skipped.
TEST(LogFileFifo, ALogThatTakesNothingNeverHoldsACallAndTheLossIsNamed)
{
    const char* folder = std::getenv("DORUZEDA_LOG_FIFO");
    if (folder == nullptr || *folder == '\0') GTEST_SKIP() << "DORUZEDA_LOG_FIFO is not set";
    ASSERT_TRUE(SetCurrentDirectoryA(folder)) << folder << ": " << GetLastError();
    DeviceDescription devices;  // LPT1 at 378, selected at load
    ULONGLONG start = GetTickCount64();
    auto library = std::make_unique<LoadedLibrary>();
    Exports calls(*library);
    EXPECT_EQ(calls.setParallelOutputPin(2, 1), 0);
    EXPECT_LT(GetTickCount64() - start, 1000u) << "the load and the call";
    const HANDLE fifo =
        CreateFileA("RurSetupDebug.txt", GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string text(65536, 'x');
    DWORD moved = 0;
    ASSERT_TRUE(ReadFile(fifo, text.data(), 65536, &moved, nullptr)) << GetLastError();
    Sleep(1100);  // the file is not tried for a second after the load's line was given up
    EXPECT_EQ(calls.setParallelOutputPin(2, 0), 0);
    ASSERT_TRUE(ReadFile(fifo, text.data(), 65536, &moved, nullptr)) << GetLastError();
    const std::regex named(
        R"(\d\d/\d\d/\d{4} [\d:.]{12} 2 log lines dropped: the log file took none )"
        R"(within 300 ms\r\n\d\d/\d\d/\d{4} [\d:.]{12} SetPinOutput\(2, 0\) Port=378\r\n)");
    EXPECT_TRUE(std::regex_match(text.substr(0, moved), named)) << text.substr(0, moved);
    WriteFile(fifo, std::string(65536, 'x').data(), 65536, &moved, nullptr);  // full again
    start = GetTickCount64();
    library.reset();
    EXPECT_LT(GetTickCount64() - start, 1000u) << "the unload";
    CloseHandle(fifo);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--log-child") == 0) {
        return RunChild(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)), std::atoi(argv[3]),
                        std::atoi(argv[4]));
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
