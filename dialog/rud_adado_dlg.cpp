#include "rud_adado_dlg.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "../port/pin_map.h"

namespace {

constexpr int kPollSecondsMin = 1;
constexpr int kPollSecondsMax = 10;

enum ViewKind : WPARAM { kShowPortList = 1, kShowAddressField = 2 };
constexpr WPARAM kViewKindMask = 0xFF;
constexpr unsigned kViewChangeShift = 8;
constexpr std::uint32_t kViewChangeMask = 0xFFFFFFu;  // what fits above the kind

// The level boxes stand in the chart beside pins 1, 2 to 9, 14, 16 and 17.
int PinOfLevelBox(UINT id)
{
    switch (id) {
    case IDC_LEVEL_PIN1: return 1;
    case IDC_LEVEL_PIN14: return 14;
    case IDC_LEVEL_PIN16: return 16;
    case IDC_LEVEL_PIN17: return 17;
    default: return static_cast<int>(id) - (IDC_LEVEL_PIN2 - 2);
    }
}

struct StatusField {
    int id;
    int pin;
};

// The status register's pins and where the chart shows them.
const StatusField kStatusFields[] = {
    {IDC_STATUS_PIN10, 10}, {IDC_STATUS_PIN11, 11}, {IDC_STATUS_PIN12, 12},
    {IDC_STATUS_PIN13, 13}, {IDC_STATUS_PIN15, 15},
};

const char* LevelText(int pin, std::uint16_t registerValue)
{
    return PinMap::LevelIn(*PinMap::Find(pin), registerValue) ? "HI" : "LO";
}

}  // namespace

CRudAdadoDlg::CRudAdadoDlg() : pollTimerId(0)
{
    controller.SetView(this);
    controller.EnumeratePorts();
}

void CRudAdadoDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PORT_ADDRESS, portAddressField);
    DDX_Control(pDX, IDC_PORT_LIST_CAPTION, portListCaption);
    DDX_Control(pDX, IDC_INTERVAL_SPIN, intervalSpin);
    DDX_Control(pDX, IDC_INTERVAL, intervalField);
    DDX_Control(pDX, IDC_POLL_INPUTS, pollButton);
    DDX_Control(pDX, IDC_READ_INPUTS, readButton);
    DDX_Control(pDX, IDC_PORT_LIST, portList);
}

BOOL CRudAdadoDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    const PortController::PortRows ports = controller.RowsToList();

    if (ports.count == 0) {
        portList.ShowWindow(SW_HIDE);
        CString address;
        address.Format("%x", static_cast<unsigned>(ports.rows[0].baseAddress));
        portAddressField.SetWindowText(address);
        portAddressField.ShowWindow(SW_SHOW);
        portListCaption.SetWindowText("Port Address");
        // Straight to the debugger, not through the log file.
        ::OutputDebugStringA(
            "Tambrel Parallel I/O Macro: Couldn't find Parallel Port. Specify the Port address.");
    } else {
        for (int index = 0; index < ports.count; ++index) {
            const PortEntry& entry = ports.rows[index];
            const int row = portList.AddString(entry.name);
            portList.SetItemData(row, entry.baseAddress);
        }
        portList.SetCurSel(0);
        portAddressField.ShowWindow(SW_HIDE);
        controller.ChooseRow(0);
    }

    for (UINT id = IDC_DIRECTION_PIN2; id <= IDC_DIRECTION_PIN9; ++id) {
        OnDirectionClicked(id);
    }

    intervalSpin.SetRange(kPollSecondsMin, kPollSecondsMax);
    intervalSpin.SetPos(kPollSecondsMin);

    CenterWindow();
    windowForAnyThread.store(m_hWnd);
    return TRUE;  // the first tab stop takes the focus
}

BOOL CRudAdadoDlg::DestroyWindow()
{
    windowForAnyThread.store(nullptr);
    return CDialog::DestroyWindow();
}

void CRudAdadoDlg::PostNcDestroy()
{
    windowForAnyThread.store(nullptr);
}

std::uint32_t CRudAdadoDlg::NextViewChange()
{
    return (viewChanges.fetch_add(1) + 1) & kViewChangeMask;
}

bool CRudAdadoDlg::IsLatestViewChange(std::uint32_t change) const
{
    return (viewChanges.load() & kViewChangeMask) == change;
}

void CRudAdadoDlg::ShowPortList(int index)
{
    const HWND window = WindowForAnyThread();
    if (window == nullptr) return;
    const std::uint32_t change = NextViewChange();
    if (::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId()) {
        ApplyPortList(index);
    } else {
        ::PostMessageA(window, kApplyViewMessage, kShowPortList | (change << kViewChangeShift),
                       static_cast<LPARAM>(index));
    }
}

void CRudAdadoDlg::ShowAddressField(const char* text)
{
    const HWND window = WindowForAnyThread();
    if (window == nullptr) return;
    const std::uint32_t change = NextViewChange();
    if (::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId()) {
        ApplyAddressField(text);
        return;
    }
    // The controller's address texts have at most four characters.
    char packed[sizeof(LPARAM)] = {};
    for (std::size_t at = 0; at < sizeof packed && text[at] != '\0'; ++at) packed[at] = text[at];
    LPARAM argument = 0;
    std::memcpy(&argument, packed, sizeof argument);
    ::PostMessageA(window, kApplyViewMessage, kShowAddressField | (change << kViewChangeShift),
                   argument);
}

LRESULT CRudAdadoDlg::OnApplyView(WPARAM kindAndChange, LPARAM argument)
{
    // A later change, from any thread, has been shown or is on its way.
    if (!IsLatestViewChange(static_cast<std::uint32_t>(kindAndChange >> kViewChangeShift))) {
        return 0;
    }
    // The user may have chosen another row since the change was posted; the
    // list then already shows the selection the exports use.
    const int selected = controller.SelectedRow();
    const WPARAM kind = kindAndChange & kViewKindMask;
    if (kind == kShowPortList) {
        const int row = static_cast<int>(argument);
        if (selected == row) ApplyPortList(row);
    } else if (kind == kShowAddressField) {
        // The manual address is row 0's.
        if (selected != 0) return 0;
        char text[sizeof(LPARAM) + 1] = {};
        std::memcpy(text, &argument, sizeof argument);
        ApplyAddressField(text);
    }
    return 0;
}

void CRudAdadoDlg::ApplyPortList(int index)
{
    portList.SetCurSel(index);
    portList.ShowWindow(SW_SHOW);
    portAddressField.ShowWindow(SW_HIDE);
}

void CRudAdadoDlg::ApplyAddressField(const char* text)
{
    portList.ShowWindow(SW_HIDE);
    portAddressField.SetWindowText(text);
    portAddressField.ShowWindow(SW_SHOW);
}

PortController::ListPosition CRudAdadoDlg::CurrentListPosition() const
{
    const int row = portList.GetCurSel();  // CB_ERR is -1: no row
    if (row == CB_ERR) return {-1, 0};
    return {row, static_cast<std::uint16_t>(portList.GetItemData(row) & 0xFFFFu)};
}

void CRudAdadoDlg::OnDirectionClicked(UINT id)
{
    // Display only: the data lines' direction is not written to the port.
    const bool input = IsDlgButtonChecked(static_cast<int>(id)) == BST_CHECKED;
    GetDlgItem(static_cast<int>(id))->SetWindowText(input ? "IN" : "OUT");
    GetDlgItem(static_cast<int>(id + (IDC_LEVEL_PIN2 - IDC_DIRECTION_PIN2)))
        ->ShowWindow(input ? SW_HIDE : SW_SHOW);
    GetDlgItem(static_cast<int>(id + (IDC_STATUS_PIN2 - IDC_DIRECTION_PIN2)))
        ->ShowWindow(input ? SW_SHOW : SW_HIDE);
}

void CRudAdadoDlg::OnClickedHiLo(UINT id)
{
    // A box pressed in means the pin is low.
    const bool low = IsDlgButtonChecked(static_cast<int>(id)) == BST_CHECKED;
    GetDlgItem(static_cast<int>(id))->SetWindowText(low ? "LO" : "HI");
    // At an address no port can have (0, which a device list without any
    // parallel port leaves, one of the system board's below 0x100, or one
    // whose registers would wrap round to address 0) the box changes its
    // display only.
    controller.SetPinFromList(CurrentListPosition(), PinOfLevelBox(id), low ? 0 : 1);
}

void CRudAdadoDlg::ReadInputStatus()
{
    // See OnClickedHiLo: nothing is read where no port can be, the fields stay.
    const std::optional<PortController::InputRegisters> inputs =
        controller.ReadInputsFromList(CurrentListPosition());
    if (!inputs) return;
    for (int pin = 2; pin <= 9; ++pin) {
        GetDlgItem(IDC_STATUS_PIN2 + pin - 2)->SetWindowText(LevelText(pin, inputs->data));
    }
    for (const StatusField& field : kStatusFields) {
        GetDlgItem(field.id)->SetWindowText(LevelText(field.pin, inputs->status));
    }
}

void CRudAdadoDlg::OnReadInputStatus()
{
    ReadInputStatus();
}

void CRudAdadoDlg::OnPollInputStatus()
{
    if (pollTimerId == 0) {
        readButton.EnableWindow(FALSE);
        pollButton.SetWindowText("Stop");
        // The spin holds 1 to 10; whatever it reports, the period stays there.
        const int seconds = std::clamp(static_cast<int>(LOWORD(intervalSpin.GetPos())),
                                       kPollSecondsMin, kPollSecondsMax);
        // The period is fixed now; the inputs are first read at the first tick.
        pollTimerId = static_cast<std::uint32_t>(
            SetTimer(kPollTimer, static_cast<UINT>(seconds) * 1000u, nullptr));
    } else {
        KillTimer(pollTimerId);
        pollTimerId = 0;
        readButton.EnableWindow(TRUE);
        pollButton.SetWindowText("Poll Input Status");
    }
}

void CRudAdadoDlg::OnTimer(UINT_PTR nIDEvent)
{
    // pollTimerId is 0 while not polling: a timer 0 is none of ours.
    if (pollTimerId != 0 && nIDEvent == pollTimerId) {
        ReadInputStatus();
    }
    CDialog::OnTimer(nIDEvent);
}

void CRudAdadoDlg::OnPortSelChange()
{
    controller.ChooseRow(portList.GetCurSel());  // CB_ERR is -1: no port
}

// The dialog's messages, each with its handler's shape; last in the file, as
// a table, not a function.
BEGIN_MESSAGE_MAP(CRudAdadoDlg, CDialog)
    // afx_msg void OnReadInputStatus();           read button 5035 clicked
    ON_BN_CLICKED(IDC_READ_INPUTS, OnReadInputStatus)
    // afx_msg void OnPollInputStatus();           poll button 5036 clicked
    ON_BN_CLICKED(IDC_POLL_INPUTS, OnPollInputStatus)
    // afx_msg void OnTimer(UINT_PTR nIDEvent);    a timer of the dialog ticked
    ON_WM_TIMER()
    // afx_msg void OnPortSelChange();             port list 5026: the user chose a row
    ON_CBN_SELCHANGE(IDC_PORT_LIST, OnPortSelChange)
    // afx_msg void OnDirectionClicked(UINT id);   direction box 5001 to 5008 clicked
    ON_CONTROL_RANGE(BN_CLICKED, IDC_DIRECTION_PIN2, IDC_DIRECTION_PIN9, OnDirectionClicked)
    // afx_msg void OnClickedHiLo(UINT id);        level box 5009 to 5020 clicked
    ON_CONTROL_RANGE(BN_CLICKED, IDC_LEVEL_PIN1, IDC_LEVEL_PIN17, OnClickedHiLo)
    // afx_msg LRESULT OnApplyView(WPARAM kind, LPARAM argument); a view change posted
    ON_MESSAGE(kApplyViewMessage, OnApplyView)
END_MESSAGE_MAP()
