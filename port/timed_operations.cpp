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
int WidthUs(std::int64_t heldFromNs, std::int64_t endNs)
{
    return static_cast<int>((endNs - heldFromNs + 500) / 1000);
}

// A byte pulse's lines: the whole data register.
constexpr std::uint16_t kDataLines = 0xFF;

}  // namespace

int PortController::WaitInputPin(int pin, int level, int timeoutMs)
{
    const PinMapRow* row = PinWith(pin, &PinMapRow::readable);
    const Opening opening = WaitOpening(row, timeoutMs);
    if (opening.result != DORUZEDA_OK) return opening.result;
    const std::uint16_t base = opening.base;
    const int result =
        AwaitLevel(PinMap::RegisterAddress(base, row->reg), *row, level != 0, timeoutMs);
    const GuardLock lock(guard);
    DebugLog("WaitInputPin(%d, %d, %d) Port=%x Result=%d", pin, level, timeoutMs, base, result);
    return result;
}

int PortController::TimeInputPin(int pin, int level, int timeoutMs)
{
    const PinMapRow* row = PinWith(pin, &PinMapRow::readable);
    const Opening opening = WaitOpening(row, timeoutMs);
    if (opening.result != DORUZEDA_OK) return opening.result;
    const std::uint16_t base = opening.base;
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

PortController::Opening PortController::WaitOpening(const PinMapRow* row, int timeoutMs) const
{
    const GuardLock lock(guard);
    return BaseOrRefusal(row != nullptr && timeoutMs >= 0 && timeoutMs <= kMaxWaitMs);
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
    const Opening opening = BaseOrRefusal(argumentsValid);
    if (opening.result != DORUZEDA_OK) return opening.result;
    pulse.base = opening.base;
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
        if (pulses[slot].play != nullptr) LogPlayAtExit(pulses[slot]);
        if (pulses[slot].lines != 0 && pulses[slot].play == nullptr) EndPulse(slot, true);
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
