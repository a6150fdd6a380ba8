// The one formatter of a Windows failure: every log line that names one
// gives the system's text through it, so that all read alike.
#pragma once

#include <cstddef>

// The system's text for error `code` into `text` (`size` bytes, at least 1),
// without its line end or closing full stop; "error N" where the system has
// no text for it.
void SystemErrorText(unsigned long code, char* text, std::size_t size);

// The same in a buffer of its own, for a log line's argument:
//   DebugLog("Recording into %s failed: %s", path, SystemError(code).text);
struct SystemError {
    explicit SystemError(unsigned long code) { SystemErrorText(code, text, sizeof text); }
    char text[160] = {};
};
