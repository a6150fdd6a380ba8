// Reads a fuzz input front to back as a plain byte stream, so that seed inputs
// can be written by hand (see write_seeds.sh). Past the end every read gives
// zero bytes, which keeps every input meaningful, however short.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/fakes/fakes.h"

class InputReader {
public:
    InputReader(const std::uint8_t* input, std::size_t inputSize) : data(input), size(inputSize) {}

    bool AtEnd() const { return position >= size; }
    std::uint8_t Byte() { return position < size ? data[position++] : 0; }
    // A value in low..high (inclusive) from one byte; the span must not exceed 256.
    int Choice(int low, int high) { return low + Byte() % (high - low + 1); }
    std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() | Byte() << 8); }

    // An integer that is usually small (-3 to 30, where the interesting pin
    // numbers lie), sometimes an extreme.
    std::int32_t Integer()
    {
        static constexpr std::int32_t kExtremes[] = {INT32_MIN, INT32_MAX, -1, 0x100, 0x10000};
        return Byte() % 2 == 0 ? Choice(-3, 30) : kExtremes[Byte() % 5];
    }

    // `count` bytes as they stand, zero bytes included.
    std::string Bytes(std::size_t count)
    {
        std::string bytes;
        while (bytes.size() < count) bytes += static_cast<char>(Byte());
        return bytes;
    }

    // One device of the fake device list: byte flags (1 open fails, 2 the
    // name cannot be read, 4 the resources cannot be read, 8 a range count
    // without ranges, 16 the name fills the buffer unterminated, 32 no
    // range), byte name length (0..12) and its bytes, word first port,
    // word last port.
    fakes::FakeDevice Device()
    {
        fakes::FakeDevice device;
        const std::uint8_t flags = Byte();
        device.failOpen = (flags & 1) != 0;
        device.failProperty = (flags & 2) != 0;
        device.failResources = (flags & 4) != 0;
        device.nullRangePointer = (flags & 8) != 0;
        device.unterminatedName = (flags & 16) != 0;
        device.name = Bytes(static_cast<std::size_t>(Choice(0, 12)));
        const std::uint16_t first = Word();
        const std::uint16_t last = Word();
        if ((flags & 32) == 0) device.ranges.push_back({first, last});
        return device;
    }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position = 0;
};
