// Bytecheck: tells whether two lanes, read back from the chips, join to exactly an image, and
// where they do not.

#include <cstdio>

#include "exit_status.hpp"
#include "platform.hpp"
#include "rom_check.hpp"
#include "rom_read.hpp"

namespace {

using namespace bytelace;

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

    char report[report_size];
    if (check_lanes(low_bytes, high_bytes, image, report) == 0) return exit_ok;
    return fail(report, exit_differ);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return run(argc, argv); }
#else
int main(int argc, char** argv) { return run(argc, argv); }
#endif
