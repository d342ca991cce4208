#include "rom_check.hpp"

#include <cstring>

#include "rom_image.hpp"

namespace bytelace {

namespace {

struct lane_difference {
    std::size_t first;  // lane offset
    unsigned count;
    unsigned bits;  // every bit that differs anywhere
};

lane_difference compare_lane(const unsigned char* lane, const unsigned char* expected) {
    lane_difference d{0, 0, 0};
    if (std::memcmp(lane, expected, lane_length) == 0) return d;  // the common case, at speed
    for (std::size_t i = 0; i < lane_length; ++i) {
        unsigned const bits = lane[i] ^ expected[i];
        if (bits == 0) continue;
        if (d.count == 0) d.first = i;
        ++d.count;
        d.bits |= bits;
    }
    return d;
}

// Each put_ function writes at `at` and returns the end of what it wrote.
char* put_text(char* at, const char* text) {
    while (*text != '\0') *at++ = *text++;
    return at;
}

// "0x" and the value's lowest digits hexadecimal digits, in capitals.
char* put_hex(char* at, std::size_t value, unsigned digits) {
    at = put_text(at, "0x");
    while (digits-- > 0) *at++ = "0123456789ABCDEF"[(value >> (4 * digits)) & 0xF];
    return at;
}

char* put_decimal(char* at, unsigned value) {
    char digits[10];  // enough for any unsigned of 32 bits
    unsigned n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) *at++ = digits[--n];
    return at;
}

// "Mismatch <name> at <lane offset> (image <address>): <byte> instead of <expected> (<count>
// in all, bits <every bit that differs>)".
char* put_mismatch(char* at, const char* name, const lane_difference& d, const unsigned char* lane,
                   const unsigned char* expected, std::size_t byte_in_word) {
    at = put_text(put_text(at, "Mismatch "), name);
    at = put_hex(put_text(at, " at "), d.first, 4);
    at = put_hex(put_text(at, " (image "), 2 * word_of(d.first) + byte_in_word, 4);
    at = put_hex(put_text(at, "): "), lane[d.first], 2);
    at = put_hex(put_text(at, " instead of "), expected[d.first], 2);
    at = put_decimal(put_text(at, " ("), d.count);
    at = put_hex(put_text(at, " in all, bits "), d.bits, 2);
    return put_text(at, ")\r\n");
}

}  // namespace

std::size_t check_lanes(const unsigned char* low, const unsigned char* high,
                        const unsigned char* image, char* report) {
    unsigned char expected_low[lane_length];
    unsigned char expected_high[lane_length];
    split_image(image, expected_low, expected_high);
    lane_difference const low_diff = compare_lane(low, expected_low);
    lane_difference const high_diff = compare_lane(high, expected_high);
    char* end = report;
    if (low_diff.count != 0 && high_diff.count != 0 &&
        std::memcmp(low, expected_high, lane_length) == 0 &&
        std::memcmp(high, expected_low, lane_length) == 0) {
        end = put_text(end, "Swapped low_byte_file high_byte_file\r\n");
    } else {
        if (low_diff.count != 0)
            end = put_mismatch(end, "low_byte_file", low_diff, low, expected_low, 0);
        if (high_diff.count != 0)
            end = put_mismatch(end, "high_byte_file", high_diff, high, expected_high, 1);
    }
    *end = '\0';
    return static_cast<std::size_t>(end - report);
}

}  // namespace bytelace
