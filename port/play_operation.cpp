// The controller's play of a file onto the pins (port_controller.h's
// PlayPins): the schedule read whole before the first write, then each step
// written at its time, held for as a pulse holds (port/hold.h), the guard
// taken for each write only; the pulses' slots keep pulses and other plays
// off its lines.
#include <cstdio>

#include "../log/debug_log.h"
#include "deadline.h"
#include "hold.h"
#include "pin_map.h"
#include "play_schedule.h"
#include "port_controller.h"
#include "port_io.h"
#include "wait_sleep.h"

namespace {

// The two registers a play drives.
constexpr int kPlayedRegisters = 2;
constexpr PinRegister kPlayed[kPlayedRegisters] = {PinRegister::Data, PinRegister::Control};
// A register whose every bit the play drives is written without a read: the
// data register, eight lines. The control register's other bits (the data
// lines' direction among them) are read before each write and kept.
constexpr std::uint8_t kWholeRegister = 0xFF;

int Microseconds(std::int64_t nanoseconds)
{
    return static_cast<int>((nanoseconds + 500) / 1000);
}

}  // namespace

struct PortController::Play {
    const char* file;
    const PlaySchedule& schedule;
    std::uint16_t base;
    std::uint8_t lines[3] = {};
    int slots[kPlayedRegisters] = {-1, -1};
    std::uint16_t written[3] = {};  // each register's value as last written
    std::int64_t originNs = 0;      // the first write's start
    std::int64_t latestNs = 0;      // the worst lateness
    std::size_t made = 0;
};

int PortController::PlayPins(const char* file, PlayReader& reader)
{
    std::uint16_t base = 0;
    {
        const GuardLock lock(guard);
        const Opening opening = BaseOrRefusal();
        if (opening.result != DORUZEDA_OK) return opening.result;
        base = opening.base;
    }
    const char* const name = file != nullptr ? file : "";
    PlaySchedule schedule;
    char why[PlayReader::kWhySize] = "no file named";
    if (file == nullptr || !reader.Read(file, base, schedule, why, sizeof why)) {
        DebugLog("PlayPins(%s) Port=%x refused: %s", name, base, why);
        return DORUZEDA_CANNOT_PLAY;
    }
    Play play{name, schedule, base};
    int result = DORUZEDA_OK;
    {
        PulseLines ended;  // pulses of ended threads put back on its lines
        const GuardLock lock(guard);
        result = OpenPlay(play, ended);
    }
    if (result == DORUZEDA_PULSE_BUSY) return result;
    if (result == DORUZEDA_OK) result = RunPlay(play);
    LogPlay(play, result);
    return result;
}

// The play's line, after its guard is let go: what it made, and how it ended.
void PortController::LogPlay(const Play& play, int result)
{
    char outcome[160] = "";
    const auto made = static_cast<unsigned long>(play.made);
    if (result == DORUZEDA_DATA_LINES_INPUTS) {
        std::snprintf(outcome, sizeof outcome, " refused: the data lines are inputs");
    } else if (result == DORUZEDA_NOT_REACHED) {
        std::snprintf(outcome, sizeof outcome, " not reached: the port did not take change %lu",
                      made + 1);
    } else if (result == DORUZEDA_ENDED_BY_UNLOAD) {
        std::snprintf(outcome, sizeof outcome, " ended by the unload after change %lu of %lu", made,
                      static_cast<unsigned long>(play.schedule.Count()));
    }
    char skipped[64] = "";
    for (int pin = PinMap::kFirstPin, at = 0; pin <= PinMap::kLastSignalPin; ++pin) {
        if ((play.schedule.skippedPins >> pin & 1) == 0) continue;
        at += std::snprintf(skipped + at, sizeof skipped - static_cast<std::size_t>(at), "%s%d",
                            at == 0 ? " Skipped=" : ",", pin);
    }
    DebugLog("PlayPins(%s) Port=%x Changes=%lu Length=%d Latest=%d%s%s", play.file, play.base, made,
             Microseconds(static_cast<std::int64_t>(play.schedule.LengthNs())),
             Microseconds(play.latestNs), skipped, outcome);
}

// The play's slots, then with the data lines among its lines their
// direction; its slots stay taken unless it is refused.
int PortController::OpenPlay(Play& play, PendingLines& ended)
{
    for (int at = 0; at < kPlayedRegisters; ++at) {
        const auto reg = static_cast<std::uint8_t>(kPlayed[at]);
        play.lines[reg] = play.schedule.Lines(reg);
        if (play.lines[reg] == 0) continue;
        const std::uint16_t address = PinMap::RegisterAddress(play.base, kPlayed[at]);
        play.slots[at] = PulseSlotFor(address, play.lines[reg], ended);
        if (play.slots[at] < 0) {
            ClosePlay(play);
            return DORUZEDA_PULSE_BUSY;
        }
        Pulse& slot = pulses[play.slots[at]];
        slot = Pulse{};
        slot.base = play.base;
        slot.reg = address;
        slot.lines = play.lines[reg];
        slot.play = play.file;
        slot.thread = WaitSleeper::CurrentThreadId();
        slot.level = at == 0 || play.slots[0] < 0 ? 0 : -1;
    }
    if (play.lines[static_cast<int>(PinRegister::Data)] == 0) return DORUZEDA_OK;
    const std::uint16_t control = Read(PinMap::RegisterAddress(play.base, PinRegister::Control));
    const int result = !port_io::LastAccessReached()             ? DORUZEDA_NOT_REACHED
                       : (control & PinMap::kDataInputsBit) != 0 ? DORUZEDA_DATA_LINES_INPUTS
                                                                 : DORUZEDA_OK;
    if (result != DORUZEDA_OK) ClosePlay(play);
    return result;
}

// Each step at its time; the first at once.
int PortController::RunPlay(Play& play)
{
    std::optional<WaitSleeper> sleeper;
    const PlayStep* const steps = play.schedule.Steps();
    for (std::size_t at = 0; at < play.schedule.Count(); ++at) {
        if (WaitSleeper::WaitsEnded()) break;
        const auto dueNs = static_cast<std::int64_t>(steps[at].atNs);
        if (at > 0 && !HoldUntil(Deadline::At(play.originNs + dueNs), sleeper)) break;
        const GuardLock lock(guard);
        if (!WriteStep(play, at)) {
            ClosePlay(play);
            return DORUZEDA_NOT_REACHED;
        }
    }
    const GuardLock lock(guard);
    ClosePlay(play);
    return play.made == play.schedule.Count() ? DORUZEDA_OK : DORUZEDA_ENDED_BY_UNLOAD;
}

// One step's write: the register's other bits as they are now where the
// play drives only some of them.
bool PortController::WriteStep(Play& play, std::size_t at)
{
    const PlayStep& step = play.schedule.Steps()[at];
    const auto reg = static_cast<PinRegister>(step.reg);
    const std::uint16_t address = PinMap::RegisterAddress(play.base, reg);
    std::uint16_t value = play.written[step.reg];
    if (play.lines[step.reg] != kWholeRegister) {
        value = Read(address);
        if (!port_io::LastAccessReached()) return false;
    }
    value = static_cast<std::uint16_t>((value & ~step.mask) | step.bits);
    const std::int64_t nowNs = WaitSleeper::NowNs();
    if (at == 0) play.originNs = nowNs;
    const std::int64_t lateNs = nowNs - play.originNs - static_cast<std::int64_t>(step.atNs);
    if (lateNs > play.latestNs) play.latestNs = lateNs;
    Write(address, value);
    if (!port_io::LastAccessReached()) return false;
    play.written[step.reg] = value;
    ++play.made;
    pulses[play.slots[0] >= 0 ? play.slots[0] : play.slots[1]].level = static_cast<int>(play.made);
    return true;
}

void PortController::ClosePlay(const Play& play)
{
    for (const int slot : play.slots) {
        if (slot >= 0 && pulses[slot].play == play.file) pulses[slot] = Pulse{};
    }
}

// At the end of the process, which stopped the playing thread: the pins
// stay at the last change made; the line says where it stopped.
void PortController::LogPlayAtExit(const Pulse& slot)
{
    if (slot.level < 0) return;
    DebugLog("PlayPins(%s) Port=%x Changes=%d ended by the end of the process", slot.play,
             slot.base, slot.level);
}

// A play whose thread has ended (a host's TerminateThread): its slots freed,
// the pins left at its last change. Its file's name may have gone with the
// thread's stack: the line names the port and the changes made.
void PortController::EndPlayOfEndedThread(int slot, PendingLines& line)
{
    const Pulse ended = pulses[slot];
    for (Pulse& other : pulses) {
        if (other.play == ended.play && other.thread == ended.thread) other = Pulse{};
    }
    line.Format("PlayPins Port=%x ended by the end of its thread", ended.base);
}
