#include "recording_session_win32.h"

#include <cstdio>
#include <cstring>

#include "../../log/debug_log.h"
#include "../../port/pin_map.h"
#include "../../port/port_io.h"
#include "../../port/wait_sleep.h"
#include "system_error_win32.h"

namespace recording {
namespace {

// How often the buffer goes to the file while there is something in it.
constexpr LONG kFlushPeriodMs = 250;
// A buffer this large goes to the file at once, not at the next period.
constexpr std::size_t kFlushSoon = std::size_t{256} * 1024;

// The file's tick, a microsecond, on the wait seam's clock: the one clock of
// the library.
std::uint64_t Microseconds()
{
    return static_cast<std::uint64_t>(WaitSleeper::NowNs() / 1000);
}

}  // namespace

bool TryLockUntil(SRWLOCK& lock, const Deadline& deadline)
{
    return PollUntil(deadline, [&lock] { return TryAcquireSRWLockExclusive(&lock) != 0; });
}

Session::Session(const char* name)
{
    std::snprintf(path, sizeof path, "%s", name);
}

bool Session::Open(const std::uint16_t* ports, int count)
{
    if (!recorder.Start(ports, count, &Microseconds) || !spare.Reserve(kFlushSoon)) {
        refusal = Refusal::OutOfMemory;
        return false;
    }
    refusal = Refusal::OpenFailed;
    return file.Open(path, openFailure);
}

void Session::Begin()
{
    // The timer's callback runs on a thread of the system's pool, which
    // starts in the system's code; the end of the recording waits for it,
    // and it is bounded (kWriteWaitMs), so none runs after the unload.
    timer = CreateThreadpoolTimer(&Session::OnTimer, this, nullptr);
    if (timer != nullptr) {
        LARGE_INTEGER due;
        due.QuadPart = -static_cast<LONGLONG>(kFlushPeriodMs) * 10000;  // relative, 100 ns
        FILETIME dueTime;
        dueTime.dwLowDateTime = static_cast<DWORD>(due.QuadPart & 0xFFFFFFFF);
        dueTime.dwHighDateTime = static_cast<DWORD>(due.QuadPart >> 32);
        SetThreadpoolTimer(timer, &dueTime, kFlushPeriodMs, 0);
    }
    // Without a timer the file gets everything when the recording ends.
}

// A port's first access: its registers first, read outside the lock (the
// read may wait for a port another program holds; the controller's guard
// keeps every other access out meanwhile).
void Session::Before(std::uint16_t address)
{
    if (!Taking()) return;
    std::uint16_t base = 0;
    AcquireSRWLockExclusive(&lock);
    const bool awaits = recorder.AwaitsLevels(address, &base);
    ReleaseSRWLockExclusive(&lock);
    if (!awaits) return;
    RecordedRegisters registers{base, 0, 0, 0};
    const auto read = [](std::uint16_t at) {
        return static_cast<std::uint8_t>(port_io::PortRead(at) & 0xFF);
    };
    registers.control = read(PinMap::RegisterAddress(base, PinRegister::Control));
    registers.data = read(base);
    registers.status = read(PinMap::RegisterAddress(base, PinRegister::Status));
    AcquireSRWLockExclusive(&lock);
    recorder.Levels(registers, &Microseconds);
    ReleaseSRWLockExclusive(&lock);
}

// Once stopped, the controller still feeds the session until the recording
// is ended under its guard: nothing is taken any more.
void Session::Seen(std::uint16_t address, std::uint8_t value, bool isWrite)
{
    if (!Taking()) return;
    AcquireSRWLockExclusive(&lock);
    recorder.Access(address, value, isWrite, &Microseconds);
    if (!kicked && timer != nullptr && recorder.Pending() >= kFlushSoon) {
        kicked = true;
        FILETIME now{};  // a time long past: at once
        SetThreadpoolTimer(timer, &now, kFlushPeriodMs, 0);
    }
    ReleaseSRWLockExclusive(&lock);
}

VOID CALLBACK Session::OnTimer(PTP_CALLBACK_INSTANCE, PVOID context, PTP_TIMER)
{
    static_cast<Session*>(context)->WriteOut(Deadline::AfterMs(kWriteWaitMs));
}

void Session::WriteOut(const Deadline& deadline)
{
    if (state == kStopped || InterlockedExchange(&writing, 1) != 0) return;
    AcquireSRWLockExclusive(&lock);
    spare.Clear();
    recorder.TakeText(spare, &Microseconds);
    spareDone = 0;
    kicked = false;
    ReleaseSRWLockExclusive(&lock);
    if (!WriteSpare(deadline)) {
        AcquireSRWLockExclusive(&lock);
        recorder.TextLost();  // the pins' levels again with the next change
        ReleaseSRWLockExclusive(&lock);
    }
    InterlockedExchange(&writing, 0);
}

bool Session::WriteSpare(const Deadline& deadline)
{
    if (file.Abandoned()) {
        droppedBytes += spare.Size() - spareDone;
        spareDone = spare.Size();
        return false;
    }
    DWORD error = 0;
    const BoundedFile::Outcome outcome =
        file.Write(spare.Data(), spare.Size(), deadline, spareDone, error);
    if (outcome == BoundedFile::Outcome::Written) return true;
    if (outcome == BoundedFile::Outcome::Failed) {
        // The recording ends here (the accesses are ignored from now on);
        // the macro runs on.
        Stop();
        DebugLog("Recording into %s stopped: %s", path, SystemError(error).text);
        return false;
    }
    droppedBytes += spare.Size() - spareDone;
    spareDone = spare.Size();
    if (file.Abandoned()) {
        // An abandoned write's bytes stay with the system: never reused or
        // freed. The file takes nothing more: the recording ends as at a
        // failure, and its end names what was dropped.
        spare.Forget();
        Stop();
    }
    return false;
}

void Session::StopTimer()
{
    if (timer == nullptr) return;
    // Cancels a callback not yet begun and waits for one under way, which is
    // bounded and needs no loader lock: this may run in DllMain.
    SetThreadpoolTimer(timer, nullptr, 0, 0);
    WaitForThreadpoolTimerCallbacks(timer, TRUE);
    CloseThreadpoolTimer(timer);
    timer = nullptr;
}

bool Session::Finish()
{
    StopTimer();
    // From here the accesses are ignored (a turn under way may have stopped
    // the recording first).
    const LONG was = InterlockedExchange(&state, kEnded);
    // Counted from here: a timer's turn under way may have used its own
    // whole wait, and the end's last levels must still get theirs.
    const Deadline deadline = Deadline::AfterMs(kWriteWaitMs);
    if (was == kRecording) {
        AcquireSRWLockExclusive(&lock);
        recorder.End(&Microseconds);
        ReleaseSRWLockExclusive(&lock);
        InterlockedExchange(&writing, 0);
        WriteOut(deadline);
    }
    file.Close();
    LogWhatWasLost();
    LogUnrecorded();
    return !file.Abandoned();
}

void Session::LogWhatWasLost()
{
    if (recorder.Dropped() > 0) {
        DebugLog("Recording into %s: %lu changes dropped while the file fell behind", path,
                 static_cast<unsigned long>(recorder.Dropped()));
    }
    if (droppedBytes > 0) {
        DebugLog("Recording into %s: %lu bytes dropped, the file took no write within %lu ms", path,
                 static_cast<unsigned long>(droppedBytes), kWriteWaitMs);
    }
    if (droppedAtExit > 0) {
        DebugLog("Recording into %s: %lu bytes dropped at the end of the process", path,
                 static_cast<unsigned long>(droppedAtExit));
    }
}

void Session::LogUnrecorded()
{
    if (recorder.UnrecordedCount() == 0) return;
    char counts[48 * (VcdRecorder::kUnrecordedAddresses + 1)] = {};
    std::size_t length = 0;
    for (std::size_t index = 0; index < recorder.UnrecordedCount(); ++index) {
        const VcdRecorder::Unrecorded& counted = recorder.UnrecordedAddresses()[index];
        length += static_cast<std::size_t>(std::snprintf(
            counts + length, sizeof counts - length, "%s%X (%lu)", index == 0 ? "" : ", ",
            static_cast<unsigned>(counted.address), static_cast<unsigned long>(counted.count)));
    }
    if (recorder.UnrecordedOthers() > 0) {
        std::snprintf(counts + length, sizeof counts - length, ", others (%lu)",
                      static_cast<unsigned long>(recorder.UnrecordedOthers()));
    }
    DebugLog("Recording into %s: accesses to addresses of no recorded port: %s", path, counts);
}

// The writer was ended in the middle of `spare`. On a disk its last write
// goes again at the same place (what it wrote is overwritten, so no line is
// torn or lost). Elsewhere (a pipe) the ended thread's write may still be
// queued on the file, and what would follow it could be mixed into it: the
// rest is dropped, and named in the log.
bool Session::RedoCutWrite(const Deadline& deadline, bool& lost)
{
    if (writing == 0 || spareDone >= spare.Size()) return true;
    if (file.OnDisk()) {
        lost = !WriteSpare(deadline);
        return true;
    }
    droppedAtExit += spare.Size() - spareDone;
    return false;
}

void Session::WriteRestAtExit(bool lost, const Deadline& deadline)
{
    if (lost) recorder.TextLost();
    recorder.End(&Microseconds);
    spare.Clear();
    recorder.TakeText(spare, &Microseconds);
    spareDone = 0;
    ReleaseSRWLockExclusive(&lock);
    WriteSpare(deadline);
}

void Session::FinishAtProcessExit()
{
    const Deadline deadline = Deadline::AfterMs(kWriteWaitMs);
    bool lost = false;
    const bool writeRest = RedoCutWrite(deadline, lost);
    // A thread stopped while it held the lock leaves it held: a bounded try.
    const bool locked = TryLockUntil(lock, Deadline::AfterMs(bounds::kExitLockWaitMs));
    if (locked && writeRest && Taking()) {
        WriteRestAtExit(lost, deadline);
    } else {
        if (Taking()) droppedAtExit += recorder.Pending();
        if (locked) ReleaseSRWLockExclusive(&lock);
    }
    LogWhatWasLost();
    // A pipe with the stopped write still on it may not close (Wine waits
    // for that write): the end of the process closes it.
    if (writeRest) file.Close();
}

}  // namespace recording
