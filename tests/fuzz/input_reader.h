// Reads a fuzz input front to back as a plain byte stream, so that seed inputs
// can be written by hand (see write_seeds.sh). Past the end every read gives
// zero bytes, which keeps every input meaningful, however short.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class InputReader {
public:
    InputReader(const std::uint8_t* input, std::size_t inputSize) : data(input), size(inputSize) {}

    bool AtEnd() const { return position >= size; }

    std::uint8_t Byte() { return position < size ? data[position++] : 0; }

    bool Flag() { return (Byte() & 1) != 0; }

    // A value in low..high (inclusive) from one byte; the span must not exceed 256.
    int Choice(int low, int high) { return low + Byte() % (high - low + 1); }

    std::uint16_t Word()
    {
        const unsigned low = Byte();
        const unsigned high = Byte();
        return static_cast<std::uint16_t>(low | (high << 8));
    }

    std::uint32_t DoubleWord()
    {
        const std::uint32_t low = Word();
        const std::uint32_t high = Word();
        return low | (high << 16);
    }

    std::int32_t Integer() { return static_cast<std::int32_t>(DoubleWord()); }

    // `count` bytes as they stand, zero bytes included.
    std::string Bytes(std::size_t count)
    {
        std::string bytes;
        bytes.reserve(count);
        for (std::size_t taken = 0; taken < count; ++taken) {
            bytes += static_cast<char>(Byte());
        }
        return bytes;
    }

    // An integer that is usually small (-3 to 30, where the interesting pin
    // and port numbers lie), sometimes an extreme, sometimes anything.
    std::int32_t BiasedInteger()
    {
        static constexpr std::int32_t kExtremes[] = {
            INT32_MIN, INT32_MIN + 1, INT32_MAX, INT32_MAX - 1, -1, 0, 1, 0x100, 0x10000, -0x10000,
        };
        switch (Byte() % 4) {
        case 0:
        case 1: return Choice(-3, 30);
        case 2: return kExtremes[Byte() % (sizeof kExtremes / sizeof kExtremes[0])];
        default: return Integer();
        }
    }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position = 0;
};
