// Fuzz target: a device list from the input, discovery, then a sequence of
// the controller's operations as the exported functions call them. It knows
// nothing of pins or registers; after every step it checks what must hold
// whatever the pin map says:
//   - every port access lies between the selected base and base + 2, and
//     that base is one a port may have (neither 0 nor above FFFD);
//   - a refused call (-1, -2) makes no port access and writes no log line;
//   - the result is one the operation documents (PULSE_BUSY is none: one
//     thread has no other pulse under way);
//   - after a pulse every line of the port is at its level before, unless
//     the port dropped an access (NOT_REACHED, given only then);
// and the sanitizers judge the rest.
//
// Input layout (front to back; see InputReader): byte the high byte of every
// port read (the fake port carries one, as a 16-bit read may), byte device count (0..3, 4:
// counting the devices fails), the devices (InputReader::Device), then until
// the input ends a byte operation (below) and its arguments. A wait reads
// once (timeout 0) or is refused, and a pulse holds on the fake clock, so
// that no step sleeps.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>

#include "input_reader.h"
#include "port/port_controller.h"
#include "tests/fakes/controller_setup.h"

namespace {

// What a step gives for a result its operation does not document: a value no
// operation returns (a data register holding 99 is a valid GetDataByte).
constexpr int kUndocumented = INT_MIN;

bool OneOf(int result, std::initializer_list<int> documented)
{
    for (int value : documented) {
        if (result == value) return true;
    }
    return false;
}

// A string argument of SetManualAddress in exactly the storage the input asks
// for, so that AddressSanitizer sees any read past what the caller provided:
// null, "", one character and its terminator, one byte with no terminator,
// or (once the address has ended) a pointer just past a one-byte allocation,
// which must not be read at all.
struct AddressArgument {
    std::unique_ptr<char[]> storage;
    const char* pointer = nullptr;
};

AddressArgument ReadAddressArgument(InputReader& input, bool& ended)
{
    AddressArgument argument;
    int kind = input.Choice(0, 4);
    const char character = static_cast<char>(input.Byte());
    if (kind == 4 && !ended) kind = 0;
    switch (kind) {
    case 0: break;
    case 1: argument.storage.reset(new char[1]{'\0'}); break;
    case 2: argument.storage.reset(new char[2]{character, '\0'}); break;
    case 3: argument.storage.reset(new char[1]{character}); break;
    default:
        argument.storage.reset(new char[1]{'\0'});
        argument.pointer = argument.storage.get() + 1;
        return argument;
    }
    argument.pointer = argument.storage.get();
    ended = ended || kind < 2 || character == '\0';
    return argument;
}

// A pin pulse, or a byte pulse of `pin` as the value; undocumented when a
// line is not back at its level before while the port dropped nothing.
int Pulse(PortController& controller, bool byte, int pin, int level, int time)
{
    const std::uint16_t* port = fakes::Port().registers;
    const std::uint16_t base = fakes::SelectedBase(controller);
    const int before = (port[base] & 0xFF) | (port[(base + 2) & 0xFFFF] & 0xFF) << 8;
    const int result =
        byte ? controller.PulseDataByte(pin, time) : controller.PulseOutputPin(pin, level, time);
    const int after = (port[base] & 0xFF) | (port[(base + 2) & 0xFFFF] & 0xFF) << 8;
    if (result == -8 ? fakes::Port().reachingAccesses != 0 : after != before) return kUndocumented;
    return OneOf(result, {0, -1, -2, -7, -8}) ? result : kUndocumented;
}

int RunStep(PortController& controller, InputReader& input)
{
    const int operation = input.Choice(0, 17);
    switch (operation) {
    case 0: {
        const int result = controller.SelectPortByNumber(input.Integer());
        return OneOf(result, {0, -1, -2}) ? result : kUndocumented;
    }
    case 1: {
        bool ended = false;
        const AddressArgument first = ReadAddressArgument(input, ended);
        const AddressArgument second = ReadAddressArgument(input, ended);
        const AddressArgument third = ReadAddressArgument(input, ended);
        const AddressArgument fourth = ReadAddressArgument(input, ended);
        const int result = controller.SetManualAddress(first.pointer, second.pointer, third.pointer,
                                                       fourth.pointer);
        return result == 0 ? 0 : kUndocumented;
    }
    case 2: {
        const int pin = input.Integer();
        const int result = controller.SetPinOutput(pin, input.Integer());
        return OneOf(result, {0, -1, -2}) ? result : kUndocumented;
    }
    case 3: {
        const int result = controller.GetPinInput(input.Integer());
        return OneOf(result, {0, 1, -1, -2}) ? result : kUndocumented;
    }
    case 4: {
        const int result = controller.PrepareOutputBuffer();
        return OneOf(result, {0, -1}) ? result : kUndocumented;
    }
    case 5: {
        const int pin = input.Integer();
        const std::size_t accessesBefore = fakes::Port().trace.size();
        const int result = controller.PrepareOutputPin(pin, input.Integer());
        // It changes the buffers only, port or no port.
        if (fakes::Port().trace.size() != accessesBefore) return kUndocumented;
        return OneOf(result, {0, -2}) ? result : kUndocumented;
    }
    case 6: {
        const int result = controller.SetOutputAll();
        return OneOf(result, {0, -1}) ? result : kUndocumented;
    }
    case 7: {
        const int result = controller.GetInputAll();
        return OneOf(result, {0, -1}) ? result : kUndocumented;
    }
    case 8: {
        const std::size_t accessesBefore = fakes::Port().trace.size();
        const int result = controller.FetchInputPin(input.Integer());
        // It reads the snapshot, never the port.
        if (fakes::Port().trace.size() != accessesBefore) return kUndocumented;
        return OneOf(result, {0, 1, -1, -2}) ? result : kUndocumented;
    }
    case 9: {
        const int result = controller.SetDataDirection(input.Integer());
        return OneOf(result, {0, -1}) ? result : kUndocumented;
    }
    case 10: {
        const int result = controller.SetDataByte(input.Integer());
        return OneOf(result, {0, -1, -2}) ? result : kUndocumented;
    }
    case 11: {
        const int result = controller.GetDataByte();
        return (result >= 0 && result <= 255) || result == -1 ? result : kUndocumented;
    }
    case 12: {
        const int pin = input.Integer();
        const int level = input.Integer();
        const int timeout = input.Byte() % 2 == 0 ? 0 : input.Integer();
        if (timeout > 0 && timeout <= PortController::kMaxWaitMs) return 0;  // would sleep
        const int result = controller.WaitInputPin(pin, level, timeout);
        const bool notReached = result == -8 && fakes::Port().reachingAccesses == 0;
        return OneOf(result, {0, 1, -1, -2}) || notReached ? result : kUndocumented;
    }
    case 14:
    case 15: {
        const int pin = input.Integer();
        const int level = input.Integer();
        return Pulse(controller, operation == 15, pin, level, input.Integer());
    }
    case 16: {
        const int result = controller.CheckPort(input.Byte() % 2 == 0);
        return OneOf(result, {0, -1, -3, -4}) ? result : kUndocumented;
    }
    case 17:  // the port takes 0 to 2 more accesses, then drops every other; or all
        fakes::Port().reachingAccesses = input.Choice(-1, 2);
        return 0;
    default: {
        // The port's lines change under the controller: a data and a status
        // value at the selected base.
        const std::uint16_t base = fakes::SelectedBase(controller);
        fakes::Port().registers[base] = input.Byte();
        fakes::Port().registers[static_cast<std::uint16_t>(base + 1)] = input.Byte();
        return 0;
    }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The log file (in the current directory) starts empty for each input.
    std::remove("RurSetupDebug.txt");
    fakes::ResetAll();
    fakes::Sleeps().fakeClock = true;
    InputReader input(data, size);
    fakes::Port().readHighByte = input.Byte();
    const int devices = input.Choice(0, 4);
    fakes::Devices().countFails = devices == 4;
    for (int index = 0; index < devices && devices < 4; ++index) {
        fakes::Devices().devices.push_back(input.Device());
    }
    PortController controller;
    controller.EnumeratePorts();

    while (!input.AtEnd()) {
        const std::uint16_t base = fakes::SelectedBase(controller);
        const std::size_t accessesBefore = fakes::Port().trace.size();
        const std::size_t linesBefore = fakes::LogSink().debuggerOutput.size();
        const int result = RunStep(controller, input);
        if (result == kUndocumented) std::abort();  // a result the operation does not document
        const auto& trace = fakes::Port().trace;
        if ((result == -1 || result == -2) &&
            (trace.size() != accessesBefore ||
             fakes::LogSink().debuggerOutput.size() != linesBefore)) {
            std::abort();  // a refused call touched the port or the log
        }
        for (std::size_t at = accessesBefore; at < trace.size(); ++at) {
            if (base < 0x100 || base > 0xFFFD || trace[at].address < base ||
                trace[at].address > base + 2) {
                std::abort();  // an access outside the selected port's three registers
            }
        }
    }
    return 0;
}
