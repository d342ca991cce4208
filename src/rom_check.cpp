#include "rom_check.hpp"

#include <cstring>

#include "report_text.hpp"
#include "rom_faults.hpp"
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
    while (lane[d.first] == expected[d.first]) ++d.first;
    for (std::size_t i = 0; i < lane_length; ++i) {  // without a branch, so that it is vectorized
        unsigned const bits = lane[i] ^ expected[i];
        d.count += bits != 0 ? 1U : 0U;
        d.bits |= bits;
    }
    return d;
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

// " (bus D0, D6)": the bus's lines of a chip's data bits, bus being the chip's first.
char* put_bus(char* at, unsigned bits, unsigned bus) {
    const char* separator = " (bus ";
    for (unsigned bit = 0; bit < data_lines; ++bit) {
        if ((bits >> bit & 1U) == 0) continue;
        at = put_line(put_text(at, separator), 'D', bit + bus);
        separator = ", ";
    }
    return put_text(at, ")");
}

// "Cause <name>: <the fault>", when a fault explains every difference of the lane.
char* put_cause(char* at, const char* name, const fault& f, unsigned bus) {
    if (f.kind == no_fault) return at;
    at = put_text(put_text(put_text(at, "Cause "), name), ": ");
    if (f.kind == not_programmed) at = put_text(at, "every byte 0xFF, not programmed or not read");
    if (f.kind == data_stuck) {
        unsigned const stuck = f.stuck_low | f.stuck_high;
        const char* separator = "";
        for (unsigned bit = 0; bit < data_lines; ++bit) {
            if ((stuck >> bit & 1U) == 0) continue;
            at = put_line(put_text(at, separator), 'D', bit);
            at = put_text(at, (f.stuck_high >> bit & 1U) != 0 ? " stuck at 1" : " stuck at 0");
            separator = ", ";
        }
        at = put_bus(at, stuck, bus);
    }
    if (f.kind == address_stuck)
        at = put_decimal(put_text(put_line(at, 'A', f.first), " stuck at "), f.second);
    if (f.kind == data_swapped) {
        at = put_line(put_text(put_line(at, 'D', f.first), " and "), 'D', f.second);
        at = put_bus(put_text(at, " swapped"), 1U << f.first | 1U << f.second, bus);
    }
    if (f.kind == address_swapped) {
        at = put_line(put_text(put_line(at, 'A', f.first), " and "), 'A', f.second);
        at = put_text(at, " swapped");
    }
    return put_text(at, "\r\n");
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
        if (low_diff.count != 0) {
            end = put_mismatch(end, "low_byte_file", low_diff, low, expected_low, 0);
            end = put_cause(end, "low_byte_file", find_fault(low, expected_low, low_diff.bits), 0);
        }
        if (high_diff.count != 0) {
            end = put_mismatch(end, "high_byte_file", high_diff, high, expected_high, 1);
            fault const cause = find_fault(high, expected_high, high_diff.bits);
            end = put_cause(end, "high_byte_file", cause, data_lines);
        }
    }
    *end = '\0';
    return static_cast<std::size_t>(end - report);
}

}  // namespace bytelace
