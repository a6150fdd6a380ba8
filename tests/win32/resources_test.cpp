// The resources compiled into Doruzeda_DO.dll, read back from the built
// library: the dialog template 5000 parsed field by field, the connector
// picture 5001 and the version resource.
//
// The library is mapped as a data file, so its load-time code does not run:
// these tests see only what the resource compiler wrote.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "dialog/resource.h"

namespace {

const WORD kEnglishUnitedStates = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// Doruzeda_DO.dll mapped for its resources only, unmapped with the object.
class ResourceModule {
public:
    ResourceModule()
        : module(LoadLibraryExA("Doruzeda_DO.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE)),
          loadError(module == nullptr ? GetLastError() : 0)
    {
    }
    ~ResourceModule()
    {
        if (module != nullptr) FreeLibrary(module);
    }
    ResourceModule(const ResourceModule&) = delete;
    ResourceModule& operator=(const ResourceModule&) = delete;

    HMODULE Handle() const { return module; }
    DWORD LoadError() const { return loadError; }

    // The bytes of one resource in English (United States); empty when the
    // library holds no such resource in that language.
    std::vector<BYTE> Find(LPCSTR type, WORD identifier) const
    {
        HRSRC found = FindResourceExA(module, type, MAKEINTRESOURCEA(identifier),
                                      kEnglishUnitedStates);
        if (found == nullptr) return {};
        HGLOBAL loaded = LoadResource(module, found);
        const void* bytes = loaded ? LockResource(loaded) : nullptr;
        if (bytes == nullptr) return {};
        const BYTE* begin = static_cast<const BYTE*>(bytes);
        return std::vector<BYTE>(begin, begin + SizeofResource(module, found));
    }

private:
    HMODULE module;
    DWORD loadError;
};

std::string Narrow(const std::wstring& text)
{
    std::string result;
    for (wchar_t character : text) {
        result += character < 0x80 ? static_cast<char>(character) : '?';
    }
    return result;
}

// A resource's name, class or text field: a number (0xFFFF, then the
// ordinal), nothing (a single 0), or a zero-terminated UTF-16 string.
struct NameOrOrdinal {
    enum Kind { kNone, kOrdinal, kText } kind;
    WORD ordinal;
    std::string text;

    static NameOrOrdinal None() { return {kNone, 0, ""}; }
    static NameOrOrdinal Ordinal(WORD value) { return {kOrdinal, value, ""}; }
    static NameOrOrdinal Text(const std::string& value) { return {kText, 0, value}; }

    bool operator==(const NameOrOrdinal& other) const
    {
        return kind == other.kind && ordinal == other.ordinal && text == other.text;
    }
};

std::ostream& operator<<(std::ostream& stream, const NameOrOrdinal& name)
{
    switch (name.kind) {
    case NameOrOrdinal::kNone: return stream << "(none)";
    case NameOrOrdinal::kOrdinal: return stream << "#" << name.ordinal;
    default: return stream << '"' << name.text << '"';
    }
}

// Reads little-endian fields from resource bytes. Reading past the end
// yields zeros and marks the reader as overrun, so that a short resource
// fails the test instead of reading foreign memory.
class Reader {
public:
    Reader(const std::vector<BYTE>& bytes, size_t start = 0, size_t end = SIZE_MAX)
        : data(bytes), offset(start), limit(end < bytes.size() ? end : bytes.size())
    {
    }

    WORD Word()
    {
        if (offset + 2 > limit) return Overrun<WORD>();
        WORD value = static_cast<WORD>(data[offset] | data[offset + 1] << 8);
        offset += 2;
        return value;
    }
    DWORD Dword()
    {
        DWORD low = Word();
        DWORD high = Word();
        return low | high << 16;
    }
    short Short() { return static_cast<short>(Word()); }

    std::wstring String()
    {
        std::wstring text;
        for (WORD character = Word(); character != 0 && !overrun; character = Word()) {
            text += static_cast<wchar_t>(character);
        }
        return text;
    }
    NameOrOrdinal Name()
    {
        WORD first = Word();
        if (first == 0) return NameOrOrdinal::None();
        if (first == 0xFFFF) return NameOrOrdinal::Ordinal(Word());
        offset -= 2;
        return NameOrOrdinal::Text(Narrow(String()));
    }
    std::vector<BYTE> Bytes(size_t count)
    {
        if (offset + count > limit) return Overrun<std::vector<BYTE>>();
        std::vector<BYTE> bytes(data.begin() + static_cast<std::ptrdiff_t>(offset),
                                data.begin() + static_cast<std::ptrdiff_t>(offset + count));
        offset += count;
        return bytes;
    }
    // Dialog items and version-resource nodes start on 32-bit boundaries.
    void AlignToDword() { offset = (offset + 3) & ~static_cast<size_t>(3); }

    size_t Offset() const { return offset; }
    size_t Limit() const { return limit; }
    bool Overrun() const { return overrun; }

private:
    template <typename Value>
    Value Overrun()
    {
        overrun = true;
        offset = limit;
        return Value();
    }

    const std::vector<BYTE>& data;
    size_t offset;
    size_t limit;
    bool overrun = false;
};

// ---------------------------------------------------------------------------
// The dialog template.

struct DialogItem {
    DWORD style;
    DWORD extendedStyle;
    short x, y, width, height;
    WORD identifier;
    NameOrOrdinal windowClass;
    NameOrOrdinal text;
    WORD creationDataSize;
};

struct DialogTemplate {
    DWORD style;
    DWORD extendedStyle;
    WORD itemCount;
    short x, y, width, height;
    NameOrOrdinal menu;
    NameOrOrdinal windowClass;
    std::string title;
    WORD pointSize;
    std::string fontName;
    std::vector<DialogItem> items;
    bool overrun;
    size_t bytesLeft;  // after the last item
};

// The layout of a DIALOG template (not DIALOGEX): the header, then each
// item on a 32-bit boundary with its identifier in 16 bits.
DialogTemplate ParseDialog(const std::vector<BYTE>& bytes)
{
    Reader reader(bytes);
    DialogTemplate dialog{};
    dialog.style = reader.Dword();
    dialog.extendedStyle = reader.Dword();
    dialog.itemCount = reader.Word();
    dialog.x = reader.Short();
    dialog.y = reader.Short();
    dialog.width = reader.Short();
    dialog.height = reader.Short();
    dialog.menu = reader.Name();
    dialog.windowClass = reader.Name();
    dialog.title = Narrow(reader.String());
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = reader.Word();
        dialog.fontName = Narrow(reader.String());
    }
    for (WORD index = 0; index < dialog.itemCount && !reader.Overrun(); ++index) {
        reader.AlignToDword();
        DialogItem item{};
        item.style = reader.Dword();
        item.extendedStyle = reader.Dword();
        item.x = reader.Short();
        item.y = reader.Short();
        item.width = reader.Short();
        item.height = reader.Short();
        item.identifier = reader.Word();
        item.windowClass = reader.Name();
        item.text = reader.Name();
        // For an item's text a single zero is the empty string.
        if (item.text.kind == NameOrOrdinal::kNone) item.text = NameOrOrdinal::Text("");
        item.creationDataSize = reader.Word();
        reader.Bytes(item.creationDataSize);
        dialog.items.push_back(item);
    }
    dialog.overrun = reader.Overrun();
    dialog.bytesLeft = reader.Limit() - reader.Offset();
    return dialog;
}

// The predefined control classes as the template stores them.
const NameOrOrdinal kButton = NameOrOrdinal::Ordinal(0x0080);
const NameOrOrdinal kEdit = NameOrOrdinal::Ordinal(0x0081);
const NameOrOrdinal kStatic = NameOrOrdinal::Ordinal(0x0082);
const NameOrOrdinal kComboBox = NameOrOrdinal::Ordinal(0x0085);
// windres stores every class name it is given as a string in capitals, as it
// does resource names; window class names are looked up without regard to
// case, so the two spellings name the same class. The comparison below
// accepts either spelling of a named class, and nothing else.
const NameOrOrdinal kUpDown = NameOrOrdinal::Text("msctls_updown32");

bool SameClass(const NameOrOrdinal& have, const NameOrOrdinal& want)
{
    if (have.kind != NameOrOrdinal::kText || want.kind != NameOrOrdinal::kText) {
        return have == want;
    }
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, have.text.c_str(), -1,
                          want.text.c_str(), -1) == CSTR_EQUAL;
}

struct ExpectedItem {
    int identifier;
    NameOrOrdinal windowClass;
    DWORD styles;  // besides WS_CHILD | WS_VISIBLE, which every control has
    NameOrOrdinal text;
    short x, y, width, height;
};

// Row y of each signal pin, in dialog units (index 0 unused).
const short kPinRowY[18] = {0,   62,  76,  91,  105, 119, 133, 147, 161,
                            174, 189, 203, 218, 233, 246, 261, 275, 290};

// The controls in template order, built group by group as the layout table
// lists them.
std::vector<ExpectedItem> ExpectedItems()
{
    const DWORD label = SS_LEFT | WS_GROUP;
    const DWORD pinNumber = SS_LEFT | SS_CENTERIMAGE | WS_GROUP;
    const DWORD field = SS_CENTER | SS_CENTERIMAGE | SS_SUNKEN | WS_GROUP;
    const DWORD toggle = BS_AUTOCHECKBOX | BS_PUSHLIKE | WS_TABSTOP;
    const DWORD readOnly = ES_READONLY | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
    const auto text = NameOrOrdinal::Text;
    const NameOrOrdinal noText = text("");

    std::vector<ExpectedItem> items;
    items.push_back({-1, kStatic, SS_BITMAP, NameOrOrdinal::Ordinal(5001), 4, 4, 180, 36});
    items.push_back({-1, kStatic, label, text("Pin No."), 110, 50, 28, 10});
    items.push_back({-1, kStatic, label, text("Direction"), 145, 50, 36, 10});
    for (int pin = 1; pin <= 17; ++pin) {
        items.push_back(
            {-1, kStatic, pinNumber, text(std::to_string(pin)), 110, kPinRowY[pin], 28, 12});
    }
    for (int pin : {1, 10, 11, 12, 13, 15, 16, 17, 14}) {
        const bool output = pin == 1 || pin == 14 || pin == 16 || pin == 17;
        items.push_back(
            {-1, kStatic, field, text(output ? "OUT" : "IN"), 145, kPinRowY[pin], 28, 12});
    }
    for (int pin = 2; pin <= 9; ++pin) {
        items.push_back({5001 + pin - 2, kButton, toggle, text("OUT"), 145, kPinRowY[pin], 28, 12});
    }
    items.push_back({-1, kStatic, label, text("Status"), 187, 50, 28, 10});
    items.push_back({-1, kStatic, pinNumber, text("18-25         GROUND"), 110, 308, 108, 12});
    items.push_back({5009, kButton, toggle, text("HI"), 187, 62, 28, 12});
    for (int pin = 2; pin <= 9; ++pin) {
        items.push_back({5010 + pin - 2, kButton, toggle, text("HI"), 188, kPinRowY[pin], 28, 12});
    }
    items.push_back({5018, kButton, toggle, text("HI"), 187, 246, 28, 12});
    items.push_back({5019, kButton, toggle, text("HI"), 187, 275, 28, 12});
    items.push_back({5020, kButton, toggle, text("HI"), 187, 290, 28, 12});
    for (int pin = 10; pin <= 13; ++pin) {
        items.push_back({5021 + pin - 10, kStatic, field, text("HI"), 187, kPinRowY[pin], 28, 12});
    }
    items.push_back({5025, kStatic, field, text("HI"), 187, 261, 28, 12});
    items.push_back({5039, kStatic, label, text("Printer Port(s)"), 6, 50, 72, 10});
    items.push_back(
        {5026, kComboBox, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, noText, 6, 60, 74, 70});
    for (int pin = 2; pin <= 9; ++pin) {
        items.push_back({5027 + pin - 2, kStatic, field, text("HI"), 188, kPinRowY[pin], 28, 12});
    }
    items.push_back({5035, kButton, BS_PUSHBUTTON | WS_TABSTOP, text("Read INPUT status"), 4, 87,
                     96, 14});
    items.push_back({5036, kButton, BS_PUSHBUTTON | WS_TABSTOP, text("Poll INPUT status"), 4, 112,
                     96, 14});
    items.push_back({5037, kEdit, readOnly, noText, 60, 128, 32, 14});
    items.push_back({5038, kUpDown,
                     UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS,
                     text("Spin1"), 90, 128, 9, 14});
    items.push_back({-1, kStatic, label, text("Interval (sec)"), 6, 130, 48, 10});
    items.push_back({5040, kEdit, readOnly, noText, 7, 61, 58, 12});
    return items;
}

class DialogTemplateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(module.Handle(), nullptr) << "LoadLibraryEx error " << module.LoadError();
        bytes = module.Find(MAKEINTRESOURCEA(5), IDD_RUDADADO_DIALOG);  // RT_DIALOG
        ASSERT_FALSE(bytes.empty()) << "no dialog 5000 in English (United States)";
        dialog = ParseDialog(bytes);
        ASSERT_FALSE(dialog.overrun) << "the template ends inside a field";
    }

    ResourceModule module;
    std::vector<BYTE> bytes;
    DialogTemplate dialog;
};

TEST_F(DialogTemplateTest, IsAPlainTemplateWithoutExtendedStyles)
{
    // A DIALOGEX template starts with version 1 and signature 0xFFFF, which
    // this parser would read as a style of 0xFFFF0001.
    EXPECT_NE(dialog.style, 0xFFFF0001UL);
    EXPECT_EQ(dialog.extendedStyle, 0UL);
}

TEST_F(DialogTemplateTest, WindowIsAHiddenModalFramePopupWithCloseBox)
{
    const DWORD expected = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    EXPECT_EQ(dialog.style, expected) << std::hex << "style 0x" << dialog.style << ", expected 0x"
                                      << expected;
    EXPECT_EQ(dialog.style & WS_VISIBLE, 0UL);
}

TEST_F(DialogTemplateTest, HeaderHoldsPlaceSizeTitleAndFont)
{
    EXPECT_EQ(dialog.x, 0);
    EXPECT_EQ(dialog.y, 0);
    EXPECT_EQ(dialog.width, 224);
    EXPECT_EQ(dialog.height, 325);
    EXPECT_EQ(dialog.menu, NameOrOrdinal::None());
    EXPECT_EQ(dialog.windowClass, NameOrOrdinal::None());
    EXPECT_EQ(dialog.title, "Printer Port Parallel I/O Configuration");
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.fontName, "MS Sans Serif");
}

TEST_F(DialogTemplateTest, ItemCountMatchesTheItemsAndTheResourceEndsWithTheLast)
{
    EXPECT_EQ(dialog.itemCount, ExpectedItems().size());
    EXPECT_EQ(dialog.items.size(), dialog.itemCount);
    // Only the padding to a 32-bit boundary may follow the last item.
    EXPECT_LE(dialog.bytesLeft, 3U);
}

TEST_F(DialogTemplateTest, EveryControlInTemplateOrder)
{
    const std::vector<ExpectedItem> expected = ExpectedItems();
    ASSERT_EQ(dialog.items.size(), expected.size());
    for (size_t index = 0; index < expected.size(); ++index) {
        const ExpectedItem& want = expected[index];
        const DialogItem& have = dialog.items[index];
        SCOPED_TRACE("control " + std::to_string(index) + " (identifier " +
                     std::to_string(want.identifier) + ")");
        EXPECT_EQ(have.identifier, static_cast<WORD>(want.identifier));
        EXPECT_TRUE(SameClass(have.windowClass, want.windowClass))
            << "class " << have.windowClass << ", expected " << want.windowClass;
        const DWORD wantStyle = WS_CHILD | WS_VISIBLE | want.styles;
        EXPECT_EQ(have.style, wantStyle)
            << std::hex << "style 0x" << have.style << ", expected 0x" << wantStyle;
        EXPECT_EQ(have.extendedStyle, 0UL);
        EXPECT_EQ(have.text, want.text);
        EXPECT_EQ(have.x, want.x);
        EXPECT_EQ(have.y, want.y);
        EXPECT_EQ(have.width, want.width);
        EXPECT_EQ(have.height, want.height);
        EXPECT_EQ(have.creationDataSize, 0);
    }
}

TEST_F(DialogTemplateTest, TabStopsRunThroughTheControlsTheUserWorks)
{
    // Template order is the tab order: direction boxes, level boxes, port
    // list, the two buttons, the interval field, the address field.
    std::vector<int> tabStops;
    for (const DialogItem& item : dialog.items) {
        if (item.style & WS_TABSTOP) tabStops.push_back(item.identifier);
    }
    std::vector<int> expected;
    for (int identifier = 5001; identifier <= 5020; ++identifier) expected.push_back(identifier);
    for (int identifier : {5026, 5035, 5036, 5037, 5040}) expected.push_back(identifier);
    EXPECT_EQ(tabStops, expected);
}

TEST_F(DialogTemplateTest, TheUpDownControlFollowsItsAutomaticBuddy)
{
    // UDS_AUTOBUDDY takes the previous control in the template as buddy.
    for (size_t index = 0; index < dialog.items.size(); ++index) {
        if (dialog.items[index].identifier != IDC_INTERVAL_SPIN) continue;
        ASSERT_GT(index, 0U);
        EXPECT_EQ(dialog.items[index - 1].identifier, IDC_INTERVAL);
        return;
    }
    ADD_FAILURE() << "no control " << IDC_INTERVAL_SPIN;
}

TEST_F(DialogTemplateTest, NoOkOrCancelButton)
{
    for (const DialogItem& item : dialog.items) {
        EXPECT_NE(item.identifier, IDOK);
        EXPECT_NE(item.identifier, IDCANCEL);
        if (item.windowClass == kButton) {
            EXPECT_NE(item.style & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON))
                << "control " << item.identifier;
        }
    }
}

// ---------------------------------------------------------------------------
// The connector picture.

struct Colour {
    BYTE red, green, blue;
    bool operator==(const Colour& other) const
    {
        return red == other.red && green == other.green && blue == other.blue;
    }
    bool operator!=(const Colour& other) const { return !(*this == other); }
};

std::ostream& operator<<(std::ostream& stream, const Colour& colour)
{
    return stream << "(" << int(colour.red) << ", " << int(colour.green) << ", "
                  << int(colour.blue) << ")";
}

const Colour kMagenta{255, 0, 255};
const Colour kBlue{0, 0, 255};
const Colour kGreen{0, 128, 0};
const Colour kBlack{0, 0, 0};
const Colour kShellGrey{128, 128, 128};

// A bitmap resource is a BITMAPINFOHEADER, its colour table, then the pixel
// rows, bottom row first, each padded to 32 bits.
class Picture {
public:
    explicit Picture(const std::vector<BYTE>& resource) : bytes(resource)
    {
        if (bytes.size() >= sizeof(BITMAPINFOHEADER)) {
            std::memcpy(&header, bytes.data(), sizeof header);
        }
    }
    const BITMAPINFOHEADER& Header() const { return header; }
    size_t PaletteSize() const { return header.biClrUsed ? header.biClrUsed : 16; }
    size_t RowBytes() const
    {
        return (static_cast<size_t>(header.biWidth) * header.biBitCount + 31) / 32 * 4;
    }
    size_t ExpectedSize() const
    {
        return header.biSize + PaletteSize() * 4 +
               RowBytes() * static_cast<size_t>(header.biHeight);
    }
    // The colour at (x, y) from the top left corner, for a 4-bit picture.
    Colour At(int x, int y) const
    {
        const size_t row = static_cast<size_t>(header.biHeight - 1 - y);
        const size_t pixels = header.biSize + PaletteSize() * 4;
        const BYTE pair = bytes.at(pixels + row * RowBytes() + static_cast<size_t>(x) / 2);
        const size_t index = x % 2 == 0 ? pair >> 4 : pair & 0x0F;
        const BYTE* entry = &bytes.at(header.biSize + index * 4);  // blue, green, red, 0
        return {entry[2], entry[1], entry[0]};
    }

private:
    const std::vector<BYTE>& bytes;
    BITMAPINFOHEADER header{};
};

class ConnectorPictureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(module.Handle(), nullptr) << "LoadLibraryEx error " << module.LoadError();
        bytes = module.Find(MAKEINTRESOURCEA(2), IDB_CONNECTOR);  // RT_BITMAP
        ASSERT_FALSE(bytes.empty()) << "no bitmap 5001 in English (United States)";
    }
    ResourceModule module;
    std::vector<BYTE> bytes;
};

TEST_F(ConnectorPictureTest, Is270By59With16Colours)
{
    Picture picture(bytes);
    const BITMAPINFOHEADER& header = picture.Header();
    EXPECT_EQ(header.biSize, sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(header.biWidth, 270);
    EXPECT_EQ(header.biHeight, 59);  // positive: rows stored bottom up
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, 4);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(picture.PaletteSize(), 16U);
    EXPECT_EQ(bytes.size(), picture.ExpectedSize());
}

// Disc centres: the top row holds pins 13 down to 1 from left to right, the
// bottom row pins 25 down to 14, 19 pixels apart.
struct PinDisc {
    int pin;
    Colour role;
};

int DiscX(int pin)
{
    return pin <= 13 ? 135 + 19 * (7 - pin) : 31 + 19 * (25 - pin);
}
int DiscY(int pin)
{
    return pin <= 13 ? 19 : 40;
}

TEST_F(ConnectorPictureTest, EveryPinDiscHasItsRoleColour)
{
    Picture picture(bytes);
    ASSERT_EQ(bytes.size(), picture.ExpectedSize());
    const PinDisc discs[] = {
        {1, kBlue},    {2, kMagenta},  {3, kMagenta},  {4, kMagenta},  {5, kMagenta},
        {6, kMagenta}, {7, kMagenta},  {8, kMagenta},  {9, kMagenta},  {10, kGreen},
        {11, kGreen},  {12, kGreen},   {13, kGreen},   {14, kBlue},    {15, kGreen},
        {16, kBlue},   {17, kBlue},    {18, kBlack},   {19, kBlack},   {20, kBlack},
        {21, kBlack},  {22, kBlack},   {23, kBlack},   {24, kBlack},   {25, kBlack},
    };
    for (const PinDisc& disc : discs) {
        SCOPED_TRACE("pin " + std::to_string(disc.pin));
        const int x = DiscX(disc.pin);
        const int y = DiscY(disc.pin);
        // Above and left of the disc's number, inside its rim.
        EXPECT_EQ(picture.At(x, y - 5), disc.role) << "at " << x << ", " << y - 5;
        EXPECT_EQ(picture.At(x - 6, y), disc.role) << "at " << x - 6 << ", " << y;
    }
}

TEST_F(ConnectorPictureTest, DiscsSitOnAGreyShell)
{
    Picture picture(bytes);
    ASSERT_EQ(bytes.size(), picture.ExpectedSize());
    // Between the two rows, and at the shell's ends beside the outermost
    // pins of the bottom row.
    EXPECT_EQ(picture.At(135, 29), kShellGrey);
    EXPECT_EQ(picture.At(DiscX(25) - 12, 40), kShellGrey);
    EXPECT_EQ(picture.At(DiscX(14) + 12, 40), kShellGrey);
    // The corners lie outside the shell.
    EXPECT_NE(picture.At(0, 0), kShellGrey);
    EXPECT_NE(picture.At(269, 58), kShellGrey);
}

// ---------------------------------------------------------------------------
// The version resource: a tree of nodes, each its total length, its value's
// length (in characters for text, in bytes for binary), its type (1 text,
// 0 binary), its key, then its value and its children, on 32-bit boundaries.

struct VersionNode {
    std::string key;
    WORD type;
    WORD valueLength;
    std::vector<BYTE> value;
    std::vector<VersionNode> children;

    const VersionNode* Child(const std::string& name) const
    {
        for (const VersionNode& child : children) {
            if (child.key == name) return &child;
        }
        return nullptr;
    }
    // The text of a text value, without its terminating zero.
    std::string Text() const
    {
        std::wstring text;
        for (size_t index = 0; index + 1 < value.size(); index += 2) {
            wchar_t character = static_cast<wchar_t>(value[index] | value[index + 1] << 8);
            if (character == 0) break;
            text += character;
        }
        return Narrow(text);
    }
};

bool ParseVersionNode(const std::vector<BYTE>& bytes, size_t start, VersionNode& node,
                      size_t& end)
{
    Reader reader(bytes, start);
    const WORD length = reader.Word();
    node.valueLength = reader.Word();
    node.type = reader.Word();
    node.key = Narrow(reader.String());
    reader.AlignToDword();
    end = start + length;
    if (length < 6 || end > bytes.size() || reader.Overrun()) return false;
    const size_t valueBytes = node.type == 1 ? node.valueLength * 2U : node.valueLength;
    node.value = reader.Bytes(valueBytes);
    reader.AlignToDword();
    size_t child = reader.Offset();
    while (child < end && !reader.Overrun()) {
        VersionNode next;
        size_t nextEnd = 0;
        if (!ParseVersionNode(bytes, child, next, nextEnd) || nextEnd > end) return false;
        node.children.push_back(next);
        child = (nextEnd + 3) & ~static_cast<size_t>(3);
    }
    return !reader.Overrun();
}

class VersionResourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(module.Handle(), nullptr) << "LoadLibraryEx error " << module.LoadError();
        bytes = module.Find(MAKEINTRESOURCEA(16), 1);  // RT_VERSION
        ASSERT_FALSE(bytes.empty()) << "no version resource 1 in English (United States)";
        size_t end = 0;
        ASSERT_TRUE(ParseVersionNode(bytes, 0, root, end)) << "malformed version resource";
        EXPECT_EQ(end, bytes.size());
    }
    ResourceModule module;
    std::vector<BYTE> bytes;
    VersionNode root;
};

TEST_F(VersionResourceTest, FixedPartNamesVersion1004OfADll)
{
    EXPECT_EQ(root.key, "VS_VERSION_INFO");
    ASSERT_EQ(root.value.size(), sizeof(VS_FIXEDFILEINFO));
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, root.value.data(), sizeof fixed);
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDUL);
    EXPECT_EQ(fixed.dwFileVersionMS, 0x00010000UL);
    EXPECT_EQ(fixed.dwFileVersionLS, 0x00000004UL);
    EXPECT_EQ(fixed.dwProductVersionMS, 0x00010000UL);
    EXPECT_EQ(fixed.dwProductVersionLS, 0x00000004UL);
    EXPECT_EQ(fixed.dwFileFlagsMask, static_cast<DWORD>(VS_FFI_FILEFLAGSMASK));
    EXPECT_EQ(fixed.dwFileFlags, 0UL);
    EXPECT_EQ(fixed.dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(fixed.dwFileSubtype, 0UL);
}

TEST_F(VersionResourceTest, StringTableHoldsEveryStringEmptyOnesIncluded)
{
    const VersionNode* strings = root.Child("StringFileInfo");
    ASSERT_NE(strings, nullptr);
    ASSERT_EQ(strings->children.size(), 1U);
    const VersionNode& table = strings->children[0];
    EXPECT_EQ(table.key, "040904b0");

    struct Entry {
        const char* key;
        const char* value;
    };
    const Entry expected[] = {
        {"Comments", ""},
        {"CompanyName", ""},
        {"FileDescription", "Doruzeda_DO DLL"},
        {"FileVersion", "1, 0, 0, 4"},
        {"InternalName", "Doruzeda_DO"},
        {"LegalTrademarks", ""},
        {"OriginalFilename", "Doruzeda_DO.DLL"},
        {"PrivateBuild", ""},
        {"ProductName", "Doruzeda_DO Dynamic Link Library"},
        {"ProductVersion", "1, 0, 0, 4"},
        {"SpecialBuild", ""},
    };
    ASSERT_EQ(table.children.size(), std::size(expected));
    for (size_t index = 0; index < std::size(expected); ++index) {
        const VersionNode& entry = table.children[index];
        SCOPED_TRACE(expected[index].key);
        EXPECT_EQ(entry.key, expected[index].key);
        EXPECT_EQ(entry.type, 1) << "not a text value";
        EXPECT_EQ(entry.Text(), expected[index].value);
        // The length counts the terminating zero: an empty string is one
        // character long, and it is stored.
        EXPECT_EQ(entry.valueLength, std::strlen(expected[index].value) + 1);
    }
}

TEST_F(VersionResourceTest, TranslationIsUnitedStatesEnglishInUnicode)
{
    const VersionNode* variables = root.Child("VarFileInfo");
    ASSERT_NE(variables, nullptr);
    const VersionNode* translation = variables->Child("Translation");
    ASSERT_NE(translation, nullptr);
    EXPECT_EQ(translation->type, 0) << "not a binary value";
    const std::vector<BYTE> expected = {0x09, 0x04, 0xB0, 0x04};  // 0x0409, 1200
    EXPECT_EQ(translation->value, expected);
}

TEST_F(VersionResourceTest, TheSystemReadsTheSameStrings)
{
    // The library beside the test program (a module mapped as a data file
    // has no file name to ask for).
    const char* path = "Doruzeda_DO.dll";
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    ASSERT_GT(size, 0UL);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, block.data()));

    const struct {
        const char* key;
        const char* value;
    } lookups[] = {
        {"FileDescription", "Doruzeda_DO DLL"},
        {"ProductName", "Doruzeda_DO Dynamic Link Library"},
        {"OriginalFilename", "Doruzeda_DO.DLL"},
        {"Comments", ""},
        {"SpecialBuild", ""},
    };
    for (const auto& lookup : lookups) {
        SCOPED_TRACE(lookup.key);
        const std::string query = std::string("\\StringFileInfo\\040904b0\\") + lookup.key;
        void* value = nullptr;
        UINT length = 0xDEAD;
        ASSERT_TRUE(VerQueryValueA(block.data(), query.c_str(), &value, &length));
        ASSERT_NE(value, nullptr);
        EXPECT_STREQ(static_cast<const char*>(value), lookup.value);
    }
    void* missing = nullptr;
    UINT length = 0;
    EXPECT_FALSE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\NoSuchKey", &missing,
                                &length));
}

}  // namespace
