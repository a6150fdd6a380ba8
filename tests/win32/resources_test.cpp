// The resources compiled into Doruzeda_DO.dll as a user meets them: the
// window that template 5000 makes (with a dialog procedure that does
// nothing, so that only the template shows), the connector picture in it,
// and the version information the system reads from the file.
//
// The library is mapped as a data file, so its load-time code does not run.
// What the dialog's code does to the window (the spin's range, the port
// list, hiding fields) is dialog_window_test's.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "dialog/resource.h"

namespace {

INT_PTR CALLBACK TemplateOnly(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

std::string TextOf(HWND window)
{
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassOf(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

DWORD StyleOf(HWND window)
{
    return static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
}

// The window of template 5000 in the library mapped as a data file.
class TemplateWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(module, nullptr) << "LoadLibraryEx error " << GetLastError();
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
        ASSERT_TRUE(InitCommonControlsEx(&controls));
        dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(IDD_RUDADADO_DIALOG), nullptr,
                                    &TemplateOnly, 0);
        ASSERT_NE(dialog, nullptr) << "CreateDialogParam error " << GetLastError();
    }
    void TearDown() override
    {
        if (dialog != nullptr) DestroyWindow(dialog);
        if (module != nullptr) FreeLibrary(module);
    }
    HWND Item(int id) const { return GetDlgItem(dialog, id); }

    HMODULE module = LoadLibraryExA("Doruzeda_DO.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HWND dialog = nullptr;
};

TEST_F(TemplateWindow, IsCreatedHiddenWithItsTitleSizeFontAndCloseBoxOnly)
{
    EXPECT_FALSE(IsWindowVisible(dialog)) << "shown only when asked";
    EXPECT_EQ(TextOf(dialog), "Printer Port Parallel I/O Configuration");
    EXPECT_EQ(StyleOf(dialog) & (WS_CAPTION | WS_SYSMENU | WS_POPUP),
              static_cast<DWORD>(WS_CAPTION | WS_SYSMENU | WS_POPUP));
    EXPECT_EQ(StyleOf(dialog) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0UL)
        << "a fixed window with a close box alone";
    // Enter and Escape hide the window; it has no OK or Cancel button.
    EXPECT_EQ(Item(IDOK), nullptr);
    EXPECT_EQ(Item(IDCANCEL), nullptr);

    RECT size{0, 0, 224, 325};  // dialog units
    ASSERT_TRUE(MapDialogRect(dialog, &size));
    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);

    LOGFONTA font{};
    const HFONT handle = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    ASSERT_NE(GetObjectA(handle, sizeof font, &font), 0);
    EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");
}

// Every control the dialog's code reaches by identifier, with the class and
// the behaviour that code relies on, and the text it shows first.
TEST_F(TemplateWindow, EveryControlTheCodeUsesIsThereAsItExpects)
{
    const DWORD toggle = BS_AUTOCHECKBOX | BS_PUSHLIKE;  // a box that stays pressed in
    const struct {
        int first, last;
        const char* windowClass;
        DWORD mask, styles;  // style & mask == styles
        const char* text;
    } groups[] = {
        {IDC_DIRECTION_PIN2, IDC_DIRECTION_PIN9, "Button", BS_TYPEMASK | BS_PUSHLIKE, toggle,
         "OUT"},
        {IDC_LEVEL_PIN1, IDC_LEVEL_PIN17, "Button", BS_TYPEMASK | BS_PUSHLIKE, toggle, "HI"},
        {IDC_STATUS_PIN10, IDC_STATUS_PIN15, "Static", SS_SUNKEN, SS_SUNKEN, "HI"},
        {IDC_STATUS_PIN2, IDC_STATUS_PIN9, "Static", SS_SUNKEN, SS_SUNKEN, "HI"},
        // Without CBS_SORT list row i is port table row i.
        {IDC_PORT_LIST, IDC_PORT_LIST, "ComboBox", CBS_DROPDOWNLIST | CBS_SORT, CBS_DROPDOWNLIST,
         ""},
        // Not a default button: Enter must not press it.
        {IDC_READ_INPUTS, IDC_READ_INPUTS, "Button", BS_TYPEMASK, BS_PUSHBUTTON,
         "Read INPUT status"},
        {IDC_POLL_INPUTS, IDC_POLL_INPUTS, "Button", BS_TYPEMASK, BS_PUSHBUTTON,
         "Poll INPUT status"},
        {IDC_INTERVAL, IDC_INTERVAL, "Edit", ES_READONLY, ES_READONLY, ""},
        {IDC_INTERVAL_SPIN, IDC_INTERVAL_SPIN, UPDOWN_CLASSA, UDS_SETBUDDYINT, UDS_SETBUDDYINT,
         nullptr},
        {IDC_PORT_LIST_CAPTION, IDC_PORT_LIST_CAPTION, "Static", 0, 0, "Printer Port(s)"},
        {IDC_PORT_ADDRESS, IDC_PORT_ADDRESS, "Edit", ES_READONLY, ES_READONLY, ""},
    };
    for (const auto& group : groups) {
        for (int id = group.first; id <= group.last; ++id) {
            SCOPED_TRACE("control " + std::to_string(id));
            const HWND item = Item(id);
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, ClassOf(item).c_str(), -1,
                                     group.windowClass, -1),
                      CSTR_EQUAL)
                << ClassOf(item);
            EXPECT_EQ(StyleOf(item) & group.mask, group.styles) << std::hex << StyleOf(item);
            if (group.text != nullptr) {
                EXPECT_EQ(TextOf(item), group.text);
            }
        }
    }
}

// The chart: each pin's boxes and fields stand on the row of its number.
TEST_F(TemplateWindow, EachPinsControlsStandOnItsNumbersRow)
{
    std::vector<HWND> numberLabels(18, nullptr);
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        const std::string text = TextOf(child);
        const int pin = std::atoi(text.c_str());
        if (pin >= 1 && pin <= 17 && text == std::to_string(pin) && numberLabels[pin] == nullptr) {
            numberLabels[pin] = child;
        }
    }
    const auto onRow = [&](int pin, int id) {
        RECT label{}, control{};
        GetWindowRect(numberLabels[pin], &label);
        GetWindowRect(Item(id), &control);
        const LONG middle = (control.top + control.bottom) / 2;
        return middle > label.top && middle < label.bottom;
    };
    const struct {
        int pin;
        std::vector<int> ids;
    } rows[] = {
        {1, {IDC_LEVEL_PIN1}},    {10, {IDC_STATUS_PIN10}}, {11, {IDC_STATUS_PIN11}},
        {12, {IDC_STATUS_PIN12}}, {13, {IDC_STATUS_PIN13}}, {14, {IDC_LEVEL_PIN14}},
        {15, {IDC_STATUS_PIN15}}, {16, {IDC_LEVEL_PIN16}},  {17, {IDC_LEVEL_PIN17}},
    };
    for (const auto& row : rows) {
        ASSERT_NE(numberLabels[row.pin], nullptr) << "no label " << row.pin;
        for (int id : row.ids) EXPECT_TRUE(onRow(row.pin, id)) << "pin " << row.pin << ", " << id;
    }
    for (int pin = 2; pin <= 9; ++pin) {
        ASSERT_NE(numberLabels[pin], nullptr) << "no label " << pin;
        for (int id :
             {IDC_DIRECTION_PIN2 + pin - 2, IDC_LEVEL_PIN2 + pin - 2, IDC_STATUS_PIN2 + pin - 2}) {
            EXPECT_TRUE(onRow(pin, id)) << "pin " << pin << ", " << id;
        }
    }
}

TEST_F(TemplateWindow, TabRunsThroughTheControlsTheUserWorks)
{
    // Direction boxes, level boxes, the port list, the two buttons, the
    // interval field, the address field; then round again.
    std::vector<int> expected;
    for (int id = IDC_DIRECTION_PIN2; id <= IDC_LEVEL_PIN17; ++id) expected.push_back(id);
    for (int id : {IDC_PORT_LIST, IDC_READ_INPUTS, IDC_POLL_INPUTS, IDC_INTERVAL, IDC_PORT_ADDRESS,
                   IDC_DIRECTION_PIN2}) {
        expected.push_back(id);
    }
    std::vector<int> visited;
    HWND at = GetNextDlgTabItem(dialog, nullptr, FALSE);
    for (std::size_t step = 0; step < expected.size() && at != nullptr; ++step) {
        visited.push_back(GetDlgCtrlID(at));
        at = GetNextDlgTabItem(dialog, at, FALSE);
    }
    EXPECT_EQ(visited, expected);
}

TEST_F(TemplateWindow, TheSpinDrivesTheIntervalField)
{
    const HWND spin = Item(IDC_INTERVAL_SPIN);
    EXPECT_EQ(reinterpret_cast<HWND>(SendMessageA(spin, UDM_GETBUDDY, 0, 0)), Item(IDC_INTERVAL));
    SendMessageA(spin, UDM_SETRANGE32, 1, 10);
    SendMessageA(spin, UDM_SETPOS32, 0, 7);
    EXPECT_EQ(TextOf(Item(IDC_INTERVAL)), "7") << "the spin writes its number into the field";
}

// The connector: its picture at its own size (its bytes are the committed
// connector.bmp, which resources_connector_bitmap_generated compares with
// its generator).
TEST_F(TemplateWindow, ThePictureIsTheConnectorAtItsOwnSize)
{
    HWND picture = nullptr;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr && picture == nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if ((StyleOf(child) & SS_TYPEMASK) == SS_BITMAP) picture = child;
    }
    ASSERT_NE(picture, nullptr) << "no picture control";
    const HBITMAP bitmap =
        reinterpret_cast<HBITMAP>(SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
    BITMAP size{};
    ASSERT_NE(GetObjectA(bitmap, sizeof size, &size), 0);
    EXPECT_EQ(size.bmWidth, 270);
    EXPECT_EQ(size.bmHeight, 59);
}

// ---------------------------------------------------------------------------
// The version information, as the system's version functions read it.

class VersionInformation : public ::testing::Test {
protected:
    void SetUp() override
    {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA("Doruzeda_DO.dll", &ignored);
        ASSERT_GT(size, 0UL);
        block.resize(size);
        ASSERT_TRUE(GetFileVersionInfoA("Doruzeda_DO.dll", 0, size, block.data()));
    }
    // The value at `path`, or nullptr (with length 0) when there is none.
    const void* Query(const char* path, UINT& length)
    {
        void* value = nullptr;
        length = 0;
        if (!VerQueryValueA(block.data(), path, &value, &length)) return nullptr;
        return value;
    }
    std::vector<BYTE> block;
};

// The project's version, defined in the build only: the build hands its four
// numbers to this test as it hands them to the resource script.
constexpr DWORD kVersion[] = {DORUZEDA_VERSION_MAJOR, DORUZEDA_VERSION_MINOR,
                              DORUZEDA_VERSION_PATCH, DORUZEDA_VERSION_TWEAK};

TEST_F(VersionInformation, NamesTheProjectsVersionOfAWindowsDll)
{
    UINT length = 0;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(Query("\\", length));
    ASSERT_NE(fixed, nullptr);
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDUL);
    // Each double word holds two numbers, the first in its high half.
    EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), kVersion[0]);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), kVersion[1]);
    EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), kVersion[2]);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionLS), kVersion[3]);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileFlags, 0UL);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    const auto* translation = static_cast<const WORD*>(Query("\\VarFileInfo\\Translation", length));
    ASSERT_NE(translation, nullptr);
    ASSERT_EQ(length, 4U);
    EXPECT_EQ(translation[0], 0x0409) << "English (United States)";
    EXPECT_EQ(translation[1], 1200) << "Unicode";
}

// The version strings spell the project's version as the numbers do, with a
// comma and a blank between them ("1, 0, 0, 4").
TEST_F(VersionInformation, SpellsTheVersionInItsStrings)
{
    const std::string spelled = std::to_string(kVersion[0]) + ", " + std::to_string(kVersion[1]) +
                                ", " + std::to_string(kVersion[2]) + ", " +
                                std::to_string(kVersion[3]);
    for (const char* key : {"FileVersion", "ProductVersion"}) {
        UINT length = 0;
        const std::string path = std::string("\\StringFileInfo\\040904b0\\") + key;
        const char* value = static_cast<const char*>(Query(path.c_str(), length));
        ASSERT_NE(value, nullptr) << key;
        EXPECT_EQ(std::string(value), spelled) << key;
    }
}

}  // namespace
