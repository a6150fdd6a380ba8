#include "port_controller.h"

#include <cstdio>

#include "pin_map.h"
#include "port_io.h"

#if defined(__GNUC__)
#define DORUZEDA_RARELY(condition) __builtin_expect((condition), 0)
#define DORUZEDA_OUT_OF_LINE __attribute__((noinline))
#else
#define DORUZEDA_RARELY(condition) (condition)
#define DORUZEDA_OUT_OF_LINE
#endif

namespace {

bool EqualIgnoringAsciiCase(const char* left, const char* right)
{
    for (;; ++left, ++right) {
        char a = *left;
        char b = *right;
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
        if (a != b) return false;
        if (a == '\0') return true;
    }
}

// A null argument counts as an empty string: it ends the address there.
char FirstCharacter(const char* text)
{
    return text == nullptr ? '\0' : text[0];
}

}  // namespace

PortController::PortController()
    : portTable{}, portCount(0), selectedIndex(-1), outData(0), outControl(0), inData(0),
      inStatus(0), recording(nullptr), pulses{}, pulsesUnderWay(0), view(nullptr)
{
}

PortController::OpenedCall::OpenedCall(PortController& controller, bool argumentsValid, Needs needs)
    : held(controller.guard), opening{}
{
    controller.guard.lock();
    opening = controller.BaseOrRefusal(argumentsValid, needs);
}

PortController::OpenedCall::~OpenedCall()
{
    held.unlock();
}

std::uint16_t PortController::Read(std::uint16_t address)
{
    PortRecording* const feeding = recording;
    if (DORUZEDA_RARELY(feeding != nullptr)) return RecordedRead(*feeding, address);
    return port_io::PortRead(address);
}

void PortController::Write(std::uint16_t address, std::uint16_t value)
{
    if (DORUZEDA_RARELY(pulsesUnderWay != 0)) KeepLatches(address, value);
    PortRecording* const feeding = recording;
    if (DORUZEDA_RARELY(feeding != nullptr)) return RecordedWrite(*feeding, address, value);
    port_io::PortWrite(address, value);
}

DORUZEDA_OUT_OF_LINE std::uint16_t PortController::RecordedRead(PortRecording& feeding,
                                                                std::uint16_t address)
{
    feeding.Before(address);
    const std::uint16_t value = port_io::PortRead(address);
    feeding.Seen(address, static_cast<std::uint8_t>(value & 0xFF), false);
    return value;
}

DORUZEDA_OUT_OF_LINE void PortController::RecordedWrite(PortRecording& feeding,
                                                        std::uint16_t address, std::uint16_t value)
{
    feeding.Before(address);
    port_io::PortWrite(address, value);
    feeding.Seen(address, static_cast<std::uint8_t>(value & 0xFF), true);
}

PortController::Opening PortController::BaseOrRefusal(bool argumentsValid, Needs needs) const
{
    if (!HasSelection()) return {DORUZEDA_NO_PORT, 0};
    const std::uint16_t base = portTable[selectedIndex].baseAddress;
    if (needs == Needs::UsablePort && !PinMap::IsUsableBase(base)) return {DORUZEDA_NO_PORT, 0};
    return {argumentsValid ? DORUZEDA_OK : DORUZEDA_BAD_PIN, base};
}

const PinMapRow* PortController::PinWith(int pin, bool PinMapRow::*ability)
{
    const PinMapRow* row = PinMap::Find(pin);
    return row != nullptr && row->*ability ? row : nullptr;
}

bool PortController::HasSelection() const
{
    return selectedIndex >= 0 && selectedIndex < kMaxPorts;
}

int PortController::SelectPortByNumber(int number)
{
    if (number < 1 || number > kMaxPorts) {
        return DORUZEDA_NO_PORT;
    }
    char wanted[16];
    std::snprintf(wanted, sizeof wanted, "LPT%d", number);
    const GuardLock lock(guard);
    int found = -1;
    for (int row = 0; row < portCount && row < kMaxPorts; ++row) {
        if (EqualIgnoringAsciiCase(portTable[row].name, wanted)) {
            found = row;
            break;
        }
    }
    selectedIndex = found;
    if (found < 0) {
        return DORUZEDA_NO_SUCH_PORT;
    }
    // Under the guard: two threads' choices reach the view in the order in
    // which they were made.
    if (view != nullptr) {
        view->ShowPortList(found);
    }
    return DORUZEDA_OK;
}

int PortController::SetManualAddress(const char* digit1, const char* digit2, const char* digit3,
                                     const char* digit4)
{
    // Four one-digit strings; the first empty one ends the address.
    char text[5];
    text[0] = FirstCharacter(digit1);
    text[1] = text[0] == '\0' ? '\0' : FirstCharacter(digit2);
    text[2] = text[1] == '\0' ? '\0' : FirstCharacter(digit3);
    text[3] = text[2] == '\0' ? '\0' : FirstCharacter(digit4);
    text[4] = '\0';

    PendingLine line;
    const GuardLock lock(guard);
    line.Format("Port is set by setParallelPortAddress() Port=%s", text);
    unsigned int parsed = 0;
    if (std::sscanf(text, "%x", &parsed) == 1) {
        portTable[0].baseAddress = static_cast<std::uint16_t>(parsed);
    }
    selectedIndex = 0;
    if (view != nullptr) {
        view->ShowAddressField(text);
    }
    return DORUZEDA_OK;
}

int PortController::SetPinOutput(int pin, int level)
{
    const PinMapRow* row = PinWith(pin, &PinMapRow::settable);
    OpenedCall call(*this, row != nullptr);
    if (call.Refused()) return call.Result();
    const std::uint16_t reg = PinMap::RegisterAddress(call.Base(), row->reg);
    const std::uint16_t value = PinMap::WithLevel(*row, Read(reg), level != 0);
    call.line.Format("SetPinOutput(%d, %d) Port=%x", pin, level, call.Base());
    Write(reg, value);
    return DORUZEDA_OK;
}

int PortController::GetPinInput(int pin)
{
    const PinMapRow* row = PinWith(pin, &PinMapRow::readable);
    OpenedCall call(*this, row != nullptr);
    if (call.Refused()) return call.Result();
    const std::uint16_t base = call.Base();
    std::uint16_t dataValue = 0;
    std::uint16_t statusValue = 0;
    if (row->reg == PinRegister::Data) {
        dataValue = Read(base);
    } else {
        statusValue = Read(PinMap::RegisterAddress(base, PinRegister::Status));
    }
    call.line.Format("GetPinInput(%d) Port=%x", pin, base);
    return PinMap::LevelIn(*row, dataValue, statusValue) ? 1 : 0;
}

void PortController::ReadTwo(std::uint16_t base, PinRegister second, std::uint16_t& first,
                             std::uint16_t& secondValue)
{
    first = Read(base);
    secondValue = Read(PinMap::RegisterAddress(base, second));
}

int PortController::PrepareOutputBuffer()
{
    const OpenedCall call(*this);
    if (call.Refused()) return call.Result();
    ReadTwo(call.Base(), PinRegister::Control, outData, outControl);
    return DORUZEDA_OK;
}

int PortController::PrepareOutputPin(int pin, int level)
{
    const GuardLock lock(guard);
    const PinMapRow* row = PinWith(pin, &PinMapRow::settable);
    if (row == nullptr) {
        return DORUZEDA_BAD_PIN;
    }
    std::uint16_t& buffer = row->reg == PinRegister::Data ? outData : outControl;
    buffer = PinMap::WithLevel(*row, buffer, level != 0);
    return DORUZEDA_OK;
}

int PortController::SetOutputAll()
{
    const OpenedCall call(*this);
    if (call.Refused()) return call.Result();
    Write(call.Base(), outData);
    Write(PinMap::RegisterAddress(call.Base(), PinRegister::Control), outControl);
    return DORUZEDA_OK;
}

int PortController::GetInputAll()
{
    const OpenedCall call(*this);
    if (call.Refused()) return call.Result();
    ReadTwo(call.Base(), PinRegister::Status, inData, inStatus);
    return DORUZEDA_OK;
}

int PortController::FetchInputPin(int pin)
{
    const PinMapRow* row = PinWith(pin, &PinMapRow::readable);
    const OpenedCall call(*this, row != nullptr, Needs::Selection);
    if (call.Refused()) return call.Result();
    return PinMap::LevelIn(*row, inData, inStatus) ? 1 : 0;
}

int PortController::SetDataDirection(int input)
{
    OpenedCall call(*this);
    if (call.Refused()) return call.Result();
    const std::uint16_t reg = PinMap::RegisterAddress(call.Base(), PinRegister::Control);
    std::uint16_t value = Read(reg);
    value = static_cast<std::uint16_t>(input != 0 ? value | PinMap::kDataInputsBit
                                                  : value & ~PinMap::kDataInputsBit);
    call.line.Format("SetDataDirection(%d) Port=%x", input, call.Base());
    Write(reg, value);
    return DORUZEDA_OK;
}

int PortController::SetDataByte(int value)
{
    OpenedCall call(*this, value >= 0 && value <= 0xFF);
    if (call.Refused()) return call.Result();
    call.line.Format("SetDataByte(%d) Port=%x", value, call.Base());
    Write(call.Base(), static_cast<std::uint16_t>(value));
    return DORUZEDA_OK;
}

int PortController::GetDataByte()
{
    OpenedCall call(*this);
    if (call.Refused()) return call.Result();
    const std::uint16_t value = Read(call.Base());
    call.line.Format("GetDataByte() Port=%x", call.Base());
    return value & 0xFF;
}

int PortController::CheckPort(bool driverOpen)
{
    OpenedCall call(*this);
    if (call.Refused()) return call.Result();
    const std::uint16_t base = call.Base();
    if (!driverOpen) {
        call.line.Format("CheckPort() Port=%x not checked: the INPOUT32 driver is not open", base);
        return DORUZEDA_DRIVER_NOT_OPEN;
    }
    const unsigned control = Read(PinMap::RegisterAddress(base, PinRegister::Control)) & 0xFFU;
    // With the data lines as inputs a written pattern would not read back;
    // an absent card reads FF, its direction bit included.
    if ((control & PinMap::kDataInputsBit) != 0 && control != 0xFFU) {
        call.line.Format("CheckPort() Port=%x answers: data lines are inputs, control reads %02X",
                         base, control);
        return DORUZEDA_OK;
    }
    return CheckDataLatch(base, call.line);
}

int PortController::CheckDataLatch(std::uint16_t base, PendingLines& line)
{
    constexpr std::uint16_t kFirst = 0x55;  // every other line high, then the others
    constexpr std::uint16_t kSecond = 0xAA;
    const std::uint16_t before = Read(base);
    Write(base, kFirst);
    const unsigned first = Read(base) & 0xFFU;
    Write(base, kSecond);
    const unsigned second = Read(base) & 0xFFU;
    Write(base, before);
    if (first == kFirst && second == kSecond) {
        line.Format("CheckPort() Port=%x answers: 55 and AA read back", base);
        return DORUZEDA_OK;
    }
    line.Format("CheckPort() Port=%x does not answer: wrote 55 read %02X, wrote AA read %02X", base,
                first, second);
    return DORUZEDA_NO_ANSWER;
}

int PortController::StartRecording(PortRecording& starting)
{
    const GuardLock lock(guard);
    std::uint16_t bases[kMaxPorts + 1];
    int count = 0;
    const auto add = [&](std::uint16_t base) {
        if (!PinMap::IsUsableBase(base)) return;
        for (int index = 0; index < count; ++index) {
            if (bases[index] == base) return;
        }
        bases[count++] = base;
    };
    for (int row = 0; row < portCount && row < kMaxPorts; ++row) add(portTable[row].baseAddress);
    if (HasSelection()) add(portTable[selectedIndex].baseAddress);
    if (count == 0) {
        return DORUZEDA_NO_PORT;
    }
    if (!starting.Open(bases, count)) {
        return DORUZEDA_NOT_RECORDING;
    }
    starting.Begin();
    recording = &starting;
    return DORUZEDA_OK;
}

void PortController::EndRecording(PortRecording& ending)
{
    const GuardLock lock(guard);
    if (recording == &ending) recording = nullptr;
}

bool PortController::EndRecording(PortRecording& ending, const Deadline& deadline)
{
    if (!guard.TryLockUntil(deadline)) return false;
    if (recording == &ending) recording = nullptr;
    guard.unlock();
    return true;
}
