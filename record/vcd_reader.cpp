#include "vcd_reader.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "../port/pin_map.h"

namespace {

bool IsSpace(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n' || byte == '\f' ||
           byte == '\v' || byte == '\0';
}

// Reads `text` whole as a decimal number that fits 64 bits.
bool ReadDecimal(const char* text, std::uint64_t* value)
{
    if (*text == '\0') return false;
    std::uint64_t number = 0;
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9') return false;
        const auto digit = static_cast<std::uint64_t>(*text - '0');
        if (number > (UINT64_MAX - digit) / 10) return false;
        number = number * 10 + digit;
    }
    *value = number;
    return true;
}

// A timescale's unit: nanoseconds a tick as a multiplier over a divisor.
struct Unit {
    const char* name;
    std::uint64_t multiplier;
    std::uint64_t divisor;
};
constexpr Unit kUnits[] = {{"s", 1000000000, 1}, {"ms", 1000000, 1}, {"us", 1000, 1},
                           {"ns", 1, 1},         {"ps", 1, 1000},    {"fs", 1, 1000000}};

// sigrok's names of a logic analyser's first eight channels: the data lines.
constexpr int kFirstDataPin = 2;
constexpr int kAnalyserChannels = 8;

}  // namespace

VcdReader::VcdReader(std::uint16_t portBase, PlaySchedule& into) : base(portBase), schedule(into)
{
}

bool VcdReader::Feed(const char* bytes, std::size_t count)
{
    for (std::size_t at = 0; at < count && !refused; ++at) {
        const char byte = bytes[at];
        if (IsSpace(byte)) {
            if (wordLength > 0 && !Word()) return false;
            wordLength = 0;
            wordTooLong = false;
            if (byte == '\n') ++line;
            continue;
        }
        if (wordLength == 0) wordLine = line;
        if (wordLength < kLongestWord) {
            word[wordLength++] = byte;
        } else {
            wordTooLong = true;
        }
    }
    return !refused;
}

bool VcdReader::Finish()
{
    if (refused) return false;
    if (wordLength > 0 && !Word()) return false;
    wordLength = 0;
    wordLine = line;
    if (mode != Mode::Body) {
        return Refuse(mode == Mode::Header ? "not a VCD file: no $enddefinitions"
                                           : "the file ends inside a $ command");
    }
    return FlushStamp();
}

bool VcdReader::Refuse(const char* text, const char* detail)
{
    std::snprintf(why, sizeof why, "line %d: %s%s", wordLine, text, detail);
    refused = true;
    return false;
}

bool VcdReader::Word()
{
    word[wordLength] = '\0';
    if (mode == Mode::Skip) {
        if (!wordTooLong && std::strcmp(word, "$end") == 0) mode = afterSkip;
        return true;
    }
    if (wordTooLong) return Refuse("a word longer than 255 characters");
    return mode == Mode::Body ? BodyWord() : HeaderWord();
}

// The header's commands: $timescale, $var and $enddefinitions are read;
// $scope names no pin (the signals' names carry their port); the rest
// ($date, $version, $comment, $upscope...) are skipped to their $end.
bool VcdReader::HeaderWord()
{
    const bool end = std::strcmp(word, "$end") == 0;
    if (mode == Mode::Timescale || mode == Mode::Var) {
        if (end) return mode == Mode::Timescale ? EndTimescale() : EndVar();
        if (collectedCount == 4) return Refuse("too many words in $timescale or $var");
        std::memcpy(collected[collectedCount++], word, wordLength + 1);
        return true;
    }
    if (mode == Mode::Scope) {
        if (end) mode = Mode::Header;
        return true;
    }
    collectedCount = 0;
    if (std::strcmp(word, "$timescale") == 0) {
        mode = Mode::Timescale;
    } else if (std::strcmp(word, "$var") == 0) {
        mode = Mode::Var;
    } else if (std::strcmp(word, "$scope") == 0) {
        mode = Mode::Scope;
    } else if (std::strcmp(word, "$enddefinitions") == 0) {
        return EndDefinitions();
    } else if (word[0] == '$' && !end) {
        mode = Mode::Skip;
        afterSkip = Mode::Header;
    } else {
        return Refuse("not a VCD file: ", word);
    }
    return true;
}

// "1us", "1 us", "100 ps": the number 1, 10 or 100 and a unit.
bool VcdReader::EndTimescale()
{
    mode = Mode::Header;
    char text[2 * (kLongestWord + 1)] = {};
    std::snprintf(text, sizeof text, "%s%s", collectedCount > 0 ? collected[0] : "",
                  collectedCount > 1 ? collected[1] : "");
    std::size_t digits = 0;
    while (text[digits] >= '0' && text[digits] <= '9') ++digits;
    const char* unit = text + digits;
    std::uint64_t number = 0;
    if (digits == 1 && text[0] == '1') number = 1;
    if (digits == 2 && std::strncmp(text, "10", 2) == 0) number = 10;
    if (digits == 3 && std::strncmp(text, "100", 3) == 0) number = 100;
    for (const Unit& known : kUnits) {
        if (number == 0 || collectedCount > 2 || std::strcmp(unit, known.name) != 0) continue;
        const bool fine = known.divisor > 1 && number < known.divisor;
        tickMultiplier = fine ? 1 : number * known.multiplier;
        tickDivisor = fine ? known.divisor / number : 1;
        return true;
    }
    return Refuse("a timescale other than 1, 10 or 100 of s, ms, us, ns, ps, fs: ", text);
}

// "wire 1 ! D0": a one-bit signal, its identifier and its name.
bool VcdReader::EndVar()
{
    mode = Mode::Header;
    if (collectedCount < 4) return Refuse("a $var without its type, width, identifier and name");
    if (std::strcmp(collected[1], "1") != 0)
        return Refuse("a signal wider than a bit: ", collected[3]);
    if (std::strlen(collected[2]) > kLongestIdentifier) {
        return Refuse("an identifier longer than 15 characters: ", collected[2]);
    }
    int pin = 0;
    if (!MapName(collected[3], &pin)) return Refuse("a signal that names no pin: ", collected[3]);
    if (pin > 0 && !PinMap::Find(pin)->settable) {
        schedule.skippedPins |= std::uint32_t{1} << pin;
    }
    return AddSignal(collected[2], pin);
}

// The pin a signal's name drives: D0 to D7, or lpt<base>_pin<NN>_<name> as
// the recording names them (0 for another port's). False for any other name.
bool VcdReader::MapName(const char* name, int* pin)
{
    if (name[0] == 'D' && name[1] >= '0' && name[1] < '0' + kAnalyserChannels && name[2] == '\0') {
        *pin = kFirstDataPin + (name[1] - '0');
        return true;
    }
    unsigned port = 0;
    int number = 0;
    int used = 0;
    if (std::sscanf(name, "lpt%4X_pin%2d_%n", &port, &number, &used) != 2 || used == 0) {
        return false;
    }
    const PinMapRow* row = PinMap::Find(number);
    char expected[48];
    std::snprintf(expected, sizeof expected, "lpt%X_pin%02d_%s", port, number,
                  row != nullptr ? row->name : "");
    if (row == nullptr || std::strcmp(name, expected) != 0) return false;
    if (port != base) otherPort = static_cast<std::uint16_t>(port);
    *pin = port == base ? number : 0;
    return true;
}

// Kept in the identifiers' order, so that each change finds its signal in a
// few comparisons.
bool VcdReader::AddSignal(const char* identifier, int pin)
{
    if (signalCount == kMaxSignals) return Refuse("more than 256 signals");
    int at = signalCount;
    while (at > 0 && std::strcmp(signals[at - 1].identifier, identifier) > 0) {
        signals[at] = signals[at - 1];
        --at;
    }
    if (at > 0 && std::strcmp(signals[at - 1].identifier, identifier) == 0) {
        for (; at < signalCount; ++at) signals[at] = signals[at + 1];
        return Refuse("an identifier declared twice: ", identifier);
    }
    std::snprintf(signals[at].identifier, sizeof signals[at].identifier, "%s", identifier);
    signals[at].pin = pin;
    ++signalCount;
    return true;
}

const VcdReader::Signal* VcdReader::FindSignal(const char* identifier) const
{
    int low = 0;
    int high = signalCount;
    while (low < high) {
        const int middle = (low + high) / 2;
        const int order = std::strcmp(signals[middle].identifier, identifier);
        if (order == 0) return &signals[middle];
        if (order < 0) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return nullptr;
}

// The header is whole: a timescale, and some signal of an output pin of the
// selected port.
bool VcdReader::EndDefinitions()
{
    if (tickMultiplier == 0) return Refuse("no $timescale before $enddefinitions");
    for (int at = 0; at < signalCount; ++at) {
        const int pin = signals[at].pin;
        if (pin > 0 && PinMap::Find(pin)->settable) {
            mode = Mode::Body;
            return true;
        }
    }
    if (otherPort != 0) {
        char detail[64];
        std::snprintf(detail, sizeof detail, "%X (the file has port %X)", base, otherPort);
        return Refuse("no signal of port ", detail);
    }
    return Refuse("no signal of an output pin");
}

// Stamps, changes, and the commands a change list may hold.
bool VcdReader::BodyWord()
{
    if (word[0] == '#') return Stamp(word + 1);
    if (word[0] == '$') {
        if (std::strcmp(word, "$comment") == 0) {
            mode = Mode::Skip;
            afterSkip = Mode::Body;
        }
        // $dumpvars, $dumpall, $dumpon, $dumpoff and their $end hold changes.
        return true;
    }
    const char level = word[0];
    if (std::strchr("01xXzZ", level) != nullptr && word[1] != '\0') {
        return Change(level, word + 1);
    }
    if (std::strchr("bBrR", level) != nullptr) {
        return Refuse("a vector or real value: ", word);
    }
    return Refuse("cannot read ", word);
}

bool VcdReader::Stamp(const char* digits)
{
    std::uint64_t ticks = 0;
    if (!ReadDecimal(digits, &ticks)) return Refuse("a time stamp that is not a number: #", digits);
    if (ticks / tickDivisor >= UINT64_MAX / tickMultiplier) {
        return Refuse("a time stamp too late: #", digits);
    }
    const std::uint64_t ns =
        ticks / tickDivisor * tickMultiplier + ticks % tickDivisor * tickMultiplier / tickDivisor;
    if (stamped && ns < stampNs) return Refuse("a time stamp before the one before it: #", digits);
    if (stamped && ns != stampNs && !FlushStamp()) return false;
    if (started && ns - firstNs > PlaySchedule::kLongestNs) {
        return Refuse("the play would last longer than 4.8 hours: #", digits);
    }
    stamped = true;
    stampNs = ns;
    return true;
}

bool VcdReader::Change(char level, const char* identifier)
{
    const Signal* signal = FindSignal(identifier);
    if (signal == nullptr) return Refuse("a change of an undeclared identifier: ", identifier);
    const PinMapRow* row = PinMap::Find(signal->pin);
    if (row == nullptr || !row->settable || (level != '0' && level != '1')) return true;
    const auto reg = static_cast<std::size_t>(row->reg);
    const std::uint16_t bits = PinMap::WithLevel(*row, pendingBits[reg], level == '1');
    pendingBits[reg] = static_cast<std::uint8_t>(bits);
    pendingMask[reg] = static_cast<std::uint8_t>(pendingMask[reg] | row->mask);
    return true;
}

// The stamp's changes, a step for each register it changes.
bool VcdReader::FlushStamp()
{
    for (std::size_t reg = 0; reg < 3; ++reg) {
        if (pendingMask[reg] == 0) continue;
        if (!started) {
            started = true;
            firstNs = stampNs;
        }
        PlayStep step{};
        step.atNs = (stampNs - firstNs) & PlaySchedule::kLongestNs;  // checked by Stamp
        step.reg = reg & 3u;
        step.mask = pendingMask[reg];
        step.bits = pendingBits[reg] & pendingMask[reg];
        pendingMask[reg] = 0;
        pendingBits[reg] = 0;
        if (!schedule.Append(step))
            return Refuse("more changes than a play holds (4194304) or memory takes");
    }
    return true;
}

bool VcdFileReader::Read(const char* file, std::uint16_t base, PlaySchedule& schedule, char* why,
                         std::size_t whySize)
{
    struct stat status {};
    if (stat(file, &status) != 0) {
        std::snprintf(why, whySize, "cannot open the file");
        return false;
    }
    std::FILE* stream = S_ISREG(status.st_mode) ? std::fopen(file, "rb") : nullptr;
    if (stream == nullptr) {
        std::snprintf(why, whySize,
                      S_ISREG(status.st_mode) ? "cannot open the file" : "not a regular file");
        return false;
    }
    VcdReader reader(base, schedule);
    char chunk[4096];
    bool read = true;
    std::size_t count = 0;
    while (read && (ended == nullptr || !ended()) &&
           (count = std::fread(chunk, 1, sizeof chunk, stream)) > 0) {
        read = reader.Feed(chunk, count);
    }
    if (read && ended != nullptr && ended()) {
        std::fclose(stream);
        std::snprintf(why, whySize, "the unload began");
        return false;
    }
    const bool failed = std::ferror(stream) != 0;
    std::fclose(stream);
    if (failed) {
        std::snprintf(why, whySize, "the file cannot be read");
        return false;
    }
    if (read && reader.Finish()) return true;
    std::snprintf(why, whySize, "%s", reader.Why());
    return false;
}
