#include "port_controller.h"

#include <cstdio>
#include <cstring>
#include <optional>

#include "../log/debug_log.h"
#include "deadline.h"
#include "pin_map.h"
#include "port_io.h"
#include "wait_sleep.h"

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

// A pulse's last part, watched on the clock rather than slept: the fine
// timer ends up to about a millisecond late under Wine.
constexpr std::int64_t kWatchedNs = 1000000;
// No sleep shorter than this: it would end later than the clock's watch.
constexpr std::int64_t kShortestSleepNs = 500000;

bool IsPulseLength(int microseconds)
{
    return microseconds >= 1 && microseconds <= PortController::kMaxPulseUs;
}

// Holds until `endNs` on the seam's clock; false when the unload ended it
// first. `sleeper` is made at the first sleep (a short pulse needs none) and
// left to the caller to close after the second write: closing the system's
// timer takes a call to Wine's server, about 40 us, that must not fall inside
// the pulse.
bool HoldUntil(std::int64_t endNs, std::optional<WaitSleeper>& sleeper)
{
    for (;;) {
        const std::int64_t remaining = endNs - WaitSleeper::NowNs();
        if (remaining <= 0) return true;
        if (WaitSleeper::WaitsEnded()) return false;
        if (remaining > kWatchedNs + kShortestSleepNs) {
            if (!sleeper) sleeper.emplace();
            if (!sleeper->SleepFor(remaining - kWatchedNs)) return false;
        }
    }
}

// From the first write's return to the second write's start, rounded: the
// second write's own time is all a pulse is longer on the wire.
int WidthUs(std::int64_t heldFromNs, std::int64_t endNs)
{
    return static_cast<int>((endNs - heldFromNs + 500) / 1000);
}

// A byte pulse's lines: the whole data register.
constexpr std::uint16_t kDataLines = 0xFF;

// `pin`'s row when the pin has `ability` (settable, readable); null
// otherwise.
const PinMapRow* PinWith(int pin, bool PinMapRow::*ability)
{
    const PinMapRow* row = PinMap::Find(pin);
    return row != nullptr && row->*ability ? row : nullptr;
}

}  // namespace

PortController::PortController()
    : portTable{}, portCount(0), selectedIndex(-1), outData(0), outControl(0), inData(0),
      inStatus(0), recording(nullptr), pulses{}, view(nullptr)
{
}

std::uint16_t PortController::Read(std::uint16_t address)
{
    PortRecording* const feeding = recording;
    if (DORUZEDA_RARELY(feeding != nullptr)) return RecordedRead(*feeding, address);
    return port_io::PortRead(address);
}

void PortController::Write(std::uint16_t address, std::uint16_t value)
{
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

int PortController::Refusal(bool argumentsValid, Needs needs) const
{
    if (needs == Needs::Selection ? !HasSelection() : !HasUsablePort()) {
        return DORUZEDA_NO_PORT;
    }
    return argumentsValid ? DORUZEDA_OK : DORUZEDA_BAD_PIN;
}

bool PortController::HasSelection() const
{
    return selectedIndex >= 0 && selectedIndex < kMaxPorts;
}

std::uint16_t PortController::SelectedBase() const
{
    return HasSelection() ? portTable[selectedIndex].baseAddress : 0;
}

bool PortController::HasUsablePort() const
{
    return HasSelection() && PinMap::IsUsableBase(SelectedBase());
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

    const GuardLock lock(guard);
    DebugLog("Port is set by setParallelPortAddress() Port=%s", text);
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
    const GuardLock lock(guard);
    const PinMapRow* row = PinWith(pin, &PinMapRow::settable);
    if (const int refused = Refusal(row != nullptr); refused != DORUZEDA_OK) {
        return refused;
    }
    const std::uint16_t base = SelectedBase();
    const std::uint16_t reg = PinMap::RegisterAddress(base, row->reg);
    const std::uint16_t value = PinMap::WithLevel(*row, Read(reg), level != 0);
    DebugLog("SetPinOutput(%d, %d) Port=%x", pin, level, base);
    Write(reg, value);
    return DORUZEDA_OK;
}

int PortController::GetPinInput(int pin)
{
    const GuardLock lock(guard);
    const PinMapRow* row = PinWith(pin, &PinMapRow::readable);
    if (const int refused = Refusal(row != nullptr); refused != DORUZEDA_OK) {
        return refused;
    }
    const std::uint16_t base = SelectedBase();
    std::uint16_t dataValue = 0;
    std::uint16_t statusValue = 0;
    if (row->reg == PinRegister::Data) {
        dataValue = Read(base);
    } else {
        statusValue = Read(PinMap::RegisterAddress(base, PinRegister::Status));
    }
    DebugLog("GetPinInput(%d) Port=%x", pin, base);
    return PinMap::LevelIn(*row, dataValue, statusValue) ? 1 : 0;
}

int PortController::PrepareOutputBuffer()
{
    const GuardLock lock(guard);
    if (!HasUsablePort()) {
        return DORUZEDA_NO_PORT;
    }
    const std::uint16_t base = SelectedBase();
    outData = Read(base);
    outControl = Read(PinMap::RegisterAddress(base, PinRegister::Control));
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
    const GuardLock lock(guard);
    if (!HasUsablePort()) {
        return DORUZEDA_NO_PORT;
    }
    const std::uint16_t base = SelectedBase();
    Write(base, outData);
    Write(PinMap::RegisterAddress(base, PinRegister::Control), outControl);
    return DORUZEDA_OK;
}

int PortController::GetInputAll()
{
    const GuardLock lock(guard);
    if (!HasUsablePort()) {
        return DORUZEDA_NO_PORT;
    }
    const std::uint16_t base = SelectedBase();
    inData = Read(base);
    inStatus = Read(PinMap::RegisterAddress(base, PinRegister::Status));
    return DORUZEDA_OK;
}

int PortController::FetchInputPin(int pin)
{
    const GuardLock lock(guard);
    const PinMapRow* row = PinWith(pin, &PinMapRow::readable);
    if (const int refused = Refusal(row != nullptr, Needs::Selection); refused != DORUZEDA_OK) {
        return refused;
    }
    return PinMap::LevelIn(*row, inData, inStatus) ? 1 : 0;
}

int PortController::SetDataDirection(int input)
{
    const GuardLock lock(guard);
    if (!HasUsablePort()) {
        return DORUZEDA_NO_PORT;
    }
    const std::uint16_t base = SelectedBase();
    const std::uint16_t reg = PinMap::RegisterAddress(base, PinRegister::Control);
    std::uint16_t value = Read(reg);
    value = static_cast<std::uint16_t>(input != 0 ? value | PinMap::kDataInputsBit
                                                  : value & ~PinMap::kDataInputsBit);
    DebugLog("SetDataDirection(%d) Port=%x", input, base);
    Write(reg, value);
    return DORUZEDA_OK;
}

int PortController::SetDataByte(int value)
{
    const GuardLock lock(guard);
    if (const int refused = Refusal(value >= 0 && value <= 0xFF); refused != DORUZEDA_OK) {
        return refused;
    }
    const std::uint16_t base = SelectedBase();
    DebugLog("SetDataByte(%d) Port=%x", value, base);
    Write(base, static_cast<std::uint16_t>(value));
    return DORUZEDA_OK;
}

int PortController::GetDataByte()
{
    const GuardLock lock(guard);
    if (!HasUsablePort()) {
        return DORUZEDA_NO_PORT;
    }
    const std::uint16_t base = SelectedBase();
    const std::uint16_t value = Read(base);
    DebugLog("GetDataByte() Port=%x", base);
    return value & 0xFF;
}

int PortController::WaitInputPin(int pin, int level, int timeoutMs)
{
    const PinMapRow* row = nullptr;
    std::uint16_t base = 0;
    const int checked = CheckWait(pin, timeoutMs, &row, &base);
    if (checked != DORUZEDA_OK) {
        return checked;
    }
    const int result =
        AwaitLevel(PinMap::RegisterAddress(base, row->reg), *row, level != 0, timeoutMs);
    const GuardLock lock(guard);
    DebugLog("WaitInputPin(%d, %d, %d) Port=%x Result=%d", pin, level, timeoutMs, base, result);
    return result;
}

int PortController::TimeInputPin(int pin, int level, int timeoutMs)
{
    const PinMapRow* row = nullptr;
    std::uint16_t base = 0;
    const int checked = CheckWait(pin, timeoutMs, &row, &base);
    if (checked != DORUZEDA_OK) {
        return checked;
    }
    const int result =
        TimeLevel(PinMap::RegisterAddress(base, row->reg), *row, level != 0, timeoutMs);
    const GuardLock lock(guard);
    if (result == DORUZEDA_TIMED_OUT) {
        DebugLog("TimeInputPin(%d, %d, %d) Port=%x Time=timed out", pin, level, timeoutMs, base);
    } else {
        DebugLog("TimeInputPin(%d, %d, %d) Port=%x Time=%d", pin, level, timeoutMs, base, result);
    }
    return result;
}

int PortController::CheckWait(int pin, int timeoutMs, const PinMapRow** row,
                              std::uint16_t* base) const
{
    const GuardLock lock(guard);
    *row = PinWith(pin, &PinMapRow::readable);
    const bool inRange = timeoutMs >= 0 && timeoutMs <= kMaxWaitMs;
    if (const int refused = Refusal(*row != nullptr && inRange); refused != DORUZEDA_OK) {
        return refused;
    }
    *base = SelectedBase();
    return DORUZEDA_OK;
}

int PortController::AwaitLevel(std::uint16_t reg, const PinMapRow& row, bool wantHigh,
                               int timeoutMs)
{
    // Reads this many times back to back before it sleeps between reads, so
    // a change that comes soon is seen at once and a long wait holds no core.
    constexpr int kFastReads = 100;
    const std::int64_t deadlineNs = WaitSleeper::NowNs() + timeoutMs * 1000000LL;
    std::optional<WaitSleeper> sleeper;  // made at the first sleep: most waits end sooner

    for (int reads = 1;; ++reads) {
        std::uint16_t value = 0;
        {
            const GuardLock lock(guard);
            value = Read(reg);
        }
        if (PinMap::LevelIn(row, value) == wantHigh) {
            return 1;
        }
        if (WaitSleeper::NowNs() >= deadlineNs) {
            return 0;
        }
        // After the fast reads, a sleep between reads; an unload ends it, and
        // the wait with it, as if the time had run out.
        if (reads >= kFastReads) {
            if (!sleeper) sleeper.emplace();
            if (!sleeper->Sleep()) return 0;
        }
    }
}

int PortController::TimeLevel(std::uint16_t reg, const PinMapRow& row, bool wantHigh, int timeoutMs)
{
    // No sleep between reads: a sleep's lateness (half a millisecond and
    // more) would be the time's error. The clock is read under the guard,
    // next to the read it times, so that another thread's call between the
    // two cannot add to the time.
    std::int64_t startNs = 0;
    std::int64_t endNs = 0;
    for (bool first = true;; first = false) {
        std::uint16_t value = 0;
        std::int64_t readNs = 0;
        {
            const GuardLock lock(guard);
            readNs = WaitSleeper::NowNs();
            if (first) {
                startNs = readNs;
                endNs = startNs + timeoutMs * 1000000LL;
            } else if (readNs >= endNs) {
                return DORUZEDA_TIMED_OUT;
            }
            value = Read(reg);
        }
        if (PinMap::LevelIn(row, value) == wantHigh) {
            return static_cast<int>((readNs - startNs) / 1000);
        }
        if (!WaitSleeper::YieldCore()) {
            return DORUZEDA_TIMED_OUT;
        }
    }
}

int PortController::CheckPort(bool driverOpen)
{
    const GuardLock lock(guard);
    if (!HasUsablePort()) {
        return DORUZEDA_NO_PORT;
    }
    const std::uint16_t base = SelectedBase();
    if (!driverOpen) {
        DebugLog("CheckPort() Port=%x not checked: the INPOUT32 driver is not open", base);
        return DORUZEDA_DRIVER_NOT_OPEN;
    }
    const unsigned control = Read(PinMap::RegisterAddress(base, PinRegister::Control)) & 0xFFU;
    // With the data lines as inputs a written pattern would not read back;
    // an absent card reads FF, its direction bit included.
    if ((control & PinMap::kDataInputsBit) != 0 && control != 0xFFU) {
        DebugLog("CheckPort() Port=%x answers: data lines are inputs, control reads %02X", base,
                 control);
        return DORUZEDA_OK;
    }
    return CheckDataLatch(base);
}

int PortController::CheckDataLatch(std::uint16_t base)
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
        DebugLog("CheckPort() Port=%x answers: 55 and AA read back", base);
        return DORUZEDA_OK;
    }
    DebugLog("CheckPort() Port=%x does not answer: wrote 55 read %02X, wrote AA read %02X", base,
             first, second);
    return DORUZEDA_NO_ANSWER;
}

int PortController::PulseOutputPin(int pin, int level, int microseconds)
{
    const PinMapRow* row = PinWith(pin, &PinMapRow::settable);
    Pulse pulse{};
    pulse.pin = pin;
    pulse.level = level;
    pulse.microseconds = microseconds;
    return RunPulse(pulse, row, row != nullptr && IsPulseLength(microseconds));
}

int PortController::PulseDataByte(int value, int microseconds)
{
    Pulse pulse{};
    pulse.level = value;
    pulse.microseconds = microseconds;
    return RunPulse(pulse, nullptr, value >= 0 && value <= 0xFF && IsPulseLength(microseconds));
}

int PortController::RunPulse(Pulse pulse, const PinMapRow* row, bool argumentsValid)
{
    int slot = -1;
    {
        const GuardLock lock(guard);
        const int started = StartPulse(pulse, row, argumentsValid, &slot);
        if (started != DORUZEDA_OK) return started;
    }
    std::optional<WaitSleeper> sleeper;
    const bool held = HoldUntil(pulse.heldFromNs + pulse.microseconds * 1000LL, sleeper);
    const GuardLock lock(guard);
    // Put back already by the end of the process, which stops this thread
    // (under Wine perhaps a moment later).
    if (pulses[slot].lines == 0) return DORUZEDA_OK;
    if (!EndPulse(slot, false)) return DORUZEDA_NOT_REACHED;
    return held ? DORUZEDA_OK : DORUZEDA_ENDED_BY_UNLOAD;
}

int PortController::StartPulse(Pulse& pulse, const PinMapRow* row, bool argumentsValid, int* slot)
{
    if (const int refused = Refusal(argumentsValid); refused != DORUZEDA_OK) return refused;
    pulse.base = SelectedBase();
    pulse.reg = PinMap::RegisterAddress(pulse.base, row != nullptr ? row->reg : PinRegister::Data);
    pulse.lines = row != nullptr ? row->mask : kDataLines;
    *slot = PulseSlotFor(pulse.reg, pulse.lines);
    if (*slot < 0) return DORUZEDA_PULSE_BUSY;
    // Written while the lines are inputs, the latch would keep the pulse's
    // value, unseen, and a read would give the lines, not the latch: the
    // level before could not be put back.
    if (pulse.reg == pulse.base) {
        const std::uint16_t control =
            Read(PinMap::RegisterAddress(pulse.base, PinRegister::Control));
        if (!port_io::LastAccessReached()) {
            LogPulse(pulse,
                     "not reached: the port did not answer the read of the control register");
            return DORUZEDA_NOT_REACHED;
        }
        if ((control & PinMap::kDataInputsBit) != 0) {
            LogPulse(pulse, "refused: the data lines are inputs");
            return DORUZEDA_DATA_LINES_INPUTS;
        }
    }
    pulse.before = Read(pulse.reg);
    if (!port_io::LastAccessReached()) {
        LogPulse(pulse, "not reached: the port did not answer the read of the level before");
        return DORUZEDA_NOT_REACHED;
    }
    Write(pulse.reg, row != nullptr ? PinMap::WithLevel(*row, pulse.before, pulse.level != 0)
                                    : static_cast<std::uint16_t>(pulse.level));
    if (!port_io::LastAccessReached()) {
        LogPulse(pulse, "not reached: the port did not take the first write");
        return DORUZEDA_NOT_REACHED;
    }
    // Read once the write has returned (the recording's stamp, taken inside
    // it, too): the line has changed by now, however late the write was.
    pulse.heldFromNs = WaitSleeper::NowNs();
    pulses[*slot] = pulse;
    return DORUZEDA_OK;
}

int PortController::PulseSlotFor(std::uint16_t reg, std::uint16_t lines) const
{
    int free = -1;
    for (int slot = 0; slot < kMaxPulses; ++slot) {
        const Pulse& under = pulses[slot];
        if (under.lines == 0) {
            if (free < 0) free = slot;
        } else if (under.reg == reg && (under.lines & lines) != 0) {
            return -1;
        }
    }
    return free;
}

bool PortController::EndPulse(int slot, bool atProcessExit)
{
    const Pulse pulse = pulses[slot];
    const char* failure = nullptr;
    std::uint16_t value = pulse.before;  // a byte goes back whole
    if (pulse.pin != 0) {
        // Only the pulsed pin goes back: the rest of the register is as it is now.
        const std::uint16_t now = atProcessExit ? port_io::PortRead(pulse.reg) : Read(pulse.reg);
        if (!port_io::LastAccessReached()) {
            failure = "not put back: the port did not answer the read before the second write";
        }
        value = static_cast<std::uint16_t>((now & ~pulse.lines) | (pulse.before & pulse.lines));
    }
    const std::int64_t endNs = WaitSleeper::NowNs();
    if (failure == nullptr) {
        if (atProcessExit) {
            port_io::PortWrite(pulse.reg, value);
        } else {
            Write(pulse.reg, value);
        }
        if (!port_io::LastAccessReached())
            failure = "not put back: the port did not take the second write";
    }
    pulses[slot] = Pulse{};
    const char* const endedBy = atProcessExit ? " ended by the end of the process" : "";
    char outcome[160];
    std::snprintf(outcome, sizeof outcome, "Width=%d%s%s", WidthUs(pulse.heldFromNs, endNs),
                  failure != nullptr ? " " : endedBy, failure != nullptr ? failure : "");
    LogPulse(pulse, outcome);
    return failure == nullptr;
}

void PortController::EndPulsesAtProcessExit() NO_THREAD_SAFETY_ANALYSIS
{
    // Whoever holds the guard now is a thread the end stopped, or one that
    // the end is about to stop: past the wait, the restores go without it.
    const bool locked = guard.TryLockUntil(Deadline::AfterMs(bounds::kExitGuardWaitMs));
    for (int slot = 0; slot < kMaxPulses; ++slot) {
        if (pulses[slot].lines != 0) EndPulse(slot, true);
    }
    if (locked) guard.unlock();
}

void PortController::LogPulse(const Pulse& pulse, const char* outcome)
{
    if (pulse.pin != 0) {
        DebugLog("PulseOutputPin(%d, %d, %d) Port=%x %s", pulse.pin, pulse.level,
                 pulse.microseconds, pulse.base, outcome);
    } else {
        DebugLog("PulseDataByte(%d, %d) Port=%x %s", pulse.level, pulse.microseconds, pulse.base,
                 outcome);
    }
}

std::uint16_t PortController::ListAddress(ListPosition position) const
{
    return position.row < 0 ? portTable[0].baseAddress : position.address;
}

void PortController::SetPinFromList(ListPosition position, int pin, int level)
{
    // The guard keeps the register's read-modify-write whole against an
    // exported call on another thread.
    const GuardLock lock(guard);
    const std::uint16_t address = ListAddress(position);
    if (position.row < 0) {
        DebugLog("OnClickedHiLo() no LPT selection I/O Addr = %X", static_cast<unsigned>(address));
    } else {
        DebugLog("OnClickedHiLo() LPT (%d) selected I/O Addr = %X", position.row,
                 static_cast<unsigned>(address));
    }
    const PinMapRow* row = PinWith(pin, &PinMapRow::settable);
    if (!PinMap::IsUsableBase(address) || row == nullptr) {
        return;
    }
    const std::uint16_t reg = PinMap::RegisterAddress(address, row->reg);
    const std::uint16_t value = PinMap::WithLevel(*row, Read(reg), level != 0);
    Write(reg, value);
}

std::optional<PortController::InputRegisters> PortController::ReadInputsFromList(
    ListPosition position)
{
    const GuardLock lock(guard);
    const std::uint16_t address = ListAddress(position);
    if (!PinMap::IsUsableBase(address)) {
        return std::nullopt;
    }
    InputRegisters values{};
    values.data = Read(PinMap::RegisterAddress(address, PinRegister::Data));
    values.status = Read(PinMap::RegisterAddress(address, PinRegister::Status));
    return values;
}

void PortController::ChooseRow(int row)
{
    const GuardLock lock(guard);
    selectedIndex = row;
}

int PortController::SelectedRow() const
{
    const GuardLock lock(guard);
    return selectedIndex;
}

PortController::PortRows PortController::RowsToList() const
{
    const GuardLock lock(guard);
    PortRows list{};
    std::memcpy(list.rows, portTable, sizeof list.rows);
    list.count = portCount;
    return list;
}

void PortController::SelectFirstListedPortWithoutWindow()
{
    const GuardLock lock(guard);
    if (portCount > 0) {
        selectedIndex = 0;
    }
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
    if (HasSelection()) add(SelectedBase());
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
