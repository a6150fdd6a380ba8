// The common-control wrappers the setup dialog uses: CSpinButtonCtrl, the
// up-down control ("msctls_updown32"). Its window class comes from
// comctl32.dll, which CDialog::Create initialises before any template is
// turned into a window.
#pragma once

#include "afxwin.h"

#include <commctrl.h>

class CSpinButtonCtrl : public CWnd {
public:
    // Positions run from `lower` to `upper`; the control does not clamp a
    // position that was already set.
    void SetRange(short lower, short upper)
    {
        ::SendMessageA(m_hWnd, UDM_SETRANGE, 0, MAKELPARAM(upper, lower));
    }
    // With UDS_SETBUDDYINT the control also writes the number into its buddy.
    // Returns the previous position.
    int SetPos(int position)
    {
        return static_cast<int>(
            ::SendMessageA(m_hWnd, UDM_SETPOS, 0, MAKELPARAM(static_cast<short>(position), 0)));
    }
    // The position in the low-order word; the high-order word is non-zero when
    // the buddy's text was not a number in range (the low word then holds the
    // nearest valid position).
    int GetPos() const { return static_cast<int>(::SendMessageA(m_hWnd, UDM_GETPOS, 0, 0)); }
};
