// Several threads calling the exports while the window's thread (this test's
// main thread, which loaded the library) handles clicks and polling.
#include <gtest/gtest.h>

#include "test_support.h"  // windows.h first

#include <string>
#include <vector>

#include "dialog/resource.h"

using namespace test_support;

namespace {

constexpr int kWorkers = 4;

struct Worker {
    const Exports* calls = nullptr;
    HWND dialog = nullptr;
    int index = 0;
    int iterations = 0;
    int phase = 0;  // 1: every export; 2: its own pin only
    // What went wrong, for the failure message; empty when nothing did.
    std::string fault;
    int unresponsive = 0;
    HANDLE thread = nullptr;
};

void Check(Worker& worker, bool good, const char* call, int result)
{
    if (!good && worker.fault.empty()) {
        worker.fault = std::string(call) + " gave " + std::to_string(result) + " on thread " +
                       std::to_string(worker.index);
    }
}

// Every export, with arguments that keep the port at 378 selected, so that
// every result is known.
void EveryExport(Worker& worker, int round)
{
    const Exports& calls = *worker.calls;
    const int pin = 2 + (round + worker.index) % 8;
    int result = calls.setParallelOutputPin(pin, round & 1);
    Check(worker, result == 0, "setParallelOutputPin", result);
    result = calls.getParallelInputPin(10 + round % 4);
    Check(worker, result == 0 || result == 1, "getParallelInputPin", result);
    result = calls.prepareParallelOutputBuffer();
    Check(worker, result == 0, "prepareParallelOutputBuffer", result);
    result = calls.prepareParallelOutputPin(pin, round & 2);
    Check(worker, result == 0, "prepareParallelOutputPin", result);
    result = calls.prepareParallelOutputPin(25, 1);
    Check(worker, result == -2, "prepareParallelOutputPin(25)", result);
    result = calls.setParallelOutputAll();
    Check(worker, result == 0, "setParallelOutputAll", result);
    result = calls.getParallelInputAll();
    Check(worker, result == 0, "getParallelInputAll", result);
    result = calls.fetchParallelInputPin(11);
    Check(worker, result == 0 || result == 1, "fetchParallelInputPin", result);
    result = calls.fetchParallelInputPin(1);
    Check(worker, result == -2, "fetchParallelInputPin(1)", result);
    result =
        round % 2 == 0 ? calls.setParallelPort(1) : calls.setParallelPortAddress("3", "7", "8", "");
    Check(worker, result == 0, "setParallelPort/Address", result);
    if (round % 16 == 0) {
        result = calls.rudAdado();
        Check(worker, result == 0, "rudAdado", result);
        // The window's thread must go on serving messages.
        DWORD_PTR ignored = 0;
        if (SendMessageTimeoutA(worker.dialog, WM_NULL, 0, 0, SMTO_BLOCK, 10000, &ignored) == 0) {
            ++worker.unresponsive;
        }
    }
}

DWORD WINAPI RunWorker(void* workerPointer)
{
    Worker& worker = *static_cast<Worker*>(workerPointer);
    for (int round = 0; round < worker.iterations; ++round) {
        if (worker.phase == 1) {
            EveryExport(worker, round);
        } else {
            // Each thread owns one data pin and ends with it high on even
            // threads, low on odd ones. A read-modify-write that another
            // thread's write cut in two would lose a pin's level.
            const int level = round == worker.iterations - 1 ? (worker.index % 2 == 0) : round & 1;
            const int result = worker.calls->setParallelOutputPin(2 + worker.index, level);
            Check(worker, result == 0, "setParallelOutputPin", result);
        }
    }
    return 0;
}

class ThreadsTest : public ::testing::Test {
protected:
    ThreadsTest() : library(), calls(library)
    {
        const std::vector<HWND> windows = SetupWindowsOfThisThread();
        dialog = windows.size() == 1 ? windows.front() : nullptr;
    }

    // Runs the workers while this thread serves the window: clicks pin 16's
    // level box and the read button, with polling on.
    void RunPhase(int phase, int iterations)
    {
        for (int index = 0; index < kWorkers; ++index) {
            Worker& worker = workers[index];
            worker.calls = &calls;
            worker.dialog = dialog;
            worker.index = index;
            worker.iterations = iterations;
            worker.phase = phase;
            worker.thread = CreateThread(nullptr, 0, &RunWorker, &worker, 0, nullptr);
            ASSERT_NE(worker.thread, nullptr);
        }
        std::vector<HANDLE> threads;
        for (Worker& worker : workers) threads.push_back(worker.thread);
        int clicks = 0;
        const DWORD start = GetTickCount();
        DWORD lastClick = start;
        for (;;) {
            // (MsgWaitForMultipleObjects with "wait all" would also wait for
            // an input message.)
            if (WaitForMultipleObjects(kWorkers, threads.data(), TRUE, 0) == WAIT_OBJECT_0) break;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            ASSERT_LT(GetTickCount() - start, 120000u) << "the workers did not finish";
            Pump(0);
            // A user's rate of clicks, not a loop's: the window's thread
            // takes the guard for each.
            if (GetTickCount() - lastClick >= 20) {
                SendMessageA(GetDlgItem(dialog, IDC_LEVEL_PIN16), BM_CLICK, 0, 0);
                lastClick = GetTickCount();
                ++clicks;
            }
        }
        for (Worker& worker : workers) CloseHandle(worker.thread);
        ServeQueuedMessages();  // what the workers posted before they ended
        // An even number of clicks leaves pin 16's box as it started.
        if (clicks % 2 == 1) SendMessageA(GetDlgItem(dialog, IDC_LEVEL_PIN16), BM_CLICK, 0, 0);
        clickCount += clicks;
    }

    ScratchDirectory scratch;
    DeviceDescription devices;
    LoadedLibrary library;
    Exports calls;
    HWND dialog = nullptr;
    Worker workers[kWorkers];
    int clickCount = 0;
};

TEST_F(ThreadsTest, EveryExportFromSeveralThreadsWhileTheWindowIsServed)
{
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(calls.rudAdado(), 0);
    SendMessageA(GetDlgItem(dialog, IDC_POLL_INPUTS), BM_CLICK, 0, 0);  // poll every second
    SimReset();

    RunPhase(1, 64);
    for (const Worker& worker : workers) {
        EXPECT_EQ(worker.fault, "");
        EXPECT_EQ(worker.unresponsive, 0) << "thread " << worker.index;
    }
    EXPECT_GT(clickCount, 0);
    EXPECT_TRUE(IsWindowVisible(dialog));
    char text[32] = {};
    GetDlgItemTextA(dialog, IDC_POLL_INPUTS, text, sizeof text);
    EXPECT_STREQ(text, "Stop") << "still polling";
}

TEST_F(ThreadsTest, NoThreadLosesAnotherThreadsPinLevel)
{
    ASSERT_NE(dialog, nullptr);
    SimReset();
    SimPoke(0x378, 0xA0);  // pins 7 and 9 high: nobody's, must stay
    SimPoke(0x37A, 0x00);
    RunPhase(2, 150);
    for (const Worker& worker : workers) EXPECT_EQ(worker.fault, "");
    // Threads 0 and 2 end high (bits 0 and 2), 1 and 3 low.
    EXPECT_EQ(SimPeek(0x378), 0xA5);
    // The window's clicks on pin 16 went through the same register cycle: its
    // box ends released after an even number of clicks, which is pin 16 high.
    EXPECT_GE(clickCount, 2);
    EXPECT_EQ(SimPeek(0x37A) & 0x04, 0x04);
}

}  // namespace

namespace {

struct ViewCalls {
    const Exports* calls;
    int results[3];
};

DWORD WINAPI CallViewChangingExports(void* pointer)
{
    ViewCalls& view = *static_cast<ViewCalls*>(pointer);
    view.results[0] = view.calls->rudAdado();
    view.results[1] = view.calls->setParallelPort(1);
    view.results[2] = view.calls->setParallelPortAddress("2", "7", "8", "");
    return 0;
}

TEST_F(ThreadsTest, CallsFromAnotherThreadDoNotWaitForABusyWindowThread)
{
    ASSERT_NE(dialog, nullptr);
    ASSERT_FALSE(IsWindowVisible(dialog));
    ViewCalls view{&calls, {-9, -9, -9}};
    HANDLE thread = CreateThread(nullptr, 0, &CallViewChangingExports, &view, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    // This thread serves no message meanwhile: a call that waited for the
    // window would not return.
    const DWORD waited = WaitForSingleObject(thread, 20000);
    CloseHandle(thread);
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "an export waited for the window's thread";
    EXPECT_EQ(view.results[0], 0);
    EXPECT_EQ(view.results[1], 0);
    EXPECT_EQ(view.results[2], 0);

    // The changes reach the window, in order, when its thread serves
    // messages again: shown, the list chosen, then the address field.
    const auto addressText = [&] {
        char text[16] = {};
        GetDlgItemTextA(dialog, IDC_PORT_ADDRESS, text, sizeof text);
        return std::string(text);
    };
    const auto applied = [&] {
        return IsWindowVisible(dialog) && addressText() == "278" &&
               IsWindowVisible(GetDlgItem(dialog, IDC_PORT_ADDRESS)) &&
               !IsWindowVisible(GetDlgItem(dialog, IDC_PORT_LIST));
    };
    EXPECT_TRUE(Pump(5000, applied))
        << "window shown " << IsWindowVisible(dialog) << ", address field \"" << addressText()
        << "\" shown " << IsWindowVisible(GetDlgItem(dialog, IDC_PORT_ADDRESS)) << ", list shown "
        << IsWindowVisible(GetDlgItem(dialog, IDC_PORT_LIST));
}

}  // namespace

namespace {

// Runs `start` on a thread of its own to its end; its exit code, or 0 when it
// could not run.
DWORD RunOnAnotherThread(LPTHREAD_START_ROUTINE start, void* argument)
{
    const HANDLE thread = CreateThread(nullptr, 0, start, argument, 0, nullptr);
    if (thread == nullptr) return 0;
    DWORD code = 0;
    if (WaitForSingleObject(thread, 20000) == WAIT_OBJECT_0) GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    return code;
}

DWORD WINAPI SelectSecondPort(void* calls)
{
    return static_cast<DWORD>(static_cast<const Exports*>(calls)->setParallelPort(1) + 100);
}

// LPT2 at 278 (row 0, current) and LPT1 at 378, the window on this thread.
class ThreadsAndTheList : public ::testing::Test {
protected:
    ThreadsAndTheList()
        : devices("device LPT2\nrange 278 27F\ndevice LPT1\nrange 378 37F\n"), calls(library)
    {
        const std::vector<HWND> windows = SetupWindowsOfThisThread();
        if (windows.size() == 1) dialog = windows.front();
    }
    void SetUp() override { ASSERT_NE(dialog, nullptr); }

    ScratchDirectory scratch;
    DeviceDescription devices;
    LoadedLibrary library;
    Exports calls;
    HWND dialog = nullptr;
};

TEST_F(ThreadsAndTheList, AUsersChoiceAfterAPostedChangeIsKept)
{
    const HWND list = GetDlgItem(dialog, IDC_PORT_LIST);

    // Another thread chooses LPT1 (row 1); its change to the list is posted.
    const DWORD code = RunOnAnotherThread(&SelectSecondPort, &calls);
    EXPECT_EQ(code, 100u) << "setParallelPort(1) gave " << static_cast<int>(code) - 100;

    // Before the window's thread gets to it, the user picks row 0 again.
    SendMessageA(list, CB_SETCURSEL, 0, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_PORT_LIST, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    ServeQueuedMessages();  // now the posted change arrives

    // The list and the exports agree on the user's row: LPT2 at 278.
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 0);
    SimReset();
    const unsigned long start = SimTraceCount();
    EXPECT_EQ(calls.setParallelOutputPin(2, 1), 0);
    EXPECT_EQ(Describe(TraceSince(start)), "R 278=00 W 278=01");
}

DWORD WINAPI SetManualAddress(void* calls)
{
    return static_cast<DWORD>(
        static_cast<const Exports*>(calls)->setParallelPortAddress("2", "7", "8", "") + 100);
}

TEST_F(ThreadsAndTheList, AnAddressPostedBeforeALaterChoiceIsNotShown)
{
    // Another thread sets an address; its change to the window is posted.
    EXPECT_EQ(RunOnAnotherThread(&SetManualAddress, &calls), 100u);

    // Before the window's thread gets to it, the host on that thread chooses
    // LPT1, which shows the list at once.
    EXPECT_EQ(calls.setParallelPort(1), 0);
    ServeQueuedMessages();  // now the posted address arrives, too late

    const auto shown = [&](int id) {
        return (GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
    };
    EXPECT_TRUE(shown(IDC_PORT_LIST));
    EXPECT_FALSE(shown(IDC_PORT_ADDRESS));
    EXPECT_EQ(SendMessageA(GetDlgItem(dialog, IDC_PORT_LIST), CB_GETCURSEL, 0, 0), 1);
}

}  // namespace
