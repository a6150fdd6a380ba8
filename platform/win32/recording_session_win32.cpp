#include "recording_session_win32.h"

#include <cstdio>
#include <cstring>
#include <limits>

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

// The moves of a session's stage (recording_session_win32.h).
struct Move {
    LONG from;
    LONG to;
};
constexpr Move kMoves[] = {
    {Session::kOpening, Session::kOutOfMemory}, {Session::kOpening, Session::kTaking},
    {Session::kTaking, Session::kKicked},       {Session::kTaking, Session::kWriting},
    {Session::kKicked, Session::kWriting},      {Session::kWriting, Session::kTaking},
    {Session::kWriting, Session::kStopped},     {Session::kWriting, Session::kAbandoned},
    {Session::kTaking, Session::kEnding},       {Session::kKicked, Session::kEnding},
    {Session::kEnding, Session::kEnded},        {Session::kEnding, Session::kAbandoned},
    {Session::kStopped, Session::kEnded}};

// The lines an end can write, each at most once: its write stopped (the
// turn's or the end's, WriteBuffer), then LogWhatWasLost's changes dropped
// and bytes dropped (the third is the end of the process's), then
// LogUnrecorded's.
constexpr unsigned long kEndLines = 1 + 2 + 1;
static_assert(kEndLines <= bounds::kRecordingEndLogLines,
              "an end writes no more lines than its bound counts");

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

bool Session::Enter(Stage to)
{
    for (;;) {
        const LONG from = stage;
        bool allowed = false;
        for (const Move& move : kMoves) allowed = allowed || (move.from == from && move.to == to);
        if (!allowed) return false;
        if (InterlockedCompareExchange(&stage, to, from) == from) return true;
    }
}

bool Session::RecordsAccesses() const
{
    const LONG now = stage;
    return now == kTaking || now == kKicked || now == kWriting;
}

bool Session::Open(const std::uint16_t* ports, int count)
{
    if (recorder.Start(ports, count, &Microseconds) && beingWritten.Reserve(kFlushSoon)) {
        return true;
    }
    Enter(kOutOfMemory);
    return false;
}

void Session::Begin()
{
    Enter(kTaking);
}

DWORD Session::OpenFile()
{
    DWORD failure = 0;
    if (!file.Open(path, failure)) return failure;
    // The timer's callback runs on a thread of the system's pool, which
    // starts in the system's code; the end of the recording waits for it,
    // and it is bounded (kWriteWaitMs), so none runs after the unload.
    // The accesses meanwhile see it under `lock`.
    const PTP_TIMER created = CreateThreadpoolTimer(&Session::OnTimer, this, nullptr);
    AcquireSRWLockExclusive(&lock);
    timer = created;
    ReleaseSRWLockExclusive(&lock);
    if (timer != nullptr) {
        LARGE_INTEGER due;
        due.QuadPart = -static_cast<LONGLONG>(kFlushPeriodMs) * 10000;  // relative, 100 ns
        FILETIME dueTime;
        dueTime.dwLowDateTime = static_cast<DWORD>(due.QuadPart & 0xFFFFFFFF);
        dueTime.dwHighDateTime = static_cast<DWORD>(due.QuadPart >> 32);
        SetThreadpoolTimer(timer, &dueTime, kFlushPeriodMs, 0);
    }
    // Without a timer the file gets everything when the recording ends.
    return 0;
}

// A port's first access: its registers first, read outside the lock (the
// read may wait for a port another program holds; the controller's guard
// keeps every other access out meanwhile).
void Session::Before(std::uint16_t address)
{
    if (!RecordsAccesses()) return;
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
    if (!RecordsAccesses()) return;
    AcquireSRWLockExclusive(&lock);
    recorder.Access(address, value, isWrite, &Microseconds);
    if (timer != nullptr && recorder.Pending() >= kFlushSoon && Enter(kKicked)) {
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
    if (!Enter(kWriting)) return;  // ended, stopped, or another turn writes
    TakeBuffer();
    const Sent sent = WriteBuffer(deadline);
    if (sent != Sent::kAll) {
        AcquireSRWLockExclusive(&lock);
        recorder.TextLost();  // the pins' levels again with the next change
        ReleaseSRWLockExclusive(&lock);
    }
    Enter(AfterTurn(sent));
}

Session::Stage Session::AfterTurn(Sent sent)
{
    if (sent == Sent::kFailed) return kStopped;
    return sent == Sent::kKept ? kAbandoned : kTaking;
}

void Session::TakeBuffer()
{
    AcquireSRWLockExclusive(&lock);
    beingWritten.Clear();
    recorder.TakeText(beingWritten, &Microseconds);
    written = 0;
    ReleaseSRWLockExclusive(&lock);
}

Session::Sent Session::WriteBuffer(const Deadline& deadline)
{
    if (file.Abandoned()) {
        droppedBytes += beingWritten.Size() - written;
        written = beingWritten.Size();
        return Sent::kKept;
    }
    DWORD error = 0;
    const BoundedFile::Outcome outcome =
        file.Write(beingWritten.Data(), beingWritten.Size(), deadline, written, error);
    if (outcome == BoundedFile::Outcome::Written) return Sent::kAll;
    if (outcome == BoundedFile::Outcome::Failed) {
        // The recording ends here (the accesses are ignored from now on);
        // the macro runs on.
        DebugLog("Recording into %s stopped: %s", path, SystemError(error).text);
        return Sent::kFailed;
    }
    droppedBytes += beingWritten.Size() - written;
    written = beingWritten.Size();
    if (!file.Abandoned()) return Sent::kDropped;
    // An abandoned write's bytes stay with the system: never reused or
    // freed. The file takes nothing more: the recording ends as at a
    // failure, and its end names what was dropped.
    beingWritten.Forget();
    return Sent::kKept;
}

void Session::StopTimer()
{
    // Taken from the accesses first (an unload without the controller's
    // guard may still see one come).
    AcquireSRWLockExclusive(&lock);
    const PTP_TIMER stopping = timer;
    timer = nullptr;
    ReleaseSRWLockExclusive(&lock);
    if (stopping == nullptr) return;
    // Cancels a callback not yet begun and waits for one under way, which is
    // bounded and needs no loader lock: this may run in DllMain.
    SetThreadpoolTimer(stopping, nullptr, 0, 0);
    WaitForThreadpoolTimerCallbacks(stopping, TRUE);
    CloseThreadpoolTimer(stopping);
}

bool Session::Finish(const Deadline& by)
{
    StopTimer();
    // Counted from here: a timer's turn under way may have used its own
    // whole wait, and the end's last levels must still get theirs, but only
    // until what the end has left, its cancel's wait kept.
    const Deadline deadline =
        Deadline::Earliest(Deadline::AfterMs(kWriteWaitMs), by.EarlierByMs(kCancelWaitMs));
    // From here the accesses are ignored (a turn under way may have stopped
    // the recording first).
    if (Enter(kEnding)) {
        AcquireSRWLockExclusive(&lock);
        recorder.End(&Microseconds);
        ReleaseSRWLockExclusive(&lock);
        TakeBuffer();
        Enter(WriteBuffer(deadline) == Sent::kKept ? kAbandoned : kEnded);
    } else {
        Enter(kEnded);  // from kStopped; kAbandoned stays
    }
    file.Close();
    LogWhatWasLost();
    LogUnrecorded();
    return stage == kEnded;
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
    // An entry: ", " and an address (four hex digits) or "others", then
    // " (", its count's digits and ")"; one for each address and the others.
    constexpr std::size_t kEntry =
        sizeof ", others ()" - 1 + std::numeric_limits<std::uint64_t>::digits10 + 1;
    char counts[kEntry * (VcdRecorder::kUnrecordedAddresses + 1) + 1] = {};
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

// The writer was ended in the middle of `beingWritten`. On a disk its last write
// goes again at the same place (what it wrote is overwritten, so no line is
// torn or lost). Elsewhere (a pipe) the ended thread's write may still be
// queued on the file, and what would follow it could be mixed into it: the
// rest is dropped, and named in the log.
bool Session::RedoCutWrite(const Deadline& deadline, bool& lost)
{
    if (stage != kWriting || written >= beingWritten.Size()) return true;
    if (file.OnDisk()) {
        const Sent sent = WriteBuffer(deadline);
        lost = sent != Sent::kAll;
        Enter(AfterTurn(sent));
        return true;
    }
    droppedAtExit += beingWritten.Size() - written;
    return false;
}

void Session::WriteRestAtExit(bool lost, const Deadline& deadline)
{
    if (lost) recorder.TextLost();
    recorder.End(&Microseconds);
    beingWritten.Clear();
    recorder.TakeText(beingWritten, &Microseconds);
    written = 0;
    ReleaseSRWLockExclusive(&lock);
    WriteBuffer(deadline);
}

void Session::FinishAtProcessExit()
{
    const Deadline deadline = Deadline::AfterMs(kWriteWaitMs);
    bool lost = false;
    const bool writeRest = RedoCutWrite(deadline, lost);
    // A thread stopped while it held the lock leaves it held: a bounded try.
    const bool locked = TryLockUntil(lock, Deadline::AfterMs(bounds::kExitLockWaitMs));
    if (locked && writeRest && RecordsAccesses()) {
        WriteRestAtExit(lost, deadline);
    } else {
        if (RecordsAccesses()) droppedAtExit += recorder.Pending();
        if (locked) ReleaseSRWLockExclusive(&lock);
    }
    LogWhatWasLost();
    // A pipe with the stopped write still on it may not close (Wine waits
    // for that write): the end of the process closes it.
    if (writeRest) file.Close();
}

}  // namespace recording
