// What each connector pin does at the port at 378, as literals: the native
// tests drive it through the controller, the Win32 window test through the
// level boxes. Data register 378 (pins 2 to 9), status 379 (10 to 13, 15),
// control 37A (1, 14, 16, 17); pins 1, 11, 14 and 17 are inverted by the
// hardware. Written out by hand from the connector's wiring, never computed.
#pragma once

#include <climits>
#include <cstdint>
#include <string>

namespace pin_table {

enum class Call { Set, Get };  // setting the pin to `level`; reading it (gives `level`)

struct PinAtPort {
    Call call;
    int pin;
    int level;
    std::uint8_t before;   // the register's value before the call
    const char* accesses;  // exactly what reaches the port, two hex digits a value
    // Setting: what SetOutputAll writes after the pin alone was prepared in
    // the buffers, the other register's buffer holding 5A.
    const char* buffered = nullptr;
};

// Setting a pin reads its register and writes it back with one bit changed;
// the other bits are the opposite of the changed bit, so that one lost shows
// (but for control bit 5, which would turn the data lines into inputs).
inline constexpr PinAtPort kPins[] = {
    {Call::Set, 1, 1, 0xDF, "R 37A=DF W 37A=DE", "W 378=5A W 37A=DE"},
    {Call::Set, 1, 0, 0x00, "R 37A=00 W 37A=01", "W 378=5A W 37A=01"},
    {Call::Set, 2, 1, 0x00, "R 378=00 W 378=01", "W 378=01 W 37A=5A"},
    {Call::Set, 2, 0, 0xFF, "R 378=FF W 378=FE", "W 378=FE W 37A=5A"},
    {Call::Set, 3, 1, 0x00, "R 378=00 W 378=02", "W 378=02 W 37A=5A"},
    {Call::Set, 3, 0, 0xFF, "R 378=FF W 378=FD", "W 378=FD W 37A=5A"},
    {Call::Set, 4, 1, 0x00, "R 378=00 W 378=04", "W 378=04 W 37A=5A"},
    {Call::Set, 4, 0, 0xFF, "R 378=FF W 378=FB", "W 378=FB W 37A=5A"},
    {Call::Set, 5, 1, 0x00, "R 378=00 W 378=08", "W 378=08 W 37A=5A"},
    {Call::Set, 5, 0, 0xFF, "R 378=FF W 378=F7", "W 378=F7 W 37A=5A"},
    {Call::Set, 6, 1, 0x00, "R 378=00 W 378=10", "W 378=10 W 37A=5A"},
    {Call::Set, 6, 0, 0xFF, "R 378=FF W 378=EF", "W 378=EF W 37A=5A"},
    {Call::Set, 7, 1, 0x00, "R 378=00 W 378=20", "W 378=20 W 37A=5A"},
    {Call::Set, 7, 0, 0xFF, "R 378=FF W 378=DF", "W 378=DF W 37A=5A"},
    {Call::Set, 8, 1, 0x00, "R 378=00 W 378=40", "W 378=40 W 37A=5A"},
    {Call::Set, 8, 0, 0xFF, "R 378=FF W 378=BF", "W 378=BF W 37A=5A"},
    {Call::Set, 9, 1, 0x00, "R 378=00 W 378=80", "W 378=80 W 37A=5A"},
    {Call::Set, 9, 0, 0xFF, "R 378=FF W 378=7F", "W 378=7F W 37A=5A"},
    {Call::Set, 14, 1, 0xDF, "R 37A=DF W 37A=DD", "W 378=5A W 37A=DD"},
    {Call::Set, 14, 0, 0x00, "R 37A=00 W 37A=02", "W 378=5A W 37A=02"},
    {Call::Set, 16, 1, 0x00, "R 37A=00 W 37A=04", "W 378=5A W 37A=04"},
    {Call::Set, 16, 0, 0xDF, "R 37A=DF W 37A=DB", "W 378=5A W 37A=DB"},
    {Call::Set, 17, 1, 0xDF, "R 37A=DF W 37A=D7", "W 378=5A W 37A=D7"},
    {Call::Set, 17, 0, 0x00, "R 37A=00 W 37A=08", "W 378=5A W 37A=08"},
    // Any non-zero level is high; a pin already at its level is written unchanged.
    {Call::Set, 6, 7, 0x00, "R 378=00 W 378=10", "W 378=10 W 37A=5A"},
    {Call::Set, 16, -1, 0x00, "R 37A=00 W 37A=04", "W 378=5A W 37A=04"},
    {Call::Set, 17, INT_MIN, 0xDF, "R 37A=DF W 37A=D7", "W 378=5A W 37A=D7"},
    {Call::Set, 9, 1, 0x80, "R 378=80 W 378=80", "W 378=80 W 37A=5A"},
    // Reading a pin reads its register once; only the pin's bit counts.
    {Call::Get, 2, 1, 0x01, "R 378=01"},
    {Call::Get, 2, 0, 0xFE, "R 378=FE"},
    {Call::Get, 3, 1, 0x02, "R 378=02"},
    {Call::Get, 3, 0, 0xFD, "R 378=FD"},
    {Call::Get, 4, 1, 0x04, "R 378=04"},
    {Call::Get, 4, 0, 0xFB, "R 378=FB"},
    {Call::Get, 5, 1, 0x08, "R 378=08"},
    {Call::Get, 5, 0, 0xF7, "R 378=F7"},
    {Call::Get, 6, 1, 0x10, "R 378=10"},
    {Call::Get, 6, 0, 0xEF, "R 378=EF"},
    {Call::Get, 7, 1, 0x20, "R 378=20"},
    {Call::Get, 7, 0, 0xDF, "R 378=DF"},
    {Call::Get, 8, 1, 0x40, "R 378=40"},
    {Call::Get, 8, 0, 0xBF, "R 378=BF"},
    {Call::Get, 9, 1, 0x80, "R 378=80"},
    {Call::Get, 9, 0, 0x7F, "R 378=7F"},
    {Call::Get, 10, 1, 0x40, "R 379=40"},
    {Call::Get, 10, 0, 0xBF, "R 379=BF"},
    {Call::Get, 11, 0, 0x80, "R 379=80"},
    {Call::Get, 11, 1, 0x7F, "R 379=7F"},
    {Call::Get, 12, 1, 0x20, "R 379=20"},
    {Call::Get, 12, 0, 0xDF, "R 379=DF"},
    {Call::Get, 13, 1, 0x10, "R 379=10"},
    {Call::Get, 13, 0, 0xEF, "R 379=EF"},
    {Call::Get, 15, 1, 0x08, "R 379=08"},
    {Call::Get, 15, 0, 0xF7, "R 379=F7"},
};

// Numbers refused with -2, the port untouched: ground pins 18 to 25 and
// numbers that are no pin, and the pins of the other direction.
inline constexpr int kNotSettable[] = {INT_MIN, -1, 0, 10, 11, 12, 13, 15, 18, 25, 26, 99, INT_MAX};
inline constexpr int kNotReadable[] = {INT_MIN, -1, 0, 1, 14, 16, 17, 18, 25, 26, 99, INT_MAX};

// The register a row's accesses name, where its `before` goes: "R 37A=..."
// is 0x37A.
inline std::uint16_t RegisterOf(const PinAtPort& row)
{
    return static_cast<std::uint16_t>(
        std::stoul(std::string(row.accesses).substr(2, 3), nullptr, 16));
}

}  // namespace pin_table
