#include "rom_faults.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "rom_image.hpp"

namespace bytelace {

namespace {

// Each test gives up at its first contradiction: on a lane that some other fault or none
// explains, that is within a few bytes.

// Eight bytes at a time: the bytes read differ from those expected in bits j and k exactly
// where those two bits of the byte expected differ.
bool data_lines_swapped(const unsigned char* read, const unsigned char* expected, unsigned j,
                        unsigned k) {
    constexpr std::uint64_t lowest_bits = 0x0101010101010101;
    for (std::size_t i = 0; i < lane_length; i += sizeof(std::uint64_t)) {
        std::uint64_t r = 0;
        std::uint64_t e = 0;
        std::memcpy(&r, read + i, sizeof r);
        std::memcpy(&e, expected + i, sizeof e);
        std::uint64_t const differ = ((e >> j) ^ (e >> k)) & lowest_bits;
        if ((r ^ e) != (differ << j | differ << k)) return false;
    }
    return true;
}

// By the four offsets that differ only in address bits j and k: the two where the bits are
// equal stay, the other two trade places.
bool address_lines_swapped(const unsigned char* read, const unsigned char* expected, unsigned j,
                           unsigned k) {
    std::size_t const a = std::size_t{1} << j;
    std::size_t const b = std::size_t{1} << k;
    std::size_t const both = a | b;
    // Every offset with bits j and k clear, in turn.
    for (std::size_t base = 0; base < lane_length; base = ((base | both) + 1) & ~both) {
        if (read[base] != expected[base] || read[base | a] != expected[base | b] ||
            read[base | b] != expected[base | a] || read[base | both] != expected[base | both])
            return false;
    }
    return true;
}

}  // namespace

bit_levels levels(const unsigned char* lane) {
    unsigned all = 0xFF;
    unsigned any = 0;
    for (std::size_t i = 0; i < lane_length; ++i) {
        all &= lane[i];
        any |= lane[i];
    }
    return {all, ~any & 0xFFU};
}

bool address_held(const unsigned char* read, const unsigned char* expected, unsigned line,
                  unsigned level) {
    std::size_t const bit = std::size_t{1} << line;
    std::size_t const held = level != 0 ? bit : 0;
    // Every offset with the line's bit clear, in turn, and the one with it set.
    for (std::size_t base = 0; base < lane_length; base = ((base | bit) + 1) & ~bit) {
        unsigned char const byte = expected[base | held];
        if (read[base] != byte || read[base | bit] != byte) return false;
    }
    return true;
}

fault find_fault(const unsigned char* read, const unsigned char* expected, unsigned differing) {
    if (differing == 0) return {no_fault, 0, 0, 0, 0};
    // Stuck data lines: every bit that differs anywhere keeps one level throughout.
    bit_levels const held = levels(read);
    if ((differing & ~(held.ones | held.zeros)) == 0) {
        if (held.ones == 0xFF) return {not_programmed, 0, 0, 0, 0};
        return {data_stuck, 0, 0, differing & held.zeros, differing & held.ones};
    }
    for (unsigned line = 0; line < address_lines; ++line) {
        for (unsigned level = 0; level < 2; ++level) {
            if (address_held(read, expected, line, level))
                return {address_stuck, line, level, 0, 0};
        }
    }
    for (unsigned j = 0; j < data_lines; ++j) {
        for (unsigned k = j + 1; k < data_lines; ++k)
            if (data_lines_swapped(read, expected, j, k)) return {data_swapped, j, k, 0, 0};
    }
    for (unsigned j = 0; j < address_lines; ++j) {
        for (unsigned k = j + 1; k < address_lines; ++k)
            if (address_lines_swapped(read, expected, j, k)) return {address_swapped, j, k, 0, 0};
    }
    return {no_fault, 0, 0, 0, 0};
}

}  // namespace bytelace
