#include "parallel_io_app.h"

#include "controller_access.h"

CParallelIoApp theApp;

// No name of its own: the framework then names the application after the
// library's file, Doruzeda_DO, which captions its message boxes.
CParallelIoApp::CParallelIoApp() : CWinApp(), hostBlockCommands(nullptr)
{
}

BOOL CParallelIoApp::InitInstance()
{
    // The template is not visible, so the window starts hidden. Whether it was
    // made is not examined: without it the view operations and
    // fnOrvane_rudAdado do nothing, and the exports still work.
    dialog.Create(CRudAdadoDlg::IDD, nullptr);

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
    dialog.DestroyWindow();
    return CWinApp::ExitInstance();
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
