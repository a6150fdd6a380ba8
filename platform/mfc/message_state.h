// The message a handler is running for, so that CWnd::Default can ask for the
// window system's default processing of it. One per nested dispatch, on the
// stack of the windows' thread.
#pragma once

#include <windows.h>

namespace afx_state {

struct CurrentMessage;

// The innermost message being handled, or nullptr.
CurrentMessage*& Current();

struct CurrentMessage {
    CurrentMessage(UINT messageId, WPARAM wordParameter, LPARAM longParameter)
        : message(messageId), wParam(wordParameter), lParam(longParameter), outer(Current())
    {
        Current() = this;
    }
    ~CurrentMessage() { Current() = outer; }
    CurrentMessage(const CurrentMessage&) = delete;
    CurrentMessage& operator=(const CurrentMessage&) = delete;

    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool wantsDefault = false;
    CurrentMessage* outer;
};

}  // namespace afx_state
