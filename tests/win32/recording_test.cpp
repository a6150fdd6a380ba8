// The recording inside the library under Wine, where it meets threads, the
// unload and faults: a start racing the unload, two starts at once, no port,
// a file that cannot be written, names too long, the library's own log, the
// longest name, an end while a timer's turn writes. (Fifty
// loads that each record leave no thread or handle: handles_test.) The program
// is also the process that record-vcd.sh ends in the middle of a write
// ("--exit-while-recording FILE").
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/win32/test_support.h"

using test_support::DeviceDescription;
using test_support::LoadedLibrary;
using test_support::ScratchDirectory;

namespace {

using RecordFunction = int(__cdecl*)(const char*);

std::string ReadAll(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// A complete file: the header, the levels at time 0, and a last time stamp
// on a line of its own at its end.
bool Complete(const std::string& text)
{
    const std::size_t levels = text.find("$enddefinitions $end\n#0\n$dumpvars\n");
    if (levels == std::string::npos || text.find("$end\n", levels + 34) == std::string::npos) {
        return false;
    }
    const std::size_t lastLine = text.rfind('\n', text.size() - 2);
    return text.back() == '\n' && lastLine != std::string::npos && text[lastLine + 1] == '#';
}

class RecordingTest : public ::testing::Test {
protected:
    ScratchDirectory scratch;
    DeviceDescription devices;  // the stand-in's default: LPT1 at 378
};

TEST_F(RecordingTest, AStartRacingTheUnloadEndsWithoutACrashAndTheFileComplete)
{
    for (int run = 0; run < 12; ++run) {
        LoadedLibrary library;
        const auto record = library.Get<RecordFunction>("fnOrvane_recordParallelPins");
        ASSERT_NE(record, nullptr);
        // The thread marks that it calls, and calls; the unload begins a
        // little later each run, from before the call is inside to after it
        // has started its recording. (A call that had not yet entered the
        // library when it is gone cannot be caught: the thread makes one.)
        struct Race {
            RecordFunction record;
            std::string path;
            volatile LONG calling;
            int result;
        } race{record, "race" + std::to_string(run) + ".vcd", 0, 99};
        const HANDLE thread = CreateThread(
            nullptr, 0,
            [](void* parameter) WINAPI -> DWORD {
                auto* self = static_cast<Race*>(parameter);
                InterlockedExchange(&self->calling, 1);
                self->result = self->record(self->path.c_str());
                return 0;
            },
            &race, 0, nullptr);
        ASSERT_NE(thread, nullptr);
        while (race.calling == 0) YieldProcessor();
        for (int spin = 0; spin < run * 20000; ++spin) YieldProcessor();
        library.Unload();
        ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0) << "run " << run;
        CloseHandle(thread);
        if (race.result == 0) {
            EXPECT_TRUE(Complete(ReadAll(race.path))) << "run " << run << ":\n"
                                                      << ReadAll(race.path);
        } else {
            EXPECT_EQ(race.result, -1) << "run " << run;
        }
    }
}

TEST_F(RecordingTest, TwoThreadsStartingAtOnceLeaveEveryFileCompleteAndNoHandle)
{
    LoadedLibrary library;
    const auto record = library.Get<RecordFunction>("fnOrvane_recordParallelPins");
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(record("warm.vcd"), 0);  // the pool's threads and its timer thread start
    ASSERT_EQ(record(""), 0);
    const std::map<std::string, int> before = test_support::HandlesByType();
    struct Starter {
        RecordFunction record;
        const char* name;
        volatile LONG* go;
        int failures;
    };
    volatile LONG go = 0;
    Starter starters[2] = {{record, "first", &go, 0}, {record, "second", &go, 0}};
    HANDLE threads[2];
    for (int index = 0; index < 2; ++index) {
        threads[index] = CreateThread(
            nullptr, 0,
            [](void* parameter) WINAPI -> DWORD {
                auto* self = static_cast<Starter*>(parameter);
                while (*self->go == 0) YieldProcessor();
                for (int round = 0; round < 40; ++round) {
                    const std::string path =
                        std::string(self->name) + std::to_string(round) + ".vcd";
                    if (self->record(path.c_str()) != 0) ++self->failures;
                }
                return 0;
            },
            &starters[index], 0, nullptr);
        ASSERT_NE(threads[index], nullptr);
    }
    Sleep(20);
    InterlockedExchange(&go, 1);
    ASSERT_EQ(WaitForMultipleObjects(2, threads, TRUE, 30000), WAIT_OBJECT_0);
    CloseHandle(threads[0]);
    CloseHandle(threads[1]);
    EXPECT_EQ(starters[0].failures + starters[1].failures, 0);
    EXPECT_EQ(record(""), 0);
    for (const char* name : {"first", "second"}) {
        for (int round = 0; round < 40; ++round) {
            const std::string path = std::string(name) + std::to_string(round) + ".vcd";
            EXPECT_TRUE(Complete(ReadAll(path))) << path << ":\n" << ReadAll(path);
        }
    }
    const std::map<std::string, int> after = test_support::HandlesSettledTo(before);
    EXPECT_EQ(after, before) << test_support::DescribeCounts(after)
                             << "\nbefore: " << test_support::DescribeCounts(before);
}

TEST_F(RecordingTest, NoPortGivesMinusOneOneLogLineAndNoFile)
{
    LoadedLibrary library;
    const auto record = library.Get<RecordFunction>("fnOrvane_recordParallelPins");
    const auto address = library.Get<test_support::Str4>("fnOrvane_setParallelPortAddress");
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(address("0", "", "", ""), 0);  // row 0, the one listed port, now at 0
    const std::string logBefore = scratch.LogFile();
    EXPECT_EQ(record("pins.vcd"), -1);
    EXPECT_FALSE(std::filesystem::exists("pins.vcd"));
    const std::string added = scratch.LogFile().substr(logBefore.size());
    EXPECT_NE(added.find(" Recording into pins.vcd failed: no port to record\r\n"),
              std::string::npos)
        << added;
    EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), 1) << added;
}

TEST_F(RecordingTest, AccessesToAPortChosenLaterAreCountedInOneLineAtTheEnd)
{
    LoadedLibrary library;
    const auto record = library.Get<RecordFunction>("fnOrvane_recordParallelPins");
    const auto address = library.Get<test_support::Str4>("fnOrvane_setParallelPortAddress");
    const auto setPin = library.Get<test_support::Int2>("fnOrvane_setParallelOutputPin");
    ASSERT_NE(record, nullptr);
    // An absolute name of the system's longest, 259 characters.
    char folder[MAX_PATH] = {};
    ASSERT_GT(GetCurrentDirectoryA(sizeof folder, folder), 0u);
    const std::string other = std::string(folder) + "\\" + std::string(254 - strlen(folder), 'o');
    ASSERT_EQ(record((other + ".vcd").c_str()), 0);  // LPT1 at 378, listed and selected
    ASSERT_EQ(address("2", "7", "8", ""), 0);
    ASSERT_EQ(setPin(2, 1), 0);  // reads 278, writes 278
    ASSERT_EQ(setPin(1, 0), 0);  // reads 27A, writes 27A
    ASSERT_EQ(setPin(3, 1), 0);
    const std::string logBefore = scratch.LogFile();
    ASSERT_EQ(record(""), 0);
    const std::string added = scratch.LogFile().substr(logBefore.size());
    EXPECT_NE(added.find(" Recording into " + other +
                         ".vcd: accesses to addresses of no recorded port: 278 (4), 27A (2)\r\n"),
              std::string::npos)
        << added;
    EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), 1) << added;
    EXPECT_TRUE(Complete(ReadAll(other + ".vcd")));
}

TEST_F(RecordingTest, AFileThatCannotBeCreatedGivesMinusOneAndNamesTheFileAndTheCause)
{
    LoadedLibrary library;
    const auto record = library.Get<RecordFunction>("fnOrvane_recordParallelPins");
    ASSERT_NE(record, nullptr);
    const std::string logBefore = scratch.LogFile();
    EXPECT_EQ(record("gone\\pins.vcd"), -1);
    const std::string added = scratch.LogFile().substr(logBefore.size());
    EXPECT_NE(added.find(" Recording into gone\\pins.vcd failed: "), std::string::npos) << added;
    EXPECT_EQ(added.find("no port to record"), std::string::npos) << added;
    EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), 1) << added;
}

// Refused, with one log line each and the log's lines kept: a name too long
// (cut in the line) from the environment at the load and from a macro, and
// the library's own log by any of its names: its short name, a \\?\ path, its
// folder by another drive letter.
TEST_F(RecordingTest, NamesTooLongAndTheLibrarysOwnLogGiveMinusOneAndOneLineEach)
{
    SetEnvironmentVariableA("DORUZEDA_RECORD", std::string(1104, 'n').c_str());
    LoadedLibrary library;
    SetEnvironmentVariableA("DORUZEDA_RECORD", nullptr);
    const std::string atLoad = scratch.LogFile();
    EXPECT_NE(atLoad.find(" Recording into nnnnn"), std::string::npos) << atLoad;
    EXPECT_NE(atLoad.find("n... failed: "), std::string::npos) << atLoad;
    EXPECT_EQ(atLoad.find("Recording"), atLoad.rfind("Recording")) << atLoad;
    const auto record = library.Get<RecordFunction>("fnOrvane_recordParallelPins");
    ASSERT_NE(record, nullptr);
    const std::string ownLog = " failed: it is the library's own log\r\n";
    char shortName[MAX_PATH] = {};
    char full[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameA("RurSetupDebug.txt", shortName, sizeof shortName), 0u);
    ASSERT_GT(GetFullPathNameA("RurSetupDebug.txt", sizeof full, full, nullptr), 0u);
    const auto unixName = reinterpret_cast<char*(CDECL*)(const WCHAR*)>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    ASSERT_NE(unixName, nullptr);
    // Wine's drive Z: is the root of the Unix file system: the log's folder by another letter.
    std::string otherDrive = std::string("Z:") + unixName(std::filesystem::path(full).c_str());
    std::replace(otherDrive.begin(), otherDrive.end(), '/', '\\');
    const std::string cases[][2] = {
        {std::string(5000, 'f'), "ffff... failed: "},
        {"RurSetupDebug.txt", " Recording into RurSetupDebug.txt" + ownLog},
        {".\\rursetupdebug.TXT", " Recording into .\\rursetupdebug.TXT" + ownLog},
        {shortName, ownLog},
        {std::string("\\\\?\\") + full, ownLog},
        {otherDrive, ownLog}};
    for (const auto& item : cases) {
        const std::string before = scratch.LogFile();
        EXPECT_EQ(record(item[0].c_str()), -1) << item[0];
        const std::string log = scratch.LogFile();
        ASSERT_EQ(log.substr(0, before.size()), before) << "lines lost";
        const std::string added = log.substr(before.size());
        EXPECT_NE(added.find(item[1]), std::string::npos) << added;
        EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), 1) << added;
    }
}

// The recording's faults, a row each (the name of 259 characters above): an
// end right after 256 KB of changes into a pipe read 4 KiB every 5 ms, as
// soon as a timer's turn is seen writing, waits for that turn, the file
// complete.
TEST_F(RecordingTest, AnEndWhileATimersTurnWritesWaitsForIt)
{
    LoadedLibrary library;
    const auto record = library.Get<RecordFunction>("fnOrvane_recordParallelPins");
    const auto setByte = library.Get<test_support::Int1>("fnOrvane_setParallelDataByte");
    const char* const name = "\\\\.\\pipe\\doruzeda-recording-turn";
    const HANDLE pipe =
        CreateNamedPipeA(name, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 1, 0, 4096, 0, nullptr);
    ASSERT_EQ(record(name), 0);
    for (int change = 0; change <= 9000; ++change) setByte(change % 2 == 0 ? 255 : 0);
    ConnectNamedPipe(pipe, nullptr);
    std::string read;
    char block[4096];
    DWORD got = 0;
    const auto endRecording = [](void* call) WINAPI -> DWORD {
        return static_cast<DWORD>(reinterpret_cast<RecordFunction>(call)(""));
    };
    HANDLE end = nullptr;  // record(""), once a block is read
    while (ReadFile(pipe, block, sizeof block, &got, nullptr) && got > 0) {
        read.append(block, got);
        if (end == nullptr) {
            end =
                CreateThread(nullptr, 0, endRecording, reinterpret_cast<void*>(record), 0, nullptr);
        }
        Sleep(5);
    }
    ASSERT_EQ(WaitForSingleObject(end, 10000), WAIT_OBJECT_0);
    DWORD ended = 1;
    EXPECT_TRUE(GetExitCodeThread(end, &ended) && ended == 0) << ended;
    CloseHandle(end);
    CloseHandle(pipe);
    EXPECT_TRUE(Complete(read));
}

// Changes that the buffer could not take (the memory for more cannot be had)
// are counted in the end's line.
TEST_F(RecordingTest, ChangesTheBufferCouldNotTakeAreCountedAtTheEnd)
{
    LoadedLibrary library;
    const auto record = library.Get<RecordFunction>("fnOrvane_recordParallelPins");
    const test_support::Exports calls{library};
    ASSERT_EQ(record("short-of-memory.vcd"), 0);
    std::vector<void*> reserved;  // the address space
    reserved.reserve(65536);
    for (SIZE_T size = SIZE_T{1} << 28; size >= 65536; size /= 2) {
        while (void* block = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS)) {
            reserved.push_back(block);
        }
    }
    for (int change = 0; change < 12000; ++change) {
        for (int pin : {1, 2, 3, 4, 5, 6, 7, 8, 9, 14, 16, 17}) {
            calls.prepareParallelOutputPin(pin, change & 1);
        }
        calls.setParallelOutputAll();
    }
    for (void* block : reserved) VirtualFree(block, 0, MEM_RELEASE);
    const std::size_t before = scratch.LogFile().size();
    EXPECT_EQ(record(""), 0);
    EXPECT_NE(scratch.LogFile().find(" changes dropped while the file fell behind\r\n", before),
              std::string::npos)
        << scratch.LogFile();
}

// The child of record-vcd.sh: records into FILE, changes the data pins
// `changes` times, gives the writer `waitMs` to start writing, and ends the
// process without unloading the library.
int ExitWhileRecording(const char* file, int changes, DWORD waitMs)
{
    const LoadedLibrary library;  // the host's macro module first: no box at the load
    const test_support::Exports calls{library};
    const auto record = library.Get<RecordFunction>("fnOrvane_recordParallelPins");
    if (!calls.AllFound() || record == nullptr || record(file) != 0) return 3;
    for (int change = 0; change < changes; ++change) {
        for (int pin = 2; pin <= 9; ++pin) calls.prepareParallelOutputPin(pin, change & 1);
        calls.setParallelOutputAll();
    }
    Sleep(waitMs);
    ExitProcess(0);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--exit-while-recording") == 0) {
        return ExitWhileRecording(argv[2], std::atoi(argv[3]),
                                  static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10)));
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
