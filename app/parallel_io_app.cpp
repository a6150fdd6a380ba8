#include "parallel_io_app.h"

#include <atomic>

#include "../port/wait_sleep.h"
#include "../record/recording.h"
#include "controller_access.h"

CParallelIoApp theApp;

namespace {

// The exports' gate: how many calls are inside, and whether the unload has
// begun. A call counts itself in before it looks at the flag, and the unload
// sets the flag before it looks at the count, so either the call sees the
// flag or the unload sees the call.
std::atomic<long> callsInside{0};
std::atomic<bool> unloadBegun{false};

// This load's mark, taken from the system's performance counter when the
// library loads, which no two loads of a process share. A call counts itself
// out only of the load it counted itself into: a thread that outlived an
// unload (stuck in the system past the unload's wait) and returns into a
// later load of the library at the same address leaves that load's count
// alone, which therefore starts from 0 whatever such a thread does.
LONGLONG TakeLoadMark()
{
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}
const LONGLONG loadMark = TakeLoadMark();

// How long the unload waits for the calls inside to leave. A wait for an
// input ends when the unload begins; the other waits a call can make are
// bounded, and this covers the longest of them together: a first access to
// a port that another program holds waits up to 2 s for it (the Linux
// libraries' claim wait), and each of its log lines up to 100 ms for each of
// the log file's two locks. Only a call stuck in the system (a port access
// or a log write that does not return) takes longer; past this the unload
// goes on regardless.
constexpr DWORD kUnloadWaitMs = 3000;

// Closes the gate, ends every wait, and waits (bounded) until no call is
// inside. Runs in DllMain under the loader lock: the calls inside need
// nothing that takes it (no library loads, no threads started or ended), and
// this waits by polling, needing nothing from them.
void LetCallsInsideLeave()
{
    unloadBegun.store(true);
    WaitSleeper::EndAllWaits();
    const DWORD start = ::GetTickCount();
    while (callsInside.load() != 0 && ::GetTickCount() - start < kUnloadWaitMs) {
        ::Sleep(1);
    }
}

}  // namespace

ExportCall::ExportCall() : admitted(false), load(loadMark)
{
    callsInside.fetch_add(1);
    admitted = !unloadBegun.load();
}

ExportCall::~ExportCall()
{
    if (load == loadMark) callsInside.fetch_sub(1);
}

// No name of its own: the framework then names the application after the
// library's file, Doruzeda_DO, which captions its message boxes.
CParallelIoApp::CParallelIoApp() : CWinApp(), hostBlockCommands(nullptr)
{
}

BOOL CParallelIoApp::InitInstance()
{
    // DORUZEDA_RECORD: the whole load is recorded, from the ports discovery
    // listed.
    recording::StartFromEnvironment(dialog.controller);

    // The template is not visible, so the window starts hidden. Without it
    // (no display) the view operations and fnOrvane_rudAdado do nothing, and
    // the exports work on the port the window's initialisation would have
    // chosen.
    if (!dialog.Create(CRudAdadoDlg::IDD, nullptr)) {
        dialog.controller.SelectFirstListedPortWithoutWindow();
    }

    // Only a module the host already loaded counts; the library never loads
    // it. With no such module the handle is null, and the lookup then searches
    // the host program itself, which may export the name.
    hostBlockCommands = ::GetProcAddress(::GetModuleHandleA("kxmacro"), "Kx_Block_Commands");
    if (hostBlockCommands == nullptr) {
        AfxMessageBox("Can't locate kxmacro.dll", MB_OK, 0);
    }
    return CWinApp::InitInstance();
}

int CParallelIoApp::ExitInstance()
{
    LetCallsInsideLeave();
    dialog.DestroyWindow();
    // The window's last accesses are in the file.
    recording::EndAtUnload(dialog.controller);
    return CWinApp::ExitInstance();
}

int RecordPins(const char* path)
{
    return recording::RecordInto(theApp.dialog.controller, path);
}

PortController& TheController()
{
    return theApp.dialog.controller;
}

void ShowSetupWindow()
{
    const HWND window = theApp.dialog.WindowForAnyThread();
    if (window == nullptr) return;
    if (::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId()) {
        theApp.dialog.ShowWindow(SW_SHOW);
    } else {
        // From another thread: asked of the window's thread, not waited for.
        ::ShowWindowAsync(window, SW_SHOW);
    }
}
