#include "vcd_recorder.h"

#include "../port/pin_map.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// The short code VCD gives a signal: printable characters from '!' to '~'
// (at most three for the signals of eleven ports).
void Identifier(std::size_t number, char (&code)[4])
{
    std::size_t length = 0;
    do {
        code[length++] = static_cast<char>('!' + number % 94);
        number /= 94;
    } while (number > 0 && length < 3);
    code[length] = '\0';
}

}  // namespace

VcdText::~VcdText()
{
    std::free(bytes);
}

bool VcdText::Reserve(std::size_t wanted)
{
    if (wanted <= capacity) return true;
    void* grown = std::realloc(bytes, wanted);
    if (grown == nullptr) return false;
    bytes = static_cast<char*>(grown);
    capacity = wanted;
    return true;
}

bool VcdText::Append(const char* text, std::size_t count)
{
    if (count > capacity - length && !Reserve(capacity + (capacity > count ? capacity : count))) {
        return false;
    }
    std::memcpy(bytes + length, text, count);
    length += count;
    return true;
}

void VcdText::Swap(VcdText& other)
{
    char* const otherBytes = other.bytes;
    const std::size_t otherLength = other.length;
    const std::size_t otherCapacity = other.capacity;
    other.bytes = bytes;
    other.length = length;
    other.capacity = capacity;
    bytes = otherBytes;
    length = otherLength;
    capacity = otherCapacity;
}

bool VcdRecorder::Start(const std::uint16_t* bases, int count, Clock now)
{
    for (int pin = PinMap::kFirstPin; pin <= PinMap::kLastSignalPin; ++pin) {
        const PinMapRow* row = PinMap::Find(pin);
        if (row == nullptr) continue;
        const int reg = static_cast<int>(row->reg);
        lines[reg][lineCount[reg]++] = Line{pin, row->mask, row->inverted};
    }
    if (!buffer.Reserve(kFirstBufferBytes)) return false;
    Append("$version Doruzeda_DO port recorder $end\n$timescale 1us $end\n");
    portCount = count < kMaxPorts ? count : kMaxPorts;
    for (int index = 0; index < portCount; ++index) {
        ports[index].base = bases[index];
        for (int& value : ports[index].shown) value = -1;
        DeclarePort(ports[index], static_cast<std::size_t>(index) * kPins);
    }
    Append("$enddefinitions $end\n#0\n$dumpvars\n");
    AppendAllLevels();
    Append("$end\n");
    origin = now();
    return true;
}

// The port's scope and its pins' signals, with their short codes, every pin
// unknown.
void VcdRecorder::DeclarePort(Port& port, std::size_t firstSignal)
{
    char line[96];
    std::snprintf(line, sizeof line, "$scope module lpt_%X $end\n", port.base);
    Append(line);
    for (int pin = 0; pin < kPins; ++pin) {
        port.levels[pin] = 'x';
        port.filed[pin] = 'x';
        Identifier(firstSignal + static_cast<std::size_t>(pin), port.identifiers[pin]);
        std::snprintf(line, sizeof line, "$var wire 1 %s lpt%X_pin%02d_%s $end\n",
                      port.identifiers[pin], port.base, pin + 1, PinMap::Find(pin + 1)->name);
        Append(line);
    }
    Append("$upscope $end\n");
}

// The header's and the ticks' lines fit in the room kept (and, when memory
// fails for the header, are lost with the rest, as a drop).
void VcdRecorder::Append(const char* text, std::size_t length)
{
    if (!buffer.Append(text, length)) lostChanges = true;
}

void VcdRecorder::Append(const char* text)
{
    Append(text, std::strlen(text));
}

void VcdRecorder::AppendAllLevels()
{
    for (int index = 0; index < portCount; ++index) {
        Port& port = ports[index];
        for (int pin = 0; pin < kPins; ++pin) {
            char line[8];
            std::snprintf(line, sizeof line, "%c%s\n", port.levels[pin], port.identifiers[pin]);
            Append(line);
            port.filed[pin] = port.levels[pin];
        }
    }
}

// A time stamp line, "#TIME", at least a tick after the last one: digit by
// digit, since the C library's formatting costs many times a simulated
// access.
void VcdRecorder::Stamp(std::uint64_t time)
{
    if (time <= lastStamp) time = lastStamp + 1;
    lastStamp = time;
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    char line[24];
    std::size_t at = sizeof line;
    line[--at] = '\n';
    // Two digits a division.
    while (time >= 100) {
        const std::size_t pair = static_cast<std::size_t>(time % 100) * 2;
        time /= 100;
        line[--at] = kPairs[pair + 1];
        line[--at] = kPairs[pair];
    }
    if (time >= 10) {
        const std::size_t pair = static_cast<std::size_t>(time) * 2;
        line[--at] = kPairs[pair + 1];
        line[--at] = kPairs[pair];
    } else {
        line[--at] = static_cast<char>('0' + time);
    }
    line[--at] = '#';
    Append(line + at, sizeof line - at);
}

// The current access's time in ticks from the start, read once, and only
// when it changes a pin.
std::uint64_t VcdRecorder::Now()
{
    if (!timed) {
        const std::uint64_t current = clock();
        accessTime = current >= origin ? current - origin : 0;
        timed = true;
    }
    return accessTime;
}

// Whether the buffer has its room kept past what it holds, within the limit:
// grown when it has not, but not again once that failed, until the text is
// taken (growing where memory has run out can take as long as the system
// likes).
bool VcdRecorder::Room()
{
    const std::size_t wanted = buffer.Size() + kRoomKept;
    if (wanted > kBufferLimit) return false;
    if (wanted <= buffer.Capacity()) return true;
    if (cannotGrow) return false;
    std::size_t grown = buffer.Capacity() * 2;
    if (grown < wanted) grown = wanted;
    if (grown > kBufferLimit) grown = kBufferLimit;
    cannotGrow = !buffer.Reserve(grown);
    return !cannotGrow;
}

// The open tick into the text: its stamp and the pins whose level differs
// from what the text last gave them, in the order they changed; every level
// when it opened after a loss.
void VcdRecorder::CloseTick()
{
    if (!tickOpen) return;
    tickOpen = false;
    bool stamped = tickAllLevels;
    if (tickAllLevels) {
        Stamp(tickStamp);
        AppendAllLevels();
    }
    for (int index = 0; index < tickCount; ++index) {
        Port& port = ports[tickPins[index] / kPins];
        const int pin = tickPins[index] % kPins;
        port.inTick = 0;
        if (port.filed[pin] == port.levels[pin]) continue;
        if (!stamped) Stamp(tickStamp);
        stamped = true;
        port.filed[pin] = port.levels[pin];
        // One append: the level, the signal's code and the line end.
        const char* identifier = port.identifiers[pin];
        char line[8];
        std::size_t length = 0;
        line[length++] = port.levels[pin];
        while (*identifier != '\0') line[length++] = *identifier++;
        line[length++] = '\n';
        Append(line, length);
    }
    tickCount = 0;
}

// A change joins the open tick when it falls in it; a pin that changed in it
// already, at a tick the clock has reached, opens the next tick (one ahead at
// most), and in a tick ahead of the clock it keeps its last level.
void VcdRecorder::Change(Port& port, int pin, char level)
{
    char& current = port.levels[pin - 1];
    if (current == level) return;
    const PinSet bit = PinSet{1} << (pin - PinMap::kFirstPin);
    const std::uint64_t time = Now();
    const bool inTick = tickOpen && (port.inTick & bit) != 0;
    const bool next = !tickOpen || time > tickStamp || (inTick && tickStamp <= time);
    if (!next && inTick) {
        current = level;  // its last level, in the tick ahead
        return;
    }
    // The open tick's lines fit in the room it was given, with the levels
    // they have now.
    if (next) CloseTick();
    if (!Room()) {
        // The level is kept; the line dropped and counted.
        current = level;
        ++dropped;
        lostChanges = true;
        return;
    }
    if (next) {
        tickOpen = true;
        tickStamp = time > lastStamp ? time : lastStamp + 1;
        // Room again after a loss: every pin's level, so the file agrees with
        // the pins from here on.
        tickAllLevels = lostChanges;
        lostChanges = false;
    }
    current = level;
    port.inTick |= bit;
    tickPins[tickCount++] =
        static_cast<std::uint16_t>(static_cast<int>(&port - ports) * kPins + pin - 1);
}

// Shows register `reg`'s value on the pins it carries. The data pins follow
// writes while they are outputs and reads while they are inputs: the caller
// chooses.
void VcdRecorder::ApplyRegister(Port& port, int reg, std::uint8_t value)
{
    const int before = port.shown[reg];
    if (before == value) return;
    port.shown[reg] = value;
    const unsigned changed = before < 0 ? std::numeric_limits<std::uint8_t>::max()  // every line
                                        : static_cast<unsigned>(before ^ value);
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
    for (std::size_t index = 0; index < unrecordedCount; ++index) {
        if (unrecorded[index].address == address) {
            ++unrecorded[index].count;
            return;
        }
    }
    if (unrecordedCount < kUnrecordedAddresses) {
        unrecorded[unrecordedCount++] = Unrecorded{address, 1};
    } else {
        ++unrecordedOthers;
    }
}

// The first recorded port with a register at `address`, and which one.
VcdRecorder::Port* VcdRecorder::Find(std::uint16_t address, PinRegister* reg)
{
    for (int index = 0; index < portCount; ++index) {
        if (const auto found = PinMap::RegisterAt(address, ports[index].base)) {
            *reg = *found;
            return &ports[index];
        }
    }
    return nullptr;
}

bool VcdRecorder::AwaitsLevels(std::uint16_t address, std::uint16_t* base) const
{
    for (int index = 0; index < portCount; ++index) {
        if (!PinMap::RegisterAt(address, ports[index].base)) continue;
        *base = ports[index].base;
        return !ports[index].levelsKnown;
    }
    return false;
}

// The control latch as read, then the data register (the latch while
// outputs, the lines while inputs) and the status lines, at one time stamp.
void VcdRecorder::Levels(const RecordedRegisters& registers, Clock now)
{
    PinRegister reg = PinRegister::Data;
    Port* port = Find(registers.base, &reg);
    if (port == nullptr || port->levelsKnown) return;
    port->levelsKnown = true;
    clock = now;
    timed = false;
    ApplyControl(*port, registers.control);
    if ((registers.control & PinMap::kDataInputsBit) == 0) port->dataWritten = registers.data;
    ApplyRegister(*port, static_cast<int>(PinRegister::Data), registers.data);
    ApplyRegister(*port, static_cast<int>(PinRegister::Status), registers.status);
}

void VcdRecorder::Access(std::uint16_t address, std::uint8_t value, bool isWrite, Clock now)
{
    PinRegister reg = PinRegister::Data;
    Port* port = Find(address, &reg);
    if (port == nullptr) {
        CountUnrecorded(address);
        return;
    }
    port->levelsKnown = true;
    clock = now;
    timed = false;
    const bool dataInputs = port->control >= 0 && (port->control & PinMap::kDataInputsBit) != 0;
    if (reg == PinRegister::Data) {
        if (isWrite) port->dataWritten = value;
        // Written while outputs, or read while inputs: the lines show it.
        if (isWrite != dataInputs) ApplyRegister(*port, static_cast<int>(reg), value);
    } else if (reg == PinRegister::Status) {
        // The status lines are inputs: a write to them changes nothing.
        if (!isWrite) ApplyRegister(*port, static_cast<int>(reg), value);
    } else {
        // The control latch reads back what was written.
        ApplyControl(*port, value);
    }
}

void VcdRecorder::TakeText(VcdText& into, Clock now)
{
    if (tickOpen) {
        const std::uint64_t current = now();
        if (current >= origin && current - origin > tickStamp) CloseTick();
    }
    buffer.Swap(into);
    cannotGrow = false;
}

void VcdRecorder::End(Clock now)
{
    const std::uint64_t current = now();
    const std::uint64_t end = current > origin ? current - origin : 0;
    CloseTick();
    if (lostChanges) {
        // The pins' own levels, whatever the file missed.
        lostChanges = false;
        Stamp(end);
        AppendAllLevels();
    }
    Stamp(end);
}
