// The debug log: its time stamp, the size limit shared by both outputs, and
// the file that is opened and closed for every message.
#include <gtest/gtest.h>

#include <filesystem>
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

TEST_F(DebugLogTest, DebuggerStillHearsWhenTheFileCannotBeOpenedAndTheLinesAreNamedAfter)
{
    ASSERT_TRUE(std::filesystem::create_directory(kDebugLogFileName));
    DebugLog("first");
    DebugLog("second %d", 2);
    EXPECT_EQ(Debugger(), (std::vector<std::string>{"first", "second 2"}));
    EXPECT_TRUE(std::filesystem::is_directory(kDebugLogFileName));
    EXPECT_TRUE(std::filesystem::is_empty(kDebugLogFileName));
    ASSERT_TRUE(std::filesystem::remove(kDebugLogFileName));
    DebugLog("3");
    EXPECT_EQ(LogFile(),
              FileLine("2 log lines dropped: the log file refused them") + FileLine("3"));
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

// On the fake clock, lines a to e logged at 0, 999, 1000, 2000 and 2001 ms:
// every line not written is counted and named, by its cause, before the
// next line written, a naming line dropped again carrying its count; after
// a line given up the file is not tried for a second. (A refusal alone, which
// pauses nothing: DebuggerStillHearsWhenTheFileCannotBeOpenedAndTheLinesAreNamedAfter.)
TEST_F(DebugLogTest, LinesNotWrittenAreNamedAndAGivenUpLinePausesTheFileASecond)
{
    const std::string timedOut = " log lines dropped: the log file took none within 300 ms";
    const struct {
        int drop, refuse, startMs;  // each row well past the last one's pause
        std::string file;
    } rows[] = {
        {2, 0, 0, FileLine("3" + timedOut) + FileLine("d") + FileLine("e")},
        {1, 1, 10000,
         FileLine("1 log lines dropped: the log file refused them") + FileLine("2" + timedOut) +
             FileLine("d") + FileLine("e")},
    };
    fakes::Sleeps().fakeClock = true;
    fakes::Sleeps().stepNs = 0;
    for (const auto& row : rows) {
        ForgetSetup();
        fakes::LogSink().appendsToDrop = row.drop;
        fakes::LogSink().appendsToRefuse = row.refuse;
        const std::pair<std::int64_t, const char*> calls[] = {
            {0, "a"}, {999, "b"}, {1000, "c"}, {2000, "d"}, {2001, "e"}};
        for (const auto& [ms, message] : calls) {
            fakes::Sleeps().nowNs = (row.startMs + ms) * 1000000;
            DebugLog("%s", message);
        }
        EXPECT_EQ(LogFile(), row.file) << row.drop << row.refuse;
    }
}

// The log's lock bytes as bits: those a stopped holder keeps, and this
// append's.
struct FakeLockBytes final : log_lock::LockBytes {
    log_lock::Try TryByte(int byte) override
    {
        if (((elsewhere | mine) >> byte & 1) != 0) return log_lock::Try::Held;
        mine |= 1 << byte;
        return log_lock::Try::Locked;
    }
    void Release(int byte) override { mine &= ~(1 << byte); }
    int elsewhere = 0;
    int mine = 0;
};

// On the fake clock: a stopped holder of any one byte costs a line no wait;
// of two, the whole 200 ms, and the line holds nothing after.
TEST_F(DebugLogTest, LockIsTwoOfThreeBytesWhicheverOneAStoppedHolderKeeps)
{
    // The bytes held elsewhere, then those this append holds after (none:
    // timed out) and the clock then.
    const int rows[][3] = {{0b001, 0b110, 0}, {0b010, 0b101, 0}, {0b011, 0, 200000000}};
    fakes::Sleeps().fakeClock = true;
    fakes::Sleeps().stepNs = 0;
    fakes::Sleeps().pauseNs = 1000000;
    for (const auto& row : rows) {
        FakeLockBytes lock;
        lock.elsewhere = row[0];
        fakes::Sleeps().nowNs = 0;
        EXPECT_EQ(PollUntil(Deadline::AfterMs(200),
                            [&] {
                                return log_lock::TryTwoOfThree(lock).result !=
                                       log_lock::PairTry::NoneFree;
                            }),
                  row[1] != 0)
            << row[0];
        EXPECT_EQ(lock.mine, row[1]) << row[0];
        EXPECT_EQ(fakes::Sleeps().nowNs, row[2]) << row[0];
    }
}

// A write cancelled at its deadline that let part of its chunk through
// starts no other chunk.
TEST_F(DebugLogTest, BoundedWriteStartsNoChunkAfterTheDeadline)
{
    fakes::Sleeps().fakeClock = true;
    fakes::Sleeps().stepNs = 0;
    std::vector<std::size_t> writes;
    std::size_t written = 0;
    const bounded_write::Outcome outcome = bounded_write::WriteInChunks(
        "aaaa\nbbbb\ncccc\n", 15, 10, Deadline::AfterMs(100), written,
        [&](const char*, std::size_t size, std::size_t& done) {
            writes.push_back(size);
            fakes::Sleeps().nowNs = 100000000;  // cancelled at the deadline, 3 bytes through
            done = 3;
            return bounded_write::Outcome::Written;
        });
    EXPECT_EQ(outcome, bounded_write::Outcome::TimedOut);
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(writes, std::vector<std::size_t>{10});
}

}  // namespace
