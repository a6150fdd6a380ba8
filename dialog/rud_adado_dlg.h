// CRudAdadoDlg: the modeless setup window, a pin chart of the 25-pin
// connector. It holds the process's port controller and is the controller's
// view; its own pin buttons and read button address the port through the
// controller's window operations, at the port list's current row (see
// CurrentListPosition), not at the controller's selection.
#pragma once

#include <atomic>
#include <cstdint>

#include "../framework/afxcmn.h"
#include "../framework/afxwin.h"

#include "../port/port_controller.h"
#include "../port/port_view.h"
#include "resource.h"

class CRudAdadoDlg : public CDialog, public PortView {
public:
    enum { IDD = IDD_RUDADADO_DIALOG };

    // The polling timer's identifier on the dialog window.
    static constexpr UINT_PTR kPollTimer = 123;

    // Sets itself as the controller's view and discovers the ports. No window
    // exists yet: Create(IDD, nullptr) makes it, hidden.
    CRudAdadoDlg();

    // The controller's view; both do nothing while the window does not exist.
    // Called from a thread other than the window's (a host may call the
    // exports from any thread), they post the change to the window's thread
    // instead of waiting for it, so a caller never blocks on a window whose
    // thread is busy.
    void ShowPortList(int index) override;
    void ShowAddressField(const char* text) override;

    // The message that carries a view change to the window's thread: wParam
    // is the kind in its low byte and the change's number above it, lParam
    // the row or the address text (up to four characters, packed into its
    // four bytes). The controller numbers its changes in the order it makes
    // them (it calls the view under its guard), and a posted change is
    // applied only while no later change has been asked for and the row it
    // shows is still the controller's selection, so the window never falls
    // behind the exports or the user.
    static constexpr UINT kApplyViewMessage = WM_APP + 1;

    // The window, for any thread: set when the window is initialised, cleared
    // before it is destroyed. Other threads read it here, never m_hWnd,
    // which the window's thread changes.
    HWND WindowForAnyThread() const { return windowForAnyThread.load(); }

    // Clears the handle that other threads use, then destroys the window (or,
    // from another thread, lets go of it; see CDialog::DestroyWindow).
    BOOL DestroyWindow() override;

    // Bound to their items when the window is created, in this order.
    CEdit portAddressField;        // 5040, in the port list's place when no port was listed
    CStatic portListCaption;       // 5039, "Printer Port(s)" or "Port Address"
    CSpinButtonCtrl intervalSpin;  // 5038, 1 to 10 seconds
    CEdit intervalField;           // 5037, the spin's buddy
    CButton pollButton;            // 5036
    CButton readButton;            // 5035
    CComboBox portList;  // 5026, row i: the table's row i, its name; item data its base address

    PortController controller;
    std::uint32_t pollTimerId;  // 0 while not polling, else what SetTimer returned

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    afx_msg void OnReadInputStatus();
    afx_msg void OnPollInputStatus();
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg void OnPortSelChange();
    afx_msg void OnDirectionClicked(UINT id);
    afx_msg void OnClickedHiLo(UINT id);
    afx_msg LRESULT OnApplyView(WPARAM kind, LPARAM argument);

    // Shows the port's pins 2 to 13 and 15 in the status fields.
    void ReadInputStatus();

    // Where the dialog's own controls work: the list's current row and its
    // item data, the row's base address; row -1 when the list has none (the
    // controller then uses row 0's address).
    PortController::ListPosition CurrentListPosition() const;

    // The window is gone, whoever destroyed it: other threads no longer see it.
    void PostNcDestroy() override;

    void ApplyPortList(int index);
    void ApplyAddressField(const char* text);
    // Numbers a view change; posted changes carry it.
    std::uint32_t NextViewChange();
    bool IsLatestViewChange(std::uint32_t change) const;

    std::atomic<HWND> windowForAnyThread{nullptr};
    std::atomic<std::uint32_t> viewChanges{0};

    DECLARE_MESSAGE_MAP()
};
