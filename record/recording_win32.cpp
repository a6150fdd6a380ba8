#include "record/recording.h"

#include "log/debug_log.h"
#include "port/port_controller.h"
#include "record/access_tap.h"
#include "record/vcd_recorder.h"

#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0600
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600  // the thread pool's timers
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace recording {
namespace {

// How often the buffer goes to the file while there is something in it.
constexpr LONG kFlushPeriodMs = 250;
// A buffer this large goes to the file at once, not at the next period.
constexpr std::size_t kFlushSoon = 256 * 1024;

// Read when the library loads. Not a function's static: its guard would start
// the static runtime's thread support, which leaves a thread handle and an
// event handle behind at every unload.
const std::uint64_t frequency = [] {
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    return static_cast<std::uint64_t>(value.QuadPart);
}();

std::uint64_t Nanoseconds()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    const auto ticks = static_cast<std::uint64_t>(counter.QuadPart);
    return ticks / frequency * 1000000000u + ticks % frequency * 1000000000u / frequency;
}

// The system's text for an error code, without its line end.
std::string Reason(DWORD code)
{
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof text, nullptr);
    std::string reason(text, length);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == ' ' || reason.back() == '.')) {
        reason.pop_back();
    }
    return reason.empty() ? "error " + std::to_string(code) : reason;
}

// Writes all of `text`; the system's reason when it could not.
bool WriteAll(HANDLE file, const std::string& text, std::string& reason)
{
    const char* bytes = text.data();
    std::size_t size = text.size();
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
        if (!WriteFile(file, bytes, chunk, &written, nullptr) || written == 0) {
            reason = Reason(GetLastError());
            return false;
        }
        bytes += written;
        size -= written;
    }
    return true;
}

// One recording: its file, its recorder and the timer that writes it out.
class Session final : public PortRecording, public AccessTap {
public:
    explicit Session(const char* name) : path(name) { InitializeSRWLock(&lock); }
    ~Session() { delete recorder; }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool Open(const std::uint16_t* bases, int count) override;
    void Begin(const Registers* ports, int count) override;
    void End() override;
    void Seen(std::uint16_t address, std::uint8_t value, bool isWrite) override;

    // Once no access reaches it any more (End): the timer stopped and its
    // callback waited for, the rest to the file, which is closed; the lines
    // about drops and unrecorded addresses to the log.
    void Finish();
    // At the end of the process: what is buffered to the file, no waiting.
    void FinishAtProcessExit();

    const std::string path;
    std::string openFailure;  // why Open refused

private:
    static VOID CALLBACK OnTimer(PTP_CALLBACK_INSTANCE, PVOID context, PTP_TIMER);
    // The buffer to the file; at a write failure, the recording ends with a
    // log line. One writer at a time (`writing`).
    void WriteOut();
    void StopTimer();

    HANDLE file = INVALID_HANDLE_VALUE;
    PTP_TIMER timer = nullptr;
    SRWLOCK lock;                        // guards recorder and kicked; held only briefly
    VcdRecorder* recorder = nullptr;
    bool kicked = false;                 // the timer was asked to run at once
    volatile LONG writing = 0;           // a writer holds `spare`
    volatile LONG failed = 0;            // a write failed; the recording has ended
    std::string spare;                   // the buffer being written out
};

bool Session::Open(const std::uint16_t*, int)
{
    file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        openFailure = Reason(GetLastError());
        return false;
    }
    return true;
}

void Session::Begin(const Registers* ports, int count)
{
    recorder = new VcdRecorder(std::vector<Registers>(ports, ports + count), &Nanoseconds);
    // The timer's callback runs on a thread of the system's pool, which
    // starts in the system's code: a thread held up by the loader never runs
    // this library's code after it is gone (see Finish).
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
    activeTap.store(this);
}

void Session::End()
{
    AccessTap* self = this;
    activeTap.compare_exchange_strong(self, nullptr);
}

void Session::Seen(std::uint16_t address, std::uint8_t value, bool isWrite)
{
    AcquireSRWLockExclusive(&lock);
    recorder->Access(address, value, isWrite, &Nanoseconds);
    if (!kicked && timer != nullptr && recorder->Pending() >= kFlushSoon) {
        kicked = true;
        FILETIME now{};  // a time long past: at once
        SetThreadpoolTimer(timer, &now, kFlushPeriodMs, 0);
    }
    ReleaseSRWLockExclusive(&lock);
}

VOID CALLBACK Session::OnTimer(PTP_CALLBACK_INSTANCE, PVOID context, PTP_TIMER)
{
    static_cast<Session*>(context)->WriteOut();
}

void Session::WriteOut()
{
    if (failed != 0 || InterlockedExchange(&writing, 1) != 0) return;
    AcquireSRWLockExclusive(&lock);
    recorder->TakeText(spare);
    kicked = false;
    ReleaseSRWLockExclusive(&lock);
    std::string reason;
    const bool written = spare.empty() || WriteAll(file, spare, reason);
    spare.clear();
    if (!written) {
        // The recording ends here; the macro runs on.
        InterlockedExchange(&failed, 1);
        End();
        DebugLog("Recording into %s stopped: %s", path.c_str(), reason.c_str());
    }
    InterlockedExchange(&writing, 0);
}

void Session::StopTimer()
{
    if (timer == nullptr) return;
    // Cancels a callback not yet begun and waits for one under way, which
    // needs no loader lock: this may run in DllMain.
    SetThreadpoolTimer(timer, nullptr, 0, 0);
    WaitForThreadpoolTimerCallbacks(timer, TRUE);
    CloseThreadpoolTimer(timer);
    timer = nullptr;
}

void Session::Finish()
{
    StopTimer();
    if (failed == 0) {
        AcquireSRWLockExclusive(&lock);
        recorder->End(&Nanoseconds);
        ReleaseSRWLockExclusive(&lock);
        InterlockedExchange(&writing, 0);
        WriteOut();
    }
    CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
    if (recorder->Dropped() > 0) {
        DebugLog("Recording into %s: %lu changes dropped while the file fell behind", path.c_str(),
                 static_cast<unsigned long>(recorder->Dropped()));
    }
    if (!recorder->Unrecorded().empty()) {
        std::string counts;
        for (const auto& counted : recorder->Unrecorded()) {
            char item[48];
            std::snprintf(item, sizeof item, "%s%X (%lu)", counts.empty() ? "" : ", ",
                          static_cast<unsigned>(counted.first),
                          static_cast<unsigned long>(counted.second));
            counts += item;
        }
        if (recorder->UnrecordedOthers() > 0) {
            counts += ", others (" + std::to_string(recorder->UnrecordedOthers()) + ")";
        }
        DebugLog("Recording into %s: accesses to addresses of no recorded port: %s", path.c_str(),
                 counts.c_str());
    }
}

void Session::FinishAtProcessExit()
{
    // A thread stopped while it held the lock leaves it held: a bounded try.
    bool locked = false;
    for (int tries = 0; tries < 100 && !(locked = TryAcquireSRWLockExclusive(&lock) != 0);
         ++tries) {
        Sleep(1);
    }
    if (locked) {
        std::string rest;
        if (failed == 0) {
            recorder->End(&Nanoseconds);
            recorder->TakeText(rest);
        }
        ReleaseSRWLockExclusive(&lock);
        std::string reason;
        if (!rest.empty()) WriteAll(file, rest, reason);
    }
    CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
}

// The recording under way; changed only with `starts` held and, for the
// accesses' sake, inside the controller's guard (Begin, End).
Session* current = nullptr;
// One start or end at a time: the one that ends a recording writes its rest
// before the next file is created (the same name may come again). Only
// starts and ends take it; no access does.
SRWLOCK starts = SRWLOCK_INIT;

// Ends the recording under way, its file complete. With `starts` held.
void EndCurrent(PortController& controller)
{
    Session* const ending = current;
    if (ending == nullptr) return;
    controller.EndRecording(*ending);
    current = nullptr;
    ending->Finish();
    delete ending;
}

int StartLocked(PortController& controller, const char* path)
{
    auto* session = new Session(path);
    const int result = controller.StartRecording(*session);
    if (result == PortController::kOk) {
        current = session;
        return 0;
    }
    if (result == PortController::kNotOpened) {
        DebugLog("Recording into %s failed: %s", path, session->openFailure.c_str());
    } else {
        DebugLog("Recording into %s failed: no port to record", path);
    }
    delete session;
    return -1;
}

// The file name of the process's `load`th load: the first as named, then
// with "-2", "-3", ... before the extension.
std::string NameForLoad(const std::string& path, unsigned long load)
{
    if (load <= 1) return path;
    const std::size_t folder = path.find_last_of("\\/:");
    const std::size_t dot = path.find_last_of('.');
    const std::size_t at =
        dot != std::string::npos && (folder == std::string::npos || dot > folder) ? dot
                                                                                   : path.size();
    return path.substr(0, at) + "-" + std::to_string(load) + path.substr(at);
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
        std::sscanf(value, "%lu:%lu", &process, &count) != 2 ||
        process != GetCurrentProcessId()) {
        count = 0;
    }
    ++count;
    std::snprintf(value, sizeof value, "%lu:%lu", static_cast<unsigned long>(GetCurrentProcessId()),
                  count);
    SetEnvironmentVariableA(kVariable, value);
    return count;
}

}  // namespace

int RecordInto(PortController& controller, const char* path)
{
    AcquireSRWLockExclusive(&starts);
    EndCurrent(controller);
    const int result = path == nullptr || *path == '\0' ? 0 : StartLocked(controller, path);
    ReleaseSRWLockExclusive(&starts);
    return result;
}

void StartFromEnvironment(PortController& controller)
{
    // The process's environment as it is now (a host may have set the
    // variable since it started), not the C library's copy from the start.
    char path[MAX_PATH * 4] = {};
    const DWORD length = GetEnvironmentVariableA("DORUZEDA_RECORD", path, sizeof path);
    if (length == 0 || length >= sizeof path) return;
    const std::string name = NameForLoad(path, CountThisLoad());
    AcquireSRWLockExclusive(&starts);
    StartLocked(controller, name.c_str());
    ReleaseSRWLockExclusive(&starts);
}

void EndAtUnload(PortController& controller)
{
    // The calls inside have left (the unload waited up to a second for
    // them). What remains open: a call stuck in a start or an end for longer
    // than that (a file on a network share that does not answer) still
    // holds `starts` after this waits another second; the recording it
    // leaves keeps its timer, whose callback would then run after the
    // library is gone. Measured under Wine 8: a start takes well under a
    // millisecond, and fifty loads that record leave no thread or handle.
    bool locked = false;
    for (int tries = 0; tries < 1000 && !(locked = TryAcquireSRWLockExclusive(&starts) != 0);
         ++tries) {
        Sleep(1);
    }
    if (!locked) return;
    EndCurrent(controller);
    ReleaseSRWLockExclusive(&starts);
}

void EndAtProcessExit()
{
    Session* const ending = current;
    if (ending == nullptr) return;
    current = nullptr;
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
