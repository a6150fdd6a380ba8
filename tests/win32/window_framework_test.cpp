// The window framework layer on its own, linked into this program: message
// map dispatch (which entry runs for which message, base maps, Default),
// CString formatting, the application object's name and dialog items.
// The real dialog window is exercised in dialog_window_test.cpp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../framework/afxwin.h"

namespace {

// A dialog class with one entry of each kind the setup dialog uses. It never
// gets a window: the tests hand messages straight to its dispatch.
class RecordingDialog : public CDialog {
public:
    using CWnd::OnWndMsg;
    std::vector<std::string> calls;
    bool askDefault = false;

protected:
    void OnOK() override { calls.push_back("OnOK"); }
    void OnCancel() override { calls.push_back("OnCancel"); }
    afx_msg void OnFirst() { calls.push_back("OnFirst"); }
    afx_msg void OnRange(UINT id) { calls.push_back("OnRange " + std::to_string(id)); }
    afx_msg void OnSelChange() { calls.push_back("OnSelChange"); }
    afx_msg void OnTimer(UINT_PTR nIDEvent)
    {
        calls.push_back("OnTimer " + std::to_string(nIDEvent));
        if (askDefault) Default();
    }
    afx_msg void OnFirstAgain() { calls.push_back("OnFirstAgain"); }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(RecordingDialog, CDialog)
    // afx_msg void OnFirst();
    ON_BN_CLICKED(100, OnFirst)
    // afx_msg void OnFirstAgain();   never runs: the entry above matches first
    ON_BN_CLICKED(100, OnFirstAgain)
    // afx_msg void OnRange(UINT id);
    ON_CONTROL_RANGE(BN_CLICKED, 200, 205, OnRange)
    // afx_msg void OnSelChange();
    ON_CBN_SELCHANGE(300, OnSelChange)
    // afx_msg void OnTimer(UINT_PTR nIDEvent);
    ON_WM_TIMER()
END_MESSAGE_MAP()

// A class that adds no entries: its messages go to the base class's map.
class PlainDialog : public CDialog {
public:
    using CWnd::OnWndMsg;
    int okCount = 0;

protected:
    void OnOK() override { ++okCount; }
};

struct DispatchCase {
    const char* what;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    BOOL handled;      // OnWndMsg's result
    const char* call;  // the handler that ran, "" for none
};

const DispatchCase kDispatchCases[] = {
    {"button clicked", WM_COMMAND, MAKEWPARAM(100, BN_CLICKED), 0, TRUE, "OnFirst"},
    {"other code, same id", WM_COMMAND, MAKEWPARAM(100, BN_DOUBLECLICKED), 0, FALSE, ""},
    {"below the range", WM_COMMAND, MAKEWPARAM(199, BN_CLICKED), 0, FALSE, ""},
    {"range start", WM_COMMAND, MAKEWPARAM(200, BN_CLICKED), 0, TRUE, "OnRange 200"},
    {"range end", WM_COMMAND, MAKEWPARAM(205, BN_CLICKED), 0, TRUE, "OnRange 205"},
    {"above the range", WM_COMMAND, MAKEWPARAM(206, BN_CLICKED), 0, FALSE, ""},
    {"selection changed", WM_COMMAND, MAKEWPARAM(300, CBN_SELCHANGE), 0, TRUE, "OnSelChange"},
    {"list dropped down", WM_COMMAND, MAKEWPARAM(300, CBN_DROPDOWN), 0, FALSE, ""},
    {"IDOK, from the base map", WM_COMMAND, MAKEWPARAM(IDOK, 0), 0, TRUE, "OnOK"},
    {"IDCANCEL, from the base map", WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0, TRUE, "OnCancel"},
    {"timer", WM_TIMER, 123, 0, TRUE, "OnTimer 123"},
    {"no entry", WM_SIZE, 0, 0, FALSE, ""},
};

TEST(MessageMap, EachMessageRunsTheFirstMatchingEntryOnly)
{
    for (const DispatchCase& test : kDispatchCases) {
        RecordingDialog dialog;
        LRESULT result = -1;
        EXPECT_EQ(dialog.OnWndMsg(test.message, test.wParam, test.lParam, &result), test.handled)
            << test.what;
        const std::vector<std::string> expected =
            *test.call == '\0' ? std::vector<std::string>{} : std::vector<std::string>{test.call};
        EXPECT_EQ(dialog.calls, expected) << test.what;
        if (*test.call != '\0') {
            EXPECT_EQ(result, 0) << test.what;
        }
    }
}

TEST(MessageMap, DefaultMakesAHandledMessageGoOnToDefaultProcessing)
{
    RecordingDialog dialog;
    dialog.askDefault = true;
    EXPECT_FALSE(dialog.OnWndMsg(WM_TIMER, 9, 0, nullptr));
    dialog.askDefault = false;
    EXPECT_TRUE(dialog.OnWndMsg(WM_TIMER, 9, 0, nullptr)) << "the request does not linger";
    EXPECT_EQ(dialog.calls, (std::vector<std::string>{"OnTimer 9", "OnTimer 9"}));
    EXPECT_EQ(dialog.Default(), 0) << "outside any message it does nothing";
}

// A handler that sends its own window another message while it runs: each
// message's request for default processing stays its own.
class NestingDialog : public CDialog {
public:
    using CWnd::OnWndMsg;
    bool defaultBeforeNesting = false;
    bool innerAsksDefault = false;
    BOOL innerHandled = -1;

protected:
    afx_msg void OnOuter()
    {
        if (defaultBeforeNesting) Default();
        innerHandled = OnWndMsg(WM_COMMAND, MAKEWPARAM(2, BN_CLICKED), 0, nullptr);
    }
    afx_msg void OnInner()
    {
        if (innerAsksDefault) Default();
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(NestingDialog, CDialog)
    // afx_msg void OnOuter();   button 1 clicked: dispatches button 2's click
    ON_BN_CLICKED(1, OnOuter)
    // afx_msg void OnInner();
    ON_BN_CLICKED(2, OnInner)
END_MESSAGE_MAP()

TEST(MessageMap, AMessageDispatchedInsideAHandlerKeepsTheRequestsApart)
{
    NestingDialog outerAsks;
    outerAsks.defaultBeforeNesting = true;
    EXPECT_FALSE(outerAsks.OnWndMsg(WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0, nullptr));
    EXPECT_EQ(outerAsks.innerHandled, TRUE);

    NestingDialog innerAsks;
    innerAsks.innerAsksDefault = true;
    EXPECT_TRUE(innerAsks.OnWndMsg(WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0, nullptr));
    EXPECT_EQ(innerAsks.innerHandled, FALSE);
}

TEST(MessageMap, AClassWithoutAMapUsesItsBasesAndItsOverrides)
{
    PlainDialog dialog;
    EXPECT_TRUE(dialog.OnWndMsg(WM_COMMAND, MAKEWPARAM(IDOK, 0), 0, nullptr));
    EXPECT_EQ(dialog.okCount, 1) << "the base map's entry calls the virtual OnOK";
    EXPECT_FALSE(dialog.OnWndMsg(WM_COMMAND, MAKEWPARAM(100, BN_CLICKED), 0, nullptr));
    EXPECT_FALSE(dialog.OnWndMsg(WM_TIMER, 1, 0, nullptr)) << "CWnd's map has no entries";
}

// The formatting itself is the C library's; what is the layer's own is
// making room for a text longer than any first guess, and replacing the old one.
TEST(CString, FormatMakesRoomForALongTextAndReplacesTheOldOne)
{
    CString text("old text");
    text.Format("%5000d", 7);
    EXPECT_EQ(text.GetLength(), 5000);
    EXPECT_EQ(std::string(text).substr(4990), "         7");
}

TEST(Application, IsNamedAfterTheModuleUnlessNamed)
{
    EXPECT_EQ(AfxGetApp(), nullptr);
    {
        CWinApp unnamed;
        EXPECT_EQ(AfxGetApp(), &unnamed);
        EXPECT_STREQ(unnamed.m_pszAppName, "window_framework_test")
            << "the program's file name without folder and extension";
    }
    EXPECT_EQ(AfxGetApp(), nullptr) << "destruction unregisters it";
    CWinApp named("Somebody");
    EXPECT_STREQ(named.m_pszAppName, "Somebody");
    EXPECT_EQ(AfxGetResourceHandle(), GetModuleHandleA(nullptr))
        << "the module the framework is linked into";
}

// A window with one child, id 7, whose items a CWnd reaches by identifier.
class ParentWindow {
public:
    ParentWindow()
        : parent(CreateWindowA("STATIC", "parent", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                               nullptr, nullptr)),
          child(CreateWindowA("STATIC", "before", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, parent,
                              reinterpret_cast<HMENU>(7), nullptr, nullptr))
    {
        wrapper.m_hWnd = parent;
    }
    ~ParentWindow() { DestroyWindow(parent); }
    ParentWindow(const ParentWindow&) = delete;
    ParentWindow& operator=(const ParentWindow&) = delete;

    HWND parent;
    HWND child;
    CWnd wrapper;
};

std::string TextOf(HWND window)
{
    char text[64] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

TEST(DialogItem, EachCallReachesTheItemThatIsThereNow)
{
    ParentWindow window;
    ASSERT_NE(window.child, nullptr);
    EXPECT_EQ(window.wrapper.GetDlgItem(7).GetSafeHwnd(), window.child);
    window.wrapper.GetDlgItem(7)->SetWindowText("after");
    EXPECT_EQ(TextOf(window.child), "after");
    window.wrapper.GetDlgItem(7)->ShowWindow(SW_HIDE);
    EXPECT_EQ(GetWindowLongA(window.child, GWL_STYLE) & WS_VISIBLE, 0);

    // A new item under the same identifier is the one reached from then on.
    DestroyWindow(window.child);
    const HWND replacement = CreateWindowA("STATIC", "new", WS_CHILD, 0, 0, 50, 20, window.parent,
                                           reinterpret_cast<HMENU>(7), nullptr, nullptr);
    window.wrapper.GetDlgItem(7)->SetWindowText("second");
    EXPECT_EQ(TextOf(replacement), "second");

    // No item: a null handle, and the operations are refused, not crashed on.
    EXPECT_EQ(window.wrapper.GetDlgItem(8).GetSafeHwnd(), nullptr);
    window.wrapper.GetDlgItem(8)->SetWindowText("nowhere");
    EXPECT_EQ(TextOf(window.parent), "parent");
}

}  // namespace
