// The process's one setup dialog, and in it the one port controller, until
// the application object holds them: a static object constructed when the
// library loads (which discovers the ports), with its window created hidden
// right after, on the loading thread.
#include "controller_access.h"

#include "../dialog/rud_adado_dlg.h"

namespace {

struct StaticSetupDialog {
    CRudAdadoDlg dialog;

    StaticSetupDialog()
    {
        // The result is not examined: without a window the view operations
        // and ShowSetupWindow do nothing, and the exports still work.
        dialog.Create(CRudAdadoDlg::IDD, nullptr);
    }

    // Runs at process detach, while the library's code is still mapped: the
    // window (and a running polling timer with it) goes before the code its
    // procedure lives in. Done here, before the dialog's members are
    // destroyed, so that the handlers of WM_DESTROY see a whole object.
    ~StaticSetupDialog() { dialog.DestroyWindow(); }

    StaticSetupDialog(const StaticSetupDialog&) = delete;
    StaticSetupDialog& operator=(const StaticSetupDialog&) = delete;
};

StaticSetupDialog instance;

}  // namespace

PortController& TheController()
{
    return instance.dialog.controller;
}

void ShowSetupWindow()
{
    if (instance.dialog.m_hWnd != nullptr) {
        instance.dialog.ShowWindow(SW_SHOW);
    }
}
