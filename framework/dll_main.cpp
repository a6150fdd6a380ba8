// The framework's per-library initialisation for a DLL: the C++ runtime has
// constructed the static objects (the application object among them) before
// DllMain runs, and destroys them after DllMain returns at process detach.
#include "afxwin.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    CWinApp* application = AfxGetApp();
    if (application == nullptr) return TRUE;
    if (reason == DLL_PROCESS_ATTACH) {
        // The load goes on whatever InitInstance reports.
        application->InitInstance();
    } else if (reason == DLL_PROCESS_DETACH) {
        if (reserved != nullptr) {
            // The process is exiting, not unloading the library: the window's
            // thread is gone and the system tears the windows down itself.
            AfxSetProcessExiting();
            return TRUE;
        }
        application->ExitInstance();
    }
    return TRUE;
}
