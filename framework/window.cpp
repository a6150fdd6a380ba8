// CWnd: window operations and message-map dispatch.
#include "afxwin.h"

#include <utility>

void CWnd::SetWindowText(const char* text)
{
    ::SetWindowTextA(m_hWnd, text);
}

CTemporaryWnd CWnd::GetDlgItem(int id) const
{
    return CTemporaryWnd(::GetDlgItem(m_hWnd, id));
}

UINT CWnd::IsDlgButtonChecked(int id) const
{
    return ::IsDlgButtonChecked(m_hWnd, id);
}

BOOL CWnd::ShowWindow(int command)
{
    return ::ShowWindow(m_hWnd, command);
}

BOOL CWnd::EnableWindow(BOOL enable)
{
    return ::EnableWindow(m_hWnd, enable);
}

void CWnd::CenterWindow(CWnd* alternateOwner)
{
    RECT window;
    if (!::GetWindowRect(m_hWnd, &window)) return;

    HWND owner = alternateOwner != nullptr ? alternateOwner->m_hWnd : ::GetWindow(m_hWnd, GW_OWNER);
    if (owner != nullptr && (!::IsWindowVisible(owner) || ::IsIconic(owner))) owner = nullptr;

    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoA(
        ::MonitorFromWindow(owner != nullptr ? owner : m_hWnd, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT area = monitor.rcWork;
    RECT centre = area;
    if (owner != nullptr) ::GetWindowRect(owner, &centre);

    const LONG width = window.right - window.left;
    const LONG height = window.bottom - window.top;
    LONG left = (centre.left + centre.right) / 2 - width / 2;
    LONG top = (centre.top + centre.bottom) / 2 - height / 2;
    // Keep the window within the work area, its caption first.
    if (left + width > area.right) left = area.right - width;
    if (left < area.left) left = area.left;
    if (top + height > area.bottom) top = area.bottom - height;
    if (top < area.top) top = area.top;
    ::SetWindowPos(m_hWnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse, TIMERPROC function)
{
    return ::SetTimer(m_hWnd, id, elapse, function);
}

BOOL CWnd::KillTimer(UINT_PTR id)
{
    return ::KillTimer(m_hWnd, id);
}

BOOL CWnd::DestroyWindow()
{
    if (m_hWnd == nullptr) return FALSE;
    const BOOL destroyed = ::DestroyWindow(m_hWnd);
    if (destroyed) m_hWnd = nullptr;
    return destroyed;
}

LRESULT CWnd::Default()
{
    defaultRequested = true;
    return 0;
}

void CWnd::OnTimer(UINT_PTR)
{
    Default();
}

const MessageMap* CWnd::GetThisMessageMap()
{
    static const MessageMapEntry entries[] = {{0, 0, 0, 0, nullptr}};
    static const MessageMap map = {nullptr, entries};
    return &map;
}

const MessageMap* CWnd::GetMessageMap() const
{
    return GetThisMessageMap();
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    const UINT code = message == WM_COMMAND ? HIWORD(wParam) : 0;
    const UINT id = message == WM_COMMAND ? LOWORD(wParam) : 0;
    for (const MessageMap* map = GetMessageMap(); map != nullptr;
         map = map->base != nullptr ? map->base() : nullptr) {
        for (const MessageMapEntry* entry = map->entries; entry->invoke != nullptr; ++entry) {
            if (entry->message != message) continue;
            if (message == WM_COMMAND &&
                (entry->code != code || id < entry->firstId || id > entry->lastId)) {
                continue;
            }
            // A handler that sends this window a message dispatches that one
            // in between: the outer message's request is kept aside meanwhile.
            const bool outerRequest = std::exchange(defaultRequested, false);
            const LRESULT handled = entry->invoke(*this, id, wParam, lParam);
            if (result != nullptr) *result = handled;
            return std::exchange(defaultRequested, outerRequest) ? FALSE : TRUE;
        }
    }
    return FALSE;
}
