// The controller's timed operations: the wait for an input, the time of an
// input's change and the pulses, which hold the guard for each access only,
// never while they wait (port_controller.h); the immediate operations are in
// port_controller.cpp.
#include <cstdio>
#include <optional>

#include "../log/debug_log.h"
#include "deadline.h"
#include "hold.h"
#include "pin_map.h"
#include "port_controller.h"
#include "port_io.h"
#include "wait_sleep.h"

namespace {

// The timing rules of a pulse's hold, here only: the platform says how late
// its sleeps may wake (port/wait_sleep.h), the core decides how long to
// sleep and when to watch the clock.
//
// The last part of every hold is watched on the clock, whatever the sleep:
// a thread woken from any sleep may wait about this long for its core.
constexpr std::int64_t kWatchedNs = 1000000;
// No sleep shorter than this: it would end later than the clock's watch.
constexpr std::int64_t kShortestSleepNs = 500000;

bool IsPulseLength(int microseconds)
{
    return microseconds >= 1 && microseconds <= PortController::kMaxPulseUs;
}

// With `remainingNs` to hold: a sleep on the timer that wakes, however late,
// before the watched part; else an exact sleep up to it, where the platform
// has one; else nothing (0, 0): the clock is watched.
struct SleepStep {
    std::int64_t onTimerNs;
    std::int64_t exactNs;
};
SleepStep NextSleep(std::int64_t remainingNs, std::int64_t lateByNs, std::int64_t longestExactNs)
{
    const std::int64_t onTimer = remainingNs - kWatchedNs - lateByNs;
    if (onTimer >= kShortestSleepNs) return {onTimer, 0};
    const std::int64_t upToTheWatch = remainingNs - kWatchedNs;
    const std::int64_t exact = upToTheWatch < longestExactNs ? upToTheWatch : longestExactNs;
    return {0, exact >= kShortestSleepNs ? exact : 0};
}

}  // namespace

// Holds until `end`; false when the unload ended it first. `sleeper` is made at the first sleep (a
// short pulse needs none) and left to the caller to close after the second write: closing the
// system's timer takes a call to Wine's server, about 40 us, that must not fall inside the pulse.
bool HoldUntil(const Deadline& end, std::optional<WaitSleeper>& sleeper)
{
    for (;;) {
        const std::int64_t remaining = end.RemainingNs();
        if (remaining == 0) return true;
        if (WaitSleeper::WaitsEnded()) return false;
        if (remaining < kWatchedNs + kShortestSleepNs) continue;
        if (!sleeper) sleeper.emplace();
        const SleepStep step =
            NextSleep(remaining, sleeper->LateByNs(), WaitSleeper::LongestExactSleepNs());
        if (step.onTimerNs > 0 && !sleeper->SleepFor(step.onTimerNs)) return false;
        if (step.exactNs > 0 && !WaitSleeper::SleepExactly(step.exactNs)) return false;
    }
}

namespace {

// From the first write's return to the second write's start, rounded: the
// second write's own time is all a pulse is longer on the wire.
int WidthUs(std::int64_t heldFromNs, std::int64_t secondWriteNs)
{
    return static_cast<int>((secondWriteNs - heldFromNs + 500) / 1000);
}

// The time of an input is given in microseconds, its timeout in milliseconds.
constexpr std::int64_t kNsPerUs = 1000;
constexpr std::int64_t kUsPerMs = 1000;

// A byte pulse's lines: the whole data register.
constexpr std::uint16_t kDataLines = 0xFF;

}  // namespace

int PortController::WaitInputPin(int pin, int level, int timeoutMs)
{
    return WatchInput(InputWatch::Wait, pin, level, timeoutMs);
}

int PortController::TimeInputPin(int pin, int level, int timeoutMs)
{
    return WatchInput(InputWatch::Time, pin, level, timeoutMs);
}

int PortController::WatchInput(InputWatch watch, int pin, int level, int timeoutMs)
{
    const PinMapRow* row = PinWith(pin, &PinMapRow::readable);
    const Opening opening = WaitOpening(row, timeoutMs);
    if (opening.result != DORUZEDA_OK) return opening.result;
    const std::uint16_t reg = PinMap::RegisterAddress(opening.base, row->reg);
    const int result = watch == InputWatch::Wait ? AwaitLevel(reg, *row, level != 0, timeoutMs)
                                                 : TimeLevel(reg, *row, level != 0, timeoutMs);
    // Written with the guard released: no other call waits for this line.
    LogInputWatch(watch, pin, level, timeoutMs, opening.base, result);
    return result;
}

void PortController::LogInputWatch(InputWatch watch, int pin, int level, int timeoutMs,
                                   std::uint16_t base, int result)
{
    char figure[sizeof "Result=-2147483648"];
    const char* outcome = figure;
    if (result == DORUZEDA_NOT_REACHED) {
        outcome = "not reached: the port did not answer a read of the pin";
    } else if (watch == InputWatch::Wait) {
        std::snprintf(figure, sizeof figure, "Result=%d", result);
    } else if (result == DORUZEDA_TIMED_OUT) {
        outcome = "Time=timed out";
    } else {
        std::snprintf(figure, sizeof figure, "Time=%d", result);
    }
    DebugLog("%s(%d, %d, %d) Port=%x %s",
             watch == InputWatch::Wait ? "WaitInputPin" : "TimeInputPin", pin, level, timeoutMs,
             base, outcome);
}

PortController::Opening PortController::WaitOpening(const PinMapRow* row, int timeoutMs) const
{
    const GuardLock lock(guard);
    return BaseOrRefusal(row != nullptr && timeoutMs >= 0 && timeoutMs <= kMaxWaitMs);
}

PortController::InputRead PortController::ReadInput(std::uint16_t reg)
{
    const GuardLock lock(guard);
    const std::uint16_t value = Read(reg);
    const bool reached = port_io::LastAccessReached();
    // Once the read has returned: the stamp never comes before the moment
    // the port gave the level, however long the thread waited for its core.
    return {value, reached, WaitSleeper::NowNs()};
}

int PortController::AwaitLevel(std::uint16_t reg, const PinMapRow& row, bool wantHigh,
                               int timeoutMs)
{
    // Reads this many times back to back before it sleeps between reads, so
    // a change that comes soon is seen at once and a long wait holds no core.
    constexpr int kFastReads = 100;
    const Deadline deadline = Deadline::AfterMs(static_cast<unsigned long>(timeoutMs));
    std::optional<WaitSleeper> sleeper;  // made at the first sleep: most waits end sooner

    for (int reads = 1;; ++reads) {
        const InputRead read = ReadInput(reg);
        if (!read.reached) return DORUZEDA_NOT_REACHED;
        if (PinMap::LevelIn(row, read.value) == wantHigh) return 1;
        if (deadline.Passed()) return 0;
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
    // more) would be the time's error. Every read is stamped as it returns
    // (ReadInput), the time counted from the first read's stamp.
    const Deadline deadline = Deadline::AfterMs(static_cast<unsigned long>(timeoutMs));
    Deadline yieldDue = Deadline::AfterNs(kTimeReadingBetweenYieldsNs);
    const InputRead first = ReadInput(reg);
    for (InputRead read = first;; read = ReadInput(reg)) {
        if (!read.reached) return DORUZEDA_NOT_REACHED;
        const std::int64_t elapsedUs = (read.stampNs - first.stampNs) / kNsPerUs;
        if (PinMap::LevelIn(row, read.value) == wantHigh) {
            // Seen by a read that returned past the time: not within it.
            return elapsedUs <= timeoutMs * kUsPerMs ? static_cast<int>(elapsedUs)
                                                     : DORUZEDA_TIMED_OUT;
        }
        if (deadline.Passed() || WaitSleeper::WaitsEnded()) return DORUZEDA_TIMED_OUT;
        if (yieldDue.Passed()) {
            if (!WaitSleeper::YieldCore()) return DORUZEDA_TIMED_OUT;
            yieldDue = Deadline::AfterNs(kTimeReadingBetweenYieldsNs);
        }
    }
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
        PulseLines lines;  // written once the guard is let go
        const GuardLock lock(guard);
        const int started = StartPulse(pulse, row, argumentsValid, &slot, lines);
        if (started != DORUZEDA_OK) return started;
    }
    std::optional<WaitSleeper> sleeper;
    const bool held = HoldUntil(
        Deadline::At(pulse.heldFromNs + pulse.microseconds * std::int64_t{1000}), sleeper);
    PendingLine line;
    const GuardLock lock(guard);
    // Put back already by the end of the process, which stops this thread
    // (under Wine perhaps a moment later).
    if (pulses[slot].lines == 0) return DORUZEDA_OK;
    if (!EndPulse(slot, PulseEnd::ByItsThread, line)) return DORUZEDA_NOT_REACHED;
    return held ? DORUZEDA_OK : DORUZEDA_ENDED_BY_UNLOAD;
}

int PortController::StartPulse(Pulse& pulse, const PinMapRow* row, bool argumentsValid, int* slot,
                               PendingLines& lines)
{
    const Opening opening = BaseOrRefusal(argumentsValid);
    if (opening.result != DORUZEDA_OK) return opening.result;
    pulse.base = opening.base;
    pulse.reg = PinMap::RegisterAddress(pulse.base, row != nullptr ? row->reg : PinRegister::Data);
    pulse.lines = row != nullptr ? row->mask : kDataLines;
    *slot = PulseSlotFor(pulse.reg, pulse.lines, lines);
    if (*slot < 0) return DORUZEDA_PULSE_BUSY;
    if (pulse.reg == pulse.base) {
        const int refused = DataLinesRefusal(pulse, lines);
        if (refused != DORUZEDA_OK) return refused;
    }
    pulse.before = Read(pulse.reg);
    if (!port_io::LastAccessReached()) {
        LogPulse(pulse, "not reached: the port did not answer the read of the level before", lines);
        return DORUZEDA_NOT_REACHED;
    }
    pulse.latch = row != nullptr ? PinMap::WithLevel(*row, pulse.before, pulse.level != 0)
                                 : static_cast<std::uint16_t>(pulse.level);
    Write(pulse.reg, pulse.latch);
    if (!port_io::LastAccessReached()) {
        LogPulse(pulse, "not reached: the port did not take the first write", lines);
        return DORUZEDA_NOT_REACHED;
    }
    // Read once the write has returned (the recording's stamp, taken inside
    // it, too): the line has changed by now, however late the write was.
    pulse.heldFromNs = WaitSleeper::NowNs();
    pulse.thread = WaitSleeper::CurrentThreadId();
    pulses[*slot] = pulse;
    ++pulsesUnderWay;
    return DORUZEDA_OK;
}

int PortController::DataLinesRefusal(const Pulse& pulse, PendingLines& lines)
{
    // Written while the lines are inputs, the latch would keep the pulse's
    // value, unseen, and a read would give the lines, not the latch: the
    // level before could not be put back.
    const std::uint16_t control = Read(PinMap::RegisterAddress(pulse.base, PinRegister::Control));
    if (!port_io::LastAccessReached()) {
        LogPulse(pulse, "not reached: the port did not answer the read of the control register",
                 lines);
        return DORUZEDA_NOT_REACHED;
    }
    if ((control & PinMap::kDataInputsBit) != 0) {
        LogPulse(pulse, "refused: the data lines are inputs", lines);
        return DORUZEDA_DATA_LINES_INPUTS;
    }
    return DORUZEDA_OK;
}

int PortController::PulseSlotFor(std::uint16_t reg, std::uint16_t lines, PendingLines& ended)
{
    int free = -1;
    for (int slot = 0; slot < kMaxPulses; ++slot) {
        const Pulse& under = pulses[slot];
        // By address: a port's control register may be another's data register.
        const bool meets = under.lines != 0 && under.reg == reg && (under.lines & lines) != 0;
        if (meets && StillPulsing(slot, ended)) return -1;
        if (free < 0 && under.lines == 0) free = slot;
    }
    for (int slot = 0; free < 0 && slot < kMaxPulses; ++slot) {
        if (!StillPulsing(slot, ended)) free = slot;
    }
    return free;
}

bool PortController::StillPulsing(int slot, PendingLines& ended)
{
    if (!WaitSleeper::ThreadEnded(pulses[slot].thread)) return true;
    if (pulses[slot].play != nullptr) {
        EndPlayOfEndedThread(slot, ended);
    } else {
        EndPulse(slot, PulseEnd::ThreadEnded, ended);
    }
    return false;
}

std::uint16_t PortController::RestoredValue(const Pulse& pulse, std::uint16_t now)
{
    if (pulse.pin == 0) return pulse.before;  // a byte goes back whole
    // Only the pulsed pin goes back: the rest of the register as it is now,
    // the data register's as the latch holds it (a read may show inputs).
    const std::uint16_t rest = pulse.reg == pulse.base ? pulse.latch : now;
    return static_cast<std::uint16_t>((rest & ~pulse.lines) | (pulse.before & pulse.lines));
}

void PortController::KeepLatches(std::uint16_t address, std::uint16_t value)
{
    for (Pulse& pulse : pulses) {
        if (pulse.lines != 0 && pulse.reg == address) pulse.latch = value;
    }
}

bool PortController::EndPulse(int slot, PulseEnd end, PendingLines& line)
{
    const Pulse pulse = pulses[slot];
    const bool toPortOnly = end == PulseEnd::ProcessExit;
    const char* failure = nullptr;
    std::uint16_t now = 0;
    if (pulse.pin != 0) {
        now = toPortOnly ? port_io::PortRead(pulse.reg) : Read(pulse.reg);
        if (!port_io::LastAccessReached())
            failure = "not put back: the port did not answer the read before the second write";
    }
    const std::int64_t secondWriteNs = WaitSleeper::NowNs();
    if (failure == nullptr) {
        const std::uint16_t value = RestoredValue(pulse, now);
        toPortOnly ? port_io::PortWrite(pulse.reg, value) : Write(pulse.reg, value);
        if (!port_io::LastAccessReached())
            failure = "not put back: the port did not take the second write";
    }
    pulses[slot] = Pulse{};
    --pulsesUnderWay;
    const char* const endedBy = end == PulseEnd::ProcessExit   ? " ended by the end of the process"
                                : end == PulseEnd::ThreadEnded ? " ended by the end of its thread"
                                                               : "";
    char outcome[kPendingLineSize];
    std::snprintf(outcome, sizeof outcome, "Width=%d%s%s", WidthUs(pulse.heldFromNs, secondWriteNs),
                  failure != nullptr ? " " : endedBy, failure != nullptr ? failure : "");
    LogPulse(pulse, outcome, line);
    return failure == nullptr;
}

void PortController::EndPulsesAtProcessExit() NO_THREAD_SAFETY_ANALYSIS
{
    // Whoever holds the guard now is a thread the end stopped, or one that
    // the end is about to stop: past the wait, the restores go without it.
    const bool locked = guard.TryLockUntil(Deadline::AfterMs(bounds::kExitGuardWaitMs));
    for (int slot = 0; slot < kMaxPulses; ++slot) {
        PendingLine line;  // no other call runs now: written at once
        if (pulses[slot].play != nullptr) LogPlayAtExit(pulses[slot]);
        if (pulses[slot].lines != 0 && pulses[slot].play == nullptr) {
            EndPulse(slot, PulseEnd::ProcessExit, line);
        }
    }
    if (locked) guard.unlock();
}

void PortController::EndPulsesOfEndedThreads(const Deadline& deadline)
{
    PulseLines lines;
    if (!guard.TryLockUntil(deadline)) return;
    for (int slot = 0; slot < kMaxPulses; ++slot) {
        if (pulses[slot].lines != 0) StillPulsing(slot, lines);
    }
    guard.unlock();
}

void PortController::LogPulse(const Pulse& pulse, const char* outcome, PendingLines& line)
{
    if (pulse.pin != 0) {
        line.Format("PulseOutputPin(%d, %d, %d) Port=%x %s", pulse.pin, pulse.level,
                    pulse.microseconds, pulse.base, outcome);
    } else {
        line.Format("PulseDataByte(%d, %d) Port=%x %s", pulse.level, pulse.microseconds, pulse.base,
                    outcome);
    }
}
