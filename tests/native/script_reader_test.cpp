// The host program's script reader (host/script_reader.h): every kind of line
// it must refuse, with its error. What needs the library (nothing loaded after
// a bad line, the file read whole, the calls good lines make) is
// tests/win32/host-script.sh's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/script_reader.h"

namespace {

// One a line, so that a failure shows the lines that differ.
std::string Joined(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& item : items) text += item + "\n";
    return text;
}

TEST(ScriptReaderTest, NamesEachBadLine)
{
    struct Case {
        std::string line;
        const char* error;
    };
    const Case cases[] = {
        {"setParallelOutputPin 2 high", "LEVEL \"high\" is not a decimal number"},
        {"setParallelOutputPin 4294967298 1",
         "PIN 4294967298 is outside -2147483648 to 2147483647"},
        {"setParallelOutputPin 2 0x7fffffff", "LEVEL \"0x7fffffff\" is not a decimal number"},
        {"setParallelOutputPin 2 1.5", "LEVEL \"1.5\" is not a decimal number"},
        {"setParallelOutputPin 2 -", "LEVEL \"-\" is not a decimal number"},
        {"setParallelDataByte 0xFF", "VALUE \"0xFF\" is not a decimal number"},
        {"waitParallelInputPin 10 1 4294967296",
         "TIMEOUT 4294967296 is outside -2147483648 to 2147483647"},
        {"expect zero", "N \"zero\" is not a decimal number"},
        {"expect 2147483648", "N 2147483648 is outside -2147483648 to 2147483647"},
        // 2^64 + 5: a reading that wrapped around would take it for 5.
        {"expect 18446744073709551621",
         "N 18446744073709551621 is outside -2147483648 to 2147483647"},
        {"setParallelOutputPin 2", "setParallelOutputPin takes 2 arguments (PIN LEVEL), not 1"},
        {"setParallelPortAddress",
         "setParallelPortAddress takes 4 arguments (DIGIT1 DIGIT2 DIGIT3 DIGIT4), not 0"},
        {"setParallelOutputPin 2 1 1", "setParallelOutputPin takes 2 arguments (PIN LEVEL), not 3"},
        {"fnOrvane_getParallelDataByte 1",
         "fnOrvane_getParallelDataByte takes no arguments, not 1"},
        {"expect", "expect takes 1 argument (N), not 0"},
        {"setParallelPortAddress \"a\\\"b\" \"7\" \"8\" \"\"", "a quote in the middle of a word"},
        {"setParallelPortAddress 3 7 8\" \"\"", "a quote in the middle of a word"},
        {"setParallelPortAddress \"3\" \"7\" \"8", "a quote is not closed"},
        {"show -1", "MS -1 is outside 0 to 3600000"},
        {"show abc", "MS \"abc\" is not a decimal number"},
        {"sleep -1", "MS -1 is outside 0 to 3600000"},
        {"sleep 4294967295", "MS 4294967295 is outside 0 to 3600000"},
        {"sleep", "sleep takes 1 argument (MS), not 0"},
        {"pins 10378", "BASE 10378 is outside 100 to FFFD"},
        {"pins FFFE", "BASE FFFE is outside 100 to FFFD"},
        {"pins 378 379", "pins takes 0 or 1 argument (BASE), not 2"},
        {"inputs 10378 1FF", "BASE 10378 is outside 100 to FFFD"},
        {"inputs 378 1FF", "HEX 1FF is outside 00 to FF"},
        {"data-inputs 378 -1", "HEX \"-1\" is not a hexadecimal number"},
        {"inputs 378", "inputs takes 2 arguments (BASE HEX), not 1"},
        {"inputs-after 5 378", "inputs-after takes 3 arguments (MS BASE HEX), not 2"},
        {"reload now", "reload takes no arguments, not 1"},
        {"record a.vcd b.vcd", "record takes 0 or 1 argument (FILE), not 2"},
        {"fnOrvane_expect 0", "no statement or export named \"fnOrvane_expect\""},
        {"blink 2", "no statement or export named \"blink\""},
        {"\x1A", "control byte 0x1A"},  // Ctrl-Z, Windows' old end of a text file
        {std::string("setParallelOutputPin\0 2 1", 25), "control byte 0x00"},  // UTF-16 text
        {"expect 0 \x7F", "control byte 0x7F"},
    };
    // A good call first: it is not kept either.
    std::string bytes = "setParallelOutputPin 2 1\n";
    std::string expected;
    int number = 2;
    for (const Case& test : cases) {
        bytes += test.line + "\n";
        expected += "line " + std::to_string(number++) + ": " + test.error + "\n";
    }
    std::vector<script::Line> lines;
    std::vector<std::string> errors;
    EXPECT_FALSE(script::ReadScript(bytes, lines, errors));
    EXPECT_EQ(Joined(errors), expected);
}

}  // namespace
