#include "recording.h"

#include "../include/doruzeda_do.h"
#include "../log/debug_log.h"
#include "../port/deadline.h"
#include "../port/pin_map.h"
#include "../port/port_controller.h"
#include "../port/port_io.h"
#include "../port/wait_sleep.h"
#include "vcd_recorder.h"

#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0600
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600  // the thread pool's timers, CancelIoEx
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/win32/bounded_file_win32.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace recording {
namespace {

// How often the buffer goes to the file while there is something in it.
constexpr LONG kFlushPeriodMs = 250;
// A buffer this large goes to the file at once, not at the next period.
constexpr std::size_t kFlushSoon = std::size_t{256} * 1024;
// The longest file name taken (the system's own limit for these calls);
// a longer one is named in the log cut to this.
constexpr std::size_t kLongestName = MAX_PATH - 1;

// The file's tick, a microsecond, on the wait seam's clock: the one clock of
// the library.
std::uint64_t Microseconds()
{
    return static_cast<std::uint64_t>(WaitSleeper::NowNs() / 1000);
}

// The system's text for an error code, without its line end.
struct Reason {
    explicit Reason(DWORD code);
    char text[160] = {};
};

Reason::Reason(DWORD code)
{
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, sizeof text, nullptr);
    while (length > 0 && std::strchr("\r\n .", text[length - 1]) != nullptr) --length;
    text[length] = '\0';
    if (length == 0)
        std::snprintf(text, sizeof text, "error %lu", static_cast<unsigned long>(code));
}

// Takes `lock` if it comes free before `deadline`: for a lock that a thread
// stuck in the system, or stopped by the end of the process, may hold. A
// Sleep(1) may last a tick of the system's timer: the deadline, not a count
// of tries, ends the wait.
bool TryLockUntil(SRWLOCK& lock, const Deadline& deadline)
{
    while (TryAcquireSRWLockExclusive(&lock) == 0) {
        if (deadline.Passed()) return false;
        Sleep(1);
    }
    return true;
}

// One recording: its file, its recorder and the timer that writes it out.
class Session final : public PortRecording {
public:
    // Why a start was refused.
    enum class Refusal { NoPort, OutOfMemory, OpenFailed };
    // Where the recording is. Stopped: its file failed a write, or kept a
    // write past its cancel; the accesses are ignored from then on, as they
    // are once it has ended.
    enum State : LONG { kRecording, kStopped, kEnded };

    explicit Session(const char* name);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool Open(const std::uint16_t* bases, int count) override;
    void Begin() override;
    void Before(std::uint16_t address) override;
    void Seen(std::uint16_t address, std::uint8_t value, bool isWrite) override;

    // Once no access reaches it any more (End), or at an unload that could
    // not make sure of that (the accesses are ignored from here on): the
    // timer stopped and its callback waited for, the rest to the file within
    // kWriteWaitMs from then, and the file closed; the lines about what was
    // dropped and about unrecorded addresses to the log. False when the
    // system may still use it (a write that its cancel did not end): it must
    // then never be freed.
    bool Finish();
    // At the end of the process: what is buffered to the file, waiting at
    // most the bound of a write.
    void FinishAtProcessExit();

    char path[kLongestName + 1] = {};
    Refusal refusal = Refusal::NoPort;
    DWORD openFailure = 0;  // the system's code, when the file could not be opened

private:
    static VOID CALLBACK OnTimer(PTP_CALLBACK_INSTANCE, PVOID context, PTP_TIMER);
    bool Taking() const { return state == kRecording; }
    void Stop() { InterlockedCompareExchange(&state, kStopped, kRecording); }
    // The buffer to the file by `deadline`; at a write failure, the
    // recording ends with a log line. One writer at a time (`writing`).
    void WriteOut(const Deadline& deadline);
    // `spare` from `spareDone` on; what the file does not take in time is
    // dropped and counted. True when the file took it all.
    bool WriteSpare(const Deadline& deadline);
    void StopTimer();
    // At the end of the process: the write the end cut short made again
    // where the file allows it; false when the rest must not follow it.
    bool RedoCutWrite(const Deadline& deadline, bool& lost);
    // At the end of the process, with `lock` held (released here): the end's
    // levels and the rest to the file.
    void WriteRestAtExit(bool lost, const Deadline& deadline);
    void LogWhatWasLost();
    void LogUnrecorded();

    BoundedFile file{kCancelWaitMs};
    PTP_TIMER timer = nullptr;
    SRWLOCK lock = SRWLOCK_INIT;  // guards recorder and kicked; held only briefly
    VcdRecorder recorder;
    volatile LONG state = kRecording;
    bool kicked = false;              // the timer was asked to run at once
    volatile LONG writing = 0;        // a writer holds `spare`
    VcdText spare;                    // the buffer being written out
    std::size_t spareDone = 0;        // how much of it the file took
    std::uint64_t droppedBytes = 0;   // what a stalled file did not take in time
    std::uint64_t droppedAtExit = 0;  // what the end of the process left unwritten
};

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
        DebugLog("Recording into %s stopped: %s", path, Reason(error).text);
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

// The recording under way; set only with `starts` held, taken away by one
// exchange (TakeCurrent), so that of two ends only one has it. The
// controller feeds it from StartRecording to EndRecording.
Session* volatile current = nullptr;
// One start or end at a time: the one that ends a recording writes its rest
// before the next file is created (the same name may come again). Only
// starts and ends take it; no access does.
SRWLOCK starts = SRWLOCK_INIT;

Session* TakeCurrent()
{
    return static_cast<Session*>(
        InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&current), nullptr));
}

// Ends the recording under way, its file complete within the bound of a
// write. With `starts` held, or at the unload (`by`: the controller's guard
// waited for until then).
void EndCurrent(PortController& controller, const Deadline* by)
{
    Session* const ending = TakeCurrent();
    if (ending == nullptr) return;
    bool detached = true;
    if (by == nullptr) {
        controller.EndRecording(*ending);
    } else {
        detached = controller.EndRecording(*ending, *by);
    }
    // Finished all the same when a call stuck in the port driver keeps the
    // controller's guard (its timer ended, the accesses ignored), but never
    // freed: the controller may still hand it an access. Nor is one whose
    // write the system still holds.
    if (ending->Finish() && detached) delete ending;
}

// A name too long for the system's calls, cut in its one log line.
void LogTooLong(const char* path)
{
    DebugLog("Recording into %.*s... failed: %s", static_cast<int>(kLongestName), path,
             Reason(ERROR_FILENAME_EXCED_RANGE).text);
}

// Whether `path` names the library's own log (RurSetupDebug.txt in the
// current directory), which a recording would empty.
bool NamesTheLog(const char* path)
{
    char full[MAX_PATH] = {};
    char log[MAX_PATH] = {};
    const DWORD fullLength = GetFullPathNameA(path, sizeof full, full, nullptr);
    const DWORD logLength = GetFullPathNameA(kDebugLogFileName, sizeof log, log, nullptr);
    return fullLength > 0 && fullLength < sizeof full && logLength > 0 && logLength < sizeof log &&
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, full, -1, log, -1) == CSTR_EQUAL;
}

void LogStartFailure(const Session& session)
{
    switch (session.refusal) {
    case Session::Refusal::NoPort:
        DebugLog("Recording into %s failed: no port to record", session.path);
        break;
    case Session::Refusal::OutOfMemory:
        DebugLog("Recording into %s failed: %s", session.path,
                 Reason(ERROR_NOT_ENOUGH_MEMORY).text);
        break;
    case Session::Refusal::OpenFailed:
        DebugLog("Recording into %s failed: %s", session.path, Reason(session.openFailure).text);
        break;
    }
}

int StartLocked(PortController& controller, const char* path)
{
    if (std::strlen(path) > kLongestName) {
        LogTooLong(path);
        return DORUZEDA_NOT_RECORDING;
    }
    if (NamesTheLog(path)) {
        DebugLog("Recording into %s failed: it is the library's own log", path);
        return DORUZEDA_NOT_RECORDING;
    }
    auto* session = new (std::nothrow) Session(path);
    if (session == nullptr) {
        DebugLog("Recording into %s failed: %s", path, Reason(ERROR_NOT_ENOUGH_MEMORY).text);
        return DORUZEDA_NOT_RECORDING;
    }
    if (controller.StartRecording(*session) == DORUZEDA_OK) {
        InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&current), session);
        return DORUZEDA_OK;
    }
    LogStartFailure(*session);
    delete session;
    return DORUZEDA_NOT_RECORDING;
}

// The file name of the process's `load`th load: the first as named, then
// with "-2", "-3", ... before the extension. A name that does not fit is cut,
// one character too long, for StartLocked to refuse.
void NameForLoad(const char* path, unsigned long load, char (&name)[kLongestName + 2])
{
    const char* folder = std::strrchr(path, '\\');
    for (const char* separator : {std::strrchr(path, '/'), std::strrchr(path, ':')}) {
        if (separator != nullptr && (folder == nullptr || separator > folder)) folder = separator;
    }
    const char* dot = std::strrchr(path, '.');
    const std::size_t at = load > 1 && dot != nullptr && (folder == nullptr || dot > folder)
                               ? static_cast<std::size_t>(dot - path)
                               : std::strlen(path);
    if (load <= 1) {
        std::snprintf(name, sizeof name, "%s", path);
    } else {
        std::snprintf(name, sizeof name, "%.*s-%lu%s", static_cast<int>(at), path, load, path + at);
    }
}

// Counts this load among the process's loads that record from the
// environment: "PROCESS:COUNT" in a variable of the environment, which the
// library's unload leaves and a child process inherits (its own id differs,
// so it counts afresh).
unsigned long CountThisLoad()
{
    const char kVariable[] = "DORUZEDA_RECORD_LOADS";
    char value[64] = {};
    const DWORD length = GetEnvironmentVariableA(kVariable, value, sizeof value);
    unsigned long process = 0;
    unsigned long count = 0;
    if (length == 0 || length >= sizeof value ||
        std::sscanf(value, "%lu:%lu", &process, &count) != 2 || process != GetCurrentProcessId()) {
        count = 0;
    }
    ++count;
    std::snprintf(value, sizeof value, "%lu:%lu", static_cast<unsigned long>(GetCurrentProcessId()),
                  count);
    SetEnvironmentVariableA(kVariable, value);
    return count;
}

// A DORUZEDA_RECORD too long to be a file name, `length` characters with its
// terminator: its one log line, the name cut.
void RefuseLongVariable(DWORD length)
{
    char* const whole = new (std::nothrow) char[length];
    if (whole == nullptr) {
        DebugLog("Recording into DORUZEDA_RECORD's file failed: %s",
                 Reason(ERROR_NOT_ENOUGH_MEMORY).text);
        return;
    }
    const DWORD read = GetEnvironmentVariableA("DORUZEDA_RECORD", whole, length);
    if (read > 0 && read < length) LogTooLong(whole);
    delete[] whole;
}

}  // namespace

int RecordInto(PortController& controller, const char* path)
{
    AcquireSRWLockExclusive(&starts);
    EndCurrent(controller, nullptr);
    const int result =
        path == nullptr || *path == '\0' ? DORUZEDA_OK : StartLocked(controller, path);
    ReleaseSRWLockExclusive(&starts);
    return result;
}

void StartFromEnvironment(PortController& controller)
{
    // The process's environment as it is now (a host may have set the
    // variable since it started), not the C library's copy from the start.
    char path[kLongestName + 1] = {};
    const DWORD length = GetEnvironmentVariableA("DORUZEDA_RECORD", path, sizeof path);
    if (length == 0) return;
    if (length >= sizeof path) {
        RefuseLongVariable(length);
        return;
    }
    char name[kLongestName + 2];
    NameForLoad(path, CountThisLoad(), name);
    AcquireSRWLockExclusive(&starts);
    StartLocked(controller, name);
    ReleaseSRWLockExclusive(&starts);
}

void EndAtUnload(PortController& controller, const Deadline& deadline)
{
    // The calls inside have left (the unload waited for them, its bound
    // covering a start or an end of a recording), so `starts` and the
    // controller's guard are free, unless a call is stuck in the system past
    // that wait (a start in CreateFile on a share that does not answer, an
    // access in a port driver that hangs). Both are waited for until one
    // deadline; without `starts` the recording under way is ended all the
    // same, and without the guard it is finished and left unfreed: either
    // way its timer is stopped and its turn under way waited for, so that no
    // callback of ours runs after the unload.
    const bool locked = TryLockUntil(starts, deadline);
    EndCurrent(controller, &deadline);
    if (locked) ReleaseSRWLockExclusive(&starts);
}

void EndAtProcessExit()
{
    Session* const ending = TakeCurrent();
    if (ending == nullptr) return;
    ending->FinishAtProcessExit();
}

}  // namespace recording

namespace {
// The library's static objects go when the process ends (after DllMain, as
// they do at an unload, when nothing records any more by then).
struct EndsWithTheProcess {
    EndsWithTheProcess() = default;
    EndsWithTheProcess(const EndsWithTheProcess&) = delete;
    EndsWithTheProcess& operator=(const EndsWithTheProcess&) = delete;
    ~EndsWithTheProcess() { recording::EndAtProcessExit(); }
} endsWithTheProcess;
}  // namespace
