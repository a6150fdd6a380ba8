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
//
// Its life is one stage, changed only by Enter, which makes the moves below
// and refuses every other (so two threads that race for a move cannot both
// make it):
//
//   kOpening   --Open-->           kOutOfMemory  the buffers cannot be had:
//                                              the start refused
//   kOpening   --Begin-->          kTaking     the controller feeds it
//   kTaking    --Seen-->           kKicked     a large buffer: the timer asked
//                                              to run at once
//   kTaking, kKicked --a turn-->   kWriting    the turn writes the buffer out
//   kWriting   --the turn-->       kTaking     the file took it, or what it did
//                                              not take is dropped and counted
//   kWriting   --the turn-->       kStopped    a write failed
//   kWriting   --the turn-->       kAbandoned  a write kept past its cancel
//   kTaking, kKicked --Finish-->   kEnding     no turn runs any more; the end
//                                              writes the rest
//   kEnding    --Finish-->         kEnded      the file complete and closed
//   kEnding    --Finish-->         kAbandoned
//   kStopped   --Finish-->         kEnded
//
// At the end of the process a turn found in kWriting was cut short: its
// write is made again where the file allows it, and it leaves kWriting as
// the turn would have.
//
// Accesses are recorded in kTaking, kKicked and kWriting, and ignored in
// every other stage. One writer has the buffer being written
// (`beingWritten`): the turn in kWriting, the end in kEnding. kAbandoned:
// the system still holds a write of the file, its buffer and the session
// with it; it is never freed.
class Session final : public PortRecording {
public:
    enum Stage : LONG {
        kOpening,
        kOutOfMemory,
        kTaking,
        kKicked,
        kWriting,
        kEnding,
        kStopped,
        kAbandoned,
        kEnded
    };

    explicit Session(const char* name);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // The buffers, for `bases`; false, the start refused, when the memory
    // cannot be had (kOutOfMemory).
    bool Open(const std::uint16_t* bases, int count) override;
    void Begin() override;
    void Before(std::uint16_t address) override;
    void Seen(std::uint16_t address, std::uint8_t value, bool isWrite) override;

    // Once the controller feeds it: creates (or empties) the file and starts
    // the timer that writes it out. 0, or the system's code of the failure
    // (the session is then to be ended).
    DWORD OpenFile();
    // Once no access reaches it any more (End), or at an unload that could
    // not make sure of that (the accesses are ignored from here on): the
    // timer stopped and its callback waited for, the rest to the file within
    // kWriteWaitMs from then and by `by` (its cancel's wait included), and
    // the file closed; the lines about what was dropped and about unrecorded
    // addresses to the log (at most bounds::kRecordingEndLogLines). False
    // when the system may still use it (kAbandoned): it must then never be
    // freed.
    bool Finish(const Deadline& by);
    // At the end of the process: what is buffered to the file, waiting at
    // most the bound of a write.
    void FinishAtProcessExit();

    Stage CurrentStage() const { return static_cast<Stage>(stage); }

    char path[kLongestName + 1] = {};

private:
    // What became of the buffer being written.
    enum class Sent { kAll, kDropped, kFailed, kKept };

    static VOID CALLBACK OnTimer(PTP_CALLBACK_INSTANCE, PVOID context, PTP_TIMER);
    // Where a writer in kWriting goes once it has written.
    static Stage AfterTurn(Sent sent);
    // Moves from the stage now to `to` where the table above allows it.
    bool Enter(Stage to);
    bool RecordsAccesses() const;
    // A timer's turn: the buffer to the file by `deadline`.
    void WriteOut(const Deadline& deadline);
    // The recorder's text taken into `beingWritten`, under `lock`.
    void TakeBuffer();
    // `beingWritten` from `written` on; what the file does not take in time
    // is dropped and counted.
    Sent WriteBuffer(const Deadline& deadline);
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
    SRWLOCK lock = SRWLOCK_INIT;  // guards recorder and timer; held only briefly
    VcdRecorder recorder;
    volatile LONG stage = kOpening;
    VcdText beingWritten;             // the buffer a writer writes out
    std::size_t written = 0;          // how much of it the file took
    std::uint64_t droppedBytes = 0;   // what a stalled file did not take in time
    std::uint64_t droppedAtExit = 0;  // what the end of the process left unwritten
};

}  // namespace recording
