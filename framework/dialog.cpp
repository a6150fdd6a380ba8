// CDialog: a modeless dialog from a template, driven through its message map.
#include "afxwin.h"

#include <commctrl.h>

namespace {

// The dialog templates may hold common controls (the up-down control); their
// window classes must be registered before a template becomes a window.
// Once per load, through the system's one-time initialisation: a function's
// static with a constructor would start the static thread runtime for the
// calling thread, which leaves a thread and an event handle behind when the
// library unloads first.
INIT_ONCE commonControlsOnce = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK RegisterCommonControls(PINIT_ONCE, PVOID, PVOID*)
{
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&controls);
    return TRUE;
}

void InitialiseCommonControls()
{
    ::InitOnceExecuteOnce(&commonControlsOnce, &RegisterCommonControls, nullptr, nullptr);
}

}  // namespace

CDialog::~CDialog()
{
    if (m_hWnd == nullptr || AfxProcessIsExiting()) return;
    // From here on the window's messages reach no member of this object.
    ::SetWindowLongPtrA(m_hWnd, DWLP_USER, 0);
    if (!::DestroyWindow(m_hWnd)) LetGoOfWindow();
    m_hWnd = nullptr;
}

BOOL CDialog::DestroyWindow()
{
    if (m_hWnd == nullptr) return FALSE;
    if (::GetWindowThreadProcessId(m_hWnd, nullptr) != ::GetCurrentThreadId()) {
        LetGoOfWindow();
        return FALSE;
    }
    return CWnd::DestroyWindow();
}

void CDialog::LetGoOfWindow()
{
    // Only the window's own thread can destroy it. From any other thread,
    // leave the window to the dialog manager alone, hidden, so that no
    // message can reach this object, or code that is about to be unloaded.
    ::SetWindowLongPtrA(m_hWnd, DWLP_USER, 0);
    ::SetWindowLongPtrA(m_hWnd, DWLP_DLGPROC, 0);
    ::ShowWindowAsync(m_hWnd, SW_HIDE);
    m_hWnd = nullptr;
}

BOOL CDialog::Create(UINT templateResource, CWnd* parent)
{
    InitialiseCommonControls();
    const HWND created =
        ::CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(templateResource),
                             parent != nullptr ? parent->m_hWnd : nullptr,
                             &CDialog::DialogProcedure, reinterpret_cast<LPARAM>(this));
    m_hWnd = created;
    return created != nullptr;
}

BOOL CDialog::UpdateData(BOOL)
{
    CDataExchange exchange(this);
    DoDataExchange(&exchange);
    return TRUE;
}

void CDialog::EndDialog(int result)
{
    // For a modeless dialog the dialog manager only hides the window.
    ::EndDialog(m_hWnd, result);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*)
{
}

void CDialog::OnOK()
{
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    // afx_msg void OnOK();       Enter, or a button IDOK
    ON_COMMAND(IDOK, OnOK)
    // afx_msg void OnCancel();   Escape, the close box, or a button IDCANCEL
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

INT_PTR CALLBACK CDialog::DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        CDialog* dialog = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
        dialog->m_hWnd = window;
        return dialog->OnInitDialog();
    }
    // Messages before WM_INITDIALOG (WM_SETFONT) and after the object let go
    // of the window get the dialog manager's processing only.
    CDialog* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(window, DWLP_USER));
    if (dialog == nullptr) return FALSE;
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrA(window, DWLP_USER, 0);
        dialog->m_hWnd = nullptr;
        dialog->PostNcDestroy();
        return FALSE;
    }
    LRESULT result = 0;
    if (!dialog->OnWndMsg(message, wParam, lParam, &result)) return FALSE;
    ::SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
    return TRUE;
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    const HWND dialog = pDX->m_pDlgWnd->m_hWnd;
    if (control.m_hWnd != nullptr && ::GetParent(control.m_hWnd) == dialog &&
        ::GetDlgCtrlID(control.m_hWnd) == id) {
        return;
    }
    control.m_hWnd = ::GetDlgItem(dialog, id);
}
