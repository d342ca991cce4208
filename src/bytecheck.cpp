// Bytecheck: tells whether two lanes, read back from the chips, join to exactly an image, and
// where they do not.

#include <cstdio>
#include <cstring>

#include "exit_status.hpp"
#include "platform.hpp"
#include "rom_read.hpp"

namespace {

using namespace bytelace;

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

void report(const char* name, const lane_difference& d, const unsigned char* lane,
            const unsigned char* expected, std::size_t byte_in_word) {
    (void)std::printf(
        "Mismatch %s at 0x%04X (image 0x%04X): 0x%02X instead of 0x%02X (%u in all, bits "
        "0x%02X)\r\n",
        name, static_cast<unsigned>(d.first),
        static_cast<unsigned>(2 * word_of(d.first) + byte_in_word), lane[d.first],
        expected[d.first], d.count, d.bits);
}

int run(int argc, path_char** argv) {
    prepare_process();
    if (argc != 4)
        return fail("Usage : Bytecheck low_byte_file high_byte_file rom_file\r\n", exit_usage);

    lane_files const lanes = open_lanes(argv[1], argv[2]);
    if (lanes.low.stream == nullptr) return fail("Open error low_byte_file\r\n", exit_open);
    if (lanes.high.stream == nullptr) return fail("Open error high_byte_file\r\n", exit_open);
    open_file const rom = open_input(argv[3]);
    if (rom.stream == nullptr) {
        close_lanes(lanes);
        return fail("Open error rom_file\r\n", exit_open);
    }

    unsigned char low_bytes[lane_length];
    unsigned char high_bytes[lane_length];
    lanes_read const outcome =
        read_lanes({lanes.low.stream, lanes.low.regular}, {lanes.high.stream, lanes.high.regular},
                   low_bytes, high_bytes);
    unsigned char image[image_length + 1];
    image_read const read = read_image(rom.stream, image);
    (void)std::fclose(rom.stream);
    close_lanes(lanes);
    if (outcome == low_lane_failed) return fail("Read error low_byte_file\r\n", exit_read);
    if (outcome == high_lane_failed) return fail("Read error high_byte_file\r\n", exit_read);
    if (!read.ok) return fail("Read error rom_file\r\n", exit_read);
    if (read.length != image_length) return fail("Size error rom_file\r\n", exit_size);

    unsigned char expected_low[lane_length];
    unsigned char expected_high[lane_length];
    split_image(image, expected_low, expected_high);
    lane_difference const low_diff = compare_lane(low_bytes, expected_low);
    lane_difference const high_diff = compare_lane(high_bytes, expected_high);
    if (low_diff.count == 0 && high_diff.count == 0) return exit_ok;
    if (low_diff.count != 0 && high_diff.count != 0 &&
        std::memcmp(low_bytes, expected_high, lane_length) == 0 &&
        std::memcmp(high_bytes, expected_low, lane_length) == 0)
        return fail("Swapped low_byte_file high_byte_file\r\n", exit_differ);
    if (low_diff.count != 0) report("low_byte_file", low_diff, low_bytes, expected_low, 0);
    if (high_diff.count != 0) report("high_byte_file", high_diff, high_bytes, expected_high, 1);
    (void)std::fflush(stdout);
    return exit_differ;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return run(argc, argv); }
#else
int main(int argc, char** argv) { return run(argc, argv); }
#endif
