// The least of the window framework that the setup dialog and the application
// object use, over plain Win32 (ANSI). The class names, the signatures the
// dialog calls and the message-map macros are the framework's, so that the
// dialog's code reads as ordinary code on it; what lies behind them is ours
// and only as much as is used.
//
// Classes, in the order they appear:
//   CString          an 8-bit string with printf-style Format
//   CWnd             a window handle and the window operations the dialog calls
//   CTemporaryWnd    a CWnd for one expression, for a window no object wraps
//   CDataExchange    the context of DoDataExchange
//   CDialog          a modeless dialog from a template resource, with a message map
//   CButton, CStatic, CEdit, CComboBox   control wrappers (CSpinButtonCtrl: afxcmn.h)
//   CWinApp          the application object's base
// Functions: DDX_Control, AfxMessageBox, AfxGetApp, AfxGetResourceHandle.
//
// Threading: windows belong to the thread that created them, and so do these
// objects; none of this is safe to call from another thread.
#pragma once

#include <windows.h>

#include <cstddef>
#include <type_traits>

#if defined(UNICODE)
#error "The framework layer is 8-bit (ANSI) only: build without UNICODE."
#endif

#ifndef afx_msg
#define afx_msg  // marks a message handler, as the framework's own headers do
#endif

// Lets the compiler check a printf-style function's arguments against its
// format (`formatIndex` counts the hidden this of a member as 1).
#if defined(__GNUC__)
#define AFX_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define AFX_PRINTF_FORMAT(formatIndex, firstArgument)
#endif

// --- CString ---------------------------------------------------------------

// Its text lives on the C heap: no exception can be caught in the library,
// so a text that finds no memory leaves the string empty instead (and Format
// says so) rather than ending the host.
class CString {
public:
    CString() = default;
    // Implicit both ways, as the framework's: a CString is made from, and
    // passed as, a const char*.
    // NOLINTNEXTLINE(google-explicit-constructor)
    CString(const char* text);
    ~CString();
    CString(const CString&) = delete;
    CString& operator=(const CString&) = delete;

    // printf-style; replaces the contents. False (and the string empty) when
    // the text cannot be formatted or finds no memory.
    AFX_PRINTF_FORMAT(2, 3) bool Format(const char* format, ...);

    int GetLength() const { return static_cast<int>(length); }
    bool IsEmpty() const { return length == 0; }
    // NOLINTNEXTLINE(google-explicit-constructor)
    operator const char*() const { return contents != nullptr ? contents : ""; }

private:
    void Clear();
    char* contents = nullptr;  // malloc'd, zero-terminated; null when empty
    std::size_t length = 0;
};

// --- Message maps ----------------------------------------------------------

class CWnd;
class CTemporaryWnd;

// One row of a message map: the message, for WM_COMMAND the notification code
// and the range of control identifiers, and the function that unpacks the
// message's parameters and calls the member handler.
struct MessageMapEntry {
    UINT message;
    UINT code;
    UINT firstId;
    UINT lastId;
    LRESULT (*invoke)(CWnd& target, UINT id, WPARAM wParam, LPARAM lParam);
};

// A class's own entries (ending with a row whose invoke is null) and the way
// to its base class's map; a message is looked up from the most derived class
// towards CWnd, first match wins.
struct MessageMap {
    const MessageMap* (*base)();
    const MessageMapEntry* entries;
};

namespace afx_dispatch {

template <class MemberPointer>
struct MemberOf;
template <class Window, class Result, class... Arguments>
struct MemberOf<Result (Window::*)(Arguments...)> {
    using Class = Window;
};

// The handler's shape is checked where the entry is written: a handler of
// the wrong shape does not compile.
template <auto Handler>
LRESULT Command(CWnd& target, UINT, WPARAM, LPARAM)
{
    using Window = typename MemberOf<decltype(Handler)>::Class;
    static_assert(std::is_same_v<decltype(Handler), void (Window::*)()>,
                  "a command handler is afx_msg void OnSomething()");
    (static_cast<Window&>(target).*Handler)();
    return 0;
}

template <auto Handler>
LRESULT CommandRange(CWnd& target, UINT id, WPARAM, LPARAM)
{
    using Window = typename MemberOf<decltype(Handler)>::Class;
    static_assert(std::is_same_v<decltype(Handler), void (Window::*)(UINT)>,
                  "a range handler is afx_msg void OnSomething(UINT id)");
    (static_cast<Window&>(target).*Handler)(id);
    return 0;
}

template <auto Handler>
LRESULT Timer(CWnd& target, UINT, WPARAM wParam, LPARAM)
{
    using Window = typename MemberOf<decltype(Handler)>::Class;
    static_assert(std::is_same_v<decltype(Handler), void (Window::*)(UINT_PTR)>,
                  "ON_WM_TIMER needs afx_msg void OnTimer(UINT_PTR nIDEvent)");
    (static_cast<Window&>(target).*Handler)(static_cast<UINT_PTR>(wParam));
    return 0;
}

template <auto Handler>
LRESULT Message(CWnd& target, UINT, WPARAM wParam, LPARAM lParam)
{
    using Window = typename MemberOf<decltype(Handler)>::Class;
    static_assert(std::is_same_v<decltype(Handler), LRESULT (Window::*)(WPARAM, LPARAM)>,
                  "ON_MESSAGE needs afx_msg LRESULT OnSomething(WPARAM wParam, LPARAM lParam)");
    return (static_cast<Window&>(target).*Handler)(wParam, lParam);
}

}  // namespace afx_dispatch

// The macros open and close braces across each other: kept as written.
// clang-format off
#define DECLARE_MESSAGE_MAP()                            \
protected:                                               \
    static const MessageMap* GetThisMessageMap();        \
    const MessageMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                       \
    const MessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const MessageMap* theClass::GetThisMessageMap()                                  \
    {                                                                                \
        using ThisClass = theClass;                                                  \
        using TheBaseClass = baseClass;                                              \
        static const MessageMapEntry entries[] = {

#define END_MESSAGE_MAP()                                                   \
            {0, 0, 0, 0, nullptr}};                                         \
        static const MessageMap map = {&TheBaseClass::GetThisMessageMap, entries}; \
        return &map;                                                        \
    }

// clang-format on

// afx_msg void memberFxn();   -- WM_COMMAND with notification code, from control id
#define ON_CONTROL(code, id, memberFxn) \
    {WM_COMMAND, (code), (id), (id), &afx_dispatch::Command<&ThisClass::memberFxn>},
// afx_msg void memberFxn(UINT id);   -- WM_COMMAND with code, from ids first to last
#define ON_CONTROL_RANGE(code, firstId, lastId, memberFxn) \
    {WM_COMMAND, (code), (firstId), (lastId), &afx_dispatch::CommandRange<&ThisClass::memberFxn>},
// afx_msg void memberFxn();   -- a menu or keyboard command (code 0): IDOK, IDCANCEL
#define ON_COMMAND(id, memberFxn) ON_CONTROL(0, id, memberFxn)
// afx_msg void memberFxn();   -- button id clicked
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
// afx_msg void memberFxn();   -- combo box id's selection changed by the user
#define ON_CBN_SELCHANGE(id, memberFxn) ON_CONTROL(CBN_SELCHANGE, id, memberFxn)
// afx_msg void OnTimer(UINT_PTR nIDEvent);
#define ON_WM_TIMER() {WM_TIMER, 0, 0, 0, &afx_dispatch::Timer<&ThisClass::OnTimer>},
// afx_msg LRESULT memberFxn(WPARAM wParam, LPARAM lParam);   -- any message, e.g. WM_APP + n
#define ON_MESSAGE(message, memberFxn) \
    {(message), 0, 0, 0, &afx_dispatch::Message<&ThisClass::memberFxn>},

// --- CWnd ------------------------------------------------------------------

class CWnd {
public:
    CWnd() = default;
    // Does not destroy the window: a CWnd only names it. CDialog, which creates
    // its window, destroys it.
    virtual ~CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // Attributes
    void SetWindowText(const char* text);  // SetWindowTextA under windows.h
    // The child window `id`, for the expression that asks for it:
    // GetDlgItem(id)->SetWindowText("HI"). See CTemporaryWnd.
    CTemporaryWnd GetDlgItem(int id) const;
    UINT IsDlgButtonChecked(int id) const;  // BST_CHECKED, BST_UNCHECKED

    // Operations
    BOOL ShowWindow(int command);
    BOOL EnableWindow(BOOL enable = TRUE);
    // Over the owner when it has a visible one, else within the work area of
    // the monitor the window is on. `alternateOwner` replaces the owner.
    void CenterWindow(CWnd* alternateOwner = nullptr);
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC function);
    BOOL KillTimer(UINT_PTR id);
    virtual BOOL DestroyWindow();

    // Asks for the window system's default processing of the message being
    // handled. For a dialog that processing is the dialog manager's, which
    // runs when the handler has returned; the result here is always 0.
    LRESULT Default();

    HWND m_hWnd = nullptr;

private:
    // Set by Default() while a handler runs; OnWndMsg clears it before the
    // handler and reads it after.
    bool defaultRequested = false;

protected:
    // Looks `message` up in the message map and runs the handler; FALSE when
    // no entry matches or the handler asked for Default().
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

    // The handler's default behaviour: default processing.
    afx_msg void OnTimer(UINT_PTR nIDEvent);

    static const MessageMap* GetThisMessageMap();
    virtual const MessageMap* GetMessageMap() const;
};

// --- CTemporaryWnd ----------------------------------------------------------

// A CWnd for a window that no object wraps, such as a dialog item found by
// its identifier. It lives until the end of the full expression that made it,
// and no table keeps it: the window itself is all the state there is. Keep
// the handle, not the wrapper, to reach the window later. For a missing
// window the handle is null and the system refuses every operation.
class CTemporaryWnd {
public:
    explicit CTemporaryWnd(HWND window) { wrapper.m_hWnd = window; }
    CWnd* operator->() { return &wrapper; }
    HWND GetSafeHwnd() const { return wrapper.m_hWnd; }

private:
    CWnd wrapper;
};

// --- Data exchange ---------------------------------------------------------

// The only exchange is DDX_Control, which binds the same way in both
// directions, so the context holds the dialog alone.
class CDataExchange {
public:
    explicit CDataExchange(CWnd* dialog) : m_pDlgWnd(dialog) {}
    CWnd* m_pDlgWnd;
};

// Binds `control` to the dialog's item `id`, unless it is bound to that item
// already. Our controls are not subclassed; they send messages only.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

// --- CDialog ---------------------------------------------------------------

class CDialog : public CWnd {
public:
    CDialog() = default;
    // Destroys the window if it still exists (after detaching it from this
    // object, so that no handler of a half-destroyed object runs).
    ~CDialog() override;

    // Creates the modeless window from template `templateResource` in
    // AfxGetResourceHandle(); `parent` null means none. The template decides
    // whether it is visible. OnInitDialog runs before this returns. Neither
    // is kept: the window holds its parent, and the template is not needed
    // again.
    BOOL Create(UINT templateResource, CWnd* parent = nullptr);

    // Destroys the window. Only the window's own thread can; called from any
    // other thread (an unload there), it lets go of the window instead, at
    // once: the window stays, hidden, with the dialog manager alone, so that
    // no message reaches this object or this module's code any more. FALSE
    // then, as when there was no window.
    BOOL DestroyWindow() override;

    // Runs DoDataExchange; always TRUE (no exchange here validates).
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    // A modeless dialog ends by hiding: the window and its state live on.
    void EndDialog(int result);

    virtual BOOL OnInitDialog();

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void OnOK();      // Enter, or the IDOK button: ends the dialog
    virtual void OnCancel();  // Escape, the close box, or IDCANCEL: ends the dialog
    // The window is gone (its last message): m_hWnd is null from here on.
    virtual void PostNcDestroy() {}

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    // Leaves the window to the dialog manager alone, hidden; m_hWnd null.
    void LetGoOfWindow();
};

// --- Controls (each method one message) ------------------------------------

class CButton : public CWnd {};

class CStatic : public CWnd {};

class CEdit : public CWnd {};

class CComboBox : public CWnd {
public:
    // Row of the new item (a list without CBS_SORT appends), or CB_ERR.
    int AddString(const char* text)
    {
        return static_cast<int>(
            ::SendMessageA(m_hWnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    }
    int SetItemData(int row, DWORD_PTR data)
    {
        return static_cast<int>(::SendMessageA(m_hWnd, CB_SETITEMDATA, static_cast<WPARAM>(row),
                                               static_cast<LPARAM>(data)));
    }
    DWORD_PTR GetItemData(int row) const
    {
        return static_cast<DWORD_PTR>(
            ::SendMessageA(m_hWnd, CB_GETITEMDATA, static_cast<WPARAM>(row), 0));
    }
    // Raises no selection-change notification.
    int SetCurSel(int row)
    {
        return static_cast<int>(::SendMessageA(m_hWnd, CB_SETCURSEL, static_cast<WPARAM>(row), 0));
    }
    // The current row, or CB_ERR (-1) when there is none.
    int GetCurSel() const { return static_cast<int>(::SendMessageA(m_hWnd, CB_GETCURSEL, 0, 0)); }
};

// --- CWinApp ---------------------------------------------------------------

class CWinApp {
public:
    // Registers the process's one application object. Without a name the
    // module's file name without extension is used (the message box caption).
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }

    const char* m_pszAppName;

private:
    char defaultName[MAX_PATH] = {};
};

// The application object, or nullptr when none is constructed.
CWinApp* AfxGetApp();

// The process is exiting (process detach with a non-null reserved argument):
// its other threads are gone and the window system may be too, so nothing
// may touch a window any more. Set by the library's entry point.
bool AfxProcessIsExiting();
void AfxSetProcessExiting();

// The module whose resources the framework loads: this library (or program).
HINSTANCE AfxGetResourceHandle();

// A message box owned by the active window, captioned with the application's
// name. Without an icon in `type`, the exclamation mark is added. Waits for
// the user; returns the button pressed.
int AfxMessageBox(const char* text, UINT type = MB_OK, UINT helpId = 0);
