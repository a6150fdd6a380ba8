// The debug log: its time stamp, the size limit shared by both outputs, and
// the file that is opened and closed for every message.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core_fixture.h"
#include "log/bounded_write.h"
#include "log/debug_log.h"
#include "log/log_lock.h"
#include "port/deadline.h"

namespace {

TEST(DebugLogStampTest, MonthFirstAndZeroPadded)
{
    struct Case {
        int month, day, year, hour, minute, second, milliseconds;
        const char* text;
    };
    const Case cases[] = {
        {12, 3, 2024, 9, 5, 7, 42, "12/03/2024 09:05:07.042"},
        {1, 15, 2024, 23, 59, 59, 999, "01/15/2024 23:59:59.999"},
        {10, 31, 999, 0, 0, 0, 0, "10/31/0999 00:00:00.000"},
        {2, 29, 2000, 12, 30, 1, 7, "02/29/2000 12:30:01.007"},
    };
    for (const Case& test : cases) {
        EXPECT_STREQ(FormatDebugLogStamp(test.month, test.day, test.year, test.hour, test.minute,
                                         test.second, test.milliseconds)
                         .text,
                     test.text);
    }
}

class DebugLogTest : public CoreTest {};

TEST_F(DebugLogTest, OneStampedLinePerMessageAppended)
{
    DebugLog("first %d", 1);
    fakes::LogSink().now = log_sink::LocalTime{2025, 1, 15, 23, 59, 58, 7};
    DebugLog("second %s", "two");
    EXPECT_EQ(LogFile(),
              "12/03/2024 09:05:07.042 first 1\n"
              "01/15/2025 23:59:58.007 second two\n");
    EXPECT_EQ(Debugger(), (std::vector<std::string>{"first 1", "second two"}));
}

TEST_F(DebugLogTest, ExistingFileContentIsKept)
{
    {
        std::FILE* file = std::fopen(kDebugLogFileName, "w");
        ASSERT_NE(file, nullptr);
        std::fputs("earlier line\n", file);
        std::fclose(file);
    }
    DebugLog("later");
    EXPECT_EQ(LogFile(), "earlier line\n" + FileLine("later"));
}

TEST_F(DebugLogTest, ArgumentsAreCarriedLiterally)
{
    DebugLog("%s", "100% %d %s %n");
    DebugLog("line\nbreak");
    EXPECT_EQ(Debugger(), (std::vector<std::string>{"100% %d %s %n", "line\nbreak"}));
    EXPECT_EQ(LogFile(), FileLine("100% %d %s %n") + FileLine("line\nbreak"));
}

TEST_F(DebugLogTest, MessagesUpTo4095CharactersAreWrittenWhole)
{
    for (std::size_t length :
         {std::size_t{0}, std::size_t{1}, std::size_t{4094}, std::size_t{4095}}) {
        SCOPED_TRACE(length);
        fakes::ResetLogSink();
        std::filesystem::remove(kDebugLogFileName);
        const std::string message(length, 'm');
        DebugLog("%s", message.c_str());
        EXPECT_EQ(Debugger(), std::vector<std::string>{message});
        EXPECT_EQ(LogFile(), FileLine(message));
    }
}

TEST_F(DebugLogTest, MessagesOf4096CharactersOrMoreAreDroppedEverywhere)
{
    DebugLog("before");
    for (std::size_t length : {std::size_t{4096}, std::size_t{4097}, std::size_t{10000}}) {
        const std::string message(length, 'm');
        DebugLog("%s", message.c_str());
    }
    // Reached by formatting, not by a long argument.
    DebugLog("%4090s%6d", "x", 1);
    DebugLog("after");
    EXPECT_EQ(Debugger(), (std::vector<std::string>{"before", "after"}));
    EXPECT_EQ(LogFile(), FileLine("before") + FileLine("after"));
}

TEST_F(DebugLogTest, DebuggerStillHearsWhenTheFileCannotBeOpened)
{
    ASSERT_TRUE(std::filesystem::create_directory(kDebugLogFileName));
    DebugLog("first");
    DebugLog("second %d", 2);
    EXPECT_EQ(Debugger(), (std::vector<std::string>{"first", "second 2"}));
    EXPECT_TRUE(std::filesystem::is_directory(kDebugLogFileName));
    EXPECT_TRUE(std::filesystem::is_empty(kDebugLogFileName));
}

// A handle kept open would keep writing into the deleted file, and no new
// file would appear.
TEST_F(DebugLogTest, FileIsClosedAfterEachMessage)
{
    DebugLog("first");
    ASSERT_EQ(LogFile(), FileLine("first"));
    ASSERT_TRUE(std::filesystem::remove(kDebugLogFileName));
    DebugLog("second");
    EXPECT_EQ(LogFile(), FileLine("second"));
}

// Lines the file did not take in time are counted, and named before the
// next line that gets through, in its append; a naming line dropped again
// carries its count on.
TEST_F(DebugLogTest, DroppedLinesAreNamedBeforeTheNextLineWritten)
{
    fakes::LogSink().appendsToDrop = 3;
    for (const char* message : {"a", "b", "c", "d", "e"}) DebugLog("%s", message);
    EXPECT_EQ(LogFile(), FileLine("3 log lines dropped: the log file took none within 300 ms") +
                             FileLine("d") + FileLine("e"));
    EXPECT_EQ(Debugger(), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
}

// The log's lock bytes on the fake clock: a stopped holder of any one byte
// costs a line no wait; of two, the line waits its whole 200 ms, holding
// nothing after.
class FakeLockBytes final : public log_lock::LockBytes {
public:
    log_lock::Try TryByte(int byte) override
    {
        if (refuses) return log_lock::Try::Refused;
        if (elsewhere.count(byte) > 0 || mine.count(byte) > 0) return log_lock::Try::Held;
        mine.insert(byte);
        return log_lock::Try::Locked;
    }
    void Release(int byte) override { mine.erase(byte); }
    void Pause() override { fakes::Sleeps().nowNs += 1000000; }
    std::set<int> elsewhere, mine;
    bool refuses = false;
};

TEST(LogLockTest, TwoOfThreeBytesWhicheverOneAStoppedHolderKeeps)
{
    struct Row {
        std::set<int> elsewhere;
        bool refuses;
        log_lock::Taken taken;
        std::set<int> held;
        std::int64_t waitedNs;
    };
    using log_lock::Taken;
    const Row rows[] = {
        {{}, false, Taken::Pair, {0, 1}, 0},
        {{0}, false, Taken::Pair, {1, 2}, 0},
        {{1}, false, Taken::Pair, {0, 2}, 0},
        {{2}, false, Taken::Pair, {0, 1}, 0},
        {{0, 1}, false, Taken::TimedOut, {}, 200000000},
        {{1, 2}, false, Taken::TimedOut, {}, 200000000},
        {{}, true, Taken::NoLocks, {}, 0},
    };
    fakes::ResetSleeps();
    fakes::Sleeps().fakeClock = true;
    fakes::Sleeps().stepNs = 0;
    for (const Row& row : rows) {
        FakeLockBytes lock;
        lock.elsewhere = row.elsewhere;
        lock.refuses = row.refuses;
        fakes::Sleeps().nowNs = 0;
        const log_lock::Quorum quorum = log_lock::TakeTwoOfThree(lock, Deadline::AfterMs(200));
        EXPECT_EQ(quorum.taken, row.taken) << row.elsewhere.size();
        EXPECT_EQ(lock.mine, row.held) << row.elsewhere.size();
        if (row.taken == Taken::Pair) {
            EXPECT_EQ((std::set<int>{quorum.bytes[0], quorum.bytes[1]}), row.held);
        }
        EXPECT_EQ(fakes::Sleeps().nowNs, row.waitedNs) << row.elsewhere.size();
    }
    fakes::ResetSleeps();
}

// The bounded write's chunks: each ends at a line end; a cancel at the
// deadline that let part of a chunk through starts no other.
TEST(BoundedWriteTest, NoChunkStartsAfterTheDeadline)
{
    struct Row {
        bounded_write::Outcome each;  // what every write gives
        std::size_t cancelledAfter;   // a write moves the clock past the deadline, took this
        bounded_write::Outcome outcome;
        std::size_t written;
        std::vector<std::size_t> writes;
    };
    using bounded_write::Outcome;
    const Row rows[] = {
        {Outcome::Written, 0, Outcome::Written, 15, {10, 5}},
        {Outcome::Written, 3, Outcome::TimedOut, 3, {10}},
        {Outcome::TimedOut, 0, Outcome::TimedOut, 0, {10}},
        {Outcome::Failed, 0, Outcome::Failed, 0, {10}},
    };
    fakes::ResetSleeps();
    fakes::Sleeps().fakeClock = true;
    fakes::Sleeps().stepNs = 0;
    const char text[] = "aaaa\nbbbb\ncccc\n";
    for (const Row& row : rows) {
        fakes::Sleeps().nowNs = 0;
        std::vector<std::size_t> writes;
        std::size_t written = 0;
        const Outcome outcome =
            bounded_write::WriteInChunks(text, 15, 10, Deadline::AfterMs(100), written,
                                         [&](const char*, std::size_t size, std::size_t& done) {
                                             writes.push_back(size);
                                             if (row.cancelledAfter > 0)
                                                 fakes::Sleeps().nowNs = 100000000;
                                             done = row.cancelledAfter > 0 ? row.cancelledAfter
                                                    : row.each == Outcome::Written ? size
                                                                                   : 0;
                                             return row.each;
                                         });
        EXPECT_EQ(outcome, row.outcome) << row.cancelledAfter;
        EXPECT_EQ(written, row.written) << row.cancelledAfter;
        EXPECT_EQ(writes, row.writes) << row.cancelledAfter;
    }
    fakes::ResetSleeps();
}

}  // namespace
