// CWinApp, the resource module and the message box.
#include "afxwin.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The linker's symbol for the start of this module's image: the module
// handle of the DLL (or program) that the framework is linked into, without
// asking the loader, which may be busy loading us.
extern "C" IMAGE_DOS_HEADER __ImageBase;  // NOLINT(bugprone-reserved-identifier)

namespace {

CWinApp* application = nullptr;

// The module's file name without folder and extension (Doruzeda_DO), into
// name, which holds MAX_PATH characters.
void ModuleBaseName(char* name)
{
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(AfxGetResourceHandle(), path, MAX_PATH);
    const char* slash = std::strrchr(path, '\\');
    const char* otherSlash = std::strrchr(path, '/');
    if (otherSlash != nullptr && (slash == nullptr || otherSlash > slash)) slash = otherSlash;
    std::snprintf(name, MAX_PATH, "%s", slash != nullptr ? slash + 1 : path);
    char* dot = std::strrchr(name, '.');
    if (dot != nullptr) *dot = '\0';
}

}  // namespace

CString::CString(const char* text)
{
    if (text == nullptr || *text == '\0') return;
    const std::size_t size = std::strlen(text) + 1;
    contents = static_cast<char*>(std::malloc(size));
    if (contents == nullptr) return;
    std::memcpy(contents, text, size);
    length = size - 1;
}

CString::~CString()
{
    Clear();
}

void CString::Clear()
{
    std::free(contents);
    contents = nullptr;
    length = 0;
}

bool CString::Format(const char* format, ...)
{
    Clear();
    std::va_list arguments;
    va_start(arguments, format);
    std::va_list copy;
    va_copy(copy, arguments);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed >= 0) {
        contents = static_cast<char*>(std::malloc(static_cast<std::size_t>(needed) + 1));
    }
    if (contents != nullptr) {
        std::vsnprintf(contents, static_cast<std::size_t>(needed) + 1, format, arguments);
        length = static_cast<std::size_t>(needed);
    }
    va_end(arguments);
    return contents != nullptr;
}

CWinApp::CWinApp(const char* appName) : m_pszAppName(defaultName)
{
    if (appName != nullptr) {
        std::snprintf(defaultName, sizeof defaultName, "%s", appName);
    } else {
        ModuleBaseName(defaultName);
    }
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
    char caption[MAX_PATH] = {};
    if (AfxGetApp() != nullptr) {
        std::snprintf(caption, sizeof caption, "%s", AfxGetApp()->m_pszAppName);
    } else {
        ModuleBaseName(caption);
    }
    return ::MessageBoxA(::GetActiveWindow(), text, caption, type);
}
