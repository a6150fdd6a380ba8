// Shows the setup dialog straight from template 5000 of Doruzeda_DO.dll, with
// a dialog procedure that does nothing, so that a screenshot shows the
// template as the resource compiler built it (before any code of the dialog
// moves, hides or fills a control).
//
//   screenshot_dialog READY_FILE DONE_FILE
//
// Once the window is painted it writes "x y width height" (its window
// rectangle on the screen) to READY_FILE, then keeps the window up until
// DONE_FILE exists or a minute has passed. Both names are relative to the
// current directory. Exit code 0 when the window was shown and taken down.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include "dialog/resource.h"

namespace {

INT_PTR CALLBACK TemplateOnly(HWND, UINT message, WPARAM, LPARAM)
{
    // TRUE for WM_INITDIALOG: the system sets the focus; nothing else handled.
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

// The library mapped for its resources only: its load-time code does not run.
class ResourceModule {
public:
    ResourceModule() : module(LoadLibraryExA("Doruzeda_DO.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE))
    {
    }
    ~ResourceModule()
    {
        if (module != nullptr) FreeLibrary(module);
    }
    ResourceModule(const ResourceModule&) = delete;
    ResourceModule& operator=(const ResourceModule&) = delete;
    HMODULE Handle() const { return module; }

private:
    HMODULE module;
};

class Window {
public:
    explicit Window(HWND handle) : window(handle) {}
    ~Window()
    {
        if (window != nullptr) DestroyWindow(window);
    }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    HWND Handle() const { return window; }

private:
    HWND window;
};

void PumpMessagesFor(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(20);
    }
}

bool FileExists(const char* name)
{
    return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: screenshot_dialog READY_FILE DONE_FILE\n");
        return 2;
    }
    const char* readyFile = argv[1];
    const char* doneFile = argv[2];

    // The up-down control's window class lives in the common controls.
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    if (!InitCommonControlsEx(&classes)) {
        std::fprintf(stderr, "InitCommonControlsEx failed\n");
        return 1;
    }
    ResourceModule library;
    if (library.Handle() == nullptr) {
        std::fprintf(stderr, "cannot map Doruzeda_DO.dll: error %lu\n", GetLastError());
        return 1;
    }
    Window dialog(CreateDialogParamA(library.Handle(), MAKEINTRESOURCEA(IDD_RUDADADO_DIALOG),
                                     nullptr, TemplateOnly, 0));
    if (dialog.Handle() == nullptr) {
        std::fprintf(stderr, "CreateDialogParamA failed: error %lu\n", GetLastError());
        return 1;
    }
    if (IsWindowVisible(dialog.Handle())) {
        std::fprintf(stderr, "the template's window is visible before it is shown\n");
        return 1;
    }
    ShowWindow(dialog.Handle(), SW_SHOW);
    SetWindowPos(dialog.Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    UpdateWindow(dialog.Handle());
    PumpMessagesFor(1000);

    RECT frame;
    GetWindowRect(dialog.Handle(), &frame);
    FILE* ready = std::fopen(readyFile, "w");
    if (ready == nullptr) {
        std::fprintf(stderr, "cannot write %s\n", readyFile);
        return 1;
    }
    std::fprintf(ready, "%ld %ld %ld %ld\n", frame.left, frame.top, frame.right - frame.left,
                 frame.bottom - frame.top);
    std::fclose(ready);

    const DWORD start = GetTickCount();
    while (!FileExists(doneFile)) {
        if (GetTickCount() - start > 60000) {
            std::fprintf(stderr, "%s did not appear within a minute\n", doneFile);
            return 1;
        }
        PumpMessagesFor(100);
    }
    return 0;
}
