// CParallelIoApp: the library's one application object, and its one access
// point. It holds the setup dialog object, which holds the port controller;
// nothing is allocated later and nothing outlives an unload.
//
// Load: static construction (the dialog object discovers the ports), then
// InitInstance (the hidden window, the check for the host's macro module).
// Unload: ExitInstance (calls of the exports still inside are let out, a
// wait ended; then the window goes, and a polling timer with it), then static
// destruction.
#pragma once

#include "../framework/afxwin.h"

#include "../dialog/rud_adado_dlg.h"

class CParallelIoApp : public CWinApp {
public:
    CParallelIoApp();

    BOOL InitInstance() override;
    int ExitInstance() override;

    CRudAdadoDlg dialog;
    // The host's "Kx_Block_Commands", or null. Looked up at load only to tell
    // whether the host's macro module is there; the library never calls it.
    FARPROC hostBlockCommands;
};

extern CParallelIoApp theApp;
