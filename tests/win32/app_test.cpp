// Loading and unloading the real Doruzeda_DO.dll under Wine and Xvfb: the
// check for the host's macro module and its message box, a machine without
// parallel ports, unloading while polling, a second load that starts
// afresh, and a machine without a display.
#include <gtest/gtest.h>

#include "test_support.h"  // windows.h first

#include <string>
#include <vector>

#include "dialog/resource.h"

using namespace test_support;

namespace {

const char kBoxText[] = "Can't locate kxmacro.dll";
const char kBoxCaption[] = "Doruzeda_DO";

struct SeenBox {
    HWND window;
    std::string caption;
    std::string text;
    std::vector<int> visibleButtons;
    HICON icon;
};

// Watches for message boxes of this process from a thread of its own, notes
// what each shows and dismisses it with its OK button. A box shown while the
// library loads runs under the loader lock: the thread is started before the
// load and calls nothing that takes the lock (no library or icon loading).
class MessageBoxWatcher {
public:
    MessageBoxWatcher()
    {
        InitializeCriticalSection(&lock);
        // Wine loads its display driver at the first drawing or window call
        // of the process, taking the loader lock while it holds a lock of its
        // own: in a fresh process that first call must come before the load,
        // not from this thread while the load draws the window.
        ReleaseDC(nullptr, GetDC(nullptr));
        stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        running = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread = CreateThread(nullptr, 0, &MessageBoxWatcher::Run, this, 0, nullptr);
        // A thread starting takes the loader lock: it must be past that
        // before the load holds the lock.
        if (thread != nullptr) WaitForSingleObject(running, 10000);
    }
    ~MessageBoxWatcher()
    {
        Stop();
        CloseHandle(stop);
        CloseHandle(running);
        DeleteCriticalSection(&lock);
    }
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    void Stop()
    {
        if (thread == nullptr) return;
        SetEvent(stop);
        WaitForSingleObject(thread, 10000);
        CloseHandle(thread);
        thread = nullptr;
    }
    std::vector<SeenBox> Seen()
    {
        EnterCriticalSection(&lock);
        std::vector<SeenBox> copy = seen;
        LeaveCriticalSection(&lock);
        return copy;
    }

private:
    static BOOL CALLBACK CollectVisibleButton(HWND child, LPARAM boxPointer)
    {
        SeenBox& box = *reinterpret_cast<SeenBox*>(boxPointer);
        char className[32] = {};
        GetClassNameA(child, className, sizeof className);
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        if (lstrcmpiA(className, "Button") == 0 && (style & WS_VISIBLE) != 0) {
            box.visibleButtons.push_back(GetDlgCtrlID(child));
        }
        if (lstrcmpiA(className, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
            box.icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        }
        return TRUE;
    }

    static BOOL CALLBACK Inspect(HWND window, LPARAM selfPointer)
    {
        MessageBoxWatcher& self = *reinterpret_cast<MessageBoxWatcher*>(selfPointer);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        char className[32] = {};
        GetClassNameA(window, className, sizeof className);
        if (process != GetCurrentProcessId() || lstrcmpA(className, "#32770") != 0 ||
            !IsWindowVisible(window)) {
            return TRUE;
        }
        char caption[128] = {};
        GetWindowTextA(window, caption, sizeof caption);
        if (lstrcmpA(caption, kSetupWindowTitle) == 0) return TRUE;

        EnterCriticalSection(&self.lock);
        bool known = false;
        for (const SeenBox& box : self.seen) known = known || box.window == window;
        LeaveCriticalSection(&self.lock);
        if (known) return TRUE;

        SeenBox box{window, caption, std::string(), {}, nullptr};
        char text[256] = {};
        GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
        box.text = text;
        EnumChildWindows(window, &CollectVisibleButton, reinterpret_cast<LPARAM>(&box));
        EnterCriticalSection(&self.lock);
        self.seen.push_back(box);
        LeaveCriticalSection(&self.lock);
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, IDOK)));
        return TRUE;
    }

    static DWORD WINAPI Run(void* selfPointer)
    {
        MessageBoxWatcher& self = *static_cast<MessageBoxWatcher*>(selfPointer);
        // The thread's first window call sets up its window state, which may
        // take the loader lock: done before the load holds it.
        EnumWindows(&MessageBoxWatcher::Inspect, reinterpret_cast<LPARAM>(&self));
        SetEvent(self.running);
        while (WaitForSingleObject(self.stop, 20) == WAIT_TIMEOUT) {
            EnumWindows(&MessageBoxWatcher::Inspect, reinterpret_cast<LPARAM>(&self));
        }
        return 0;
    }

    CRITICAL_SECTION lock;
    HANDLE stop = nullptr;
    HANDLE running = nullptr;
    HANDLE thread = nullptr;
    std::vector<SeenBox> seen;
};

std::string Text(HWND dialog, int id)
{
    char text[256] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

bool Shown(HWND dialog, int id)
{
    return (GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

// Loads the library (with or without the host's module), watching for boxes
// until the load has finished and a little after.
struct WatchedLoad {
    explicit WatchedLoad(HostModule host, const char* description = nullptr)
        : devices(description == nullptr ? new DeviceDescription()
                                         : new DeviceDescription(description)),
          watcher(), library(host), calls(library)
    {
        Pump(500);
        watcher.Stop();
        const std::vector<HWND> windows = SetupWindowsOfThisThread();
        dialog = windows.size() == 1 ? windows.front() : nullptr;
    }
    ~WatchedLoad() { delete devices; }
    WatchedLoad(const WatchedLoad&) = delete;
    WatchedLoad& operator=(const WatchedLoad&) = delete;

    ScratchDirectory scratch;
    DebuggerOutput debugger;
    DeviceDescription* devices;
    MessageBoxWatcher watcher;
    LoadedLibrary library;
    Exports calls;
    HWND dialog = nullptr;
};

TEST(HostModuleCheck, WithoutTheHostsModuleOneBoxIsShownAndTheLibraryWorks)
{
    const HICON exclamation = LoadIconA(nullptr, IDI_EXCLAMATION);  // before the load
    WatchedLoad load(HostModule::Absent);
    ASSERT_NE(load.library.Handle(), nullptr) << load.library.LoadError();

    const std::vector<SeenBox> boxes = load.watcher.Seen();
    ASSERT_EQ(boxes.size(), 1u) << "exactly one box per load";
    EXPECT_EQ(boxes[0].text, kBoxText);
    EXPECT_EQ(boxes[0].caption, kBoxCaption);
    EXPECT_EQ(boxes[0].visibleButtons, std::vector<int>{IDOK}) << "an OK button only";
    EXPECT_EQ(boxes[0].icon, exclamation) << "the exclamation-mark icon";

    // The load went on: the window, the port and every export work as usual.
    ASSERT_NE(load.dialog, nullptr);
    EXPECT_FALSE(IsWindowVisible(load.dialog));
    SimReset();
    const unsigned long start = SimTraceCount();
    EXPECT_EQ(load.calls.setParallelOutputPin(2, 1), 0);
    EXPECT_EQ(load.calls.getParallelInputPin(2), 1);
    EXPECT_EQ(load.calls.prepareParallelOutputBuffer(), 0);
    EXPECT_EQ(load.calls.prepareParallelOutputPin(3, 1), 0);
    EXPECT_EQ(load.calls.setParallelOutputAll(), 0);
    EXPECT_EQ(load.calls.getParallelInputAll(), 0);
    EXPECT_EQ(load.calls.fetchParallelInputPin(3), 1);
    EXPECT_EQ(load.calls.setParallelPort(1), 0);
    EXPECT_EQ(load.calls.setParallelPortAddress("3", "7", "8", ""), 0);
    EXPECT_EQ(Describe(TraceSince(start)),
              "R 378=00 W 378=01 R 378=01 R 378=01 R 37A=00 W 378=03 W 37A=00 R 378=03 R 379=00");
    EXPECT_EQ(load.calls.rudAdado(), 0);
    EXPECT_TRUE(IsWindowVisible(load.dialog));
}

TEST(HostModuleCheck, WithTheHostsModuleLoadedNoBoxIsShown)
{
    WatchedLoad load(HostModule::Loaded);
    ASSERT_NE(load.library.Handle(), nullptr) << load.library.LoadError();
    EXPECT_TRUE(load.watcher.Seen().empty()) << load.watcher.Seen()[0].text;
    EXPECT_NE(load.dialog, nullptr);
}

TEST(Unload, WhilePollingLeavesNoWindowAndNoTimer)
{
    HWND dialog = nullptr;
    {
        WatchedLoad load(HostModule::Loaded);
        ASSERT_NE(load.dialog, nullptr);
        dialog = load.dialog;
        load.calls.rudAdado();
        SendMessageA(GetDlgItem(dialog, IDC_POLL_INPUTS), BM_CLICK, 0, 0);
        ASSERT_EQ(Text(dialog, IDC_POLL_INPUTS), "Stop");
    }
    EXPECT_FALSE(IsWindow(dialog)) << "the window is destroyed at unload";
    EXPECT_EQ(GetModuleHandleA("Doruzeda_DO.dll"), nullptr) << "the library is gone";
    EXPECT_TRUE(SetupWindowsOfThisThread().empty());
    // A timer that outlived the window would now call into unloaded code.
    SimReset();
    const unsigned long start = SimTraceCount();
    Pump(2500);
    EXPECT_TRUE(TraceSince(start).empty()) << Describe(TraceSince(start));
}

TEST(Reload, StartsFromFreshState)
{
    {
        WatchedLoad first(HostModule::Loaded,
                          "device LPT2\nrange 278 27F\ndevice LPT1\nrange 378 37F\n");
        ASSERT_NE(first.dialog, nullptr);
        EXPECT_EQ(first.calls.setParallelPortAddress("2", "b", "c", ""), 0);
        EXPECT_EQ(first.calls.prepareParallelOutputPin(2, 1), 0);
        EXPECT_EQ(first.calls.rudAdado(), 0);
        SendMessageA(GetDlgItem(first.dialog, IDC_POLL_INPUTS), BM_CLICK, 0, 0);
    }
    WatchedLoad second(HostModule::Loaded,
                       "device LPT2\nrange 278 27F\ndevice LPT1\nrange 378 37F\n");
    ASSERT_NE(second.dialog, nullptr);
    EXPECT_FALSE(IsWindowVisible(second.dialog));
    EXPECT_EQ(Text(second.dialog, IDC_POLL_INPUTS), "Poll INPUT status");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(second.dialog, IDC_READ_INPUTS)));
    EXPECT_TRUE(Shown(second.dialog, IDC_PORT_LIST));
    EXPECT_FALSE(Shown(second.dialog, IDC_PORT_ADDRESS));

    // Row 0 (LPT2 at 278, not the manual 2BC) with empty buffers.
    SimReset();
    SimPoke(0x278, 0xFF);
    const unsigned long start = SimTraceCount();
    EXPECT_EQ(second.calls.setParallelOutputAll(), 0);
    EXPECT_EQ(Describe(TraceSince(start)), "W 278=00 W 27A=00");
}

// Run by the test app_test_no_display with DISPLAY unset, where Wine can
// create no window: the exports work all the same, on the port that the
// window's initialisation would have chosen.
TEST(NoDisplay, TheExportsWorkOnTheFirstListedPort)
{
    char display[256] = {};
    if (GetEnvironmentVariableA("DISPLAY", display, sizeof display) != 0) {
        GTEST_SKIP() << "DISPLAY is " << display << ": this case runs without a display";
    }
    ScratchDirectory scratch;
    DeviceDescription devices;  // LPT1 at 378
    LoadedLibrary library;
    Exports calls(library);
    ASSERT_TRUE(calls.AllFound()) << library.LoadError();
    EXPECT_TRUE(SetupWindowsOfThisThread().empty()) << "a window without a display";
    EXPECT_NE(scratch.LogFile().find("LPT1 (378-37F)"), std::string::npos) << scratch.LogFile();

    SimReset();
    const unsigned long start = SimTraceCount();
    EXPECT_EQ(calls.setParallelOutputPin(2, 1), 0);
    EXPECT_EQ(calls.getParallelInputPin(2), 1);
    EXPECT_EQ(calls.rudAdado(), 0) << "no window to show, and no harm";
    // Choices that a window would show: with none, they only choose.
    EXPECT_EQ(calls.setParallelPortAddress("2", "7", "8", ""), 0);
    EXPECT_EQ(calls.setParallelOutputPin(3, 1), 0);
    EXPECT_EQ(calls.setParallelPort(1), 0) << "row 0, LPT1, now at 278";
    EXPECT_EQ(calls.setParallelOutputPin(4, 1), 0);
    EXPECT_EQ(Describe(TraceSince(start)),
              "R 378=00 W 378=01 R 378=01 R 278=00 W 278=02 R 278=02 W 278=06");
}

}  // namespace
