// The host program's script reader: the statements a macro script may use,
// and the reading of a whole script into checked lines before anything runs.
// Standard C++ only (no Windows header), so that the native tests read the
// same scripts as host.exe does.
//
// A script has one statement a line; CR, LF and CR LF each end a line, and a
// UTF-8 byte-order mark at its start is skipped. Words are separated by
// spaces or tabs; a word that starts with '#' starts a comment; a word may be
// quoted ("" is empty). A call names an export, with or without its
// "fnOrvane_" prefix; every statement takes exactly its arguments, each a
// whole number in its range where it is a number. A line cannot be read for a
// control byte other than CR, LF and tab (Ctrl-Z included), a quote left open
// or in the middle of a word, an unknown statement, too few or too many
// arguments, or a number not read whole or out of its range.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace script {

// How an argument's word is read, and the values it may take.
enum class Kind {
    Integer,       // decimal, a 32-bit signed integer
    Milliseconds,  // decimal, 0 to 3600000 (an hour)
    Base,          // hexadecimal, a base the library accepts (100 to FFFD)
    Byte,          // hexadecimal, 00 to FF
    Microseconds,  // decimal, 0 to 1000000 (a second)
    Text,          // any word
};

struct Parameter {
    const char* name;
    Kind kind;
};

struct Argument {
    long long number = 0;  // for the numeric kinds
    std::string text;      // the word as written (unquoted)
};

// What the host does for a statement: each host statement its own, an
// export a call with integers or with strings.
enum class Action {
    Expect,
    Pins,
    Inputs,
    DataInputs,
    InputsAfter,
    Sleep,
    Show,
    Reload,
    SameChanges,
    CallWithIntegers,
    CallWithTexts,
};

struct Statement {
    const char* name;        // as a script writes it (an export: its name)
    const char* exportName;  // the export a host statement calls, or nullptr
    std::vector<Parameter> parameters;
    std::size_t required;  // the leading parameters that must be given
    Action action;
};

// One line of the script, read and checked: its statement and arguments.
struct Line {
    int number = 0;
    const Statement* statement = nullptr;
    std::vector<Argument> arguments;
};

// The export a statement calls.
const char* ExportName(const Statement& statement);

// Reads a whole script (its file's bytes). True with the lines that hold a
// statement, in order; false with one error a line that cannot be read,
// "line N: ...", in order (and `lines` then is not to be run).
bool ReadScript(const std::string& bytes, std::vector<Line>& lines,
                std::vector<std::string>& errors);

}  // namespace script
