#include "record/vcd_recorder.h"

#include "port/pin_map.h"

#include <cstdio>

namespace {

// The signal names of the file after the port: pin number and the signal's
// name on the connector. The pin's register, bit and inversion come from
// PinMap.
const char* const kSignalNames[17] = {
    "pin01_strobe", "pin02_d0",       "pin03_d1",    "pin04_d2",   "pin05_d3",       "pin06_d4",
    "pin07_d5",     "pin08_d6",       "pin09_d7",    "pin10_ack",  "pin11_busy",     "pin12_paper",
    "pin13_select", "pin14_autofeed", "pin15_error", "pin16_init", "pin17_select_in"};

// The short codes VCD gives its signals: printable characters from '!' to '~'.
std::string Identifier(std::size_t number)
{
    std::string code;
    do {
        code += static_cast<char>('!' + number % 94);
        number /= 94;
    } while (number > 0);
    return code;
}

// A time stamp line, "#TIME": digit by digit, since the C library's
// formatting costs many times a simulated access.
void AppendStamp(std::string& buffer, std::uint64_t time)
{
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    char line[24];
    std::size_t at = sizeof line;
    line[--at] = '\n';
    // Two digits a division.
    while (time >= 100) {
        const auto pair = static_cast<std::size_t>(time % 100) * 2;
        time /= 100;
        line[--at] = kPairs[pair + 1];
        line[--at] = kPairs[pair];
    }
    if (time >= 10) {
        line[--at] = kPairs[time * 2 + 1];
        line[--at] = kPairs[time * 2];
    } else {
        line[--at] = static_cast<char>('0' + time);
    }
    line[--at] = '#';
    buffer.append(line + at, sizeof line - at);
}

}  // namespace

VcdRecorder::VcdRecorder(const std::vector<RecordedRegisters>& start, Clock now)
{
    for (int pin = PinMap::kFirstPin; pin <= PinMap::kLastSignalPin; ++pin) {
        const PinMapRow* row = PinMap::Find(pin);
        if (row == nullptr) continue;
        const int reg = static_cast<int>(row->reg);
        lines[reg][lineCount[reg]++] = Line{pin, row->mask, row->inverted};
    }
    buffer.reserve(64 * 1024);
    buffer += "$version Doruzeda_DO port recorder $end\n$timescale 1ns $end\n";
    DeclarePorts(start);
    ShowStartLevels(start);
    buffer += "$enddefinitions $end\n#0\n$dumpvars\n";
    AppendAllLevels();
    buffer += "$end\n";
    origin = now();
}

// Each port's scope and its pins' signals, with their short codes.
void VcdRecorder::DeclarePorts(const std::vector<RecordedRegisters>& start)
{
    std::size_t signal = 0;
    for (const RecordedRegisters& registers : start) {
        Port port;
        port.base = registers.base;
        char scope[48];
        std::snprintf(scope, sizeof scope, "$scope module lpt_%X $end\n", registers.base);
        buffer += scope;
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "lpt%X_", registers.base);
        for (int pin = 0; pin < 17; ++pin) {
            port.levels[pin] = 'x';
            port.identifiers[pin] = Identifier(signal++);
            buffer += "$var wire 1 " + port.identifiers[pin] + " " + prefix + kSignalNames[pin] +
                      " $end\n";
        }
        buffer += "$upscope $end\n";
        ports.push_back(port);
    }
}

// The levels at the start: the control latch as read, then the data register
// (the latch while outputs, the lines while inputs) and the status lines.
void VcdRecorder::ShowStartLevels(const std::vector<RecordedRegisters>& start)
{
    initialising = true;
    for (std::size_t index = 0; index < ports.size(); ++index) {
        Port& port = ports[index];
        ApplyControl(port, start[index].control);
        if ((start[index].control & PinMap::kDataInputsBit) == 0)
            port.dataWritten = start[index].data;
        ApplyRegister(port, static_cast<int>(PinRegister::Data), start[index].data);
        ApplyRegister(port, static_cast<int>(PinRegister::Status), start[index].status);
    }
    initialising = false;
}

void VcdRecorder::AppendAllLevels()
{
    for (const Port& port : ports) {
        for (int pin = 0; pin < 17; ++pin) {
            buffer += port.levels[pin];
            buffer += port.identifiers[pin];
            buffer += '\n';
        }
    }
}

void VcdRecorder::Change(Port& port, int pin, char level)
{
    char& current = port.levels[pin - 1];
    if (current == level) return;
    current = level;
    if (initialising) return;
    if (buffer.size() >= kBufferLimit) {
        // Full: the level is kept, the line dropped and counted.
        ++dropped;
        lostChanges = true;
        return;
    }
    if (!timed) {
        const std::uint64_t now = clock();
        time = now >= origin ? now - origin : 0;
        timed = true;
        if (time != lastStamp) {
            AppendStamp(buffer, time);
            lastStamp = time;
        }
    }
    if (lostChanges) {
        // Room again after a loss: every pin's level, so the file agrees with
        // the pins from here on.
        lostChanges = false;
        AppendAllLevels();
        return;
    }
    // One append: the level, the signal's code (at most three characters
    // for the signals of ten ports) and the line end.
    const std::string& identifier = port.identifiers[pin - 1];
    char line[8];
    std::size_t length = 0;
    line[length++] = level;
    for (std::size_t index = 0; index < identifier.size() && length < 7; ++index) {
        line[length++] = identifier[index];
    }
    line[length++] = '\n';
    buffer.append(line, length);
}

// Shows register `reg`'s value on the pins it carries. The data pins follow
// writes while they are outputs and reads while they are inputs: the caller
// chooses.
void VcdRecorder::ApplyRegister(Port& port, int reg, std::uint8_t value)
{
    const int before = port.shown[reg];
    if (before == value) return;
    port.shown[reg] = value;
    const unsigned changed = before < 0 ? 0xFFu : static_cast<unsigned>(before ^ value);
    for (int index = 0; index < lineCount[reg]; ++index) {
        const Line& line = lines[reg][index];
        if ((line.mask & changed) == 0) continue;
        const bool high = ((value & line.mask) != 0) != line.inverted;
        Change(port, line.pin, high ? '1' : '0');
    }
}

// The control latch, written or read back: its pins are outputs, and bit 5
// turns the data lines round: back to outputs, they show the data latch
// again.
void VcdRecorder::ApplyControl(Port& port, std::uint8_t value)
{
    port.control = value;
    ApplyRegister(port, static_cast<int>(PinRegister::Control), value);
    if ((value & PinMap::kDataInputsBit) == 0 && port.dataWritten >= 0) {
        ApplyRegister(port, static_cast<int>(PinRegister::Data),
                      static_cast<std::uint8_t>(port.dataWritten));
    }
}

void VcdRecorder::CountUnrecorded(std::uint16_t address)
{
    for (auto& counted : unrecorded) {
        if (counted.first == address) {
            ++counted.second;
            return;
        }
    }
    if (unrecorded.size() < kUnrecordedAddresses) {
        unrecorded.emplace_back(address, 1);
    } else {
        ++unrecordedOthers;
    }
}

void VcdRecorder::Access(std::uint16_t address, std::uint8_t value, bool isWrite, Clock now)
{
    for (Port& port : ports) {
        const unsigned offset = static_cast<std::uint16_t>(address - port.base);
        if (offset > 2) continue;
        clock = now;
        timed = false;
        const bool dataInputs = port.control >= 0 && (port.control & PinMap::kDataInputsBit) != 0;
        const int reg = static_cast<int>(offset);
        if (reg == static_cast<int>(PinRegister::Data)) {
            if (isWrite) port.dataWritten = value;
            // Written while outputs, or read while inputs: the lines show it.
            if (isWrite != dataInputs) ApplyRegister(port, reg, value);
        } else if (reg == static_cast<int>(PinRegister::Status)) {
            // The status lines are inputs: a write to them changes nothing.
            if (!isWrite) ApplyRegister(port, reg, value);
        } else {
            // The control latch reads back what was written.
            ApplyControl(port, value);
        }
        return;
    }
    CountUnrecorded(address);
}

void VcdRecorder::End(Clock now)
{
    const std::uint64_t current = now();
    const std::uint64_t end = current > origin ? current - origin : 0;
    // At least a nanosecond after the last change.
    const std::uint64_t last = end > lastStamp ? end : lastStamp + 1;
    AppendStamp(buffer, last);
    lastStamp = last;
}

void VcdRecorder::TakeText(std::string& into)
{
    buffer.swap(into);
}
