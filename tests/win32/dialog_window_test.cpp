// The setup window of the real Doruzeda_DO.dll, driven with window messages
// under Wine and Xvfb: the port list or the address field, the level boxes'
// register writes, the direction boxes, reading and polling the inputs, and
// how the window and the exported functions share the chosen port.
//
// Each test loads the library afresh (its window is created on this thread
// during LoadLibrary) and unloads it at the end.
#include <gtest/gtest.h>

#include "test_support.h"  // windows.h first

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "dialog/resource.h"
#include "tests/shared/pin_table.h"

using namespace test_support;

namespace {

const char kMissingPort[] =
    "Tambrel Parallel I/O Macro: Couldn't find Parallel Port. Specify the Port address.";

const char kTwoPorts[] = "device LPT2\nrange 278 27F\ndevice LPT1\nrange 378 37F\n";
const char kOnePort[] = "device LPT1\nrange 378 37F\n";
const char kCountFails[] = "count-error 2\n";
const char kNoneParallel[] = "device COM1\nrange 3F8 3FF\n";

// A fresh load of the library with a described device list (nullptr: the
// stand-in's default, one LPT1 at 378), listening to the debugger output.
class SetupWindow {
public:
    explicit SetupWindow(const char* description)
        : devices(description == nullptr ? std::make_unique<DeviceDescription>()
                                         : std::make_unique<DeviceDescription>(description)),
          library(std::make_unique<LoadedLibrary>()), calls(*library)
    {
        const std::vector<HWND> windows = SetupWindowsOfThisThread();
        windowCount = windows.size();
        dialog = windows.empty() ? nullptr : windows.front();
        SimReset();
        traceStart = SimTraceCount();
    }

    HWND Item(int id) const { return GetDlgItem(dialog, id); }
    std::string Text(int id) const
    {
        char text[256] = {};
        GetDlgItemTextA(dialog, id, text, sizeof text);
        return text;
    }
    // The control's own visibility bit: IsWindowVisible would also say false
    // for every control while the dialog itself is hidden.
    bool Shown(int id) const { return (GetWindowLongA(Item(id), GWL_STYLE) & WS_VISIBLE) != 0; }
    bool Pressed(int id) const { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
    // A click: the button toggles (for a check box) and tells the dialog.
    void Click(int id) const { SendMessageA(Item(id), BM_CLICK, 0, 0); }
    // The user chooses row `row` of the port list.
    void ChooseRow(int row) const
    {
        SendMessageA(Item(IDC_PORT_LIST), CB_SETCURSEL, static_cast<WPARAM>(row), 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_PORT_LIST, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(Item(IDC_PORT_LIST)));
    }
    std::string Trace() const { return Describe(TraceSince(traceStart)); }
    void MarkTrace() { traceStart = SimTraceCount(); }
    void Unload() { library.reset(); }

    ScratchDirectory scratch;
    DebuggerOutput debugger;  // before the load: the missing-port message comes during it
    std::unique_ptr<DeviceDescription> devices;
    std::unique_ptr<LoadedLibrary> library;
    Exports calls;
    HWND dialog = nullptr;
    std::size_t windowCount = 0;
    unsigned long traceStart = 0;
};

class DialogTest : public ::testing::Test {
protected:
    explicit DialogTest(const char* description = kOnePort) : window(description) {}
    void SetUp() override
    {
        ASSERT_NE(window.library->Handle(), nullptr)
            << "LoadLibrary error " << window.library->LoadError();
        ASSERT_TRUE(window.calls.AllFound());
        ASSERT_EQ(window.windowCount, 1u) << "one setup window per load";
    }
    SetupWindow window;
};

class TwoPortsTest : public DialogTest {
protected:
    TwoPortsTest() : DialogTest(kTwoPorts) {}
};

// --- Creation and the port list -------------------------------------------

TEST_F(DialogTest, IsCreatedHiddenAtLoadAndShownByRudAdado)
{
    EXPECT_FALSE(IsWindowVisible(window.dialog));
    EXPECT_EQ(window.calls.rudAdado(), 0);
    EXPECT_TRUE(IsWindowVisible(window.dialog));
    EXPECT_EQ(GetForegroundWindow(), window.dialog) << "show command 5 activates the window";
    EXPECT_EQ(window.calls.rudAdado(), 0) << "showing it again is harmless";
    EXPECT_TRUE(IsWindowVisible(window.dialog));
    EXPECT_EQ(window.Trace(), "") << "neither creating nor showing touches the port";
}

TEST_F(DialogTest, StartsWithEveryLevelHighAndEveryDataPinAnOutput)
{
    for (int id = IDC_LEVEL_PIN1; id <= IDC_LEVEL_PIN17; ++id) {
        EXPECT_EQ(window.Text(id), "HI") << id;
        EXPECT_FALSE(window.Pressed(id)) << id;
    }
    for (int id = IDC_STATUS_PIN10; id <= IDC_STATUS_PIN15; ++id) {
        EXPECT_EQ(window.Text(id), "HI") << id;
    }
    for (int offset = 0; offset < 8; ++offset) {
        EXPECT_EQ(window.Text(IDC_DIRECTION_PIN2 + offset), "OUT") << offset;
        EXPECT_TRUE(window.Shown(IDC_LEVEL_PIN2 + offset)) << offset;
        EXPECT_FALSE(window.Shown(IDC_STATUS_PIN2 + offset)) << offset;
        EXPECT_EQ(window.Text(IDC_STATUS_PIN2 + offset), "HI") << offset;
    }
}

TEST_F(TwoPortsTest, ListsThePortNamesInTableOrderWithRowZeroCurrent)
{
    const HWND list = window.Item(IDC_PORT_LIST);
    ASSERT_EQ(SendMessageA(list, CB_GETCOUNT, 0, 0), 2);
    const struct {
        const char* name;
        LRESULT address;
    } rows[] = {{"LPT2", 0x278}, {"LPT1", 0x378}};
    for (WPARAM row = 0; row < 2; ++row) {
        char text[64] = {};
        SendMessageA(list, CB_GETLBTEXT, row, reinterpret_cast<LPARAM>(text));
        EXPECT_STREQ(text, rows[row].name) << "the name, not the label " << row;
        EXPECT_EQ(SendMessageA(list, CB_GETITEMDATA, row, 0), rows[row].address) << row;
    }
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 0);
    EXPECT_TRUE(window.Shown(IDC_PORT_LIST));
    EXPECT_FALSE(window.Shown(IDC_PORT_ADDRESS));
    EXPECT_EQ(window.Text(IDC_PORT_LIST_CAPTION), "Printer Port(s)");
    for (const std::string& message : window.debugger.Messages()) {
        EXPECT_EQ(message.find("Couldn't find"), std::string::npos) << message;
    }
    // selectedIndex is 0: the exports address row 0 without any port call.
    EXPECT_EQ(window.calls.setParallelOutputPin(2, 1), 0);
    EXPECT_EQ(window.Trace(), "R 278=00 W 278=01");
}

struct NoPortCase {
    const char* name;
    const char* description;
    const char* addressText;
    int pinCallResult;  // fnOrvane_setParallelOutputPin(2, 1) right after load
};

class NoPortTest : public ::testing::TestWithParam<NoPortCase> {};

TEST_P(NoPortTest, ShowsTheAddressFieldInTheListsPlaceAndTellsTheDebugger)
{
    const NoPortCase& scenario = GetParam();
    SetupWindow window(scenario.description);
    ASSERT_NE(window.dialog, nullptr);
    EXPECT_FALSE(window.Shown(IDC_PORT_LIST));
    EXPECT_TRUE(window.Shown(IDC_PORT_ADDRESS));
    EXPECT_EQ(window.Text(IDC_PORT_ADDRESS), scenario.addressText);
    EXPECT_EQ(window.Text(IDC_PORT_LIST_CAPTION), "Port Address");
    EXPECT_EQ(SendMessageA(window.Item(IDC_PORT_LIST), CB_GETCOUNT, 0, 0), 0);

    Pump(100);  // the listener thread may lag a little behind
    int missing = 0;
    for (const std::string& message : window.debugger.Messages()) {
        if (message == kMissingPort) ++missing;
    }
    EXPECT_EQ(missing, 1) << "once, exactly, without a line end";
    EXPECT_EQ(window.scratch.LogFile().find("Couldn't find"), std::string::npos)
        << "not through the log file";

    EXPECT_EQ(window.calls.setParallelOutputPin(2, 1), scenario.pinCallResult);
}

INSTANTIATE_TEST_SUITE_P(DeviceLists, NoPortTest,
                         ::testing::Values(NoPortCase{"CountFails", kCountFails, "378", 0},
                                           NoPortCase{"EmptyList", "# nothing\n", "378", 0},
                                           NoPortCase{"NoneParallel", kNoneParallel, "0", -1}),
                         [](const ::testing::TestParamInfo<NoPortCase>& param) {
                             return param.param.name;
                         });

TEST_F(DialogTest, IntervalSpinRunsFromOneToTenAndStartsAtOne)
{
    const HWND spin = window.Item(IDC_INTERVAL_SPIN);
    int lower = -1;
    int upper = -1;
    SendMessageA(spin, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower),
                 reinterpret_cast<LPARAM>(&upper));
    EXPECT_EQ(lower, 1);
    EXPECT_EQ(upper, 10);
    EXPECT_EQ(LOWORD(SendMessageA(spin, UDM_GETPOS, 0, 0)), 1);
    EXPECT_EQ(window.Text(IDC_INTERVAL), "1") << "the spin writes its buddy's number";
}

TEST_F(DialogTest, IsCentredInTheWorkArea)
{
    RECT area;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    RECT rect;
    GetWindowRect(window.dialog, &rect);
    const long horizontal = (rect.left + rect.right) / 2 - (area.left + area.right) / 2;
    const long vertical = (rect.top + rect.bottom) / 2 - (area.top + area.bottom) / 2;
    EXPECT_LE(std::labs(horizontal), 2) << rect.left << "," << rect.top;
    EXPECT_LE(std::labs(vertical), 2) << rect.left << "," << rect.top;
}

// --- Level boxes ------------------------------------------------------------

// The level box of each settable pin, as the template numbers them.
constexpr struct {
    int pin;
    int box;
} kLevelBoxes[] = {
    {1, 5009},  {2, 5010},  {3, 5011},  {4, 5012},  {5, 5013},  {6, 5014},
    {7, 5015},  {8, 5016},  {9, 5017},  {14, 5018}, {16, 5019}, {17, 5020},
};

// The pin table's first row that sets `pin` to `level`.
const pin_table::PinAtPort& SettingRow(int pin, int level)
{
    for (const pin_table::PinAtPort& row : pin_table::kPins) {
        if (row.call == pin_table::Call::Set && row.pin == pin && row.level == level) return row;
    }
    ADD_FAILURE() << "the pin table sets pin " << pin << " to " << level << " nowhere";
    return pin_table::kPins[0];
}

std::string Access(char kind, unsigned short address, unsigned value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%c %X=%02X", kind, address, value);
    return text;
}

// A press drives the pin low, a release high: exactly the accesses of the
// pin table's rows for levels 0 and 1.
TEST_F(DialogTest, PressingALevelBoxDrivesItsPinLowAndReleasingHigh)
{
    window.calls.rudAdado();
    for (const auto& [pin, box] : kLevelBoxes) {
        for (const int level : {0, 1}) {  // the first click presses the box in
            const pin_table::PinAtPort& row = SettingRow(pin, level);
            SimPoke(pin_table::RegisterOf(row), row.before);
            window.MarkTrace();
            window.Click(box);
            EXPECT_EQ(window.Pressed(box), level == 0) << pin;
            EXPECT_EQ(window.Text(box), level == 0 ? "LO" : "HI") << pin;
            EXPECT_EQ(window.Trace(), row.accesses) << pin;
        }
    }
}

TEST_F(DialogTest, EachLevelClickLogsTheRowAndAddress)
{
    window.Click(IDC_LEVEL_PIN2);
    window.Click(IDC_LEVEL_PIN16);
    const std::string log = window.scratch.LogFile();
    const std::string line = " OnClickedHiLo() LPT (0) selected I/O Addr = 378\r\n";
    const std::size_t first = log.find(line);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find(line, first + 1), std::string::npos) << "one line per click\n" << log;
}

TEST_F(DialogTest, LevelClicksLeaveTheControllersBuffersAlone)
{
    // Buffered: data 0x00 and control 0x00 read, then pin 3 prepared high.
    ASSERT_EQ(window.calls.prepareParallelOutputBuffer(), 0);
    ASSERT_EQ(window.calls.prepareParallelOutputPin(3, 1), 0);
    window.Click(IDC_LEVEL_PIN17);     // writes control bit 3 to the port only
    window.Click(IDC_LEVEL_PIN2 + 1);  // pin 3 low on the port only
    window.MarkTrace();
    ASSERT_EQ(window.calls.setParallelOutputAll(), 0);
    EXPECT_EQ(window.Trace(), "W 378=02 W 37A=00") << "the buffers as prepared, not the clicks";
}

// --- Direction boxes ----------------------------------------------------------

TEST_F(DialogTest, DirectionBoxSwapsTheLevelBoxForTheStatusField)
{
    SimPoke(0x378, 0x00);
    window.Click(IDC_READ_INPUTS);  // status field 5029 (pin 4) now reads LO
    ASSERT_EQ(window.Text(IDC_STATUS_PIN2 + 2), "LO");
    window.MarkTrace();

    const int direction = IDC_DIRECTION_PIN2 + 2;  // 5003, pin 4
    window.Click(direction);
    EXPECT_EQ(window.Text(direction), "IN");
    EXPECT_FALSE(window.Shown(IDC_LEVEL_PIN2 + 2));  // 5012
    EXPECT_TRUE(window.Shown(IDC_STATUS_PIN2 + 2));  // 5029
    EXPECT_EQ(window.Text(IDC_STATUS_PIN2 + 2), "LO") << "its last value";
    for (int other = 0; other < 8; ++other) {
        if (other == 2) continue;
        EXPECT_TRUE(window.Shown(IDC_LEVEL_PIN2 + other)) << other;
        EXPECT_FALSE(window.Shown(IDC_STATUS_PIN2 + other)) << other;
    }

    window.Click(direction);
    EXPECT_EQ(window.Text(direction), "OUT");
    EXPECT_TRUE(window.Shown(IDC_LEVEL_PIN2 + 2));
    EXPECT_FALSE(window.Shown(IDC_STATUS_PIN2 + 2));
    EXPECT_EQ(window.Trace(), "") << "the direction is display only";
}

// --- Reading and polling the inputs -------------------------------------------

struct InputCase {
    unsigned char data;
    unsigned char status;
    const char* dataFields;    // pins 2 to 9
    const char* statusFields;  // pins 10, 11, 12, 13, 15
};

const InputCase kInputCases[] = {
    {0x00, 0x00, "LO LO LO LO LO LO LO LO", "LO HI LO LO LO"},
    {0xFF, 0xF8, "HI HI HI HI HI HI HI HI", "HI LO HI HI HI"},
    {0xA5, 0x40, "HI LO HI LO LO HI LO HI", "HI HI LO LO LO"},
    {0x12, 0x80, "LO HI LO LO HI LO LO LO", "LO LO LO LO LO"},
    {0x00, 0x37, "LO LO LO LO LO LO LO LO", "LO HI HI HI LO"},  // bits 0-2 belong to no pin
};

std::string Fields(const SetupWindow& window, const std::vector<int>& ids)
{
    std::string text;
    for (int id : ids) text += (text.empty() ? "" : " ") + window.Text(id);
    return text;
}

const std::vector<int> kDataFields = {5027, 5028, 5029, 5030, 5031, 5032, 5033, 5034};
const std::vector<int> kStatusFields = {IDC_STATUS_PIN10, IDC_STATUS_PIN11, IDC_STATUS_PIN12,
                                        IDC_STATUS_PIN13, IDC_STATUS_PIN15};

TEST_F(DialogTest, ReadButtonFillsTheStatusFieldsByTheBitRules)
{
    for (const InputCase& input : kInputCases) {
        SimPoke(0x378, input.data);
        SimSetInputLines(0x378, input.status);
        window.MarkTrace();
        window.Click(IDC_READ_INPUTS);
        EXPECT_EQ(window.Trace(),
                  Access('R', 0x378, input.data) + " " + Access('R', 0x379, input.status));
        EXPECT_EQ(Fields(window, kDataFields), input.dataFields) << int{input.data};
        EXPECT_EQ(Fields(window, kStatusFields), input.statusFields) << int{input.status};
    }
    EXPECT_EQ(window.scratch.LogFile().find("OnClicked"), std::string::npos)
        << "reading writes no log line";
}

TEST_F(DialogTest, PollingReadsAtEveryTickFromTheFirstAndStops)
{
    SimPoke(0x378, 0x0F);
    SimSetInputLines(0x378, 0x00);
    window.Click(IDC_POLL_INPUTS);
    EXPECT_FALSE(IsWindowEnabled(window.Item(IDC_READ_INPUTS)));
    EXPECT_EQ(window.Text(IDC_POLL_INPUTS), "Stop");

    // Nothing is read at the start; the first tick comes after a second.
    Pump(600);
    EXPECT_EQ(window.Trace(), "") << "no read before the first tick";
    const DWORD waitStart = GetTickCount();
    EXPECT_TRUE(Pump(5000, [&] { return !window.Trace().empty(); }));
    EXPECT_EQ(window.Trace(), "R 378=0F R 379=00");
    EXPECT_EQ(Fields(window, kDataFields), "HI HI HI HI LO LO LO LO");
    EXPECT_GE(GetTickCount() - waitStart + 600, 900u) << "the period is one second";

    // A tick of the poll timer, sent by hand, reads once more; another timer does not.
    window.MarkTrace();
    SendMessageA(window.dialog, WM_TIMER, 123, 0);  // the polling timer's identifier
    EXPECT_EQ(window.Trace(), "R 378=0F R 379=00");
    window.MarkTrace();
    SendMessageA(window.dialog, WM_TIMER, 7, 0);
    SendMessageA(window.dialog, WM_TIMER, 0, 0);
    EXPECT_EQ(window.Trace(), "");

    window.Click(IDC_POLL_INPUTS);
    EXPECT_TRUE(IsWindowEnabled(window.Item(IDC_READ_INPUTS)));
    EXPECT_EQ(window.Text(IDC_POLL_INPUTS), "Poll Input Status");
    window.MarkTrace();
    Pump(1500);
    EXPECT_EQ(window.Trace(), "") << "the timer is stopped";
    SendMessageA(window.dialog, WM_TIMER, 123, 0);
    EXPECT_EQ(window.Trace(), "") << "a stray tick after stopping reads nothing";
}

TEST_F(DialogTest, PollingPeriodIsTheSpinsSecondsAtTheStart)
{
    SendMessageA(window.Item(IDC_INTERVAL_SPIN), UDM_SETPOS, 0, MAKELPARAM(3, 0));
    EXPECT_EQ(window.Text(IDC_INTERVAL), "3");
    window.Click(IDC_POLL_INPUTS);
    Pump(1800);
    EXPECT_EQ(window.Trace(), "") << "three seconds, not one";
    EXPECT_TRUE(Pump(6000, [&] { return !window.Trace().empty(); }));
    EXPECT_EQ(window.Trace(), "R 378=00 R 379=00");
    window.Click(IDC_POLL_INPUTS);
}

// --- The port shared with the exports -------------------------------------------

TEST_F(TwoPortsTest, ARowChosenByHandSteersTheExportedPinFunctions)
{
    window.ChooseRow(1);  // LPT1 at 378
    EXPECT_EQ(window.calls.setParallelOutputPin(3, 1), 0);
    EXPECT_EQ(window.Trace(), "R 378=00 W 378=02");
    window.MarkTrace();
    window.Click(IDC_LEVEL_PIN2);
    EXPECT_EQ(window.Trace(), "R 378=02 W 378=02") << "pressed: bit 0 cleared (already clear)";
    EXPECT_NE(window.scratch.LogFile().find("OnClickedHiLo() LPT (1) selected I/O Addr = 378\r\n"),
              std::string::npos)
        << window.scratch.LogFile();

    window.ChooseRow(0);  // LPT2 at 278
    window.MarkTrace();
    EXPECT_EQ(window.calls.getParallelInputPin(3), 0);
    EXPECT_EQ(window.Trace(), "R 278=00");

    // setParallelPort shows the row in the list, without a selection-change event.
    EXPECT_EQ(window.calls.setParallelPort(1), 0);
    EXPECT_EQ(SendMessageA(window.Item(IDC_PORT_LIST), CB_GETCURSEL, 0, 0), 1);
}

TEST_F(DialogTest, ManualAddressHidesTheListWhileTheButtonsKeepTheRowsAddress)
{
    ASSERT_EQ(window.calls.setParallelPortAddress("2", "7", "8", ""), 0);
    EXPECT_FALSE(window.Shown(IDC_PORT_LIST));
    EXPECT_TRUE(window.Shown(IDC_PORT_ADDRESS));
    EXPECT_EQ(window.Text(IDC_PORT_ADDRESS), "278");
    EXPECT_EQ(SendMessageA(window.Item(IDC_PORT_LIST), CB_GETCURSEL, 0, 0), 0)
        << "the list keeps its current row";
    EXPECT_EQ(window.Text(IDC_PORT_LIST_CAPTION), "Printer Port(s)") << "the caption stays";

    window.MarkTrace();
    window.Click(IDC_LEVEL_PIN2 + 7);  // pin 9 low: on the row's 378
    window.Click(IDC_READ_INPUTS);
    EXPECT_EQ(window.Trace(), "R 378=00 W 378=00 R 378=00 R 379=00");
    window.MarkTrace();
    EXPECT_EQ(window.calls.setParallelOutputPin(9, 1), 0);  // the exports: on 278
    EXPECT_EQ(window.Trace(), "R 278=00 W 278=80");

    // Choosing LPT1 by number shows the list again in the field's place.
    EXPECT_EQ(window.calls.setParallelPort(1), 0);
    EXPECT_TRUE(window.Shown(IDC_PORT_LIST));
    EXPECT_FALSE(window.Shown(IDC_PORT_ADDRESS));
}

TEST(DialogWithoutPorts, ManualAddressIsWhatTheButtonsUseWhenTheListIsEmpty)
{
    SetupWindow window(kCountFails);
    ASSERT_NE(window.dialog, nullptr);
    window.Click(IDC_LEVEL_PIN2);
    EXPECT_EQ(window.Trace(), "R 378=00 W 378=00") << "the fallback address";
    ASSERT_EQ(window.calls.setParallelPortAddress("2", "7", "8", ""), 0);
    EXPECT_EQ(window.Text(IDC_PORT_ADDRESS), "278");
    window.MarkTrace();
    window.Click(IDC_LEVEL_PIN2);  // released: high
    EXPECT_EQ(window.Trace(), "R 278=00 W 278=01");
    EXPECT_NE(window.scratch.LogFile().find("OnClickedHiLo() no LPT selection I/O Addr = 278\r\n"),
              std::string::npos)
        << window.scratch.LogFile();
}

TEST(DialogWithoutPorts, AtAddressZeroTheButtonsChangeOnlyTheirDisplay)
{
    SetupWindow window(kNoneParallel);
    ASSERT_NE(window.dialog, nullptr);
    SimSetInputLines(0x378, 0xFF);
    window.MarkTrace();
    window.Click(IDC_LEVEL_PIN1);
    window.Click(IDC_LEVEL_PIN2);
    EXPECT_EQ(window.Text(IDC_LEVEL_PIN1), "LO");
    EXPECT_EQ(window.Text(IDC_LEVEL_PIN2), "LO");
    window.Click(IDC_READ_INPUTS);
    EXPECT_EQ(window.Trace(), "") << "I/O address 0 is not a parallel port";
    EXPECT_EQ(window.Text(IDC_STATUS_PIN10), "HI") << "nothing was read";
    EXPECT_NE(window.scratch.LogFile().find("OnClickedHiLo() no LPT selection I/O Addr = 0\r\n"),
              std::string::npos)
        << window.scratch.LogFile();
    // The exports have no port either, until an address is set.
    EXPECT_EQ(window.calls.setParallelOutputPin(2, 1), -1);
    ASSERT_EQ(window.calls.setParallelPortAddress("3", "7", "8", ""), 0);
    window.MarkTrace();
    window.Click(IDC_LEVEL_PIN2);
    EXPECT_EQ(window.Trace(), "R 378=00 W 378=01");
}

// --- Hiding, showing and unloading ---------------------------------------------

TEST_F(DialogTest, EndingTheDialogOnlyHidesIt)
{
    const struct {
        const char* how;
        UINT message;
        WPARAM wParam;
    } endings[] = {
        {"Escape (IDCANCEL)", WM_COMMAND, IDCANCEL},
        {"Enter (IDOK)", WM_COMMAND, IDOK},
        {"the close box", WM_CLOSE, 0},
    };
    window.Click(IDC_LEVEL_PIN2);
    window.Click(IDC_POLL_INPUTS);
    for (const auto& ending : endings) {
        ASSERT_EQ(window.calls.rudAdado(), 0);
        ASSERT_TRUE(IsWindowVisible(window.dialog)) << ending.how;
        SendMessageA(window.dialog, ending.message, ending.wParam, 0);
        Pump(50);
        EXPECT_FALSE(IsWindowVisible(window.dialog)) << ending.how;
        EXPECT_TRUE(IsWindow(window.dialog)) << ending.how;
    }
    // Shown again as it was left, still polling.
    ASSERT_EQ(window.calls.rudAdado(), 0);
    EXPECT_TRUE(IsWindowVisible(window.dialog));
    EXPECT_EQ(window.Text(IDC_LEVEL_PIN2), "LO");
    EXPECT_EQ(window.Text(IDC_POLL_INPUTS), "Stop");
    window.MarkTrace();
    SendMessageA(window.dialog, WM_TIMER, 123, 0);
    EXPECT_EQ(window.Trace(), "R 378=00 R 379=00");
}

TEST(DialogLifetime, EachLoadHasItsOwnWindow)
{
    for (int load = 0; load < 3; ++load) {
        SetupWindow window(kTwoPorts);
        EXPECT_EQ(window.windowCount, 1u) << "load " << load;
        EXPECT_EQ(SendMessageA(window.Item(IDC_PORT_LIST), CB_GETCOUNT, 0, 0), 2) << load;
    }
    EXPECT_TRUE(SetupWindowsOfThisThread().empty());
}

}  // namespace
