// CWinApp, the resource module and the message box.
#include "afxwin.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

// The linker's symbol for the start of this module's image: the module
// handle of the DLL (or program) that the framework is linked into, without
// asking the loader, which may be busy loading us.
extern "C" IMAGE_DOS_HEADER __ImageBase;  // NOLINT(bugprone-reserved-identifier)

namespace {

CWinApp* application = nullptr;

// The module's file name without folder and extension: Doruzeda_DO.
std::string ModuleBaseName()
{
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(AfxGetResourceHandle(), path, MAX_PATH);
    std::string name(path, length);
    const std::size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

}  // namespace

void CString::Format(const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    std::va_list copy;
    va_copy(copy, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0) {
        contents.clear();
    } else {
        std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, arguments);
        contents.assign(buffer.data(), static_cast<std::size_t>(length));
    }
    va_end(arguments);
}

CWinApp::CWinApp(const char* appName)
    : m_pszAppName(nullptr), defaultName(appName != nullptr ? appName : ModuleBaseName())
{
    m_pszAppName = defaultName.c_str();
    application = this;
}

CWinApp::~CWinApp()
{
    if (application == this) application = nullptr;
}

CWinApp* AfxGetApp()
{
    return application;
}

namespace {
bool processExiting = false;
}  // namespace

bool AfxProcessIsExiting()
{
    return processExiting;
}

void AfxSetProcessExiting()
{
    processExiting = true;
}

HINSTANCE AfxGetResourceHandle()
{
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

int AfxMessageBox(const char* text, UINT type, UINT)
{
    // No help file exists, so the help context has nowhere to lead.
    if ((type & MB_ICONMASK) == 0) type |= MB_ICONEXCLAMATION;
    const std::string caption =
        AfxGetApp() != nullptr ? std::string(AfxGetApp()->m_pszAppName) : ModuleBaseName();
    return ::MessageBoxA(::GetActiveWindow(), text, caption.c_str(), type);
}
