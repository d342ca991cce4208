// Bytelace: joins a ROM's low-byte and high-byte lanes into one image.

#include <cstdio>

#include "exit_status.hpp"
#include "platform.hpp"
#include "rom_read.hpp"

namespace {

using namespace bytelace;

int run(int argc, path_char** argv) {
    prepare_process();
    if (argc != 4)
        return fail("Usage : Bytelace low_byte_file high_byte_file rom_file\r\n", exit_usage);

    lane_files const lanes = open_lanes(argv[1], argv[2]);
    if (lanes.low.stream == nullptr) return fail("Open error low_byte_file\r\n", exit_open);
    if (lanes.high.stream == nullptr) return fail("Open error high_byte_file\r\n", exit_open);
    open_file const image = open_output(argv[3], {&lanes.low, &lanes.high}, false);
    if (image.stream == nullptr) {
        close_lanes(lanes);
        return fail("Create error rom_file\r\n", exit_open);
    }

    // The image keeps its bytes until both lanes are read whole: a run cut short while a
    // lane is still arriving, or a lane that cannot be read whole, loses nothing.
    unsigned char low_bytes[lane_length];
    unsigned char high_bytes[lane_length];
    lanes_read const outcome =
        read_lanes({lanes.low.stream, lanes.low.regular}, {lanes.high.stream, lanes.high.regular},
                   low_bytes, high_bytes);
    close_lanes(lanes);
    if (outcome != lanes_ok) {
        discard_output(argv[3], image);
        if (outcome == low_lane_failed) return fail("Read error low_byte_file\r\n", exit_read);
        return fail("Read error high_byte_file\r\n", exit_read);
    }
    unsigned char words[image_length];
    join_lanes(low_bytes, high_bytes, words);
    bool written = write_output(image, words, image_length);
    written = close_output(image) && written;
    if (!written) return fail("Write error rom_file\r\n", exit_write);
    return exit_ok;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return run(argc, argv); }
#else
int main(int argc, char** argv) { return run(argc, argv); }
#endif
