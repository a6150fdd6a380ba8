// The recording's starts and ends, its file's names, and the recording of
// a whole load that the environment asks for (record/recording.h); one
// recording's file, buffer and timer are in recording_session_win32.cpp.
#include <cstdio>
#include <cstring>
#include <new>

#include "../../include/doruzeda_do.h"
#include "../../log/debug_log.h"
#include "../../port/port_controller.h"
#include "recording_session_win32.h"
#include "system_error_win32.h"

namespace recording {
namespace {

// The recording under way; set only with `starts` held, taken away by one
// exchange (TakeCurrent), so that of two ends only one has it. The
// controller feeds it from StartRecording to EndRecording.
Session* volatile current = nullptr;
// One start or end at a time: the one that ends a recording writes its rest
// before the next file is created (the same name may come again). Only
// starts and ends take it; no access does.
SRWLOCK starts = SRWLOCK_INIT;

// The lines a start writes after an end: one refusal (StartLocked).
static_assert(bounds::kRecordingStartLogLines == 1, "a start writes one line, its refusal");
// The time a start or an end leaves to the lines after its file.
constexpr unsigned long kLinesMs = bounds::kRecordingLogLines * bounds::kLogLineWaitMs;

Session* TakeCurrent()
{
    return static_cast<Session*>(
        InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&current), nullptr));
}

// Ends the recording under way once the controller's guard is had by
// `guardBy`, its file complete by `fileBy`. Finished all the same when a
// call stuck in the port driver keeps that guard (its timer ended, the
// accesses ignored), but then never freed: the controller may still hand it
// an access. Nor is one whose write the system still holds.
void EndCurrent(PortController& controller, const Deadline& guardBy, const Deadline& fileBy)
{
    Session* const ending = TakeCurrent();
    if (ending == nullptr) return;
    const bool unfed = controller.EndRecording(*ending, guardBy);
    if (ending->Finish(fileBy) && unfed) delete ending;
}

// A name too long for the system's calls, cut in its one log line.
void LogTooLong(const char* path)
{
    DebugLog("Recording into %.*s... failed: %s", static_cast<int>(kLongestName), path,
             SystemError(ERROR_FILENAME_EXCED_RANGE).text);
}

// A file's identity: its volume and its index there, the same by every name
// of the file (its short name, a \\?\ or \\.\ path, a link, its folder by
// another drive letter).
struct FileIdentity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};

// Whether two names give one full path name, as the system compares them.
bool SameFullName(const char* path, const char* other)
{
    char full[MAX_PATH] = {};
    char otherFull[MAX_PATH] = {};
    const DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
    const DWORD otherLength = GetFullPathNameA(other, sizeof otherFull, otherFull, nullptr);
    return length > 0 && length < sizeof full && otherLength > 0 &&
           otherLength < sizeof otherFull &&
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, full, -1, otherFull, -1) == CSTR_EQUAL;
}

// A pipe's name is never opened to learn its identity: opening a named pipe
// connects to it, taking the instance that the recording's own open needs.
// A pipe is never the log.
bool NamesAPipe(const char* path)
{
    char full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full) return false;
    for (const char* pipes : {"\\\\.\\pipe\\", "\\\\?\\pipe\\"}) {
        const int prefix = static_cast<int>(std::strlen(pipes));
        if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, full, prefix, pipes, prefix) ==
            CSTR_EQUAL) {
            return true;
        }
    }
    return false;
}

// The identity of the file at `path`, when it exists: opened for its
// attributes only, sharing everything (another program may hold it without
// sharing), never created, and closed again.
bool IdentityOf(const char* path, FileIdentity& identity)
{
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const HANDLE file = CreateFileA(path, FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION information{};
    const bool known = GetFileInformationByHandle(file, &information) != 0;
    CloseHandle(file);
    identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh,
                information.nFileIndexLow};
    return known;
}

// Whether `path` is the library's own log (RurSetupDebug.txt in the current
// directory), which a recording would empty and then share with the log's
// lines: by the file's identity, asked before the recording's file is
// created or emptied; by its name while the log does not exist yet.
bool IsTheLog(const char* path)
{
    FileIdentity log{};
    if (!IdentityOf(kDebugLogFileName, log)) return SameFullName(path, kDebugLogFileName);
    FileIdentity named{};
    return !NamesAPipe(path) && IdentityOf(path, named) && named.volume == log.volume &&
           named.indexHigh == log.indexHigh && named.indexLow == log.indexLow;
}

// `whole`: the start's deadline, which the controller's guard is waited for
// until, when the file cannot be had (the start's line written before).
int StartLocked(PortController& controller, const char* path, const Deadline& whole)
{
    if (std::strlen(path) > kLongestName) {
        LogTooLong(path);
        return DORUZEDA_NOT_RECORDING;
    }
    if (IsTheLog(path)) {
        DebugLog("Recording into %s failed: it is the library's own log", path);
        return DORUZEDA_NOT_RECORDING;
    }
    auto* session = new (std::nothrow) Session(path);
    if (session == nullptr) {
        DebugLog("Recording into %s failed: %s", path, SystemError(ERROR_NOT_ENOUGH_MEMORY).text);
        return DORUZEDA_NOT_RECORDING;
    }
    if (controller.StartRecording(*session) != DORUZEDA_OK) {
        // Refused by the session when it could not have its memory, else by
        // the controller, which found no port.
        if (session->CurrentStage() == Session::kOutOfMemory) {
            DebugLog("Recording into %s failed: %s", path,
                     SystemError(ERROR_NOT_ENOUGH_MEMORY).text);
        } else {
            DebugLog("Recording into %s failed: no port to record", path);
        }
        delete session;
        return DORUZEDA_NOT_RECORDING;
    }
    const DWORD failure = session->OpenFile();
    if (failure == 0) {
        InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&current), session);
        return DORUZEDA_OK;
    }
    DebugLog("Recording into %s failed: %s", path, SystemError(failure).text);
    // Fed since its start: freed once the controller lets go of it.
    if (controller.EndRecording(*session, whole)) delete session;
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
                 SystemError(ERROR_NOT_ENOUGH_MEMORY).text);
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
    // One deadline for the end and the start: the guard, then the file, each
    // waited for only until what follows it still has its bound.
    const Deadline whole = Deadline::AfterMs(bounds::kRecordingStartOrEndMs);
    const Deadline fileBy = whole.EarlierByMs(kLinesMs);
    EndCurrent(controller, fileBy.EarlierByMs(bounds::kRecordingFileWaitMs), fileBy);
    const int result =
        path == nullptr || *path == '\0' ? DORUZEDA_OK : StartLocked(controller, path, whole);
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
    StartLocked(controller, name, Deadline::AfterMs(bounds::kRecordingStartOrEndMs));
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
    // The guard tried once if the unload's deadline has passed; the file
    // then within its own bound.
    const Deadline guardBy = deadline.Passed() ? Deadline::AfterMs(0) : deadline;
    EndCurrent(controller, guardBy, guardBy.LaterByMs(bounds::kRecordingFileWaitMs));
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
