// Bytelace: joins a ROM's low-byte and high-byte lanes into one image.

#include <cstdio>

#include "exit_status.hpp"
#include "platform.hpp"
#include "rom_image.hpp"

namespace {

using namespace bytelace;

int run(int argc, path_char** argv) {
    prepare_process();
    if (argc != 4)
        return fail("Usage : Bytelace low_byte_file high_byte_file rom_file\r\n", exit_usage);

    open_file const low = open_input(argv[1]);
    if (low.stream == nullptr) return fail("Open error low_byte_file\r\n", exit_open);
    open_file const high = open_second_input(argv[2], low);
    if (high.stream == nullptr) {
        (void)std::fclose(low.stream);
        return fail("Open error high_byte_file\r\n", exit_open);
    }
    open_file const image = open_output(argv[3]);
    if (image.stream == nullptr || same_file(image, low) || same_file(image, high)) {
        if (image.stream != nullptr) discard_output(argv[3], image);
        close_inputs(low, high);
        return fail("Create error rom_file\r\n", exit_open);
    }

    // The image keeps its bytes until both lanes are read whole: a run cut short while a
    // lane is still arriving, or a lane that is the image by a way no identity shows, loses
    // nothing.
    unsigned char low_bytes[lane_length];
    unsigned char high_bytes[lane_length];
    lanes_read const outcome =
        read_lanes({low.stream, low.regular}, {high.stream, high.regular}, low_bytes, high_bytes);
    close_inputs(low, high);
    unsigned char words[image_length];
    join_lanes(low_bytes, high_bytes, words);
    bool const written = write_output(image, words, image_length);
    if (outcome == low_lane_failed) return fail("Read error low_byte_file\r\n", exit_read);
    if (outcome == high_lane_failed) return fail("Read error high_byte_file\r\n", exit_read);
    if (!written) return fail("Write error rom_file\r\n", exit_write);
    return exit_ok;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return run(argc, argv); }
#else
int main(int argc, char** argv) { return run(argc, argv); }
#endif
