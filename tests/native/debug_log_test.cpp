// The debug log: its time stamp, the size limit shared by both outputs, and
// the file that is opened and closed for every message.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core_fixture.h"
#include "log/debug_log.h"

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

}  // namespace
