// The setup window and other threads of the real Doruzeda_DO.dll under Wine:
//  - the window's level box of one control-register pin, clicked again and
//    again on the window's thread, while other threads change the register's
//    other pins through the exports: no change is lost on either side;
//  - the library loaded on a thread that serves the window and unloaded from
//    another thread while polling: the window stays behind hidden and inert,
//    no library code runs after the unload, and a new load works;
//  - the library unloaded while another thread is inside an export (a long
//    wait; a loop of pin writes): the wait ends at once with its log line,
//    the loop's next call is refused, nothing crashes, a new load works.
#include <gtest/gtest.h>

#include "test_support.h"  // windows.h first

#include <string>
#include <vector>

#include "dialog/resource.h"

using namespace test_support;

namespace {

constexpr WPARAM kPollTimer = 123;

// --- The control register shared by the window and the exports ---------------

// Each worker owns one control-register pin, toggles it through
// fnOrvane_setParallelOutputPin and ends at a known level.
struct PinWorker {
    const Exports* calls;
    int pin;
    int finalLevel;
    int rounds;
    volatile LONG refused;
};

DWORD WINAPI TogglePin(void* pointer)
{
    PinWorker& worker = *static_cast<PinWorker*>(pointer);
    for (int round = 0; round < worker.rounds; ++round) {
        const int level = round == worker.rounds - 1 ? worker.finalLevel : round & 1;
        if (worker.calls->setParallelOutputPin(worker.pin, level) != 0) {
            InterlockedIncrement(&worker.refused);
        }
    }
    return 0;
}

// The control register's accesses must come in whole read-modify-write
// pairs, each write changing at most one bit of what its read returned: two
// read-modify-writes that overlap leave two reads in a row, and the second
// write then undoes the first one's change.
std::string FirstOverlap(const std::vector<SimPortAccess>& trace)
{
    bool readPending = false;
    unsigned short readValue = 0;
    for (const SimPortAccess& access : trace) {
        if (access.address != 0x37A) continue;
        const std::string where = "at access " + std::to_string(access.sequence);
        if (!access.isWrite) {
            if (readPending) return "two reads in a row " + where;
            readPending = true;
            readValue = access.value;
            continue;
        }
        if (!readPending) return "a write without its read " + where;
        const unsigned changed = static_cast<unsigned>(access.value ^ readValue) & 0xFFu;
        if ((changed & (changed - 1)) != 0) return "a write changing two pins " + where;
        readPending = false;
    }
    return "";
}

TEST(WindowAndExports, ControlRegisterPinsChangedByTheWindowAndOtherThreadsAllStay)
{
    ScratchDirectory scratch;
    DeviceDescription devices;
    LoadedLibrary library;
    Exports calls(library);
    ASSERT_TRUE(calls.AllFound());
    const std::vector<HWND> windows = SetupWindowsOfThisThread();
    ASSERT_EQ(windows.size(), 1u);
    const HWND levelBox16 = GetDlgItem(windows.front(), IDC_LEVEL_PIN16);
    ASSERT_EQ(calls.rudAdado(), 0);

    SimReset();
    // Bits 4 to 7 belong to no pin and must stay; pins 1, 14 and 17 (inverted)
    // start at the opposite of their final levels, pin 16 high.
    SimPoke(0x37A, 0xA6);
    const unsigned long start = SimTraceCount();

    constexpr int kRounds = 300;
    PinWorker workers[] = {
        {&calls, 1, 0, kRounds, 0},   // low: bit 0 set
        {&calls, 14, 1, kRounds, 0},  // high: bit 1 clear
        {&calls, 17, 0, kRounds, 0},  // low: bit 3 set
    };
    std::vector<HANDLE> threads;
    for (PinWorker& worker : workers) {
        threads.push_back(CreateThread(nullptr, 0, &TogglePin, &worker, 0, nullptr));
        ASSERT_NE(threads.back(), nullptr);
    }
    // This thread serves the window and clicks pin 16's level box as fast as
    // it can until the workers are done.
    constexpr int kMaxClicks = 1500;  // the simulated port's trace keeps 8192 accesses
    int clicks = 0;
    while (WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, 0) ==
           WAIT_TIMEOUT) {
        if (clicks < kMaxClicks) {
            SendMessageA(levelBox16, BM_CLICK, 0, 0);
            ++clicks;
        } else {
            WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, 100);
        }
        Pump(0);
    }
    for (HANDLE thread : threads) CloseHandle(thread);
    for (const PinWorker& worker : workers) EXPECT_EQ(worker.refused, 0) << "pin " << worker.pin;
    ASSERT_GT(clicks, 0);

    // An odd number of clicks leaves the box pressed: pin 16 low, bit 2 clear.
    const bool pressed = clicks % 2 == 1;
    EXPECT_EQ(SendMessageA(levelBox16, BM_GETCHECK, 0, 0), pressed ? BST_CHECKED : BST_UNCHECKED);
    EXPECT_EQ(SimPeek(0x37A), 0xA0 | 0x01 | 0x08 | (pressed ? 0x00 : 0x04)) << clicks << " clicks";

    const unsigned long accesses = SimTraceCount() - start;
    ASSERT_LE(accesses, SimTraceCapacity());
    EXPECT_EQ(accesses, 2ul * (3 * kRounds + static_cast<unsigned long>(clicks)));
    EXPECT_EQ(FirstOverlap(TraceSince(start)), "") << clicks << " clicks";
}

// --- Unloading from another thread ---------------------------------------------

// The thread that loads the library, and so owns and serves its window.
struct WindowThread {
    HANDLE loaded = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE unloaded = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HMODULE library = nullptr;
    HWND dialog = nullptr;
    // Seen on the window's thread after the unload.
    std::string pollButtonBefore;
    bool stillAWindow = false;
    bool visibleAfter = true;
    unsigned long accessesAfter = 0;
    std::string traceAfter;

    ~WindowThread()
    {
        CloseHandle(loaded);
        CloseHandle(unloaded);
    }
};

DWORD WINAPI LoadAndServe(void* pointer)
{
    WindowThread& self = *static_cast<WindowThread*>(pointer);
    self.library = LoadLibraryA("Doruzeda_DO.dll");
    const std::vector<HWND> windows = SetupWindowsOfThisThread();
    if (self.library != nullptr && windows.size() == 1) {
        self.dialog = windows.front();
        using Show = int(__cdecl*)();
        const Show rudAdado = reinterpret_cast<Show>(
            reinterpret_cast<void*>(GetProcAddress(self.library, "fnOrvane_rudAdado")));
        if (rudAdado != nullptr) rudAdado();
        // Polling every second, as a user would start it.
        SendMessageA(GetDlgItem(self.dialog, IDC_POLL_INPUTS), BM_CLICK, 0, 0);
        char text[32] = {};
        GetDlgItemTextA(self.dialog, IDC_POLL_INPUTS, text, sizeof text);
        self.pollButtonBefore = text;
    }
    SetEvent(self.loaded);
    if (self.dialog == nullptr) return 1;

    // Serve the window as the host's loop does until the other thread has
    // unloaded the library...
    while (!Pump(60000, [&] { return WaitForSingleObject(self.unloaded, 0) == WAIT_OBJECT_0; })) {
    }
    // ...and for three seconds more: polling ticks would be due, and whatever
    // the unload left queued for the window arrives now. Then the window's
    // own buttons, a tick by hand and a close, which reach no library code.
    const unsigned long start = SimTraceCount();
    Pump(3000);
    SendMessageA(GetDlgItem(self.dialog, IDC_LEVEL_PIN2), BM_CLICK, 0, 0);
    SendMessageA(GetDlgItem(self.dialog, IDC_READ_INPUTS), BM_CLICK, 0, 0);
    SendMessageA(self.dialog, WM_TIMER, kPollTimer, 0);
    SendMessageA(self.dialog, WM_COMMAND, IDCANCEL, 0);
    Pump(0);
    self.accessesAfter = SimTraceCount() - start;
    self.traceAfter = Describe(TraceSince(start));
    self.stillAWindow = IsWindow(self.dialog) != FALSE;
    self.visibleAfter = IsWindowVisible(self.dialog) != FALSE;
    return 0;
}

TEST(UnloadFromAnotherThread, LeavesTheWindowHiddenAndInertAndANewLoadWorks)
{
    ScratchDirectory scratch;
    DeviceDescription devices;
    const HMODULE host = LoadLibraryA("kxmacro.dll");  // no message box at load
    SimReset();
    SimSetInputLines(0x378, 0x80);

    WindowThread window;
    HANDLE thread = CreateThread(nullptr, 0, &LoadAndServe, &window, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(window.loaded, 30000), WAIT_OBJECT_0);
    ASSERT_NE(window.library, nullptr);
    ASSERT_NE(window.dialog, nullptr);
    EXPECT_EQ(window.pollButtonBefore, "Stop") << "polling";
    EXPECT_TRUE(IsWindowVisible(window.dialog));

    EXPECT_TRUE(FreeLibrary(window.library));
    EXPECT_EQ(GetModuleHandleA("Doruzeda_DO.dll"), nullptr) << "the library is gone";
    SetEvent(window.unloaded);
    ASSERT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(code, 0u) << "the window's thread ran to its end";
    EXPECT_EQ(window.accessesAfter, 0ul) << window.traceAfter;
    EXPECT_TRUE(window.stillAWindow) << "only its own thread can destroy it";
    EXPECT_FALSE(window.visibleAfter);

    // A new load, on this thread, works from a fresh start.
    {
        LoadedLibrary again;
        Exports calls(again);
        ASSERT_TRUE(calls.AllFound()) << again.LoadError();
        const std::vector<HWND> windows = SetupWindowsOfThisThread();
        ASSERT_EQ(windows.size(), 1u);
        EXPECT_NE(windows.front(), window.dialog);
        const unsigned long start = SimTraceCount();
        EXPECT_EQ(calls.setParallelOutputPin(2, 1), 0);
        EXPECT_EQ(calls.getParallelInputPin(11), 0) << "pin 11 is inverted: bit 7 set is low";
        EXPECT_EQ(Describe(TraceSince(start)), "R 378=00 W 378=01 R 379=80");
        SendMessageA(GetDlgItem(windows.front(), IDC_LEVEL_PIN16), BM_CLICK, 0, 0);
        EXPECT_EQ(Describe(TraceSince(start)), "R 378=00 W 378=01 R 379=80 R 37A=00 W 37A=00");
    }
    if (host != nullptr) FreeLibrary(host);
}

// --- Unloading while another thread is inside the library ----------------------

using Int3 = int(__cdecl*)(int, int, int);

// The number of lines of `log` that contain `text`.
int LinesWith(const std::string& log, const std::string& text)
{
    int lines = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
        ++lines;
    }
    return lines;
}

// After an unload that other threads lived through: a new load on this
// thread works from a fresh start.
void ExpectANewLoadWorks()
{
    LoadedLibrary again;
    Exports calls(again);
    ASSERT_TRUE(calls.AllFound()) << again.LoadError();
    SimReset();
    const unsigned long start = SimTraceCount();
    EXPECT_EQ(calls.setParallelOutputPin(3, 1), 0);
    EXPECT_EQ(Describe(TraceSince(start)), "R 378=00 W 378=02");
}

// A long call of three arguments (a wait, a pulse) on a thread of its own.
struct LongWait {
    Int3 wait;
    int arguments[3];
    int result = 99;
    DWORD milliseconds = 0;
};

DWORD WINAPI CallAtLength(void* pointer)
{
    LongWait& self = *static_cast<LongWait*>(pointer);
    const DWORD start = GetTickCount();
    self.result = self.wait(self.arguments[0], self.arguments[1], self.arguments[2]);
    self.milliseconds = GetTickCount() - start;
    return 0;
}

// `name` called with `arguments` on pin 10, which stays low, and the library
// unloaded once the call has read the port `reads` times: the call ends at
// once with `result` and its one log line, `line`, the only one that begins
// with `call`.
void ExpectAnUnloadToEndTheCall(const char* name, LongWait waiter, unsigned long reads, int result,
                                const std::string& call, const std::string& line)
{
    ScratchDirectory scratch;
    DeviceDescription devices;
    SimReset();
    SimSetInputLines(0x378, 0x00);  // pin 10 low, and it stays low
    HANDLE thread = nullptr;
    {
        LoadedLibrary library;
        waiter.wait = library.Get<Int3>(name);
        ASSERT_NE(waiter.wait, nullptr) << library.LoadError();
        const unsigned long start = SimTraceCount();
        thread = CreateThread(nullptr, 0, &CallAtLength, &waiter, 0, nullptr);
        ASSERT_NE(thread, nullptr);
        while (SimTraceCount() < start + reads) Sleep(1);
        EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    }  // FreeLibrary while the call is under way
    EXPECT_EQ(GetModuleHandleA("Doruzeda_DO.dll"), nullptr) << "the library is gone";
    ASSERT_EQ(WaitForSingleObject(thread, 5000), static_cast<DWORD>(WAIT_OBJECT_0))
        << "the call went on after the unload";
    CloseHandle(thread);
    EXPECT_EQ(waiter.result, result);
    EXPECT_LT(waiter.milliseconds, 10000ul) << "ended by the unload, not by its time running out";
    const std::string log = scratch.LogFile();
    EXPECT_EQ(LinesWith(log, call), 1) << log;
    EXPECT_EQ(LinesWith(log, line + "\r\n"), 1) << log;

    ExpectANewLoadWorks();
}

TEST(UnloadWhileInside, AWaitOfAMinuteEndsAtOnceWithItsLogLine)
{
    // Past its hundred fast reads the wait sleeps between reads.
    ExpectAnUnloadToEndTheCall("fnOrvane_waitParallelInputPin", {nullptr, {10, 1, 60000}}, 150, 0,
                               "WaitInputPin(", "WaitInputPin(10, 1, 60000) Port=378 Result=0");
}

TEST(UnloadWhileInside, ATimeOfTenSecondsEndsAtOnceWithItsLogLine)
{
    ExpectAnUnloadToEndTheCall("fnOrvane_timeParallelInputPin", {nullptr, {10, 1, 10000}}, 1000, -5,
                               "TimeInputPin(",
                               "TimeInputPin(10, 1, 10000) Port=378 Time=timed out");
}

struct PinWriter {
    Int2 setPin;
    HANDLE started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    long admitted = 0;
    int refusal = 99;
    ~PinWriter() { CloseHandle(started); }
};

// Writes pin 2 again and again until a call is refused, and stops there: a
// host would not call into a library it has unloaded.
DWORD WINAPI WritePin2UntilRefused(void* pointer)
{
    PinWriter& self = *static_cast<PinWriter*>(pointer);
    for (;;) {
        const int result = self.setPin(2, static_cast<int>(self.admitted & 1));
        if (result != 0) {
            self.refusal = result;
            return 0;
        }
        if (++self.admitted == 20) SetEvent(self.started);
    }
}

TEST(UnloadWhileInside, ALoopOfPinWritesIsRefusedAfterTheUnloadBegins)
{
    ScratchDirectory scratch;
    DeviceDescription devices;
    SimReset();
    PinWriter writer;
    HANDLE thread = nullptr;
    unsigned long start = 0;
    {
        LoadedLibrary library;
        writer.setPin = library.Get<Int2>("fnOrvane_setParallelOutputPin");
        ASSERT_NE(writer.setPin, nullptr) << library.LoadError();
        start = SimTraceCount();
        thread = CreateThread(nullptr, 0, &WritePin2UntilRefused, &writer, 0, nullptr);
        ASSERT_NE(thread, nullptr);
        ASSERT_EQ(WaitForSingleObject(writer.started, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    }  // FreeLibrary while the loop runs
    EXPECT_EQ(GetModuleHandleA("Doruzeda_DO.dll"), nullptr) << "the library is gone";
    ASSERT_EQ(WaitForSingleObject(thread, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(thread);
    EXPECT_EQ(writer.refusal, -1);
    // Each admitted call read and wrote the data register and logged one
    // line; the refused one did neither.
    const unsigned long accesses = SimTraceCount() - start;
    EXPECT_EQ(accesses, 2ul * static_cast<unsigned long>(writer.admitted));
    const std::string log = scratch.LogFile();
    EXPECT_EQ(LinesWith(log, "SetPinOutput(2, "), writer.admitted) << writer.admitted;

    ExpectANewLoadWorks();
}

TEST(UnloadWhileInside, ATenSecondPulseEndsAtOnceWithItsSecondWrite)
{
    ScratchDirectory scratch;
    DeviceDescription devices;
    {
        LoadedLibrary first;
    }  // what a first load leaves for the process's life
    const std::map<std::string, int> before = HandlesByType();
    SimReset();
    LongWait pulser{nullptr, {2, 1, 10000000}};
    HANDLE thread = nullptr;
    const unsigned long start = SimTraceCount();
    {
        LoadedLibrary library;
        pulser.wait = library.Get<Int3>("fnOrvane_pulseParallelOutputPin");
        ASSERT_NE(pulser.wait, nullptr) << library.LoadError();
        thread = CreateThread(nullptr, 0, &CallAtLength, &pulser, 0, nullptr);
        ASSERT_NE(thread, nullptr);
        while (SimTraceCount() < start + 3) Sleep(1);
        Sleep(100);  // asleep on the fine timer by now; FreeLibrary at the brace
    }
    ASSERT_EQ(WaitForSingleObject(thread, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(thread);
    EXPECT_LT(pulser.milliseconds, 3000ul) << "the unload waited for the pulse";
    EXPECT_EQ(pulser.result, -1);
    EXPECT_EQ(Describe(TraceSince(start)), "R 37A=00 R 378=00 W 378=01 R 378=01 W 378=00");
    const std::string log = scratch.LogFile();
    EXPECT_EQ(LinesWith(log, "PulseOutputPin(2, 1, 10000000) Port=378 Width="), 1) << log;
    const std::map<std::string, int> after = HandlesSettledTo(before);
    EXPECT_EQ(before, after) << DescribeCounts(before) << " then " << DescribeCounts(after);
}

}  // namespace
