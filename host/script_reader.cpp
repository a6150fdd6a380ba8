// The host program's script reader (script_reader.h): the statements'
// table, and the reading of a script's lines, words and numbers.
#include "host/script_reader.h"

#include <cstdint>
#include <cstdio>

#include "port/pin_map.h"

namespace script {
namespace {

const char kExportPrefix[] = "fnOrvane_";
constexpr long long kLongestMilliseconds = 3600000;
constexpr long long kLongestMicroseconds = 1000000;

// ---------------------------------------------------------------------------
// A script's statements

const Parameter kPin{"PIN", Kind::Integer};
const Parameter kLevel{"LEVEL", Kind::Integer};
const Parameter kBase{"BASE", Kind::Base};
const Parameter kHex{"HEX", Kind::Byte};
const Parameter kMilliseconds{"MS", Kind::Milliseconds};
const Parameter kFile{"FILE", Kind::Text};

const Statement kHostStatements[] = {
    {"expect", nullptr, {{"N", Kind::Integer}}, 1, Action::Expect},
    {"pins", nullptr, {kBase}, 0, Action::Pins},
    {"inputs", nullptr, {kBase, kHex}, 2, Action::Inputs},
    {"data-inputs", nullptr, {kBase, kHex}, 2, Action::DataInputs},
    {"inputs-after", nullptr, {kMilliseconds, kBase, kHex}, 3, Action::InputsAfter},
    {"sleep", nullptr, {kMilliseconds}, 1, Action::Sleep},
    {"show", nullptr, {kMilliseconds}, 0, Action::Show},
    {"reload", nullptr, {}, 0, Action::Reload},
    {"record", "fnOrvane_recordParallelPins", {kFile}, 0, Action::CallWithTexts},
    {"same-changes",
     nullptr,
     {kFile, kFile, {"TOLERANCE_US", Kind::Microseconds}},
     3,
     Action::SameChanges},
};

// The exports, with the parameters each takes; a script may leave out the
// names' prefix.
const Statement kExports[] = {
    {"fnOrvane_fetchParallelInputPin", nullptr, {kPin}, 1, Action::CallWithIntegers},
    {"fnOrvane_getParallelInputAll", nullptr, {}, 0, Action::CallWithIntegers},
    {"fnOrvane_getParallelInputPin", nullptr, {kPin}, 1, Action::CallWithIntegers},
    {"fnOrvane_rudAdado", nullptr, {}, 0, Action::CallWithIntegers},
    {"fnOrvane_prepareParallelOutputBuffer", nullptr, {}, 0, Action::CallWithIntegers},
    {"fnOrvane_prepareParallelOutputPin", nullptr, {kPin, kLevel}, 2, Action::CallWithIntegers},
    {"fnOrvane_setParallelOutputAll", nullptr, {}, 0, Action::CallWithIntegers},
    {"fnOrvane_setParallelOutputPin", nullptr, {kPin, kLevel}, 2, Action::CallWithIntegers},
    {"fnOrvane_setParallelPort", nullptr, {{"NUMBER", Kind::Integer}}, 1, Action::CallWithIntegers},
    {"fnOrvane_setParallelPortAddress",
     nullptr,
     {{"DIGIT1", Kind::Text},
      {"DIGIT2", Kind::Text},
      {"DIGIT3", Kind::Text},
      {"DIGIT4", Kind::Text}},
     4,
     Action::CallWithTexts},
    {"fnOrvane_setParallelDataDirection",
     nullptr,
     {{"INPUT", Kind::Integer}},
     1,
     Action::CallWithIntegers},
    {"fnOrvane_setParallelDataByte",
     nullptr,
     {{"VALUE", Kind::Integer}},
     1,
     Action::CallWithIntegers},
    {"fnOrvane_getParallelDataByte", nullptr, {}, 0, Action::CallWithIntegers},
    {"fnOrvane_waitParallelInputPin",
     nullptr,
     {kPin, kLevel, {"TIMEOUT", Kind::Integer}},
     3,
     Action::CallWithIntegers},
    {"fnOrvane_recordParallelPins", nullptr, {kFile}, 0, Action::CallWithTexts},
    {"fnOrvane_pulseParallelOutputPin",
     nullptr,
     {kPin, kLevel, {"MICROSECONDS", Kind::Integer}},
     3,
     Action::CallWithIntegers},
    {"fnOrvane_pulseParallelDataByte",
     nullptr,
     {{"VALUE", Kind::Integer}, {"MICROSECONDS", Kind::Integer}},
     2,
     Action::CallWithIntegers},
    {"fnOrvane_checkParallelPort", nullptr, {}, 0, Action::CallWithIntegers},
    {"fnOrvane_timeParallelInputPin",
     nullptr,
     {kPin, kLevel, {"TIMEOUT", Kind::Integer}},
     3,
     Action::CallWithIntegers},
    {"fnOrvane_playParallelPins", nullptr, {kFile}, 1, Action::CallWithTexts},
};

const Statement* FindStatement(const std::string& word)
{
    for (const Statement& statement : kExports) {
        if (word == statement.name || kExportPrefix + word == statement.name) return &statement;
    }
    for (const Statement& statement : kHostStatements) {
        if (word == statement.name) return &statement;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// Reading a script

// A script's line as it stands in the file, without its line end.
struct SourceLine {
    int number;
    std::string text;
};

std::vector<SourceLine> SplitLines(const std::string& bytes)
{
    std::vector<SourceLine> lines;
    std::size_t at = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    std::string text;
    int number = 1;
    for (; at < bytes.size(); ++at) {
        const char byte = bytes[at];
        if (byte != '\r' && byte != '\n') {
            text += byte;
            continue;
        }
        if (byte == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n') ++at;
        lines.push_back({number++, text});
        text.clear();
    }
    if (!text.empty()) lines.push_back({number, text});
    return lines;
}

bool IsBlank(char byte)
{
    return byte == ' ' || byte == '\t';
}

// Splits a line into words; false, with `error`, when it cannot.
bool SplitWords(const std::string& text, std::vector<std::string>& words, std::string& error)
{
    for (const char byte : text) {
        const auto code = static_cast<unsigned char>(byte);
        if ((code < 0x20 && byte != '\t') || code == 0x7F) {
            char message[32];
            std::snprintf(message, sizeof message, "control byte 0x%02X", code);
            error = message;
            return false;
        }
    }
    std::size_t at = 0;
    for (;;) {
        while (at < text.size() && IsBlank(text[at])) ++at;
        if (at >= text.size() || text[at] == '#') return true;
        std::size_t end = at;
        if (text[at] == '"') {
            end = text.find('"', at + 1);
            if (end == std::string::npos) {
                error = "a quote is not closed";
                return false;
            }
            words.push_back(text.substr(at + 1, end - at - 1));
            ++end;
        } else {
            while (end < text.size() && !IsBlank(text[end]) && text[end] != '"') ++end;
            words.push_back(text.substr(at, end - at));
        }
        if (end < text.size() && !IsBlank(text[end])) {
            error = "a quote in the middle of a word";
            return false;
        }
        at = end;
    }
}

// Reads a whole word as a number: an optional '-' and decimal digits, or
// hexadecimal digits. Values too large for any parameter stay too large.
bool ReadNumber(const std::string& word, bool hexadecimal, long long& value)
{
    const bool negative = !hexadecimal && !word.empty() && word[0] == '-';
    const std::size_t first = negative ? 1 : 0;
    if (word.size() == first) return false;
    const unsigned long long radix = hexadecimal ? 16 : 10;
    unsigned long long magnitude = 0;
    for (std::size_t at = first; at < word.size(); ++at) {
        const char c = word[at];
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (hexadecimal && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else if (hexadecimal && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else {
            return false;
        }
        magnitude = magnitude * radix + digit;
        if (magnitude > 0xFFFFFFFFFFull) magnitude = 0xFFFFFFFFFFull;
    }
    value = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    return true;
}

// Reads one argument; false, with `error`, when its word is not a value of its kind.
bool ReadArgument(const Parameter& parameter, const std::string& word, Argument& argument,
                  std::string& error)
{
    argument.text = word;
    if (parameter.kind == Kind::Text) return true;
    const bool hexadecimal = parameter.kind == Kind::Base || parameter.kind == Kind::Byte;
    long long& value = argument.number;
    const char* range = nullptr;
    if (!ReadNumber(word, hexadecimal, value)) {
        error = std::string(parameter.name) + " \"" + word + "\" is not a " +
                (hexadecimal ? "hexadecimal" : "decimal") + " number";
        return false;
    }
    switch (parameter.kind) {
    case Kind::Integer:
        if (value < INT32_MIN || value > INT32_MAX) range = "-2147483648 to 2147483647";
        break;
    case Kind::Milliseconds:
        if (value < 0 || value > kLongestMilliseconds) range = "0 to 3600000";
        break;
    case Kind::Microseconds:
        if (value < 0 || value > kLongestMicroseconds) range = "0 to 1000000";
        break;
    case Kind::Base:
        if (value > 0xFFFF || !PinMap::IsUsableBase(static_cast<std::uint16_t>(value)))
            range = "100 to FFFD";
        break;
    case Kind::Byte:
        if (value > 0xFF) range = "00 to FF";
        break;
    case Kind::Text: break;
    }
    if (range == nullptr) return true;
    error = std::string(parameter.name) + " " + word + " is outside " + range;
    return false;
}

std::string Usage(const Statement& statement)
{
    const std::size_t count = statement.parameters.size();
    if (count == 0) return "no arguments";
    std::string names;
    for (const Parameter& parameter : statement.parameters) {
        names += (names.empty() ? "" : " ") + std::string(parameter.name);
    }
    const std::string counted = statement.required == count ? std::to_string(count)
                                                            : std::to_string(statement.required) +
                                                                  " or " + std::to_string(count);
    return counted + (count == 1 ? " argument (" : " arguments (") + names + ")";
}

// Reads one line into `line`; false, with `error`, when it cannot. A line of
// no statement (blank, or a comment) reads as one with no statement.
bool ReadLine(const SourceLine& source, Line& line, std::string& error)
{
    line.number = source.number;
    std::vector<std::string> words;
    if (!SplitWords(source.text, words, error)) return false;
    if (words.empty()) return true;
    line.statement = FindStatement(words[0]);
    if (line.statement == nullptr) {
        error = "no statement or export named \"" + words[0] + "\"";
        return false;
    }
    const std::vector<Parameter>& parameters = line.statement->parameters;
    const std::size_t given = words.size() - 1;
    if (given < line.statement->required || given > parameters.size()) {
        error = words[0] + " takes " + Usage(*line.statement) + ", not " + std::to_string(given);
        return false;
    }
    line.arguments.resize(given);
    for (std::size_t index = 0; index < given; ++index) {
        if (!ReadArgument(parameters[index], words[index + 1], line.arguments[index], error))
            return false;
    }
    return true;
}

}  // namespace

const char* ExportName(const Statement& statement)
{
    return statement.exportName != nullptr ? statement.exportName : statement.name;
}

bool ReadScript(const std::string& bytes, std::vector<Line>& lines,
                std::vector<std::string>& errors)
{
    for (const SourceLine& source : SplitLines(bytes)) {
        Line line;
        std::string error;
        if (!ReadLine(source, line, error)) {
            errors.push_back("line " + std::to_string(source.number) + ": " + error);
        } else if (line.statement != nullptr) {
            lines.push_back(line);
        }
    }
    return errors.empty();
}

}  // namespace script
