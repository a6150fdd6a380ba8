// One recording's session: its VCD file, its buffer and the thread-pool
// timer that writes the buffer out (record/recording.h tells the rules). The
// recording's starts and ends, its file's names and the environment's
// recording are in recording_win32.cpp.
#pragma once

#include "bounded_file_win32.h"  // windows.h first

#include <cstddef>
#include <cstdint>

#include "../../port/deadline.h"
#include "../../port/port_recording.h"
#include "../../record/recording.h"
#include "../../record/vcd_recorder.h"

namespace recording {

// The longest file name taken (the system's own limit for these calls);
// a longer one is named in the log cut to this.
constexpr std::size_t kLongestName = MAX_PATH - 1;

// Takes `lock` if it comes free before `deadline`: for a lock that a thread
// stuck in the system, or stopped by the end of the process, may hold (PollUntil).
bool TryLockUntil(SRWLOCK& lock, const Deadline& deadline);

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

}  // namespace recording
