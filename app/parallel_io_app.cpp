#include "parallel_io_app.h"

#include "../port/port_driver.h"
#include "../record/recording.h"
#include "../port/wait_sleep.h"
#include "../record/vcd_reader.h"
#include "controller_access.h"
#include "unload_gate.h"

CParallelIoApp theApp;

namespace {
// The end of the process stops a pulsing thread in the middle of its hold:
// its pin would stay pulsed for good. The static objects go after DllMain at
// the process's end (after the unload too, when every pulse has ended and
// nothing is done here); this one, made after theApp, goes before it.
struct EndsPulsesWithTheProcess {
    EndsPulsesWithTheProcess() = default;
    EndsPulsesWithTheProcess(const EndsPulsesWithTheProcess&) = delete;
    EndsPulsesWithTheProcess& operator=(const EndsPulsesWithTheProcess&) = delete;
    ~EndsPulsesWithTheProcess()
    {
        if (AfxProcessIsExiting()) theApp.dialog.controller.EndPulsesAtProcessExit();
    }
} endsPulsesWithTheProcess;
}  // namespace

// No name of its own: the framework then names the application after the
// library's file, Doruzeda_DO, which captions its message boxes.
CParallelIoApp::CParallelIoApp() : CWinApp(), hostBlockCommands(nullptr)
{
}

BOOL CParallelIoApp::InitInstance()
{
    CheckPortDriverAtLoad();

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
    const Deadline deadline = LetCallsInsideLeave();  // the unload gate: unload_gate.h
    dialog.controller.EndPulsesOfEndedThreads(deadline);
    dialog.DestroyWindow();
    // The window's last accesses are in the file.
    recording::EndAtUnload(dialog.controller, deadline);
    return CWinApp::ExitInstance();
}

int RecordPins(const char* path)
{
    return recording::RecordInto(theApp.dialog.controller, path);
}

int PlayPins(const char* path)
{
    VcdFileReader reader(&WaitSleeper::WaitsEnded);
    return theApp.dialog.controller.PlayPins(path, reader);
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
