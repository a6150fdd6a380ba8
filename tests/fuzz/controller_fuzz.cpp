// Fuzz target: sequences of controller operations, as the exported functions
// and the dialog issue them, checked step by step against a small model of
// the controller written here independently of PinMap and PortController.
//
// Input layout (front to back; see InputReader):
//   byte  rows to fill (0..10), then per row: name (below), word base address
//   byte  portCount (0..10)          byte  selectedIndex (-1..9)
//   byte  bit 0: a view that records its calls
//   word  port background seed       byte  high byte of every port read
//   byte  local time (one of three)  byte  bit 0: the file append fails
//   4 words: outData, outControl, inData, inStatus
//   then operations until the input ends: byte operation (below) and its arguments;
//   a wait reads once (a timeout of 0) or is refused (one out of range), so
//   that no step sleeps.
// Names: byte kind, then 0 "LPTn" (byte n), 1 "LPTn" in mixed case (byte n,
// byte case bits), 2 raw (byte length 0..10, bytes), 3 "LPT" and a byte in
// decimal, 4 empty.
// Integers (pins, levels, port numbers): InputReader::BiasedInteger.
// Address strings: byte kind, then 0 null, 1 "", 2 a terminated string (byte
// length 0..8, bytes), 3 an unterminated buffer (byte length 1..4, bytes), 4 a
// pointer to no readable byte at all (only after an earlier string ended the text).
//
// With FUZZ_TRACE set in the environment every step is printed, which shows
// what a seed or a crashing input does.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_seams.h"
#include "input_reader.h"
#include "log/debug_log.h"
#include "port/port_controller.h"
#include "tests/native/controller_probe.h"

using fuzz_seams::Event;
using fuzz_seams::EventKind;
using fuzz_seams::Fail;

namespace {

enum Operation : int {
    kSelectPortByNumber,
    kSetManualAddress,
    kSetPinOutput,
    kGetPinInput,
    kPrepareOutputBuffer,
    kPrepareOutputPin,
    kSetOutputAll,
    kGetInputAll,
    kFetchInputPin,
    kSetDataDirection,
    kSetDataByte,
    kGetDataByte,
    kWaitInputPinNow,  // a wait that reads once: a timeout of 0, or one out of range
    kShowDialog,       // the export that shows the dialog: the controller is not involved
    kDialogSelection,  // the user chooses a row of the dialog's port list
    kHardwareChange,   // the port's lines change under the controller
    kOtherLogMessage,  // the dialog logs a message of its own
    kOperationCount
};

const char* const kOperationNames[kOperationCount] = {
    "SelectPortByNumber",  "SetManualAddress", "SetPinOutput",    "GetPinInput",
    "PrepareOutputBuffer", "PrepareOutputPin", "SetOutputAll",    "GetInputAll",
    "FetchInputPin",       "SetDataDirection", "SetDataByte",     "GetDataByte",
    "WaitInputPin",        "ShowDialog",       "DialogSelection", "HardwareChange",
    "OtherLogMessage",
};

// The connector as the harness knows it: register offset, bit, inversion and
// direction of each signal pin.
struct PinFacts {
    bool signal;
    std::uint16_t offset;
    std::uint16_t mask;
    bool inverted;
    bool settable;
    bool readable;
};

PinFacts FactsOf(std::int32_t pin)
{
    if (pin >= 2 && pin <= 9) {
        return {true, 0, static_cast<std::uint16_t>(1u << (pin - 2)), false, true, true};
    }
    switch (pin) {
    case 1: return {true, 2, 0x01, true, true, false};
    case 14: return {true, 2, 0x02, true, true, false};
    case 16: return {true, 2, 0x04, false, true, false};
    case 17: return {true, 2, 0x08, true, true, false};
    case 10: return {true, 1, 0x40, false, false, true};
    case 11: return {true, 1, 0x80, true, false, true};
    case 12: return {true, 1, 0x20, false, false, true};
    case 13: return {true, 1, 0x10, false, false, true};
    case 15: return {true, 1, 0x08, false, false, true};
    default: return {false, 0, 0, false, false, false};
    }
}

std::uint16_t WithLevel(std::uint16_t value, const PinFacts& facts, std::int32_t level)
{
    const bool bitOn = (level != 0) != facts.inverted;
    return static_cast<std::uint16_t>(bitOn ? value | facts.mask : value & ~facts.mask);
}

int LevelOf(std::uint16_t value, const PinFacts& facts)
{
    const bool bitOn = (value & facts.mask) != 0;
    return bitOn != facts.inverted ? 1 : 0;
}

// What the controller's state should be.
struct Model {
    std::int32_t portCount = 0;
    std::int32_t selectedIndex = -1;
    std::uint16_t bases[PortController::kMaxPorts] = {};
    std::string names[PortController::kMaxPorts];
    std::uint16_t outData = 0;
    std::uint16_t outControl = 0;
    std::uint16_t inData = 0;
    std::uint16_t inStatus = 0;

    bool Selected() const { return selectedIndex >= 0; }
    // A port that may be accessed: its three registers inside 0x100 to
    // 0xFFFF, above the system board's addresses (written out here, not taken
    // from the code).
    bool Usable() const { return Selected() && Base() >= 0x100 && Base() <= 0xFFFD; }
    std::uint16_t Base() const { return bases[selectedIndex]; }
};

// A string argument of SetManualAddress in exactly the storage the input asks
// for, so that AddressSanitizer sees any read past what the caller provided.
struct AddressArgument {
    std::unique_ptr<char[]> storage;
    const char* pointer = nullptr;
    char first = '\0';  // what the text takes from it, if it is read at all
};

AddressArgument ReadAddressArgument(InputReader& input, bool textEnded)
{
    AddressArgument argument;
    int kind = input.Choice(0, 4);
    if (kind == 4 && !textEnded) {
        kind = 3;
    }
    switch (kind) {
    case 0: return argument;
    case 1: argument.storage.reset(new char[1]{'\0'}); break;
    case 2: {
        const std::string text = input.Bytes(static_cast<std::size_t>(input.Choice(0, 8)));
        argument.storage.reset(new char[text.size() + 1]);
        std::memcpy(argument.storage.get(), text.c_str(), text.size() + 1);
        argument.first = text.empty() ? '\0' : text[0];
        break;
    }
    case 3: {
        const std::string bytes = input.Bytes(static_cast<std::size_t>(input.Choice(1, 4)));
        argument.storage.reset(new char[bytes.size()]);
        std::memcpy(argument.storage.get(), bytes.data(), bytes.size());
        argument.first = bytes[0];
        break;
    }
    default:
        // Just past a one-byte allocation, so that reading it at all is an
        // overflow: AddressSanitizer lets the byte of a zero-size allocation
        // be read without complaint.
        argument.storage.reset(new char[1]{'\0'});
        argument.pointer = argument.storage.get() + 1;
        return argument;
    }
    argument.pointer = argument.storage.get();
    return argument;
}

std::string ReadName(InputReader& input)
{
    switch (input.Choice(0, 4)) {
    case 0: return "LPT" + std::to_string(input.Choice(1, 10));
    case 1: {
        std::string name = "LPT" + std::to_string(input.Choice(1, 10));
        const std::uint8_t caseBits = input.Byte();
        for (std::size_t letter = 0; letter < 3; ++letter) {
            if ((caseBits >> letter) & 1) {
                name[letter] = static_cast<char>(name[letter] - 'A' + 'a');
            }
        }
        return name;
    }
    case 2: return input.Bytes(static_cast<std::size_t>(input.Choice(0, 10)));
    case 3: return "LPT" + std::to_string(input.Byte());
    default: return "";
    }
}

std::string Lowered(const std::string& text)
{
    std::string lowered = text;
    for (char& character : lowered) {
        if (character >= 'A' && character <= 'Z') {
            character = static_cast<char>(character - 'A' + 'a');
        }
    }
    return lowered;
}

// The name as the table holds it: up to its first zero byte.
std::string TableName(const PortEntry& entry)
{
    return std::string(entry.name, strnlen(entry.name, sizeof entry.name));
}

Event Read(std::uint16_t address, std::uint16_t value)
{
    return {EventKind::PortRead, address, value, 0, {}, {}};
}

Event Write(std::uint16_t address, std::uint16_t value)
{
    return {EventKind::PortWrite, address, value, 0, {}, {}};
}

// The value the port gave to the read at `position`, provided the controller
// read the expected register there; otherwise any value, since the event
// comparison fails on the address anyway.
std::uint16_t ValueReadAt(const std::vector<Event>& actual, std::size_t position,
                          std::uint16_t address)
{
    if (position < actual.size() && actual[position].kind == EventKind::PortRead &&
        actual[position].address == address) {
        return actual[position].value;
    }
    return 0;
}

// The debugger output and the file line one log message produces.
void ExpectLog(std::vector<Event>& expected, const std::string& message)
{
    if (message.size() >= kDebugLogBufferSize) {
        return;
    }
    expected.push_back({EventKind::DebuggerOutput, 0, 0, 0, message, {}});
    expected.push_back(
        {EventKind::FileLine, 0, 0, 0, fuzz_seams::ExpectedFileLine(message), "RurSetupDebug.txt"});
}

std::string HexLower(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

// The address text's value as "%x" reads it: the subject sequence of strtoul
// with base 16 (leading blanks, optional sign and 0x prefix), low 16 bits.
bool ParseHexAddress(const std::string& text, std::uint16_t& address)
{
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 16);
    if (end == text.c_str()) {
        return false;
    }
    address = static_cast<std::uint16_t>(value & 0xFFFF);
    return true;
}

bool InSet(int value, std::initializer_list<int> allowed)
{
    for (const int candidate : allowed) {
        if (candidate == value) {
            return true;
        }
    }
    return false;
}

struct StepOutcome {
    int result = 0;
    int expectedResult = 0;
    std::vector<Event> expected;
    bool refused = false;
    std::string arguments;
};

bool Tracing()
{
    static const bool tracing = std::getenv("FUZZ_TRACE") != nullptr;
    return tracing;
}

class Harness {
public:
    explicit Harness(InputReader& reader) : input(reader) {}

    void SetUp()
    {
        const int filledRows = input.Choice(0, 10);
        for (int row = 0; row < filledRows; ++row) {
            const std::string name = ReadName(input);
            PortEntry& entry = State(controller).portTable[row];
            std::memcpy(entry.name, name.data(), name.size());
            entry.name[name.size()] = '\0';
            std::snprintf(entry.label, sizeof entry.label, "row %d", row);
            entry.baseAddress = input.Word();
        }
        State(controller).portCount = input.Choice(0, 10);
        State(controller).selectedIndex = input.Choice(-1, 9);
        hasView = input.Flag();
        if (hasView) {
            controller.SetView(&view);
        }
        fuzz_seams::Port().backgroundSeed = input.Word();
        fuzz_seams::Port().readHighByte = input.Byte();
        static constexpr log_sink::LocalTime kTimes[] = {
            {2024, 12, 3, 9, 5, 7, 42},
            {1601, 1, 1, 0, 0, 0, 0},
            {30827, 12, 31, 23, 59, 59, 999},
        };
        fuzz_seams::Log().now = kTimes[input.Choice(0, 2)];
        fuzz_seams::Log().appendSucceeds = !input.Flag();
        State(controller).outData = input.Word();
        State(controller).outControl = input.Word();
        State(controller).inData = input.Word();
        State(controller).inStatus = input.Word();

        model.portCount = State(controller).portCount;
        model.selectedIndex = State(controller).selectedIndex;
        for (int row = 0; row < PortController::kMaxPorts; ++row) {
            model.bases[row] = State(controller).portTable[row].baseAddress;
            model.names[row] = TableName(State(controller).portTable[row]);
        }
        model.outData = State(controller).outData;
        model.outControl = State(controller).outControl;
        model.inData = State(controller).inData;
        model.inStatus = State(controller).inStatus;
        std::memcpy(startingTable, State(controller).portTable, sizeof startingTable);
    }

    void Step(int stepNumber)
    {
        const int operation = input.Choice(0, kOperationCount - 1);
        fuzz_seams::Events().clear();
        const bool selectedBefore = model.Selected();
        const std::uint16_t baseBefore = selectedBefore ? model.Base() : 0;

        StepOutcome outcome = Run(operation);

        const std::vector<Event>& actual = fuzz_seams::Events();
        const char* name = kOperationNames[operation];
        if (outcome.result != outcome.expectedResult) {
            Fail("step %d %s(%s): result %d, expected %d", stepNumber, name,
                 outcome.arguments.c_str(), outcome.result, outcome.expectedResult);
        }
        if (outcome.refused && !actual.empty()) {
            Fail("step %d %s(%s) refused with %d but did %s", stepNumber, name,
                 outcome.arguments.c_str(), outcome.result, fuzz_seams::Describe(actual).c_str());
        }
        for (std::size_t position = 0; position < actual.size(); ++position) {
            const Event& event = actual[position];
            if (event.kind == EventKind::PortRead || event.kind == EventKind::PortWrite) {
                const std::uint16_t offset = static_cast<std::uint16_t>(event.address - baseBefore);
                if (!selectedBefore || offset > 2) {
                    Fail("step %d %s(%s) accessed %s; selected %s, base %X", stepNumber, name,
                         outcome.arguments.c_str(), fuzz_seams::Describe(event).c_str(),
                         selectedBefore ? "yes" : "no", baseBefore);
                }
            }
            if (event.kind == EventKind::DebuggerOutput) {
                if (event.text.size() >= kDebugLogBufferSize) {
                    Fail("step %d %s: a log message of %zu characters reached the debugger",
                         stepNumber, name, event.text.size());
                }
                if (position + 1 >= actual.size() ||
                    actual[position + 1].kind != EventKind::FileLine) {
                    Fail("step %d %s: debugger output without its file line: %s", stepNumber, name,
                         fuzz_seams::Describe(actual).c_str());
                }
            }
        }
        if (actual != outcome.expected) {
            Fail("step %d %s(%s) did %s, expected %s", stepNumber, name, outcome.arguments.c_str(),
                 fuzz_seams::Describe(actual).c_str(),
                 fuzz_seams::Describe(outcome.expected).c_str());
        }
        CheckState(stepNumber, name);
        if (Tracing()) {
            std::fprintf(stderr, "%d %s(%s) = %d %s\n", stepNumber, name, outcome.arguments.c_str(),
                         outcome.result, fuzz_seams::Describe(actual).c_str());
        }
    }

private:
    StepOutcome Run(int operation)
    {
        StepOutcome outcome;
        const std::vector<Event>& actual = fuzz_seams::Events();
        switch (operation) {
        case kSelectPortByNumber: {
            const std::int32_t number = input.BiasedInteger();
            outcome.arguments = std::to_string(number);
            outcome.result = controller.SelectPortByNumber(number);
            if (number < 1 || number > 10) {
                outcome.expectedResult = -1;
                break;
            }
            const std::string wanted = "lpt" + std::to_string(number);
            outcome.expectedResult = -2;
            model.selectedIndex = -1;
            for (int row = 0; row < model.portCount; ++row) {
                if (Lowered(model.names[row]) == wanted) {
                    outcome.expectedResult = 0;
                    model.selectedIndex = row;
                    if (hasView) {
                        outcome.expected.push_back({EventKind::ShowPortList, 0, 0, row, {}, {}});
                    }
                    break;
                }
            }
            break;
        }
        case kSetManualAddress: {
            AddressArgument arguments[4];
            bool textEnded = false;
            std::string text;
            for (AddressArgument& argument : arguments) {
                argument = ReadAddressArgument(input, textEnded);
                if (!textEnded) {
                    if (argument.first == '\0') {
                        textEnded = true;
                    } else {
                        text += argument.first;
                    }
                }
            }
            outcome.arguments = "\"" + fuzz_seams::Escape(text) + "\"";
            outcome.result =
                controller.SetManualAddress(arguments[0].pointer, arguments[1].pointer,
                                            arguments[2].pointer, arguments[3].pointer);
            outcome.expectedResult = 0;
            ExpectLog(outcome.expected, "Port is set by setParallelPortAddress() Port=" + text);
            ParseHexAddress(text, model.bases[0]);
            model.selectedIndex = 0;
            if (hasView) {
                outcome.expected.push_back({EventKind::ShowAddressField, 0, 0, 0, text, {}});
            }
            break;
        }
        case kSetPinOutput: {
            const std::int32_t pin = input.BiasedInteger();
            const std::int32_t level = input.BiasedInteger();
            outcome.arguments = std::to_string(pin) + ", " + std::to_string(level);
            outcome.result = controller.SetPinOutput(pin, level);
            const PinFacts facts = FactsOf(pin);
            if (!model.Usable()) {
                outcome.expectedResult = -1;
            } else if (!facts.settable) {
                outcome.expectedResult = -2;
            } else {
                const std::uint16_t base = model.Base();
                const std::uint16_t reg = static_cast<std::uint16_t>(base + facts.offset);
                const std::uint16_t before = ValueReadAt(actual, 0, reg);
                outcome.expected.push_back(Read(reg, before));
                ExpectLog(outcome.expected, "SetPinOutput(" + std::to_string(pin) + ", " +
                                                std::to_string(level) + ") Port=" + HexLower(base));
                outcome.expected.push_back(Write(reg, WithLevel(before, facts, level)));
            }
            break;
        }
        case kGetPinInput: {
            const std::int32_t pin = input.BiasedInteger();
            outcome.arguments = std::to_string(pin);
            outcome.result = controller.GetPinInput(pin);
            const PinFacts facts = FactsOf(pin);
            if (!model.Usable()) {
                outcome.expectedResult = -1;
            } else if (!facts.readable) {
                outcome.expectedResult = -2;
            } else {
                const std::uint16_t base = model.Base();
                const std::uint16_t reg = static_cast<std::uint16_t>(base + facts.offset);
                const std::uint16_t value = ValueReadAt(actual, 0, reg);
                outcome.expected.push_back(Read(reg, value));
                ExpectLog(outcome.expected,
                          "GetPinInput(" + std::to_string(pin) + ") Port=" + HexLower(base));
                outcome.expectedResult = LevelOf(value, facts);
            }
            break;
        }
        case kPrepareOutputBuffer: {
            outcome.result = controller.PrepareOutputBuffer();
            if (!model.Usable()) {
                outcome.expectedResult = -1;
                break;
            }
            const std::uint16_t base = model.Base();
            const std::uint16_t control = static_cast<std::uint16_t>(base + 2);
            model.outData = ValueReadAt(actual, 0, base);
            model.outControl = ValueReadAt(actual, 1, control);
            outcome.expected = {Read(base, model.outData), Read(control, model.outControl)};
            break;
        }
        case kPrepareOutputPin: {
            const std::int32_t pin = input.BiasedInteger();
            const std::int32_t level = input.BiasedInteger();
            outcome.arguments = std::to_string(pin) + ", " + std::to_string(level);
            outcome.result = controller.PrepareOutputPin(pin, level);
            const PinFacts facts = FactsOf(pin);
            if (!facts.settable) {
                outcome.expectedResult = -2;
            } else if (facts.offset == 0) {
                model.outData = WithLevel(model.outData, facts, level);
            } else {
                model.outControl = WithLevel(model.outControl, facts, level);
            }
            break;
        }
        case kSetOutputAll: {
            outcome.result = controller.SetOutputAll();
            if (!model.Usable()) {
                outcome.expectedResult = -1;
                break;
            }
            const std::uint16_t base = model.Base();
            outcome.expected = {Write(base, model.outData),
                                Write(static_cast<std::uint16_t>(base + 2), model.outControl)};
            break;
        }
        case kGetInputAll: {
            outcome.result = controller.GetInputAll();
            if (!model.Usable()) {
                outcome.expectedResult = -1;
                break;
            }
            const std::uint16_t base = model.Base();
            const std::uint16_t status = static_cast<std::uint16_t>(base + 1);
            model.inData = ValueReadAt(actual, 0, base);
            model.inStatus = ValueReadAt(actual, 1, status);
            outcome.expected = {Read(base, model.inData), Read(status, model.inStatus)};
            break;
        }
        case kFetchInputPin: {
            const std::int32_t pin = input.BiasedInteger();
            outcome.arguments = std::to_string(pin);
            outcome.result = controller.FetchInputPin(pin);
            const PinFacts facts = FactsOf(pin);
            if (!model.Selected()) {
                outcome.expectedResult = -1;
            } else if (!facts.readable) {
                outcome.expectedResult = -2;
            } else {
                outcome.expectedResult =
                    LevelOf(facts.offset == 0 ? model.inData : model.inStatus, facts);
            }
            break;
        }
        case kSetDataDirection: {
            const std::int32_t direction = input.BiasedInteger();
            outcome.arguments = std::to_string(direction);
            outcome.result = controller.SetDataDirection(direction);
            if (!model.Usable()) {
                outcome.expectedResult = -1;
                break;
            }
            const std::uint16_t base = model.Base();
            const std::uint16_t control = static_cast<std::uint16_t>(base + 2);
            const std::uint16_t before = ValueReadAt(actual, 0, control);
            outcome.expected.push_back(Read(control, before));
            ExpectLog(outcome.expected,
                      "SetDataDirection(" + outcome.arguments + ") Port=" + HexLower(base));
            outcome.expected.push_back(
                Write(control,
                      static_cast<std::uint16_t>(direction != 0 ? before | 0x20 : before & ~0x20)));
            break;
        }
        case kSetDataByte: {
            const std::int32_t value = input.BiasedInteger();
            outcome.arguments = std::to_string(value);
            outcome.result = controller.SetDataByte(value);
            if (!model.Usable()) {
                outcome.expectedResult = -1;
            } else if (value < 0 || value > 255) {
                outcome.expectedResult = -2;
            } else {
                ExpectLog(outcome.expected,
                          "SetDataByte(" + outcome.arguments + ") Port=" + HexLower(model.Base()));
                outcome.expected.push_back(Write(model.Base(), static_cast<std::uint16_t>(value)));
            }
            break;
        }
        case kGetDataByte: {
            outcome.result = controller.GetDataByte();
            if (!model.Usable()) {
                outcome.expectedResult = -1;
                break;
            }
            const std::uint16_t value = ValueReadAt(actual, 0, model.Base());
            outcome.expected.push_back(Read(model.Base(), value));
            ExpectLog(outcome.expected, "GetDataByte() Port=" + HexLower(model.Base()));
            outcome.expectedResult = value & 0xFF;
            break;
        }
        case kWaitInputPinNow: {
            const std::int32_t pin = input.BiasedInteger();
            const std::int32_t level = input.BiasedInteger();
            std::int32_t timeout = 0;
            switch (input.Choice(0, 2)) {
            case 0: timeout = 0; break;
            case 1: timeout = -1 - static_cast<std::int32_t>(input.Word()); break;
            default: timeout = 60001 + static_cast<std::int32_t>(input.Word()); break;
            }
            outcome.arguments =
                std::to_string(pin) + ", " + std::to_string(level) + ", " + std::to_string(timeout);
            outcome.result = controller.WaitInputPin(pin, level, timeout);
            const PinFacts facts = FactsOf(pin);
            if (!model.Usable()) {
                outcome.expectedResult = -1;
            } else if (!facts.readable || timeout != 0) {
                outcome.expectedResult = -2;
            } else {
                const std::uint16_t reg = static_cast<std::uint16_t>(model.Base() + facts.offset);
                const std::uint16_t value = ValueReadAt(actual, 0, reg);
                outcome.expected.push_back(Read(reg, value));
                outcome.expectedResult = LevelOf(value, facts) == (level != 0 ? 1 : 0) ? 1 : 0;
                ExpectLog(outcome.expected,
                          "WaitInputPin(" + outcome.arguments + ") Port=" + HexLower(model.Base()) +
                              " Result=" + std::to_string(outcome.expectedResult));
            }
            break;
        }
        case kShowDialog:
            // Showing the dialog leaves the controller alone; the checks after
            // the step prove that nothing changed and nothing was touched.
            break;
        case kDialogSelection: {
            const int row = model.portCount == 0 ? -1 : input.Choice(-1, model.portCount - 1);
            outcome.arguments = std::to_string(row);
            controller.ChooseRow(row);
            model.selectedIndex = row;
            break;
        }
        case kHardwareChange:
            fuzz_seams::Port().readHighByte = input.Byte();
            fuzz_seams::Port().backgroundSeed = input.Word();
            fuzz_seams::Port().written.clear();
            break;
        default: {
            std::size_t length = 0;
            switch (input.Choice(0, 2)) {
            case 0: length = static_cast<std::size_t>(4090 + input.Choice(0, 10)); break;
            case 1: length = input.Word() % 5000u; break;
            default: length = static_cast<std::size_t>(input.Choice(0, 40)); break;
            }
            const char filler = static_cast<char>(input.Byte());
            const std::string message(filler == '\0' ? 0 : length, filler);
            outcome.arguments = std::to_string(message.size()) + " characters";
            DebugLog("%s", message.c_str());
            ExpectLog(outcome.expected, message);
            break;
        }
        }
        outcome.refused = outcome.result < 0;
        const bool allowed = [&] {
            switch (operation) {
            case kSelectPortByNumber: return InSet(outcome.result, {0, -1, -2});
            case kSetManualAddress: return InSet(outcome.result, {0});
            case kSetPinOutput: return InSet(outcome.result, {0, -1, -2});
            case kGetPinInput:
            case kFetchInputPin: return InSet(outcome.result, {1, 0, -1, -2});
            case kPrepareOutputBuffer:
            case kSetOutputAll:
            case kGetInputAll: return InSet(outcome.result, {0, -1});
            case kPrepareOutputPin: return InSet(outcome.result, {0, -2});
            case kSetDataDirection: return InSet(outcome.result, {0, -1});
            case kSetDataByte: return InSet(outcome.result, {0, -1, -2});
            case kGetDataByte: return outcome.result >= -1 && outcome.result <= 255;
            case kWaitInputPinNow: return InSet(outcome.result, {1, 0, -1, -2});
            default: return outcome.result == 0;
            }
        }();
        if (!allowed) {
            Fail("%s(%s) gave %d, outside its allowed results", kOperationNames[operation],
                 outcome.arguments.c_str(), outcome.result);
        }
        return outcome;
    }

    void CheckState(int stepNumber, const char* name) const
    {
        if (State(controller).selectedIndex < -1 || State(controller).selectedIndex > 9 ||
            State(controller).portCount < 0 || State(controller).portCount > 10) {
            Fail("step %d %s: selectedIndex %d, portCount %d out of range", stepNumber, name,
                 State(controller).selectedIndex, State(controller).portCount);
        }
        if (State(controller).selectedIndex != model.selectedIndex ||
            State(controller).portCount != model.portCount) {
            Fail("step %d %s: selectedIndex %d portCount %d, expected %d and %d", stepNumber, name,
                 State(controller).selectedIndex, State(controller).portCount, model.selectedIndex,
                 model.portCount);
        }
        if (State(controller).outData != model.outData ||
            State(controller).outControl != model.outControl ||
            State(controller).inData != model.inData ||
            State(controller).inStatus != model.inStatus) {
            Fail("step %d %s: buffers %04X %04X %04X %04X, expected %04X %04X %04X %04X",
                 stepNumber, name, State(controller).outData, State(controller).outControl,
                 State(controller).inData, State(controller).inStatus, model.outData,
                 model.outControl, model.inData, model.inStatus);
        }
        for (int row = 0; row < PortController::kMaxPorts; ++row) {
            const PortEntry& entry = State(controller).portTable[row];
            const PortEntry& start = startingTable[row];
            if (entry.baseAddress != model.bases[row]) {
                Fail("step %d %s: row %d address %X, expected %X", stepNumber, name, row,
                     entry.baseAddress, model.bases[row]);
            }
            if (std::memcmp(entry.name, start.name, sizeof entry.name) != 0 ||
                std::memcmp(entry.label, start.label, sizeof entry.label) != 0) {
                Fail("step %d %s: row %d name or label changed", stepNumber, name, row);
            }
        }
    }

    InputReader& input;
    PortController controller;
    fuzz_seams::RecordingView view;
    bool hasView = false;
    Model model;
    PortEntry startingTable[PortController::kMaxPorts] = {};
};

// Enough steps for any sequence worth finding; the bound keeps a long input
// from turning into a slow one.
constexpr int kMaxSteps = 256;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz_seams::ResetAll();
    InputReader input(data, size);
    Harness harness(input);
    harness.SetUp();
    for (int step = 0; step < kMaxSteps && !input.AtEnd(); ++step) {
        harness.Step(step);
    }
    return 0;
}
